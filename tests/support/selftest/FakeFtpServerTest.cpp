// The scripted fake FTP server, driven by plain blocking sockets with bounded time-outs: its
// default dialogue, scripts, every fault short of the data connection's, the transcript and a
// clean shutdown whatever it is doing.
#include "support/FakeFtpServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "FakeFtpClient.h"
#include "platform/UniqueFd.h"

namespace tarsil::testing {
namespace {

using namespace std::chrono_literals;

TEST(FakeFtpServerTest, PatternsMatchWholeWordsOrPrefixes) {
  struct Case {
    const char* pattern;
    const char* line;
    bool matches;
  } cases[] = {
      {"RETR", "RETR a.txt", true},    {"RETR", "RETRX a", false},      {"retr", "Retr a", true},
      {"RETR a", "RETR a.txt", false}, {"RETR a*", "RETR a.txt", true}, {"RETR A", "RETR a", false},
      {"*", "anything", true},         {"PASS", "PASS", true},          {"PASS", "PAS", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FakeFtpPatternMatches(c.pattern, c.line), c.matches) << c.pattern << " / " << c.line;
  }
}

TEST(FakeFtpServerTest, DefaultDialogueNeedsNoScript) {
  FakeFtpServer server;
  Control client(server.port());
  EXPECT_EQ(client.Reply(), "220 Fake FTP server ready\r\n");
  const std::pair<const char*, const char*> dialogue[] = {
      {"USER anonymous", "331 "}, {"PASS secret", "230 "},  {"SYST", "215 UNIX Type: L8\r\n"},
      {"TYPE I", "200 "},         {"PWD", "257 \"/\"\r\n"}, {"REST 100", "350 "},
      {"CWD pub", "250 "},        {"NOOP", "200 "},         {"FEAT", "502 "},
      {"QUIT", "221 "},
  };
  std::vector<std::string> sent;
  for (const auto& [command, reply] : dialogue) {
    EXPECT_EQ(client.Ask(command).rfind(reply, 0), 0u) << command;
    sent.push_back(command);
  }
  EXPECT_TRUE(client.SeesEnd());
  EXPECT_EQ(server.Commands(), sent);
  EXPECT_TRUE(server.WaitForConnectionsClosed(1, kWait));
}

TEST(FakeFtpServerTest, RulesSequencesAndDefaults) {
  FakeFtpServer server;
  server.On("USER", "331-Password,\r\n331 please.\r\n");
  server.OnSequence("PASS", {"530 Login incorrect.\r\n", "530 Still not.\r\n"});
  server.On("SITE X", "200 first\r\n");
  server.On("SITE", "200 second\r\n");
  server.SetDefaultReply("500 What?\r\n");
  Control client(server.port());
  client.Reply();
  EXPECT_EQ(client.Ask("USER a"), "331-Password,\r\n331 please.\r\n");
  EXPECT_EQ(client.Ask("PASS a"), "530 Login incorrect.\r\n");
  EXPECT_EQ(client.Ask("PASS b"), "530 Still not.\r\n");
  EXPECT_EQ(client.Ask("PASS c"), "230 Login successful.\r\n");  // used up: the built-in answers
  EXPECT_EQ(client.Ask("SITE X"), "200 first\r\n");
  EXPECT_EQ(client.Ask("SITE Y"), "200 second\r\n");
  EXPECT_EQ(client.Ask("XYZZY"), "500 What?\r\n");
}

TEST(FakeFtpServerTest, GreetingsPerConnectionThenDefault) {
  FakeFtpServer server;
  server.SetGreetings({"220-Welcome\r\n220 to the test.\r\n", FakeReply::Close("421 Busy.\r\n")});
  {
    Control first(server.port());
    EXPECT_EQ(first.Reply(), "220-Welcome\r\n220 to the test.\r\n");
    first.Ask("USER one");
  }
  {
    Control second(server.port());
    EXPECT_EQ(second.Reply(), "421 Busy.\r\n");
    EXPECT_TRUE(second.SeesEnd());
  }
  Control third(server.port());
  EXPECT_EQ(third.Reply(), "220 Fake FTP server ready\r\n");
  third.Ask("USER three");
  EXPECT_EQ(server.ConnectionsAccepted(), 3u);
  EXPECT_EQ(server.CommandsOn(0), std::vector<std::string>{"USER one"});
  EXPECT_TRUE(server.CommandsOn(1).empty());
  EXPECT_EQ(server.CommandsOn(2), std::vector<std::string>{"USER three"});
}

TEST(FakeFtpServerTest, NoGreetingStillAnswersCommands) {
  FakeFtpServer server;
  server.NoGreeting();
  Control client(server.port());
  EXPECT_EQ(client.Ask("USER a"), "331 Please specify the password.\r\n");
}

TEST(FakeFtpServerTest, CloseAfterGreetingEndsEveryConnection) {
  FakeFtpServer server;
  server.CloseAfterGreeting();
  for (int i = 0; i < 2; ++i) {
    Control client(server.port());
    EXPECT_EQ(client.Reply(), "220 Fake FTP server ready\r\n");
    EXPECT_TRUE(client.SeesEnd());
  }
  EXPECT_TRUE(server.WaitForConnectionsClosed(2, kWait));
}

TEST(FakeFtpServerTest, ResetsOnACommandOrAtACount) {
  for (bool by_count : {false, true}) {
    FakeFtpServer server;
    if (by_count) {
      server.ResetAtCommand(2);
    } else {
      server.ResetOn("PASS");
    }
    Control client(server.port());
    client.Reply();
    EXPECT_EQ(client.Ask("USER a").substr(0, 3), "331");
    int error = -1;
    client.Send("PASS a\r\n");
    EXPECT_TRUE(client.SeesEnd(&error));
    EXPECT_EQ(error, ECONNRESET) << by_count;
    Control again(server.port());  // the count fires once; the rule every time
    again.Reply();
    again.Send("USER a\r\nPASS a\r\n");
    again.Reply();
    EXPECT_EQ(again.Reply().substr(0, 3), by_count ? "230" : "");
  }
}

TEST(FakeFtpServerTest, DelayedReplyKeepsItsPlaceInLine) {
  FakeFtpServer server;
  server.DelayReply("NOOP", 200ms);
  Control client(server.port());
  client.Reply();
  auto start = Clock::now();
  client.Send("NOOP\r\nSYST\r\n");
  EXPECT_EQ(client.Reply(), "200 NOOP ok.\r\n");
  EXPECT_GE(Clock::now() - start, 200ms);
  EXPECT_EQ(client.Reply(), "215 UNIX Type: L8\r\n");
}

TEST(FakeFtpServerTest, SplitRepliesArriveWholeButSlowly) {
  FakeFtpServer server;
  server.SplitRepliesIntoBytes(true);
  auto start = Clock::now();
  Control client(server.port());
  EXPECT_EQ(client.Reply(), "220 Fake FTP server ready\r\n");
  EXPECT_GE(Clock::now() - start, 20ms);  // a pause of at least 1 ms after each byte
  EXPECT_EQ(client.Ask("USER a"), "331 Please specify the password.\r\n");
}

TEST(FakeFtpServerTest, EndlessLinesStopAtTheirLimitOrWhenTheClientGoes) {
  FakeFtpServer server;
  server.EndlessLineOn("HELP", 10000);
  server.EndlessMultiLineOn("STAT");
  server.EndlessLineOn("SITE");
  Control client(server.port());
  client.Reply();
  client.Send("HELP\r\n");
  EXPECT_EQ(ReadUpTo(client.fd(), 10000), std::string(10000, 'x'));
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP ok.\r\n");
  client.Send("STAT\r\n");
  std::string lines = ReadUpTo(client.fd(), 100000);
  EXPECT_EQ(lines.substr(0, 20), "220-begin\r\n220-more\r");
  EXPECT_EQ(lines.find("220 "), std::string::npos);
  client.Close();
  EXPECT_TRUE(server.WaitForConnectionsClosed(1, kWait));

  Control other(server.port());
  other.Reply();
  other.Send("SITE\r\n");
  std::string line = ReadUpTo(other.fd(), 3 << 20);
  EXPECT_EQ(line.size(), 3u << 20);
  EXPECT_EQ(line.find_first_not_of('x'), std::string::npos);
}

TEST(FakeFtpServerTest, TranscriptKeepsEveryByteOfALine) {
  FakeFtpServer server;
  Control client(server.port());
  client.Reply();
  const std::string input = std::string("CWD a\rb\r\nNOOP\nRETR \x82\xa0.txt\r\nDELE a") + '\0' +
                            "b\r\nSITE \xff\xff\r\n";
  client.Send(input);
  ASSERT_TRUE(server.WaitForCommands(5, kWait));
  EXPECT_EQ(server.Commands(),
            (std::vector<std::string>{"CWD a\rb", "NOOP", "RETR \x82\xa0.txt",
                                      std::string("DELE a") + '\0' + "b", "SITE \xff"}));
  EXPECT_EQ(server.RawInput(), input);
  EXPECT_FALSE(server.WaitForCommand("QUIT", 20ms));
}

TEST(FakeFtpServerTest, OverlongCommandLineEndsTheConnection) {
  FakeFtpServer server;
  Control client(server.port());
  client.Reply();
  client.Send("SITE " + std::string(100000, 'y'));
  EXPECT_EQ(client.Reply(), "500 Command line too long.\r\n");
  EXPECT_TRUE(server.WaitForConnectionsClosed(1, kWait));
}

// Destroying the server ends its thread at once whatever it is busy with, and the client sees
// the end of every connection.
TEST(FakeFtpServerTest, ShutdownInEveryState) {
  struct Case {
    const char* name;
    std::function<void(FakeFtpServer&, std::vector<UniqueFd>&)> setup;
  };
  const Case cases[] = {
      {"nobody connected", [](FakeFtpServer&, std::vector<UniqueFd>&) {}},
      {"greeting delayed",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         s.SetGreeting(FakeReply("220 late\r\n").Delayed(60s));
         fds.push_back(Connect(s.port()));
         s.WaitUntil([&] { return s.ConnectionsAccepted() == 1; }, kWait);
       }},
      {"endless line to a client that does not read",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         s.SetGreeting(FakeReply::Endless("x"));
         fds.push_back(Connect(s.port()));
         s.WaitUntil([&] { return s.ConnectionsAccepted() == 1; }, kWait);
       }},
      {"endless download to a client that does not read",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         s.EndlessData("RETR");
         Control client(s.port());
         client.Reply();
         fds.push_back(Connect(PassivePort(client.Ask("PASV"))));
         client.Ask("RETR x");
         fds.push_back(UniqueFd(dup(client.fd())));  // keeps the control connection open
       }},
      {"waiting for a data connection",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         Control client(s.port());
         client.Reply();
         client.Ask("PASV");
         client.Ask("LIST");
         fds.push_back(UniqueFd(dup(client.fd())));
       }},
      {"upload in progress",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         Control client(s.port());
         client.Reply();
         fds.push_back(Connect(PassivePort(client.Ask("PASV"))));
         client.Ask("STOR x");
         SendAll(fds.back().get(), "partial");
         fds.push_back(UniqueFd(dup(client.fd())));
       }},
      {"lingering after QUIT",
       [](FakeFtpServer& s, std::vector<UniqueFd>& fds) {
         Control client(s.port());
         client.Reply();
         client.Ask("QUIT");
         fds.push_back(UniqueFd(dup(client.fd())));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<UniqueFd> fds;
    auto server = std::make_unique<FakeFtpServer>();
    c.setup(*server, fds);
    auto start = Clock::now();
    server.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    for (UniqueFd& fd : fds) {
      int error = -1;
      ReadToEnd(fd.get(), &error);
      EXPECT_TRUE(error == 0 || error == ECONNRESET) << error;
    }
  }
}

TEST(FakeFtpServerTest, RefusesAddressesOutsideLoopback) {
  EXPECT_THROW(FakeFtpServer("192.0.2.1"), std::invalid_argument);
  FakeFtpServer server("127.0.0.3");
  EXPECT_EQ(server.address(), "127.0.0.3");
  EXPECT_THROW(server.ConnectBackFrom("10.0.0.1"), std::invalid_argument);
  Control client(server.port(), "127.0.0.3");
  EXPECT_EQ(client.Reply(), "220 Fake FTP server ready\r\n");
}

}  // namespace
}  // namespace tarsil::testing
