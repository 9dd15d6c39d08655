// The bookkeeping that ends a loading run: each offer image (and the DLM logo) is a download that finishes on
// a thread of its own, and the admitted offers are handed over once, when the last one has finished. The state
// lives in shared objects that the completions hold, never in the page that started them, so a page that goes
// away meanwhile leaves nothing behind for them to touch.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Package;

// A completion that runs exactly once: when Run is first called, or else when the last holder lets go of it
// (a download thread that ended on an exception, or a thread that could not be started). Whatever the
// completion throws is dropped, so it can run from a destructor or a detached thread.
class CompletionOnce {
public:
    explicit CompletionOnce(std::function<void()> completion) : m_completion(std::move(completion)) {}
    ~CompletionOnce() { Run(); }
    CompletionOnce(const CompletionOnce&) = delete;
    CompletionOnce& operator=(const CompletionOnce&) = delete;

    void Run() noexcept;

private:
    std::function<void()> m_completion;
    std::atomic<bool> m_done{false};
};

// Counts the downloads of one loading run down to zero and then hands the offers to `deliver`, once, on the
// thread that finished last. Disarm stops any later delivery and waits for one under way.
class LoadCountdown {
public:
    using Delivery = std::function<void(std::vector<std::shared_ptr<Package>>)>;

    LoadCountdown(std::vector<std::shared_ptr<Package>> offers, Delivery deliver, int pending);

    // One download has finished (loaded, failed or not needed).
    void CompleteOne();
    // No delivery after this returns, and no RunIfArmed body.
    void Disarm();
    // Runs `action` under the countdown's lock if it is still armed, so that Disarm excludes it; false when not.
    bool RunIfArmed(const std::function<void()>& action);

private:
    std::mutex m_mutex;
    int m_pending;
    bool m_armed = true;
    bool m_delivered = false;
    std::vector<std::shared_ptr<Package>> m_offers;
    Delivery m_deliver;
};

// The end of a loading run whose thread nobody joins: the run marks it when it has ended, and the page that
// started it waits for it a bounded time before it goes, so that the run does not outlive the program's
// objects unless the network holds it beyond that.
class RunEnd {
public:
    // The run has ended: it touches nothing of the program any more.
    void Finish();
    // True when the run had ended by `deadline`.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_ended = false;
};
