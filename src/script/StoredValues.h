// Stored values: named text values directly under "\SOFTWARE\Tarsil" in the settings store. "set"
// writes them and %name% in a script line reads them; they outlive runs and restarts. The store is
// owned by the caller; event thread only.
#pragma once

#include <string>
#include <string_view>

#include "platform/SettingsStore.h"

namespace tarsil {

inline constexpr std::string_view kTarsilKey = "\\SOFTWARE\\Tarsil";

class StoredValues {
 public:
  explicit StoredValues(SettingsStore& store) : store_(store) {}

  // The value of a name; empty text when it does not exist. The key is created when missing and
  // the store can be written. A value of another type than text throws SettingsError.
  std::string Lookup(std::string_view name);
  // A non-empty value is written; an empty value deletes the name. Failures throw SettingsError.
  void Set(std::string_view name, std::string_view value);

 private:
  SettingsStore& store_;
};

}  // namespace tarsil
