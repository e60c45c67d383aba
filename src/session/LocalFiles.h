// Local-file helpers of the session and the main window: "lmdel" (delete files by mask),
// appending the execution log to a file, and a local file's size. Names are CP932; the
// functions hold no state; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

// Splits at the last "\", "/" or ":" into a folder ("" = current folder) and a mask, and
// deletes every file of that folder (dot files included, folders never) whose name matches
// the mask case-blind. Files that cannot be deleted are skipped; an empty mask deletes
// nothing. Throws MaskError for an ill-formed mask, before anything is deleted. The native
// names of files the mask chooses (by their form with "?" for what CP932 lacks) that have no
// CP932 form, and so are not deleted, are added to `left_out` when it is not null.
void DeleteLocalFiles(std::string_view path_mask, std::vector<std::string>* left_out = nullptr);

// Appends each line followed by CR LF, creating the file when missing. False when there are
// no lines or anything fails.
bool AppendLinesToFile(const std::vector<std::string>& lines, std::string_view file_name);

// Size in bytes of an existing file; 0 when there is no such file.
int64_t LocalFileSize(std::string_view path);

}  // namespace tarsil
