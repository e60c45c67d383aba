#include "gui/GuiTestSupport.h"

#include <QApplication>
#include <chrono>

#include "gui/GuiMessages.h"

namespace tarsil::testing {

Answer ScriptedDialogs::MessageBox(QWidget*, const QString& text, const QString& caption,
                                   Buttons buttons, MessageIcon icon) {
  boxes.push_back(Box{text, caption, buttons, icon});
  if (during_box) during_box();
  if (buttons == Buttons::kOk) return Answer::kOk;
  if (answers.empty()) return Answer::kYes;
  Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<QString> ScriptedDialogs::ChooseFile(QWidget*, gui::FileDialogKind kind,
                                                   const QString&) {
  file_kinds.push_back(kind);
  if (files.empty()) return std::nullopt;
  const QString file = files.front();
  files.pop_front();
  if (file.isEmpty()) return std::nullopt;
  return file;
}

bool ScriptedDialogs::OpenDocument(const QUrl& url) {
  opened.push_back(url);
  return open_succeeds;
}

Desktop::Desktop() : store((dir.path() / "settings.reg").string()) {
  user_guide = QString::fromStdString(dir.Write("docs/user-guide.html", "<html></html>"));
  form = std::make_unique<MainController>(loop, store);
  loop.SetFailureHandler([this](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      form->HandleFailure(e.what());
    }
  });
  window = std::make_unique<gui::MainWindow>(*form, store, dialogs, user_guide);
}

Desktop::~Desktop() {
  window.reset();
  form.reset();
}

bool Desktop::Start(std::optional<std::string> auto_script) {
  const bool shown = form->FormShow(std::move(auto_script));
  if (!form->WindowHidden()) window->show();
  return shown;
}

bool Desktop::WaitUntilClosed() {
  return loop.WaitUntil([this] { return form->Closed(); },
                        std::chrono::steady_clock::now() + std::chrono::seconds(30));
}

QString Shown(std::string_view cp932) { return gui::FromCp932(cp932); }

}  // namespace tarsil::testing

#include <unistd.h>

#include <csignal>

#include "gui/Fonts.h"

namespace tarsil::testing {

void PrepareGuiTest() {
  gui::InstallFontSubstitutions();
  QApplication::setFont(gui::UiFont());
  std::signal(SIGPIPE, SIG_IGN);
  alarm(110);  // a test that hangs ends the process with a failure
}

}  // namespace tarsil::testing
