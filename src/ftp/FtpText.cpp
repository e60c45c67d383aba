#include "ftp/FtpText.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

bool StartsWithWord(std::string_view line, std::string_view word) {
  return line.size() >= word.size() && SameTextAscii(line.substr(0, word.size()), word);
}

struct Keyword {
  const char* text;
  TMFtpServerType type;
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

std::string MaskCommandLine(std::string_view line) {
  if (StartsWithWord(line, "PASS ")) return kMaskedPass;
  if (StartsWithWord(line, "ACCT ")) return kMaskedAcct;
  return std::string(line);
}

std::string FirstLoginCommand(TMFtpProxyType type, const LoginTarget& target) {
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

TMFtpServerType ServerTypeFromSyst(std::string_view reply) {
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
