// Where the real FTP servers of the test fixtures (vsftpd, pure-ftpd, proftpd, pyftpdlib) listen,
// who may log in and which local folder each serves: read from the servers.env file that
// tests/support/ftp-servers/start.sh writes. Plain values; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil::testing {

struct RealServer {
  std::string name;     // "vsftpd", "pureftpd", "proftpd" or "pyftpdlib"
  std::string address;  // its own loopback address, e.g. "127.0.0.21"
  int port = 21;
  std::string user;  // the test user, who may read and write below the root
  std::string password;
  bool anonymous = false;  // "anonymous" may log in and read (never write)
  std::string root;        // the local folder the server shows as "/" to both
  std::string log;         // the server's log file, for messages when a test fails
  // TLS servers only: the SHA-256 fingerprint of the certificate made at the server's start,
  // and the port of implicit TLS (0: none).
  std::string fingerprint;
  int implicit_port = 0;
};

// The four servers, in a fixed order.
const std::vector<std::string>& RealServerNames();
// The TLS servers whose data connections carry TLS (all four); and all four TLS servers.
const std::vector<std::string>& TlsDataServerNames();
const std::vector<std::string>& TlsServerNames();
// The servers on ::1 (each on a port of its own).
const std::vector<std::string>& Ipv6ServerNames();

// $TARSIL_FTP_STATE/servers.env, or /tmp/tarsil-ftp/servers.env when that is not set.
std::string RealServersEnvPath();

// Picks one server's entry out of the text of a servers.env file (KEY=value lines, keys
// prefixed by the upper-cased name). Empty, with the reason in *error, when an entry is missing.
std::optional<RealServer> ParseRealServer(std::string_view env_text, std::string_view name,
                                          std::string* error = nullptr);

// Reads one server's entry from RealServersEnvPath().
std::optional<RealServer> FindRealServer(std::string_view name, std::string* error = nullptr);

}  // namespace tarsil::testing
