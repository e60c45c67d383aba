// The local file of one transfer: opened by name (CP932), read or written as raw bytes in the
// order of the transfer, closed on demand or when it goes. Owns its descriptor; the engine owns
// the one TransferFile of its current transfer. Loop thread only.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {

class TransferFile {
 public:
  enum class Opened { kFailed, kExisting, kCreated };

  // For a download: an existing file is opened for writing without being shortened (a device
  // as it is), a missing one is created. A FIFO is opened non-blocking and only when a process
  // reads it. Any file held before is closed first.
  Opened OpenForWriting(std::string_view cp932_name);
  // For an upload: read-only; a folder is refused. A FIFO is opened non-blocking and only when
  // a process writes it. No open ever waits.
  bool OpenForReading(std::string_view cp932_name);

  bool IsOpen() const { return fd_.valid(); }
  // A FIFO: read or written as a stream, without a size, and never waited on (Write and Read
  // stop with WouldBlock when it has no room or no data; wait for Handle to be ready).
  bool IsStream() const { return stream_; }
  bool WouldBlock() const { return error_ == EAGAIN; }
  int Handle() const { return fd_.get(); }
  // Calls `ready` (once) when the FIFO can be written, or read, again; Close stops the wait.
  void WhenReady(EventLoop& loop, bool writing, std::function<void()> ready);
  // errno of the last failure, and why in words (ENXIO: a FIFO without its other end).
  int Error() const { return error_; }
  std::string ErrorText(bool writing) const;

  // Bytes in a regular file; 0 for anything else and when nothing is open.
  int64_t Size();
  // Where the next byte is read or written (counted from the start of a regular file).
  int64_t Position() const { return position_; }
  bool SeekTo(int64_t offset);

  // Writes all bytes (in as many calls as it takes); the count written, short on failure.
  size_t Write(const char* bytes, size_t count);
  // Reads up to `size` bytes; 0 at the end of the file, -1 on failure (or WouldBlock).
  ssize_t Read(char* buffer, size_t size);

  // From now on, closing cuts a regular file at the position: a download that overwrote a longer
  // file leaves nothing of the old contents behind the new ones.
  void CutAtPositionOnClose() { cut_on_close_ = true; }
  void Close();
  ~TransferFile() { Close(); }

 private:
  static constexpr size_t kReceiveAhead = 65536;

  UniqueFd fd_;
  int64_t position_ = 0;
  bool regular_ = false;
  bool stream_ = false;
  std::string ahead_;  // read from a FIFO while opening it, not yet taken
  FdWatch watch_;
  bool cut_on_close_ = false;
  int error_ = 0;
};

}  // namespace tarsil
