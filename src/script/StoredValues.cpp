#include "script/StoredValues.h"

namespace tarsil {

std::string StoredValues::Lookup(std::string_view name) {
  if (!store_.KeyExists(kTarsilKey)) {
    try {
      store_.CreateKey(kTarsilKey);
    } catch (const SettingsError&) {
      // A store this run may only read: the key stays missing, and so does the value.
    }
  }
  return store_.ReadString(kTarsilKey, name).value_or(std::string());
}

void StoredValues::Set(std::string_view name, std::string_view value) {
  if (value.empty()) {
    store_.CreateKey(kTarsilKey);
    store_.DeleteValue(kTarsilKey, name);
  } else {
    store_.WriteString(kTarsilKey, name, value);
  }
}

}  // namespace tarsil
