// The script's integer for a finished request: the reply code when a reply came (whatever else
// happened), else 999 after an error text and 0 without one.
#include <gtest/gtest.h>

#include "session/ScriptResult.h"

namespace tarsil {
namespace {

TEST(ScriptResultTest, ReplyCodeFirstThenTheToldErrorThenZero) {
  EXPECT_EQ(ScriptResultOf(FtpResult{226, ftpErrorNone, "226 Done."}, false), 226);
  // A failed request whose server answered gives the server's code, not 999.
  EXPECT_EQ(ScriptResultOf(FtpResult{550, ftpErrorAccessDenied, "550 No."}, true), 550);
  // A reply line without a code counts as 0 even beside an error.
  EXPECT_EQ(ScriptResultOf(FtpResult{0, ftpErrorConnectionAborted, "garbage"}, true), 0);
  // No reply at all: an error told during the request makes it 999.
  EXPECT_EQ(ScriptResultOf(FtpResult{0, ftpErrorNoServer, ""}, true), 999);
  EXPECT_EQ(ScriptResultOf(FtpResult{0, ftpErrorNone, ""}, false), 0);
}

}  // namespace
}  // namespace tarsil
