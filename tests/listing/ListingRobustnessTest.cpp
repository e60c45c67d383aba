// Lines that no server should send, or that are far too long: the parser must never crash, and
// what it keeps must stay bounded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "listing/ListingParser.h"
#include "listing/ListingText.h"

namespace tarsil {
namespace {

std::vector<FtpServerType> AllServerTypes() {
  std::vector<FtpServerType> types;
  for (int i = 0; i < kServerTypeCount; ++i) types.push_back(static_cast<FtpServerType>(i));
  return types;
}

TEST(ListingRobustness, EmptyLineFailsForEveryServerType) {
  for (FtpServerType type : AllServerTypes()) {
    ListingParser parser("26");
    EXPECT_FALSE(parser.ParseListingLine(type, "")) << type;
  }
}

// Regression: lines longer than the name limit, and binary garbage, are handled without a crash.
TEST(ListingRobustnessRegression, VeryLongLines) {
  const std::string long_text(1 << 20, 'x');
  const std::vector<std::string> lines = {
      "-rw-r--r-- 1 u g 5 Jan 15 12:34 " + long_text,
      "drwxr-xr-x 1 u g 5 Jan 15 12:34 " + std::string(1 << 20, ' ') + "a",
      "-" + long_text,
      "12-31-99  03:45PM                    5 " + long_text,
      "12-31-99" + std::string(1 << 20, ' '),
      long_text + ";1",
      "+" + std::string(1 << 20, ',') + "\tname",
      "+" + long_text,
      std::string(1 << 20, ' ') + "->" + long_text,
  };
  for (FtpServerType type : AllServerTypes()) {
    ListingParser parser("26");
    for (const std::string& line : lines) {
      const auto entry = parser.ParseListingLine(type, line);
      if (entry && line[0] == '-' && type != ftpstVmsMultinet && type != ftpstVmsUcx &&
          type != ftpstVM && type != ftpstVMVPS) {
        EXPECT_LE(entry->info.FileName.size(), kMaxListingNameLength);
      }
    }
  }
}

TEST(ListingRobustnessRegression, RandomBytesNeverCrashAndPendingTextStaysBounded) {
  // Bytes that steer the rules (first characters, separators, arrows, lead bytes) come often.
  const std::string alphabet = "  -dlf+0123456789;,.:/\t[]<>DIR=\x81\x83\x9f\xe0\xfc\x00\r\nJanMay";
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> pick_alphabet(0, static_cast<int>(alphabet.size()) - 1);
  std::uniform_int_distribution<int> pick_byte(0, 255);
  std::uniform_int_distribution<int> pick_length(0, 160);
  for (FtpServerType type : AllServerTypes()) {
    ListingParser parser("26");
    for (int i = 0; i < 3000; ++i) {
      std::string line(static_cast<size_t>(pick_length(random)), '\0');
      for (char& c : line) {
        c = (random() % 4 == 0) ? static_cast<char>(pick_byte(random))
                                : alphabet[static_cast<size_t>(pick_alphabet(random))];
      }
      const auto entry = parser.ParseListingLine(type, line);
      if (entry) {
        EXPECT_LE(entry->info.FileName.size(), line.size() + 1000);
      }
      // A name waits for one line at most: never more than two lines long.
      ASSERT_LE(parser.PendingVmsText().size(), 2 * 160 + 1);
    }
  }
}

// The sample listings of real servers (15 families): every line under every server type, in
// order, with one parser per run so that VMS continuation lines meet their names. The folder is
// read when present (TARSIL_LISTING_SAMPLES, or the shared folder beside the source tree).
TEST(ListingRobustness, RealSampleListingsUnderEveryServerType) {
  std::filesystem::path folder = TARSIL_SOURCE_DIR "/../shared/listings";
  if (const char* env = std::getenv("TARSIL_LISTING_SAMPLES")) folder = env;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) GTEST_SKIP() << "no samples at " << folder;

  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (item.path().extension() != ".txt") continue;
    ++files;
    std::ifstream in(item.path(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    for (FtpServerType type : AllServerTypes()) {
      ListingParser parser("26");
      for (const std::string& line : lines) {
        const auto entry = parser.ParseListingLine(type, line);
        if (entry) {
          EXPECT_EQ(entry->info.Reserved, "");
        }
      }
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace tarsil
