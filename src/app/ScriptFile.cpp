#include "app/ScriptFile.h"

#include <stdexcept>

#include "app/Scrambler.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace tarsil {

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool IsScrambledScriptName(std::string_view file_name) {
  std::string directory;
  std::string name;
  SplitPath(file_name, directory, name);
  size_t dot = name.rfind('.');
  return dot != std::string::npos && UpperCaseAscii(name.substr(dot)) == ".FCX";
}

void DecodeScriptLines(std::vector<std::string>& lines) {
  for (std::string& line : lines) line = DecodeLine(line);
}

void StoreScriptFile(std::string_view file_name, const std::vector<std::string>& lines,
                     const ScriptEncoding& encoding) {
  std::string bytes;
  if (IsScrambledScriptName(file_name)) {
    std::vector<std::string> stored = lines;
    for (std::string& line : stored) line = EncodeLine(line);
    bytes = JoinTextLines(stored);
  } else {
    bytes = EncodeScriptText(lines, encoding);
  }
  if (!WriteWholeFile(file_name, bytes)) {
    throw std::runtime_error("Cannot write the script file " + std::string(file_name));
  }
}

}  // namespace tarsil
