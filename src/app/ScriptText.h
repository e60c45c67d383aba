// The encoding of a plain script file: told from its bytes on load and kept, so that a save
// writes the script back as it was read. A byte-order mark means UTF-8; otherwise bytes that are
// valid UTF-8 and hold at least one multi-byte sequence are UTF-8; anything else is CP932. The
// lines inside the program stay CP932. Pure functions; any thread.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextEncoding.h"

namespace tarsil {

struct ScriptEncoding {
  TextEncoding encoding = TextEncoding::kCp932;
  bool byte_order_mark = false;  // UTF-8 only
  bool lf_only = false;          // UTF-8 only: the lines ended with LF alone
  bool operator==(const ScriptEncoding&) const = default;
};

// A UTF-8 script line with a character that has no CP932 form; what() names the line.
class ScriptTextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

ScriptEncoding DetectScriptEncoding(std::string_view bytes);

struct ScriptText {
  std::vector<std::string> lines;  // CP932
  ScriptEncoding encoding;
};

// Splits the file into CP932 lines in the encoding it was detected in. Throws ScriptTextError
// for the first UTF-8 line that cannot be held in CP932.
ScriptText DecodeScriptText(std::string_view bytes);

// The bytes of the file for CP932 lines: CP932 with CR LF exactly as before, or UTF-8 with the
// mark and the line ends it was read with.
std::string EncodeScriptText(const std::vector<std::string>& lines, const ScriptEncoding& encoding);

// What a new script is saved in.
ScriptEncoding NewScriptEncoding(TextEncoding option);

}  // namespace tarsil
