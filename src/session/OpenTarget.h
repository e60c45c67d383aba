// The server word of "Open": a host name or address with an optional ":port", an IPv6 address
// in brackets ("[::1]", "[2001:db8::5]:2121"), and the schemes "ftpes://" (TLS after AUTH TLS,
// port 21) and "ftps://" (TLS from the first byte, port 990). A word without a scheme or
// brackets is read exactly as it always was. Pure function; any thread.
#pragma once

#include <string>
#include <string_view>

#include "ftp/FtpProperties.h"

namespace tarsil {

struct OpenTarget {
  FtpSecurity security = FtpSecurity::kNone;
  std::string host;  // without brackets
  int port = 21;
  std::string error;  // not empty: the word cannot be used, and this says why
};

OpenTarget ParseOpenTarget(std::string_view word);

}  // namespace tarsil
