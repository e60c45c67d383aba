// The engine's text rules as pure functions: what a command line may hold and how listeners see
// it, the first login command of each proxy form, the server type told by a SYST reply or a
// greeting, the quoted path of a PWD or CWD reply and the drive-path normalisation. Texts are
// CP932 bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/FtpCodes.h"
#include "listing/ServerType.h"

namespace tarsil {

// True when the text holds CR, LF or NUL: sent as a command it would end the line early and
// could smuggle a second command onto the control connection.
bool HoldsLineBreakOrNul(std::string_view command);

// Where a command line carries a secret: the argument of PASS or ACCT (any letter case), that is
// everything after the blank (space or tab) that ends the command word; blanks before the word
// are skipped. A PASS with an empty argument is found too (begin == end).
struct CommandSecret {
  bool found = false;
  bool account = false;  // ACCT rather than PASS
  size_t begin = 0;
  size_t end = 0;
};
CommandSecret FindCommandSecret(std::string_view line);

// What a log shows in place of a secret.
inline constexpr std::string_view kMaskedSecret = "********";

// The command line as listeners see it: a PASS or ACCT line with an argument becomes kMaskedPass
// or kMaskedAcct; any other line is returned unchanged.
std::string MaskCommandLine(std::string_view line);

// The command line with the secret of FindCommandSecret replaced by kMaskedSecret, for lines
// that quote a command (debug markers, script lines).
std::string MaskCommandSecret(std::string_view line);

// What the first login command needs: the real target and the two user names.
struct LoginTarget {
  std::string_view server;  // the real target host, as the user gave it
  uint16_t port = 21;       // the real target port
  std::string_view username;
  std::string_view proxy_username;  // proxySite only
};

// The command that opens the login for each proxy form (the greeting has been answered):
// proxyNone "USER user"; proxyHost "HOST host"; proxyHostUser "USER host!user" or
// "USER host:port!user"; proxyOpen "OPEN host"; proxySite "USER proxyuser"; proxyUserSite
// "USER user@host" or "USER user@host:port". The port is written only when it is not 21.
std::string FirstLoginCommand(FtpProxyType type, const LoginTarget& target);

// The type a SYST reply tells: any 5xx reply gives ftpstDefault; otherwise the text after the
// code (at most 99 characters, upper-cased) is searched for the known keywords in their order,
// ftpstDefault when none is there.
FtpServerType ServerTypeFromSyst(std::string_view reply);

// A greeting of this kind names a server whose PWD replies carry drive paths.
bool IsNetTermGreeting(std::string_view greeting);

// The text between the first double quote of the line and the next one; empty when the line
// holds fewer than two.
std::string QuotedPath(std::string_view reply);

// A drive path as a server path: "/E:/pub" loses its first three characters, "E:\pub" its first
// two with every "\" turned into "/" (bytes of two-byte characters are left alone).
std::string NormaliseDrivePath(std::string_view path);

// True when the server type is one whose PWD replies give drive paths.
constexpr bool UsesDrivePaths(FtpServerType type) {
  return type == ftpstNetTerm || type == ftpstServU;
}

}  // namespace tarsil
