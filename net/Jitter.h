// Random spread of the pauses between attempts: a fleet of installers that lost the same server at the same moment
// must not come back to it in step.
#pragma once

#include <chrono>

namespace net {

// `pause` moved by up to `fraction` of itself either way, where `unit` (in [0, 1)) picks the point: 0 gives the
// shortest pause, 0.5 leaves it unchanged.
std::chrono::milliseconds Jittered(std::chrono::milliseconds pause, double fraction, double unit);

// The pause after the `failures`-th failure in a row (1 or more): `base`, doubled with each further failure up to
// `cap`, then spread by Jittered and kept at or under `cap`. Every retry of the program pauses by this one rule.
std::chrono::milliseconds BackoffPause(std::chrono::milliseconds base,
                                       std::chrono::milliseconds cap,
                                       double fraction,
                                       int failures,
                                       double unit);

// A number in [0, 1), uniformly spread, from the system's random number generator.
double RandomUnit();

}  // namespace net
