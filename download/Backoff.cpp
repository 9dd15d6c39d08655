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

    const int doublings = std::min(std::max(m_withoutProgress - 1, 0), 30);
    std::chrono::milliseconds pause = m_policy.pauseBase;
    for (int i = 0; i < doublings && pause < m_policy.pauseCap; ++i)
        pause *= 2;
    pause = std::min(net::Jittered(std::min(pause, m_policy.pauseCap), m_policy.jitter, m_random()), m_policy.pauseCap);
    if (retryAfter)
        pause = std::max(pause, std::min(*retryAfter, m_policy.pauseCap));

    if (now + pause - m_lastProgress > m_policy.timeWithoutProgress)
        return std::nullopt;
    return pause;
}

}  // namespace download
