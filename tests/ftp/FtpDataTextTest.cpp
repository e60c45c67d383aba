// The data side's text rules that the engine tests do not reach one by one: PASV replies
// (well-formed and hostile) and SIZE replies (64-bit).
#include "ftp/FtpDataText.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "ftp/FtpEngine.h"

namespace tarsil {
namespace {

static_assert(std::is_same_v<decltype(std::declval<FtpEngine>().BytesTransferred()), int64_t>);

TEST(FtpDataTextTest, PasvReplies) {
  struct Case {
    const char* reply;
    const char* host;  // nullptr: malformed
    uint16_t port;
  };
  const Case cases[] = {
      {"227 Entering Passive Mode (127,0,0,1,19,137).", "127.0.0.1", 5001},
      {"227 Entering Passive Mode (10, 1, 2, 3, 0, 21)", "10.1.2.3", 21},
      {"227 =( 192,168,000,9,255,255 )", "192.168.0.9", 65535},
      {"227 Passive (1,2,3,4,5,6) (7,8,9,10,11,12)", "1.2.3.4", 1286},
      {"227 Entering Passive Mode (127,0,0,1,19,137", "127.0.0.1", 5001},  // no ")"
      {"227 Entering Passive Mode 127,0,0,1,19,137", nullptr, 0},          // no "("
      {"227 (127,0,0,1,19)", nullptr, 0},                                  // five fields
      {"227 (127,0,0,1,19,137,1)", nullptr, 0},                            // seven fields
      {"227 (127,0,0,256,19,137)", nullptr, 0},                            // out of range
      {"227 (127,0,0,1,19,-1)", nullptr, 0},
      {"227 (127,0,0,1,1a,137)", nullptr, 0},
      {"227 (127,0,0,1,,137)", nullptr, 0},
      {"227 (127,0,0,1,0,0)", nullptr, 0},  // port 0
      {"227 (0001,0,0,1,19,137)", nullptr, 0},
      {"227 ()", nullptr, 0},
  };
  for (const Case& c : cases) {
    const std::optional<PasvTarget> target = ParsePasvReply(c.reply);
    if (c.host == nullptr) {
      EXPECT_FALSE(target) << c.reply;
    } else {
      ASSERT_TRUE(target) << c.reply;
      EXPECT_EQ(target->host, c.host) << c.reply;
      EXPECT_EQ(target->port, c.port) << c.reply;
    }
  }
}

TEST(FtpDataTextTest, SizeRepliesAreSixtyFourBit) {
  EXPECT_EQ(ParseSizeReply("213 1234"), 1234);
  EXPECT_EQ(ParseSizeReply("213 3000000000"), 3000000000);
  EXPECT_EQ(ParseSizeReply("213 5000000000 "), 5000000000);
  EXPECT_EQ(ParseSizeReply("213 0"), 0);
  EXPECT_FALSE(ParseSizeReply("213 "));
  EXPECT_FALSE(ParseSizeReply("213 12ab"));
  EXPECT_FALSE(ParseSizeReply("213 -5"));
  EXPECT_FALSE(ParseSizeReply("213 99999999999999999999"));
}

TEST(FtpDataTextTest, EpsvRepliesGiveOnlyAPort) {
  EXPECT_EQ(ParseEpsvReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
  EXPECT_EQ(ParseEpsvReply("229 Entering extended passive mode (!!!21!)."), 21);
  EXPECT_EQ(ParseEpsvReply("229 (|||65535|)"), 65535);
  for (const char* bad :
       {"229 Entering Extended Passive Mode", "229 (|||6446|", "229 (||6446|)", "229 (|||0|)",
        "229 (|||65536|)", "229 (|||64a6|)", "229 (||||)", "229 (|1|::1|6446|)", "229 (1112341)",
        "229 (   6446 )", "229 (|||123456|)", "229 )|||6446|("}) {
    EXPECT_FALSE(ParseEpsvReply(bad)) << bad;
  }
}

TEST(FtpDataTextTest, EprtArgumentsNameTheFamily) {
  EXPECT_EQ(EprtArgument("::1", 51829), "|2|::1|51829|");
  EXPECT_EQ(EprtArgument("2001:db8::5", 21), "|2|2001:db8::5|21|");
  EXPECT_EQ(EprtArgument("127.0.0.1", 1024), "|1|127.0.0.1|1024|");
}

}  // namespace
}  // namespace tarsil
