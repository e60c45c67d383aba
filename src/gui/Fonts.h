// The fonts the windows are designed with, by name, and what stands in for them on Linux: the
// Japanese Gothic fonts of Debian's IPA or Noto CJK packages, then any monospace or sans font.
// Installed once per application as Qt font substitutions. GUI thread.
#pragma once

#include <QFont>
#include <QString>

namespace tarsil::gui {

inline constexpr const char* kUiFontFamily = "ＭＳ ゴシック";              // main window, dialogs
inline constexpr const char* kProportionalFontFamily = "ＭＳ Ｐゴシック";  // transfer window
inline constexpr const char* kClassicLogFontFamily = "Courier New";        // log, msgClassic
inline constexpr const char* kMFtpLogFontFamily = "MS Sans Serif";         // log, other styles

void InstallFontSubstitutions();

// The design font of the windows: "ＭＳ ゴシック", 12 pixels high.
QFont UiFont();

}  // namespace tarsil::gui
