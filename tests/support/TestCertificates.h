// Keys and certificates made in memory for the TLS tests: self-signed or signed by a test
// authority, for a given address, valid or already expired. Plain values (PEM text); any thread.
#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

namespace tarsil::testing {

struct TestCertificate {
  std::string certificate_pem;
  std::string key_pem;
  std::string fingerprint;  // "SHA256:AB:CD:..."
};

// A certificate for the IP address `address` (subject CN=`common_name`), valid from `from` to
// `until` seconds counted from now, signed by `issuer` (nullptr: by itself). An authority
// (`authority` true) may sign others.
TestCertificate MakeTestCertificate(const std::string& common_name, const std::string& address,
                                    long from, long until, const TestCertificate* issuer = nullptr,
                                    bool authority = false);

struct ServerContextFree {
  void operator()(SSL_CTX* context) const;
};
using ServerContext = std::unique_ptr<SSL_CTX, ServerContextFree>;

// An OpenSSL server context that shows `certificate` and can resume sessions.
ServerContext MakeServerContext(const TestCertificate& certificate);

}  // namespace tarsil::testing
