#include "analytics/EventSender.h"

#include "analytics/EventBase.h"
#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"

#include <thread>

bool IsFinalEventState(int state) {
    return state == -1 || (state >= 2 && state <= 5);
}

void EventSender::Start(int state,
                        std::string record,
                        HeaderList headers,
                        const char* product,
                        std::shared_ptr<void> owner) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_pending;
    }
    try {
        std::thread([this, state, record = std::move(record), headers = std::move(headers), product,
                     owner = std::move(owner)] {
            DeliverEvent(*this, state, record, headers, product);
        }).detach();
    } catch (...) {
        // No thread, no send: the count must not wait for one.
        EndOne();
    }
}

void EventSender::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_pending == 0; });
}

bool EventSender::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_until(lock, deadline, [this] { return m_pending == 0; });
}

void EventSender::EndOne() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_pending == 0)
        m_idle.notify_all();
}

void DeliverEvent(EventSender& sender,
                  int state,
                  const std::string& record,
                  const HeaderList& headers,
                  const char* product) {
    bool delivered = false;
    try {
        const std::wstring url = ConfigurationManager::GetInstance()->m_analyticsUrl;
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::string response;
            DWORD status = 0;
            PostJson(url, record, headers, response, status);
            if (status >= 200 && status <= 399) {
                delivered = true;
                if (IsFinalEventState(state))
                    sender.m_closed = true;
                break;
            }
            std::this_thread::sleep_for(GetEventRetryPause());
        }
    } catch (...) {
        // A transport failure drops the event; nothing of it reaches the user.
    }
    diagnostics::Record("event state=%d product=%s delivered=%s", state, product, diagnostics::YesNo(delivered));
    sender.EndOne();
}
