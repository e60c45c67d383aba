// Options: the options as the dialog's controls hold them. The rest of the program reads each
// option from here at the moment it needs it. Load and Store move them to and from the settings
// store under "\SOFTWARE\Tarsil\Options"; setting a check box to a new state runs its click rule,
// as a click in the dialog would. Owned by the main-window controller; event thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ftp/FtpCharset.h"
#include "platform/SettingsStore.h"
#include "platform/TextEncoding.h"

namespace tarsil {

inline constexpr std::string_view kOptionsKey = "\\SOFTWARE\\Tarsil\\Options";

// A spin box: its value is always brought into its range.
class SpinBox {
 public:
  SpinBox(int32_t min, int32_t max, int32_t value) : min_(min), max_(max) { Set(value); }
  void Set(int32_t value) { value_ = value < min_ ? min_ : (value > max_ ? max_ : value); }
  int32_t Value() const { return value_; }

 private:
  int32_t min_;
  int32_t max_;
  int32_t value_ = 0;
};

class Options {
 public:
  Options();

  // Reads every option that exists; missing ones follow their own rule. A value of the wrong type
  // throws SettingsError and leaves the options after it as they were.
  void Load(SettingsStore& store);
  // Writes every option (OK of the dialog). Failures throw SettingsError.
  void Store(SettingsStore& store) const;

  // Check boxes. The setters run the click rule when the state changes.
  bool Passive() const { return passive_; }
  void SetPassive(bool on) { passive_ = on; }
  bool HideWhenRunning() const { return run_mode_; }
  void SetHideWhenRunning(bool on) { run_mode_ = on; }
  bool DebugMode() const { return debug_mode_; }
  void SetDebugMode(bool on);
  bool LogSave() const { return log_save_; }
  void SetLogSave(bool on);
  bool LogOverwrite() const { return log_overwrite_; }
  void SetLogOverwrite(bool on) { log_overwrite_ = on; }
  bool LogNameTime() const { return log_name_time_; }
  void SetLogNameTime(bool on) { log_name_time_ = on; }
  bool SendWait() const { return send_wait_; }
  void SetSendWait(bool on);
  bool ShowProgress() const { return progress_; }
  void SetShowProgress(bool on) { progress_ = on; }
  bool ShowDetailButton() const { return show_button_; }
  void SetShowDetailButton(bool on) { show_button_ = on; }

  // Text box and spin boxes.
  const std::string& LogFileName() const { return log_file_name_; }
  void SetLogFileName(std::string name) { log_file_name_ = std::move(name); }
  SpinBox& Timeout() { return timeout_; }
  const SpinBox& Timeout() const { return timeout_; }
  SpinBox& WaitSeconds() { return wait_seconds_; }
  const SpinBox& WaitSeconds() const { return wait_seconds_; }
  SpinBox& WaitSize() { return wait_size_; }
  const SpinBox& WaitSize() const { return wait_size_; }

  // "文字コード" (TextEncoding): new scripts, the log file and "Dir" output files. ServerCharset:
  // which text the servers' names are in unless a script says otherwise. Stored as text; a
  // missing or unknown value reads as the default (CP932, AUTO).
  TextEncoding FileEncoding() const { return file_encoding_; }
  void SetFileEncoding(TextEncoding value);
  ServerCharset ServerNames() const { return server_charset_; }
  void SetServerNames(ServerCharset value) { server_charset_ = value; }

  // Enable state of the controls that depend on check boxes.
  bool LogNameEnabled() const { return log_name_enabled_; }  // Ed_logsave and btn_Brows
  bool WaitControlsEnabled() const { return wait_controls_enabled_; }

  // Told at once whenever the debug-mode box changes (the session follows it).
  std::function<void(bool)> on_debug_mode_changed;
  std::function<void(bool)> on_send_wait_changed;
  std::function<void(TextEncoding)> on_file_encoding_changed;  // also when loaded

 private:
  bool passive_ = false;
  bool run_mode_ = false;
  bool debug_mode_ = false;
  bool log_save_ = false;
  bool log_overwrite_ = true;
  bool log_name_time_ = false;
  bool send_wait_ = false;
  bool progress_ = false;
  bool show_button_ = false;
  std::string log_file_name_;
  SpinBox timeout_{5, 200, 10};
  SpinBox wait_seconds_{0, 60, 0};
  SpinBox wait_size_{4, 4096, 4};
  TextEncoding file_encoding_ = TextEncoding::kCp932;
  ServerCharset server_charset_ = ServerCharset::kAuto;
  bool log_name_enabled_ = false;
  bool wait_controls_enabled_ = false;
};

}  // namespace tarsil
