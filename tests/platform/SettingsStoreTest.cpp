#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/UniqueFd.h"

#include "support/TempDir.h"

namespace tarsil {
namespace {

using tarsil::testing::TempDir;
namespace fs = std::filesystem;

constexpr const char* kKey = "\\SOFTWARE\\Tarsil";
constexpr const char* kOptions = "\\SOFTWARE\\Tarsil\\Options";

// Test texts are written with LF; the store writes CR LF.
std::string Crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string Bytes() const { return TempDir::Read(file_); }
  ino_t Inode() const {
    struct stat info {};
    EXPECT_EQ(stat(file_.c_str(), &info), 0);
    return info.st_ino;
  }

  TempDir dir_;
  std::string file_ = (dir_.path() / "conf" / "settings.reg").string();
  SettingsStore store_{file_};
};

TEST_F(SettingsStoreTest, WritesRegedit4LayoutAndCreatesTheFolder) {
  EXPECT_FALSE(store_.KeyExists(kKey));
  store_.WriteString(kKey, "host", "ftp1.example");
  store_.WriteInteger(kOptions, "Timeout", 10);
  store_.WriteString(kOptions, "Logsave", "C:\\logs\\Tarsil.log");
  store_.WriteString("SOFTWARE\\Tarsil", "", "default");
  store_.CreateKey("\\SOFTWARE\\Tarsil\\Recalls");
  EXPECT_EQ(Bytes(), Crlf("REGEDIT4\n\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n"
                          "\"host\"=\"ftp1.example\"\n"
                          "@=\"default\"\n\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Options]\n"
                          "\"Timeout\"=dword:0000000a\n"
                          "\"Logsave\"=\"C:\\\\logs\\\\Tarsil.log\"\n\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Recalls]\n\n"));
  EXPECT_TRUE(store_.KeyExists("\\SOFTWARE\\Tarsil\\Recalls"));
  EXPECT_TRUE(store_.KeyExists("\\SOFTWARE"));  // above an existing key
  EXPECT_FALSE(fs::exists(file_ + ".tmp"));
  store_.DeleteValue(kKey, "HOST");
  EXPECT_EQ(store_.ValueNames(kKey), std::vector<std::string>{""});
}

TEST_F(SettingsStoreTest, TextRoundTripsByteForByte) {
  const std::vector<std::string> texts = {"say \"hi\"",
                                          "C:\\dir\\",
                                          "\\\\server\\share",
                                          "",
                                          "\x95\x5C",
                                          "\x83\x5C\x83\x5C\"",
                                          "a\tb %x%",
                                          "ends in lead \x95",
                                          "\x95\x5C"
                                          "\\\x95\x5C",
                                          "\x82\xA0\x82\xA2",
                                          "\xFF\x7F lone bytes"};
  for (size_t i = 0; i < texts.size(); ++i) {
    store_.WriteString(kKey, "n" + std::to_string(i), texts[i]);
    if (!texts[i].empty()) store_.WriteString(kKey, texts[i], "named");
  }
  SettingsStore fresh(file_);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(fresh.ReadString(kKey, "n" + std::to_string(i)), texts[i]) << i;
    if (!texts[i].empty()) {
      EXPECT_EQ(fresh.ReadString(kKey, texts[i]), "named") << i;
    }
  }
  // A trailing 0x5C of a two-byte character is not escaped, as a Windows export writes it.
  EXPECT_NE(Bytes().find("\"n4\"=\"\x95\x5C\"\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, IntegersRoundTripAndReadAnyHexCase) {
  for (int32_t value : {0, 10, -1, INT32_MIN, INT32_MAX}) {
    store_.WriteInteger(kOptions, "v", value);
    EXPECT_EQ(store_.ReadInteger(kOptions, "v"), value);
  }
  EXPECT_NE(Bytes().find("\"v\"=dword:7fffffff\r\n"), std::string::npos);
  dir_.Write("conf/settings.reg", Crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n"
                                       "\"a\"=dword:A\n\"b\"=DWORD:FFFFFFFE\n"));
  EXPECT_EQ(store_.ReadInteger(kKey, "a"), 10);
  EXPECT_EQ(store_.ReadInteger(kKey, "b"), -2);
}

TEST_F(SettingsStoreTest, NamesIgnoreLetterCaseAndKeepTheFirstSpelling) {
  store_.WriteString(kOptions, "Sendwait", "1");
  store_.WriteInteger("\\software\\TARSIL\\options", "SendWait", 1);
  store_.WriteString("\\software\\tarsil\\Recalls", "History0", "x");
  EXPECT_EQ(store_.ValueNames(kOptions), std::vector<std::string>{"Sendwait"});
  EXPECT_EQ(store_.ReadInteger(kOptions, "SENDWAIT"), 1);
  std::string bytes = Bytes();
  EXPECT_NE(bytes.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Recalls]"), std::string::npos);
  EXPECT_EQ(bytes.find("options"), std::string::npos);

  // The second byte of a two-byte character is never folded: 0x82 'a' and 0x82 'A' differ.
  store_.WriteString(kKey,
                     "X\x82"
                     "a",
                     "lower");
  store_.WriteString(kKey,
                     "x\x82"
                     "A",
                     "upper");
  EXPECT_EQ(store_.ReadString(kKey,
                              "x\x82"
                              "a"),
            "lower");
  EXPECT_EQ(store_.ReadString(kKey,
                              "X\x82"
                              "A"),
            "upper");

  // A key name ending in 0x95 0x5C is one name, not a path with a separator.
  store_.WriteString("\\SOFTWARE\\\x95\x5C", "k", "v");
  EXPECT_TRUE(store_.KeyExists("\\SOFTWARE\\\x95\x5C"));
  EXPECT_FALSE(store_.KeyExists("\\SOFTWARE\\\x95"));
  EXPECT_NE(Bytes().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\\x95\x5C]\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ForeignValuesSurviveAnUnrelatedWriteAndFailTypedReads) {
  const std::string original = Crlf(
      "REGEDIT4\n\n; kept\n\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=\"y\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n"
      "\"bin\"=hex:00,01,ff,\\\n  7f,80\n"
      "\"path\"=hex(2):25,00,41,\\\n    00,00,00\n"
      "\"Mixed\"=DWORD:0000000A\n"
      "\"s\" = \"a\\b\"\n\n");
  dir_.Write("conf/settings.reg", original);
  store_.WriteString(kKey, "new", "v");
  std::string expected = original;
  expected.insert(expected.size() - 2, "\"new\"=\"v\"\r\n");
  EXPECT_EQ(Bytes(), expected);

  EXPECT_EQ(store_.ReadInteger(kKey, "mixed"), 10);
  EXPECT_EQ(store_.ReadString(kKey, "s"), "a\\b");
  EXPECT_FALSE(store_.KeyExists("\\Software\\Other"));  // another root
  EXPECT_EQ(store_.ReadString(kKey, "missing"), std::nullopt);
  EXPECT_EQ(store_.ReadInteger("\\SOFTWARE\\Nothing", "x"), std::nullopt);
  EXPECT_THROW(store_.ReadString(kKey, "bin"), SettingsError);
  EXPECT_THROW(store_.ReadInteger(kKey, "path"), SettingsError);
  EXPECT_THROW(store_.ReadString(kKey, "Mixed"), SettingsError);
  EXPECT_THROW(store_.ReadInteger(kKey, "new"), SettingsError);
}

TEST_F(SettingsStoreTest, AcceptsLfLineEndsAndWritesCrLf) {
  dir_.Write("conf/settings.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n\"a\"=\"1\"");
  EXPECT_EQ(store_.ReadString(kKey, "A"), "1");
  store_.WriteString(kKey, "b", "2");
  EXPECT_EQ(Bytes(), Crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n"
                          "\"a\"=\"1\"\n\"b\"=\"2\"\n\n"));
}

