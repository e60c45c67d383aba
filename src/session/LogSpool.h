// LogSpool: every line of the execution log, kept in a temporary file instead of memory, so that a
// run of a million files or a script that polls for weeks does not grow. The file holds exactly
// the bytes of a log file (each line followed by CR LF); it has no name (it goes when the spool
// goes) and is made at the first line, in the given folder. When no file can be made or written
// the lines stay in memory, as a log never loses a line. Owned by the execution log; event thread
// only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UniqueFd.h"

namespace tarsil {

class LogSpool {
 public:
  // `folder` (native path) holds the temporary file; empty: $TMPDIR, else /tmp.
  explicit LogSpool(std::string folder = {});
  LogSpool(const LogSpool&) = delete;
  LogSpool& operator=(const LogSpool&) = delete;

  void Append(std::string_view line);
  void Clear();
  uint64_t LineCount() const { return lines_; }
  bool Empty() const { return lines_ == 0; }
  // The lines are in a file (false: in memory, after a failure or before the first line).
  bool InFile() const { return file_.valid(); }

  // Hands the whole text (lines with their CR LF) to `sink` in pieces, in order, and stops when
  // the sink says false. False when the spool could not be read back or the sink stopped.
  bool ReadAll(const std::function<bool(std::string_view)>& sink);
  // Every line, without its line end (small logs and tests).
  std::vector<std::string> Lines();

 private:
  bool Flush();
  void FallBackToMemory();

  std::string folder_;
  UniqueFd file_;
  bool file_failed_ = false;
  uint64_t file_bytes_ = 0;  // written to the file so far
  std::string pending_;      // not yet written to the file, or everything after a failure
  uint64_t lines_ = 0;
};

}  // namespace tarsil
