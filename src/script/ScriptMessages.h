// Texts the script engine shows, as CP932 bytes (the UTF-8 form is in the comment above each).
#pragma once

#include <string_view>

namespace tarsil {

// 実行中
inline constexpr std::string_view kRunningText = "\x8e\xc0\x8ds\x92\x86";
// OKボタンを押してください
inline constexpr std::string_view kPauseDefaultText =
    "OK\x83{\x83^\x83\x93\x82\xf0\x89\x9f\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2";
// TARSIL
inline constexpr std::string_view kPauseCaption = "TARSIL";
// WaitTimerコマンドの指定が不正です
inline constexpr std::string_view kWaitTimerBadText =
    "WaitTimer\x83R\x83}\x83\x93\x83h\x82\xcc\x8ew\x92\xe8\x82\xaa\x95s\x90\xb3\x82\xc5\x82\xb7";
// Tarsil
inline constexpr std::string_view kWaitTimerCaption = "Tarsil";
// 現在未実装
inline constexpr std::string_view kNotImplementedText = "\x8c\xbb\x8d\xdd\x96\xa2\x8e\xc0\x91\x95";
// Ｔａｒｓｉｌ
inline constexpr std::string_view kApplicationTitle =
    "\x82s\x82\x81\x82\x92\x82\x93\x82\x89\x82\x8c";
// local Cd complete
inline constexpr std::string_view kLocalCdComplete = "local Cd complete";
// local Cd fail
inline constexpr std::string_view kLocalCdFail = "local Cd fail";
// local file delete complete.
inline constexpr std::string_view kLocalDeleteComplete = "local file delete complete.";
// local file delete fail
inline constexpr std::string_view kLocalDeleteFail = "local file delete fail";

}  // namespace tarsil
