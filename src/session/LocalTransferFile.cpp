#include "session/LocalTransferFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "platform/CodePage.h"
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

// The longest name of one folder entry the file systems we meet allow, in native bytes.
constexpr size_t kMaxNameBytes = 255;

}  // namespace

std::string TemporaryNameFor(std::string_view name, std::string_view unique) {
  const std::string suffix = "." + std::string(unique) + ".part";
  // Whole characters are dropped from the end of the name until the native form fits: a long
  // name must not make its temporary name impossible to create.
  // No character has a shorter native form, so the first cut only makes the loop short.
  size_t keep = 0;
  while (keep < name.size() && keep + CharLengthAt(name, keep) <= kMaxNameBytes) {
    keep += CharLengthAt(name, keep);
  }
  std::string kept(name.substr(0, keep));
  while (!kept.empty() && NativePath("." + kept + suffix).size() > kMaxNameBytes) {
    size_t last = 0;
    for (size_t pos = 0; pos < kept.size(); pos += CharLengthAt(kept, pos)) last = pos;
    kept.erase(last);
  }
  return "." + kept + suffix;
}

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
  receive_name_ =
      folder + TemporaryNameFor(name, std::to_string(getpid()) + "-" + std::to_string(g_serial++));
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
