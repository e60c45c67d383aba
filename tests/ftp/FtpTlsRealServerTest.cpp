// TLS and EPSV against the real servers: implicit TLS where the server offers it, a TLS server
// turning away a clear login (so the transfers that pass over TLS went encrypted), and EPSV
// over IPv4 when the script asks for it. Names hold "RealServer" and the server they need.
#include <gtest/gtest.h>

#include <algorithm>

#include "TransferHarness.h"
#include "support/RealServers.h"

namespace tarsil::testing {
namespace {

class FtpTlsRealServerTest : public TransferTest {
 protected:
  RealServer Server(const char* name) {
    std::string error;
    const std::optional<RealServer> found = FindRealServer(name, &error);
    EXPECT_TRUE(found) << error;
    return found.value_or(RealServer{});
  }

  bool Sent(const std::string& command) const {
    return std::find(Commands().begin(), Commands().end(), command) != Commands().end();
  }

  void Login(const RealServer& server, int port) {
    Direct(static_cast<uint16_t>(port), server.address);
    ftp_->SetUsername(server.user);
    ftp_->SetPassword(server.password);
    ftp_->SetTimeOut(10);
    ftp_->SetRetries(0);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntil([&] { return recorder_.Has("loggedin") || recorder_.Has("quit"); }, 15s));
  }
};

TEST_F(FtpTlsRealServerTest, RealServerPyftpdlibtlsImplicitTlsLogsIn) {
  const RealServer server = Server("pyftpdlibtls");
  ASSERT_NE(server.implicit_port, 0);
  ftp_->SetSecurity(FtpSecurity::kImplicit);
  ftp_->SetTlsFingerprint(server.fingerprint);
  ASSERT_NO_FATAL_FAILURE(Login(server, server.implicit_port));
  EXPECT_TRUE(recorder_.Has("loggedin"));
  EXPECT_EQ(Commands().front(), "USER " + server.user);  // no AUTH: TLS came first
  EXPECT_TRUE(Sent("PROT P"));
  ASSERT_TRUE(Run([&] { ftp_->ChangeDir("/sub"); }));
  EXPECT_EQ(ftp_->CurrentDirectory(), "/sub");
  // Its data connections carry TLS as well (the handshake starts before the transfer command).
  const std::string local = dir_.str() + "/readme.txt";
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("/readme.txt", local); }, 15s));
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
  EXPECT_EQ(TempDir::Read(local), "Tarsil test server\nsecond line\nthird line\n");
}

TEST_F(FtpTlsRealServerTest, RealServerVsftpdtlsTurnsAwayAClearLogin) {
  const RealServer server = Server("vsftpdtls");
  ASSERT_NO_FATAL_FAILURE(Login(server, server.port));
  EXPECT_FALSE(recorder_.Has("loggedin"));
  EXPECT_NE(recorder_.replies.find("530"), std::string::npos) << recorder_.replies;
  EXPECT_FALSE(Sent("PASS (want to know) :-P"));
}

TEST_F(FtpTlsRealServerTest, RealServerPyftpdlibUsesEpsvOverIpv4WhenAsked) {
  const RealServer server = Server("pyftpdlib");
  ftp_->SetUseEpsv(true);
  ftp_->SetPassive(true);
  ASSERT_NO_FATAL_FAILURE(Login(server, server.port));
  ASSERT_TRUE(recorder_.Has("loggedin"));
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }, 15s));
  EXPECT_TRUE(Sent("EPSV"));
  EXPECT_FALSE(Sent("PASV"));
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
  EXPECT_GT(ftp_->CurrentFiles().Count(), 3);
}

}  // namespace
}  // namespace tarsil::testing
