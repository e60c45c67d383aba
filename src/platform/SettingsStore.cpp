#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/RegFile.h"
#include "platform/UniqueFd.h"

namespace tarsil {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

// Removes a temporary file unless told that it has been renamed into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (armed_) ::unlink(path_.c_str());
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Disarm() { armed_ = false; }

 private:
  std::string path_;
  bool armed_ = true;
};

[[noreturn]] void ThrowSystemError(std::string_view what, const std::string& path) {
  throw SettingsError(std::string(what) + " " + path + ": " + std::strerror(errno));
}

std::string Describe(std::string_view key, std::string_view name) {
  std::string text =
      name.empty() ? std::string("the default value") : "the value \"" + std::string(name) + "\"";
  return text + " of key " + std::string(key);
}

std::vector<std::string> KeyPath(std::string_view key) {
  std::vector<std::string> path{std::string(kRoot)};
  for (std::string& part : SplitRegKeyPath(key)) path.push_back(std::move(part));
  return path;
}

void CheckText(std::string_view what, std::string_view text) {
  std::string problem = RegTextProblem(text);
  if (!problem.empty()) {
    // The text itself stays out of the message: it may hold the line break that is refused.
    throw SettingsError("cannot store the " + std::string(what) + ": " + problem);
  }
}

// The key path for a change, with every part checked to be storable.
std::vector<std::string> WritableKeyPath(std::string_view key) {
  std::vector<std::string> path = KeyPath(key);
  for (const std::string& part : path) CheckText("key name", part);
  return path;
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError("cannot write the settings file", path);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

// Where changes go: the file a symbolic link points to, so that the link survives the rename.
std::string WriteTarget(const std::string& path) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error))) {
    fs::path resolved = fs::canonical(path, error);
    if (!error) return resolved.string();
  }
  return path;
}

constexpr mode_t kOwnerOnly = 0600;

// Takes a flock, retrying when a signal interrupts the wait.
void LockRetrying(int fd, int operation, const std::string& lock_path) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) ThrowSystemError("cannot lock", lock_path);
  }
}

// The lock file for a change: created owner-only (whatever the umask) when it is missing.
UniqueFd OpenLockForWriting(const std::string& lock_path) {
  UniqueFd fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly));
  if (fd.valid()) {
    ::fchmod(fd.get(), kOwnerOnly);
  } else if (errno == EEXIST) {
    fd.Reset(::open(lock_path.c_str(), O_RDWR | O_CLOEXEC));
  }
  if (!fd.valid()) ThrowSystemError("cannot open the lock file", lock_path);
  return fd;
}

// The lock file for a read, opened read-only; none when it is missing or cannot be opened. A
// reader without the lock still sees a whole file, because every change is a rename.
UniqueFd OpenLockForReading(const std::string& lock_path) {
  return UniqueFd(::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC));
}

// What a file was read from: a change by rename gives another inode, a change in place another
// size or time stamp.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity IdentityOf(const struct stat& info) {
  return {true,
          info.st_dev,
          info.st_ino,
          info.st_size,
          Nanoseconds(info.st_mtim),
          Nanoseconds(info.st_ctim)};
}

// Time stamps are coarse (a clock tick, on some file systems a second or two): a file changed in
// place within that time of its last change may carry the same stamps for other bytes. Such a
// file is compared byte for byte at the next read.
bool RecentlyChanged(const FileIdentity& identity) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr int64_t kStampGrain = 2'000'000'000;
  return Nanoseconds(now) - identity.modified_ns < kStampGrain;
}

// The bytes of an open file from its start; `expected` is its size as last seen, so that the
// text is read without growing it along the way.
std::string ReadAll(int fd, const std::string& path, size_t expected) {
  constexpr size_t kChunk = 64 * 1024;
  std::string bytes;
  bytes.reserve(expected + kChunk);
  while (true) {
    size_t used = bytes.size();
    bytes.resize(used + kChunk);
    ssize_t got = ::read(fd, bytes.data() + used, kChunk);
    if (got < 0) {
      bytes.resize(used);
      if (errno == EINTR) continue;
      ThrowSystemError("cannot read the settings file", path);
    }
    bytes.resize(used + static_cast<size_t>(got));
    if (got == 0) return bytes;
  }
}

