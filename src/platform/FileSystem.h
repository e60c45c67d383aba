// Local file-system services for names held in CP932. Every name is converted to the native
// UTF-8 at this edge (a "\" becomes "/"); enumerated names come back in CP932. A name that
// cannot be converted exactly designates no file: operations on it fail. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

// The native (UTF-8) form of a CP932 path; unconvertible characters become "?".
std::string NativePath(std::string_view cp932);

// Names (CP932) of the files in a folder ("" is the current folder), in no particular order.
// A file is a regular file, dot files included, or a symbolic link to one; folders, devices,
// FIFOs and sockets are not files. Names without an exact CP932 form are left out. An
// unreadable folder gives an empty list.
std::vector<std::string> ListFiles(std::string_view dir_cp932);
// The same; the native names of the files left out for want of an exact CP932 form are added to
// `left_out` (when not null), so that the caller can name them.
std::vector<std::string> ListFiles(std::string_view dir_cp932, std::vector<std::string>* left_out);

// Something other than a folder exists at path (links followed).
bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);

// Removes a file or link; never a folder nor a link to a folder. False when nothing was removed.
bool DeleteLocalFile(std::string_view path);

// Size in bytes of what path names (links followed); empty for folders and missing paths.
std::optional<int64_t> FileSize(std::string_view path);

// The process's current folder in CP932.
std::string GetCurrentDir();
bool SetCurrentDir(std::string_view path);
bool CreateDir(std::string_view path);

// Whole contents of a regular file; empty when it cannot be read (or is not a regular file).
std::optional<std::string> ReadWholeFile(std::string_view path);

// Replaces the file's contents (creating it). False on any failure, short writes included.
bool WriteWholeFile(std::string_view path, std::string_view bytes);

// Appends to the file (creating it). False on any failure, short writes included.
bool AppendToFile(std::string_view path, std::string_view bytes);

// As WriteWholeFile (or AppendToFile), with the bytes that `source` hands to its sink one piece
// after the other; false also when the source returns false. Long texts need not be in memory.
using PieceSink = std::function<bool(std::string_view)>;
using PieceSource = std::function<bool(const PieceSink&)>;
bool WriteFileInPieces(std::string_view path, bool append, const PieceSource& source);

// Splits after the last "/", "\" or ":" (a trail byte 0x5C is no separator): dir keeps the
// separator, name is the rest. Without a separator dir is empty.
void SplitPath(std::string_view path, std::string& dir, std::string& name);

}  // namespace tarsil
