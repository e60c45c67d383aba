#include "net/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cctype>

namespace tarsil {

namespace {
constexpr size_t kReadAheadBytes = size_t{256} << 10;
}  // namespace
namespace {

// The index under which every SSL object made from one of our contexts finds that context.
int ContextIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

}  // namespace

// The index under which an SSL object says whether its sessions are kept (the control
// connection's are; a data connection's resumed ones are not).
int TlsKeepSessionsIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

namespace {

// OpenSSL hands every session ticket it gets to this function, at any read of the connection.
int NewSession(SSL* ssl, SSL_SESSION* session) {
  if (SSL_get_ex_data(ssl, TlsKeepSessionsIndex()) == nullptr) return 0;
  auto* context =
      static_cast<TlsContext*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ContextIndex()));
  if (context == nullptr) return 0;
  context->KeepSession(session);
  return 1;  // the reference is ours now
}

}  // namespace

std::shared_ptr<TlsContext> TlsContext::Create(TlsPolicy policy, std::string& error) {
  std::shared_ptr<TlsContext> result(new TlsContext(std::move(policy)));
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) {
    error = "TLS cannot start: OpenSSL made no context";
    return nullptr;
  }
  result->context_ = context;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // The certificate is judged after the handshake (TlsChannel), so that a refusal can say why
  // and show the fingerprint; OpenSSL still checks the chain and the name on the way.
  SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
  if (SSL_CTX_set_default_verify_paths(context) != 1) ERR_clear_error();
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // One read from the socket takes as many records as have arrived, not one record header and
  // then its body (two system calls per 16 KiB); what is read ahead the socket layer's pump sees.
  SSL_CTX_set_read_ahead(context, 1);
  SSL_CTX_set_default_read_buffer_len(context, kReadAheadBytes);
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(context, &NewSession);
  SSL_CTX_set_ex_data(context, ContextIndex(), result.get());
  return result;
}

TlsContext::~TlsContext() {
  if (session_ != nullptr) SSL_SESSION_free(session_);
  if (context_ != nullptr) {
    SSL_CTX_set_ex_data(context_, ContextIndex(), nullptr);
    SSL_CTX_free(context_);
  }
}

void TlsContext::KeepSession(SSL_SESSION* session) {
  if (session_ != nullptr) SSL_SESSION_free(session_);
  session_ = session;
}

std::string NormaliseFingerprint(const std::string& text) {
  std::string digits;
  std::string_view rest = text;
  if (rest.size() >= 7) {
    std::string prefix(rest.substr(0, 7));
    for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (prefix == "SHA256:") rest.remove_prefix(7);
  }
  for (char c : rest) {
    if (c == ':' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (digits.size() != 64) return {};
  std::string result = "SHA256";
  for (size_t i = 0; i < digits.size(); i += 2) {
    result += ':';
    result += digits.substr(i, 2);
  }
  return result;
}

}  // namespace tarsil
