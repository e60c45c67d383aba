// Checks that every real FTP server of the test fixtures greets, lets the test user and anonymous
// in, lists in passive (PASV) and active (PORT, EPRT) mode, takes an upload into its root folder
// and says goodbye. Plain blocking sockets with time-outs: a failure here points at the server
// setup, never at the engine. Tests whose name holds "RealServer" get the server's fixture.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/RealServers.h"
#include "support/TempDir.h"

namespace tarsil::testing {
namespace {

constexpr int kTimeoutSeconds = 10;
constexpr size_t kMaxReplyBytes = 64 * 1024;
constexpr size_t kMaxDataBytes = 16 * 1024 * 1024;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A TCP socket whose sends, receives and connect give up after kTimeoutSeconds.
Fd BoundedSocket() {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  timeval limit{kTimeoutSeconds, 0};
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return fd;
}

sockaddr_in MakeAddress(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  return sa;
}

bool IsLoopback(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

Fd ConnectTo(const std::string& address, int port) {
  // Only loopback is ever a target, whatever a server announces.
  if (!IsLoopback(address)) return Fd();
  Fd fd = BoundedSocket();
  sockaddr_in sa = MakeAddress(address, port);
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return Fd();
  return fd;
}

// Everything the peer sends until it closes; bounded in time and size.
std::string ReadAll(int fd) {
  std::string data;
  std::vector<char> chunk(16 * 1024);
  while (data.size() < kMaxDataBytes) {
    ssize_t n = recv(fd, chunk.data(), chunk.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data.append(chunk.data(), static_cast<size_t>(n));
  }
  return data;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

struct Reply {
  int code = 0;  // 0 when the connection failed or timed out
  std::string text;
};

std::ostream& operator<<(std::ostream& out, const Reply& reply) {
  return out << "reply " << reply.code << " '" << reply.text << "'";
}

class Control {
 public:
  bool Open(const RealServer& server) {
    fd_ = ConnectTo(server.address, server.port);
    return static_cast<bool>(fd_);
  }

  // One reply, multi-line ones ("123-" ... "123 ") read whole.
  Reply Read() {
    Reply reply;
    std::string line;
    if (!ReadLine(&line) || line.size() < 3) return reply;
    reply.text = line;
    if (line.size() > 3 && line[3] == '-') {
      const std::string last = line.substr(0, 3) + " ";
      do {
        if (!ReadLine(&line)) return reply;
        reply.text += "\n" + line;
      } while (line.compare(0, 4, last) != 0);
    }
    reply.code = std::atoi(reply.text.substr(0, 3).c_str());
    return reply;
  }

  Reply Command(const std::string& line) {
    if (!SendAll(fd_.get(), line + "\r\n")) return Reply{};
    return Read();
  }

  // The local address of the control connection: where the server may connect back to.
  std::string LocalAddress() const {
    sockaddr_in sa{};
    socklen_t size = sizeof sa;
    getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&sa), &size);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    return text;
  }

 private:
  bool ReadLine(std::string* line) {
    size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
      if (buffer_.size() > kMaxReplyBytes) return false;
      std::vector<char> chunk(4096);
      ssize_t n = recv(fd_.get(), chunk.data(), chunk.size(), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer_.append(chunk.data(), static_cast<size_t>(n));
    }
    *line = buffer_.substr(0, end);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    buffer_.erase(0, end + 1);
    return true;
  }

  Fd fd_;
  std::string buffer_;
};

// Opens the data connection a 227 reply names.
Fd ConnectPassive(const Reply& reply) {
  size_t open = reply.text.find('(');
  int h[4], p[2];
  if (open == std::string::npos || std::sscanf(reply.text.c_str() + open, "(%d,%d,%d,%d,%d,%d)",
                                               &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) {
    return Fd();
  }
  std::ostringstream address;
  address << h[0] << '.' << h[1] << '.' << h[2] << '.' << h[3];
  return ConnectTo(address.str(), p[0] * 256 + p[1]);
}

// A listening socket on the control connection's local address, for active mode.
Fd ListenFor(const Control& control, int* port) {
  Fd fd = BoundedSocket();
  sockaddr_in sa = MakeAddress(control.LocalAddress(), 0);
  socklen_t size = sizeof sa;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(fd.get(), 1) != 0 ||
      getsockname(fd.get(), reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    return Fd();
  }
  *port = ntohs(sa.sin_port);
  return fd;
}

Fd AcceptBounded(int listener) {
  pollfd waiting{listener, POLLIN, 0};
  int ready;
  do {
    ready = poll(&waiting, 1, kTimeoutSeconds * 1000);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return Fd();
  Fd fd(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  timeval limit{kTimeoutSeconds, 0};
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return fd;
}

bool IsPreliminary(const Reply& reply) { return reply.code == 125 || reply.code == 150; }

enum class Mode { kPasv, kPort, kEprt };

// Runs a listing command over a data connection in the given mode; the listing, or "" with a
// test failure.
std::string List(Control& control, Mode mode, const std::string& command) {
  Fd data, listener;
  if (mode == Mode::kPasv) {
    Reply pasv = control.Command("PASV");
    EXPECT_EQ(pasv.code, 227) << pasv;
    data = ConnectPassive(pasv);
    EXPECT_TRUE(data) << "no data connection to " << pasv;
    if (!data) return "";
  } else {
    int port = 0;
    listener = ListenFor(control, &port);
    EXPECT_TRUE(listener);
    if (!listener) return "";
    std::string address = control.LocalAddress();
    std::string line;
    if (mode == Mode::kEprt) {
      line = "EPRT |1|" + address + "|" + std::to_string(port) + "|";
    } else {
      for (char& c : address) c = c == '.' ? ',' : c;
      line =
          "PORT " + address + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    }
    Reply reply = control.Command(line);
    EXPECT_EQ(reply.code, 200) << line << ": " << reply;
  }
  Reply start = control.Command(command);
  EXPECT_TRUE(IsPreliminary(start)) << command << ": " << start;
  if (!IsPreliminary(start)) return "";
  if (listener) data = AcceptBounded(listener.get());
  EXPECT_TRUE(data) << "the server did not connect back for " << command;
  std::string listing = data ? ReadAll(data.get()) : "";
  data.Reset();
  Reply done = control.Read();
  EXPECT_EQ(done.code / 100, 2) << command << ": " << done;
  return listing;
}

class SmokeTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string error;
    auto found = FindRealServer(GetParam(), &error);
    ASSERT_TRUE(found) << error;
    server_ = *found;
    ASSERT_TRUE(control_.Open(server_)) << "cannot connect to " << server_.address;
    Reply greeting = control_.Read();
    ASSERT_EQ(greeting.code, 220) << greeting;
  }

  // USER, then PASS when asked for it; the password never reaches the test output.
  void LogIn(const std::string& user, const std::string& password) {
    Reply reply = control_.Command("USER " + user);
    if (reply.code == 331) reply = control_.Command("PASS " + password);
    ASSERT_EQ(reply.code, 230) << "login of " << user << ": " << reply;
  }

  RealServer server_;
  Control control_;
};

TEST_P(SmokeTest, LogsInAndListsPassiveAndActive) {
  ASSERT_NO_FATAL_FAILURE(LogIn(server_.user, server_.password));
  Reply type = control_.Command("TYPE A");
  EXPECT_EQ(type.code, 200) << type;
  struct Case {
    Mode mode;
    const char* command;
  };
  for (const Case& c :
       {Case{Mode::kPasv, "LIST"}, Case{Mode::kPort, "LIST"}, Case{Mode::kEprt, "NLST"}}) {
    SCOPED_TRACE(std::string(c.command) + " in mode " + std::to_string(static_cast<int>(c.mode)));
    std::string listing = List(control_, c.mode, c.command);
    for (const char* name :
         {"a.txt", "B.TXT", "c.doc", "crlf.txt", "binary.bin", "sub", "upload"}) {
      EXPECT_NE(listing.find(name), std::string::npos) << name << " missing from\n" << listing;
    }
  }
  Reply quit = control_.Command("QUIT");
  EXPECT_EQ(quit.code, 221) << quit;
}

TEST_P(SmokeTest, AnonymousReadsButCannotUpload) {
  ASSERT_TRUE(server_.anonymous);
  ASSERT_NO_FATAL_FAILURE(LogIn("anonymous", "tarsil@example.com"));
  std::string listing = List(control_, Mode::kPasv, "NLST");
  EXPECT_NE(listing.find("readme.txt"), std::string::npos) << listing;
  Reply pasv = control_.Command("PASV");
  ASSERT_EQ(pasv.code, 227) << pasv;
  Fd data = ConnectPassive(pasv);
  Reply stor = control_.Command("STOR upload/anonymous.txt");
  EXPECT_EQ(stor.code / 100, 5) << stor;
  EXPECT_FALSE(std::filesystem::exists(server_.root + "/upload/anonymous.txt"));
  EXPECT_EQ(control_.Command("QUIT").code, 221);
}

TEST_P(SmokeTest, UploadLandsInTheRootFolder) {
  ASSERT_NO_FATAL_FAILURE(LogIn(server_.user, server_.password));
  ASSERT_EQ(control_.Command("TYPE I").code, 200);
  const std::string name = "upload/smoke-" + std::to_string(getpid()) + ".bin";
  std::string bytes("line\r\nlone lf\nlone cr\r\0nul\xff end", 31);
  Reply pasv = control_.Command("PASV");
  ASSERT_EQ(pasv.code, 227) << pasv;
  Fd data = ConnectPassive(pasv);
  ASSERT_TRUE(data);
  Reply start = control_.Command("STOR " + name);
  ASSERT_TRUE(IsPreliminary(start)) << start;
  EXPECT_TRUE(SendAll(data.get(), bytes));
  data.Reset();
  Reply done = control_.Read();
  EXPECT_EQ(done.code, 226) << done;
  const std::string local = server_.root + "/" + name;
  EXPECT_EQ(TempDir::Read(local), bytes) << local;
  std::filesystem::remove(local);
  EXPECT_EQ(control_.Command("QUIT").code, 221);
}

INSTANTIATE_TEST_SUITE_P(RealServer, SmokeTest, ::testing::ValuesIn(RealServerNames()),
                         [](const auto& info) { return info.param; });

// servers.env itself, without any server.
TEST(ServersEnvTest, ReadsOneServersEntry) {
  const std::string text =
      "# comment\r\nVSFTPD_ADDRESS=127.0.0.21\r\nVSFTPD_PORT=2121\nVSFTPD_USER=u\n"
      "VSFTPD_PASSWORD=p=q\nVSFTPD_ANONYMOUS=yes\nVSFTPD_ROOT=/r\nVSFTPD_LOG=/r.log\n"
      "PROFTPD_ADDRESS=127.0.0.23\n";
  std::string error;
  auto server = ParseRealServer(text, "vsftpd", &error);
  ASSERT_TRUE(server) << error;
  EXPECT_EQ(server->name, "vsftpd");
  EXPECT_EQ(server->address, "127.0.0.21");
  EXPECT_EQ(server->port, 2121);
  EXPECT_EQ(server->user, "u");
  EXPECT_EQ(server->password, "p=q");
  EXPECT_TRUE(server->anonymous);
  EXPECT_EQ(server->root, "/r");
  EXPECT_EQ(server->log, "/r.log");
}

TEST(ServersEnvTest, ReportsMissingOrBadEntries) {
  const std::string good =
      "X_ADDRESS=127.0.0.1\nX_USER=u\nX_PASSWORD=p\nX_ANONYMOUS=no\nX_ROOT=/r\nX_LOG=/l\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "no X_ADDRESS"},
      {good, "no X_PORT"},
      {good + "X_PORT=\n", "no X_PORT"},
      {good + "X_PORT=21x\n", "bad X_PORT"},
      {good + "X_PORT=0\n", "bad X_PORT"},
      {good + "X_PORT=65536\n", "bad X_PORT"},
      {good + "X_PORT=99999999999999999999\n", "bad X_PORT"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseRealServer(c.text, "x", &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
  }
  std::string error;
  auto server = ParseRealServer(good + "X_PORT=21\n", "x", &error);
  ASSERT_TRUE(server) << error;
  EXPECT_FALSE(server->anonymous);
}

}  // namespace
}  // namespace tarsil::testing
