// Texts of the application shell, as CP932 bytes (the UTF-8 form is in the comment above each).
#pragma once

#include <string_view>

namespace tarsil {

// 999 予期せぬエラー：
inline constexpr std::string_view kUnexpectedErrorPrefix =
    "999 \x97\x5c\x8a\xfa\x82\xb9\x82\xca\x83G\x83\x89\x81[\x81"
    "F";
// FTPセッション接続中です  切断していいですか
inline constexpr std::string_view kConfirmDisconnect =
    "FTP\x83Z\x83"
    "b\x83V\x83\x87\x83\x93\x90\xda\x91\xb1\x92\x86\x82\xc5\x82\xb7  \x90\xd8\x92"
    "f\x82\xb5\x82\xc4\x82\xa2\x82\xa2\x82\xc5\x82\xb7\x82\xa9";
// ＦＴＰコマンドスクリプトを実行中です  強制終了していいですか
inline constexpr std::string_view kConfirmForceEnd =
    "\x82"
    "e\x82s\x82o\x83R\x83}"
    "\x83\x93\x83h\x83X\x83N\x83\x8a\x83v\x83g\x82\xf0\x8e\xc0\x8ds\x92\x86\x82\xc5\x82\xb7  "
    "\x8b\xad\x90\xa7\x8fI\x97\xb9\x82\xb5\x82\xc4\x82\xa2\x82\xa2\x82\xc5\x82\xb7\x82\xa9";
// 現在の Command Scriptを保存しますか？
inline constexpr std::string_view kAskSaveScript =
    "\x8c\xbb\x8d\xdd\x82\xcc Command "
    "Script\x82\xf0\x95\xdb\x91\xb6\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81H";
// 変更
inline constexpr std::string_view kModifiedText = "\x95\xcf\x8dX";
// Tarsil
inline constexpr std::string_view kDialogCaption = "Tarsil";
// newfile
inline constexpr std::string_view kNewFileName = "newfile";
// Tarsil -
inline constexpr std::string_view kCaptionPrefix = "Tarsil -";
// Tarsil.log
inline constexpr std::string_view kDefaultLogName = "Tarsil.log";

}  // namespace tarsil
