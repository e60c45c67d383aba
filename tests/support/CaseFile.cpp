#include "support/CaseFile.h"

#include <cctype>
#include <fstream>
#include <set>
#include <stdexcept>

namespace tarsil::testing {
namespace {

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  const size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool ValidName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

size_t Number(const std::string& word) {
  size_t used = 0;
  const unsigned long long value = std::stoull(word, &used);
  if (used != word.size()) throw std::invalid_argument("not a number: " + word);
  return static_cast<size_t>(value);
}

std::set<std::string>& Loaded() {
  static std::set<std::string> loaded;
  return loaded;
}

DataCase Fault(const std::string& file, size_t line, const std::string& reason) {
  DataCase fault;
  fault.file = file;
  fault.name = "UnreadableCaseFile";
  fault.error = file + ":" + std::to_string(line) + ": " + reason;
  return fault;
}

}  // namespace

std::string DataCase::Where(const CaseDirective& directive) const {
  return file + ":" + std::to_string(directive.line);
}

void PrintTo(const DataCase& data, std::ostream* out) { *out << data.file; }

std::vector<std::string> LoadedCaseFiles() { return {Loaded().begin(), Loaded().end()}; }

std::vector<std::string> CaseFilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".case") names.insert(entry.path().filename().string());
  }
  return {names.begin(), names.end()};
}

std::vector<DataCase> LoadCaseFile(const std::filesystem::path& path) {
  const std::string file = path.filename().string();
  Loaded().insert(file);
  std::ifstream in(path);
  if (!in) return {Fault(file, 0, "cannot read " + path.string())};
  std::vector<CaseDirective> shared;
  std::map<std::string, std::vector<std::string>> lists;
  std::vector<DataCase> cases;
  std::vector<CaseDirective>* target = &shared;
  std::string text;
  size_t number = 0;
  bool in_define = false;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (Trim(text).empty() || text[0] == '#') continue;  // an indented # is a block line
    if (text[0] == ' ' || text[0] == '\t') {
      const std::string line = Trim(text);
      if (target->empty()) return {Fault(file, number, "an indented line under nothing")};
      std::vector<std::string>& block = target->back().block;
      if (line[0] == '@') {
        auto found = lists.find(line.substr(1));
        if (found == lists.end()) return {Fault(file, number, "no list named " + line)};
        block.insert(block.end(), found->second.begin(), found->second.end());
      } else {
        block.push_back(DecodeText(line));
      }
      if (in_define) lists[target->back().rest] = block;
      continue;
    }
    CaseDirective directive;
    directive.line = number;
    const std::string line = Trim(text);
    const size_t space = line.find(' ');
    directive.keyword = line.substr(0, space);
    directive.rest = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    in_define = false;
    if (directive.keyword == "case") {
      if (!ValidName(directive.rest)) {
        return {Fault(file, number, "a case name is letters, digits and _: " + directive.rest)};
      }
      for (const DataCase& earlier : cases) {
        if (earlier.name == directive.rest) {
          return {Fault(file, number, "a second case named " + directive.rest)};
        }
      }
      cases.push_back(DataCase{file, directive.rest, shared, ""});
      target = &cases.back().directives;
      continue;
    }
    if (directive.keyword == "define") {
      if (!cases.empty()) return {Fault(file, number, "define belongs before the first case")};
      in_define = true;
      lists[directive.rest] = {};
    }
    target->push_back(std::move(directive));
  }
  if (cases.empty()) return {Fault(file, number, "no case in the file")};
  return cases;
}

std::string DecodeText(const std::string& value) {
  std::string text = value;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'x':
        if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
          out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
          i += 2;
        } else {
          out += "\\x";
        }
        break;
      default:  // no escape: both characters stay
        out += '\\';
        out += next;
        break;
    }
  }
  return out;
}

std::string DecodeBytes(const std::string& value) {
  std::string bytes;
  size_t start = 0;
  while (start <= value.size()) {
    size_t plus = value.find(" + ", start);
    const std::string piece =
        Trim(value.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
    start = plus == std::string::npos ? value.size() + 1 : plus + 3;
    if (piece == "empty") continue;
    if (piece.rfind("text", 0) == 0 && (piece.size() == 4 || piece[4] == ' ')) {
      bytes += DecodeText(piece.size() > 5 ? piece.substr(5) : "");
      continue;
    }
    const std::vector<std::string> words = SplitWords(piece);
    if (words.size() == 3 && words[0] == "fill" && words[2].size() == 1) {
      bytes.append(Number(words[1]), words[2][0]);
    } else if (words.size() == 2 && words[0] == "allbytes") {
      for (size_t i = 0, n = Number(words[1]); i < n; ++i) bytes += static_cast<char>(i % 256);
    } else if (words.size() == 4 && words[0] == "allbytes" && words[2] == "from") {
      for (size_t i = Number(words[3]), n = Number(words[1]); i < n; ++i) {
        bytes += static_cast<char>(i % 256);
      }
    } else {
      throw std::invalid_argument("not a byte form: " + piece);
    }
  }
  return bytes;
}

std::vector<std::string> SplitWords(const std::string& value) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < value.size()) {
    if (value[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = i;
    if (value[i] == '"') {
      end = i + 1;
      while (end < value.size() && value[end] != '"') end += value[end] == '\\' ? 2 : 1;
      end = std::min(end + 1, value.size());
    } else {
      end = value.find(' ', i);
      if (end == std::string::npos) end = value.size();
    }
    words.push_back(DecodeText(value.substr(i, end - i)));
    i = end;
  }
  return words;
}

bool SplitArrow(const std::string& value, std::string& left, std::string& right) {
  const size_t arrow = value.find(" => ");
  if (arrow == std::string::npos) return false;
  left = Trim(value.substr(0, arrow));
  right = Trim(value.substr(arrow + 4));
  return true;
}

std::string Substitute(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values) {
    const std::string marker = "{" + key + "}";
    for (size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + value.size())) {
      text.replace(at, marker.size(), value);
    }
  }
  return text;
}

bool DecodeFlag(const std::string& value) {
  if (value == "yes" || value == "true" || value == "1") return true;
  if (value == "no" || value == "false" || value == "0") return false;
  throw std::invalid_argument("not yes or no: " + value);
}

}  // namespace tarsil::testing
