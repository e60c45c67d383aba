// The local end of a download. A regular file (or a name not yet taken) is received under a
// temporary name beside it and renamed over the old file only when the download succeeded, so a
// failed download never destroys what was there. A device, a FIFO or a symbolic link is written
// as it is and never deleted or renamed over. A file that replaces another takes the permissions
// of the one it replaces. Owned by one download; event thread only.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tarsil {

// The temporary name ".NAME.UNIQUE.part" of a name (CP932, no folder), with NAME shortened by
// whole characters when the native form would pass the 255-byte limit of one folder entry.
std::string TemporaryNameFor(std::string_view name, std::string_view unique);

class LocalTransferFile {
 public:
  explicit LocalTransferFile(std::string local_name);
  ~LocalTransferFile();  // removes the temporary file unless it was committed
  LocalTransferFile(const LocalTransferFile&) = delete;
  LocalTransferFile& operator=(const LocalTransferFile&) = delete;

  // The name the engine writes to (CP932).
  const std::string& ReceiveName() const { return receive_name_; }
  bool UsesTemporaryFile() const { return receive_name_ != local_name_; }
  // Once the engine has created the temporary file: gives it the permissions of the file it is
  // to replace (always readable and writable by the owner), before any byte is received.
  void ProtectReceiveFile() const;
  // Puts the received file in place; false when the rename failed (the temporary file is removed).
  bool Commit();

 private:
  std::string local_name_;
  std::string receive_name_;
  bool committed_ = false;
  bool replaces_ = false;  // a regular file of that name was there when the download began
  mode_t old_mode_ = 0;    // its permission bits (set-id bits are never passed on)
};

}  // namespace tarsil
