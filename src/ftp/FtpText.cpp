#include "ftp/FtpText.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

struct Keyword {
  const char* text;
  FtpServerType type;
};

// In the order they are tried; the first one found decides. "WINDWOS_NT" is the keyword as the
// engine has always spelt it, so a server saying Windows_NT is not matched by it.
constexpr Keyword kSystKeywords[] = {
    {"UNIX", ftpstUNIX},
    {"BSD", ftpstBSD},
    {"SUNOS", ftpstSunOS},
    {"CLIX", ftpstClix},
    {"ULTRIX", ftpstULTRIX},
    {"MVS", ftpstMVS},
    {"QVT", ftpstQVT},
    {"NCSA", ftpstNCSA},
    {"WFTPD", ftpstWFTPD},
    {"WINDWOS_NT", ftpstMSFTP},
    {"CHAMELEON", ftpstChameleon},
};

}  // namespace

bool HoldsLineBreakOrNul(std::string_view command) {
  return command.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

CommandSecret FindCommandSecret(std::string_view line) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t word = 0;
  while (word < line.size() && blank(line[word])) ++word;
  size_t word_end = word;
  while (word_end < line.size() && !blank(line[word_end])) ++word_end;
  const std::string_view command = line.substr(word, word_end - word);
  CommandSecret secret;
  const bool pass = SameTextAscii(command, "PASS");
  if ((!pass && !SameTextAscii(command, "ACCT")) || word_end >= line.size()) return secret;
  secret.found = true;
  secret.account = !pass;
  secret.begin = word_end + 1;
  secret.end = line.size();
  return secret;
}

std::string MaskCommandLine(std::string_view line) {
  const CommandSecret secret = FindCommandSecret(line);
  if (!secret.found) return std::string(line);
  return secret.account ? kMaskedAcct : kMaskedPass;
}

std::string MaskCommandSecret(std::string_view line) {
  const CommandSecret secret = FindCommandSecret(line);
  if (!secret.found || secret.begin >= secret.end) return std::string(line);
  return std::string(line.substr(0, secret.begin)) + std::string(kMaskedSecret) +
         std::string(line.substr(secret.end));
}

std::string FirstLoginCommand(FtpProxyType type, const LoginTarget& target) {
  const std::string server(target.server);
  const std::string user(target.username);
  const std::string port = target.port == 21 ? "" : ":" + std::to_string(target.port);
  switch (type) {
    case proxyHost:
      return "HOST " + server;
    case proxyHostUser:
      return "USER " + server + port + "!" + user;
    case proxyOpen:
      return "OPEN " + server;
    case proxySite:
      return "USER " + std::string(target.proxy_username);
    case proxyUserSite:
      return "USER " + user + "@" + server + port;
    case proxyNone:
    default:
      return "USER " + user;
  }
}

FtpServerType ServerTypeFromSyst(std::string_view reply) {
  if (!reply.empty() && reply[0] == '5') return ftpstDefault;
  const std::string text = UpperCaseAscii(reply.size() > 4 ? reply.substr(4, 99) : "");
  const auto holds = [&text](const char* keyword) {
    return text.find(keyword) != std::string::npos;
  };
  for (const Keyword& keyword : kSystKeywords) {
    if (holds(keyword.text)) return keyword.type;
  }
  if (holds("VMS")) return holds("MULTINET") ? ftpstVmsMultinet : ftpstVmsUcx;
  if (holds("VM")) return holds("VPS") ? ftpstVMVPS : ftpstVM;
  return ftpstDefault;
}

bool IsNetTermGreeting(std::string_view greeting) {
  return greeting.find("NetTerm FTP server") != std::string_view::npos;
}

std::string QuotedPath(std::string_view reply) {
  const size_t open = reply.find('"');
  if (open == std::string_view::npos) return std::string();
  const size_t close = reply.find('"', open + 1);
  if (close == std::string_view::npos) return std::string();
  return std::string(reply.substr(open + 1, close - open - 1));
}

std::string NormaliseDrivePath(std::string_view path) {
  if (!path.empty() && path[0] == '/')
    return std::string(path.substr(std::min<size_t>(3, path.size())));
  std::string result(path.substr(std::min<size_t>(2, path.size())));
  for (size_t i = 0; i < result.size(); i += CharLengthAt(result, i)) {
    if (result[i] == '\\') result[i] = '/';
  }
  return result;
}

}  // namespace tarsil
