// The FTP engine's login chain, from the greeting to "Logged in": the proxy dialogues,
// USER/PASS/ACCT with values asked from the owner, SYST detection, the restart probe and the
// starting directory. Every step is a named reply handler; a refusal ends in FailConnection, whose
// close decides between a retry and the disconnect.
#include <string>

#include "ftp/FtpCharsetSteps.h"
#include "ftp/FtpLoginSteps.h"
#include "ftp/FtpText.h"
#include "ftp/FtpTlsSteps.h"

namespace tarsil {

namespace {

constexpr ReplyHandler kGreeting{"Greeting", &FtpLoginSteps::Greeting};
constexpr ReplyHandler kHostReply{"Host", &FtpLoginSteps::HostReply};
constexpr ReplyHandler kOpenReply{"Open", &FtpLoginSteps::OpenReply};
constexpr ReplyHandler kProxyUserReply{"ProxyUser", &FtpLoginSteps::ProxyUserReply};
constexpr ReplyHandler kProxyPassReply{"ProxyPass", &FtpLoginSteps::ProxyPassReply};
constexpr ReplyHandler kSiteReply{"Site", &FtpLoginSteps::SiteReply};
constexpr ReplyHandler kUserReply{"User", &FtpLoginSteps::UserReply};
constexpr ReplyHandler kPassReply{"Pass", &FtpLoginSteps::PassReply};
constexpr ReplyHandler kAcctReply{"Acct", &FtpLoginSteps::AcctReply};
constexpr ReplyHandler kSystReply{"Syst", &FtpLoginSteps::SystReply};
constexpr ReplyHandler kRestReply{"Rest", &FtpLoginSteps::RestReply};
constexpr ReplyHandler kRestZeroReply{"RestZero", &FtpLoginSteps::RestZeroReply};
constexpr ReplyHandler kInitialCwdReply{"InitialCwd", &FtpLoginSteps::InitialCwdReply};
constexpr ReplyHandler kPwdReply{"LoginPwd", &FtpLoginSteps::PwdReply};

}  // namespace

ReplyHandler FtpLoginSteps::GreetingHandler() { return kGreeting; }

void FtpLoginSteps::Greeting(EngineContext& ftp, const std::string& reply) {
  ftp.State().operation = FtpOperation::kLogin;
  if (!ReplyIs(reply, '2')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  if (FtpTlsSteps::SendAuth(ftp, reply)) return;  // the login goes on once TLS holds
  if (ftp.Settings().username.empty()) ftp.AskInfo(needUser, ftp.Settings().username);
  if (ftp.Control().TargetSaved()) {
    ftp.Control().RestoreTarget();  // from here on Server and Port are the real target
  } else if (ftp.Settings().server_type == ftpstAutoDetect && IsNetTermGreeting(reply)) {
    ftp.Settings().server_type = ftpstNetTerm;
  }
  const FtpProxyType type = ftp.Settings().proxy_type;
  if (type == proxySite && ftp.Settings().proxy_username.empty())
    ftp.AskInfo(needUser, ftp.Settings().proxy_username);
  const LoginTarget target{ftp.Control().Server(), ftp.Control().Port(), ftp.Settings().username,
                           ftp.Settings().proxy_username};
  ReplyHandler next = kUserReply;
  if (type == proxyHost) next = kHostReply;
  if (type == proxyOpen) next = kOpenReply;
  if (type == proxySite) next = kProxyUserReply;
  ftp.SendCommand(FirstLoginCommand(type, target), next);
}

// ---- Proxy dialogues -----------------------------------------------------------------------

void FtpLoginSteps::HostReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '3')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  ftp.SendCommand("USER " + ftp.Settings().username, kUserReply);
}

void FtpLoginSteps::OpenReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  ftp.SendCommand("USER " + ftp.Settings().username, kUserReply);
}

void FtpLoginSteps::ProxyUserReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    ftp.SendCommand("SITE " + ftp.Control().Server(), kSiteReply);
  } else if (ReplyIs(reply, '3')) {
    if (ftp.Settings().proxy_password.empty())
      ftp.AskInfo(needPassword, ftp.Settings().proxy_password);
    ftp.SendCommand("PASS " + ftp.Settings().proxy_password, kProxyPassReply);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::ProxyPassReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.FailConnection(ftpErrorPasswordRejected);
    return;
  }
  ftp.SendCommand("SITE " + ftp.Control().Server(), kSiteReply);
}

