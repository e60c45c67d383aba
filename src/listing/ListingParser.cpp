#include "listing/ListingParser.h"

#include <utility>

#include "listing/ListingDates.h"
#include "listing/ListingText.h"

namespace tarsil {

namespace {

// Names of the usual DOS-style layout start in column 40.
constexpr size_t kDosNameColumn = 39;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Date of a Unix-style line: `word_count` words from word n, joined by single spaces.
std::string ListingDate(std::string_view line, int n, int word_count,
                        std::string_view current_year_text) {
  std::string words(ListingWord(line, n));
  for (int i = 1; i < word_count; ++i) {
    words += ' ';
    words += ListingWord(line, n + i);
  }
  return UnixDateText(words, current_year_text);
}

// The link of every layout but EPLF and DOS-style: the text from "->", which also decides
// whether the entry is a folder.
void ApplyLink(std::string_view line, ListingEntry& entry) {
  entry.info.Link = ListingLink(line);
  if (!entry.info.Link.empty()) entry.is_folder = LinkIsFolder(entry.info.Link);
}

// True when word 0 carries the link count glued to the ten permission characters
// ("-rw-r--r--1", "drwxr-x---+1464"). An access-control or attribute mark alone
// ("drwxr-xr-x+", "-rw-r--r--@", "-rw-r--r--.") is part of the permissions.
bool LinkCountGlued(std::string_view permissions) {
  if (permissions.size() <= 10) return false;
  size_t i = 10;
  if (permissions[i] == '+' || permissions[i] == '@' || permissions[i] == '.') ++i;
  return i < permissions.size() && IsDigit(permissions[i]);
}

// The name of a DOS-style line: after the size word (or "<DIR>") and the run of spaces behind
// it. That is column 40 in the usual layout (a date word of eight characters), where the name
// keeps any leading blanks; lines with four-digit years, 24-hour times or wide sizes put it
// elsewhere, and there the name starts after the blanks. Untrimmed.
std::string_view DosName(std::string_view line) {
  size_t pos = 0;
  const auto skip_word = [&] {
    while (pos < line.size() && line[pos] != ' ') ++pos;
  };
  const auto skip_spaces = [&] {
    while (pos < line.size() && line[pos] == ' ') ++pos;
  };
  skip_word();
  const bool usual_columns = pos == 8;
  skip_spaces();
  skip_word();
  skip_spaces();
  skip_word();
  const size_t size_end = pos;
  if (size_end >= line.size()) {
    // No word after the date and time but one: the name stands where the size would.
    return line.size() > kDosNameColumn ? line.substr(kDosNameColumn) : std::string_view();
  }
  skip_spaces();
  size_t name_start = pos;
  if (usual_columns && size_end <= kDosNameColumn && kDosNameColumn <= name_start) {
    name_start = kDosNameColumn;
  }
  return line.substr(name_start);
}

std::optional<ListingEntry> ParseDosLine(std::string_view line) {
  ListingEntry entry;
  entry.info.Size = ListingWord(line, 2);
  if (entry.info.Size == "<DIR>") {
    entry.is_folder = true;
    entry.info.Size = "0";
  }
  std::optional<std::string> date = DosDateText(ListingWord(line, 0), ListingWord(line, 1));
  if (!date) return std::nullopt;
  entry.info.Date = std::move(*date);
  entry.info.FileName = DosName(line);
  return entry;
}

// IBM VM/CMS: file name, file type, ..., size in word 3, date and time in words 6 and 7.
std::optional<ListingEntry> ParseVmLine(std::string_view line) {
  ListingEntry entry;
  entry.info.FileName = std::string(ListingWord(line, 0)) + "." + std::string(ListingWord(line, 1));
  entry.info.Size = ListingWord(line, 3);
  entry.info.Date = HostDateText(ListingWord(line, 6), ListingWord(line, 7));
  ApplyLink(line, entry);
  return entry;
}

std::optional<ListingEntry> ParseVmVpsLine(std::string_view line) {
  static constexpr std::string_view kNotEntries[] = {"=", "totals:", " rf trks", "track limit"};
  for (std::string_view marker : kNotEntries) {
    if (FindOnCharBoundary(line, marker) != std::string_view::npos) return std::nullopt;
  }
  ListingEntry entry;
  entry.info.FileName = "." + std::string(ListingWord(line, 1));
  entry.info.Size = ListingWord(line, 2);
  entry.info.Date = HostDateText(ListingWord(line, 7), ListingWord(line, 6));
  ApplyLink(line, entry);
  return entry;
}

}  // namespace

ListingParser::ListingParser() : ListingParser(CurrentYearText()) {}

ListingParser::ListingParser(std::string current_year_text)
    : current_year_text_(std::move(current_year_text)) {}

std::optional<ListingEntry> ListingParser::ParseListingLine(FtpServerType server_type,
                                                            std::string_view line) {
  if (line.empty()) return std::nullopt;
  if (line[0] == '+') return ParseEplfLine(line);
  switch (server_type) {
    case ftpstVmsMultinet:
    case ftpstVmsUcx:
      return ParseVmsLine(line);
    case ftpstVM:
      return ParseVmLine(line);
    case ftpstVMVPS:
      return ParseVmVpsLine(line);
    default:
      return ParseGeneralLine(server_type, line);
  }
}

std::optional<ListingEntry> ListingParser::ParseEplfLine(std::string_view line) {
  ListingEntry entry;
  entry.info.Size = "0";
  entry.info.Date = kUnreadableDateText;
  const auto apply_fact = [&entry](std::string_view fact) {
    if (fact.empty()) return;
    const std::string_view value = fact.substr(1);
    switch (fact[0]) {
      case '/':
        entry.is_folder = true;
        break;
      case 'r':
        entry.is_folder = false;
        break;
      case 's':
        entry.info.Size = value;
        break;
      case 'm':
        entry.info.Date = EpochDateText(value);
        break;
      case 'i':
        entry.info.Link = value;
        break;
      default:
        break;
    }
  };

  std::string_view rest = line.substr(line.empty() ? 0 : 1);
  const size_t tab = rest.find('\t');
  if (tab != std::string_view::npos) {
    // The facts end at the tab; the name after it may hold commas of its own.
    std::string_view facts = rest.substr(0, tab);
    while (true) {
      const size_t comma = facts.find(',');
      apply_fact(facts.substr(0, comma));
      if (comma == std::string_view::npos) break;
      facts.remove_prefix(comma + 1);
    }
    rest.remove_prefix(tab);
  } else {
    for (size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
      apply_fact(rest.substr(0, comma));
      rest.remove_prefix(comma + 1);
    }
  }
  entry.info.FileName = TrimBlanksAndControls(rest);
  if (entry.info.FileName.empty()) return std::nullopt;
  return entry;
}

std::optional<ListingEntry> ListingParser::ParseVmsLine(std::string_view line) {
  std::string text;
  if (!pending_vms_text_.empty()) {
    // The previous line held a long name alone; this one holds the rest of its entry. The
    // space keeps the name apart from a continuation line that starts without blanks.
    text = std::exchange(pending_vms_text_, std::string());
    text += ' ';
  }
  text += line;
  if (text.find(';') == std::string::npos) return std::nullopt;  // headings, totals

  std::string_view name = ListingWord(text, 0);
  if (name.empty()) {
    // Only a name with no space at all waits for the next line. A line that merely starts with
    // a blank is not an entry, and must not swallow the lines after it.
    if (text.find(' ') == std::string::npos) pending_vms_text_ = std::move(text);
    return std::nullopt;
  }
  name = name.substr(0, name.find(';'));  // the version number goes

  ListingEntry entry;
  const size_t dir = name.find(".DIR");
  if (dir != std::string_view::npos) {
    entry.is_folder = true;
    name = name.substr(0, dir);
  }
  entry.info.FileName = name;
  entry.info.Size = ListingWord(text, 1);
  entry.info.Date = HostDateText(ListingWord(text, 2), ListingWord(text, 3));
  ApplyLink(text, entry);
  return entry;
}

std::optional<ListingEntry> ListingParser::ParseGeneralLine(FtpServerType server_type,
                                                            std::string_view line) const {
  switch (line[0]) {
    case '-':
    case 'f':
      return ParseUnixLine(server_type, line, /*is_folder=*/false);
    case 'd':
    case 'l':
      return ParseUnixLine(server_type, line, /*is_folder=*/true);
    default:
      if (IsDigit(line[0])) return ParseDosLine(line);
      return std::nullopt;  // "total" lines, devices, headings
  }
}

std::optional<ListingEntry> ListingParser::ParseUnixLine(FtpServerType server_type,
                                                         std::string_view line,
                                                         bool is_folder) const {
  ListingEntry entry;
  entry.is_folder = is_folder;
  const std::string_view permissions = ListingWord(line, 0);
  entry.info.Attributes = permissions;
  entry.info.Owner = ListingWord(line, 2);
  entry.info.Group = ListingWord(line, 3);

  int n = 4;  // the word holding the size
  switch (server_type) {
    case ftpstNetTerm:
      n = 2;
      break;
    case ftpstNetware:
      n = 3;
      break;
    case ftpstNetPresenz:
      n = is_folder ? 2 : 3;
      break;
    default: {
      const std::string_view links = ListingWord(line, 1);
      if (links.empty()) return std::nullopt;
      if (links[0] == '[' || LinkCountGlued(permissions)) n = 3;
      break;
    }
  }
  entry.info.Size = ListingWord(line, n);
  entry.info.Date = ListingDate(line, n + 1, 3, current_year_text_);
  entry.info.FileName = ListingName(line, n + 3);
  ApplyLink(line, entry);
  return entry;
}

}  // namespace tarsil
