#include "session/LocalFiles.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "session/MatchMask.h"

namespace tarsil {

void DeleteLocalFiles(std::string_view path_mask, std::vector<std::string>* left_out) {
  std::string dir;
  std::string mask;
  SplitPath(path_mask, dir, mask);
  const FileMask compiled(mask);  // an ill-formed mask stops here
  if (mask.empty()) return;
  std::vector<std::string> unnamed;
  for (const std::string& name : ListFiles(dir, &unnamed)) {
    if (compiled.Matches(name)) DeleteLocalFile(dir + name);
  }
  if (left_out == nullptr) return;
  std::sort(unnamed.begin(), unnamed.end());
  for (std::string& name : unnamed) {
    if (compiled.Matches(Utf8ToCp932(name))) left_out->push_back(std::move(name));
  }
}

bool AppendLinesToFile(const std::vector<std::string>& lines, std::string_view file_name) {
  if (lines.empty()) return false;
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return AppendToFile(file_name, bytes);
}

int64_t LocalFileSize(std::string_view path) { return FileSize(path).value_or(0); }

}  // namespace tarsil
