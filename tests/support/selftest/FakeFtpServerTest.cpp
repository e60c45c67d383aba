// The scripted fake FTP server, driven by plain blocking sockets with bounded time-outs: its
// default dialogue, scripts, every fault, data both ways in both modes, the transcript and a clean
// shutdown whatever it is doing.
#include "support/FakeFtpServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/UniqueFd.h"

namespace tarsil::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

UniqueFd Connect(uint16_t port, const std::string& host = "127.0.0.1") {
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  timeval limit{5, 0};  // no read or write in these tests may hang
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, host.c_str(), &to.sin_addr);
  EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0) << errno;
  return fd;
}

void SendAll(int fd, std::string_view bytes, int flags = 0) {
  while (!bytes.empty()) {
    ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | flags);
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

// Reads until EOF, an error or `limit` bytes; `error` gets errno of a failed read (0 at EOF).
std::string ReadUpTo(int fd, size_t limit, int* error = nullptr) {
  std::string bytes;
  char buffer[16384];
  while (bytes.size() < limit) {
    ssize_t got = recv(fd, buffer, std::min(sizeof buffer, limit - bytes.size()), 0);
    if (got <= 0) {
      if (error) *error = got == 0 ? 0 : errno;
      break;
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

std::string ReadToEnd(int fd, int* error = nullptr) { return ReadUpTo(fd, SIZE_MAX, error); }

// The control side of a client: whole replies, multi-line ones included.
class Control {
 public:
  explicit Control(uint16_t port, const std::string& host = "127.0.0.1")
      : fd_(Connect(port, host)) {}
  int fd() const { return fd_.get(); }
  void Close() { fd_.Reset(); }
  void Send(std::string_view bytes) { SendAll(fd_.get(), bytes); }
  std::string Ask(const std::string& command) {
    Send(command + "\r\n");
    return Reply();
  }
  // One reply: a line, or "ddd-" lines up to the one starting "ddd "; empty at the end.
  std::string Reply() {
    std::string reply = Line();
    if (reply.size() < 4 || reply[3] != '-') return reply;
    for (std::string line = Line(); !line.empty(); line = Line()) {
      reply += line;
      if (line.size() >= 4 && line.compare(0, 3, reply, 0, 3) == 0 && line[3] == ' ') break;
    }
    return reply;
  }
  std::string Line() {
    for (;;) {
      size_t end = pending_.find("\r\n");
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end + 2);
        pending_.erase(0, end + 2);
        return line;
      }
      char buffer[4096];
      ssize_t got = recv(fd_.get(), buffer, sizeof buffer, 0);
      if (got <= 0) return std::exchange(pending_, {});
      pending_.append(buffer, static_cast<size_t>(got));
    }
  }
  // True when the server ended the connection (FIN or RST) with nothing more to read.
  bool SeesEnd(int* error = nullptr) {
    return pending_.empty() && ReadToEnd(fd_.get(), error).empty();
  }

 private:
  UniqueFd fd_;
  std::string pending_;
};

// The port of a "227 ... (h1,h2,h3,h4,p1,p2)" or "229 ... (|||port|)" reply.
uint16_t PassivePort(const std::string& reply) {
  unsigned n[6] = {};
  size_t open = reply.find('(');
  const char* from = open == std::string::npos ? "" : reply.c_str() + open;
  if (std::sscanf(from, "(%u,%u,%u,%u,%u,%u)", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) == 6) {
    return static_cast<uint16_t>(n[4] * 256 + n[5]);
  }
  if (std::sscanf(from, "(|||%u|)", &n[0]) == 1) return static_cast<uint16_t>(n[0]);
  ADD_FAILURE() << "no port in " << reply;
  return 0;
}

struct Listener {
  Listener() : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&local), length), 0);
    listen(fd.get(), 1);
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
  }
  UniqueFd Accept(std::string* peer = nullptr) {
    pollfd entry{fd.get(), POLLIN, 0};
    if (poll(&entry, 1, 5000) != 1) return UniqueFd();
    sockaddr_in from{};
    socklen_t length = sizeof from;
    UniqueFd data(accept(fd.get(), reinterpret_cast<sockaddr*>(&from), &length));
    timeval limit{5, 0};
    setsockopt(data.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (peer) *peer = inet_ntoa(from.sin_addr);
    return data;
  }
  UniqueFd fd;
  uint16_t port = 0;
};