void FtpLoginSteps::SiteReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.FailConnection(ftpErrorCommandFailed);
    return;
  }
  ftp.SendCommand("USER " + ftp.Settings().username, kUserReply);
}

// ---- USER, PASS, ACCT ----------------------------------------------------------------------

void FtpLoginSteps::UserReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    CapabilityStep(ftp);
  } else if (ReplyIs(reply, '3')) {
    SendPassword(ftp);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::SendPassword(EngineContext& ftp) {
  if (ftp.Settings().password.empty()) ftp.AskInfo(needPassword, ftp.Settings().password);
  ftp.SendCommand("PASS " + ftp.Settings().password, kPassReply);
}

void FtpLoginSteps::PassReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    CapabilityStep(ftp);
  } else if (ReplyIs(reply, '3')) {
    if (ftp.Settings().account.empty()) ftp.AskInfo(needAccount, ftp.Settings().account);
    ftp.SendCommand("ACCT " + ftp.Settings().account, kAcctReply);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::AcctReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.FailConnection(ftpErrorPasswordRejected);
    return;
  }
  CapabilityStep(ftp);
}

// ---- Server type, restart probe, starting directory ----------------------------------------

void FtpLoginSteps::CapabilityStep(EngineContext& ftp) {
  if (FtpTlsSteps::SendProtection(ftp)) return;  // PBSZ and PROT come back here
  if (FtpCharsetSteps::Start(ftp, &SystemStep))
    return;  // it goes on with SystemStep after its replies
  SystemStep(ftp);
}

void FtpLoginSteps::SystemStep(EngineContext& ftp) {
  if (ftp.Settings().server_type == ftpstAutoDetect) {
    ftp.SendCommand("SYST", kSystReply);
  } else {
    ftp.SendCommand("REST 100", kRestReply);
  }
}

void FtpLoginSteps::SystReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '5')) {
    ftp.Settings().server_type = ftpstDefault;
  } else if (ftp.Settings().server_type == ftpstAutoDetect) {
    ftp.Settings().server_type = ServerTypeFromSyst(reply);
  }
  ftp.SendCommand("REST 100", kRestReply);
}

void FtpLoginSteps::RestReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '3')) {
    ftp.State().resume_supported = true;
    ftp.RaiseInfo(ftpInfoResumeSupported, kTextResumeSupported);
    ftp.SendCommand("REST 0", kRestZeroReply);
    return;
  }
  ftp.State().resume_supported = false;
  ftp.RaiseInfo(ftpInfoResumeNotSupported);
  DirectoryStep(ftp);
}

void FtpLoginSteps::RestZeroReply(EngineContext& ftp, const std::string&) { DirectoryStep(ftp); }

void FtpLoginSteps::DirectoryStep(EngineContext& ftp) {
  if (!ftp.Settings().initial_directory.empty()) {
    ftp.SendCommand("CWD " + ftp.Settings().initial_directory, kInitialCwdReply);
  } else {
    ftp.SendCommand("PWD", kPwdReply);
  }
}

void FtpLoginSteps::InitialCwdReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) ftp.State().current_directory = QuotedPath(reply);
  if (!ftp.State().current_directory.empty()) {
    LoggedInStep(ftp);
  } else {
    ftp.SendCommand("PWD", kPwdReply);
  }
}

void FtpLoginSteps::PwdReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    // The connection is closed and its close decides; "Logged in" would be false here.
    ftp.FailConnection(ftpErrorCommandFailed);
    return;
  }
  ftp.State().current_directory = QuotedPath(reply);
  if (UsesDrivePaths(ftp.Settings().server_type)) {
    ftp.State().current_directory = NormaliseDrivePath(ftp.State().current_directory);
  }
  LoggedInStep(ftp);
}

void FtpLoginSteps::LoggedInStep(EngineContext& ftp) {
  ftp.RaiseInfo(ftpInfoLoggedIn);
  ftp.FinishRequest();
}

}  // namespace tarsil
