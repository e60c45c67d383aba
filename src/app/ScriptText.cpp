#include "app/ScriptText.h"

#include "app/ScriptFile.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool StartsWithMark(std::string_view bytes) { return bytes.substr(0, 3) == kByteOrderMark; }

}  // namespace

ScriptEncoding DetectScriptEncoding(std::string_view bytes) {
  ScriptEncoding found;
  const bool mark = StartsWithMark(bytes);
  if (!mark && !(HasNonAscii(bytes) && IsValidUtf8(bytes))) return found;
  found.encoding = TextEncoding::kUtf8;
  found.byte_order_mark = mark;
  found.lf_only =
      bytes.find('\n') != std::string_view::npos && bytes.find('\r') == std::string_view::npos;
  return found;
}

ScriptText DecodeScriptText(std::string_view bytes) {
  ScriptText text;
  text.encoding = DetectScriptEncoding(bytes);
  if (text.encoding.encoding == TextEncoding::kCp932) {
    text.lines = SplitTextLines(bytes);
    return text;
  }
  if (text.encoding.byte_order_mark) bytes.remove_prefix(kByteOrderMark.size());
  text.lines = SplitTextLines(bytes);
  for (size_t i = 0; i < text.lines.size(); ++i) {
    std::optional<std::string> line = Utf8ToCp932Exact(text.lines[i]);
    if (!line) {
      throw ScriptTextError(
          "Line " + std::to_string(i + 1) +
          " of the script has a character with no CP932 form: " + Utf8ToCp932(text.lines[i]));
    }
    text.lines[i] = std::move(*line);
  }
  return text;
}

std::string EncodeScriptText(const std::vector<std::string>& lines,
                             const ScriptEncoding& encoding) {
  if (encoding.encoding == TextEncoding::kCp932) return JoinTextLines(lines);
  std::string bytes;
  if (encoding.byte_order_mark) bytes += kByteOrderMark;
  for (const std::string& line : lines) {
    bytes += Cp932ToUtf8(line);
    bytes += encoding.lf_only ? "\n" : "\r\n";
  }
  return bytes;
}

ScriptEncoding NewScriptEncoding(TextEncoding option) {
  ScriptEncoding encoding;
  encoding.encoding = option;
  return encoding;
}

}  // namespace tarsil
