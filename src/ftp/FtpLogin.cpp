// FtpEngine: the login chain, from the greeting to "Logged in": the proxy dialogues, USER/PASS/ACCT
// with values asked from the owner, SYST detection, the restart probe and the starting directory.
// Every step is a named reply handler; a refusal ends in FailConnection, whose close decides
// between a retry and the disconnect.
#include <string>

#include "ftp/FtpEngine.h"
#include "ftp/FtpText.h"
#include "ftp/FtpTlsSteps.h"

namespace tarsil {

struct FtpLoginSteps {
  static void Greeting(FtpEngine& ftp, const std::string& reply);
  static void HostReply(FtpEngine& ftp, const std::string& reply);
  static void OpenReply(FtpEngine& ftp, const std::string& reply);
  static void ProxyUserReply(FtpEngine& ftp, const std::string& reply);
  static void ProxyPassReply(FtpEngine& ftp, const std::string& reply);
  static void SiteReply(FtpEngine& ftp, const std::string& reply);
  static void UserReply(FtpEngine& ftp, const std::string& reply);
  static void PassReply(FtpEngine& ftp, const std::string& reply);
  static void AcctReply(FtpEngine& ftp, const std::string& reply);
  static void SystReply(FtpEngine& ftp, const std::string& reply);
  static void RestReply(FtpEngine& ftp, const std::string& reply);
  static void RestZeroReply(FtpEngine& ftp, const std::string& reply);
  static void InitialCwdReply(FtpEngine& ftp, const std::string& reply);
  static void PwdReply(FtpEngine& ftp, const std::string& reply);

  static void SendPassword(FtpEngine& ftp);
  static void CapabilityStep(FtpEngine& ftp);
  static void SystemStep(FtpEngine& ftp);
  static void DirectoryStep(FtpEngine& ftp);
  static void LoggedInStep(FtpEngine& ftp);
};

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

bool Begins(const std::string& reply, char digit) { return !reply.empty() && reply[0] == digit; }

}  // namespace

ReplyHandler FtpEngine::GreetingHandler() { return kGreeting; }

// The TLS steps go on with the login from here once the control connection is secured.
void FtpLoginGreeting(FtpEngine& ftp, const std::string& reply) {
  FtpLoginSteps::Greeting(ftp, reply);
}
void FtpLoginCapabilities(FtpEngine& ftp) { FtpLoginSteps::CapabilityStep(ftp); }

void FtpLoginSteps::Greeting(FtpEngine& ftp, const std::string& reply) {
  ftp.current_operation_ = FtpOperation::kLogin;
  if (!Begins(reply, '2')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  if (FtpTlsSteps::SendAuth(ftp, reply)) return;  // the login goes on once TLS holds
  if (ftp.username_.empty()) ftp.AskInfo(needUser, ftp.username_);
  if (ftp.target_saved_) {
    ftp.RestoreTarget();  // from here on Server and Port are the real target
  } else if (ftp.server_type_ == ftpstAutoDetect && IsNetTermGreeting(reply)) {
    ftp.server_type_ = ftpstNetTerm;
  }
  const FtpProxyType type = ftp.proxy_type_;
  if (type == proxySite && ftp.proxy_username_.empty()) ftp.AskInfo(needUser, ftp.proxy_username_);
  const LoginTarget target{ftp.Server(), ftp.Port(), ftp.username_, ftp.proxy_username_};
  ReplyHandler next = kUserReply;
  if (type == proxyHost) next = kHostReply;
  if (type == proxyOpen) next = kOpenReply;
  if (type == proxySite) next = kProxyUserReply;
  ftp.SendCommand(FirstLoginCommand(type, target), next);
}

// ---- Proxy dialogues -----------------------------------------------------------------------

void FtpLoginSteps::HostReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '3')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  ftp.SendCommand("USER " + ftp.username_, kUserReply);
}

void FtpLoginSteps::OpenReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '2')) {
    ftp.FailConnection(ftpErrorUserRejected);
    return;
  }
  ftp.SendCommand("USER " + ftp.username_, kUserReply);
}

void FtpLoginSteps::ProxyUserReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '2')) {
    ftp.SendCommand("SITE " + ftp.Server(), kSiteReply);
  } else if (Begins(reply, '3')) {
    if (ftp.proxy_password_.empty()) ftp.AskInfo(needPassword, ftp.proxy_password_);
    ftp.SendCommand("PASS " + ftp.proxy_password_, kProxyPassReply);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::ProxyPassReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '2')) {
    ftp.FailConnection(ftpErrorPasswordRejected);
    return;
  }
  ftp.SendCommand("SITE " + ftp.Server(), kSiteReply);
}

