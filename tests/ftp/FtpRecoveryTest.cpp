// A passive data connection that is refused while the control connection is sound (the other
// recoveries are in cases/recovery.case): the request ends and the control connection stays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TransferHarness.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kDenied = "error ftpErrorAccessDenied Access denied or file not found";
const std::string kDataFailed =
    "error ftpErrorDataConnection The data connection failed before the transfer was complete";

class FtpRecoveryTest : public TransferTest {
 protected:
  // The connection still works: a CWD goes out and is answered.
  void ExpectConnectionWorks() {
    ASSERT_TRUE(ftp_->Connected());
    Forget();
    ASSERT_TRUE(Run([&] { ftp_->ChangeDir("/pub"); }));
    EXPECT_EQ(Events(), (Strings{"busy", "ready", "changed"}));
    EXPECT_EQ(Commands(), (Strings{"CWD /pub", "PWD"}));
    EXPECT_EQ(ftp_->LastReply(), "257 \"/\"");
  }
};

TEST_F(FtpRecoveryTest, ARefusedPassiveConnectionEndsTheRequest) {
  FakeFtpServer server;
  server.On("PASV", "227 Entering Passive Mode (127,0,0,1,0,1).\r\n");  // nobody listens there
  server.SetDataConnectLimit(std::chrono::milliseconds(300));
  server.ServeData("RETR a.bin", "data");
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", dir_.str() + "/a.bin"); }));
  // Refused at once, before RETR; or later, when the server's 425 decides.
  EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
  if (Commands().back() == "RETR a.bin") {
    EXPECT_TRUE(Has(Events(), kDenied));
    EXPECT_EQ(ftp_->LastReply().substr(0, 4), "425 ");
  } else {
    EXPECT_EQ(Commands(), (Strings{"TYPE I", "PASV"}));
    EXPECT_TRUE(Has(Events(), kDataFailed));
  }
  EXPECT_EQ(Events().back(), "received");
  ExpectConnectionWorks();
}

}  // namespace
}  // namespace tarsil::testing
