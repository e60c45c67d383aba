// Line scrambling of "fcx" script files: each byte XOR a character of a fixed key, written as two
// hexadecimal digits, after one key character that names the starting key position. Obfuscation,
// not encryption. A Scrambler owns its random generator; the free functions share one
// process-wide instance and belong to the event thread.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarsil {

inline constexpr std::string_view ScrambleKey = "QW4ZK7PX9DM";

// A scrambled line that cannot be read back. The message is CP932 Japanese text.
class ScrambleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Scrambler {
 public:
  // Milliseconds since system start; only its last digit matters.
  using TickSource = std::function<uint32_t()>;

  // Seeded from the clock; ticks from the monotonic clock.
  Scrambler();
  Scrambler(uint32_t seed, TickSource ticks);

  // Scrambles one line starting at a randomly chosen key position.
  std::string EncodeLine(std::string_view plain);

 private:
  std::size_t ChooseStart();

  std::mt19937 random_;
  TickSource ticks_;
};

// Scrambles `plain` starting at key index `start` (0 to 10).
std::string EncodeLineAt(std::string_view plain, std::size_t start);

// EncodeLine of the process-wide Scrambler.
std::string EncodeLine(std::string_view plain);

// Reads a scrambled line back; upper- and lower-case digits are accepted and a single digit at the
// end is one byte. Throws ScrambleError when the first character is not a key character or a
// pair is not hexadecimal. An empty line decodes to an empty line.
std::string DecodeLine(std::string_view scrambled);

}  // namespace tarsil
