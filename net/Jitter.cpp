#include "net/Jitter.h"

#include <algorithm>
#include <random>

namespace net {

std::chrono::milliseconds Jittered(std::chrono::milliseconds pause, double fraction, double unit) {
    unit = std::clamp(unit, 0.0, 1.0);
    const double factor = 1.0 + fraction * (2.0 * unit - 1.0);
    const double milliseconds = std::max(0.0, static_cast<double>(pause.count()) * factor);
    return std::chrono::milliseconds(static_cast<long long>(milliseconds));
}

double RandomUnit() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

}  // namespace net
