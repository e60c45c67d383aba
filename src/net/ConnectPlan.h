// ConnectPlan: what an AsyncSocket knows about the addresses of its connect: those of the last
// look-up (in the resolver's order), those still to try after the attempt in progress, and the
// share of the overall time-out the attempt in progress may use. A plain value the socket owns.
#pragma once

#include <cstdint>
#include <vector>

#include "net/HostLookup.h"

namespace tarsil {

// The socket's timers: the countdown (the overall time-out) and one attempt's share of it.
inline constexpr uint32_t kCountdownTimerId = 1;
inline constexpr uint32_t kAttemptTimerId = 2;

struct ConnectPlan {
  std::vector<HostAddress> resolved;  // of the last successful look-up
  std::vector<HostAddress> next;      // still to try, front first
  int attempt_ticks = 0;              // left of the attempt in progress (0: no share of its own)
  bool attempt_timer = false;         // kAttemptTimerId runs
  bool active = false;                // a connect with addresses to go on to is in progress
};

}  // namespace tarsil
