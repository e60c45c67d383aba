// FtpSession's multi-file operations: Mget, Mput and Mdel run the single operations once per name
// chosen by a mask from the remote listing or the local folder.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"
#include "platform/TextHelpers.h"
#include "session/FtpSession.h"
#include "session/MatchMask.h"
#include "session/SessionMessages.h"

namespace tarsil {
namespace {

std::string CountLine(const char* format, size_t count) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, static_cast<int>(count));
  return buffer;
}

// A name from the server that would leave the current local folder, or name no file in it.
bool UnsafeLocalName(const std::string& name) {
  if (name == "." || name == "..") return true;
  for (size_t pos = 0; pos < name.size(); pos += CharLengthAt(name, pos)) {
    if (CharLengthAt(name, pos) == 1 && (name[pos] == '/' || name[pos] == '\\')) return true;
  }
  return false;
}

// A symbolic link sits under the name in the current local folder (it may point anywhere).
bool IsSymbolicLink(const std::string& name) {
  std::error_code error;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(NativePath(name), error));
}

}  // namespace

std::string FtpSession::NameToken(std::string_view line, int field) {
  std::string rest(line);
  std::string word;
  for (int i = 0; i < std::max(field, 1); ++i) word = NextToken(rest, " ");
  return word;
}

PackedStrings FtpSession::BuildRemoteList(std::string_view mask) {
  PackedStrings list;
  try {
    ConnectedCheck();
    quiet_lost_names_ = true;  // named below, as far as the mask chooses them
    List("", nullptr);         // its result is not examined
    quiet_lost_names_ = false;
    std::optional<FileMask> matcher;
    if (!TrimBlanks(mask).empty()) matcher.emplace(mask);
    // Only the names the mask chooses are kept, in listing order.
    const auto take = [&list, &matcher](const std::string& name) {
      if (name.empty() || name == "." || name == "..") return;
      if (matcher && !matcher->Matches(name)) return;
      list.Add(name);
    };
    const RemoteEntryList& files = Ftp().CurrentFiles();
    const PackedStrings& raw = Ftp().RawListing();
    if (Params.Get("CUSTOMFILE") != "Y" && files.Count() > 0) {
      for (int i = 0; i < files.Count(); ++i) take(TrimBlanks(files.FileNameAt(i)));
    } else {
      std::vector<bool> lost(raw.size(), false);  // their names would not designate the file
      for (const LostListingLine& line : Ftp().LostListingLines()) {
        if (line.raw_index < lost.size()) lost[line.raw_index] = true;
      }
      int field = LooseStrToInt(Params.Get("NAMETOKEN"));
      if (field == 0) field = 9;
      for (size_t i = 0; i < raw.size(); ++i) {
        if (!lost[i]) take(NameToken(raw[i], field));
      }
    }
    for (const LostListingLine& lost : Ftp().LostListingLines()) {
      // A folder is no file to take; a file is chosen by the mask on its name with "?" for what
      // CP932 lacks (one the parser could not read is named whatever the mask).
      if (lost.folder) continue;
      const std::string name = TrimBlanks(lost.shown_name);
      if (matcher && !name.empty() && !matcher->Matches(name)) continue;
      ReportLostServerLine(lost);
      names_left_out_ = true;
    }
    // The names are the work from here on: the listing they came from need not stay beside them.
    Ftp().ReleaseListing();
    list.ShrinkToFit();
  } catch (const std::exception& failure) {
    quiet_lost_names_ = false;
    AddLog("999 " + TrimBlanks(failure.what()), false);
    list.Release();
  }
  return list;
}

PackedStrings FtpSession::BuildLocalList(std::string_view mask) {
  std::vector<std::string> left_out;
  std::vector<std::string> list = ListFiles("", &left_out);
  std::optional<FileMask> matcher;
  if (!TrimBlanks(mask).empty()) matcher.emplace(mask, Params.Get("CHECKCASE") == "Y");
  if (matcher) {
    std::erase_if(list, [&matcher](const std::string& name) { return !matcher->Matches(name); });
  }
  std::sort(left_out.begin(), left_out.end());
  for (const std::string& name : left_out) {
    // Chosen by the mask on the name with "?" for what CP932 lacks.
    if (matcher && !matcher->Matches(Utf8ToCp932(name))) continue;
    const std::string shown = IsValidUtf8(name) ? name : Cp932ToUtf8(Utf8ToCp932(name));
    AddLogUtf8("999 " + Cp932ToUtf8(kLocalNameLeftOutText) + shown);
    names_left_out_ = true;
  }
  PackedStrings names;
  for (const std::string& name : list) names.Add(name);
  return names;
}

// The shape all three share: the start marker, the names, the count line or "該当ファイル無し", one
// single operation per name (the last result counts), the end marker.
int FtpSession::RunOverNames(const std::string& start_marker, std::string_view end_marker,
                             const char* count_format, const std::function<PackedStrings()>& build,
                             const std::function<int(const std::string&)>& run) {
  AddLog(start_marker, true);
  names_left_out_ = false;
  return Guarded([&] {
    ConnectedCheck();
    const PackedStrings names = build();
    int result = 999;
    if (names.empty()) {
      AddLog("999 " + std::string(kNoMatchingFileText), false);
    } else {
      AddLog(CountLine(count_format, names.size()), false);
      for (std::string_view name : names) result = run(std::string(name));
    }
    if (names_left_out_) result = 999;  // the others went; what was left out makes it fail
    AddLog(end_marker, true);
    return result;
  });
}

int FtpSession::Mget(std::string_view mask) {
  return RunOverNames(
      "-- Mget start -- [" + std::string(mask) + "] ", "-- Mget End --",
      "mget will download %d files ", [&] { return BuildRemoteList(mask); },
      [this](const std::string& name) {
        if (UnsafeLocalName(name)) {
          // The name came from the server: it must not reach outside the current folder.
          AddLog("999 Skipped a name from the server that is no plain file name: " + name, false);
          return 999;
        }
        if (IsSymbolicLink(name)) {
          // The server chose the name: writing through a link would let it reach any file.
          AddLog("999 " + name + " is a symbolic link here and is not written through", false);
          return 999;
        }
        return Download(name, "");
      });
}

int FtpSession::Mdel(std::string_view mask) {
  return RunOverNames(
      "-- Mdel start -- [" + std::string(mask) + "] ", "-- Mdel End --",
      "mdel will delete %d files ", [&] { return BuildRemoteList(mask); },
      [this](const std::string& name) { return Delete(name); });
}

int FtpSession::Mput(std::string_view mask) {
  return RunOverNames(
      "-- Mput start -- " + std::string(mask), "-- Mput End -- ", "mput will upload %d files ",
      [&] { return BuildLocalList(mask); },
      [this](const std::string& name) { return Upload(name, ""); });
}

}  // namespace tarsil
