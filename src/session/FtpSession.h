// FtpSession: the synchronous FTP session the script executor calls. Each operation issues one
// request of the event-driven engine and waits for its end inside the event loop (never
// spinning), with a time-out that data progress restarts, and returns an integer reply code:
// above 400 a failure, 999 a failure of the session itself, 100 a step that only sets something
// up. It writes its markers and failure lines to the log and turns the engine's progress into
// its own events. Owned by the main-window controller; event thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpEngine.h"
#include "listing/ListingCache.h"
#include "platform/EventLoop.h"
#include "platform/PackedStrings.h"
#include "session/ExecutionLog.h"
#include "session/SessionParams.h"

namespace tarsil {

class FtpSession;

// Progress and end-of-file events: the byte count and the elapsed time in days.
using ProgressEvent = std::function<void(FtpSession& sender, int64_t totalbyte, double spend)>;
using SessionEvent = std::function<void(FtpSession& sender)>;

class FtpSession {
 public:
  explicit FtpSession(EventLoop& loop);
  virtual ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Published properties.
  ExecutionLog* Log = nullptr;  // not owned; may be null, then nothing is logged
  int32_t WaitTimeOut = 10000;  // milliseconds
  bool Debugmode = false;
  bool Passive = false;
  // Which text the server's names are in when no "setparam SERVERCHARSET" says otherwise.
  ServerCharset ServerCharsetOption = ServerCharset::kCp932;
  // Uploads go in blocks of 1514 bytes: the owner pauses after every block (a throttle).
  bool SmallUploadBlocks = false;
  SessionParams Params;

  ProgressEvent Onretrieveing, Onretrievefinished, Ontransfer, Ontransferfinished;
  SessionEvent OnLoggedIn, OnFtpQuit;

  // The one engine; created on first use.
  FtpEngine& Ftp();

  int Connect(std::string_view server, std::string_view proxy_server, int32_t proxy_port);
  int Login(std::string_view user, std::string_view password);
  int Dir(std::string_view directory, std::string& listing);
  // Dir, with the text only when `listing` is given; the listing stays in the engine.
  int List(std::string_view directory, std::string* listing);
  int Download(std::string_view remote_file, std::string_view local_file);
  int Upload(std::string_view local_file, std::string_view remote_file);
  int AppendFile(std::string_view local_file, std::string_view remote_file);
  int Disconnect();
  int Delete(std::string_view remote_file);
  int Cwd(std::string_view path);
  int DelDir(std::string_view directory);
  int MakeDir(std::string_view directory);
  int Rename(std::string_view old_name, std::string_view new_name);
  int FTPcmd(std::string_view command_line);
  int Mget(std::string_view mask);
  int Mput(std::string_view mask);
  int Mdel(std::string_view mask);
  void AbortFTP();
  int SetAscii();
  int SetBinary();
  bool IsLoggedIn() const;
  bool BinaryMode() const { return binary_mode_; }

  // Writes one line to the log; a debug-only line is written only in debug mode, time-stamped.
  void AddLog(std::string_view text, bool debug_only);
  // Writes a UTF-8 line that may name something CP932 cannot hold.
  void AddLogUtf8(std::string_view utf8);

 protected:
  // The statistics line of a finished file and the finished event; replaceable.
  virtual void UploadFinished(int64_t totalbyte, double spend);
  virtual void DownloadFinished(int64_t totalbyte, double spend);

 private:
  enum class Direction { kNone, kUpload, kDownload };
  // How long the engine may take to end a request after a time-out: it bounds its own waits
  // (ABOR's replies) well below this.
  static constexpr std::chrono::milliseconds kEngineEndLimit{15000};
  class SessionAbort;

  void AttachEngine();
  // TLSVERIFY, TLSFINGERPRINT and EPSV of the session parameters, read at every login.
  void ApplyTransportParams();
  void ConnectedCheck() const;
  void RefuseControlBytes(std::string_view argument) const;
  void PrepareRequest();
  // A request that ended with an error and without the connection fails with 999 unless
  // `may_disconnect` (the last reply may be one of an earlier command).
  int WaitReply(bool may_disconnect = false);
  void EndEngineRequest();
  int Guarded(const std::function<int()>& body);
  int Step(std::string_view start_marker, std::string_view end_marker,
           const std::function<void()>& request, bool may_disconnect = false);
  int DirectoryStep(const std::string& component);
  int RunTransfer(std::string_view end_marker, const std::function<void()>& request);

  // Multi-file operations.
  PackedStrings BuildRemoteList(std::string_view mask);
  PackedStrings BuildLocalList(std::string_view mask);
  // Word `field` (1-based) of a listing line cut at blanks.
  static std::string NameToken(std::string_view line, int field);
  void ReportLostServerLine(const LostListingLine& lost);
  int RunOverNames(const std::string& start_marker, std::string_view end_marker,
                   const char* count_format, const std::function<PackedStrings()>& build,
                   const std::function<int(const std::string&)>& run);

  EventLoop& loop_;
  ListingCache cache_;
  std::unique_ptr<FtpEngine> ftp_;
  bool initialized_ = false;
  bool binary_mode_ = false;
  bool done_ = false;
  bool quiet_lost_names_ = false;  // a listing of Mget or Mdel: they name what they leave out
  bool names_left_out_ = false;    // this multi-file operation left out a name
  bool local_failure_ = false;     // a local-file or data-connection error during this operation
  std::string local_failure_text_;
  std::string last_error_text_;
  std::string request_error_text_;  // of an error raised during this request; empty: none
  bool request_failed_ = false;
  std::chrono::steady_clock::time_point wait_start_;
  Direction direction_ = Direction::kNone;
  double download_start_ = 0;
  double transfer_start_ = 0;
  std::chrono::steady_clock::time_point transfer_clock_;  // the same start, for progress
};

}  // namespace tarsil
