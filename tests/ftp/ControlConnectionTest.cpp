// The control connection by itself, against the scripted fake server: the one refusal of a
// command line that would end early, multi-line replies handed up once whole with their lines
// kept for a step that reads them, a line longer than allowed ending the connection, and the
// proxy target put back.
#include "ftp/ControlConnection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/PollEventLoop.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

void NoStep(EngineContext&, const std::string&) {}
constexpr ReplyHandler kStep{"Step", &NoStep};

// What the connection hands up, in order.
struct RecordingOwner : ControlOwner {
  std::vector<std::string> told;  // "command ..." / "reply ..." / "failed ..." / "Step: ..."
  void ControlInfo(FtpInfo info, std::string_view text) override {
    told.push_back((info == ftpInfoCommand ? "command " : "bytes ") + std::string(text));
  }
  bool ControlSocketFailed() override { return failed_socket; }
  void ControlFailed(FtpError member, std::string text) override {
    told.push_back("failed " + std::string(FtpErrorName(member)) + " " + text);
  }
  void ControlReply(const ReplyHandler& handler, const std::string& reply) override {
    told.push_back(std::string(handler.name) + ": " + reply);
  }
  size_t Count(const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& t : told) n += t.rfind(prefix, 0) == 0;
    return n;
  }
  bool failed_socket = false;
};

class ControlConnectionTest : public ::testing::Test {
 protected:
  void ConnectTo(const FakeFtpServer& server) {
    AsyncSocket& socket = control_.Socket();
    socket.OnConnected = [this](AsyncSocket&) { control_.StartReading(kStep); };
    socket.RecreateSocket();
    socket.SetAddressText(server.address());
    socket.SetPortNumber(server.port());
    socket.ConnectSocket();
    ASSERT_TRUE(Await("Step: 220"));
  }
  bool Await(const std::string& prefix) {
    return loop_.WaitUntil([&] { return owner_.Count(prefix) > 0; }, EventLoop::Clock::now() + 5s);
  }

  PollEventLoop loop_;
  RecordingOwner owner_;
  ControlConnection control_{loop_, owner_};
};

TEST_F(ControlConnectionTest, ALineThatWouldEndEarlyIsNeitherSentNorTold) {
  for (const std::string& command : {"CWD a\r\nDELE b"s, "CWD a\n"s, "CWD a\r"s, "CWD a\0b"s}) {
    EXPECT_FALSE(control_.Send(command, kStep));
  }
  EXPECT_TRUE(owner_.told.empty());
  EXPECT_FALSE(control_.SendPending());
  EXPECT_FALSE(control_.Handler());
}

TEST_F(ControlConnectionTest, MultiLineRepliesComeUpWholeWithTheirLinesKept) {
  FakeFtpServer server;
  server.On("FEAT", "211-Features:\r\n UTF8\r\n SIZE\r\n211 End\r\n");
  ConnectTo(server);
  control_.CollectReplyLines();
  ASSERT_TRUE(control_.Send("FEAT", kStep));
  EXPECT_EQ(owner_.Count("command FEAT\r\n"), 1u);
  ASSERT_TRUE(Await("Step: 211 End"));
  EXPECT_EQ(owner_.Count("Step: "), 2u);  // the greeting and the whole FEAT reply, once each
  EXPECT_EQ(control_.LastReply(), "211 End");
  EXPECT_EQ(control_.TakeReplyLines(),
            (std::vector<std::string>{"211-Features:", " UTF8", " SIZE", "211 End"}));
  EXPECT_TRUE(control_.TakeReplyLines().empty());  // taken, and no longer collected
}

TEST_F(ControlConnectionTest, AReplyLineLongerThanAllowedEndsTheConnection) {
  FakeFtpServer server;
  server.EndlessLineOn("HELP");
  ConnectTo(server);
  ASSERT_TRUE(control_.Send("HELP", kStep));
  ASSERT_TRUE(Await("failed "));
  EXPECT_EQ(owner_.Count("failed ftpErrorConnectionAborted Reply line longer than 8192 bytes"), 1u);
  EXPECT_EQ(owner_.Count("Step: "), 1u);  // the greeting only
}

TEST_F(ControlConnectionTest, TheRealTargetComesBackOnceAfterAProxy) {
  AsyncSocket& socket = control_.Socket();
  socket.SetServer("ftp.example.net");
  socket.SetPort(0);  // no port given: the real target is port 21
  control_.SaveTarget();
  socket.SetServer("proxy.example.net");
  socket.SetPort(2121);
  EXPECT_TRUE(control_.TargetSaved());
  control_.RestoreTarget();
  EXPECT_EQ(socket.Server(), "ftp.example.net");
  EXPECT_EQ(socket.Port(), 21);
  EXPECT_FALSE(control_.TargetSaved());
  socket.SetServer("elsewhere");
  control_.RestoreTarget();  // nothing saved any more: nothing changes
  EXPECT_EQ(socket.Server(), "elsewhere");
}

}  // namespace
}  // namespace tarsil::testing
