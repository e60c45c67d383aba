// What the fake FTP server does for one command: the reply it writes (FakeReply) and, for a
// transfer command, what its data connection does (FakeTransfer). Plain values that a test builds
// and hands to FakeFtpServer, which copies them; no thread of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace tarsil::testing {

// What the server writes for one command (or as the greeting): raw bytes, so a reply may be
// multi-line, lack its CR LF, or be empty (silence). Implicit from text: On("USER", "331 ok\r\n").
struct FakeReply {
  enum class Then { kStay, kClose, kReset };  // after the bytes: go on, close (FIN), reset (RST)

  FakeReply() = default;
  FakeReply(std::string raw) : bytes(std::move(raw)) {}  // NOLINT(google-explicit-constructor)
  FakeReply(const char* raw) : bytes(raw) {}             // NOLINT(google-explicit-constructor)

  static FakeReply Silence() { return FakeReply(); }
  static FakeReply Close(std::string raw = "");
  static FakeReply Reset();
  // `head`, then `unit` over and over: `limit` bytes of it, or until the client goes (limit 0).
  static FakeReply Endless(std::string unit, uint64_t limit = 0, std::string head = "");
  FakeReply Delayed(std::chrono::milliseconds wait) const;  // sent `wait` after the command arrived
  FakeReply InBytes() const;                                // one byte per write, with short pauses

  std::string bytes;
  std::string endless_unit;
  uint64_t endless_limit = 0;
  std::chrono::milliseconds delay{0};
  bool in_bytes = false;
  Then then = Then::kStay;
};

// How one transfer command (LIST, NLST, MLSD, RETR; STOR, STOU, APPE receive) uses its data
// connection: OnTransfer("RETR big", FakeTransfer::Sending(bytes).CutAfter(4096, true)).
struct FakeTransfer {
  static FakeTransfer Sending(std::string bytes);
  FakeTransfer Endless() const;
  FakeTransfer Stalled() const;
  FakeTransfer CutAfter(uint64_t bytes, bool reset = false) const;
  // A download sends `bytes` at a time with a pause of `pause` after each piece but the last.
  FakeTransfer Paced(uint64_t bytes, std::chrono::milliseconds pause) const;

  std::string data;                 // what a download or listing sends (from the REST offset)
  bool endless = false;             // send `data` over and over until the client goes or aborts
  bool stall = false;               // connect, then neither send, read nor finish
  uint64_t cut_after = UINT64_MAX;  // end the data connection after this many bytes either way
  bool cut_with_reset = false;      // ... with RST instead of FIN
  uint64_t pace_bytes = 0;          // 0: as fast as the client takes it
  std::chrono::milliseconds pace_pause{0};
  FakeReply preliminary = "150 Opening data connection.\r\n";
  FakeReply complete = "226 Transfer complete.\r\n";
  // After a cut, or when the client closes the data connection first.
  FakeReply failed = "426 Connection closed; transfer aborted.\r\n";
};

}  // namespace tarsil::testing
