#include "session/LocalTransferFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "platform/FileSystem.h"

namespace tarsil {
namespace {

std::atomic<unsigned> g_serial{0};

// True when the name is taken by something that is written in place: a device, a FIFO, a socket
// or a symbolic link (which may point into another folder).
bool WrittenInPlace(const std::string& native) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::symlink_status(native, error);
  if (error || !std::filesystem::exists(status)) return false;
  return !std::filesystem::is_regular_file(status);
}

}  // namespace

LocalTransferFile::LocalTransferFile(std::string local_name)
    : local_name_(std::move(local_name)), receive_name_(local_name_) {
  const std::string native = NativePath(local_name_);
  if (WrittenInPlace(native)) return;
  struct stat old {};
  if (::stat(native.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    replaces_ = true;
    old_mode_ = old.st_mode & 0777;
  }
  std::string folder;
  std::string name;
  SplitPath(local_name_, folder, name);
  receive_name_ = folder + "." + name + "." + std::to_string(getpid()) + "-" +
                  std::to_string(g_serial++) + ".part";
}

LocalTransferFile::~LocalTransferFile() {
  if (UsesTemporaryFile() && !committed_) std::remove(NativePath(receive_name_).c_str());
}

void LocalTransferFile::ProtectReceiveFile() const {
  if (UsesTemporaryFile() && replaces_) {
    ::chmod(NativePath(receive_name_).c_str(), old_mode_ | S_IRUSR | S_IWUSR);
  }
}

bool LocalTransferFile::Commit() {
  if (!UsesTemporaryFile()) return true;
  // A 0600 file stays 0600 when a new version replaces it.
  if (replaces_) ::chmod(NativePath(receive_name_).c_str(), old_mode_);
  if (std::rename(NativePath(receive_name_).c_str(), NativePath(local_name_).c_str()) != 0) {
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace tarsil
