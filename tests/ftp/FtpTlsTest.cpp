// TLS in the engine against servers that misbehave on purpose: AUTH TLS refused, a handshake
// that meets a close, garbage or silence, TLS through a proxy, certificates that are untrusted,
// expired, for another name or not the pinned one, PROT P refused, and a TLS data connection
// cut in the middle. Every case must end the request with a clear error and never send the
// user name or password in clear.
#include <gtest/gtest.h>

#include <cstdlib>

#include "EngineHarness.h"
#include "support/FakeFtpServer.h"
#include "support/TempDir.h"
#include "support/TlsTestServer.h"

namespace tarsil::testing {
namespace {

TlsTestServer::Options ServerWith(TestCertificate certificate) {
  TlsTestServer::Options options;
  options.certificate = std::move(certificate);
  return options;
}

class FtpTlsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ftp_->SetUsername("alice");
    ftp_->SetPassword("s3cret");
    ftp_->SetRetries(0);
    recorder_.secrets = {"s3cret"};
  }

  void TearDown() override {
    unsetenv("SSL_CERT_FILE");
    EngineTest::TearDown();
  }

  // The error events the login raised, joined.
  std::string Errors() const {
    std::string text;
    for (const std::string& event : recorder_.events) {
      if (event.rfind("error ", 0) == 0) text += event + "\n";
    }
    return text;
  }

  // A fresh engine for the next case of a table.
  void Renew() {
    ftp_.reset();
    loop_.ProcessMessages();
    recorder_ = EngineRecorder{};
    SetUp();
  }

  bool LoginEnded() {
    ftp_->LoginServer();
    return RunUntilQuiet(10s);
  }

  TempDir dir_;
};

TEST_F(FtpTlsTest, RefusedAuthTlsEndsTheLoginWithoutTheUserOrPassword) {
  FakeFtpServer server;
  server.On("AUTH*", "500 AUTH not understood\r\n");
  Direct(server.port());
  ftp_->SetSecurity(FtpSecurity::kExplicit);
  ASSERT_TRUE(LoginEnded());
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{"AUTH TLS"}));
  EXPECT_EQ(server.RawInput().find("PASS"), std::string::npos);
  EXPECT_NE(Errors().find("The server refused AUTH TLS (500 AUTH not understood)"),
            std::string::npos)
      << Errors();
  EXPECT_FALSE(recorder_.Has("loggedin"));
}

TEST_F(FtpTlsTest, HandshakeFaultsEndTheLoginWithAReason) {
  // The server answers AUTH TLS and then meets the client's handshake with a close, with text,
  // or with silence (text that came with the 234 itself is dropped unread, so it stalls too).
  struct Case {
    const char* name;
    FakeReply auth_reply;
    FakeReply answer;   // to the handshake's first bytes
    const char* error;  // what the error line holds
  };
  const Case cases[] = {
      {"close", FakeReply::Close("234 Go ahead\r\n"), FakeReply::Silence(), "TLS handshake failed"},
      {"garbage", "234 Go ahead\r\n", "this is not a TLS record at all, only text\r\n",
       "TLS handshake failed: wrong version number"},
      {"stall", "234 Go ahead\r\n", FakeReply::Silence(), "ftpErrorTimedOut"},
      {"text after 234", "234 Go ahead\r\n230 Logged in\r\n", FakeReply::Silence(),
       "ftpErrorTimedOut"},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    Renew();
    FakeFtpServer server;
    server.On("AUTH*", row.auth_reply);
    server.SetDefaultReply(row.answer);
    Direct(server.port());
    ftp_->SetSecurity(FtpSecurity::kExplicit);
    ftp_->SetTimeOut(2);
    ftp_->SetCountdownInterval(100);  // a 0.2 s time-out
    ASSERT_TRUE(LoginEnded());
    EXPECT_NE(Errors().find(row.error), std::string::npos) << Errors();
    EXPECT_EQ(server.Commands().at(0), "AUTH TLS");
    EXPECT_EQ(server.RawInput().find("USER"), std::string::npos);
    EXPECT_FALSE(recorder_.Has("loggedin"));
  }
}

TEST_F(FtpTlsTest, ImplicitTlsAgainstAPlainServerFailsAtTheHandshake) {
  FakeFtpServer server;  // greets in clear: no TLS record
  Direct(server.port());
  ftp_->SetSecurity(FtpSecurity::kImplicit);
  ASSERT_TRUE(LoginEnded());
  EXPECT_NE(Errors().find("TLS handshake failed"), std::string::npos) << Errors();
  EXPECT_EQ(server.RawInput().find("USER"), std::string::npos);
}

TEST_F(FtpTlsTest, TlsThroughAProxyIsRefusedBeforeAnyConnection) {
  FakeFtpServer proxy;
  ftp_->SetServer("ftp.example");
  ftp_->SetSecurity(FtpSecurity::kExplicit);
  ftp_->SetProxyType(proxyHost);
  ftp_->SetProxyServer("127.0.0.1");
  ftp_->SetProxyPort(proxy.port());
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("ready"));
  loop_.ProcessMessages();
  EXPECT_NE(Errors().find("TLS cannot go through an FTP proxy"), std::string::npos) << Errors();
  EXPECT_TRUE(proxy.Commands().empty());
  EXPECT_EQ(ftp_->Server(), "ftp.example");
}

