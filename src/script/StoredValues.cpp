#include "script/StoredValues.h"

namespace tarsil {

std::string StoredValues::Lookup(std::string_view name) {
  store_.CreateKey(kTarsilKey);
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
