// The server word of Open: schemes, IPv6 brackets and ports, the refusals with their reasons,
// and the words without either, which must read exactly as they always did.
#include "session/OpenTarget.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

struct Row {
  const char* word;
  FtpSecurity security;
  const char* host;
  int port;
};

TEST(OpenTarget, ReadsSchemesBracketsAndPorts) {
  const Row rows[] = {
      {"ftp.example", FtpSecurity::kNone, "ftp.example", 21},
      {"ftp.example:2121", FtpSecurity::kNone, "ftp.example", 2121},
      {"10.0.0.5:99999", FtpSecurity::kNone, "10.0.0.5:99999", 21},  // no port: all host
      {"ftp://ftp.example", FtpSecurity::kNone, "ftp://ftp.example", 21},
      {"ftpes://ftp.example", FtpSecurity::kExplicit, "ftp.example", 21},
      {"FTPES://Ftp.Example:2100/", FtpSecurity::kExplicit, "Ftp.Example", 2100},
      {"ftps://ftp.example", FtpSecurity::kImplicit, "ftp.example", 990},
      {"ftps://127.0.0.28:2990", FtpSecurity::kImplicit, "127.0.0.28", 2990},
      {"[::1]", FtpSecurity::kNone, "::1", 21},
      {"[2001:db8::5]:2121", FtpSecurity::kNone, "2001:db8::5", 2121},
      {"ftps://[::1]", FtpSecurity::kImplicit, "::1", 990},
      {"ftpes://[::ffff:127.0.0.1]:21", FtpSecurity::kExplicit, "::ffff:127.0.0.1", 21},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.word);
    const OpenTarget target = ParseOpenTarget(row.word);
    EXPECT_EQ(target.error, "");
    EXPECT_EQ(target.security, row.security);
    EXPECT_EQ(target.host, row.host);
    EXPECT_EQ(target.port, row.port);
  }
}

TEST(OpenTarget, RefusesBrokenWordsWithAReason) {
  const std::pair<const char*, const char*> rows[] = {
      {"[::1", "The IPv6 address has no closing bracket: [::1"},
      {"ftpes://[2001:db8::5:21", "The IPv6 address has no closing bracket: [2001:db8::5:21"},
      {"[ftp.example]", "Not an IPv6 address: [ftp.example]"},
      {"[127.0.0.1]", "Not an IPv6 address: [127.0.0.1]"},
      {"[::1]:", "Not a port after the IPv6 address: [::1]:"},
      {"[::1]:70000", "Not a port after the IPv6 address: [::1]:70000"},
      {"[::1]x", "Not a port after the IPv6 address: [::1]x"},
      {"ftps://", "No host after the scheme"},
  };
  for (const auto& [word, error] : rows) {
    EXPECT_EQ(ParseOpenTarget(word).error, error) << word;
  }
  const std::string with_nul("[::1\0]", 6);
  EXPECT_NE(ParseOpenTarget(with_nul).error, "");
}

}  // namespace
}  // namespace tarsil
