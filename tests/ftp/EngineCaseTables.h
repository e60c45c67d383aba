// What the engine cases (cases/*.case) name but cannot hold as data: the engine's settings a case
// may set, the properties it may check, and the names of the enumerations they use. Test code.
#pragma once

#include <functional>
#include <string>

#include "ftp/FtpEngine.h"

namespace tarsil::testing {

struct EngineSetting {
  const char* name;
  std::function<void(FtpEngine&, const std::string&)> apply;
};

struct EngineProperty {
  const char* name;
  std::function<std::string(const FtpEngine&)> read;
};

// nullptr when the case names nothing known.
const EngineSetting* FindEngineSetting(const std::string& name);
const EngineProperty* FindEngineProperty(const std::string& name);

// "needAccount", ... for the questions the engine asks.
std::string NeedName(FtpInfoNeeded need);

}  // namespace tarsil::testing
