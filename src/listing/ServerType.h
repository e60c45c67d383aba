// The server families the FTP engine knows. The engine detects or is given one of them, and the
// listing parser picks its line rules by it. Plain values; any thread.
#pragma once

namespace tarsil {

// Values 0 to 21, in this order; stored settings and the engine rely on the numbers.
enum FtpServerType : int {
  ftpstAutoDetect,
  ftpstDefault,
  ftpstUNIX,
  ftpstULTRIX,
  ftpstClix,
  ftpstChameleon,
  ftpstNCSA,
  ftpstQVT,
  ftpstBSD,
  ftpstSunOS,
  ftpstVmsMultinet,
  ftpstVmsUcx,
  ftpstMVS,
  ftpstVM,
  ftpstVMVPS,
  ftpstMSFTP,
  ftpstNetTerm,
  ftpstServU,
  ftpstWFTPD,
  ftpWarFTPD,
  ftpstNetware,
  ftpstNetPresenz,
};

inline constexpr int kServerTypeCount = 22;

}  // namespace tarsil
