// libFuzzer target for the settings file parser and writer. Any bytes are parsed; a file that
// parses is written back, and the written text must parse to the same keys and values and be
// written back byte for byte the same. Then the bytes, cut into a name and a text, are stored
// through the writer and must read back unchanged (or be refused by RegTextProblem).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegFile.h"

namespace {

using tarsil::RegDocument;
using tarsil::RegValue;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSameContent(const RegDocument& a, const RegDocument& b) {
  Check(a.sections().size() == b.sections().size());
  for (size_t s = 0; s < a.sections().size(); ++s) {
    const auto& left = a.sections()[s];
    const auto& right = b.sections()[s];
    Check(left.values().size() == right.values().size());
    for (size_t v = 0; v < left.values().size(); ++v) {
      const RegValue& x = left.values()[v];
      const RegValue& y = right.values()[v];
      Check(x.kind == y.kind);
      if (x.kind == RegValue::Kind::kComment) continue;
      Check(tarsil::RegNamesEqual(x.name, y.name));
      Check(right.FindValue(x.name) == &y);
      if (x.kind == RegValue::Kind::kString) Check(x.text == y.text);
      if (x.kind == RegValue::Kind::kDword) Check(x.dword == y.dword);
    }
  }
}

void RoundTripFile(std::string_view bytes) {
  tarsil::RegParseResult parsed = tarsil::ParseRegFile(bytes);
  if (!parsed.ok()) return;
  const std::string written = tarsil::SerializeRegFile(parsed.document);
  tarsil::RegParseResult again = tarsil::ParseRegFile(written);
  Check(again.ok());
  CheckSameContent(parsed.document, again.document);
  Check(tarsil::SerializeRegFile(again.document) == written);
}

void RoundTripValue(std::string_view bytes) {
  const size_t cut = bytes.find('=');
  const std::string_view name = bytes.substr(0, cut);
  const std::string_view text = cut == std::string_view::npos ? "" : bytes.substr(cut + 1);
  if (!tarsil::RegTextProblem(name).empty() || !tarsil::RegTextProblem(text).empty()) return;
  const std::vector<std::string> path = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Tarsil"};
  RegDocument document;
  bool created = false;
  RegValue value;
  value.name = name;
  value.text = text;
  document.EnsureSection(path, &created).PutValue(value);
  tarsil::RegParseResult parsed = tarsil::ParseRegFile(tarsil::SerializeRegFile(document));
  Check(parsed.ok());
  const tarsil::RegSection* section = parsed.document.FindSection(path);
  Check(section != nullptr);
  const RegValue* read = section->FindValue(name);
  Check(read != nullptr && read->kind == RegValue::Kind::kString && read->name == name &&
        read->text == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RoundTripFile(bytes);
  RoundTripValue(bytes);
  return 0;
}
