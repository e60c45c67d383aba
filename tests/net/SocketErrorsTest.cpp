#include "net/SocketErrors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "net/HostLookup.h"

namespace tarsil {
namespace {

TEST(SocketErrorsTest, ErrnoValuesMapToTheNumbersTheEngineKnows) {
  const struct {
    int error_number;
    uint16_t expected;
  } cases[] = {
      {0, 0},
      {EWOULDBLOCK, 10035},
      {EAGAIN, 10035},
      {EINPROGRESS, 10035},
      {ECONNREFUSED, 10061},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {EBADF, 10038},
      {ENOTSOCK, 10038},
      {ETIMEDOUT, 10060},
      {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065},
      {EADDRNOTAVAIL, 10049},
      {EACCES, 10013},
      {EMFILE, 10024},
      {ENFILE, 10024},
      {ENOBUFS, 10055},
      {ENOMEM, 10055},
      {ENOTCONN, 10057},
      {ECONNABORTED, 10053},
      {ENETDOWN, 10050},
      {ENETRESET, 10052},
      {EINVAL, 10022},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WinSockErrorFromErrno(c.error_number), c.expected) << "errno " << c.error_number;
  }
  // A value without a socket number is passed on as itself.
  EXPECT_EQ(WinSockErrorFromErrno(ENOENT), ENOENT);
}

TEST(SocketErrorsTest, ResolverAnswersMapToHostErrors) {
  EXPECT_EQ(WinSockErrorFromResolver(0, 0), 0);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_FAIL, 0), 11003);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_NODATA, 0), 11004);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_SYSTEM, 0), 11003);  // never "no error"
}

TEST(HostLookupTest, ResultSurvivesTheTripThroughANotice) {
  const LookupResult sent{11004, 0xFFFFFFFFu};
  const LookupResult got = UnpackLookupResult(PackLookupResult(sent));
  EXPECT_EQ(got.error, sent.error);
  EXPECT_EQ(got.address, sent.address);
}

TEST(HostLookupTest, NamesThatCannotResolveAreRefusedUpFront) {
  EXPECT_TRUE(IsPlausibleHostName("ftp.example.invalid"));
  EXPECT_TRUE(IsPlausibleHostName(std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                  std::string(63, 'c') + "." + std::string(61, 'd')));
  EXPECT_FALSE(IsPlausibleHostName(""));
  EXPECT_FALSE(IsPlausibleHostName(std::string(300, 'a')));
  EXPECT_FALSE(IsPlausibleHostName(std::string(64, 'a') + ".example"));
  EXPECT_FALSE(IsPlausibleHostName(std::string("local\0host", 10)));
}

}  // namespace
}  // namespace tarsil
