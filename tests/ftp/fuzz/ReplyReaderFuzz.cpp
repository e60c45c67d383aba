// libFuzzer target for the control-connection reader: the bytes are fed to LineReader once whole
// and once in pieces (sizes drawn from the first byte), every line goes through ReplyAssembler,
// and both feeds must give the same lines, verdicts and leftover. The reply code of every final
// line must lie between 0 and 999.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpResult.h"
#include "ftp/ReplyReader.h"

namespace {

struct Outcome {
  std::vector<std::string> lines;
  std::vector<int> verdicts;  // ReplyAssembler results, then -1 for kTooLong of the reader
  std::string leftover;
  bool operator==(const Outcome&) const = default;
};

void Drain(tarsil::LineReader& reader, tarsil::ReplyAssembler& assembler, Outcome& out) {
  std::string line;
  while (true) {
    const tarsil::LineReader::Result result = reader.NextLine(line);
    if (result == tarsil::LineReader::Result::kNeedMore) return;
    if (result == tarsil::LineReader::Result::kTooLong) {
      out.verdicts.push_back(-1);
      reader.Clear();
      assembler.Clear();
      return;
    }
    if (line.size() > tarsil::LineReader::kMaxLineLength) std::abort();
    if (line.find("\r\n") != std::string::npos) std::abort();
    out.lines.push_back(line);
    const tarsil::ReplyAssembler::Result verdict = assembler.Take(line);
    out.verdicts.push_back(static_cast<int>(verdict));
    if (verdict == tarsil::ReplyAssembler::Result::kTooLong) assembler.Clear();
    if (verdict == tarsil::ReplyAssembler::Result::kFinal) {
      const int code = tarsil::ReplyCodeOf(line);
      if (code < 0 || code > 999) std::abort();
    }
  }
}

Outcome Feed(std::string_view bytes, uint8_t seed) {
  tarsil::LineReader reader;
  tarsil::ReplyAssembler assembler;
  Outcome out;
  uint32_t state = seed * 2654435761u + 1;
  while (!bytes.empty()) {
    size_t piece = bytes.size();
    if (seed != 0) {
      state = state * 1103515245u + 12345u;
      piece = 1 + (state >> 16) % 17;
      if (piece > bytes.size()) piece = bytes.size();
    }
    reader.Append(bytes.substr(0, piece));
    bytes.remove_prefix(piece);
    Drain(reader, assembler, out);
  }
  out.leftover = std::string(reader.Leftover());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const Outcome whole = Feed(bytes, 0);
  // A reader that gave up on a long line may differ in what it kept; only compare clean runs.
  for (int verdict : whole.verdicts) {
    if (verdict == -1) return 0;
  }
  if (!(Feed(bytes, data[0] | 1) == whole)) std::abort();
  return 0;
}