std::string AllByteValues(size_t copies) {
  std::string bytes;
  for (size_t i = 0; i < copies * 256; ++i) bytes.push_back(static_cast<char>(i & 255));
  return bytes;
}

constexpr auto kWait = 5000ms;

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

// PASV, EPSV, PORT and EPRT, each with a download and an upload checked byte for byte.
TEST(FakeFtpServerTest, DataBothWaysInBothModes) {
  const std::string file = AllByteValues(1200);
  for (const char* mode : {"PASV", "EPSV", "PORT", "EPRT"}) {
    for (bool upload : {false, true}) {
      SCOPED_TRACE(std::string(mode) + (upload ? " upload" : " download"));
      FakeFtpServer server;
      server.ServeData("RETR all.bin", file);
      Control client(server.port());
      client.Reply();
      Listener listener;
      UniqueFd data;
      std::string mode_text = mode;
      if (mode_text == "PASV" || mode_text == "EPSV") {
        uint16_t port = PassivePort(client.Ask(mode_text));
        data = Connect(port);
      } else {
        std::string argument = mode_text == "PORT"
                                   ? "127,0,0,1," + std::to_string(listener.port >> 8) + "," +
                                         std::to_string(listener.port & 255)
                                   : "|1|127.0.0.1|" + std::to_string(listener.port) + "|";
        EXPECT_EQ(client.Ask(mode_text + " " + argument).substr(0, 3), "200");
      }
      client.Send(upload ? "STOR up.bin\r\n" : "RETR all.bin\r\n");
      EXPECT_EQ(client.Reply(), "150 Opening data connection.\r\n");
      if (!data.valid()) data = listener.Accept();
      ASSERT_TRUE(data.valid());
      if (upload) {
        SendAll(data.get(), file);
        data.Reset();
      } else {
        EXPECT_EQ(ReadToEnd(data.get()), file);
      }
      EXPECT_EQ(client.Reply(), "226 Transfer complete.\r\n");
      if (upload) {
        EXPECT_EQ(server.ReceivedData("STOR up.bin"), file);
      }
      EXPECT_EQ(server.DataConnections(), 1u);
    }
  }
}

// A client that closed its passive data connection before the server read its STOR has sent an
// empty file: that close is the file's end, as a real server reads it, not a lost connection.
TEST(FakeFtpServerTest, DataConnectionClosedBeforeStorIsAnEmptyUpload) {
  FakeFtpServer server;
  Control client(server.port());
  client.Reply();
  UniqueFd data = Connect(PassivePort(client.Ask("PASV")));
  data.Reset();
  EXPECT_EQ(client.Ask("NOOP").substr(0, 3), "200");  // by now the server has seen the close
  client.Send("STOR empty.bin\r\n");
  EXPECT_EQ(client.Reply(), "150 Opening data connection.\r\n");
  EXPECT_EQ(client.Reply(), "226 Transfer complete.\r\n");
  EXPECT_EQ(server.ReceivedData("STOR empty.bin"), "");
  EXPECT_EQ(server.DataConnections(), 1u);
}

// Each piece of a paced download arrives after the pause that follows the one before: the whole
// file takes at least the pauses between its pieces, and ends with no pause after the last.
TEST(FakeFtpServerTest, PacedDownloadPausesBetweenItsPieces) {
  const std::string file = AllByteValues(3);  // three pieces of 256 bytes
  FakeFtpServer server;
  server.OnTransfer("RETR paced.bin", FakeTransfer::Sending(file).Paced(256, 150ms));
  Control client(server.port());
  client.Reply();
  UniqueFd data = Connect(PassivePort(client.Ask("PASV")));
  const auto start = Clock::now();
  EXPECT_EQ(client.Ask("RETR paced.bin"), "150 Opening data connection.\r\n");
  std::string first = ReadUpTo(data.get(), 256);
  const auto first_piece = Clock::now();
  EXPECT_EQ(first, file.substr(0, 256));
  EXPECT_EQ(ReadToEnd(data.get()), file.substr(256));
  EXPECT_GE(Clock::now() - first_piece, 300ms);
  EXPECT_GE(Clock::now() - start, 300ms);
  EXPECT_EQ(client.Reply(), "226 Transfer complete.\r\n");
}

