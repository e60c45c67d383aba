// The data side of the fake FTP server: the passive listener, the active target and the one
// transfer in flight (connect, send or receive, faults, the final reply). Owned by the server
// thread's worker, which polls its non-blocking sockets; uploads are recorded in FakeFtpState.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

#include "support/FakeFtpScript.h"
#include "support/FakeFtpSocket.h"

namespace tarsil::testing {

class FakeFtpDataChannel {
 public:
  FakeFtpDataChannel(FakeFtpState& state, in_addr address);

  // PASV/EPSV: a fresh listener on the server's address for one connection; its port (0: failed).
  uint16_t OpenPassive();
  // PORT/EPRT: the next transfer connects there.
  void SetActiveTarget(const sockaddr_in& target) { target_ = target; }
  // A connection the client closed before its command is no route for a download; for an
  // upload that close is the whole (empty) file, as a real server reads it.
  bool HasRoute(bool upload) const {
    return listener_.valid() || (idle_.valid() && (upload || !idle_ended_)) || target_.has_value();
  }
  bool Busy() const { return flight_.has_value(); }
  // Starts a transfer; its end is told by TakeFinalReply.
  void Start(const std::string& command, const FakeTransfer& transfer, bool upload,
             uint64_t offset);
  void Abort() { flight_.reset(); }  // closes the data connection; no final reply
  void Clear();                      // the control connection is gone: drop everything

  // One turn of the server loop: register, then handle what poll reported (before anything
  // else has changed the channel in this turn).
  void Register(PollSet& polls, std::optional<FakeClock::time_point>& deadline);
  void Handle(const PollSet& polls, FakeClock::time_point now);
  std::optional<FakeReply> TakeFinalReply();

 private:
  enum class Stage { kAccept, kConnect, kFlow };
  struct Flight {
    std::string command;
    FakeTransfer transfer;
    bool upload = false;
    UniqueFd fd;
    Stage stage = Stage::kAccept;
    FakeClock::time_point connect_deadline;
    uint64_t position = 0;              // next byte of transfer.data to send
    uint64_t moved = 0;                 // bytes sent or received so far
    FakeClock::time_point resume_at{};  // a paced download sends nothing before this
    size_t index = PollSet::kNone;
  };

  void Connected(UniqueFd fd);
  void Finish(const FakeReply& reply);
  void Cut();
  void Send();
  void Receive();
  void CountConnection();

  FakeFtpState& state_;
  in_addr address_;
  UniqueFd listener_;
  UniqueFd idle_;                 // accepted before its transfer command arrived
  bool idle_holds_data_ = false;  // ... and the client has already sent data on it
  bool idle_ended_ = false;       // ... or has already closed it
  UniqueFd stray_;  // made from another address before an active connection; never used
  std::optional<sockaddr_in> target_;
  std::optional<Flight> flight_;
  std::optional<FakeReply> final_reply_;
  size_t listener_index_ = PollSet::kNone;
  size_t idle_index_ = PollSet::kNone;
};

}  // namespace tarsil::testing
