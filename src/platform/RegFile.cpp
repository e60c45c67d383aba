#include "platform/RegFile.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/CodePage.h"

namespace tarsil {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kLineEnd = "\r\n";

bool IsTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Length of the character at text[i]: 2 for a lead byte followed by a byte that can follow it.
// Reader and writer of quoted strings both split text with this, which keeps them in step.
size_t CharLength(std::string_view text, size_t i) {
  return IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                 IsTrailByte(static_cast<unsigned char>(text[i + 1]))
             ? 2
             : 1;
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Lines without their ends: split at LF, one CR before it dropped.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

// Reads the quoted string that starts at text[pos]; pos ends after the closing quote. \\ and \"
// are escapes; a backslash before anything else is an ordinary character.
bool ReadQuoted(std::string_view text, size_t& pos, std::string& out) {
  for (++pos; pos < text.size();) {
    if (CharLength(text, pos) == 2) {
      out.append(text.substr(pos, 2));
      pos += 2;
    } else if (text[pos] == '"') {
      ++pos;
      return true;
    } else if (text[pos] == '\\' && pos + 1 < text.size() &&
               (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
      out += text[pos + 1];
      pos += 2;
    } else {
      out += text[pos++];
    }
  }
  return false;
}

// "00,0a,FF" with blanks anywhere between the bytes; empty is an empty list.
bool IsHexByteList(std::string_view list) {
  if (TrimBlanks(list).empty()) return true;
  while (true) {
    size_t comma = list.find(',');
    std::string_view item = TrimBlanks(list.substr(0, comma));
    if (item.empty() || item.size() > 2 || HexDigit(item[0]) < 0 ||
        (item.size() == 2 && HexDigit(item[1]) < 0)) {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

// Number of leading path components equal in both (letter case ignored).
size_t CommonPrefix(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && RegNamesEqual(a[n], b[n])) ++n;
  return n;
}

// The index key of the first `count` parts of a key path: each part folded and prefixed with its
// length, so that no two different paths share a key.
std::string PathKey(const std::vector<std::string>& path, size_t count) {
  std::string key;
  for (size_t i = 0; i < count; ++i) {
    std::string folded = FoldRegName(path[i]);
    key += std::to_string(folded.size());
    key += ':';
    key += folded;
  }
  return key;
}

std::string ValueLine(const RegValue& value) {
  std::string line = value.name.empty() ? std::string("@") : QuoteRegString(value.name);
  line += '=';
  if (value.kind == RegValue::Kind::kString) {
    line += QuoteRegString(value.text);
  } else {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
    line += "dword:";
    line += digits;
  }
  return line;
}

// Parses the data after "name"= into value; on continuation lines of hex data advances index.
// Returns the fault, or empty.
std::string ParseData(std::string_view data, const std::vector<std::string_view>& lines,
                      size_t& index, RegValue& value) {
  if (!data.empty() && data.front() == '"') {
    size_t pos = 0;
    if (!ReadQuoted(data, pos, value.text)) return "the string has no closing quote";
    if (!TrimBlanks(data.substr(pos)).empty()) return "unexpected text after the string";
    value.kind = RegValue::Kind::kString;
    return {};
  }
  if (data == "-") return "value deletion lines are not supported";
  if (StartsWithNoCase(data, "dword:")) {
    std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return "a dword needs 1 to 8 hex digits";
    uint32_t number = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return "a dword needs 1 to 8 hex digits";
      number = number * 16 + static_cast<uint32_t>(HexDigit(c));
    }
    value.kind = RegValue::Kind::kDword;
    value.dword = number;
    return {};
  }
  if (StartsWithNoCase(data, "hex")) {
    size_t pos = 3;
    if (pos < data.size() && data[pos] == '(') {
      size_t close = data.find(')', pos);
      if (close == std::string_view::npos || close == pos + 1) return "bad hex value type";
      for (size_t i = pos + 1; i < close; ++i) {
        if (HexDigit(data[i]) < 0) return "bad hex value type";
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') return "':' expected after the hex type";
    std::string list;
    std::string_view piece = data.substr(pos + 1);
    while (true) {
      piece = TrimBlanks(piece);
      if (piece.empty() || piece.back() != '\\' || index + 1 >= lines.size()) break;
      list.append(piece.substr(0, piece.size() - 1));
      piece = lines[++index];
      value.lines.emplace_back(piece);
    }
    list.append(piece);
    if (!IsHexByteList(list)) return "bad hex byte list";
    value.kind = RegValue::Kind::kOther;
    return {};
  }
  return "unknown value type";
}

}  // namespace

RegSection::RegSection(std::vector<std::string> key_path, std::string header)
    : path(std::move(key_path)), header_line(std::move(header)) {}

RegValue* RegSection::FindValue(std::string_view name) {
  auto found = index_.find(FoldRegName(name));
  return found == index_.end() ? nullptr : &values_[found->second];
}

const RegValue* RegSection::FindValue(std::string_view name) const {
  return const_cast<RegSection*>(this)->FindValue(name);
}

RegValue& RegSection::PutValue(RegValue value) {
  if (value.kind == RegValue::Kind::kComment) return values_.emplace_back(std::move(value));
  auto [slot, added] = index_.try_emplace(FoldRegName(value.name), values_.size());
  if (!added) return values_[slot->second] = std::move(value);
  return values_.emplace_back(std::move(value));
}

bool RegSection::RemoveValue(std::string_view name) {
  auto found = index_.find(FoldRegName(name));
  if (found == index_.end()) return false;
  const size_t position = found->second;
  index_.erase(found);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& entry : index_) {
    if (entry.second > position) --entry.second;
  }
  return true;
}

RegSection* RegDocument::FindSection(const std::vector<std::string>& path) {
  auto found = section_index_.find(PathKey(path, path.size()));
  return found == section_index_.end() ? nullptr : &sections_[found->second];
}

const RegSection* RegDocument::FindSection(const std::vector<std::string>& path) const {
  return const_cast<RegDocument*>(this)->FindSection(path);
}

bool RegDocument::KeyExists(const std::vector<std::string>& path) const {
  if (path.empty()) return !sections_.empty();
  return key_prefixes_.contains(PathKey(path, path.size()));
}

void RegDocument::Index(size_t position) {
  const std::vector<std::string>& path = sections_[position].path;
  section_index_[PathKey(path, path.size())] = position;
  for (size_t n = 1; n <= path.size(); ++n) key_prefixes_.insert(PathKey(path, n));
}

RegSection& RegDocument::EnsureSection(const std::vector<std::string>& path, bool* created) {
  if (RegSection* found = FindSection(path)) {
    *created = false;
    return *found;
  }
  *created = true;
  RegSection section(path, {});
  std::vector<bool> spelled(path.size(), false);
  size_t best = 0;  // longest common prefix with any section
  size_t insert_at = sections_.size();
  for (size_t i = 0; i < sections_.size(); ++i) {
    size_t common = CommonPrefix(sections_[i].path, path);
    for (size_t c = 0; c < common; ++c) {
      if (!spelled[c]) section.path[c] = sections_[i].path[c];
      spelled[c] = true;
    }
    if (common > 0 && common >= best) {
      best = common;
      insert_at = i + 1;
    }
  }
  sections_.insert(sections_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(section));
  // The sections after the new one moved up by one.
  for (auto& entry : section_index_) {
    if (entry.second >= insert_at) ++entry.second;
  }
  Index(insert_at);
  return sections_[insert_at];
}

RegSection& RegDocument::FindOrAppendSection(std::vector<std::string> path,
                                             std::string header_line) {
  if (RegSection* found = FindSection(path)) return *found;
  sections_.emplace_back(std::move(path), std::move(header_line));
  Index(sections_.size() - 1);
  return sections_.back();
}

RegParseResult ParseRegFile(std::string_view bytes) {
  RegParseResult result;
  RegDocument& document = result.document;
  std::vector<std::string_view> lines = SplitLines(bytes);
  auto fail = [&](size_t index, std::string message) {
    result.document = {};
    result.error_line = index + 1;
    result.error = std::move(message);
    return result;
  };
  if (std::all_of(lines.begin(), lines.end(),
                  [](std::string_view line) { return TrimBlanks(line).empty(); })) {
    return result;
  }
  if (TrimBlanks(lines[0]) != kHeader) return fail(0, "the first line is not \"REGEDIT4\"");
  RegSection* current = nullptr;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = TrimBlanks(lines[i]);
    if (line.empty()) continue;
    if (line.front() == ';') {
      RegValue comment{RegValue::Kind::kComment, {}, {}, 0, {std::string(lines[i])}};
      if (current != nullptr) {
        current->PutValue(std::move(comment));
      } else {
        document.prelude.emplace_back(lines[i]);
      }
    } else if (line.front() == '[') {
      if (line.back() != ']') return fail(i, "a key line must end with ']'");
      std::string_view inner = line.substr(1, line.size() - 2);
      if (!inner.empty() && inner.front() == '-') {
        return fail(i, "key deletion lines are not supported");
      }
      std::vector<std::string> path = SplitRegKeyPath(inner);
      if (path.empty()) return fail(i, "the key has no name");
      current = &document.FindOrAppendSection(std::move(path), std::string(lines[i]));
    } else if (line.front() == '"' || line.front() == '@') {
      if (current == nullptr) return fail(i, "a value before the first key");
      size_t first = i;
      RegValue value;
      value.lines.emplace_back(lines[i]);
      size_t pos = 0;
      if (line.front() == '@') {
        pos = 1;
      } else if (!ReadQuoted(line, pos, value.name)) {
        return fail(i, "the value name has no closing quote");
      }
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos >= line.size() || line[pos] != '=') return fail(i, "'=' expected after the name");
      std::string fault = ParseData(TrimBlanks(line.substr(pos + 1)), lines, i, value);
      if (!fault.empty()) return fail(first, std::move(fault));
      current->PutValue(std::move(value));
    } else {
      return fail(i, "neither a key, a value nor a comment");
    }
  }
  return result;
}

std::string SerializeRegFile(const RegDocument& document) {
  std::string out(kHeader);
  out += kLineEnd;
  out += kLineEnd;
  for (const std::string& line : document.prelude) (out += line) += kLineEnd;
  if (!document.prelude.empty()) out += kLineEnd;
  for (const RegSection& section : document.sections()) {
    if (section.header_line.empty()) {
      out += '[';
      for (size_t i = 0; i < section.path.size(); ++i) {
        if (i > 0) out += '\\';
        out += section.path[i];
      }
      out += ']';
    } else {
      out += section.header_line;
    }
    out += kLineEnd;
    for (const RegValue& value : section.values()) {
      if (value.lines.empty()) {
        (out += ValueLine(value)) += kLineEnd;
      } else {
        for (const std::string& line : value.lines) (out += line) += kLineEnd;
      }
    }
    out += kLineEnd;
  }
  return out;
}

bool RegNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    size_t length = CharLength(a, i);
    if (length == 2 ? a.substr(i, 2) != b.substr(i, 2) : FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string FoldRegName(std::string_view name) {
  std::string folded(name);
  for (size_t i = 0; i < folded.size();) {
    const size_t length = CharLength(folded, i);
    if (length == 1) folded[i] = FoldAscii(folded[i]);
    i += length;
  }
  return folded;
}

std::vector<std::string> SplitRegKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size();) {
    size_t length = CharLength(path, i);
    if (length == 1 && path[i] == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.append(path.substr(i, length));
    }
    i += length;
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::string RegTextProblem(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '\r' || c == '\n' || c == '\0') return "it holds a line break or NUL byte";
    size_t length = CharLength(text, i);
    // A lone lead byte before '"' would be written as lead, '\', '"': read back as a two-byte
    // character and a closing quote.
    if (length == 1 && IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size() &&
        text[i + 1] == '"') {
      return "a lead byte stands directly before a double quote";
    }
    i += length;
  }
  return {};
}

std::string QuoteRegString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    size_t length = CharLength(text, i);
    if (length == 1 && (text[i] == '\\' || text[i] == '"')) out += '\\';
    out.append(text.substr(i, length));
    i += length;
  }
  out += '"';
  return out;
}

}  // namespace tarsil
