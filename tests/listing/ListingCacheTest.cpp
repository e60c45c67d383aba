#include "listing/ListingCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "SampleEntry.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Katakana "tesuto", a kanji with a 0x5C trail byte, and "setsumei".
const std::string kJapanese = "\x83\x65\x83\x58\x83\x67";
const std::string kTrail5C = "\x95\x5c";
const std::string kDescription = "\x90\xe0\x96\xbe";

ListingCache::Clock FixedClock(int year, int month, int day) {
  return [=] { return EncodeDateTime(year, month, day, 12, 0, 0); };
}

// Sets the file's last-write time to local noon of the given day.
void SetWriteDate(const std::string& path, int year, int month, int day) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void Add(RemoteEntryList& list, const RemoteEntry& e) {
  list.AddEntry(e.FileName, e.Attributes, e.Date, e.Size, e.Link, e.Owner, e.Group, e.Description);
}

RemoteEntry Entry(std::string name) { return testing::SampleEntry(std::move(name), kDescription); }

RemoteEntryList OneEntryList(const std::string& name = "pub") {
  RemoteEntryList list;
  Add(list, Entry(name));
  return list;
}

class ListingCacheTest : public ::testing::Test {
 protected:
  TempDir temp_;
  std::string folder_ = temp_.str() + "/ftpcache/";
  ListingCache cache_{folder_, FixedClock(2024, 3, 20)};

  void SetUp() override { ASSERT_TRUE(cache_.PrepareCacheDirectory()); }
  std::string Path(std::string_view dir, CachedListKind kind = CachedListKind::kFolders) const {
    return cache_.CacheFileName("host1", "anonymous", dir, kind, 21);
  }
};

TEST(ReplaceBadFileChars, Table) {
  const std::map<std::string, std::string> cases = {
      {"/pub/win", "-pub-win"},
      {"a\\b", "a-b"},
      {"\"q\"*:?", "~q~~~~"},
      {"<a>|b", "<a>|b"},                            // these stay
      {kJapanese + kTrail5C, kJapanese + kTrail5C},  // 0x5C as a trail byte is no backslash
      {"\x81/x", "\x81-x"},                          // a lead byte before "/" stands alone
      {"..", ".."},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ReplaceBadFileChars(text, '~'), expected) << text;
  }
  EXPECT_EQ(ReplaceBadFileChars("a:b/c", '_'), "a_b-c");  // the replacement is not used for "/"
}

TEST_F(ListingCacheTest, CacheFileNameTable) {
  struct Case {
    std::string server, user, dir;
    CachedListKind kind;
    int port;
    std::string name;
  };
  const auto d = CachedListKind::kFolders;
  const auto f = CachedListKind::kFiles;
  const Case cases[] = {
      {"host1", "anonymous", "/pub/win", d, 21, "host1[21]--pub-win.cached.ELP"},
      {"host1", "Anonymous", "/pub/win", f, 21, "host1[21]--pub-win.cachef.ELP"},
      {"host1", "FTP", "/", d, 21, "host1[21]--.cached.ELP"},
      {"host1", "ftp", "", d, 2121, "host1[2121]-.cached.ELP"},
      {"host1", "anon", "/", d, 21, "host1[21]-(anon)--.cached.ELP"},
      {"h", "joe:x", "C:\\dir", f, 990, "h[990]-(joe~x)-C~-dir.cachef.ELP"},
      {"h", "joe", "/" + kJapanese + "/" + kTrail5C, d, 21,
       "h[21]-(joe)--" + kJapanese + "-" + kTrail5C + ".cached.ELP"},
      {"::1", "ftp", "/a?b*", d, 21, "~~1[21]--a~b~.cached.ELP"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cache_.CacheFileName(c.server, c.user, c.dir, c.kind, c.port), folder_ + c.name)
        << c.name;
  }
}

TEST_F(ListingCacheTest, CacheFileNameNeverLeavesTheFolder) {
  const std::string escapes[] = {"../../etc", "/../..", "\\..\\..", "/x/../../y"};
  for (const std::string& dir : escapes) {
    const std::string path =
        cache_.CacheFileName("../..", "../me", dir, CachedListKind::kFiles, 21);
    ASSERT_FALSE(path.empty()) << dir;
    cache_.SaveCachedList(path, OneEntryList());
    ASSERT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(fs::canonical(fs::path(path).parent_path()), fs::canonical(folder_)) << path;
  }
  // Nothing was written beside the cache folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(temp_.path()), fs::directory_iterator()), 1);

  // Names the cache cannot hold as one file of its folder give no name at all.
  const std::string unusable[] = {std::string("/a\0/b", 5), "/\x85\x5c..", std::string(300, 'x'),
                                  "/\xff"};
  for (const std::string& dir : unusable) {
    EXPECT_EQ(Path(dir), "") << dir;
  }
  EXPECT_EQ(ListingCache("").CacheFileName("h", "ftp", "/", CachedListKind::kFiles, 21), "");
}

