#include "session/LogSpool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tarsil {
namespace {

// Lines are written to the file in pieces of about this size.
constexpr size_t kWriteSize = size_t{64} << 10;
constexpr std::string_view kLineEnd = "\r\n";

std::string DefaultFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
}

// A file without a name in `folder`, readable and writable by its owner only; -1 on failure.
int OpenNamelessFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  // A file system without O_TMPFILE: a named file, unlinked at once.
  std::string name = folder + "/tarsil-log-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

bool WriteAllAt(int fd, std::string_view bytes, uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
    offset += static_cast<uint64_t>(written);
  }
  return true;
}

}  // namespace

LogSpool::LogSpool(std::string folder)
    : folder_(folder.empty() ? DefaultFolder() : std::move(folder)) {}

void LogSpool::Append(std::string_view line) {
  pending_.append(line).append(kLineEnd);
  ++lines_;
  if (pending_.size() >= kWriteSize) Flush();
}

void LogSpool::Clear() {
  pending_.clear();
  pending_.shrink_to_fit();
  lines_ = 0;
  file_bytes_ = 0;
  if (file_.valid() && ::ftruncate(file_.get(), 0) != 0) FallBackToMemory();
}

// Moves the pending text into the file; false when the lines stay in memory.
bool LogSpool::Flush() {
  if (file_failed_) return false;
  if (!file_.valid()) {
    file_.Reset(OpenNamelessFile(folder_));
    if (!file_.valid()) {
      file_failed_ = true;
      return false;
    }
  }
  if (!WriteAllAt(file_.get(), pending_, file_bytes_)) {
    FallBackToMemory();
    return false;
  }
  file_bytes_ += pending_.size();
  pending_.clear();
  return true;
}

// What the file holds so far is read back into memory, and the file is given up.
void LogSpool::FallBackToMemory() {
  std::string kept;
  if (file_.valid()) {
    kept.resize(file_bytes_);
    size_t done = 0;
    while (done < kept.size()) {
      const ssize_t got =
          ::pread(file_.get(), kept.data() + done, kept.size() - done, static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    kept.resize(done);
  }
  pending_.insert(0, kept);
  file_.Reset();
  file_bytes_ = 0;
  file_failed_ = true;
}

bool LogSpool::ReadAll(const std::function<bool(std::string_view)>& sink) {
  if (!pending_.empty() && file_.valid()) Flush();
  if (file_.valid()) {
    std::string piece(kWriteSize, '\0');
    for (uint64_t offset = 0; offset < file_bytes_;) {
      const size_t want =
          static_cast<size_t>(std::min<uint64_t>(piece.size(), file_bytes_ - offset));
      const ssize_t got = ::pread(file_.get(), piece.data(), want, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      if (!sink(std::string_view(piece.data(), static_cast<size_t>(got)))) return false;
      offset += static_cast<uint64_t>(got);
    }
  }
  return pending_.empty() || sink(pending_);
}

std::vector<std::string> LogSpool::Lines() {
  std::vector<std::string> lines;
  std::string partial;
  ReadAll([&](std::string_view piece) {
    partial.append(piece);
    size_t start = 0;
    for (size_t end; (end = partial.find(kLineEnd, start)) != std::string::npos;
         start = end + kLineEnd.size()) {
      lines.push_back(partial.substr(start, end - start));
    }
    partial.erase(0, start);
    return true;
  });
  return lines;
}

}  // namespace tarsil