// Writes a temporary file beside target, flushes it to disk and renames it over target, so that
// a reader sees the old file or the new one, never a part. The old file's permissions are kept;
// a new file is owner-only, whatever the umask.
void ReplaceFile(const std::string& target, const std::string& bytes) {
  std::string temp = target + ".tmp";
  ::unlink(temp.c_str());  // a leftover of an interrupted change
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly));
  if (!fd.valid()) ThrowSystemError("cannot create the temporary settings file", temp);
  TempFileGuard guard(temp);
  struct stat old;
  ::fchmod(fd.get(), ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : kOwnerOnly);
  WriteAll(fd.get(), bytes, temp);
  if (::fsync(fd.get()) != 0 || !fd.Close()) {
    ThrowSystemError("cannot write the settings file", temp);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    ThrowSystemError("cannot replace the settings file", target);
  }
  guard.Disarm();
  // Make the rename itself durable; the new contents are in place whatever this reports.
  UniqueFd folder(
      ::open(fs::path(target).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
}

// Sets a value (creating its key) unless it already holds exactly that; reports a change.
bool SetValue(RegDocument& document, const std::vector<std::string>& path, std::string_view name,
              const RegValue& wanted) {
  bool created = false;
  RegSection& section = document.EnsureSection(path, &created);
  RegValue* value = section.FindValue(name);
  if (value != nullptr && value->kind == wanted.kind && value->text == wanted.text &&
      value->dword == wanted.dword) {
    return created;
  }
  if (value == nullptr) {
    RegValue added;
    added.name = name;  // the case of the first writing stays
    value = &section.PutValue(std::move(added));
  }
  value->kind = wanted.kind;
  value->text = wanted.text;
  value->dword = wanted.dword;
  value->lines.clear();
  return true;
}

}  // namespace

SettingsStore::SettingsStore(std::string file_path)
    : path_(std::move(file_path)), cache_(std::make_unique<Cache>()) {
  if (path_.empty()) throw SettingsError("no settings file given");
  std::error_code error;
  fs::path absolute = fs::absolute(path_, error);
  if (!error) path_ = absolute.string();
}

std::string SettingsStore::DefaultPath() {
  auto variable = [](const char* name) -> std::string {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  };
  fs::path file;
  if (std::string home = variable("TARSIL_HOME"); !home.empty()) {
    file = fs::path(home) / "settings.reg";
  } else if (std::string config = variable("XDG_CONFIG_HOME");
             !config.empty() && config.front() == '/') {
    file = fs::path(config) / "tarsil" / "settings.reg";
  } else {
    std::string user_home = variable("HOME");
    if (user_home.empty()) {
      const passwd* entry = ::getpwuid(::getuid());
      if (entry != nullptr && entry->pw_dir != nullptr) user_home = entry->pw_dir;
    }
    if (user_home.empty()) throw SettingsError("no home folder for the settings file");
    file = fs::path(user_home) / ".config" / "tarsil" / "settings.reg";
  }
  std::error_code error;
  fs::path absolute = fs::absolute(file, error);
  return (error ? file : absolute).string();
}

struct SettingsStore::Cache {
  bool valid = false;
  bool recent = false;  // changed too recently for the identity alone to vouch for the bytes
  FileIdentity identity;
  std::string bytes;
  RegDocument document;
};

SettingsStore::~SettingsStore() = default;
SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;
SettingsStore& SettingsStore::operator=(SettingsStore&&) noexcept = default;

void SettingsStore::Refresh() const {
  Cache& cache = *cache_;
  UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno != ENOENT) ThrowSystemError("cannot read the settings file", path_);
    if (!cache.valid || cache.identity.exists) cache = Cache{true, false, {}, {}, {}};
    return;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) ThrowSystemError("cannot read the settings file", path_);
  const FileIdentity identity = IdentityOf(info);
  if (cache.valid && cache.identity == identity && !cache.recent) return;
  std::string bytes = ReadAll(fd.get(), path_, static_cast<size_t>(info.st_size));
  if (!cache.valid || bytes != cache.bytes) {
    cache.valid = false;  // until the new bytes have parsed
    RegParseResult parsed = ParseRegFile(bytes);
    if (!parsed.ok()) {
      throw SettingsError("settings file " + path_ + ", line " + std::to_string(parsed.error_line) +
                          ": " + parsed.error);
    }
    cache.document = std::move(parsed.document);
    cache.bytes = std::move(bytes);
  }
  cache.identity = identity;
  cache.recent = RecentlyChanged(identity);
  cache.valid = true;
}

