#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace tarsil::testing {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(length));
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) throw std::runtime_error("test certificate: bad extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

}  // namespace

TestCertificate MakeTestCertificate(const std::string& common_name, const std::string& address,
                                    long from, long until, const TestCertificate* issuer,
                                    bool authority) {
  Key key(EVP_EC_gen("P-256"));
  Certificate certificate(X509_new());
  if (!key || !certificate) throw std::runtime_error("test certificate: OpenSSL failed");
  X509_set_version(certificate.get(), 2);
  static long serial = 1;
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial++);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), from);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), until);
  X509_set_pubkey(certificate.get(), key.get());
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                             0);

  Key issuer_key;
  Certificate issuer_certificate;
  if (issuer != nullptr) {
    Bio key_bio(BIO_new_mem_buf(issuer->key_pem.data(), static_cast<int>(issuer->key_pem.size())));
    issuer_key.reset(PEM_read_bio_PrivateKey(key_bio.get(), nullptr, nullptr, nullptr));
    Bio cert_bio(BIO_new_mem_buf(issuer->certificate_pem.data(),
                                 static_cast<int>(issuer->certificate_pem.size())));
    issuer_certificate.reset(PEM_read_bio_X509(cert_bio.get(), nullptr, nullptr, nullptr));
    if (!issuer_key || !issuer_certificate) throw std::runtime_error("test certificate: issuer");
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer_certificate.get()));
  } else {
    X509_set_issuer_name(certificate.get(), name);
  }
  X509* signer = issuer != nullptr ? issuer_certificate.get() : certificate.get();
  if (authority) {
    AddExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(certificate.get(), signer, NID_subject_alt_name, ("IP:" + address).c_str());
  }
  EVP_PKEY* signing_key = issuer != nullptr ? issuer_key.get() : key.get();
  if (X509_sign(certificate.get(), signing_key, EVP_sha256()) == 0) {
    throw std::runtime_error("test certificate: signing failed");
  }

  TestCertificate result;
  Bio out(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(out.get(), certificate.get());
  result.certificate_pem = BioText(out.get());
  Bio key_out(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(key_out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  result.key_pem = BioText(key_out.get());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate.get(), EVP_sha256(), digest, &length);
  static const char kHex[] = "0123456789ABCDEF";
  result.fingerprint = "SHA256";
  for (unsigned int i = 0; i < length; ++i) {
    result.fingerprint += ':';
    result.fingerprint += kHex[digest[i] >> 4];
    result.fingerprint += kHex[digest[i] & 15];
  }
  return result;
}

void ServerContextFree::operator()(SSL_CTX* context) const { SSL_CTX_free(context); }

ServerContext MakeServerContext(const TestCertificate& certificate) {
  ServerContext context(SSL_CTX_new(TLS_server_method()));
  BIO* cert_bio = BIO_new_mem_buf(certificate.certificate_pem.data(),
                                  static_cast<int>(certificate.certificate_pem.size()));
  X509* x509 = PEM_read_bio_X509(cert_bio, nullptr, nullptr, nullptr);
  BIO_free(cert_bio);
  BIO* key_bio =
      BIO_new_mem_buf(certificate.key_pem.data(), static_cast<int>(certificate.key_pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(key_bio, nullptr, nullptr, nullptr);
  BIO_free(key_bio);
  SSL_CTX_use_certificate(context.get(), x509);
  SSL_CTX_use_PrivateKey(context.get(), key);
  X509_free(x509);
  EVP_PKEY_free(key);
  static const unsigned char kId[] = "tarsil-tls-test";
  SSL_CTX_set_session_id_context(context.get(), kId, sizeof kId - 1);
  return context;
}

}  // namespace tarsil::testing