TEST(FakeFtpServerTest, UnscriptedTransfersAndMissingDataConnections) {
  FakeFtpServer server;
  server.ServeData("RETR a.txt", "0123456789");
  Control client(server.port());
  client.Reply();
  EXPECT_EQ(client.Ask("RETR a.txt"), "425 Use PORT or PASV first.\r\n");
  EXPECT_EQ(client.Ask("RETR missing"), "550 Failed to open file.\r\n");
  UniqueFd data = Connect(PassivePort(client.Ask("PASV")));
  EXPECT_EQ(client.Ask("LIST"), "150 Opening data connection.\r\n");
  EXPECT_EQ(ReadToEnd(data.get()), "");  // an empty listing
  EXPECT_EQ(client.Reply(), "226 Transfer complete.\r\n");
  data = Connect(PassivePort(client.Ask("PASV")));  // a restart offset applies to the next transfer
  EXPECT_EQ(client.Ask("REST 4").substr(0, 3), "350");
  client.Ask("RETR a.txt");
  EXPECT_EQ(ReadToEnd(data.get()), "456789");
  client.Reply();
}

TEST(FakeFtpServerTest, PortToAnotherHostIsRefused) {
  FakeFtpServer server;
  server.ServeData("RETR a", "x");
  Control client(server.port());
  client.Reply();
  EXPECT_EQ(client.Ask("PORT 10,0,0,1,4,1"), "500 Illegal PORT command.\r\n");
  EXPECT_EQ(client.Ask("EPRT |1|192.168.1.1|1025|"), "500 Illegal PORT command.\r\n");
  EXPECT_EQ(client.Ask("PORT 1,2,3").substr(0, 3), "501");
  EXPECT_EQ(client.Ask("PORT 127,0,0,1,300,1").substr(0, 3), "501");
  EXPECT_EQ(client.Ask("RETR a"), "425 Use PORT or PASV first.\r\n");
}

TEST(FakeFtpServerTest, HostilePasvRepliesAndMalformedOnes) {
  FakeFtpServer server;
  server.AnnouncePasvHost("10.1.2.3");
  server.ServeData("RETR a", "abc");
  Control client(server.port());
  client.Reply();
  std::string reply = client.Ask("PASV");
  EXPECT_EQ(reply.rfind("227 Entering Passive Mode (10,1,2,3,", 0), 0u) << reply;
  UniqueFd data = Connect(PassivePort(reply));  // the listener really is on the server's address
  client.Ask("RETR a");
  EXPECT_EQ(ReadToEnd(data.get()), "abc");
  client.Reply();

  FakeFtpServer odd;
  odd.On("PASV", "227 Entering Passive Mode (1,2,3)\r\n");
  Control other(odd.port());
  other.Reply();
  EXPECT_EQ(other.Ask("PASV"), "227 Entering Passive Mode (1,2,3)\r\n");
  EXPECT_EQ(other.Ask("LIST"), "425 Use PORT or PASV first.\r\n");
}

// Active connections from an address other than the control connection's peer.
TEST(FakeFtpServerTest, ActiveConnectionsFromAnotherAddress) {
  for (bool stray : {false, true}) {
    SCOPED_TRACE(stray ? "stray first" : "from elsewhere");
    FakeFtpServer server;
    server.ServeData("RETR a", "abc");
    if (stray) {
      server.StrayConnectionFirst("127.0.0.2");
    } else {
      server.ConnectBackFrom("127.0.0.2");
    }
    Control client(server.port());
    client.Reply();
    Listener listener;
    client.Ask("PORT 127,0,0,1," + std::to_string(listener.port >> 8) + "," +
               std::to_string(listener.port & 255));
    client.Ask("RETR a");
    std::string peer;
    UniqueFd data = listener.Accept(&peer);
    EXPECT_EQ(peer, "127.0.0.2");
    if (stray) {
      data = listener.Accept(&peer);
      EXPECT_EQ(peer, "127.0.0.1");
    }
    EXPECT_EQ(ReadToEnd(data.get()), "abc");
    EXPECT_EQ(client.Reply(), "226 Transfer complete.\r\n");
    EXPECT_EQ(server.DataConnections(), 1u);
  }
}

