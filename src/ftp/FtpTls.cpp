// The FTP engine's TLS on the control and data connections. An explicit connection asks AUTH TLS
// after the greeting and runs the login only over TLS; an implicit one is secured before the
// greeting. After the login PBSZ 0 and PROT P make every data connection a TLS one that resumes
// the control connection's session. A refusal or a failed handshake ends the connection: the
// engine never falls back to clear text.
#include "ftp/FtpTlsSteps.h"

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpLoginSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

constexpr ReplyHandler kAuthReply{"AuthTls", &FtpTlsSteps::AuthReply};
constexpr ReplyHandler kPbszReply{"Pbsz", &FtpTlsSteps::PbszReply};
constexpr ReplyHandler kProtReply{"Prot", &FtpTlsSteps::ProtReply};

bool Begins(const std::string& reply, const char* prefix) { return reply.rfind(prefix, 0) == 0; }

}  // namespace

bool FtpTlsSteps::PrepareAttempt(EngineContext& ftp) {
  ftp.Tls().prot_private = false;
  ftp.Tls().greeting.clear();
  ftp.Tls().context.reset();
  ftp.Control().SecureOnConnect(nullptr);
  if (ftp.Settings().security == FtpSecurity::kNone) return true;
  std::string error;
  if (ftp.Settings().proxy_type != proxyNone) {
    error = kTextTlsThroughProxy;
  } else {
    TlsPolicy policy{ftp.Control().Server(), ftp.Settings().tls_verify,
                     ftp.Settings().tls_fingerprint};
    ftp.Tls().context = TlsContext::Create(std::move(policy), error);
  }
  if (!ftp.Tls().context) {
    ftp.State().retries_left = -1;  // the same settings would fail again
    ftp.Control().RestoreTarget();
    ftp.Control().SetLastReply({});
    ftp.RaiseError(ftpErrorCommandFailed, error);
    ftp.FinishRequest();
    return false;
  }
  if (ftp.Settings().security == FtpSecurity::kImplicit) {
    ftp.Control().SecureOnConnect(ftp.Tls().context);
  }
  return true;
}

bool FtpTlsSteps::SendAuth(EngineContext& ftp, const std::string& greeting) {
  if (ftp.Settings().security != FtpSecurity::kExplicit || ftp.Control().Secured()) return false;
  ftp.Tls().greeting = greeting;
  ftp.SendCommand("AUTH TLS", kAuthReply);
  return true;
}

void FtpTlsSteps::AuthReply(EngineContext& ftp, const std::string& reply) {
  if (!Begins(reply, "234")) {
    ftp.State().retries_left = -1;
    ftp.FailConnection(ftpErrorCommandFailed,
                       "The server refused AUTH TLS (" + reply +
                           "): the login ends without sending the user name or password");
    return;
  }
  ftp.Control().SetHandler({});
  // Whatever came after the 234 in clear is not the server's word: it is dropped unread.
  ftp.Control().DropUnread();
  ftp.Control().StartTls(ftp.Tls().context);
  ftp.CheckSocketError();
}

void FtpTlsSteps::ControlSecured(EngineContext& ftp) {
  if (ftp.Control().LastError() != 0) {
    ftp.Control().SetLastReply(
        {});  // the 234 before it must not stand for the outcome of the login
    ftp.FailConnection(ftpErrorConnectionAborted, ftp.Control().TlsFailure());
    return;
  }
  const TlsChannel& channel = *ftp.Control().Tls();
  const std::string fingerprint = channel.PeerFingerprint();
  ftp.RaiseInfo(ftpInfoDebug, "TLS: " + channel.Description() + ", " + fingerprint);
  if (channel.Unverified()) {
    ftp.RaiseInfo(ftpInfoDebug,
                  "Warning: TLSVERIFY=NO: the server's certificate was accepted without checks");
  }
  if (ftp.Settings().security == FtpSecurity::kExplicit)
    FtpLoginSteps::Greeting(ftp, ftp.Tls().greeting);
}

bool FtpTlsSteps::SendProtection(EngineContext& ftp) {
  if (!ftp.Control().Secured() || ftp.Tls().prot_private) return false;
  ftp.SendCommand("PBSZ 0", kPbszReply);
  return true;
}

void FtpTlsSteps::PbszReply(EngineContext& ftp, const std::string& reply) {
  if (!Begins(reply, "2")) {
    ftp.State().retries_left = -1;
    ftp.FailConnection(ftpErrorCommandFailed, "The server refused PBSZ 0 (" + reply +
                                                  "): data connections cannot be protected");
    return;
  }
  ftp.SendCommand("PROT P", kProtReply);
}

void FtpTlsSteps::ProtReply(EngineContext& ftp, const std::string& reply) {
  if (!Begins(reply, "2")) {
    ftp.State().retries_left = -1;
    ftp.FailConnection(ftpErrorCommandFailed,
                       "The server refused PROT P (" + reply +
                           "): data would go in clear, so the connection ends");
    return;
  }
  ftp.Tls().prot_private = true;
  FtpLoginSteps::CapabilityStep(ftp);
}

void FtpTlsSteps::ArmDataSocket(EngineContext& ftp) {
  ftp.Data().Socket().SecureOnConnect(ftp.Tls().prot_private ? ftp.Tls().context : nullptr,
                                      TlsRole::kData);
  ftp.Data().Socket().OnSecured = [&ftp](AsyncSocket&) { DataSecured(ftp); };
}

void FtpTlsSteps::DataSecured(EngineContext& ftp) {
  TransferState& transfer = ftp.Transfer();
  const DataChannel& data = ftp.Data();
  if (data.LastError() != 0) {
    if (ftp.State().aborting) return;
    if (transfer.data_closed) return ftp.FailConnection(ftpErrorDataConnection, data.TlsFailure());
    // A failed handshake ends the transfer only; the control connection stays.
    if (transfer.failure_text.empty()) transfer.failure_text = data.TlsFailure();
    FtpDataSteps::DataFailed(ftp);
    return;
  }
  ftp.RaiseInfo(ftpInfoDebug, "TLS data connection: " + data.Tls()->Description());
}

std::string FtpTlsSteps::DataFailureText(EngineContext& ftp, uint16_t error) {
  return error == kTlsFailed ? ftp.Data().TlsFailure() : std::string();
}

}  // namespace tarsil
