// ReplyHandler: one step of a request, the named function that receives the next final reply
// line of the control connection. Each request chain defines its own handlers; the control
// connection holds the one registered. Plain value; loop thread only.
#pragma once

#include <string>

namespace tarsil {

class EngineContext;

struct ReplyHandler {
  const char* name = nullptr;
  void (*run)(EngineContext& ftp, const std::string& reply) = nullptr;
  explicit operator bool() const { return run != nullptr; }
};

// True when the reply begins with the digit (its class: '1' preliminary ... '5' refused).
inline bool ReplyIs(const std::string& reply, char digit) {
  return !reply.empty() && reply[0] == digit;
}

// The reply a step hands on itself when it needed no server round trip.
inline constexpr const char* kSyntheticDone = "299";

}  // namespace tarsil
