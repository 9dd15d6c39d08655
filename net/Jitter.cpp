#include "net/Jitter.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace net {

std::chrono::milliseconds Jittered(std::chrono::milliseconds pause, double fraction, double unit) {
    unit = std::clamp(unit, 0.0, 1.0);
    const double factor = 1.0 + fraction * (2.0 * unit - 1.0);
    const double milliseconds = std::max(0.0, static_cast<double>(pause.count()) * factor);
    // Rounded, not truncated: the 32-bit build computes on the x87 unit at whatever precision the start-up code
    // chose, where 5000 * 0.8 can land a hair under 4000.
    return std::chrono::milliseconds(std::llround(milliseconds));
}

std::chrono::milliseconds BackoffPause(std::chrono::milliseconds base,
                                       std::chrono::milliseconds cap,
                                       double fraction,
                                       int failures,
                                       double unit) {
    const int doublings = std::min(std::max(failures - 1, 0), 30);
    std::chrono::milliseconds pause = base;
    for (int i = 0; i < doublings && pause < cap; ++i)
        pause *= 2;
    return std::min(Jittered(std::min(pause, cap), fraction, unit), cap);
}

double RandomUnit() {
    // The system's generator: seeded by Windows, safe from any thread, and no generator state of our own in the
    // installer. Should it ever fail, the pause is left unchanged (0.5 is the middle of the spread).
    std::uint32_t bits = 0;
    if (!BCRYPT_SUCCESS(
            ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof(bits), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return 0.5;
    return static_cast<double>(bits) / 4294967296.0;
}

}  // namespace net