TEST_F(SettingsStoreTest, UnparsableFileIsReportedAndNeverOverwritten) {
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\r\n";
  const struct {
    std::string text;
    int line;
  } cases[] = {
      {"REGEDIT5\r\n", 1},
      {"REGEDIT4\r\n\r\n\"a\"=\"1\"\r\n", 3},
      {"REGEDIT4\r\n" + key + "\"a\"=\"open\r\n", 3},
      {"REGEDIT4\r\n" + key + "\"a\"=\"1\" junk\r\n", 3},
      {"REGEDIT4\r\n" + key + "\"ok\"=\"1\"\r\n\"a\"=dword:123456789\r\n", 4},
      {"REGEDIT4\r\n" + key + "\"a\"=-\r\n", 3},
      {"REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\r\n", 2},
      {"REGEDIT4\r\n" + key + "\"a\"=hex:00,\\\r\n 0g\r\n", 3},
      {"REGEDIT4\r\n" + key + "\"a\"=sz:text\r\n", 3},
      {"REGEDIT4\r\n" + key + "plain words\r\n", 3},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n", 2},
  };
  for (const auto& c : cases) {
    dir_.Write("conf/settings.reg", c.text);
    const std::string where = file_ + ", line " + std::to_string(c.line) + ":";
    auto expect_reported = [&](auto operation) {
      try {
        operation();
        ADD_FAILURE() << "no error for: " << c.text;
      } catch (const SettingsError& error) {
        EXPECT_NE(std::string(error.what()).find(where), std::string::npos) << error.what();
      }
    };
    expect_reported([&] { store_.ReadString(kKey, "a"); });
    expect_reported([&] { store_.KeyExists(kKey); });
    expect_reported([&] { store_.WriteString(kKey, "a", "2"); });
    expect_reported([&] { store_.WriteInteger(kKey, "b", 2); });
    expect_reported([&] { store_.CreateKey("\\SOFTWARE\\New"); });
    expect_reported([&] { store_.DeleteValue(kKey, "a"); });
    EXPECT_EQ(Bytes(), c.text);
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));
  }
}

