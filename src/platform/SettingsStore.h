// The machine-wide settings store: keys under HKEY_LOCAL_MACHINE with named text and integer
// values, kept in one REGEDIT4 file (settings.reg). Reads take a shared lock and use the parsed
// file kept by the object, read again only when the file has changed; every change takes the
// exclusive lock, applies itself to the current file and replaces it atomically. A run that only
// reads needs no write access to the file or its folder. The file and its lock file are created
// owner-only (0600). Use the object from one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

class RegDocument;

// A refused write, an unreadable or unparsable file, or a value of the wrong type.
class SettingsError : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

class SettingsStore {
 public:
  // The path is native (UTF-8); a relative one is made absolute now, so that a later change of
  // the current folder does not move the store.
  explicit SettingsStore(std::string file_path);
  ~SettingsStore();
  SettingsStore(SettingsStore&&) noexcept;
  SettingsStore& operator=(SettingsStore&&) noexcept;

  // $TARSIL_HOME/settings.reg, else $XDG_CONFIG_HOME/tarsil/settings.reg, else
  // ~/.config/tarsil/settings.reg. Empty variables count as unset; a relative XDG_CONFIG_HOME is
  // ignored.
  static std::string DefaultPath();

  const std::string& path() const { return path_; }

  // Key paths are CP932 text below HKEY_LOCAL_MACHINE, such as "\SOFTWARE\Tarsil\Options" (the
  // leading backslash is optional). Key and value names compare without regard to ASCII letter
  // case and keep the case they were first written with. The empty name is the default value.
  void CreateKey(std::string_view key);  // writes (and locks for writing) only when it is missing
  bool KeyExists(std::string_view key) const;
  bool ValueExists(std::string_view key, std::string_view name) const;
  // In file order; the default value is listed as the empty name.
  std::vector<std::string> ValueNames(std::string_view key) const;
  // nullopt when the key or value is missing; SettingsError when the value is of another type.
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) const;
  std::optional<int32_t> ReadInteger(std::string_view key, std::string_view name) const;
  // Create the key as needed and replace a value of any type.
  void WriteString(std::string_view key, std::string_view name, std::string_view value);
  void WriteInteger(std::string_view key, std::string_view name, int32_t value);
  void DeleteValue(std::string_view key, std::string_view name);  // a missing value is no error

 private:
  struct Cache;

  // The file as it is now, under a shared lock; an empty document when it does not exist. The
  // reference holds until the next call on this object.
  const RegDocument& Current() const;
  // Brings the kept document up to date with the file (the caller holds a lock when it can).
  void Refresh() const;
  // Locks exclusively, refreshes, applies change and replaces the file when change returns true.
  void Modify(const std::function<bool(RegDocument&)>& change);

  std::string path_;
  std::unique_ptr<Cache> cache_;
};

}  // namespace tarsil
