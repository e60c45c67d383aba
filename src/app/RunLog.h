// Run log files: the execution log written to a file when the main window closes (replaced or
// appended, with an optional date in the name, or under the LOGFILE session parameter). Pure name
// rules plus one writer; the caller owns the log lines. Event thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

class LogSpool;

// Inserts the date (yyyymmdd of `now`, a date-time value) before the extension when `with_date`
// is set: D:\logs\Tarsil.log -> D:\logs\Tarsil20010131.log, run.daily.log -> run20010131.log.
std::string MakeLogFileName(std::string_view name, bool with_date, double now);

struct LogSaveRequest {
  bool save = false;          // "Logファイルの保存"
  std::string option_name;    // the name of the options
  std::string logfile_param;  // session parameter LOGFILE; replaces the name when not empty
  bool overwrite = true;      // replace (true) or append (false)
  bool with_date = false;     // date suffix
};

enum class LogSaveResult { kNotSaved, kWritten, kFailed };

// Writes the lines as the close of the main window does. Nothing is written when saving is off or
// there are no lines. A failure to write is reported, never thrown.
LogSaveResult SaveLogAtClose(const std::vector<std::string>& lines, const LogSaveRequest& request,
                             double now, std::string* written_name = nullptr);
// The same from the execution log's spool, which may be far larger than memory; the same bytes.
LogSaveResult SaveLogAtClose(LogSpool& spool, const LogSaveRequest& request, double now,
                             std::string* written_name = nullptr);

}  // namespace tarsil
