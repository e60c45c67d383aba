// The scripted fake FTP server's data connections, driven by plain blocking sockets with bounded
// time-outs: data both ways in both modes, paced and endless downloads, the abort, hostile
// passive replies, active connections from elsewhere and every data connection fault.
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

}  // namespace
}  // namespace tarsil::testing
