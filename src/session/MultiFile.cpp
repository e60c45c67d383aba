// TLowFTP's multi-file operations: Mget, Mput and Mdel run the single operations once per name
// chosen by a mask from the remote listing or the local folder.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/TextHelpers.h"
#include "session/LowFTP.h"
#include "session/MatchMask.h"
#include "session/SessionTexts.h"

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

void TLowFTP::AddNameToken(const std::string& line, std::vector<std::string>& list) {
  int field = LooseStrToInt(Params.Get("NAMETOKEN"));
  if (field == 0) field = 9;
  std::string rest = line;
  std::string word;
  for (int i = 0; i < std::max(field, 1); ++i) word = NextToken(rest, " ");
  list.push_back(word);
}

std::vector<std::string> TLowFTP::BuildRemoteList(std::string_view mask) {
  std::vector<std::string> list;
  try {
    ConnectedCheck();
    List("", nullptr);  // its result is not examined
    const TMFtpFileInfoList& files = Ftp().CurrentFiles();
    const std::vector<std::string>& raw = Ftp().RawListing();
    if (Params.Get("CUSTOMFILE") != "Y" && files.Count() > 0) {
      list.reserve(static_cast<size_t>(files.Count()));
      for (int i = 0; i < files.Count(); ++i)
        list.push_back(TrimBlanks(files.GetEntry(i).FileName));
    } else {
      for (const std::string& line : raw) AddNameToken(line, list);
    }
    // The names are the work from here on: the listing they came from need not stay beside them.
    Ftp().ReleaseListing();
    std::erase_if(
        list, [](const std::string& name) { return name.empty() || name == "." || name == ".."; });
    if (!TrimBlanks(mask).empty()) {
      FileMask matcher(mask);
      std::erase_if(list, [&matcher](const std::string& name) { return !matcher.Matches(name); });
    }
  } catch (const std::exception& failure) {
    AddLog("999 " + TrimBlanks(failure.what()), false);
    list.clear();
  }
  return list;
}

std::vector<std::string> TLowFTP::BuildLocalList(std::string_view mask) {
  std::vector<std::string> list = ListFiles("");
  if (TrimBlanks(mask).empty()) return list;
  FileMask matcher(mask, Params.Get("CHECKCASE") == "Y");
  std::erase_if(list, [&matcher](const std::string& name) { return !matcher.Matches(name); });
  return list;
}

// The shape all three share: the start marker, the names, the count line or "該当ファイル無し", one
// single operation per name (the last result counts), the end marker.
int TLowFTP::RunOverNames(const std::string& start_marker, std::string_view end_marker,
                          const char* count_format,
                          const std::function<std::vector<std::string>()>& build,
                          const std::function<int(const std::string&)>& run) {
  AddLog(start_marker, true);
  return Guarded([&] {
    ConnectedCheck();
    std::vector<std::string> names = build();
    int result = 999;
    if (names.empty()) {
      AddLog("999 " + std::string(kNoMatchingFileText), false);
    } else {
      AddLog(CountLine(count_format, names.size()), false);
      for (const std::string& name : names) result = run(name);
    }
    AddLog(end_marker, true);
    return result;
  });
}

int TLowFTP::Mget(std::string_view mask) {
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

int TLowFTP::Mdel(std::string_view mask) {
  return RunOverNames(
      "-- Mdel start -- [" + std::string(mask) + "] ", "-- Mdel End --",
      "mdel will delete %d files ", [&] { return BuildRemoteList(mask); },
      [this](const std::string& name) { return Delete(name); });
}

int TLowFTP::Mput(std::string_view mask) {
  return RunOverNames(
      "-- Mput start -- " + std::string(mask), "-- Mput End -- ", "mput will upload %d files ",
      [&] { return BuildLocalList(mask); },
      [this](const std::string& name) { return Upload(name, ""); });
}

}  // namespace tarsil
