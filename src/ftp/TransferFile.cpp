#include "ftp/TransferFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// True when the path (links followed) names a FIFO.
bool IsFifo(const std::string& native) {
  struct stat info {};
  return ::stat(native.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// A write to a FIFO whose reader has gone fails with EPIPE instead of ending the process.
ssize_t WriteWithoutSigpipe(int fd, const char* bytes, size_t count) {
  sigset_t pipe_signal;
  sigset_t before;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  const ssize_t written = ::write(fd, bytes, count);
  const int saved = errno;
  if (written < 0 && saved == EPIPE && !was_pending) {
    const struct timespec no_wait {};
    while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = saved;
  return written;
}

}  // namespace

TransferFile::Opened TransferFile::OpenForWriting(std::string_view cp932_name) {
  Close();
  const std::optional<std::string> name = NativeName(cp932_name);
  if (!name) {
    error_ = ENOENT;
    return Opened::kFailed;
  }
  if (IsFifo(*name)) {
    // Never waits: without a reader the open fails at once (ENXIO), and with one every write
    // takes what the pipe has room for.
    const int fd = OpenRetrying(name->c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) {
      error_ = errno;
      return Opened::kFailed;
    }
    fd_.Reset(fd);
    stream_ = true;
    return Opened::kExisting;
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
  if (!regular_ && S_ISFIFO(info.st_mode)) {
    // Became a FIFO after the look: read/write would make us its only reader.
    fd_.Reset();
    error_ = EAGAIN;
    return Opened::kFailed;
  }
  return result;
}

bool TransferFile::OpenForReading(std::string_view cp932_name) {
  Close();
  const std::optional<std::string> name = NativeName(cp932_name);
  if (!name) {
    error_ = ENOENT;
    return false;
  }
  // Non-blocking open: a FIFO without a writer would otherwise hold the thread here.
  const int fd = OpenRetrying(name->c_str(), O_RDONLY | O_NONBLOCK);
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
  stream_ = S_ISFIFO(info.st_mode);
  if (!stream_) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
  }
  // An empty FIFO reads as its end only when nobody writes it (a writer still opening counts);
  // what the first look finds is kept for the first Read.
  std::string first(kReceiveAhead, '\0');
  ssize_t got;
  do got = ::read(fd, first.data(), first.size());
  while (got < 0 && errno == EINTR);
  if (got == 0 || (got < 0 && errno != EAGAIN)) {
    error_ = got == 0 ? ENXIO : errno;
    fd_.Reset();
    stream_ = false;
    return false;
  }
  first.resize(got > 0 ? static_cast<size_t>(got) : 0);
  ahead_ = std::move(first);
  return true;
}

std::string TransferFile::ErrorText(bool writing) const {
  if (error_ == ENXIO) {
    return writing ? "it is a FIFO that no process reads" : "it is a FIFO that no process writes";
  }
  if (error_ == EAGAIN) return "it became a FIFO while it was opened";
  return std::strerror(error_);
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
  error_ = 0;
  while (fd_.valid() && done < count) {
    const ssize_t written = stream_ ? WriteWithoutSigpipe(fd_.get(), bytes + done, count - done)
                                    : ::write(fd_.get(), bytes + done, count - done);
    if (written < 0 && errno == EINTR) continue;
    // A FIFO that is full (error EAGAIN): the caller waits until it is writable.
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
  error_ = 0;
  if (!ahead_.empty() && size > 0) {
    const size_t count = std::min(size, ahead_.size());
    std::memcpy(buffer, ahead_.data(), count);
    ahead_.erase(0, count);
    position_ += static_cast<int64_t>(count);
    return static_cast<ssize_t>(count);
  }
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

void TransferFile::WhenReady(EventLoop& loop, bool writing, std::function<void()> ready) {
  if (!fd_.valid()) return;
  watch_ = FdWatch(loop, fd_.get(), writing ? kFdWritable : kFdReadable,
                   [this, ready = std::move(ready)](unsigned) {
                     // Taken out first: the call may close this file or wait again.
                     std::function<void()> call = ready;
                     watch_.Reset();
                     call();
                   });
}

void TransferFile::Close() {
  watch_.Reset();
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
  stream_ = false;
  ahead_.clear();
  cut_on_close_ = false;
}

}  // namespace tarsil
