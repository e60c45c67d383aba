// TLowFTP: the synchronous FTP session the script executor calls. Each operation is one blocking
// call (waiting inside the event loop) that returns an integer reply code: above 400 is a failure,
// 999 a failure of the session itself, 100 a step that only sets something up. Owned by the main
// window controller; event thread only.
//
// This build has no protocol engine behind the session yet: operations that need a connection
// report "999 Loginしていません" as they do whenever no server is connected, and Login reports that
// FTP is not available. Nothing reports a success it did not have.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/EventLoop.h"
#include "session/FtpMsg.h"
#include "session/SessionParams.h"

namespace tarsil {

class TLowFTP {
 public:
  explicit TLowFTP(EventLoop& loop);
  TLowFTP(const TLowFTP&) = delete;
  TLowFTP& operator=(const TLowFTP&) = delete;

  // Published properties.
  TMFtpMessenger* Log = nullptr;  // not owned; may be null, then nothing is logged
  int32_t WaitTimeOut = 10000;    // milliseconds
  bool Debugmode = false;
  bool Passive = false;
  SessionParams Params;

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

 private:
  // The common pattern of an operation that needs a live connection, up to the engine request.
  int RequireConnection(std::string_view start_marker, bool debug_marker_first);
  int Fail(std::string_view message);

  EventLoop& loop_;
  bool initialized_ = false;
  bool binary_mode_ = false;
};

}  // namespace tarsil
