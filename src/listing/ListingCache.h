// The listing cache on disk: the last folder list and file list of every remote directory seen,
// one small CP932 text file (CR LF lines) per list in one cache folder. The program sets one
// ListingCache up at start and the engines share it; it holds only the folder, the clock and
// today's stamp. Use it from one thread at a time (the engine's thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "listing/RemoteEntryList.h"

namespace tarsil {

// Which list of a directory a cache file holds ("d" or "f" in its name).
enum class CachedListKind { kFolders, kFiles };

// Every "/" and "\" becomes "-"; every double quote, "*", ":" and "?" becomes `replacement`; all
// other characters stay. A trail byte 0x5C of a two-byte character is no backslash.
std::string ReplaceBadFileChars(std::string_view text, char replacement);

// year * 10000 + month * 100 + day of a local date-time (days since 1899-12-30).
int32_t DateStamp(double date_time);

// Whether a file last written on the day `file_stamp` is still fresh on `today_stamp`: always
// when age_limit_days <= 0, else when file_stamp + age_limit_days > today_stamp. The sum is
// taken on the yyyymmdd numbers, not on calendar days (20240130 + 7 is stale on 20240201).
bool CacheStampIsFresh(int32_t file_stamp, int32_t today_stamp, int32_t age_limit_days);

class ListingCache {
 public:
  // The current local date-time, as Now() gives it.
  using Clock = std::function<double()>;
  // Looks up an environment variable; nullptr when unset.
  using EnvLookup = std::function<const char*(const char*)>;

  // `folder` is a CP932 path (a relative one is taken from the current folder now; a missing
  // trailing "/" is added). An empty folder disables the cache: no names, no files. TodayStamp
  // is taken from `clock` now; nothing is created on disk.
  explicit ListingCache(std::string folder, Clock clock = {});

  // $TARSIL_HOME/ftpcache/, else $XDG_CACHE_HOME/tarsil/ftpcache/ (an absolute one), else
  // $HOME/.cache/tarsil/ftpcache/, in CP932 and absolute. Empty when there is no home folder or
  // the path has no exact CP932 form (the cache then stays off).
  static std::string DefaultFolder(const EnvLookup& lookup = {});

  const std::string& Folder() const { return folder_; }
  int32_t TodayStamp() const { return today_stamp_; }

  // Creates the folder with its parents (the folder itself private to the user; an existing one
  // is kept as it is) and takes TodayStamp anew. False when the folder is not there afterwards.
  bool PrepareCacheDirectory();

  // Folder + key + ".cache" + "d" or "f" + ".ELP". The key is server + "[" + port + "]-" +
  // remote directory, with "(" + user name + ")-" before the directory unless the user name is
  // ftp or anonymous in any letter case, after ReplaceBadFileChars(key, '~'). Empty (nothing is
  // cached for it) when the cache is off, or the key has no exact native form, holds a NUL
  // byte, or would still name anything but one file inside the folder.
  std::string CacheFileName(std::string_view server, std::string_view user_name,
                            std::string_view remote_directory, CachedListKind kind, int port) const;

  // Writes the list: the entry count, then eight lines per entry (FileName, Attributes, Date,
  // Size, Link, Owner, Group, Description). The file is written beside and renamed into place,
  // so a reader sees the old file or the whole new one. A list with a CR or LF byte in any field
  // is not written, and neither is one whose write fails (the folder is then prepared anew); in
  // both cases an older file at `path` is deleted, so it can never stand for this listing.
  // Nothing is reported. An empty path does nothing.
  void SaveCachedList(std::string_view path, const RemoteEntryList& list);

  // Replaces `list` with the cached one and answers true when the file at `path` exists, is
  // fresh (CacheStampIsFresh of its last-write date, TodayStamp and age_limit_days) and is
  // whole: a count line of decimal digits followed by exactly that many eight-line entries,
  // every line ended by CR LF. Otherwise false and `list` is untouched.
  bool LoadCachedList(std::string_view path, RemoteEntryList& list, int32_t age_limit_days) const;

  // Deletes both cache files of a directory (after the server removed it).
  void DeleteCachedLists(std::string_view server, std::string_view user_name,
                         std::string_view remote_directory, int port) const;

 private:
  std::string folder_;
  Clock clock_;
  int32_t today_stamp_ = 0;
};

}  // namespace tarsil
