#include "app/RunLog.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/TextHelpers.h"
#include "session/LocalFiles.h"
#include "session/LogSpool.h"

namespace tarsil {
namespace {

// Offset of the last "." of a name part, or npos; a dot can never be a trail byte (0x2E < 0x40).
size_t LastDot(std::string_view name) { return name.rfind('.'); }

}  // namespace

std::string MakeLogFileName(std::string_view name, bool with_date, double now) {
  if (!with_date) return std::string(name);
  std::string directory;
  std::string file;
  SplitPath(name, directory, file);
  std::string extension;
  if (size_t dot = LastDot(file); dot != std::string::npos) {
    extension = file.substr(dot);
    file.resize(dot);
  }
  std::string base = NextToken(file, ".");
  return directory + base + FormatDateStamp(now) + extension;
}

LogSaveResult SaveLogAtClose(const std::vector<std::string>& lines, const LogSaveRequest& request,
                             double now, std::string* written_name) {
  if (!request.save || lines.empty()) return LogSaveResult::kNotSaved;
  std::string name = request.logfile_param.empty() ? request.option_name : request.logfile_param;
  name = MakeLogFileName(name, request.with_date, now);
  if (written_name != nullptr) *written_name = name;
  bool ok;
  if (request.overwrite) {
    std::string text;
    for (const std::string& line : lines) {
      text += line;
      text += "\r\n";
    }
    ok = WriteWholeFile(name, text);
  } else {
    ok = AppendLinesToFile(lines, name);
  }
  return ok ? LogSaveResult::kWritten : LogSaveResult::kFailed;
}

LogSaveResult SaveLogAtClose(LogSpool& spool, const LogSaveRequest& request, double now,
                             std::string* written_name) {
  if (!request.save || spool.Empty()) return LogSaveResult::kNotSaved;
  std::string name = request.logfile_param.empty() ? request.option_name : request.logfile_param;
  name = MakeLogFileName(name, request.with_date, now);
  if (written_name != nullptr) *written_name = name;
  const bool ok = WriteFileInPieces(
      name, !request.overwrite, [&spool](const PieceSink& sink) { return spool.ReadAll(sink); });
  return ok ? LogSaveResult::kWritten : LogSaveResult::kFailed;
}

}  // namespace tarsil
