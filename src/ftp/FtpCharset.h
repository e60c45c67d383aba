// Which text a server's names are in, and the rules that follow: the choice (AUTO asks the server
// with FEAT after the login, UTF-8 converts without asking, CP932 is the plain exchange), whether
// a FEAT reply lists UTF8, and the conversion of reply text that may arrive cut inside a UTF-8
// sequence. Inside the engine text stays CP932. Pure functions and one small value; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

enum class ServerCharset { kAuto, kUtf8, kCp932 };

// "AUTO", "UTF-8" (or "UTF8") or "CP932", letter case ignored; nothing for other text.
std::optional<ServerCharset> ParseServerCharset(std::string_view name);
std::string_view ServerCharsetName(ServerCharset charset);

// True when one feature line of a FEAT reply (the lines between the first and the last) is
// "UTF8", blanks and letter case aside.
bool FeatListsUtf8(const std::vector<std::string>& reply_lines);

// Converts UTF-8 text that arrives in pieces to CP932: a sequence cut by the end of one piece is
// kept back and finished with the next. Characters with no CP932 form become "?".
class Utf8PieceDecoder {
 public:
  std::string Take(std::string_view piece);
  void Clear() { held_.clear(); }

 private:
  std::string held_;
};

}  // namespace tarsil
