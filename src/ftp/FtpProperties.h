// The plain published settings of the FTP engine (login, proxy, retries, listing and transfer
// choices) with their defaults. FtpEngine inherits them; the values are read at the moment they are
// used, so a change takes effect at the next use. Loop thread only, like the engine.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "ftp/FtpCharset.h"
#include "ftp/FtpCodes.h"
#include "listing/ServerType.h"

namespace tarsil {

// The anonymous password used until the owner gives another one.
inline constexpr const char* kDefaultAnonymousPassword = "tarsil@example.com";

// How the control and data connections are protected: plain FTP, TLS after AUTH TLS on the
// plain connection (explicit), or TLS from the first byte (implicit).
enum class FtpSecurity : uint8_t { kNone, kExplicit, kImplicit };

class FtpProperties {
 public:
  const std::string& Username() const { return username_; }
  void SetUsername(std::string value) { username_ = std::move(value); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string value) { password_ = std::move(value); }
  const std::string& Account() const { return account_; }
  void SetAccount(std::string value) { account_ = std::move(value); }

  FtpProxyType ProxyType() const { return proxy_type_; }
  void SetProxyType(FtpProxyType value) { proxy_type_ = value; }
  const std::string& ProxyServer() const { return proxy_server_; }
  void SetProxyServer(std::string value) { proxy_server_ = std::move(value); }
  int ProxyPort() const { return proxy_port_; }
  void SetProxyPort(int value) { proxy_port_ = value; }
  const std::string& ProxyUsername() const { return proxy_username_; }
  void SetProxyUsername(std::string value) { proxy_username_ = std::move(value); }
  const std::string& ProxyPassword() const { return proxy_password_; }
  void SetProxyPassword(std::string value) { proxy_password_ = std::move(value); }

  int Retries() const { return retries_; }
  void SetRetries(int value) { retries_ = value; }
  uint16_t RetryInterval() const { return retry_interval_; }
  void SetRetryInterval(uint16_t seconds) { retry_interval_ = seconds; }

  FtpServerType ServerType() const { return server_type_; }
  void SetServerType(FtpServerType value) { server_type_ = value; }
  const std::string& InitialDirectory() const { return initial_directory_; }
  void SetInitialDirectory(std::string value) { initial_directory_ = std::move(value); }

  FtpTransferType TransferMode() const { return transfer_mode_; }
  void SetTransferMode(FtpTransferType value) { transfer_mode_ = value; }
  bool Passive() const { return passive_; }
  void SetPassive(bool value) { passive_ = value; }
  const std::string& FileMask() const { return file_mask_; }
  void SetFileMask(std::string value) { file_mask_ = std::move(value); }
  bool Cache() const { return cache_; }
  void SetCache(bool value) { cache_ = value; }
  int CacheExpire() const { return cache_expire_; }
  void SetCacheExpire(int days) { cache_expire_ = days; }
  // Which text the server's names are in; read at every login (CP932: the plain exchange).
  ServerCharset ServerNameCharset() const { return server_charset_; }
  void SetServerNameCharset(ServerCharset value) { server_charset_ = value; }

  FtpSecurity Security() const { return security_; }
  void SetSecurity(FtpSecurity value) { security_ = value; }
  bool TlsVerify() const { return tls_verify_; }  // false: any certificate (with a warning)
  void SetTlsVerify(bool value) { tls_verify_ = value; }
  const std::string& TlsFingerprint() const { return tls_fingerprint_; }  // "SHA256:AB:..."
  void SetTlsFingerprint(std::string value) { tls_fingerprint_ = std::move(value); }
  bool UseEpsv() const { return use_epsv_; }  // EPSV also over IPv4 (IPv6 always uses it)
  void SetUseEpsv(bool value) { use_epsv_ = value; }

 protected:
  std::string username_ = "anonymous";
  std::string password_ = kDefaultAnonymousPassword;
  std::string account_;
  FtpProxyType proxy_type_ = proxyNone;
  std::string proxy_server_;
  int proxy_port_ = 21;
  std::string proxy_username_;
  std::string proxy_password_;
  int retries_ = 3;
  uint16_t retry_interval_ = 15;
  FtpServerType server_type_ = ftpstAutoDetect;
  std::string initial_directory_;
  FtpTransferType transfer_mode_ = BinaryTransfer;
  bool passive_ = false;
  std::string file_mask_;
  bool cache_ = true;
  int cache_expire_ = 7;
  FtpSecurity security_ = FtpSecurity::kNone;
  bool tls_verify_ = true;
  std::string tls_fingerprint_;
  bool use_epsv_ = false;
  ServerCharset server_charset_ = ServerCharset::kCp932;
};

}  // namespace tarsil
