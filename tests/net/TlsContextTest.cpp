// The pin format of TLSFINGERPRINT: what is accepted as a SHA-256 fingerprint and how it is
// written, so that a pin copied from a refusal line or from openssl's output matches.
#include "net/TlsContext.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

const std::string kCanonical =
    "SHA256:0D:13:50:08:0D:85:F2:E2:AE:0D:95:11:F8:97:91:9E:E1:1D:F3:1E:E2:5E:99:FA:1B:2C:3D:4E:"
    "5F:60:71:82";

TEST(TlsFingerprint, AcceptsEverySpellingOfTheSameDigest) {
  const std::string bare = "0d1350080d85f2e2ae0d9511f897919ee11df31ee25e99fa1b2c3d4e5f607182";
  EXPECT_EQ(NormaliseFingerprint(kCanonical), kCanonical);
  EXPECT_EQ(NormaliseFingerprint(bare), kCanonical);
  EXPECT_EQ(NormaliseFingerprint("sha256:" + bare), kCanonical);
  EXPECT_EQ(NormaliseFingerprint("0D 13 50 08 0D 85 F2 E2 AE 0D 95 11 F8 97 91 9E E1 1D F3 1E E2 "
                                 "5E 99 FA 1B 2C 3D 4E 5F 60 71 82"),
            kCanonical);
}

TEST(TlsFingerprint, RefusesWhatIsNotOneSha256Digest) {
  for (const char* text : {"", "SHA256:", "SHA1:0D:13", "SHA256:0D:13:50",
                           "SHA256:ZZ:13:50:08:0D:85:F2:E2:AE:0D:95:11:F8:97:91:9E:E1:1D:F3:1E:"
                           "E2:5E:99:FA:1B:2C:3D:4E:5F:60:71:82",
                           "SHA256:0D:13:50:08:0D:85:F2:E2:AE:0D:95:11:F8:97:91:9E:E1:1D:F3:1E:"
                           "E2:5E:99:FA:1B:2C:3D:4E:5F:60:71:82:00"}) {
    EXPECT_EQ(NormaliseFingerprint(text), "") << text;
  }
}

}  // namespace
}  // namespace tarsil