const RegDocument& SettingsStore::Current() const {
  const std::string lock_path = WriteTarget(path_) + ".lock";
  UniqueFd lock = OpenLockForReading(lock_path);
  if (lock.valid()) LockRetrying(lock.get(), LOCK_SH, lock_path);
  Refresh();
  return cache_->document;
}  // closing the lock file releases the lock

void SettingsStore::Modify(const std::function<bool(RegDocument&)>& change) {
  std::string target = WriteTarget(path_);
  fs::path folder = fs::path(target).parent_path();
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    throw SettingsError("cannot create the folder " + folder.string() + ": " + error.message());
  }
  std::string lock_path = target + ".lock";
  UniqueFd lock = OpenLockForWriting(lock_path);
  LockRetrying(lock.get(), LOCK_EX, lock_path);
  Refresh();
  Cache& cache = *cache_;
  try {
    if (!change(cache.document)) return;
    std::string bytes = SerializeRegFile(cache.document);
    ReplaceFile(target, bytes);
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
      cache.valid = false;
      return;
    }
    cache.identity = IdentityOf(info);
    cache.recent = RecentlyChanged(cache.identity);
    cache.bytes = std::move(bytes);
  } catch (...) {
    cache.valid = false;  // the document may hold a change that never reached the file
    throw;
  }
}  // closing the lock file releases the lock

void SettingsStore::CreateKey(std::string_view key) {
  std::vector<std::string> path = WritableKeyPath(key);
  if (Current().KeyExists(path)) return;
  Modify([&](RegDocument& document) {
    if (document.KeyExists(path)) return false;
    bool created = false;
    document.EnsureSection(path, &created);
    return true;
  });
}

bool SettingsStore::KeyExists(std::string_view key) const {
  return SplitRegKeyPath(key).empty() || Current().KeyExists(KeyPath(key));
}

bool SettingsStore::ValueExists(std::string_view key, std::string_view name) const {
  const RegDocument& document = Current();
  const RegSection* section = document.FindSection(KeyPath(key));
  return section != nullptr && section->FindValue(name) != nullptr;
}

std::vector<std::string> SettingsStore::ValueNames(std::string_view key) const {
  const RegDocument& document = Current();
  std::vector<std::string> names;
  if (const RegSection* section = document.FindSection(KeyPath(key))) {
    for (const RegValue& value : section->values()) {
      if (value.kind != RegValue::Kind::kComment) names.push_back(value.name);
    }
  }
  return names;
}

std::optional<std::string> SettingsStore::ReadString(std::string_view key,
                                                     std::string_view name) const {
  const RegDocument& document = Current();
  const RegSection* section = document.FindSection(KeyPath(key));
  const RegValue* value = section != nullptr ? section->FindValue(name) : nullptr;
  if (value == nullptr) return std::nullopt;
  if (value->kind != RegValue::Kind::kString) {
    throw SettingsError(Describe(key, name) + " is not a string");
  }
  return value->text;
}

std::optional<int32_t> SettingsStore::ReadInteger(std::string_view key,
                                                  std::string_view name) const {
  const RegDocument& document = Current();
  const RegSection* section = document.FindSection(KeyPath(key));
  const RegValue* value = section != nullptr ? section->FindValue(name) : nullptr;
  if (value == nullptr) return std::nullopt;
  if (value->kind != RegValue::Kind::kDword) {
    throw SettingsError(Describe(key, name) + " is not an integer");
  }
  return static_cast<int32_t>(value->dword);
}

void SettingsStore::WriteString(std::string_view key, std::string_view name,
                                std::string_view value) {
  std::vector<std::string> path = WritableKeyPath(key);
  CheckText("value name", name);
  CheckText("text", value);
  RegValue wanted;
  wanted.kind = RegValue::Kind::kString;
  wanted.text = value;
  Modify([&](RegDocument& document) { return SetValue(document, path, name, wanted); });
}

void SettingsStore::WriteInteger(std::string_view key, std::string_view name, int32_t value) {
  std::vector<std::string> path = WritableKeyPath(key);
  CheckText("value name", name);
  RegValue wanted;
  wanted.kind = RegValue::Kind::kDword;
  wanted.dword = static_cast<uint32_t>(value);
  Modify([&](RegDocument& document) { return SetValue(document, path, name, wanted); });
}

void SettingsStore::DeleteValue(std::string_view key, std::string_view name) {
  std::vector<std::string> path = KeyPath(key);
  Modify([&](RegDocument& document) {
    RegSection* section = document.FindSection(path);
    return section != nullptr && section->RemoveValue(name);
  });
}

}  // namespace tarsil
