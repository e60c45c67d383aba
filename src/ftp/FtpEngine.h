// FtpEngine: the event-driven FTP client engine. It is itself an AsyncSocket (its socket is the
// control connection) and owns the data and listening sockets, the keep-alive and retry timers and
// the reply reader. A request is a chain of named reply handlers; the end of every request is a
// posted ready notice. Everything is told through the On... events and four info and four error
// listener slots. Loop thread only; the owner never destroys it inside one of its own events.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpCodes.h"
#include "ftp/FtpDataState.h"
#include "ftp/FtpEvents.h"
#include "ftp/FtpProperties.h"
#include "ftp/ReplyReader.h"
#include "net/AsyncSocket.h"
#include "net/TlsContext.h"
#include "platform/EventLoop.h"

namespace tarsil {

class FtpEngine;

// One step of a request: the named handler that receives the next final reply line.
struct ReplyHandler {
  const char* name = nullptr;
  void (*run)(FtpEngine& ftp, const std::string& reply) = nullptr;
  explicit operator bool() const { return run != nullptr; }
};

// What StoreFile throws when its local file cannot be opened; what() names the file.
class FtpLocalFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr uint32_t kQuitNoticeMessage = 1026;
inline constexpr uint32_t kReadyNoticeMessage = 1028;

class FtpEngine : public AsyncSocket, public FtpProperties, public FtpEvents {
 public:
  explicit FtpEngine(EventLoop& loop);
  ~FtpEngine() override;

  // Connects (directly or through the proxy) and logs in, retrying failed attempts.
  void LoginServer();
  // Sends QUIT; the request ends when the server closes the connection.
  void QuitServer();
  // Ends a connection attempt or login in progress (nothing once logged in); a download,
  // upload or listing in progress gets the ABOR sequence.
  void AbortRequest();
  // Ends whatever request is in progress, for an owner that has stopped waiting for it: a
  // connection attempt or login is given up as AbortRequest does; a transfer, a listing or any
  // other command gets the ABOR sequence with its bounded wait for the replies, and a server
  // that answers nothing loses the control connection (told as ftpErrorTimedOut). Nothing
  // happens when no request is in progress.
  void CancelRequest();

  // Transfers (FtpTransfer.cpp). Names are CP932; the local file is opened by the engine and
  // closed when the data connection ends, on abort, or by CloseLocalFile. StoreFile throws
  // FtpLocalFileError (after ftpErrorLocalOpen and the ready notice) when the local file cannot
  // be opened.
  void RetrieveFile(std::string_view remote_file, std::string_view local_file);
  void StoreFile(std::string_view local_file, std::string_view remote_file);
  bool AppendUpload() const { return data_.append_upload; }
  void SetAppendUpload(bool on) { data_.append_upload = on; }  // APPE instead of STOR
  void CloseLocalFile();
  // Upload blocks of 1514 bytes instead of large ones, for an owner that pauses after each block.
  bool SmallUploadBlocks() const { return data_.send_block == FtpDataState::kThrottledSendBlock; }
  void SetSmallUploadBlocks(bool on) {
    data_.send_block = on ? FtpDataState::kThrottledSendBlock : FtpDataState::kTransferBlock;
  }
  // How many times the one transfer buffer was allocated: 1 once a transfer has run.
  int TransferBufferAllocations() const { return data_.transfer_buffer_allocations; }
  // Bytes moved over the current or last data connection (listing text included).
  int64_t BytesTransferred() const { return data_.bytes_transferred; }

  // The listing of CurrentDirectory (FtpListing.cpp), from the cache when Cache is on and both
  // lists are fresh there; read the results after OnListingDone.
  void ListDirectory();
  const std::vector<std::string>& RawListing() const { return data_.raw_listing; }
  const RemoteEntryList& CurrentFiles() const { return data_.current_files; }
  const RemoteEntryList& CurrentFolders() const { return data_.current_folders; }
  bool ListingFromCache() const { return data_.listing_from_cache; }
  // Lets go of the last listing's lines and lists (and their memory) once they have been used.
  void ReleaseListing();
  // The program's listing cache (not owned; nullptr: listings are neither read nor written).
  void SetListingCache(ListingCache* cache) { data_.cache = cache; }
  // What one listing may hold before it fails (defaults 256 MiB of text, 2 million lines).
  void SetListingLimits(uint64_t max_bytes, uint64_t max_lines);

  // Directory and file commands (FtpDirectory.cpp); names are sent exactly as given.
  void ChangeDir(std::string_view directory);
  void ParentDir();
  void CreateDir(std::string_view directory);
  void RemoveDir(std::string_view directory);  // also deletes its two listing-cache files
  void DeleteRemoteFile(std::string_view name);
  void RenameRemoteFile(std::string_view old_name, std::string_view new_name);
  // Sends the line as it is and forgets the transfer type; only OnFtpReady follows. `handler`
  // (optional) receives the final reply instead of the generic handler.
  void SendRawCommand(std::string_view command_line, ReplyHandler handler = {});

  // Slots 1 to 4 beside OnFtpInfo/OnFtpError, called after them in slot order; -1 when the
  // listener is empty or all four slots are used.
  int AddInfoListener(FtpInfoEvent listener);
  int AddErrorListener(FtpErrorEvent listener);
  void RemoveInfoListener(int slot);
  void RemoveErrorListener(int slot);

  // Server, Port and TimeOut are the socket's (Server(), SetServer(), ...).
  uint16_t NoopInterval() const { return static_cast<uint16_t>(noop_interval_ms_ / 1000); }
  void SetNoopInterval(uint16_t seconds);  // 0: no keep-alive
  bool Asynchronous() const { return asynchronous_; }
  void SetAsynchronous(bool value);  // ignored while busy
  const std::string& Version() const;
  void SetVersion(std::string_view) {}  // read-only

