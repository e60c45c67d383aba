#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Restores the process's current folder when the test ends.
class CurrentDirGuard {
 public:
  CurrentDirGuard() : saved_(fs::current_path()) {}
  ~CurrentDirGuard() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSystemTest, ListFilesTakesRegularFilesAndLinksToThem) {
  TempDir dir;
  const fs::path& root = dir.path();
  dir.Write("plain.txt", "x");
  dir.Write(".hidden", "x");
  dir.Write("\xe8\xa1\xa8.txt", "x");  // 表.txt on disk, 0x95 0x5C in the list
  dir.Write("sub/inner.txt", "x");
  dir.Write("emoji\xf0\x9f\x98\x80", "x");  // no CP932 form: cannot be named, left out
  dir.Write("yen\xc2\xa5", "x");            // would come back as a backslash: left out
  dir.Write("back\\slash", "x");            // a backslash would be read as a separator
  ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
  fs::create_symlink(root / "plain.txt", root / "link-to-file");
  fs::create_directory_symlink(root / "sub", root / "link-to-dir");
  fs::create_symlink(root / "missing", root / "dangling");

  const std::vector<std::string> expected =
      Sorted({".hidden", "\x95\x5c.txt", "link-to-file", "plain.txt"});
  EXPECT_EQ(Sorted(ListFiles(dir.str())), expected);
  EXPECT_EQ(Sorted(ListFiles(dir.str() + "/")), expected);
  EXPECT_EQ(ListFiles(dir.str() + "\\sub"), std::vector<std::string>{"inner.txt"});
  EXPECT_TRUE(ListFiles(dir.str() + "/nothing-here").empty());

  CurrentDirGuard guard;
  fs::current_path(root / "sub");
  EXPECT_EQ(ListFiles(""), std::vector<std::string>{"inner.txt"});
}

TEST(FileSystemTest, SplitPathIsLeadByteAware) {
  struct Case {
    const char* path;
    const char* dir;
    const char* name;
  };
  const Case cases[] = {
      {"", "", ""},
      {"name.txt", "", "name.txt"},
      {"a/b\\c.txt", "a/b\\", "c.txt"},
      {"D:\\tmp\\*.bak", "D:\\tmp\\", "*.bak"},
      {"x:y", "", "x:y"},  // a drive colon means nothing here
      {"dir/", "dir/", ""},
      {"\x95\x5c", "", "\x95\x5c"},  // 表: its trail byte 0x5C separates nothing
      {"a\\\x95\x5c\x95\x5c", "a\\", "\x95\x5c\x95\x5c"},
      {"\x95/x", "\x95/", "x"},  // a lead byte before "/" is alone
  };
  for (const Case& c : cases) {
    std::string dir = "junk";
    std::string name = "junk";
    SplitPath(c.path, dir, name);
    EXPECT_EQ(dir, c.dir) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
  }
}

TEST(FileSystemTest, NativePathConvertsAndTurnsBackslashes) {
  EXPECT_EQ(NativePath("a\\b/c"), "a/b/c");
  EXPECT_EQ(NativePath("\x95\x5c\\x"), "\xe8\xa1\xa8/x");
  EXPECT_EQ(NativePath("a\x80"), "a?");
}

TEST(FileSystemTest, NamesWithoutExactFormDesignateNoFile) {
  TempDir dir;
  const std::string question = dir.Write("a?", "keep");
  const std::string bad = dir.str() + "/a\x80";
  EXPECT_FALSE(FileExists(bad));
  EXPECT_FALSE(DeleteLocalFile(bad));
  EXPECT_FALSE(WriteWholeFile(bad, "x"));
  EXPECT_EQ(ReadWholeFile(bad), std::nullopt);
  EXPECT_EQ(TempDir::Read(question), "keep");
}

