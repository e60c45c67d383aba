// The exit statuses of the process, in one place so that the start-up, both faces, the help text
// and the tests agree. An unattended run exits 0 unless the script or the user says otherwise.
#pragma once

namespace tarsil {

inline constexpr int kExitOk = 0;
// With --exit-status: a line of the run left the result state at Error.
inline constexpr int kExitErrors = 1;
// The script file could not be read (missing, unreadable, a scrambled file that does not decode).
inline constexpr int kExitScriptUnreadable = 2;
// The stored options could not be read: nothing was run.
inline constexpr int kExitOptionsUnreadable = 3;
// A close forced by SIGINT or SIGTERM exits with this plus the signal number.
inline constexpr int kExitSignalBase = 128;

}  // namespace tarsil
