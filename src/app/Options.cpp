#include "app/Options.h"

#include "app/AppMessages.h"

namespace tarsil {
namespace {

std::optional<bool> ReadBool(const SettingsStore& store, std::string_view name) {
  std::optional<int32_t> value = store.ReadInteger(kOptionsKey, name);
  if (!value) return std::nullopt;
  return *value != 0;
}

}  // namespace

Options::Options() = default;

void Options::SetDebugMode(bool on) {
  if (on == debug_mode_) return;
  debug_mode_ = on;
  if (on_debug_mode_changed) on_debug_mode_changed(on);
}

void Options::SetLogSave(bool on) {
  if (on == log_save_) return;
  log_save_ = on;
  log_name_enabled_ = on;
  if (on && log_file_name_.empty()) log_file_name_ = std::string(kDefaultLogName);
}

void Options::SetSendWait(bool on) {
  if (on == send_wait_) return;
  send_wait_ = on;
  wait_controls_enabled_ = on;
  if (on_send_wait_changed) on_send_wait_changed(on);
}

void Options::SetFileEncoding(TextEncoding value) {
  file_encoding_ = value;
  if (on_file_encoding_changed) on_file_encoding_changed(value);
}

void Options::Load(SettingsStore& store) {
  if (!store.KeyExists(kOptionsKey)) {
    try {
      store.CreateKey(kOptionsKey);
    } catch (const SettingsError&) {
      // A store this run may only read: the defaults below apply.
    }
  }
  // The order is part of the behaviour: a wrong-typed value stops the load where it stands.
  std::optional<int32_t> run_mode = store.ReadInteger(kOptionsKey, "Runmode");
  SetHideWhenRunning(run_mode.value_or(0) != 0);
  SetLogFileName(store.ReadString(kOptionsKey, "Logsave").value_or(std::string()));
  SetLogSave(ReadBool(store, "ch_Logsave").value_or(false));
  SetShowProgress(ReadBool(store, "cb_progress").value_or(false));
  SetShowDetailButton(ReadBool(store, "cb_showbutton").value_or(false));
  SetDebugMode(ReadBool(store, "cb_debugmode").value_or(false));
  SetSendWait(ReadBool(store, "SendWait").value_or(false));
  wait_size_.Set(store.ReadInteger(kOptionsKey, "WaitSize").value_or(0));
  wait_seconds_.Set(store.ReadInteger(kOptionsKey, "WaitSec").value_or(0));
  timeout_.Set(store.ReadInteger(kOptionsKey, "Timeout").value_or(10));
  if (std::optional<bool> v = ReadBool(store, "cb_logOverwrite")) SetLogOverwrite(*v);
  if (std::optional<bool> v = ReadBool(store, "cb_lognametime")) SetLogNameTime(*v);
  if (std::optional<bool> v = ReadBool(store, "cb_passive")) SetPassive(*v);
  const std::optional<std::string> encoding = store.ReadString(kOptionsKey, "TextEncoding");
  SetFileEncoding(ParseTextEncoding(encoding.value_or("")).value_or(TextEncoding::kCp932));
  const std::optional<std::string> charset = store.ReadString(kOptionsKey, "ServerCharset");
  server_charset_ = ParseServerCharset(charset.value_or("")).value_or(ServerCharset::kAuto);
  log_name_enabled_ = log_save_;
}

void Options::Store(SettingsStore& store) const {
  store.CreateKey(kOptionsKey);
  store.WriteInteger(kOptionsKey, "Runmode", run_mode_ ? 1 : 0);
  store.WriteString(kOptionsKey, "Logsave", log_file_name_);
  store.WriteInteger(kOptionsKey, "ch_Logsave", log_save_);
  store.WriteInteger(kOptionsKey, "cb_debugmode", debug_mode_);
  store.WriteInteger(kOptionsKey, "cb_progress", progress_);
  store.WriteInteger(kOptionsKey, "cb_showbutton", show_button_);
  store.WriteInteger(kOptionsKey, "Sendwait", send_wait_);
  store.WriteInteger(kOptionsKey, "Waitsize", wait_size_.Value());
  store.WriteInteger(kOptionsKey, "WaitSec", wait_seconds_.Value());
  store.WriteInteger(kOptionsKey, "Timeout", timeout_.Value());
  store.WriteInteger(kOptionsKey, "cb_logOverwrite", log_overwrite_);
  store.WriteInteger(kOptionsKey, "cb_lognametime", log_name_time_);
  store.WriteInteger(kOptionsKey, "cb_passive", passive_);
  store.WriteString(kOptionsKey, "TextEncoding", TextEncodingName(file_encoding_));
  store.WriteString(kOptionsKey, "ServerCharset", ServerCharsetName(server_charset_));
}

}  // namespace tarsil
