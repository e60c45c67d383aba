#include "session/LocalFiles.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "session/MatchMask.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A folder with files to delete and things that must survive.
class DeleteLocalFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("a.bak", "x");
    dir_.Write("B.BAK", "x");
    dir_.Write(".hidden.bak", "x");
    dir_.Write("keep.txt", "x");
    dir_.Write("\xe8\xa1\xa8.bak", "x");  // 表.bak
    dir_.Write("folder.bak/inner.bak", "x");
    fs::create_directory_symlink(dir_.path() / "folder.bak", dir_.path() / "dirlink.bak");
  }

  const std::vector<std::string> kSurvivors = {"dirlink.bak", "folder.bak", "keep.txt"};
  TempDir dir_;
};

TEST_F(DeleteLocalFilesTest, DeletesMatchingFilesAndNeverFolders) {
  DeleteLocalFiles(dir_.str() + "/*.bak");
  EXPECT_EQ(Entries(dir_.path()), kSurvivors);
  EXPECT_EQ(Entries(dir_.path() / "folder.bak"), std::vector<std::string>{"inner.bak"});
}

TEST_F(DeleteLocalFilesTest, BackslashSeparatesAndRelativeNamesUseTheCurrentFolder) {
  DeleteLocalFiles(dir_.str() + "\\\x95\x5c*");  // trail byte 0x5C is not a separator
  EXPECT_FALSE(fs::exists(dir_.path() / "\xe8\xa1\xa8.bak"));
  EXPECT_TRUE(fs::exists(dir_.path() / "a.bak"));

  const fs::path saved = fs::current_path();
  fs::current_path(dir_.path());
  DeleteLocalFiles("?.BAK");
  fs::current_path(saved);
  EXPECT_EQ(Entries(dir_.path()),
            (std::vector<std::string>{".hidden.bak", "dirlink.bak", "folder.bak", "keep.txt"}));
}

TEST_F(DeleteLocalFilesTest, EmptyMaskOrMissingFolderDeletesNothing) {
  const std::vector<std::string> before = Entries(dir_.path());
  DeleteLocalFiles(dir_.str() + "/");
  DeleteLocalFiles(dir_.str() + "\\");
  DeleteLocalFiles(dir_.str() + "/no-such-folder/*");
  EXPECT_EQ(Entries(dir_.path()), before);
}

TEST_F(DeleteLocalFilesTest, IllFormedMaskRaisesBeforeDeletingAnything) {
  const std::vector<std::string> before = Entries(dir_.path());
  EXPECT_THROW(DeleteLocalFiles(dir_.str() + "/[*.bak"), MaskError);
  EXPECT_THROW(DeleteLocalFiles(dir_.str() + "/no-such-folder/[]"), MaskError);
  EXPECT_EQ(Entries(dir_.path()), before);
}

TEST(AppendLinesToFileTest, AppendsLinesWithCrLf) {
  TempDir dir;
  const std::string file = dir.str() + "/\x95\x5c.log";
  EXPECT_FALSE(AppendLinesToFile({}, file));
  EXPECT_FALSE(FileExists(file));  // no lines: not even an empty file
  EXPECT_TRUE(AppendLinesToFile({"one", ""}, file));
  EXPECT_TRUE(AppendLinesToFile({"\x93\xfa\x96\x7b"}, file));
  EXPECT_EQ(TempDir::Read(dir.path() / "\xe8\xa1\xa8.log"), "one\r\n\r\n\x93\xfa\x96\x7b\r\n");
}

TEST(AppendLinesToFileTest, FailuresReturnFalse) {
  TempDir dir;
  EXPECT_FALSE(AppendLinesToFile({"x"}, dir.str() + "/missing/f.log"));
  EXPECT_FALSE(AppendLinesToFile({"x"}, dir.str()));
  EXPECT_FALSE(AppendLinesToFile({"x"}, "/dev/full"));
}

TEST(LocalFileSizeTest, SizeOrZero) {
  TempDir dir;
  EXPECT_EQ(LocalFileSize(dir.Write("f", "abc")), 3);
  EXPECT_EQ(LocalFileSize(dir.str() + "/none"), 0);
}

}  // namespace
}  // namespace tarsil
