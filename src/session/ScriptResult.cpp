// The script's integer for a finished request.
#include "session/ScriptResult.h"

namespace tarsil {

int ScriptResultOf(const FtpResult& result, bool error_told) {
  if (!result.reply.empty()) return result.reply_code;
  return error_told ? 999 : 0;
}

}  // namespace tarsil
