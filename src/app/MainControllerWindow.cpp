// MainController: the parts of the main window around the document and the run: the recall list,
// the session events shown in the status bar, and the log menu.
#include <charconv>
#include <chrono>
#include <cmath>
#include <iterator>
#include <thread>

#include "app/MainController.h"
#include "platform/FileSystem.h"

namespace tarsil {
namespace {

inline constexpr std::string_view kRecallKey = "\\SOFTWARE\\Tarsil\\Recalls";

// Bytes per second of a progress event: spend is a fraction of a day, and no time at all counts
// as one second. Rounded to the nearest integer, halves to even.
int64_t BytesPerSecond(int64_t totalbyte, double spend) {
  const double seconds = spend == 0 ? 1.0 : spend * 86400.0;
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(totalbyte) / seconds));
}

// The prefix and the count, in place: the panel keeps its storage from block to block.
void SetCountText(std::string& panel, std::string_view prefix, int64_t count) {
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), count).ptr;
  panel.assign(prefix).append(digits, end);
}

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
  panels_[1] = "Connect";
  panels_[2] = server_name_;
  status_logged_in_ = true;
  Changed();
}

void MainController::FTPFtpQuit() {
  panels_[1] = "DisConnect";
  panels_[2].clear();
  status_logged_in_ = false;
  Changed();
}

void MainController::Retrieving(int64_t totalbyte, double spend) {
  transfer_bytes_ = totalbyte;
  transfer_spend_ = spend;
  SetCountText(panels_[3], "Retrieve...", totalbyte);
  if (view_ != nullptr) view_->ProgressChanged();
}

void MainController::FTPretrievefinished(int64_t totalbyte, double spend) {
  panels_[3] = "Retrieved " + std::to_string(totalbyte) + "(" +
               std::to_string(BytesPerSecond(totalbyte, spend)) + "cps)";
  Changed();
}

void MainController::FTPtransfer(int64_t totalbyte, double spend) {
  transfer_bytes_ = totalbyte;
  transfer_spend_ = spend;
  SetCountText(panels_[3], "Transfer...", totalbyte);
  if (options_.SendWait()) {
    panels_[3] += " Send Wait";
    if (view_ != nullptr) view_->ProgressChanged();
    // The pause after each block of an upload: deliberately without dispatching events.
    std::this_thread::sleep_for(std::chrono::seconds(options_.WaitSeconds().Value()));
  } else if (view_ != nullptr) {
    view_->ProgressChanged();
  }
}

void MainController::FTPtransferfinished(int64_t totalbyte, double spend) {
  panels_[3] = "Transfered " + std::to_string(totalbyte) + "(" +
               std::to_string(BytesPerSecond(totalbyte, spend)) + "cps)";
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