TEST_F(SettingsStoreTest, TextThatCannotBeStoredIsRefused) {
  store_.WriteString(kKey, "a", "1");
  const std::string before = Bytes();
  for (std::string bad : {std::string("a\r\nb"), std::string("a\nb"), std::string("a\0b", 3),
                          std::string("\x95\"")}) {
    EXPECT_THROW(store_.WriteString(kKey, "a", bad), SettingsError);
    EXPECT_THROW(store_.WriteString(kKey, bad, "1"), SettingsError);
    EXPECT_THROW(store_.WriteInteger(std::string(kKey) + "\\" + bad, "a", 1), SettingsError);
    EXPECT_THROW(store_.CreateKey(bad), SettingsError);
  }
  EXPECT_EQ(Bytes(), before);
}

TEST_F(SettingsStoreTest, ChangesThatChangeNothingDoNotRewrite) {
  store_.WriteString(kOptions, "a", "1");
  const ino_t inode = Inode();
  store_.CreateKey("\\software\\tarsil\\options");
  store_.CreateKey("\\SOFTWARE");  // exists above the written key
  store_.DeleteValue(kOptions, "missing");
  store_.DeleteValue("\\SOFTWARE\\Nothing", "a");
  store_.WriteString(kOptions, "A", "1");
  EXPECT_EQ(Inode(), inode);
  store_.WriteString(kOptions, "A", "2");
  EXPECT_NE(Inode(), inode);
}

TEST_F(SettingsStoreTest, ReplacingKeepsPermissionsAndSymbolicLinks) {
  store_.WriteString(kKey, "a", "1");
  ASSERT_EQ(chmod(file_.c_str(), 0600), 0);
  const std::string link = (dir_.path() / "link.reg").string();
  fs::create_symlink(file_, link);
  SettingsStore linked(link);
  linked.WriteString(kKey, "b", "2");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(store_.ReadString(kKey, "b"), "2");
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Runs body in a child process, bounded by an alarm; as an unprivileged user when asked and the
// test runs as root (root would write through any permission). True when body returned.
bool InChild(const std::function<void()>& body, bool unprivileged) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    int status = 0;
    try {
      body();
    } catch (const std::exception& failure) {
      fprintf(stderr, "child: %s\n", failure.what());
      status = 1;
    }
    _exit(status);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SettingsStoreTest, FileAndLockAreOwnerOnlyWhateverTheUmask) {
  for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
    fs::remove_all(dir_.path() / "conf");
    const mode_t old_mask = umask(mask);
    store_.WriteString(kKey, "pw", "secret");
    umask(old_mask);
    EXPECT_EQ(Mode(file_), 0600u) << mask;
    EXPECT_EQ(Mode(file_ + ".lock"), 0600u) << mask;
  }
  // A file that exists keeps its permissions, whatever they are.
  ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
  store_.WriteString(kKey, "pw", "other");
  EXPECT_EQ(Mode(file_), 0640u);
}