TEST(FileSystemTest, ExistenceSizeAndDeletion) {
  TempDir dir;
  const fs::path& root = dir.path();
  const std::string file = dir.Write("f.bin", "12345");
  fs::create_directory(root / "sub");
  fs::create_directory_symlink(root / "sub", root / "dirlink");
  fs::create_symlink(root / "f.bin", root / "filelink");

  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir.str() + "/sub"));
  EXPECT_TRUE(DirectoryExists(dir.str() + "\\sub"));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_EQ(FileSize(file), 5);
  EXPECT_EQ(FileSize(dir.str() + "/sub"), std::nullopt);
  EXPECT_EQ(FileSize(dir.str() + "/none"), std::nullopt);

  EXPECT_FALSE(DeleteLocalFile(dir.str() + "/sub"));
  EXPECT_FALSE(DeleteLocalFile(dir.str() + "/dirlink"));
  EXPECT_TRUE(fs::is_symlink(root / "dirlink"));
  EXPECT_TRUE(DeleteLocalFile(dir.str() + "/filelink"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(DeleteLocalFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(DeleteLocalFile(file));
}

TEST(FileSystemTest, SizeIsSixtyFourBit) {
  TempDir dir;
  const std::string file = dir.Write("big", "");
  const int64_t size = int64_t{5} << 30;
  ASSERT_EQ(truncate(file.c_str(), size), 0);  // sparse: takes no space
  EXPECT_EQ(FileSize(file), size);
}

TEST(FileSystemTest, ReadWriteAndAppend) {
  TempDir dir;
  const std::string file = dir.str() + "/\x95\x5c.log";
  EXPECT_EQ(ReadWholeFile(file), std::nullopt);
  EXPECT_TRUE(AppendToFile(file, "one\r\n"));
  EXPECT_TRUE(AppendToFile(file, "two\r\n"));
  EXPECT_EQ(ReadWholeFile(file), "one\r\ntwo\r\n");
  EXPECT_EQ(TempDir::Read(dir.path() / "\xe8\xa1\xa8.log"), "one\r\ntwo\r\n");
  EXPECT_TRUE(WriteWholeFile(file, "x"));
  EXPECT_EQ(ReadWholeFile(file), "x");
  EXPECT_TRUE(WriteWholeFile(file, ""));
  EXPECT_EQ(ReadWholeFile(file), "");
  const std::string binary("a\0b\xff", 4);
  EXPECT_TRUE(WriteWholeFile(file, binary));
  EXPECT_EQ(ReadWholeFile(file), binary);

  EXPECT_FALSE(WriteWholeFile(dir.str() + "/missing/f", "x"));
  EXPECT_FALSE(AppendToFile(dir.str(), "x"));
  EXPECT_EQ(ReadWholeFile(dir.str()), std::nullopt);
}

TEST(FileSystemTest, WriteFailuresAreReported) {
  // /dev/full refuses every write with "no space".
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_FALSE(WriteWholeFile("/dev/full", "x"));
    EXPECT_FALSE(AppendToFile("/dev/full", "x"));
  }
  EXPECT_TRUE(WriteWholeFile("/dev/null", "x"));
}

TEST(FileSystemTest, FifoIsNeitherReadNorWrittenAndNeverBlocks) {
  TempDir dir;
  const std::string fifo = dir.str() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadWholeFile(fifo), std::nullopt);
  EXPECT_FALSE(WriteWholeFile(fifo, "x"));
  EXPECT_FALSE(AppendToFile(fifo, "x"));
}

TEST(FileSystemTest, CurrentDirAndCreateDir) {
  TempDir dir;
  CurrentDirGuard guard;
  const std::string folder = dir.str() + "/\x93\xfa\x96\x7b";  // 日本
  EXPECT_TRUE(CreateDir(folder));
  EXPECT_FALSE(CreateDir(folder));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_TRUE(SetCurrentDir(folder));
  EXPECT_EQ(GetCurrentDir(), Utf8ToCp932(fs::canonical(dir.path()).string()) + "/\x93\xfa\x96\x7b");
  EXPECT_TRUE(WriteWholeFile("rel.txt", "r"));
  EXPECT_EQ(TempDir::Read(dir.path() / "日本" / "rel.txt"), "r");
  EXPECT_TRUE(SetCurrentDir(".."));
  EXPECT_FALSE(SetCurrentDir("no-such-folder"));
  EXPECT_FALSE(SetCurrentDir(""));
}

}  // namespace
}  // namespace tarsil
