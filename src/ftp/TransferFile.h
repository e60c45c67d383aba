// The local file of one transfer: opened by name (CP932), read or written as raw bytes in the
// order of the transfer, closed on demand or when it goes. Owns its descriptor; the engine owns
// the one TransferFile of its current transfer. Loop thread only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/UniqueFd.h"

namespace tarsil {

class TransferFile {
 public:
  enum class Opened { kFailed, kExisting, kCreated };

  // For a download: an existing file is opened for writing without being shortened (a FIFO or a
  // device as it is), a missing one is created. Any file held before is closed first.
  Opened OpenForWriting(std::string_view cp932_name);
  // For an upload: read-only; a folder is refused.
  bool OpenForReading(std::string_view cp932_name);

  bool IsOpen() const { return fd_.valid(); }
  // errno of the last failure.
  int Error() const { return error_; }

  // Bytes in a regular file; 0 for anything else and when nothing is open.
  int64_t Size();
  // Where the next byte is read or written (counted from the start of a regular file).
  int64_t Position() const { return position_; }
  bool SeekTo(int64_t offset);

  // Writes all bytes (in as many calls as it takes); the count written, short on failure.
  size_t Write(const char* bytes, size_t count);
  // Reads up to `size` bytes; 0 at the end of the file, -1 on failure.
  ssize_t Read(char* buffer, size_t size);

  // From now on, closing cuts a regular file at the position: a download that overwrote a longer
  // file leaves nothing of the old contents behind the new ones.
  void CutAtPositionOnClose() { cut_on_close_ = true; }
  void Close();
  ~TransferFile() { Close(); }

 private:
  UniqueFd fd_;
  int64_t position_ = 0;
  bool regular_ = false;
  bool cut_on_close_ = false;
  int error_ = 0;
};

}  // namespace tarsil