TEST_F(SettingsStoreTest, AChangedFileIsReadAgain) {
  store_.WriteString(kKey, "a", "1");
  EXPECT_EQ(store_.ReadString(kKey, "a"), "1");
  // Another process replaces the file.
  SettingsStore other(file_);
  other.WriteString(kKey, "a", "2");
  EXPECT_EQ(store_.ReadString(kKey, "a"), "2");
  // An editor rewrites it in place: same inode, same size, within the same clock tick.
  const ino_t inode = Inode();
  std::string bytes = Bytes();
  bytes.replace(bytes.find("\"2\""), 3, "\"3\"");
  dir_.Write("conf/settings.reg", bytes);
  ASSERT_EQ(Inode(), inode);
  EXPECT_EQ(store_.ReadString(kKey, "a"), "3");
  // A change made through this object is seen by it at once, and by others.
  store_.WriteString(kKey, "b", "4");
  EXPECT_EQ(store_.ValueNames(kKey), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(other.ReadString(kKey, "B"), "4");
  fs::remove(file_);
  EXPECT_FALSE(store_.KeyExists(kKey));
  EXPECT_EQ(store_.ReadString(kKey, "a"), std::nullopt);
  // A file that stopped parsing is reported, and read again once mended.
  dir_.Write("conf/settings.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n");
  EXPECT_THROW(store_.ReadString(kKey, "a"), SettingsError);
  dir_.Write("conf/settings.reg",
             Crlf("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\n\"a\"=\"5\"\n"));
  EXPECT_EQ(store_.ReadString(kKey, "a"), "5");
}

TEST_F(SettingsStoreTest, DeletingAndAddingKeepsTheIndexInStep) {
  for (const char* name : {"a", "b", "c", "d"}) store_.WriteString(kKey, name, name);
  store_.DeleteValue(kKey, "B");
  store_.DeleteValue(kKey, "a");
  store_.WriteString(kKey, "b", "again");
  store_.WriteString(kKey, "C", "changed");
  EXPECT_EQ(store_.ValueNames(kKey), (std::vector<std::string>{"c", "d", "b"}));
  SettingsStore fresh(file_);
  EXPECT_EQ(fresh.ReadString(kKey, "c"), "changed");
  EXPECT_EQ(fresh.ReadString(kKey, "d"), "d");
  EXPECT_EQ(fresh.ReadString(kKey, "b"), "again");
  EXPECT_EQ(fresh.ReadString(kKey, "a"), std::nullopt);
  // A key created between others is found under every spelling, its parents too.
  store_.WriteString("\\SOFTWARE\\Other\\Deep", "x", "1");
  store_.WriteString("\\SOFTWARE\\Tarsil\\Sub", "y", "2");
  EXPECT_EQ(fresh.ReadString("\\software\\tarsil\\SUB", "Y"), "2");
  EXPECT_EQ(fresh.ReadString("\\SOFTWARE\\OTHER\\deep", "x"), "1");
  EXPECT_TRUE(fresh.KeyExists("\\SOFTWARE\\other"));
  EXPECT_FALSE(fresh.KeyExists("\\SOFTWARE\\Deep"));
  EXPECT_EQ(fresh.ReadString(kKey, "C"), "changed");
}

TEST_F(SettingsStoreTest, ReadingNeedsNoWriteAccessAndOnlyASharedLock) {
  store_.WriteString(kOptions, "Timeout", "20");
  store_.WriteString(kKey, "host", "ftp1");
  const std::string before = Bytes();
  // Read-only for the reader: as root the reader is another user, otherwise the bits say so.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(file_.c_str(), geteuid() == 0 ? 0644 : 0444), 0);
  ASSERT_EQ(chmod((file_ + ".lock").c_str(), 0644), 0);
  ASSERT_EQ(chmod((dir_.path() / "conf").c_str(), 0555), 0);
  // Another process reads (shared lock) meanwhile: readers do not wait for each other.
  UniqueFd held(open((file_ + ".lock").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(held.valid());
  ASSERT_EQ(flock(held.get(), LOCK_SH), 0);
  EXPECT_TRUE(InChild(
      [&] {
        SettingsStore reader(file_);
        if (reader.ReadString(kKey, "HOST") != "ftp1") throw std::runtime_error("host");
        reader.CreateKey(kOptions);  // exists: nothing to write
        if (!reader.KeyExists("\\SOFTWARE")) throw std::runtime_error("key");
        if (reader.ValueNames(kOptions).size() != 1) throw std::runtime_error("names");
      },
      true));
  held.Reset();
  // A change is refused and reported, and leaves everything as it was.
  EXPECT_TRUE(InChild(
      [&] {
        SettingsStore writer(file_);
        try {
          writer.WriteString(kKey, "host", "ftp2");
        } catch (const SettingsError&) {
          return;
        }
        throw std::runtime_error("the write was not refused");
      },
      true));
  ASSERT_EQ(chmod((dir_.path() / "conf").c_str(), 0755), 0);
  EXPECT_EQ(Bytes(), before);
  EXPECT_FALSE(fs::exists(file_ + ".tmp"));
}

// Sets or removes environment variables for one scope.
class EnvScope {
 public:
  void Set(const char* name, std::optional<std::string> value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  ~EnvScope() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      it->second ? setenv(it->first, it->second->c_str(), 1) : unsetenv(it->first);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(SettingsStoreDefaultPathTest, FollowsTheEnvironment) {
  using Var = std::optional<std::string>;
  const struct {
    Var tarsil_home, xdg_config_home, home;
    std::string expected;
  } cases[] = {
      {"/t/home", "/x", "/h", "/t/home/settings.reg"},
      {"", "/x", "/h", "/x/tarsil/settings.reg"},
      {std::nullopt, "/x/", "/h", "/x/tarsil/settings.reg"},
      {std::nullopt, "relative", "/h", "/h/.config/tarsil/settings.reg"},
      {std::nullopt, "", "/h", "/h/.config/tarsil/settings.reg"},
      {std::nullopt, std::nullopt, "/h", "/h/.config/tarsil/settings.reg"},
      {"rel/dir", std::nullopt, "/h", (fs::current_path() / "rel/dir/settings.reg").string()},
  };
  for (const auto& c : cases) {
    EnvScope env;
    env.Set("TARSIL_HOME", c.tarsil_home);
    env.Set("XDG_CONFIG_HOME", c.xdg_config_home);
    env.Set("HOME", c.home);
    EXPECT_EQ(SettingsStore::DefaultPath(), c.expected);
  }
  EXPECT_EQ(SettingsStore("a/settings.reg").path(),
            (fs::current_path() / "a/settings.reg").string());
}

TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kEach = 200;
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (char prefix : {'a', 'b'}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(60);
      close(start[1]);
      char byte;
      while (read(start[0], &byte, 1) < 0 && errno == EINTR) {
      }
      int status = 0;
      try {
        SettingsStore store(file_);
        for (int i = 0; i < kEach; ++i) {
          store.WriteString(kKey, prefix + std::to_string(i), "value " + std::to_string(i));
        }
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
    children.push_back(pid);
  }
  close(start[0]);
  close(start[1]);  // both children start writing now
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(store_.ValueNames(kKey).size(), 2u * kEach);
  for (char prefix : {'a', 'b'}) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_EQ(store_.ReadString(kKey, prefix + std::to_string(i)), "value " + std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace tarsil
