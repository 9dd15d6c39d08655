// The sending side of one product's analytics events: each event is posted on a thread of its own, so that no
// page waits for the network, and the sender counts the sends still in flight so that closing the wizard can
// wait for them. Once a final state has been delivered, the product reports nothing more.
#pragma once

#include "net/JsonPost.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// -1 (failed), 2 (not shown), 3 (installed), 4 (declined) and 5 (closed) end a product's reporting; 1 does not.
bool IsFinalEventState(int state);

class EventSender {
public:
    EventSender() = default;
    EventSender(const EventSender&) = delete;
    EventSender& operator=(const EventSender&) = delete;

    // Starts the send of `record` with `headers` on a detached thread and returns at once. `owner` is held by the
    // thread until the send has ended, so that the product (and this sender in it) outlives every other holder;
    // `product`, which names it in the run log, lives as long as `owner`. A thread that cannot be started is a send
    // that never happened.
    void Start(int state, std::string record, HeaderList headers, const char* product, std::shared_ptr<void> owner);

    // A final state has been delivered: later events of the product are not sent.
    bool IsClosed() const { return m_closed; }
    // Blocks until no send is in flight.
    void Wait();
    // Blocks until no send is in flight or until `deadline`; false when sends were still in flight then.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

private:
    friend void DeliverEvent(EventSender& sender,
                             int state,
                             const std::string& record,
                             const HeaderList& headers,
                             const char* product);

    // One send has ended: wakes the waiters when it was the last.
    void EndOne();

    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_pending = 0;
    // Written by send threads, read by whoever reports an event, on any thread.
    std::atomic<bool> m_closed{false};
};

// The body of one send, on its own thread: up to two posts to the analytics endpoint with a pause after each
// failed one; a transport failure drops the event at once. Ends by counting the send off `sender`.
void DeliverEvent(EventSender& sender,
                  int state,
                  const std::string& record,
                  const HeaderList& headers,
                  const char* product);
