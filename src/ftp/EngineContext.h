// EngineContext: what the engine's request chains share. It owns the control connection, the
// data channel, the listing state, the timers and the state of the request in progress, raises
// the engine's events (with the engine as sender) and runs the request lifecycle: a request
// begins, sends its commands through the control connection, and ends in one posted ready
// notice. The chains (connection, login, TLS, charset, transfer, listing, commands) are sets of
// functions over this context; the engine is the public face. Internal to src/ftp; loop thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/ControlConnection.h"
#include "ftp/DataChannel.h"
#include "ftp/FtpEvents.h"
#include "ftp/FtpProperties.h"
#include "ftp/ListingState.h"
#include "net/TlsContext.h"

namespace tarsil {

// The notices the engine posts to itself on the control socket (in order with its events).
inline constexpr uint32_t kQuitNoticeMessage = 1026;
inline constexpr uint32_t kReadyNoticeMessage = 1028;
inline constexpr uint32_t kUploadContinueMessage = 1029;  // an upload's next share

// The engine's timers.
inline constexpr uint32_t kKeepAliveTimer = 1;
inline constexpr uint32_t kRetryTimer = 2;
inline constexpr uint32_t kAbortTimer = 3;      // the grace and the reply waits of ABOR
inline constexpr uint32_t kDataReplyTimer = 4;  // a failed data connection's final reply

class EngineContext;

// The connection and the request in progress, as the chains read and set them.
struct RequestState {
  bool busy = false;
  bool connected = false;
  bool logged_in = false;
  FtpOperation operation = FtpOperation::kIdle;
  int retries_left = 0;
  bool retry_waiting = false;
  bool stop_retry = false;
  // The error that decides on a retry or a failed connection; a clean socket check clears it.
  FtpError last_error = ftpErrorNone;
  FtpError request_error = ftpErrorNone;  // the last error told during this request
  bool request_ok = false;
  bool resume_supported = false;
  bool size_supported = false;
  bool noop_supported = false;
  bool aborting = false;
  bool quit_sent = false;
  std::string current_directory;
  std::string last_type;  // the TYPE last sent on this connection
  uint32_t noop_interval_ms = 30000;
  bool keep_alive_on = true;
  bool asynchronous = true;
  std::string rename_new_name;                          // RNTO's, while RNFR is answered
  std::string removed_directory;                        // RMD's, while it is answered
  void (*after_charset)(EngineContext& ftp) = nullptr;  // the login step after FEAT and OPTS
};

// TLS of this connection: the settings shared by its control and data connections, the greeting
// kept while AUTH TLS runs, and whether PROT P was accepted.
struct TlsState {
  std::shared_ptr<TlsContext> context;
  std::string greeting;
  bool prot_private = false;
};

class EngineContext final : public ControlOwner {
 public:
  EngineContext(EventLoop& loop, FtpEngine& engine, FtpEvents& events, FtpSettings& settings);
  ~EngineContext();
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  ControlConnection& Control() { return control_; }
  DataChannel& Data() { return data_; }
  TransferState& Transfer() { return data_.State(); }
  ListingState& Listing() { return listing_; }
  RequestState& State() { return state_; }
  TlsState& Tls() { return tls_; }
  FtpSettings& Settings() { return settings_; }
  EventTarget& Timers() { return timers_; }
  EventLoop& Loop() { return timers_.loop(); }

  // Events. An empty info text is the member's default; a password never reaches a listener.
  void RaiseInfo(FtpInfo info, std::string_view text = {});
  void RaiseError(FtpError member, std::string text = {});
  void Raise(NotifyEvent FtpEvents::*slot);
  void AskInfo(FtpInfoNeeded need, std::string& value);
  int AddInfoListener(FtpInfoEvent listener);
  int AddErrorListener(FtpErrorEvent listener);
  void RemoveInfoListener(int slot);
  void RemoveErrorListener(int slot);

  // The request lifecycle.
  bool BeginRequest();
  void FinishRequest();                               // the ready notice is posted
  void Fail(FtpError member, std::string text = {});  // the error, then FinishRequest
  // Sends a command line; one that cannot be sent fails the request (or the login) and gives
  // false.
  bool SendCommand(std::string_view command, ReplyHandler handler);
  // Raises the error and closes the connection; its close decides on a retry or the disconnect.
  void FailConnection(FtpError member, std::string text = {});
  bool CheckSocketError();  // the control socket's error, if any, fails the connection
  void WaitWhileBusy();     // a synchronous engine waits, through the loop, for the request
  void SetKeepAlive(bool running);
  void PostNotice(uint32_t message, uint64_t wparam = 0);

  // ControlOwner.
  void ControlInfo(FtpInfo info, std::string_view text) override;
  bool ControlSocketFailed() override;
  void ControlFailed(FtpError member, std::string text) override;
  void ControlReply(const ReplyHandler& handler, const std::string& reply) override;

 private:
  void HandleNotice(const Notice& notice);
  void HandleTimer(const Notice& notice);
  void ReadyNotice();
  void QuitNotice();

  FtpEngine& engine_;
  FtpEvents& events_;
  FtpSettings& settings_;
  ControlConnection control_;
  EventTarget timers_;
  DataChannel data_;
  ListingState listing_;
  RequestState state_;
  TlsState tls_;
  std::array<FtpInfoEvent, 4> info_listeners_;
  std::array<FtpErrorEvent, 4> error_listeners_;
};

}  // namespace tarsil
