// The plain published settings of the FTP engine (login, proxy, retries, listing and transfer
// choices) with their defaults. FtpEngine inherits them and hands their FtpSettings to its steps;
// the values are read at the moment they are used, so a change takes effect at the next use. Loop
// thread only, like the engine.
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

// The values themselves, as the engine's steps read them.
struct FtpSettings {
  std::string username = "anonymous";
  std::string password = kDefaultAnonymousPassword;
  std::string account;
  FtpProxyType proxy_type = proxyNone;
  std::string proxy_server;
  int proxy_port = 21;
  std::string proxy_username;
  std::string proxy_password;
  int retries = 3;
  uint16_t retry_interval = 15;
  FtpServerType server_type = ftpstAutoDetect;
  std::string initial_directory;
  FtpTransferType transfer_mode = BinaryTransfer;
  bool passive = false;
  std::string file_mask;
  bool cache = true;
  int cache_expire = 7;
  FtpSecurity security = FtpSecurity::kNone;
  bool tls_verify = true;
  std::string tls_fingerprint;
  bool use_epsv = false;
  ServerCharset server_charset = ServerCharset::kCp932;
};

class FtpProperties {
 public:
  const std::string& Username() const { return settings_.username; }
  void SetUsername(std::string value) { settings_.username = std::move(value); }
  const std::string& Password() const { return settings_.password; }
  void SetPassword(std::string value) { settings_.password = std::move(value); }
  const std::string& Account() const { return settings_.account; }
  void SetAccount(std::string value) { settings_.account = std::move(value); }

  FtpProxyType ProxyType() const { return settings_.proxy_type; }
  void SetProxyType(FtpProxyType value) { settings_.proxy_type = value; }
  const std::string& ProxyServer() const { return settings_.proxy_server; }
  void SetProxyServer(std::string value) { settings_.proxy_server = std::move(value); }
  int ProxyPort() const { return settings_.proxy_port; }
  void SetProxyPort(int value) { settings_.proxy_port = value; }
  const std::string& ProxyUsername() const { return settings_.proxy_username; }
  void SetProxyUsername(std::string value) { settings_.proxy_username = std::move(value); }
  const std::string& ProxyPassword() const { return settings_.proxy_password; }
  void SetProxyPassword(std::string value) { settings_.proxy_password = std::move(value); }

  int Retries() const { return settings_.retries; }
  void SetRetries(int value) { settings_.retries = value; }
  uint16_t RetryInterval() const { return settings_.retry_interval; }
  void SetRetryInterval(uint16_t seconds) { settings_.retry_interval = seconds; }

  FtpServerType ServerType() const { return settings_.server_type; }
  void SetServerType(FtpServerType value) { settings_.server_type = value; }
  const std::string& InitialDirectory() const { return settings_.initial_directory; }
  void SetInitialDirectory(std::string value) { settings_.initial_directory = std::move(value); }

  FtpTransferType TransferMode() const { return settings_.transfer_mode; }
  void SetTransferMode(FtpTransferType value) { settings_.transfer_mode = value; }
  bool Passive() const { return settings_.passive; }
  void SetPassive(bool value) { settings_.passive = value; }
  const std::string& FileMask() const { return settings_.file_mask; }
  void SetFileMask(std::string value) { settings_.file_mask = std::move(value); }
  bool Cache() const { return settings_.cache; }
  void SetCache(bool value) { settings_.cache = value; }
  int CacheExpire() const { return settings_.cache_expire; }
  void SetCacheExpire(int days) { settings_.cache_expire = days; }
  // Which text the server's names are in; read at every login (CP932: the plain exchange).
  ServerCharset ServerNameCharset() const { return settings_.server_charset; }
  void SetServerNameCharset(ServerCharset value) { settings_.server_charset = value; }

  FtpSecurity Security() const { return settings_.security; }
  void SetSecurity(FtpSecurity value) { settings_.security = value; }
  bool TlsVerify() const {
    return settings_.tls_verify;
  }  // false: any certificate (with a warning)
  void SetTlsVerify(bool value) { settings_.tls_verify = value; }
  const std::string& TlsFingerprint() const {
    return settings_.tls_fingerprint;
  }  // "SHA256:AB:..."
  void SetTlsFingerprint(std::string value) { settings_.tls_fingerprint = std::move(value); }
  bool UseEpsv() const { return settings_.use_epsv; }  // EPSV also over IPv4 (IPv6 always uses it)
  void SetUseEpsv(bool value) { settings_.use_epsv = value; }

 protected:
  FtpSettings settings_;
};

}  // namespace tarsil