// The abort sequence: IAC IP in the stream, IAC DM as urgent data, ABOR, IAC DM again.
TEST(FakeFtpServerTest, AbortOfAnEndlessDownloadWithUrgentData) {
  FakeFtpServer server;
  server.EndlessData("RETR big", "0123456789");
  Control client(server.port());
  client.Reply();
  EXPECT_EQ(client.Ask("ABOR"), "225 No transfer to ABOR.\r\n");
  UniqueFd data = Connect(PassivePort(client.Ask("PASV")));
  client.Ask("RETR big");
  EXPECT_EQ(ReadUpTo(data.get(), 100000).substr(0, 12), "012345678901");
  client.Send("\xff\xf4");
  SendAll(client.fd(), "\xff\xf2", MSG_OOB);
  client.Send("ABOR\r\n\xff\xf2NOOP\r\n");
  EXPECT_EQ(client.Reply(), "426 Connection closed; transfer aborted.\r\n");
  EXPECT_EQ(client.Reply(), "226 ABOR command successful.\r\n");
  EXPECT_EQ(client.Reply(), "200 NOOP ok.\r\n");
  int error = -1;
  ReadToEnd(data.get(), &error);  // the server closed the data connection
  EXPECT_TRUE(error == 0 || error == ECONNRESET) << error;
  EXPECT_EQ(server.UrgentData(), "\xf2");
  EXPECT_EQ(server.Commands(),
            (std::vector<std::string>{"ABOR", "PASV", "RETR big", "ABOR", "NOOP"}));
  EXPECT_NE(server.RawInput().find("\xff\xf4\xff"
                                   "ABOR\r\n\xff\xf2NOOP\r\n"),
            std::string::npos);
}

TEST(FakeFtpServerTest, DataConnectionFaults) {
  struct Case {
    const char* name;
    FakeTransfer transfer;
    bool upload;
  } cases[] = {
      {"download cut", FakeTransfer::Sending(AllByteValues(40)).CutAfter(1000), false},
      {"download reset", FakeTransfer::Sending(AllByteValues(40)).CutAfter(1000, true), false},
      {"upload cut", FakeTransfer().CutAfter(1000), true},
      {"client leaves a stalled download", FakeTransfer().Stalled(), false},
      {"client leaves a stalled upload", FakeTransfer().Stalled(), true},
      {"client leaves an endless download", FakeTransfer::Sending("abc").Endless(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.OnTransfer("*", c.transfer);
    Control client(server.port());
    client.Reply();
    UniqueFd data = Connect(PassivePort(client.Ask("PASV")));
    EXPECT_EQ(client.Ask(c.upload ? "STOR f" : "RETR f"), "150 Opening data connection.\r\n");
    if (c.transfer.cut_after == 1000) {
      int error = -1;
      if (c.upload) {
        SendAll(data.get(), std::string(5000, 'u'));
        EXPECT_EQ(client.Reply(), "426 Connection closed; transfer aborted.\r\n");
        EXPECT_EQ(server.ReceivedData("STOR f"), std::string(1000, 'u'));
        continue;
      }
      std::string got = ReadToEnd(data.get(), &error);
      EXPECT_EQ(error, c.transfer.cut_with_reset ? ECONNRESET : 0);
      EXPECT_LE(got.size(), 1000u);
      if (!c.transfer.cut_with_reset) {
        EXPECT_EQ(got, AllByteValues(40).substr(0, 1000));
      }
    } else {
      if (c.transfer.endless) ReadUpTo(data.get(), 10000);
      if (c.upload) {  // the server reads nothing, so the client's sends come to block
        std::string block(65536, 'b');
        ssize_t sent = 0;
        for (int i = 0; i < 2000 && sent >= 0; ++i) {
          sent = send(data.get(), block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        EXPECT_TRUE(sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        linger abortive{1, 0};  // a FIN would wait behind the unsent data forever
        setsockopt(data.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
      }
      data.Reset();
    }
    EXPECT_EQ(client.Reply(), "426 Connection closed; transfer aborted.\r\n");
  }
}

TEST(FakeFtpServerTest, DataConnectionThatNeverComes) {
  FakeFtpServer server;
  server.SetDataConnectLimit(100ms);
  Control client(server.port());
  client.Reply();
  client.Ask("PASV");
  EXPECT_EQ(client.Ask("LIST"), "150 Opening data connection.\r\n");
  EXPECT_EQ(client.Reply(), "425 Can't open data connection.\r\n");
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
