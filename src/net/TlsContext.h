// The client TLS settings one FTP session shares between its control connection and its data
// connections: the OpenSSL context (system trust store), how the server's certificate is judged
// (chain and host name, a pinned SHA-256 fingerprint, or nothing), the certificate the control
// connection accepted, and the latest session the server handed out there, which every data
// connection resumes. Shared by the sockets that use it (shared_ptr); loop thread only.
#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

typedef struct ssl_session_st SSL_SESSION;  // as <openssl/ssl.h> names it

namespace tarsil {

struct TlsPolicy {
  std::string host;         // the name (or address) given in Open: checked against the certificate
  bool verify = true;       // false: any certificate is accepted (a warning is logged)
  std::string fingerprint;  // "SHA256:AB:CD:..." pins exactly one certificate; empty: none
};

class TlsContext {
 public:
  // A context for `policy`; nullptr with `error` set when OpenSSL cannot make one.
  static std::shared_ptr<TlsContext> Create(TlsPolicy policy, std::string& error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* Handle() const { return context_; }
  const TlsPolicy& Policy() const { return policy_; }

  // The session the next data connection resumes (the newest any connection was given).
  SSL_SESSION* ResumableSession() const { return session_; }
  void KeepSession(SSL_SESSION* session);  // takes over one reference
  // The fingerprint of the certificate the control connection accepted; data connections must
  // show the same one.
  const std::string& ControlFingerprint() const { return control_fingerprint_; }
  void SetControlFingerprint(std::string text) { control_fingerprint_ = std::move(text); }

 private:
  explicit TlsContext(TlsPolicy policy) : policy_(std::move(policy)) {}

  TlsPolicy policy_;
  SSL_CTX* context_ = nullptr;
  SSL_SESSION* session_ = nullptr;
  std::string control_fingerprint_;
};

// "SHA256:AB:CD:..." in upper case with colons, or empty text when `text` is not 32 bytes of
// hex (colons, spaces and the "SHA256:" prefix optional, any letter case).
std::string NormaliseFingerprint(const std::string& text);

// The SSL ex-data index that marks a connection whose new sessions the context keeps.
int TlsKeepSessionsIndex();

}  // namespace tarsil
