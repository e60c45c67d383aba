// The login chain of the FTP engine, one named reply handler each (FtpLogin.cpp): from the
// greeting to "Logged in" with the proxy dialogues, USER/PASS/ACCT with values asked from the
// owner, SYST detection, the restart probe and the starting directory. The TLS and charset steps
// run inside it and hand back here. Internal to src/ftp; loop thread only.
#pragma once

#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpLoginSteps {
  static ReplyHandler GreetingHandler();
  static void Greeting(EngineContext& ftp, const std::string& reply);
  static void HostReply(EngineContext& ftp, const std::string& reply);
  static void OpenReply(EngineContext& ftp, const std::string& reply);
  static void ProxyUserReply(EngineContext& ftp, const std::string& reply);
  static void ProxyPassReply(EngineContext& ftp, const std::string& reply);
  static void SiteReply(EngineContext& ftp, const std::string& reply);
  static void UserReply(EngineContext& ftp, const std::string& reply);
  static void PassReply(EngineContext& ftp, const std::string& reply);
  static void AcctReply(EngineContext& ftp, const std::string& reply);
  static void SystReply(EngineContext& ftp, const std::string& reply);
  static void RestReply(EngineContext& ftp, const std::string& reply);
  static void RestZeroReply(EngineContext& ftp, const std::string& reply);
  static void InitialCwdReply(EngineContext& ftp, const std::string& reply);
  static void PwdReply(EngineContext& ftp, const std::string& reply);

  static void SendPassword(EngineContext& ftp);
  // After USER/PASS (and ACCT): PBSZ/PROT, the charset, then SystemStep.
  static void CapabilityStep(EngineContext& ftp);
  static void SystemStep(EngineContext& ftp);
  static void DirectoryStep(EngineContext& ftp);
  static void LoggedInStep(EngineContext& ftp);
};

}  // namespace tarsil
