// Texts the FTP session writes to the log, as CP932 bytes (the UTF-8 form is in the comment above
// each).
#pragma once

#include <string_view>

namespace tarsil {

// Loginしていません
inline constexpr std::string_view kNotLoggedInText =
    "Login\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";
// タイムアウトエラー
inline constexpr std::string_view kTimeOutText =
    "\x83^\x83"
    "C\x83\x80\x83"
    "A\x83"
    "E\x83g\x83G\x83\x89\x81[";
// Local File Not Fount
inline constexpr std::string_view kLocalFileNotFoundText = "Local File Not Fount";
// 該当ファイル無し
inline constexpr std::string_view kNoMatchingFileText =
    "\x8aY\x93\x96\x83t\x83@\x83"
    "C\x83\x8b\x96\xb3\x82\xb5";
// The login chain ended without the server accepting the login.
inline constexpr std::string_view kLoginIncompleteText = "The login was not completed";
// A request ended without the connection and without a text of its own.
inline constexpr std::string_view kConnectionLostText = "The connection to the server was lost";

// Names that cannot be held in CP932 are left out of a multi-file operation, never silently.
inline constexpr std::string_view kServerNameLeftOutText =
    "A name on the server has no CP932 form and was left out: ";
inline constexpr std::string_view kLocalNameLeftOutText =
    "A local name has no CP932 form and was left out: ";

}  // namespace tarsil
