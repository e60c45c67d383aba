// The connection chain of the FTP engine, one named function each (FtpConnection.cpp): the
// connection attempt (directly or through a proxy) and its retries, the end of the control
// connection, keep-alive, QUIT, and giving up or aborting the request in progress. The login
// itself goes on in FtpLoginSteps from the greeting. Internal to src/ftp; loop thread only.
#pragma once

#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpConnectionSteps {
  static void Login(EngineContext& ftp);  // LoginServer: the first attempt
  static void Attempt(EngineContext& ftp);
  static void LookupDone(EngineContext& ftp);
  static void Connected(EngineContext& ftp);
  static void Closed(EngineContext& ftp);
  static void NoteUnexpectedClose(EngineContext& ftp);
  static void RetryWaitOver(EngineContext& ftp);
  static void RunDisconnect(EngineContext& ftp);
  static void GiveUpLogin(EngineContext& ftp);

  static void KeepAliveTick(EngineContext& ftp);
  static void KeepAliveReply(EngineContext& ftp, const std::string& reply);
  static void Quit(EngineContext& ftp);
  static void QuitReply(EngineContext& ftp, const std::string& reply);
  static void Abort(EngineContext& ftp);   // AbortRequest
  static void Cancel(EngineContext& ftp);  // CancelRequest
};

}  // namespace tarsil
