// FtpResult: the reply code of a reply line.
#include "ftp/FtpResult.h"

namespace tarsil {

int ReplyCodeOf(std::string_view reply) {
  int code = 0;
  for (size_t i = 0; i < 3 && i < reply.size(); ++i) {
    if (reply[i] < '0' || reply[i] > '9') return 0;
    code = code * 10 + (reply[i] - '0');
  }
  return code;
}

}  // namespace tarsil
