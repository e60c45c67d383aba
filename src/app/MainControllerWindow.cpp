// MainController: the parts of the main window around the document and the run: the recall list,
// the session events shown in the status bar, and the log menu.
#include <chrono>
#include <thread>

#include "app/MainController.h"
#include "platform/FileSystem.h"

namespace tarsil {
namespace {

inline constexpr std::string_view kRecallKey = "\\SOFTWARE\\Tarsil\\Recalls";

}  // namespace

void MainController::LoadRecallMenu() {
  recall_.SetCount(10);
  recall_.SetParentMenuItem(&recall_items_);
  recall_.SetRegistryKey(std::string(kRecallKey));
  recall_.OnSelected = [this](const MenuItemRecord&, const std::string& file_name) {
    try {
      LoadScript(file_name);
    } catch (const std::exception& failure) {
      HandleFailure(failure.what());
    }
  };
  recall_.on_menu_changed = [this] { Changed(); };
  try {
    recall_.Load(store_);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
  }
}

void MainController::SaveRecallMenu() {
  recall_.on_menu_changed = nullptr;
  try {
    recall_.Save(store_);
  } catch (const std::exception&) {
    // The window is going away: there is no log left to tell, and a destructor must not throw.
  }
}

void MainController::FTPLoggedIn() {
  window_.ShowConnected(server_name_);
  Changed();
}

void MainController::FTPFtpQuit() {
  window_.ShowDisconnected();
  Changed();
}

void MainController::Retrieving(int64_t totalbyte, double spend) {
  window_.ShowProgress("Retrieve...", totalbyte, spend);
  if (view_ != nullptr) view_->ProgressChanged();
}

void MainController::FTPretrievefinished(int64_t totalbyte, double spend) {
  window_.ShowFinished("Retrieved ", totalbyte, spend);
  Changed();
}

void MainController::FTPtransfer(int64_t totalbyte, double spend) {
  window_.ShowProgress("Transfer...", totalbyte, spend);
  if (options_.SendWait()) {
    window_.AppendToPanel3(" Send Wait");
    if (view_ != nullptr) view_->ProgressChanged();
    // The pause after each block of an upload: deliberately without dispatching events.
    std::this_thread::sleep_for(std::chrono::seconds(options_.WaitSeconds().Value()));
  } else if (view_ != nullptr) {
    view_->ProgressChanged();
  }
}

void MainController::FTPtransferfinished(int64_t totalbyte, double spend) {
  window_.ShowFinished("Transfered ", totalbyte, spend);
  Changed();
}

void MainController::LogfileSave(const std::string& file_name) {
  // The whole log, earlier lines than the view's included.
  LogSpool& spool =
      options_.FileEncoding() == TextEncoding::kUtf8 ? log_.SpoolUtf8() : log_.Spool();
  if (!WriteFileInPieces(file_name, false,
                         [&spool](const PieceSink& sink) { return spool.ReadAll(sink); })) {
    HandleFailure("Cannot write the log file " + file_name);
    return;
  }
  log_.Clear();
}

void MainController::LogClear() { log_.Clear(); }

std::optional<int32_t> MainController::StepForCaret(int32_t caret_line) {
  try {
    return runner_.Step(editor_lines_, caret_line);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
    return std::nullopt;
  }
}

}  // namespace tarsil
