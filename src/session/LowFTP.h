// TLowFTP: the synchronous FTP session the script executor calls. Each operation issues one
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

#include "ftp/Ftp.h"
#include "listing/ListingCache.h"
#include "platform/EventLoop.h"
#include "session/FtpMsg.h"
#include "session/SessionParams.h"

namespace tarsil {

class TLowFTP;

// Progress and end-of-file events: the byte count and the elapsed time in days.
using TProgressEvent = std::function<void(TLowFTP& sender, int64_t totalbyte, double spend)>;
using TSessionEvent = std::function<void(TLowFTP& sender)>;

class TLowFTP {
 public:
  explicit TLowFTP(EventLoop& loop);
  virtual ~TLowFTP();
  TLowFTP(const TLowFTP&) = delete;
  TLowFTP& operator=(const TLowFTP&) = delete;

  // Published properties.
  TMFtpMessenger* Log = nullptr;  // not owned; may be null, then nothing is logged
  int32_t WaitTimeOut = 10000;    // milliseconds
  bool Debugmode = false;
  bool Passive = false;
  SessionParams Params;

  TProgressEvent Onretrieveing, Onretrievefinished, Ontransfer, Ontransferfinished;
  TSessionEvent OnLoggedIn, OnFtpQuit;

  // The one engine; created on first use.
  TMFtp& Ftp();

  int Connect(std::string_view server, std::string_view proxy_server, int32_t proxy_port);
  int Login(std::string_view user, std::string_view password);
  int Dir(std::string_view directory, std::string& listing);
  int Download(std::string_view remote_file, std::string_view local_file);
  int Upload(std::string_view local_file, std::string_view remote_file);
  int AppendFile(std::string_view local_file, std::string_view remote_file);
  int Disconnect();
  int Delete(std::string_view remote_file);
  int Cwd(std::string_view path);
  int DelDir(std::string_view directory);
  int MakDir(std::string_view directory);
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

 protected:
  // The statistics line of a finished file and the finished event; replaceable.
  virtual void UploadFinished(int64_t totalbyte, double spend);
  virtual void DownloadFinished(int64_t totalbyte, double spend);

 private:
  enum class Direction { kNone, kUpload, kDownload };
  class SessionAbort;

  void AttachEngine();
  // TLSVERIFY, TLSFINGERPRINT and EPSV of the session parameters, read at every login.
  void ApplyTransportParams();
  void ConnectedCheck() const;
  void RefuseControlBytes(std::string_view argument) const;
  void PrepareRequest();
  int WaitReply();
  int Guarded(const std::function<int()>& body);
  int Step(std::string_view start_marker, std::string_view end_marker,
           const std::function<void()>& request);
  int DirectoryStep(const std::string& component);
  int RunTransfer(std::string_view end_marker, const std::function<void()>& request);

  // Multi-file operations.
  std::vector<std::string> BuildRemoteList(std::string_view mask);
  std::vector<std::string> BuildLocalList(std::string_view mask);
  void AddNameToken(const std::string& line, std::vector<std::string>& list);
  int RunOverNames(const std::string& start_marker, std::string_view end_marker,
                   const char* count_format, const std::function<std::vector<std::string>()>& build,
                   const std::function<int(const std::string&)>& run);

  EventLoop& loop_;
  ListingCache cache_;
  std::unique_ptr<TMFtp> ftp_;
  bool initialized_ = false;
  bool binary_mode_ = false;
  bool done_ = false;
  bool local_failure_ = false;  // a local-file or data-connection error during this operation
  std::string local_failure_text_;
  std::string last_error_text_;
  std::chrono::steady_clock::time_point wait_start_;
  Direction direction_ = Direction::kNone;
  double download_start_ = 0;
  double transfer_start_ = 0;
  std::chrono::steady_clock::time_point transfer_clock_;  // the same start, for progress
};

}  // namespace tarsil
