// The one-line transfer progress that a headless run shows on a terminal: the text of the line
// and the name of the file in transfer, read from the command lines of the execution log. Pure
// functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

// "name  1.5 MiB  12.0 MiB/s  00:00:03" in UTF-8, cut to `columns` characters by shortening the
// name from its front ("...tail.bin") when it would not fit; no line end, no control bytes.
std::string FormatProgressLine(std::string_view name_utf8, int64_t bytes, double seconds,
                               int columns);

// The file named by a RETR, STOR or APPE command in a command line of the log (after a label
// such as "COMMAND:>   "), or nothing for any other line.
std::optional<std::string> TransferNameOfCommand(std::string_view log_text);

}  // namespace tarsil
