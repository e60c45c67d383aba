// A scripted FTP server on loopback for engine tests: it plays the replies a test scripts, records
// every command, serves data in passive and active mode and misbehaves on demand. The test owns it;
// it runs its own thread (a poll loop over non-blocking sockets, never the product's event loop),
// so the code under test runs on the test's thread. Every method may be called from any thread;
// script first, then let the client connect.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"
#include "support/FakeFtpReply.h"

namespace tarsil::testing {

struct FakeFtpState;

class FakeFtpServer {
 public:
  // Binds `address` (loopback only: 127.0.0.0/8; throws otherwise or when the bind fails).
  explicit FakeFtpServer(const std::string& address = "127.0.0.1", uint16_t port = 0);
  ~FakeFtpServer();  // stops the thread and closes every socket, whatever the state
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  uint16_t port() const { return port_; }
  const std::string& address() const { return address_; }

  // Greeting: every connection, or the next connections in turn (then the default again).
  void SetGreeting(FakeReply greeting);
  void SetGreetings(std::vector<FakeReply> per_connection);
  void NoGreeting() { SetGreeting(FakeReply::Silence()); }  // accept and never greet
  void CloseAfterGreeting();                                // default greeting, then FIN

  // Rules: a pattern matches a command line equal to it or starting with it plus a space ("RETR"
  // matches "RETR a.txt"); a pattern ending in "*" matches any line with that prefix. The verb
  // compares without letter case. First matching rule wins; a sequence gives one reply per match
  // and, when used up, lets later rules and the built-in behaviour answer.
  void On(std::string pattern, FakeReply reply);
  void OnSequence(std::string pattern, std::vector<FakeReply> replies);
  void SetDefaultReply(FakeReply reply);  // for commands nothing else answers (default 502)

  // Faults.
  void ResetOn(std::string pattern) { On(std::move(pattern), FakeReply::Reset()); }
  void ResetAtCommand(size_t number);  // the number-th command overall (from 1) gets an RST, once
  void DelayReply(std::string pattern, std::chrono::milliseconds wait);  // on top of any reply
  void SplitRepliesIntoBytes(bool on);                               // every reply, greeting too
  void EndlessLineOn(std::string pattern, uint64_t limit = 0);       // "x" without CR LF
  void EndlessMultiLineOn(std::string pattern, uint64_t limit = 0);  // "220-more" lines

  // Data connections. PASV/EPSV open a real listener on the server's address (a rule for them may
  // use "{pasv}" for h1,h2,h3,h4,p1,p2 and "{port}"); PORT/EPRT name where the server connects
  // back, refused ("500") unless loopback. Unscripted: listings are empty, RETR 550, uploads
  // recorded.
  void OnTransfer(std::string pattern, FakeTransfer transfer);
  void ServeData(std::string pattern, std::string bytes);
  void EndlessData(std::string pattern, std::string unit = kEndlessListingLine);
  void AnnouncePasvHost(std::string dotted);  // the 227 reply names this host instead
  void ConnectBackFrom(std::string dotted);   // active connections leave from this loopback address
  // Active mode: before its data connection the server makes a stray one from `dotted` (another
  // loopback address), which a careful client refuses; the stray one is never used.
  void StrayConnectionFirst(std::string dotted);
  void SetDataConnectLimit(std::chrono::milliseconds limit);  // then 425 (default 10 s)

  // Record. Commands are the lines received without CR LF and without Telnet IAC sequences.
  std::vector<std::string> Commands() const;                     // all connections, in order
  std::vector<std::string> CommandsOn(size_t connection) const;  // connection 0, 1, ...
  std::string RawInput() const;    // every control byte received (urgent bytes aside)
  std::string UrgentData() const;  // bytes received as TCP urgent data
  bool ReceivedUrgentData() const { return !UrgentData().empty(); }
  std::string ReceivedData(const std::string& pattern) const;  // last matching upload's bytes
  size_t ConnectionsAccepted() const;
  size_t ConnectionsClosed() const;  // control connections ended (by either side)
  size_t DataConnections() const;    // data connections made (accepted or connected)

  // Bounded waits, for assertions only: true when the condition held before the limit.
  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) const;
  bool WaitForCommand(const std::string& pattern, std::chrono::milliseconds limit) const;
  bool WaitForCommands(size_t count, std::chrono::milliseconds limit) const;
  bool WaitForConnectionsClosed(size_t count, std::chrono::milliseconds limit) const;

  static constexpr const char* kEndlessListingLine =
      "-rw-r--r--   1 ftp      ftp          1024 Jan 01 00:00 endless\r\n";

 private:
  std::unique_ptr<FakeFtpState> state_;
  std::string address_;
  uint16_t port_ = 0;
  UniqueFd wake_;
  std::thread thread_;
};

// True when a command line matches a rule pattern as described above.
bool FakeFtpPatternMatches(const std::string& pattern, const std::string& line);

}  // namespace tarsil::testing
