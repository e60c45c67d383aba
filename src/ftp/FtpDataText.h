// The data side's text rules as pure functions: the PASV reply and the PORT argument, the size
// told by a preliminary reply or a SIZE reply, and the full path of a removed directory. Texts are
// CP932 bytes; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

// Where a PASV reply says the data connection goes.
struct PasvTarget {
  std::string host;  // dotted, as the reply names it
  uint16_t port = 0;
};

// The text after the first "(" up to the next ")" (or the end of the line), trimmed, must be six
// comma-separated decimal numbers of 0 to 255 (blanks around each allowed) naming a port that is
// not 0; anything else gives nothing.
std::optional<PasvTarget> ParsePasvReply(std::string_view reply);

// The port of an EPSV reply: "229 Entering Extended Passive Mode (|||6446|)". Between the
// parentheses four equal delimiter characters (33 to 126) with only a decimal port of 1 to 65535
// between the third and the fourth (the address fields empty, as a server must send them);
// anything else gives nothing.
std::optional<uint16_t> ParseEpsvReply(std::string_view reply);

// "|2|::1|6446|" (IPv6) or "|1|127.0.0.1|6446|" for an address and a port: EPRT's argument.
std::string EprtArgument(std::string_view address, uint16_t port);

// "h1,h2,h3,h4,p1,p2" for a dotted local address and a port.
std::string PortArgument(std::string_view dotted, uint16_t port);

// A preliminary reply's size: the text after the last "(" up to the first blank after it
// ("150 Opening ... (1234 bytes)" gives "1234"); empty when there is no such text.
std::string PreliminarySize(std::string_view reply);

// The number of a SIZE reply ("213 1234"), taken from the fifth character on (blanks around it
// allowed); nothing when it is not a decimal number that fits 63 bits.
std::optional<int64_t> ParseSizeReply(std::string_view reply);

// The remote path of a directory removed with RMD: `name` itself when it begins with "/", else
// `current` + name, with a "/" between them when `current` does not end with one.
std::string RemovedDirectoryPath(std::string_view current, std::string_view name);

}  // namespace tarsil
