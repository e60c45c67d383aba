#include "gui/GuiMessages.h"

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace tarsil::gui {

QString FromCp932(std::string_view cp932) { return QString::fromStdString(Cp932ToUtf8(cp932)); }

std::string ToCp932(const QString& text) { return Utf8ToCp932(text.toStdString()); }

std::optional<std::string> ToCp932Exact(const QString& text) {
  return Utf8ToCp932Exact(text.toStdString());
}

QString NativeFromCp932(std::string_view cp932) {
  return QString::fromStdString(NativePath(cp932));
}

}  // namespace tarsil::gui
