// FtpEngine: TLS on the control and data connections. An explicit connection asks AUTH TLS after
// the greeting and runs the login only over TLS; an implicit one is secured before the
// greeting. After the login PBSZ 0 and PROT P make every data connection a TLS one that resumes
// the control connection's session. A refusal or a failed handshake ends the connection: the
// engine never falls back to clear text.
#include "ftp/FtpTlsSteps.h"

#include "ftp/FtpDataSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

constexpr ReplyHandler kAuthReply{"AuthTls", &FtpTlsSteps::AuthReply};
constexpr ReplyHandler kPbszReply{"Pbsz", &FtpTlsSteps::PbszReply};
constexpr ReplyHandler kProtReply{"Prot", &FtpTlsSteps::ProtReply};

bool Begins(const std::string& reply, const char* prefix) { return reply.rfind(prefix, 0) == 0; }

}  // namespace

void FtpLoginGreeting(FtpEngine& ftp, const std::string& reply);  // FtpLogin.cpp
void FtpLoginCapabilities(FtpEngine& ftp);                        // FtpLogin.cpp

bool FtpTlsSteps::PrepareAttempt(FtpEngine& ftp) {
  ftp.prot_private_ = false;
  ftp.greeting_.clear();
  ftp.tls_context_.reset();
  ftp.SecureOnConnect(nullptr, TlsRole::kControl);
  if (ftp.security_ == FtpSecurity::kNone) return true;
  std::string error;
  if (ftp.proxy_type_ != proxyNone) {
    error = kTextTlsThroughProxy;
  } else {
    TlsPolicy policy{ftp.Server(), ftp.tls_verify_, ftp.tls_fingerprint_};
    ftp.tls_context_ = TlsContext::Create(std::move(policy), error);
  }
  if (!ftp.tls_context_) {
    ftp.retries_left_ = -1;  // the same settings would fail again
    ftp.RestoreTarget();
    ftp.last_reply_.clear();
    ftp.RaiseError(ftpErrorCommandFailed, error);
    ftp.FinishRequest();
    return false;
  }
  if (ftp.security_ == FtpSecurity::kImplicit) {
    ftp.SecureOnConnect(ftp.tls_context_, TlsRole::kControl);
  }
  return true;
}

bool FtpTlsSteps::SendAuth(FtpEngine& ftp, const std::string& greeting) {
  if (ftp.security_ != FtpSecurity::kExplicit || ftp.Secured()) return false;
  ftp.greeting_ = greeting;
  ftp.SendCommand("AUTH TLS", kAuthReply);
  return true;
}

void FtpTlsSteps::AuthReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, "234")) {
    ftp.retries_left_ = -1;
    ftp.FailConnection(ftpErrorCommandFailed,
                       "The server refused AUTH TLS (" + reply +
                           "): the login ends without sending the user name or password");
    return;
  }
  ftp.reply_handler_ = {};
  // Whatever came after the 234 in clear is not the server's word: it is dropped unread.
  ftp.lines_.Clear();
  ftp.replies_.Clear();
  ftp.StartTls(ftp.tls_context_, TlsRole::kControl);
  ftp.CheckSocketError();
}

void FtpTlsSteps::ControlSecured(FtpEngine& ftp) {
  if (ftp.LastError() != 0) {
    ftp.last_reply_.clear();  // the 234 before it must not stand for the outcome of the login
    ftp.FailConnection(ftpErrorConnectionAborted, ftp.TlsFailure());
    return;
  }
  const TlsChannel& channel = *ftp.Tls();
  const std::string fingerprint = channel.PeerFingerprint();
  ftp.RaiseInfo(ftpInfoDebug, "TLS: " + channel.Description() + ", " + fingerprint);
  if (channel.Unverified()) {
    ftp.RaiseInfo(ftpInfoDebug,
                  "Warning: TLSVERIFY=NO: the server's certificate was accepted without checks");
  }
  if (ftp.security_ == FtpSecurity::kExplicit) FtpLoginGreeting(ftp, ftp.greeting_);
}

bool FtpTlsSteps::SendProtection(FtpEngine& ftp) {
  if (!ftp.Secured() || ftp.prot_private_) return false;
  ftp.SendCommand("PBSZ 0", kPbszReply);
  return true;
}

void FtpTlsSteps::PbszReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, "2")) {
    ftp.retries_left_ = -1;
    ftp.FailConnection(ftpErrorCommandFailed, "The server refused PBSZ 0 (" + reply +
                                                  "): data connections cannot be protected");
    return;
  }
  ftp.SendCommand("PROT P", kProtReply);
}

void FtpTlsSteps::ProtReply(FtpEngine& ftp, const std::string& reply) {
  if (!Begins(reply, "2")) {
    ftp.retries_left_ = -1;
    ftp.FailConnection(ftpErrorCommandFailed,
                       "The server refused PROT P (" + reply +
                           "): data would go in clear, so the connection ends");
    return;
  }
  ftp.prot_private_ = true;
  FtpLoginCapabilities(ftp);
}

void FtpTlsSteps::ArmDataSocket(FtpEngine& ftp) {
  ftp.data_socket_.SecureOnConnect(ftp.prot_private_ ? ftp.tls_context_ : nullptr, TlsRole::kData);
  ftp.data_socket_.OnSecured = [&ftp](AsyncSocket&) { DataSecured(ftp); };
}

void FtpTlsSteps::DataSecured(FtpEngine& ftp) {
  AsyncSocket& data = ftp.data_socket_;
  if (data.LastError() != 0) {
    if (ftp.aborting_) return;
    if (ftp.data_.data_closed) return ftp.FailConnection(ftpErrorDataConnection, data.TlsFailure());
    // A failed handshake ends the transfer only; the control connection stays.
    if (ftp.data_.failure_text.empty()) ftp.data_.failure_text = data.TlsFailure();
    FtpDataSteps::DataFailed(ftp);
    return;
  }
  ftp.RaiseInfo(ftpInfoDebug, "TLS data connection: " + data.Tls()->Description());
}

std::string FtpTlsSteps::DataFailureText(FtpEngine& ftp, uint16_t error) {
  return error == kTlsFailed ? ftp.data_socket_.TlsFailure() : std::string();
}

}  // namespace tarsil
