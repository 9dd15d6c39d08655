// When the next attempt of a file download may begin, if at all. Plain state: the caller hands in the time and the
// source of randomness, so that the rule is tested without waiting.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "download/DownloadLimits.h"

namespace download {

// The bounds of the attempts, as shipped unless a test shortens them.
struct RetryPolicy {
    std::chrono::milliseconds pauseBase = kRetryPauseBase;
    std::chrono::milliseconds pauseCap = kRetryPauseCap;
    double jitter = kRetryPauseJitter;  // fraction of a pause by which it is spread either way
    int maxAttemptsWithoutProgress = kMaxAttemptsWithoutProgress;
    std::chrono::milliseconds timeWithoutProgress = kTimeWithoutProgress;
    int maxAttempts = kMaxAttemptsPerFile;
};

class Backoff {
public:
    using Clock = std::chrono::steady_clock;

    // Spread by the system's random numbers, as every installer must be: a fleet that lost the same server at the
    // same moment must not come back to it in step.
    Backoff(const RetryPolicy& policy, Clock::time_point start);
    // Spread by `random`, which returns numbers in [0, 1).
    Backoff(const RetryPolicy& policy, Clock::time_point start, std::function<double()> random);

    // Counts a failed attempt that ended at `now`; `advanced` when it added bytes to the file. Returns the pause
    // before the next attempt, or nothing when no further attempt may be made. A `retryAfter` from the server
    // lengthens the pause up to the cap.
    std::optional<std::chrono::milliseconds> Failed(bool advanced,
                                                    std::optional<std::chrono::milliseconds> retryAfter,
                                                    Clock::time_point now);

    int Attempts() const { return m_attempts; }

private:
    RetryPolicy m_policy;
    std::function<double()> m_random;
    Clock::time_point m_lastProgress;
    int m_attempts = 0;
    int m_withoutProgress = 0;
};

}  // namespace download
