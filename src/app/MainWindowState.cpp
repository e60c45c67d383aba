#include "app/MainWindowState.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace tarsil {
namespace {

// Bytes per second of a progress event: spend is a fraction of a day, and no time at all counts
// as one second. Rounded to the nearest integer, halves to even.
int64_t BytesPerSecond(int64_t totalbyte, double spend) {
  const double seconds = spend == 0 ? 1.0 : spend * 86400.0;
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(totalbyte) / seconds));
}

}  // namespace

bool MainWindowState::MenuEnabled(const std::string& item) const {
  auto it = menus_.find(item);
  return it != menus_.end() && it->second;
}

void MainWindowState::DisableMenusForRun() {
  menus_before_run_ = menus_;
  for (auto& [item, enabled] : menus_) enabled = false;
}

void MainWindowState::RestoreMenusAfterRun() {
  if (!menus_before_run_.empty()) menus_ = menus_before_run_;
}

void MainWindowState::ShowConnected(std::string_view server) {
  panels_[1] = "Connect";
  panels_[2].assign(server);
  logged_in_ = true;
}

void MainWindowState::ShowDisconnected() {
  panels_[1] = "DisConnect";
  panels_[2].clear();
  logged_in_ = false;
}

void MainWindowState::ShowProgress(std::string_view prefix, int64_t totalbyte, double spend) {
  transfer_bytes_ = totalbyte;
  transfer_spend_ = spend;
  // The panel keeps its storage from block to block.
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), totalbyte).ptr;
  panels_[3].assign(prefix).append(digits, end);
}

void MainWindowState::ShowFinished(std::string_view prefix, int64_t totalbyte, double spend) {
  panels_[3]
      .assign(prefix)
      .append(std::to_string(totalbyte))
      .append("(")
      .append(std::to_string(BytesPerSecond(totalbyte, spend)))
      .append("cps)");
}

void MainWindowState::BeginRun(std::string_view running_text) {
  saved_panel0_ = panels_[0];
  panels_[0].assign(running_text);
}

}  // namespace tarsil
