// MainWindowState: what the main window shows besides the script and the log: the caption, the
// enabled menu items, whether the window is enabled, hidden or shows the busy cursor, and the
// texts of the four status-bar panels (0: the document's state, 1: connected or not, 2: the
// server, 3: the transfer) with the figures behind them: whether the session is logged in (the
// bar turns lime green) and the bytes and time of the transfer in progress. Owned by the
// main-window controller, which changes it; views only read it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarsil {

class MainWindowState {
 public:
  std::string caption;
  bool enabled = true;
  bool hidden = false;
  bool cursor_busy = false;

  bool MenuEnabled(const std::string& item) const;
  void SetMenu(const std::string& item, bool enabled) { menus_[item] = enabled; }
  // A run disables every menu item; its end brings back the items as they were.
  void DisableMenusForRun();
  void RestoreMenusAfterRun();

  const std::string& Panel(int index) const { return panels_.at(index); }
  void SetPanel(int index, std::string_view text) { panels_.at(index).assign(text); }

  bool LoggedIn() const { return logged_in_; }
  // Bytes and elapsed days of the transfer in progress, as last reported.
  int64_t TransferBytes() const { return transfer_bytes_; }
  double TransferSpend() const { return transfer_spend_; }

  void ShowConnected(std::string_view server);  // "Connect", the server, lime green
  void ShowDisconnected();                      // "DisConnect", no server
  // One block of a transfer: `prefix` and the count so far ("Retrieve...1024"), in place.
  void ShowProgress(std::string_view prefix, int64_t totalbyte, double spend);
  // The end of a transfer: `prefix`, the count and the rate ("Retrieved 1024(512cps)").
  void ShowFinished(std::string_view prefix, int64_t totalbyte, double spend);
  void AppendToPanel3(std::string_view text) { panels_[3].append(text); }

  // Panel 0 while a run holds it: the text before the run comes back at its end.
  void BeginRun(std::string_view running_text);
  void EndRun() { panels_[0] = saved_panel0_; }

 private:
  std::map<std::string, bool> menus_;
  std::map<std::string, bool> menus_before_run_;
  std::array<std::string, 4> panels_;
  std::string saved_panel0_;
  bool logged_in_ = false;
  int64_t transfer_bytes_ = 0;
  double transfer_spend_ = 0;
};

}  // namespace tarsil