  bool Connected() const { return connected_; }
  bool LoggedIn() const { return logged_in_; }
  bool Busy() const { return busy_; }
  const std::string& LastReply() const { return last_reply_; }
  const std::string& CurrentDirectory() const { return current_directory_; }
  bool ResumeSupported() const { return resume_supported_; }
  bool SizeSupported() const { return size_supported_; }
  bool NoopSupported() const { return noop_supported_; }
  // Names cross the control and data connections in UTF-8 since this login (converted both ways).
  bool Utf8Names() const { return utf8_names_; }
  // Lines of the last listing whose names have no CP932 form: they stand in RawListing with "?"
  // in place of such characters and in neither list.
  const std::vector<LostListingLine>& LostListingLines() const { return data_.lost_lines; }
  FtpOperation CurrentOperation() const { return current_operation_; }
  FtpError LastFtpError() const { return last_error_; }  // of this request; ftpErrorNone: none
  bool RequestOk() const { return request_ok_; }
  bool ProcessingReply() const { return processing_reply_; }
  int RetriesLeft() const { return retries_left_; }
  bool RetryWaiting() const { return retry_waiting_; }
  const char* WaitingHandler() const;  // name of the reply handler registered, "" when none

 protected:
  void LookupDone() override;

 private:
  friend struct FtpControlSteps;
  friend struct FtpLoginSteps;
  friend struct FtpDataSteps;
  friend struct FtpDirectorySteps;
  friend struct FtpTlsSteps;
  friend struct FtpCharsetSteps;

  // Requests (FtpControl.cpp).
  bool BeginRequest();
  void FinishRequest();
  // Sends command + CR LF; `handler` takes the replies once the whole line is sent. A command
  // holding CR, LF or NUL is not sent: the request fails with ftpErrorCommandFailed.
  bool SendCommand(std::string_view command, ReplyHandler handler);
  void FlushCommand();
  void FailConnection(FtpError member, std::string text = {});
  bool CheckSocketError();

  // The connection (FtpControl.cpp).
  void Attempt();
  void ControlConnected();
  void ControlReadable();
  void HandleReplyLine(const std::string& received);
  void ControlClosed();
  void NoteUnexpectedClose();
  void RetryWaitOver();
  void KeepAliveTick();
  void RunDisconnect();
  void GiveUpLogin();
  void SaveTarget();
  void RestoreTarget();

  // Events, notices and timers (Ftp.cpp).
  void RaiseInfo(FtpInfo info, std::string_view text = {});  // empty text: the default
  void RaiseError(FtpError member, std::string text = {});
  void Raise(const NotifyEvent& event);
  void AskInfo(FtpInfoNeeded need, std::string& value);
  void HandleNotice(const Notice& notice);
  void HandleTimer(const Notice& notice);
  void ReadyNotice();
  void QuitNotice();
  void SetKeepAlive(bool running);

  static ReplyHandler GreetingHandler();  // FtpLogin.cpp
  // After the login: asks for UTF-8 names when the choice says so, then goes on with `next`
  // (FtpCharsetSteps.cpp). False when nothing was sent and the caller goes on itself.
  bool CharsetStep(void (*next)(FtpEngine& ftp));

  static constexpr uint32_t kKeepAliveTimer = 1;
  static constexpr uint32_t kRetryTimer = 2;

  EventTarget timers_;
  AsyncSocket data_socket_;
  AsyncSocket listen_socket_;
  std::array<FtpInfoEvent, 4> info_listeners_;
  std::array<FtpErrorEvent, 4> error_listeners_;

  LineReader lines_;
  ReplyAssembler replies_;
  ReplyHandler reply_handler_;
  ReplyHandler data_step_;
  std::string pending_send_;  // the rest of a command line the socket has not taken yet
  ReplyHandler pending_handler_;
  std::string last_reply_;
  std::string current_directory_;
  std::string last_type_;
  bool utf8_names_ = false;
  bool collect_reply_lines_ = false;  // the lines of the next reply go to reply_lines_
  std::vector<std::string> reply_lines_;
  Utf8PieceDecoder reply_decoder_;  // the reply text as the log shows it
  void (*after_charset_)(FtpEngine& ftp) = nullptr;

  bool busy_ = false;
  bool connected_ = false;
  bool logged_in_ = false;
  bool processing_reply_ = false;
  FtpOperation current_operation_ = FtpOperation::kIdle;
  int retries_left_ = 0;
  bool retry_waiting_ = false;
  bool stop_retry_ = false;
  FtpError last_error_ = ftpErrorNone;
  bool request_ok_ = false;
  bool resume_supported_ = false;
  bool size_supported_ = false;
  bool noop_supported_ = false;
  bool aborting_ = false;
  bool quit_sent_ = false;
  bool own_close_ = false;          // the engine itself is closing the control socket
  uint64_t connection_serial_ = 0;  // changes when the control connection ends
  bool target_saved_ = false;       // the real target while the socket talks to the proxy
  std::string saved_server_;
  uint16_t saved_port_ = 21;

  uint32_t noop_interval_ms_ = 30000;
  bool keep_alive_on_ = true;
  bool asynchronous_ = true;

  FtpDataState data_;

  // TLS (FtpTls.cpp): the settings shared by the control and data connections of this
  // connection, the greeting kept while AUTH TLS runs, and whether PROT P was accepted.
  std::shared_ptr<TlsContext> tls_context_;
  std::string greeting_;
  bool prot_private_ = false;
};

}  // namespace tarsil
