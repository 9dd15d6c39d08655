// When the next attempt of a file download may begin, if at all. Plain state: the caller hands in the time and the
// source of randomness, so that the rule is tested without waiting.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace download {

struct RetryPolicy {
    std::chrono::milliseconds pauseBase;
    std::chrono::milliseconds pauseCap;
    double jitter;  // fraction of a pause by which it is spread either way
    int maxAttemptsWithoutProgress;
    std::chrono::milliseconds timeWithoutProgress;
    int maxAttempts;
};

class Backoff {
public:
    using Clock = std::chrono::steady_clock;

    // `random` returns numbers in [0, 1).
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