TEST_F(ListingCacheTest, RoundTripOfEveryFieldWithCp932Names) {
  RemoteEntryList files;
  Add(files, Entry(kJapanese + " " + kTrail5C + ".txt"));
  Add(files, RemoteEntry{});  // every field empty
  RemoteEntry odd = Entry("  spaced  name  ");
  odd.Link = "8388621.48594";
  odd.Date = "1/1/80 12:00";
  Add(files, odd);
  RemoteEntryList folders = OneEntryList(kJapanese);

  const std::string files_path = Path("/pub", CachedListKind::kFiles);
  const std::string folders_path = Path("/pub");
  cache_.SaveCachedList(files_path, files);
  cache_.SaveCachedList(folders_path, folders);

  RemoteEntryList loaded = OneEntryList("old entry");
  ASSERT_TRUE(cache_.LoadCachedList(files_path, loaded, 7));
  ASSERT_EQ(loaded.Count(), files.Count());
  for (int i = 0; i < files.Count(); ++i) EXPECT_EQ(loaded.GetEntry(i), files.GetEntry(i)) << i;
  ASSERT_TRUE(cache_.LoadCachedList(folders_path, loaded, 7));
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.GetEntry(0), folders.GetEntry(0));

  EXPECT_EQ(TempDir::Read(folders_path), "1\r\n" + kJapanese +
                                             "\r\n-rw-r--r--\r\n1/15/26 12:34 PM\r\n1234\r\n"
                                             "-> target\r\njoe\r\nstaff\r\n" +
                                             kDescription + "\r\n");
  // Only the two cache files are left: no temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);

  // An empty list is the single line 0, and reads back as empty.
  cache_.SaveCachedList(folders_path, RemoteEntryList());
  EXPECT_EQ(TempDir::Read(folders_path), "0\r\n");
  ASSERT_TRUE(cache_.LoadCachedList(folders_path, loaded, 7));
  EXPECT_EQ(loaded.Count(), 0);
}

TEST(CacheStampIsFresh, StampArithmetic) {
  struct Case {
    int32_t file, today, limit;
    bool fresh;
  };
  const Case cases[] = {
      {20240320, 20240320, 7, true},   // written today
      {20240313, 20240320, 7, false},  // seven days ago: stamp + 7 equals today
      {20240314, 20240320, 7, true},   // six days ago
      {20240130, 20240201, 7, false},  // 20240137 is before 1 February
      {20240103, 20240109, 7, true},   // fresh until the 10th
      {20240103, 20240110, 7, false},
      {19990101, 20240320, 0, true},  // no age check
      {19990101, 20240320, -5, true},
      {20240320, 20240320, 1, true},
      {20240319, 20240320, 1, false},
      {20240321, 20240320, 1, true},          // a date in the future counts as fresh
      {20240101, 20240320, INT32_MAX, true},  // no overflow
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CacheStampIsFresh(c.file, c.today, c.limit), c.fresh)
        << c.file << " " << c.today << " " << c.limit;
  }
  EXPECT_EQ(DateStamp(EncodeDateTime(2024, 1, 30, 23, 59, 59)), 20240130);
}

TEST_F(ListingCacheTest, LoadChecksTheFileDateAgainstTodayStamp) {
  EXPECT_EQ(cache_.TodayStamp(), 20240320);
  const std::string path = Path("/pub");
  cache_.SaveCachedList(path, OneEntryList());

  SetWriteDate(path, 2024, 3, 14);
  RemoteEntryList list;
  EXPECT_TRUE(cache_.LoadCachedList(path, list, 7));
  SetWriteDate(path, 2024, 3, 13);
  list.ClearEntries();
  EXPECT_FALSE(cache_.LoadCachedList(path, list, 7));
  EXPECT_EQ(list.Count(), 0);  // untouched
  SetWriteDate(path, 1999, 1, 1);
  EXPECT_TRUE(cache_.LoadCachedList(path, list, 0));
  EXPECT_EQ(list.Count(), 1);

  // TodayStamp is taken when the folder is prepared, and only then.
  int day = 20;
  ListingCache moving(folder_, [&day] { return EncodeDateTime(2024, 3, day, 12, 0, 0); });
  SetWriteDate(path, 2024, 3, 20);
  day = 27;
  EXPECT_TRUE(moving.LoadCachedList(path, list, 7));
  ASSERT_TRUE(moving.PrepareCacheDirectory());
  EXPECT_EQ(moving.TodayStamp(), 20240327);
  EXPECT_FALSE(moving.LoadCachedList(path, list, 7));
}

