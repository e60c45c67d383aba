// FtpResult: how a request of the FTP engine ended, as one value for the layer above: the reply
// code of the last reply, the engine's error of the request, and the reply text. The engine gives
// it with its ready notice (FtpEngine::Result). Plain value; any thread.
#pragma once

#include <string>
#include <string_view>

#include "ftp/FtpCodes.h"

namespace tarsil {

struct FtpResult {
  int reply_code = 0;             // ReplyCodeOf(reply)
  FtpError error = ftpErrorNone;  // of this request; ftpErrorNone: none
  std::string reply;              // the last reply line; empty when none came
};

// The number the first three characters of a reply line make when they are digits ("226 Done"
// gives 226); a shorter line of digits gives what it holds ("42" gives 42); 0 when any of those
// characters is not a digit, or for an empty line.
int ReplyCodeOf(std::string_view reply);

}  // namespace tarsil
