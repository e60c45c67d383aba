// The single-command requests of the FTP engine (FtpDirectory.cpp): CWD and CDUP (with PWD when
// the reply quotes no path), MKD, RMD (which also deletes the removed directory's listing-cache
// files), DELE, RNFR/RNTO and raw command lines. Names are sent exactly as given. Internal to
// src/ftp; loop thread only.
#pragma once

#include <string>
#include <string_view>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpDirectorySteps {
  static void ChangeDir(EngineContext& ftp, std::string_view directory);
  static void ParentDir(EngineContext& ftp);
  static void CreateDir(EngineContext& ftp, std::string_view directory);
  static void RemoveDir(EngineContext& ftp, std::string_view directory);
  static void DeleteFile(EngineContext& ftp, std::string_view name);
  static void Rename(EngineContext& ftp, std::string_view old_name, std::string_view new_name);
  // Sends the line as it is and forgets the transfer type; `handler` (optional) takes the final
  // reply instead of GenericReply.
  static void Raw(EngineContext& ftp, std::string_view command_line, ReplyHandler handler);

  static void GenericReply(EngineContext& ftp, const std::string& reply);
  static void CwdReply(EngineContext& ftp, const std::string& reply);
  static void PwdReply(EngineContext& ftp, const std::string& reply);
  static void RmdReply(EngineContext& ftp, const std::string& reply);
  static void RnfrReply(EngineContext& ftp, const std::string& reply);
  static bool Begin(EngineContext& ftp, FtpOperation operation);
  static void SendAndWait(EngineContext& ftp, const std::string& command, ReplyHandler handler);
  static void Denied(EngineContext& ftp);
};

}  // namespace tarsil
