#include "ftp/FtpCharset.h"

#include "platform/CodePage.h"
#include "platform/TextHelpers.h"

namespace tarsil {
namespace {

// Bytes a sequence led by `lead` needs in all; 1 for anything that is no lead byte.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

std::optional<ServerCharset> ParseServerCharset(std::string_view name) {
  const std::string upper = UpperCaseAscii(TrimBlanks(std::string(name)));
  if (upper == "AUTO") return ServerCharset::kAuto;
  if (upper == "UTF-8" || upper == "UTF8") return ServerCharset::kUtf8;
  if (upper == "CP932") return ServerCharset::kCp932;
  return std::nullopt;
}

std::string_view ServerCharsetName(ServerCharset charset) {
  switch (charset) {
    case ServerCharset::kUtf8:
      return "UTF-8";
    case ServerCharset::kCp932:
      return "CP932";
    case ServerCharset::kAuto:
      break;
  }
  return "AUTO";
}

bool FeatListsUtf8(const std::vector<std::string>& reply_lines) {
  if (reply_lines.size() < 3) return false;  // a one-line reply lists no features
  for (size_t i = 1; i + 1 < reply_lines.size(); ++i) {
    if (UpperCaseAscii(TrimBlanks(reply_lines[i])) == "UTF8") return true;
  }
  return false;
}

std::string Utf8PieceDecoder::Take(std::string_view piece) {
  std::string text = held_;
  text.append(piece);
  held_.clear();
  // Keep back a sequence that the end of the piece cuts off (at most three bytes).
  const size_t size = text.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(text[size - back]);
    if (byte < 0x80) break;
    if (byte >= 0xC0) {
      if (SequenceLength(byte) > back) {
        held_ = text.substr(size - back);
        text.resize(size - back);
      }
      break;
    }
  }
  return Utf8ToCp932(text);
}

}  // namespace tarsil
