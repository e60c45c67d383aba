// The fake FTP server's thread: one poll loop over the wake-up descriptor, the control listener,
// the one control connection at a time (commands in, replies out, faults) and the data channel.
// Lives and runs only on the server thread; it meets the test thread only in FakeFtpState.
#pragma once

#include <netinet/in.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeFtpDataChannel.h"
#include "support/FakeFtpScript.h"
#include "support/FakeFtpSocket.h"

namespace tarsil::testing {

class FakeFtpWorker {
 public:
  FakeFtpWorker(FakeFtpState& state, UniqueFd listener, int wake, in_addr address);
  void Run();  // returns once the wake-up descriptor is readable; everything is closed then

 private:
  enum class End { kPeerGone, kClose, kReset };
  enum class Telnet { kData, kCommand, kOption };
  struct Output {  // one queued reply
    std::string buffer;
    size_t sent = 0;
    std::string unit;           // endless: refills `buffer`
    uint64_t endless_left = 0;  // UINT64_MAX: until the client goes
    bool in_bytes = false;
    FakeClock::time_point due;
    FakeReply::Then then = FakeReply::Then::kStay;
  };
  struct Lingering {  // closed by us with a FIN; read until the client closes too
    UniqueFd fd;
    FakeClock::time_point deadline;
    size_t index = PollSet::kNone;
  };

  void Accept();
  void Read();
  void ReadUrgent();
  void TakeBytes(const char* bytes, size_t count);
  void HandleLine(const std::string& line);
  void Answer(const FakeFtpDecision& decision, const std::string& line);
  void Queue(FakeReply reply);
  void CollectFinalReply();
  void Pump(FakeClock::time_point now);
  void EndControl(End how);
  void HandleLingering(const PollSet& polls, FakeClock::time_point now);

  FakeFtpState& state_;
  UniqueFd listener_;
  int wake_;
  in_addr address_;
  FakeFtpDataChannel data_;

  UniqueFd control_;
  size_t connection_ = 0;  // index into FakeFtpState::connections
  std::string line_;
  Telnet telnet_ = Telnet::kData;
  std::deque<Output> out_;
  bool ending_ = false;  // a close or reset is queued: later commands are recorded, not answered
  bool want_write_ = false;
  bool split_ = false;
  uint64_t rest_offset_ = 0;
  std::optional<FakeClock::time_point> pump_deadline_;
  std::vector<Lingering> lingering_;
};

}  // namespace tarsil::testing
