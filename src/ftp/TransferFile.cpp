#include "ftp/TransferFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

// The native form of a CP932 name; nothing when it has no exact form (it then names no file).
std::optional<std::string> NativeName(std::string_view cp932) {
  std::optional<std::string> native = Cp932ToUtf8Exact(cp932);
  if (!native || native->empty() || native->find('\0') != std::string::npos) return std::nullopt;
  for (char& c : *native) {
    if (c == '\\') c = '/';  // UTF-8 has no 0x5C inside a character
  }
  return native;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

TransferFile::Opened TransferFile::OpenForWriting(std::string_view cp932_name) {
  Close();
  const std::optional<std::string> name = NativeName(cp932_name);
  if (!name) {
    error_ = ENOENT;
    return Opened::kFailed;
  }
  // Read/write opens a FIFO without waiting for a reader; a name that appears between the two
  // tries is opened as it is found.
  Opened result = Opened::kExisting;
  int fd = OpenRetrying(name->c_str(), O_RDWR);
  if (fd < 0 && errno == ENOENT) {
    fd = OpenRetrying(name->c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    result = Opened::kCreated;
    if (fd < 0 && errno == EEXIST) {
      fd = OpenRetrying(name->c_str(), O_RDWR);
      result = Opened::kExisting;
    }
  }
  if (fd < 0 && errno == EACCES) {
    // Writable but not readable (a device or FIFO owned by someone else): write-only will do.
    fd = OpenRetrying(name->c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    result = Opened::kExisting;
  }
  if (fd < 0) {
    error_ = errno;
    return Opened::kFailed;
  }
  fd_.Reset(fd);
  struct stat info {};
  regular_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  return result;
}

bool TransferFile::OpenForReading(std::string_view cp932_name) {
  Close();
  const std::optional<std::string> name = NativeName(cp932_name);
  if (!name) {
    error_ = ENOENT;
    return false;
  }
  const int fd = OpenRetrying(name->c_str(), O_RDONLY);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  fd_.Reset(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    error_ = EISDIR;
    fd_.Reset();
    return false;
  }
  regular_ = S_ISREG(info.st_mode);
  return true;
}

int64_t TransferFile::Size() {
  struct stat info {};
  if (!fd_.valid() || !regular_ || ::fstat(fd_.get(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

bool TransferFile::SeekTo(int64_t offset) {
  if (!fd_.valid() || offset < 0) return false;
  if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
    error_ = errno;
    return false;
  }
  position_ = offset;
  return true;
}

size_t TransferFile::Write(const char* bytes, size_t count) {
  size_t done = 0;
  while (fd_.valid() && done < count) {
    const ssize_t written = ::write(fd_.get(), bytes + done, count - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(written);
  }
  position_ += static_cast<int64_t>(done);
  return done;
}

ssize_t TransferFile::Read(char* buffer, size_t size) {
  if (!fd_.valid()) return -1;
  ssize_t got;
  do got = ::read(fd_.get(), buffer, size);
  while (got < 0 && errno == EINTR);
  if (got < 0) {
    error_ = errno;
    return -1;
  }
  position_ += got;
  return got;
}

void TransferFile::Close() {
  if (fd_.valid() && regular_ && cut_on_close_) {
    // Only ever shortens: what is beyond the position is what the old file had there.
    struct stat info {};
    if (::fstat(fd_.get(), &info) == 0 && info.st_size > position_) {
      (void)::ftruncate(fd_.get(), static_cast<off_t>(position_));
    }
  }
  fd_.Reset();
  position_ = 0;
  regular_ = false;
  cut_on_close_ = false;
}

}  // namespace tarsil
