// The script's integer for a request of the FTP engine: what a script line such as a transfer or
// an FTP command gives back (and what if Error/NonError look at). One rule, used by every request
// of the session.
#pragma once

#include "ftp/FtpResult.h"

namespace tarsil {

// The reply code of the request's last reply; when no reply has come, 999 when the engine told
// an error text during the request (`error_told`) and 0 otherwise.
int ScriptResultOf(const FtpResult& result, bool error_told);

}  // namespace tarsil
