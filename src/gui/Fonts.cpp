#include "gui/Fonts.h"

#include <QStringList>

#include "gui/GuiMessages.h"

namespace tarsil::gui {

void InstallFontSubstitutions() {
  const QStringList gothic = {"IPAGothic",        "Noto Sans Mono CJK JP",
                              "Noto Sans CJK JP", "IPAexGothic",
                              "VL Gothic",        "monospace"};
  const QStringList proportional = {"IPAPGothic", "Noto Sans CJK JP", "IPAexGothic",
                                    "VL PGothic", "IPAGothic",        "sans-serif"};
  QFont::insertSubstitutions(Utf8(kUiFontFamily), gothic);
  QFont::insertSubstitutions(Utf8(kProportionalFontFamily), proportional);
  // The log's Latin fonts; Japanese text in them falls back to a Gothic font.
  QFont::insertSubstitutions(Utf8(kClassicLogFontFamily),
                             QStringList{"Liberation Mono", "DejaVu Sans Mono"} + gothic);
  QFont::insertSubstitutions(Utf8(kMFtpLogFontFamily),
                             QStringList{"DejaVu Sans", "Liberation Sans"} + proportional);
}

QFont UiFont() {
  QFont font(Utf8(kUiFontFamily));
  font.setPixelSize(12);
  return font;
}

}  // namespace tarsil::gui
