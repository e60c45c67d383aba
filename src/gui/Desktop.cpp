#include "gui/Desktop.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>
#include <exception>

#include "app/ExitStatus.h"
#include "app/MainController.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/GuiMessages.h"
#include "gui/MainWindow.h"
#include "gui/QtEventLoop.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"

#ifndef TARSIL_INSTALLED_DOCS
#define TARSIL_INSTALLED_DOCS ""
#endif
#ifndef TARSIL_SOURCE_DOCS
#define TARSIL_SOURCE_DOCS ""
#endif

namespace tarsil::gui {
namespace {

void ReportFailure(MainController& form, std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    form.HandleFailure(e.what());
  } catch (...) {
    form.HandleFailure("unknown failure");
  }
}

}  // namespace

QString UserGuidePath() {
  const QString name = QStringLiteral("user-guide.html");
  const QStringList folders = {
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/tarsil"),
      QString::fromUtf8(TARSIL_INSTALLED_DOCS), QString::fromUtf8(TARSIL_SOURCE_DOCS)};
  for (const QString& folder : folders) {
    if (folder.isEmpty()) continue;
    const QFileInfo file(QDir(folder), name);
    if (file.exists()) return file.canonicalFilePath();
  }
  return QString();
}

QString InstalledUserGuidePath() {
  const QString folder = QString::fromUtf8(TARSIL_INSTALLED_DOCS);
  return QDir(folder.isEmpty() ? QStringLiteral("/usr/share/doc/tarsil") : folder)
      .filePath(QStringLiteral("user-guide.html"));
}

QIcon TarsilIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 64.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
    painter.drawRoundedRect(QRectF(2 * unit, 2 * unit, 60 * unit, 60 * unit), 10 * unit, 10 * unit);
    painter.setBrush(QColor(0xf2, 0xf2, 0xf2));
    painter.drawRect(QRectF(12 * unit, 12 * unit, 30 * unit, 40 * unit));
    painter.setBrush(QColor(0x00, 0xc8, 0x00));
    painter.drawPolygon(QPolygonF({QPointF(34 * unit, 26 * unit), QPointF(56 * unit, 38 * unit),
                                   QPointF(34 * unit, 50 * unit)}));
    painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
    for (int line = 0; line < 4; ++line) {
      painter.drawRect(QRectF(16 * unit, (18 + 7 * line) * unit, 16 * unit, 3 * unit));
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

int RunDesktop(const StartOptions& options) {
  static int argc = 1;
  static char program[] = "tarsil";
  static char* argv[] = {program, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tarsil"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tarsil"));
  QApplication::setWindowIcon(TarsilIcon());
  QApplication::setQuitOnLastWindowClosed(false);  // the controller decides when it ends
  InstallFontSubstitutions();
  QApplication::setFont(UiFont());

  QtEventLoop loop;
  SettingsStore store(SettingsStore::DefaultPath());
  MainController form(loop, store);
  loop.SetFailureHandler([&form](std::exception_ptr failure) { ReportFailure(form, failure); });
  DesktopDialogs dialogs;
  MainWindow window(form, store, dialogs, UserGuidePath());
  window.on_closed = [] { QCoreApplication::exit(0); };

  const bool unattended = options.mode == StartOptions::Mode::kUnattended;
  std::optional<std::string> script;
  if (unattended) script = Utf8ToCp932(options.script);
  if (!form.FormShow(script) && unattended) {
    // The options could not be read: nothing is run, but the window still closes cleanly.
    form.FormClose();
    return kExitOptionsUnreadable;
  }
  if (!unattended && !options.script.empty()) {
    // Absolute: "lcd" in a run moves the current folder, and Save must find the file again.
    form.OpenNamedScript(
        ToCp932(QFileInfo(QString::fromLocal8Bit(options.script)).absoluteFilePath()));
  }
  if (!form.WindowHidden()) window.show();
  if (!form.Closed()) app.exec();
  return unattended ? form.UnattendedExitStatus(options.exit_status) : kExitOk;
}

}  // namespace tarsil::gui
