// One TLS client connection over a connected non-blocking socket: the handshake, reading and
// writing step by step (each step says when it wants the socket readable or writable again,
// never waits), the judgement of the server's certificate, and what the log says about it.
// AsyncSocket owns one per secured socket; the descriptor stays the socket's. Loop thread only.
#pragma once

#include <openssl/types.h>

#include <cstddef>
#include <memory>
#include <string>

#include "net/TlsContext.h"

namespace tarsil {

enum class TlsRole { kControl, kData };

class TlsChannel {
 public:
  enum class Step { kDone, kWantRead, kWantWrite, kClosed, kFailed };

  // A control connection judges the certificate by the context's policy and keeps the sessions
  // the server hands out; a data connection resumes the latest and must show the same certificate.
  TlsChannel(std::shared_ptr<TlsContext> context, TlsRole role, int fd);
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  Step Handshake();
  // kDone with `count` > 0 bytes; kClosed once the peer ended the stream cleanly; kFailed on a
  // TLS error or an end without the peer's close notice.
  Step Read(void* buffer, size_t size, size_t& count);
  // After kWantWrite/kWantRead the next write must offer the same bytes first (OpenSSL's rule).
  Step Write(const void* buffer, size_t size, size_t& count);
  bool HasPending() const;  // decrypted or buffered bytes the socket's readiness will not show
  // Sends the close notice without waiting: kWantWrite while the socket takes no more (call
  // again when it is writable), else kDone (sent, or none is due: after a fatal error, before
  // the handshake has finished, or a second time).
  Step Shutdown();

  // Why the last step failed, in words for the log.
  const std::string& FailureText() const { return failure_; }
  // After the handshake: "TLSv1.3, TLS_AES_256_GCM_SHA384, subject CN=..., SHA256:AB:..."
  std::string Description() const;
  std::string PeerFingerprint() const;
  bool Resumed() const;
  bool Unverified() const { return unverified_; }  // accepted only because checks are off

 private:
  friend int TlsCollectVerifyError(int ok, X509_STORE_CTX* store);
  Step Failed(int result, bool handshake);
  bool JudgeCertificate();
  std::string Reasons() const;

  std::shared_ptr<TlsContext> context_;
  TlsRole role_;
  SSL* ssl_ = nullptr;
  std::string failure_;
  bool unverified_ = false;
  bool shut_down_ = false;      // no close notice after a fatal error or a second time
  unsigned verify_errors_ = 0;  // the kinds of fault the chain check met (bit per kind)
};

}  // namespace tarsil
