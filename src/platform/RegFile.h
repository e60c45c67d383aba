// The text of a settings file in the REGEDIT4 export format: parsing into sections and values,
// and writing back. Values and sections that were not changed keep the lines they were read
// with, so types this program does not use (hex:, hex(2):, other roots) survive a rewrite.
// Pure functions over byte strings (CP932, no conversion); any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarsil {

// One value line of a key section, or a comment line kept in its place.
struct RegValue {
  enum class Kind { kString, kDword, kOther, kComment };
  Kind kind = Kind::kString;
  std::string name;                // unescaped; empty for the unnamed default value "@"
  std::string text;                // kString: the unescaped text
  uint32_t dword = 0;              // kDword
  std::vector<std::string> lines;  // as read, without line ends; empty when (re)written by us
};

// One "[ROOT\Key\Sub]" section. Its values are indexed by name (letter case ignored), so that
// finding one costs the same in a section of ten values or of a hundred thousand.
class RegSection {
 public:
  RegSection() = default;
  RegSection(std::vector<std::string> key_path, std::string header);

  std::vector<std::string> path;  // root first, e.g. {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Tarsil"}
  std::string header_line;        // as read; empty when created by us

  // Values and comment lines in file order.
  const std::vector<RegValue>& values() const { return values_; }
  // The value of that name (letter case ignored), or null; comments never match. The name of a
  // value found must not be changed through the pointer.
  RegValue* FindValue(std::string_view name);
  const RegValue* FindValue(std::string_view name) const;
  // Appends a comment, or a value whose name is new; a value whose name is taken replaces the
  // earlier one in its place (as an import does).
  RegValue& PutValue(RegValue value);
  // Removes the named value; false when there is none.
  bool RemoveValue(std::string_view name);

 private:
  std::vector<RegValue> values_;
  std::unordered_map<std::string, size_t> index_;  // folded name -> position in values_
};

class RegDocument {
 public:
  std::vector<std::string> prelude;  // comment lines between "REGEDIT4" and the first section

  const std::vector<RegSection>& sections() const { return sections_; }
  RegSection* FindSection(const std::vector<std::string>& path);
  const RegSection* FindSection(const std::vector<std::string>& path) const;
  // True when the key has a section of its own or lies above a key that has one.
  bool KeyExists(const std::vector<std::string>& path) const;
  // The key's section, added next to its relatives when missing (*created tells which). Parts
  // of the path that exist already keep the letter case they have in the file.
  RegSection& EnsureSection(const std::vector<std::string>& path, bool* created);
  // The key's section, appended at the end when missing (the order of a file being read).
  RegSection& FindOrAppendSection(std::vector<std::string> path, std::string header_line);

 private:
  void Index(size_t position);

  std::vector<RegSection> sections_;
  std::unordered_map<std::string, size_t> section_index_;  // folded path -> position
  std::unordered_set<std::string> key_prefixes_;           // folded paths of keys that exist
};

struct RegParseResult {
  RegDocument document;
  size_t error_line = 0;  // 1-based line of the first fault; 0 when the text parsed
  std::string error;
  bool ok() const { return error_line == 0; }
};

// Parses the whole file. Empty text is an empty document. Lines end in CR LF or LF. Sections
// and values that occur twice are merged (the later value wins), as an import would do.
// Deletion lines ("[-KEY]", "name"=-) are reported as faults.
RegParseResult ParseRegFile(std::string_view bytes);

// "REGEDIT4", a blank line, then every section followed by a blank line; CR LF line ends.
std::string SerializeRegFile(const RegDocument& document);

// Letter case of ASCII letters ignored; the second byte of a two-byte character compares exactly.
bool RegNamesEqual(std::string_view a, std::string_view b);
// The name with the letters of its one-byte characters upper-cased: equal for names that
// RegNamesEqual finds equal, and only for those.
std::string FoldRegName(std::string_view name);

// Splits "\SOFTWARE\Tarsil" at backslashes that are characters of their own; empty parts dropped.
std::vector<std::string> SplitRegKeyPath(std::string_view path);

// Empty when the text can be stored as a name or string; otherwise why not (CR, LF and NUL have
// no place in a line, and a lead byte directly before a double quote cannot be escaped
// unambiguously).
std::string RegTextProblem(std::string_view text);

// "text" with \\ and \" escapes; the caller has checked RegTextProblem.
std::string QuoteRegString(std::string_view text);

}  // namespace tarsil