TEST_F(FtpTlsTest, CertificatesAreJudgedByTrustNameDateAndPin) {
  const TestCertificate authority = MakeTestCertificate("Test CA", "", -3600, 86400, nullptr, true);
  const std::string ca_file = dir_.Write("ca.pem", authority.certificate_pem);
  const TestCertificate self_signed = MakeTestCertificate("self", "127.0.0.1", -3600, 86400);
  struct Case {
    const char* name;
    TestCertificate certificate;
    bool trust_authority = false;
    bool verify = true;
    std::string pin = "";
    const char* error = nullptr;  // nullptr: the login succeeds
  };
  const Case cases[] = {
      {.name = "self-signed", .certificate = self_signed, .error = "(untrusted)"},
      {.name = "expired",
       .certificate = MakeTestCertificate("old", "127.0.0.1", -7200, -3600),
       .error = "(untrusted, expired)"},
      {.name = "other name",
       .certificate = MakeTestCertificate("b", "127.0.0.2", -3600, 86400, &authority),
       .trust_authority = true,
       .error = "(name mismatch)"},
      {.name = "trusted",
       .certificate = MakeTestCertificate("a", "127.0.0.1", -3600, 86400, &authority),
       .trust_authority = true},
      {.name = "pinned", .certificate = self_signed, .pin = self_signed.fingerprint},
      {.name = "wrong pin",
       .certificate = self_signed,
       .pin = MakeTestCertificate("x", "127.0.0.1", -3600, 86400).fingerprint,
       .error = "not the one TLSFINGERPRINT names"},
      {.name = "checks off", .certificate = self_signed, .verify = false},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    Renew();
    if (row.trust_authority) {
      setenv("SSL_CERT_FILE", ca_file.c_str(), 1);
    } else {
      unsetenv("SSL_CERT_FILE");
    }
    TlsTestServer server(ServerWith(row.certificate));
    Direct(server.port(), "127.0.0.1");
    ftp_->SetSecurity(FtpSecurity::kImplicit);
    ftp_->SetTlsVerify(row.verify);
    ftp_->SetTlsFingerprint(row.pin);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntil([&] { return recorder_.Has("loggedin") || recorder_.Has("quit"); }, 10s));
    if (row.error == nullptr) {
      EXPECT_TRUE(recorder_.Has("loggedin")) << Errors();
      EXPECT_EQ(server.Commands().at(0), "USER alice");
      const bool warned = recorder_.CountPrefix("info ftpInfoDebug Warning: TLSVERIFY=NO") == 1;
      EXPECT_EQ(warned, !row.verify);
      Renew();  // the client leaves first, so that the server's thread ends at once
    } else {
      EXPECT_NE(Errors().find(row.error), std::string::npos) << Errors();
      // The refusal shows the fingerprint, so that the user can pin the certificate.
      EXPECT_NE(Errors().find(row.certificate.fingerprint), std::string::npos) << Errors();
      EXPECT_TRUE(server.Commands().empty());
      ASSERT_TRUE(RunUntilQuiet());
    }
  }
}

TEST_F(FtpTlsTest, RefusedProtPEndsTheLogin) {
  TlsTestServer::Options options = ServerWith(MakeTestCertificate("s", "127.0.0.1", -3600, 86400));
  options.prot_reply = "534 Clear data only\r\n";
  TlsTestServer server(options);
  Direct(server.port());
  ftp_->SetSecurity(FtpSecurity::kImplicit);
  ftp_->SetTlsFingerprint(options.certificate.fingerprint);
  ASSERT_TRUE(LoginEnded());
  EXPECT_NE(Errors().find("The server refused PROT P (534 Clear data only)"), std::string::npos)
      << Errors();
  EXPECT_FALSE(recorder_.Has("loggedin"));
  EXPECT_EQ(server.Commands(),
            (std::vector<std::string>{"USER alice", "PASS s3cret", "PBSZ 0", "PROT P"}));
}

TEST_F(FtpTlsTest, DownloadsOverTlsAndFailsWhenTheDataIsCut) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 % 251);
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    Renew();
    TlsTestServer::Options options =
        ServerWith(MakeTestCertificate("s", "127.0.0.1", -3600, 86400));
    options.download = bytes;
    options.cut_data = cut;
    TlsTestServer server(options);
    Direct(server.port());
    ftp_->SetSecurity(FtpSecurity::kImplicit);
    ftp_->SetTlsFingerprint(options.certificate.fingerprint);
    ftp_->SetPassive(true);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("loggedin", 10s)) << Errors();
    recorder_.events.clear();
    const std::string local = dir_.str() + "/got.bin";
    ftp_->RetrieveFile("data.bin", local);
    ASSERT_TRUE(RunUntilEvent("ready", 10s)) << Errors();
    if (cut) {
      EXPECT_NE(Errors().find("ftpErrorDataConnection TLS connection failed"), std::string::npos)
          << Errors();
      EXPECT_FALSE(ftp_->RequestOk());
    } else {
      EXPECT_EQ(Errors(), "");
      EXPECT_EQ(TempDir::Read(local), bytes);
      EXPECT_TRUE(server.DataResumed());
      EXPECT_EQ(recorder_.CountPrefix("info ftpInfoDebug TLS data connection: "), 1u);
    }
    Renew();
  }
}

}  // namespace
}  // namespace tarsil::testing
