#include "app/Scrambler.h"

#include <chrono>
#include <ctime>

namespace tarsil {

namespace {

constexpr std::size_t kKeyLength = ScrambleKey.size();
constexpr char kHexDigits[] = "0123456789ABCDEF";

// "暗号化された行の先頭文字がキー文字ではありません"
constexpr char kBadStartText[] =
    "\x88\xC3\x8D\x86\x89\xBB\x82\xB3\x82\xEA\x82\xBD\x8Ds\x82\xCC\x90\xE6\x93\xAA\x95\xB6\x8E\x9A"
    "\x82\xAA\x83L\x81[\x95\xB6\x8E\x9A\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "暗号化された行の" N "文字目が16進数ではありません"
constexpr char kBadHexPrefix[] = "\x88\xC3\x8D\x86\x89\xBB\x82\xB3\x82\xEA\x82\xBD\x8Ds\x82\xCC";
constexpr char kBadHexSuffix[] =
    "\x95\xB6\x8E\x9A\x96\xDA\x82\xAA"
    "16\x90i\x90\x94\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";

uint32_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

uint32_t ClockSeed() {
  return static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

Scrambler::Scrambler() : Scrambler(ClockSeed(), MonotonicMilliseconds) {}

Scrambler::Scrambler(uint32_t seed, TickSource ticks) : random_(seed), ticks_(std::move(ticks)) {}

std::size_t Scrambler::ChooseStart() {
  std::uniform_int_distribution<std::size_t> positions(0, kKeyLength - 1);
  std::size_t start = positions(random_);
  // Further draws only vary the sequence between lines.
  const uint32_t extra = ticks_() % 10 + 2;
  for (uint32_t i = 0; i < extra; ++i) start = positions(random_);
  return start;
}

std::string Scrambler::EncodeLine(std::string_view plain) {
  return EncodeLineAt(plain, ChooseStart());
}

std::string EncodeLineAt(std::string_view plain, std::size_t start) {
  std::size_t position = start % kKeyLength;
  std::string scrambled;
  scrambled.reserve(1 + 2 * plain.size());
  scrambled += ScrambleKey[position];
  for (char byte : plain) {
    const auto value = static_cast<unsigned char>(byte ^ ScrambleKey[position]);
    scrambled += kHexDigits[value >> 4];
    scrambled += kHexDigits[value & 0x0F];
    position = (position + 1) % kKeyLength;
  }
  return scrambled;
}

std::string EncodeLine(std::string_view plain) {
  static Scrambler process_scrambler;
  return process_scrambler.EncodeLine(plain);
}

std::string DecodeLine(std::string_view scrambled) {
  if (scrambled.empty()) return {};
  std::size_t position = ScrambleKey.find(scrambled[0]);
  if (position == std::string_view::npos) throw ScrambleError(kBadStartText);
  std::string plain;
  plain.reserve(scrambled.size() / 2);
  for (std::size_t pos = 1; pos < scrambled.size(); pos += 2) {
    const std::string_view digits = scrambled.substr(pos, 2);
    int value = 0;
    for (char digit : digits) {
      const int nibble = HexValue(digit);
      if (nibble < 0) {
        throw ScrambleError(kBadHexPrefix + std::to_string(pos + 1) + kBadHexSuffix);
      }
      value = value * 16 + nibble;
    }
    plain += static_cast<char>(value ^ ScrambleKey[position]);
    position = (position + 1) % kKeyLength;
  }
  return plain;
}

}  // namespace tarsil
