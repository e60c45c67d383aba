#include "listing/ListingCache.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace tarsil {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kLinesPerEntry = 8;
// Longest single name the file systems we run on accept.
constexpr std::size_t kMaxNameBytes = 255;
// A cache file is a listing we wrote; anything far larger than the biggest listing the engine
// keeps is not one of ours and is not read into memory.
constexpr int64_t kMaxCacheFileBytes = int64_t{1} << 30;
// A cache file is written in pieces of about this size.
constexpr std::size_t kSavePieceBytes = 64 * 1024;

// The native form of a CP932 path, as the file-system helpers open it; nothing when the name
// has no exact form (then it designates no file).
std::optional<std::string> ExactNative(std::string_view cp932) {
  std::optional<std::string> native = Cp932ToUtf8Exact(cp932);
  if (!native) return std::nullopt;
  for (char& c : *native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The eight stored fields of an entry, in file order.
std::array<const std::string*, kLinesPerEntry> StoredFields(const RemoteEntry& info) {
  return {&info.FileName, &info.Attributes, &info.Date,  &info.Size,
          &info.Link,     &info.Owner,      &info.Group, &info.Description};
}

// Reads the next CR LF line of `bytes` from `pos` on. Nothing when no CR LF follows (a
// truncated file) or the line holds a lone CR or LF (not a file we wrote).
std::optional<std::string_view> NextLine(std::string_view bytes, std::size_t& pos) {
  const std::size_t end = bytes.find(kLineEnd, pos);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view line = bytes.substr(pos, end - pos);
  if (HasLineBreak(line)) return std::nullopt;
  pos = end + kLineEnd.size();
  return line;
}

// A count of plain decimal digits that fits an int.
std::optional<int> ParseCount(std::string_view line) {
  if (line.empty() || line.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The whole file as a list, or nothing when it is not exactly a count line and that many
// eight-line entries.
std::optional<RemoteEntryList> ParseCacheText(std::string_view bytes) {
  std::size_t pos = 0;
  const std::optional<std::string_view> count_line = NextLine(bytes, pos);
  if (!count_line) return std::nullopt;
  const std::optional<int> count = ParseCount(*count_line);
  if (!count) return std::nullopt;
  RemoteEntryList list;
  for (int entry = 0; entry < *count; ++entry) {
    std::array<std::string_view, kLinesPerEntry> fields;
    for (std::string_view& field : fields) {
      const std::optional<std::string_view> line = NextLine(bytes, pos);
      if (!line) return std::nullopt;
      field = *line;
    }
    // File order: FileName, Attributes, Date, Size, Link, Owner, Group, Description.
    list.AddEntry(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6],
                  fields[7]);
  }
  if (pos != bytes.size()) return std::nullopt;
  return list;
}

// The day the file was last written, as a local-date stamp; nothing when it is not a regular
// file.
std::optional<int32_t> FileDateStamp(const std::string& native, int64_t& size) {
  struct stat info;
  if (::stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::tm local{};
  const time_t written = info.st_mtime;
  if (::localtime_r(&written, &local) == nullptr) return std::nullopt;
  size = static_cast<int64_t>(info.st_size);
  return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// A name beside `path` that no other writer (thread or process) uses at the same time and that
// no cache file name can take (those end in ".ELP").
std::string TempNameBeside(std::string_view path) {
  static std::atomic<unsigned> counter{0};
  std::string dir;
  std::string name;
  SplitPath(path, dir, name);
  return dir + ".~tarsil-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
}

bool RenameLocalFile(std::string_view from, std::string_view to) {
  const std::optional<std::string> native_from = ExactNative(from);
  const std::optional<std::string> native_to = ExactNative(to);
  return native_from && native_to && !native_from->empty() && !native_to->empty() &&
         ::rename(native_from->c_str(), native_to->c_str()) == 0;
}

std::string HomeFolder(const ListingCache::EnvLookup& lookup) {
  if (const char* home = lookup("HOME"); home != nullptr && *home != '\0') return home;
  const passwd* entry = ::getpwuid(::getuid());
  if (entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return std::string();
}

}  // namespace

std::string ReplaceBadFileChars(std::string_view text, char replacement) {
  std::string out(text);
  for (std::size_t pos = 0; pos < out.size();) {
    const std::size_t length = CharLengthAt(out, pos);
    if (length == 1) {
      char& c = out[pos];
      if (c == '/' || c == '\\') {
        c = '-';
      } else if (c == '"' || c == '*' || c == ':' || c == '?') {
        c = replacement;
      }
    }
    pos += length;
  }
  return out;
}

int32_t DateStamp(double date_time) {
  const DateTimeParts parts = DecodeDateTime(date_time);
  return parts.year * 10000 + parts.month * 100 + parts.day;
}

bool CacheStampIsFresh(int32_t file_stamp, int32_t today_stamp, int32_t age_limit_days) {
  if (age_limit_days <= 0) return true;
  return int64_t{file_stamp} + age_limit_days > int64_t{today_stamp};
}

ListingCache::ListingCache(std::string folder, Clock clock)
    : folder_(std::move(folder)), clock_(clock ? std::move(clock) : Clock(&Now)) {
  if (!folder_.empty()) {
    if (folder_.front() != '/' && folder_.front() != '\\') {
      std::string current = GetCurrentDir();
      if (!current.empty() && current.back() != '/') current += '/';
      folder_ = current + folder_;
    }
    if (folder_.back() != '/' && folder_.back() != '\\') folder_ += '/';
  }
  today_stamp_ = DateStamp(clock_());
}

std::string ListingCache::DefaultFolder(const EnvLookup& lookup_or_empty) {
  const EnvLookup lookup = lookup_or_empty
                               ? lookup_or_empty
                               : EnvLookup([](const char* name) { return std::getenv(name); });
  auto variable = [&lookup](const char* name) -> std::string {
    const char* value = lookup(name);
    return value != nullptr ? value : "";
  };
  fs::path folder;
  if (std::string home = variable("TARSIL_HOME"); !home.empty()) {
    folder = fs::path(home) / "ftpcache";
  } else if (std::string cache = variable("XDG_CACHE_HOME"); !cache.empty() && cache[0] == '/') {
    folder = fs::path(cache) / "tarsil" / "ftpcache";
  } else {
    const std::string user_home = HomeFolder(lookup);
    if (user_home.empty()) return std::string();
    folder = fs::path(user_home) / ".cache" / "tarsil" / "ftpcache";
  }
  std::error_code error;
  const fs::path absolute = fs::absolute(folder, error);
  std::string native = (error ? folder : absolute).lexically_normal().string();
  // A backslash would be read back as a separator by the file-system helpers.
  if (native.find('\\') != std::string::npos) return std::string();
  if (native.back() != '/') native += '/';
  return Utf8ToCp932Exact(native).value_or(std::string());
}

bool ListingCache::PrepareCacheDirectory() {
  today_stamp_ = DateStamp(clock_());
  if (folder_.empty()) return false;
  std::optional<std::string> native = ExactNative(folder_);
  if (!native) return false;
  while (native->size() > 1 && native->back() == '/') native->pop_back();
  std::error_code error;
  const fs::path parent = fs::path(*native).parent_path();
  if (!parent.empty()) fs::create_directories(parent, error);
  ::mkdir(native->c_str(), 0700);  // an existing folder is kept as it is
  return DirectoryExists(folder_);
}

std::string ListingCache::CacheFileName(std::string_view server, std::string_view user_name,
                                        std::string_view remote_directory, CachedListKind kind,
                                        int port) const {
  if (folder_.empty()) return std::string();
  std::string key(server);
  key += "[" + std::to_string(port) + "]-";
  if (!SameTextAscii(user_name, "ftp") && !SameTextAscii(user_name, "anonymous")) {
    key += "(";
    key += user_name;
    key += ")-";
  }
  key += remote_directory;
  std::string name = ReplaceBadFileChars(key, '~');
  name += kind == CachedListKind::kFolders ? ".cached.ELP" : ".cachef.ELP";

  // The name must reach exactly one file inside the folder: no separator, no NUL (which would
  // cut the name short), no "." or "..", and short enough to be created at all.
  const std::optional<std::string> native = ExactNative(name);
  if (!native || native->empty() || native->size() > kMaxNameBytes ||
      native->find_first_of(std::string_view("/\0", 2)) != std::string::npos || *native == "." ||
      *native == "..") {
    return std::string();
  }
  return folder_ + name;
}

void ListingCache::SaveCachedList(std::string_view path, const RemoteEntryList& list) {
  // A NUL byte would cut the native name short and so reach another file.
  if (path.empty() || path.find('\0') != std::string_view::npos) return;
  for (int index = 0; index < list.Count(); ++index) {
    const RemoteEntry info = list.GetEntry(index);
    for (const std::string* field : StoredFields(info)) {
      if (HasLineBreak(*field)) {
        // One line per field is the whole format: such a listing cannot be kept, and the
        // older one must not stand in for it.
        DeleteLocalFile(path);
        return;
      }
    }
  }
  // Written in pieces, so that a long listing is not held a second time as one text.
  const auto source = [&list](const PieceSink& sink) {
    std::string text = std::to_string(list.Count());
    text += kLineEnd;
    for (int index = 0; index < list.Count(); ++index) {
      const RemoteEntry info = list.GetEntry(index);
      for (const std::string* field : StoredFields(info)) {
        text += *field;
        text += kLineEnd;
      }
      if (text.size() >= kSavePieceBytes) {
        if (!sink(text)) return false;
        text.clear();
      }
    }
    return sink(text);
  };
  const std::string temp = TempNameBeside(path);
  if (WriteFileInPieces(temp, false, source) && RenameLocalFile(temp, path)) return;
  DeleteLocalFile(temp);
  DeleteLocalFile(path);
  PrepareCacheDirectory();
}

bool ListingCache::LoadCachedList(std::string_view path, RemoteEntryList& list,
                                  int32_t age_limit_days) const {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  const std::optional<std::string> native = ExactNative(path);
  if (!native || native->empty()) return false;
  int64_t size = 0;
  const std::optional<int32_t> file_stamp = FileDateStamp(*native, size);
  if (!file_stamp || size > kMaxCacheFileBytes) return false;
  if (!CacheStampIsFresh(*file_stamp, today_stamp_, age_limit_days)) return false;
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  std::optional<RemoteEntryList> parsed = ParseCacheText(*bytes);
  if (!parsed) return false;
  list = std::move(*parsed);
  return true;
}

void ListingCache::DeleteCachedLists(std::string_view server, std::string_view user_name,
                                     std::string_view remote_directory, int port) const {
  for (CachedListKind kind : {CachedListKind::kFolders, CachedListKind::kFiles}) {
    const std::string path = CacheFileName(server, user_name, remote_directory, kind, port);
    if (!path.empty()) DeleteLocalFile(path);
  }
}

}  // namespace tarsil
