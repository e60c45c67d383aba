// The desktop face's own texts (captions, labels, filters) as UTF-8, and the bridge between the
// core's CP932 bytes and Qt's Unicode strings. Texts from the core are converted here, at the edge
// of the widgets, and never kept as UTF-8 inside the core. Pure functions; GUI thread.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil::gui {

// CP932 bytes of the core to Qt text and back. Characters without a CP932 form become "?".
QString FromCp932(std::string_view cp932);
std::string ToCp932(const QString& text);
// For file names: nothing when a character has no CP932 form (the name could not designate the
// file once converted).
std::optional<std::string> ToCp932Exact(const QString& text);
// A native (UTF-8) file name as the core holds it, and back.
QString NativeFromCp932(std::string_view cp932);

inline QString Utf8(const char* text) { return QString::fromUtf8(text); }

namespace texts {

// Main window.
inline constexpr const char* kScriptHeading = " FTPコマンドスクリプト";
inline constexpr const char* kLogHeading = " 実行ログ";
inline constexpr const char* kFileMenu = "ﾌｧｲﾙ";
inline constexpr const char* kNewFile = "新しいファイル &N";
inline constexpr const char* kOpen = "開く &O";
inline constexpr const char* kRecall = "開き直す";
inline constexpr const char* kSave = "上書き保存 &S";
inline constexpr const char* kSaveAs = "名前を変えて保存 &A";
inline constexpr const char* kOption = "設定";
inline constexpr const char* kRun = "実  行";
inline constexpr const char* kStep = "Step実行";
inline constexpr const char* kExit = "終了 &Q";
inline constexpr const char* kEditMenu = "編集";
inline constexpr const char* kCut = "ｶｯﾄ";
inline constexpr const char* kCopy = "ｺﾋﾟｰ";
inline constexpr const char* kPaste = "ﾍﾟｰｽﾄ";
inline constexpr const char* kDelete = "削除";
inline constexpr const char* kSelectAll = "全て選択";
inline constexpr const char* kLogMenu = "ﾛｸﾞ";
inline constexpr const char* kLogSave = "ﾌｧｲﾙに保存";
inline constexpr const char* kLogClear = "ｸﾘｱｰ";
// The first line of the log view once it holds only the last lines of a long log.
inline constexpr const char* kEarlierLogLines = "…これより前の行はログファイルに書き出されます";
inline constexpr const char* kHelpMenu = "ﾍﾙﾌﾟ";
inline constexpr const char* kContents = "目次";
inline constexpr const char* kVersion = "バージョン情報";
inline constexpr const char* kApplicationTitle = "Ｔａｒｓｉｌ";

// File dialogs: description and pattern of each filter.
inline constexpr const char* kOpenFilterPlain = "FTP Command Script( *. fcs )";
inline constexpr const char* kOpenFilterScrambled = "暗号化 Script( *. fcx )";
inline constexpr const char* kSaveFilterPlain = "FTP Command Script( *.fcs )";
inline constexpr const char* kSaveFilterScrambled = "暗号化 Script( *.fcx )";
inline constexpr const char* kLogFilterLog = "Log file";
inline constexpr const char* kLogFilterAll = "全てのファイル";
inline constexpr const char* kOptionsFilterLog = "Tarsil log ";
inline constexpr const char* kOptionsFilterAll = "all files";

// Options dialog.
inline constexpr const char* kOptionsCaption = "Tarsil -Options";
inline constexpr const char* kTimeoutLabel = "TimeOut               秒";
inline constexpr const char* kPassive = "パッシブモードで転送する";
inline constexpr const char* kTextEncodingLabel = "文字コード";
inline constexpr const char* kRunMode = "実行時に隠す";
inline constexpr const char* kDebugMode = "DebugMode";
inline constexpr const char* kLogSaveOption = "Logファイルの保存";
inline constexpr const char* kLogOverwrite = "Logファイルの上書き";
inline constexpr const char* kLogNameTime = "ログファイルの後ろに日付を付加する";
inline constexpr const char* kSendWait = "送信時にウェイトを入れる";
inline constexpr const char* kWaitSecLabel = "秒のWait";
inline constexpr const char* kWaitSizeLabel = "KB単位に";
inline constexpr const char* kProgressOption = "転送中Windowを表示する";
inline constexpr const char* kShowButton = "転送中Windowの詳細ボタンを表示する";
inline constexpr const char* kBrowse = "Brows";
inline constexpr const char* kOk = "Ok";
inline constexpr const char* kCancel = "Cancel";

// Transfer and about windows.
inline constexpr const char* kTransferLabel = "ただいまデータ通信中";
inline constexpr const char* kDetail = "詳細";
inline constexpr const char* kAboutCaption = "ﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kProductName = "Tarsil ";
inline constexpr const char* kProductComment = "Commnad Script FTP";
inline constexpr const char* kAboutOk = "OK";

// Help: when the user guide cannot be shown, where it is (the path follows the text).
inline constexpr const char* kGuideNotOpened =
    "ユーザーガイドをブラウザで開けませんでした。\n次のファイルを開いてください:\n";
inline constexpr const char* kGuideNotFound =
    "ユーザーガイドが見つかりません。\nインストールすると次の場所に置かれます:\n";

}  // namespace texts
}  // namespace tarsil::gui
