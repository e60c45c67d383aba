#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

// Owns one open file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and tells whether the close succeeded (a deferred write error shows here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

void SlashesForBackslashes(std::string& path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
}

// The native form, or empty when the name has no exact UTF-8 form (it then names no file).
std::optional<std::string> ExactNativePath(std::string_view cp932) {
  std::optional<std::string> native = Cp932ToUtf8Exact(cp932);
  if (native) SlashesForBackslashes(*native);
  return native;
}

// A "\\" standing for itself (not the trail byte of a two-byte character).
bool HasBackslash(std::string_view cp932) {
  for (std::size_t pos = 0; pos < cp932.size();) {
    const std::size_t length = CharLengthAt(cp932, pos);
    if (length == 1 && cp932[pos] == '\\') return true;
    pos += length;
  }
  return false;
}

bool StatPath(std::string_view path, struct stat& info) {
  const std::optional<std::string> native = ExactNativePath(path);
  return native && !native->empty() && ::stat(native->c_str(), &info) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Opens for writing without ever blocking on a FIFO, and accepts only regular files and
// character devices (such as /dev/null).
bool WriteFile(std::string_view path, const PieceSource& source, int mode_flags) {
  const std::optional<std::string> native = ExactNativePath(path);
  if (!native || native->empty()) return false;
  UniqueFd fd(
      ::open(native->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | mode_flags, 0666));
  if (!fd.ok()) return false;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
    return false;
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  if (!source([&fd](std::string_view bytes) { return WriteAll(fd.get(), bytes); })) return false;
  return fd.Close();
}

}  // namespace

std::string NativePath(std::string_view cp932) {
  std::string native = Cp932ToUtf8(cp932);
  SlashesForBackslashes(native);
  return native;
}

std::vector<std::string> ListFiles(std::string_view dir_cp932) {
  return ListFiles(dir_cp932, nullptr);
}

std::vector<std::string> ListFiles(std::string_view dir_cp932, std::vector<std::string>* left_out) {
  std::vector<std::string> names;
  std::string native = ".";
  if (!dir_cp932.empty()) {
    std::optional<std::string> exact = ExactNativePath(dir_cp932);
    if (!exact) return names;
    native = std::move(*exact);
  }
  std::unique_ptr<DIR, DirCloser> dir(::opendir(native.c_str()));
  if (!dir) return names;
  const int dir_fd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info;  // follows a link to what it points at
      regular = ::fstatat(dir_fd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    }
    if (!regular) continue;
    // Only a name that converts back to the very same bytes can be used to reach the file.
    std::optional<std::string> cp932 = Utf8ToCp932Exact(name);
    std::optional<std::string> back;
    if (cp932) back = Cp932ToUtf8Exact(*cp932);
    if (!cp932 || !back || *back != name || HasBackslash(*cp932)) {
      if (left_out != nullptr) left_out->emplace_back(name);
      continue;
    }
    names.push_back(std::move(*cp932));
  }
  return names;
}

bool FileExists(std::string_view path) {
  struct stat info;
  return StatPath(path, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(std::string_view path) {
  struct stat info;
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool DeleteLocalFile(std::string_view path) {
  const std::optional<std::string> native = ExactNativePath(path);
  if (!native || native->empty()) return false;
  struct stat info;
  if (::lstat(native->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (S_ISLNK(info.st_mode) && ::stat(native->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return false;
  }
  return ::unlink(native->c_str()) == 0;
}

std::optional<int64_t> FileSize(std::string_view path) {
  struct stat info;
  if (!StatPath(path, info) || S_ISDIR(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

std::string GetCurrentDir() {
  std::unique_ptr<char, FreeDeleter> cwd(::getcwd(nullptr, 0));
  if (!cwd) return std::string();
  return Utf8ToCp932(cwd.get());
}

bool SetCurrentDir(std::string_view path) {
  const std::optional<std::string> native = ExactNativePath(path);
  return native && !native->empty() && ::chdir(native->c_str()) == 0;
}

bool CreateDir(std::string_view path) {
  const std::optional<std::string> native = ExactNativePath(path);
  return native && !native->empty() && ::mkdir(native->c_str(), 0777) == 0;
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
  const std::optional<std::string> native = ExactNativePath(path);
  if (!native || native->empty()) return std::nullopt;
  // O_NONBLOCK so that opening a FIFO does not wait for a writer; it is then refused.
  UniqueFd fd(::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.ok()) return std::nullopt;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string bytes;
  std::size_t used = 0;
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t got = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  return bytes;
}

bool WriteWholeFile(std::string_view path, std::string_view bytes) {
  return WriteFile(
      path, [bytes](const PieceSink& sink) { return sink(bytes); }, O_TRUNC);
}

bool AppendToFile(std::string_view path, std::string_view bytes) {
  return WriteFile(
      path, [bytes](const PieceSink& sink) { return sink(bytes); }, O_APPEND);
}

bool WriteFileInPieces(std::string_view path, bool append, const PieceSource& source) {
  return WriteFile(path, source, append ? O_APPEND : O_TRUNC);
}

void SplitPath(std::string_view path, std::string& dir, std::string& name) {
  std::size_t split = 0;
  for (std::size_t pos = 0; pos < path.size();) {
    const std::size_t length = CharLengthAt(path, pos);
    if (length == 1 && (path[pos] == '/' || path[pos] == '\\')) {
      split = pos + 1;
    }
    pos += length;
  }
  dir.assign(path.substr(0, split));
  name.assign(path.substr(split));
}

}  // namespace tarsil
