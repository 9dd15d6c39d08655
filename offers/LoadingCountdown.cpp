#include "offers/LoadingCountdown.h"

#include "offers/Package.h"

void CompletionOnce::Run() noexcept {
    if (m_done.exchange(true))
        return;
    try {
        if (m_completion)
            m_completion();
    } catch (...) {
        // A completion runs on download threads and from destructors: nothing may escape it.
    }
    m_completion = nullptr;
}

LoadCountdown::LoadCountdown(std::vector<std::shared_ptr<Package>> offers, Delivery deliver, int pending)
    : m_pending(pending), m_offers(std::move(offers)), m_deliver(std::move(deliver)) {}

void LoadCountdown::CompleteOne() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pending > 0)
        --m_pending;
    if (m_pending != 0 || m_delivered || !m_armed)
        return;
    m_delivered = true;
    // Under the lock: Disarm waits for a delivery under way. The frame's delivery only posts a message.
    if (m_deliver)
        m_deliver(m_offers);
}

void LoadCountdown::Disarm() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
    m_deliver = nullptr;
}

bool LoadCountdown::RunIfArmed(const std::function<void()>& action) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_armed)
        return false;
    action();
    return true;
}

void RunEnd::Finish() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    m_finished.notify_all();
}

bool RunEnd::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finished.wait_until(lock, deadline, [this] { return m_ended; });
}
