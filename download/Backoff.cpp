#include "download/Backoff.h"

#include <algorithm>

#include "net/Jitter.h"

namespace download {

Backoff::Backoff(const RetryPolicy& policy, Clock::time_point start) : Backoff(policy, start, net::RandomUnit) {}

Backoff::Backoff(const RetryPolicy& policy, Clock::time_point start, std::function<double()> random)
    : m_policy(policy), m_random(std::move(random)), m_lastProgress(start) {}

std::optional<std::chrono::milliseconds> Backoff::Failed(bool advanced,
                                                         std::optional<std::chrono::milliseconds> retryAfter,
                                                         Clock::time_point now) {
    ++m_attempts;
    if (advanced) {
        // A connection that keeps delivering is flaky, not down: the pauses start small again.
        m_withoutProgress = 0;
        m_lastProgress = now;
    } else {
        ++m_withoutProgress;
    }
    if (m_attempts >= m_policy.maxAttempts || m_withoutProgress >= m_policy.maxAttemptsWithoutProgress)
        return std::nullopt;

    std::chrono::milliseconds pause =
        net::BackoffPause(m_policy.pauseBase, m_policy.pauseCap, m_policy.jitter, m_withoutProgress, m_random());
    if (retryAfter)
        pause = std::max(pause, std::min(*retryAfter, m_policy.pauseCap));

    if (now + pause - m_lastProgress > m_policy.timeWithoutProgress)
        return std::nullopt;
    return pause;
}

}  // namespace download
