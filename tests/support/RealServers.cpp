#include "support/RealServers.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace tarsil::testing {
namespace {

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// KEY=value lines; blank lines and lines starting with '#' are skipped, a CR before the line
// end is dropped.
std::map<std::string, std::string, std::less<>> ParseLines(std::string_view text) {
  std::map<std::string, std::string, std::less<>> values;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    values[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
  }
  return values;
}

}  // namespace

const std::vector<std::string>& RealServerNames() {
  static const std::vector<std::string> names = {"vsftpd", "pureftpd", "proftpd", "pyftpdlib"};
  return names;
}

const std::vector<std::string>& TlsDataServerNames() {
  static const std::vector<std::string> names = {"vsftpdtls", "pureftpdtls", "proftpdtls",
                                                 "pyftpdlibtls"};
  return names;
}

const std::vector<std::string>& TlsServerNames() {
  static const std::vector<std::string> names = {"vsftpdtls", "pureftpdtls", "proftpdtls",
                                                 "pyftpdlibtls"};
  return names;
}

const std::vector<std::string>& Ipv6ServerNames() {
  static const std::vector<std::string> names = {"vsftpd6", "pyftpdlib6", "pureftpd6", "proftpd6"};
  return names;
}

std::string RealServersEnvPath() {
  const char* state = std::getenv("TARSIL_FTP_STATE");
  std::string folder = state && *state ? state : "/tmp/tarsil-ftp";
  return folder + "/servers.env";
}

std::optional<RealServer> ParseRealServer(std::string_view env_text, std::string_view name,
                                          std::string* error) {
  const auto values = ParseLines(env_text);
  const std::string prefix = Upper(name) + "_";
  RealServer server;
  server.name = std::string(name);
  struct Field {
    const char* key;
    std::string* target;
  };
  std::string port, anonymous;
  const Field fields[] = {{"ADDRESS", &server.address}, {"PORT", &port},
                          {"USER", &server.user},       {"PASSWORD", &server.password},
                          {"ANONYMOUS", &anonymous},    {"ROOT", &server.root},
                          {"LOG", &server.log}};
  for (const Field& field : fields) {
    auto found = values.find(prefix + field.key);
    if (found == values.end() || found->second.empty()) {
      SetError(error, "no " + prefix + field.key + " in the servers' env file");
      return std::nullopt;
    }
    *field.target = found->second;
  }
  auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), server.port);
  if (failure != std::errc() || end != port.data() + port.size() || server.port <= 0 ||
      server.port > 65535) {
    SetError(error, "bad " + prefix + "PORT '" + port + "'");
    return std::nullopt;
  }
  server.anonymous = anonymous == "yes";
  if (auto found = values.find(prefix + "IMPLICIT_PORT"); found != values.end()) {
    server.implicit_port = std::atoi(found->second.c_str());
  }
  if (auto found = values.find(prefix + "FINGERPRINT_FILE"); found != values.end()) {
    std::ifstream in(found->second);
    std::getline(in, server.fingerprint);
  }
  return server;
}

std::optional<RealServer> FindRealServer(std::string_view name, std::string* error) {
  const std::string path = RealServersEnvPath();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    SetError(error, path +
                        " is missing: the real FTP servers are not started (CTest fixture "
                        "ftp_" +
                        std::string(name) + ", or tests/support/ftp-servers/start.sh)");
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string reason;
  auto server = ParseRealServer(text.str(), name, &reason);
  if (!server) SetError(error, path + ": " + reason);
  return server;
}

}  // namespace tarsil::testing