void FtpLoginSteps::SiteReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '2')) {
    ftp.FailConnection(ftpErrorCommandFailed);
    return;
  }
  ftp.SendCommand("USER " + ftp.username_, kUserReply);
}

// ---- USER, PASS, ACCT ----------------------------------------------------------------------

void FtpLoginSteps::UserReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '2')) {
    CapabilityStep(ftp);
  } else if (Begins(reply, '3')) {
    SendPassword(ftp);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::SendPassword(FtpEngine& ftp) {
  if (ftp.password_.empty()) ftp.AskInfo(needPassword, ftp.password_);
  ftp.SendCommand("PASS " + ftp.password_, kPassReply);
}

void FtpLoginSteps::PassReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '2')) {
    CapabilityStep(ftp);
  } else if (Begins(reply, '3')) {
    if (ftp.account_.empty()) ftp.AskInfo(needAccount, ftp.account_);
    ftp.SendCommand("ACCT " + ftp.account_, kAcctReply);
  } else {
    ftp.FailConnection(ftpErrorPasswordRejected);
  }
}

void FtpLoginSteps::AcctReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '2')) {
    ftp.FailConnection(ftpErrorPasswordRejected);
    return;
  }
  CapabilityStep(ftp);
}

// ---- Server type, restart probe, starting directory ----------------------------------------

void FtpLoginSteps::CapabilityStep(FtpEngine& ftp) {
  if (FtpTlsSteps::SendProtection(ftp)) return;  // PBSZ and PROT come back here
  if (ftp.CharsetStep(&SystemStep)) return;      // it goes on with SystemStep after its replies
  SystemStep(ftp);
}

void FtpLoginSteps::SystemStep(FtpEngine& ftp) {
  if (ftp.server_type_ == ftpstAutoDetect) {
    ftp.SendCommand("SYST", kSystReply);
  } else {
    ftp.SendCommand("REST 100", kRestReply);
  }
}

void FtpLoginSteps::SystReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '5')) {
    ftp.server_type_ = ftpstDefault;
  } else if (ftp.server_type_ == ftpstAutoDetect) {
    ftp.server_type_ = ServerTypeFromSyst(reply);
  }
  ftp.SendCommand("REST 100", kRestReply);
}

void FtpLoginSteps::RestReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '3')) {
    ftp.resume_supported_ = true;
    ftp.RaiseInfo(ftpInfoResumeSupported, kTextResumeSupported);
    ftp.SendCommand("REST 0", kRestZeroReply);
    return;
  }
  ftp.resume_supported_ = false;
  ftp.RaiseInfo(ftpInfoResumeNotSupported);
  DirectoryStep(ftp);
}

void FtpLoginSteps::RestZeroReply(FtpEngine& ftp, const std::string&) { DirectoryStep(ftp); }

void FtpLoginSteps::DirectoryStep(FtpEngine& ftp) {
  if (!ftp.initial_directory_.empty()) {
    ftp.SendCommand("CWD " + ftp.initial_directory_, kInitialCwdReply);
  } else {
    ftp.SendCommand("PWD", kPwdReply);
  }
}

void FtpLoginSteps::InitialCwdReply(FtpEngine& ftp, const std::string& reply) {
  if (Begins(reply, '2')) ftp.current_directory_ = QuotedPath(reply);
  if (!ftp.current_directory_.empty()) {
    LoggedInStep(ftp);
  } else {
    ftp.SendCommand("PWD", kPwdReply);
  }
}

void FtpLoginSteps::PwdReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, '2')) {
    // The connection is closed and its close decides; "Logged in" would be false here.
    ftp.FailConnection(ftpErrorCommandFailed);
    return;
  }
  ftp.current_directory_ = QuotedPath(reply);
  if (UsesDrivePaths(ftp.server_type_)) {
    ftp.current_directory_ = NormaliseDrivePath(ftp.current_directory_);
  }
  LoggedInStep(ftp);
}

void FtpLoginSteps::LoggedInStep(FtpEngine& ftp) {
  ftp.RaiseInfo(ftpInfoLoggedIn);
  ftp.FinishRequest();
}

}  // namespace tarsil
