// libFuzzer target for text from outside: the bytes as a script file (detected, decoded and, when
// they decode, saved back, which must give the same lines again), as the lines of a FEAT reply,
// and as reply text arriving in two pieces cut at the first byte's position.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/ScriptText.h"
#include "ftp/FtpCharset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const tarsil::ScriptText text = tarsil::DecodeScriptText(bytes);
    const std::string saved = tarsil::EncodeScriptText(text.lines, text.encoding);
    if (tarsil::DecodeScriptText(saved).lines != text.lines) std::abort();
  } catch (const tarsil::ScriptTextError&) {
    // A line with no CP932 form: reported, never half-loaded.
  }

  std::vector<std::string> lines;
  for (std::string_view rest = bytes; !rest.empty();) {
    const size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  (void)tarsil::FeatListsUtf8(lines);

  if (size > 0) {
    const size_t cut = data[0] % size;
    tarsil::Utf8PieceDecoder decoder;
    std::string joined = decoder.Take(bytes.substr(0, cut));
    joined += decoder.Take(bytes.substr(cut));
  }
  return 0;
}
