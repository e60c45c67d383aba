#include "net/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace tarsil {
namespace {

// Kinds of certificate fault, as the refusal names them.
constexpr unsigned kUntrusted = 1;
constexpr unsigned kExpired = 2;
constexpr unsigned kNameMismatch = 4;
constexpr unsigned kOtherFault = 8;

unsigned FaultKind(int error) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kNameMismatch;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return kUntrusted;
    default:
      return kOtherFault;
  }
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

// Notes every fault of the chain check and lets the handshake go on: the channel judges the
// certificate itself once the handshake is over, so that the refusal can say everything.
int TlsCollectVerifyError(int ok, X509_STORE_CTX* store) {
  if (ok != 0) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* channel = ssl != nullptr ? static_cast<TlsChannel*>(SSL_get_app_data(ssl)) : nullptr;
  if (channel != nullptr) channel->verify_errors_ |= FaultKind(X509_STORE_CTX_get_error(store));
  return 1;
}

TlsChannel::TlsChannel(std::shared_ptr<TlsContext> context, TlsRole role, int fd)
    : context_(std::move(context)), role_(role) {
  ssl_ = SSL_new(context_->Handle());
  if (ssl_ == nullptr) {
    failure_ = "TLS cannot start: OpenSSL made no connection object";
    return;
  }
  SSL_set_app_data(ssl_, this);
  SSL_set_verify(ssl_, SSL_VERIFY_PEER, &TlsCollectVerifyError);
  SSL_set_fd(ssl_, fd);
  SSL_set_connect_state(ssl_);
  const std::string& host = context_->Policy().host;
  if (!host.empty()) {
    if (IsAddressLiteral(host)) {
      X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else {
      SSL_set_tlsext_host_name(ssl_, host.c_str());
      SSL_set1_host(ssl_, host.c_str());
    }
  }
  // Every connection keeps the tickets it is given: under TLS 1.3 a ticket serves once, so
  // each data connection resumes with the newest one.
  SSL_set_ex_data(ssl_, TlsKeepSessionsIndex(), this);
  if (role_ == TlsRole::kData && context_->ResumableSession() != nullptr) {
    // A copy: OpenSSL marks the session of a connection that ends without a close notice as
    // not resumable, and one such data connection must not spoil the session for the next.
    SSL_SESSION* copy = SSL_SESSION_dup(context_->ResumableSession());
    if (copy != nullptr) {
      SSL_set_session(ssl_, copy);
      SSL_SESSION_free(copy);
    }
  }
}

TlsChannel::~TlsChannel() {
  if (ssl_ != nullptr) SSL_free(ssl_);  // the descriptor is the socket's: SSL_free leaves it
}

TlsChannel::Step TlsChannel::Handshake() {
  if (ssl_ == nullptr) return Step::kFailed;
  ERR_clear_error();
  const int result = SSL_connect(ssl_);
  if (result != 1) return Failed(result, true);
  return JudgeCertificate() ? Step::kDone : Step::kFailed;
}

TlsChannel::Step TlsChannel::Read(void* buffer, size_t size, size_t& count) {
  count = 0;
  if (ssl_ == nullptr) return Step::kFailed;
  ERR_clear_error();
  const int result = SSL_read(ssl_, buffer, static_cast<int>(size > INT_MAX ? INT_MAX : size));
  if (result > 0) {
    count = static_cast<size_t>(result);
    return Step::kDone;
  }
  return Failed(result, false);
}

TlsChannel::Step TlsChannel::Write(const void* buffer, size_t size, size_t& count) {
  count = 0;
  if (ssl_ == nullptr) return Step::kFailed;
  ERR_clear_error();
  const int result = SSL_write(ssl_, buffer, static_cast<int>(size > INT_MAX ? INT_MAX : size));
  if (result > 0) {
    count = static_cast<size_t>(result);
    return Step::kDone;
  }
  return Failed(result, false);
}

bool TlsChannel::HasPending() const { return ssl_ != nullptr && SSL_has_pending(ssl_) == 1; }

TlsChannel::Step TlsChannel::Shutdown() {
  if (ssl_ == nullptr || shut_down_) return Step::kDone;
  if (SSL_is_init_finished(ssl_) != 1) {
    shut_down_ = true;
    return Step::kDone;
  }
  ERR_clear_error();
  const int result = SSL_shutdown(ssl_);
  const bool blocked = result < 0 && SSL_get_error(ssl_, result) == SSL_ERROR_WANT_WRITE;
  ERR_clear_error();
  if (blocked) return Step::kWantWrite;  // OpenSSL keeps the notice and sends it at the next call
  shut_down_ = true;
  return Step::kDone;
}

TlsChannel::Step TlsChannel::Failed(int result, bool handshake) {
  const int error = SSL_get_error(ssl_, result);
  const int saved_errno = errno;
  if (error == SSL_ERROR_WANT_READ) return Step::kWantRead;
  if (error == SSL_ERROR_WANT_WRITE) return Step::kWantWrite;
  if (error == SSL_ERROR_ZERO_RETURN) return Step::kClosed;
  shut_down_ = true;  // after a fatal error no close notice may follow
  const unsigned long code = ERR_peek_last_error();
  const bool cut = (error == SSL_ERROR_SYSCALL && code == 0) ||
                   (ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
  std::string reason;
  if (cut && saved_errno != 0 && error == SSL_ERROR_SYSCALL) {
    reason = std::strerror(saved_errno);
  } else if (cut) {
    reason = handshake ? "the server closed the connection"
                       : "the connection ended without a TLS close notice";
  } else if (code != 0 && ERR_reason_error_string(code) != nullptr) {
    reason = ERR_reason_error_string(code);
  } else {
    reason = "TLS error " + std::to_string(error);
  }
  failure_ = (handshake ? "TLS handshake failed: " : "TLS connection failed: ") + reason;
  ERR_clear_error();
  return Step::kFailed;
}

std::string TlsChannel::PeerFingerprint() const {
  X509* certificate = ssl_ != nullptr ? SSL_get0_peer_certificate(ssl_) : nullptr;
  if (certificate == nullptr) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "SHA256";
  for (unsigned int i = 0; i < length; ++i) {
    text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

std::string TlsChannel::Reasons() const {
  std::string text;
  auto add = [&text](const char* word) { text += text.empty() ? word : std::string(", ") + word; };
  if (verify_errors_ & kUntrusted) add("untrusted");
  if (verify_errors_ & kExpired) add("expired");
  if (verify_errors_ & kNameMismatch) add("name mismatch");
  if (verify_errors_ & kOtherFault) {
    add(X509_verify_cert_error_string(SSL_get_verify_result(ssl_)));
  }
  return text;
}

bool TlsChannel::JudgeCertificate() {
  const std::string fingerprint = PeerFingerprint();
  if (fingerprint.empty()) {
    failure_ = "TLS certificate not accepted: the server showed none";
    return false;
  }
  if (role_ == TlsRole::kData) {
    const std::string& expected = context_->ControlFingerprint();
    if (expected.empty() || fingerprint == expected) return true;
    failure_ = "TLS certificate not accepted: the data connection showed another certificate (" +
               fingerprint + ")";
    return false;
  }
  const TlsPolicy& policy = context_->Policy();
  bool accepted = false;
  if (!policy.fingerprint.empty()) {
    accepted = fingerprint == policy.fingerprint;
    if (!accepted) {
      failure_ =
          "TLS certificate not accepted: it is not the one TLSFINGERPRINT names; its fingerprint "
          "is " +
          fingerprint;
    }
  } else if (!policy.verify) {
    accepted = true;
    unverified_ = true;
  } else {
    accepted = verify_errors_ == 0 && SSL_get_verify_result(ssl_) == X509_V_OK;
    if (!accepted) {
      if (verify_errors_ == 0) verify_errors_ = kOtherFault;
      failure_ =
          "TLS certificate not accepted (" + Reasons() + "); its fingerprint is " + fingerprint;
    }
  }
  if (accepted) context_->SetControlFingerprint(fingerprint);
  return accepted;
}

bool TlsChannel::Resumed() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

std::string TlsChannel::Description() const {
  if (ssl_ == nullptr) return {};
  std::string text = std::string(SSL_get_version(ssl_)) + ", " + SSL_get_cipher_name(ssl_);
  X509* certificate = SSL_get0_peer_certificate(ssl_);
  if (certificate != nullptr) {
    char* subject = X509_NAME_oneline(X509_get_subject_name(certificate), nullptr, 0);
    if (subject != nullptr) {
      text += std::string(", subject ") + subject;
      OPENSSL_free(subject);
    }
  }
  if (Resumed()) text += ", session resumed";
  return text;
}

}  // namespace tarsil