TEST_F(ListingCacheTest, DamagedFilesAreAMissAndLeaveTheListAlone) {
  const std::string entry = "name\r\na\r\nd\r\n1\r\nl\r\no\r\ng\r\ndesc\r\n";
  const std::map<std::string, std::string> cases = {
      {"empty file", ""},
      {"count not a number", "abc\r\n" + entry},
      {"negative count", "-1\r\n"},
      {"count with sign", "+1\r\n" + entry},
      {"huge count", "99999999999\r\n" + entry},
      {"count says 3, two entries", "3\r\n" + entry + entry},
      {"last line cut", "1\r\nname\r\na\r\nd\r\n1\r\nl\r\no\r\ng\r\nde"},
      {"line ends without CR", "1\nname\na\nd\n1\nl\no\ng\ndesc\n"},
      {"lone CR in a line", "1\r\nna\rme\r\na\r\nd\r\n1\r\nl\r\no\r\ng\r\ndesc\r\n"},
      {"more than the count", "1\r\n" + entry + "extra\r\n"},
      {"binary", std::string("\0\xff\r\n\x81", 5)},
  };
  for (const auto& [what, bytes] : cases) {
    const std::string path = Path("/damaged");
    temp_.Write("ftpcache/" + fs::path(path).filename().string(), bytes);
    RemoteEntryList list = OneEntryList("kept");
    EXPECT_FALSE(cache_.LoadCachedList(path, list, 0)) << what;
    ASSERT_EQ(list.Count(), 1) << what;
    EXPECT_EQ(list.GetEntry(0).FileName, "kept") << what;
  }
  RemoteEntryList list;
  EXPECT_FALSE(cache_.LoadCachedList(Path("/missing"), list, 0));
  EXPECT_FALSE(cache_.LoadCachedList(folder_, list, 0));  // a folder
  EXPECT_FALSE(cache_.LoadCachedList("", list, 0));
}

TEST_F(ListingCacheTest, ALineBreakInAnyFieldIsNeverCachedAndDropsTheOlderFile) {
  std::string RemoteEntry::*const fields[] = {&RemoteEntry::FileName, &RemoteEntry::Attributes,
                                              &RemoteEntry::Date,     &RemoteEntry::Size,
                                              &RemoteEntry::Link,     &RemoteEntry::Owner,
                                              &RemoteEntry::Group,    &RemoteEntry::Description};
  const std::string path = Path("/pub", CachedListKind::kFiles);
  for (const char* line_break : {"\r", "\n", "\r\n"}) {
    for (std::string RemoteEntry::*field : fields) {
      cache_.SaveCachedList(path, OneEntryList("older"));
      ASSERT_TRUE(fs::exists(path));
      RemoteEntryList list = OneEntryList("first");
      RemoteEntry bad = Entry("second");
      bad.*field += line_break;
      bad.*field += "smuggled";
      Add(list, bad);
      cache_.SaveCachedList(path, list);
      EXPECT_FALSE(fs::exists(path));
      RemoteEntryList loaded;
      EXPECT_FALSE(cache_.LoadCachedList(path, loaded, 0));
    }
  }
}

TEST_F(ListingCacheTest, ALongListIsWrittenWholeInItsOrderAndReadBack) {
  // Far more than one write piece; the file is the count line and eight lines per entry.
  RemoteEntryList list;
  std::string expected = "5000\r\n";
  for (int i = 0; i < 5000; ++i) {
    RemoteEntry entry = Entry("file" + std::to_string(i) + ".dat");
    entry.Size = std::to_string(i * 7);
    if (i == 2500) entry.Link = std::string(100000, 'L');  // one field longer than a piece
    Add(list, entry);
    for (const std::string* field : {&entry.FileName, &entry.Attributes, &entry.Date, &entry.Size,
                                     &entry.Link, &entry.Owner, &entry.Group, &entry.Description}) {
      expected += *field + "\r\n";
    }
  }
  const std::string path = Path("/big", CachedListKind::kFiles);
  cache_.SaveCachedList(path, list);
  EXPECT_EQ(TempDir::Read(path), expected);
  RemoteEntryList loaded;
  ASSERT_TRUE(cache_.LoadCachedList(path, loaded, 7));
  ASSERT_EQ(loaded.Count(), 5000);
  for (int i : {0, 2500, 4999}) EXPECT_EQ(loaded.GetEntry(i), list.GetEntry(i)) << i;

  // A line break in the very last entry still keeps the whole list out, old file included.
  RemoteEntry bad = Entry("last");
  bad.Group = "a\nb";
  Add(list, bad);
  cache_.SaveCachedList(path, list);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 0);
}

TEST_F(ListingCacheTest, SaveReplacesTheFileWholeInsteadOfRewritingIt) {
  const std::string path = Path("/pub");
  cache_.SaveCachedList(path, OneEntryList("old"));
  const std::string old_bytes = TempDir::Read(path);
  // A second name for the old file: a rewrite in place would show through it.
  const std::string witness = temp_.str() + "/witness";
  fs::create_hard_link(path, witness);
  cache_.SaveCachedList(path, OneEntryList("new"));
  EXPECT_EQ(TempDir::Read(witness), old_bytes);
  RemoteEntryList list;
  ASSERT_TRUE(cache_.LoadCachedList(path, list, 7));
  EXPECT_EQ(list.GetEntry(0).FileName, "new");
}

TEST_F(ListingCacheTest, FailedWritePreparesTheFolderAnew) {
  fs::remove_all(folder_);
  const std::string path = Path("/pub");
  cache_.SaveCachedList(path, OneEntryList());
  EXPECT_FALSE(fs::exists(path));  // not written this time
  EXPECT_TRUE(fs::is_directory(folder_));
  cache_.SaveCachedList(path, OneEntryList());
  EXPECT_TRUE(fs::exists(path));
}

TEST_F(ListingCacheTest, PrepareCreatesNestedPrivateFolderAndKeepsAnExistingOne) {
  const std::string nested = temp_.str() + "/a/b/ftpcache";
  ListingCache cache(nested, FixedClock(2024, 1, 2));
  EXPECT_EQ(cache.Folder(), nested + "/");
  ASSERT_TRUE(cache.PrepareCacheDirectory());
  EXPECT_EQ(fs::status(nested).permissions() & fs::perms::all, fs::perms::owner_all);
  cache.SaveCachedList(cache.CacheFileName("h", "ftp", "/", CachedListKind::kFiles, 21),
                       OneEntryList());
  ASSERT_TRUE(cache.PrepareCacheDirectory());  // again: nothing is lost
  EXPECT_EQ(std::distance(fs::directory_iterator(nested), fs::directory_iterator()), 1);

  fs::create_directories(temp_.str() + "/blocked");
  temp_.Write("blocked/file", "x");
  EXPECT_FALSE(ListingCache(temp_.str() + "/blocked/file/ftpcache").PrepareCacheDirectory());
}

TEST_F(ListingCacheTest, DeleteCachedListsRemovesBothFilesOfTheDirectoryOnly) {
  const auto f = CachedListKind::kFiles;
  for (const std::string& path : {Path("/p/s"), Path("/p/s", f), Path("/p"), Path("/p", f)}) {
    cache_.SaveCachedList(path, OneEntryList());
  }
  cache_.DeleteCachedLists("host1", "FTP", "/p/s", 21);
  EXPECT_FALSE(fs::exists(Path("/p/s")) || fs::exists(Path("/p/s", f)));
  EXPECT_TRUE(fs::exists(Path("/p")) && fs::exists(Path("/p", f)));
}

TEST(ListingCacheFolder, DefaultFolderFromTheEnvironment) {
  using Env = std::map<std::string, std::string>;
  const std::string cwd = fs::current_path().string();
  const std::pair<Env, std::string> cases[] = {
      {{{"TARSIL_HOME", "/t"}, {"XDG_CACHE_HOME", "/c"}, {"HOME", "/h"}}, "/t/ftpcache/"},
      {{{"TARSIL_HOME", "rel"}}, cwd + "/rel/ftpcache/"},
      {{{"TARSIL_HOME", ""}, {"XDG_CACHE_HOME", "/c/"}, {"HOME", "/h"}}, "/c/tarsil/ftpcache/"},
      {{{"XDG_CACHE_HOME", "relative"}, {"HOME", "/h"}}, "/h/.cache/tarsil/ftpcache/"},
      {{{"HOME", "/home/\xe3\x83\x86"}},
       "/home/" + std::string("\x83\x65") + "/.cache/tarsil/ftpcache/"},
      {{{"TARSIL_HOME", "/caf\xc3\xa9"}}, ""},  // no CP932 form: the cache stays off
      {{{"TARSIL_HOME", "/a\\b"}}, ""},
  };
  for (const auto& [env, expected] : cases) {
    auto lookup = [&env](const char* name) -> const char* {
      const auto found = env.find(name);
      return found == env.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(ListingCache::DefaultFolder(lookup), expected) << expected;
  }
}

}  // namespace
}  // namespace tarsil
