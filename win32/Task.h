// A result that a thread of its own computes and the window's thread takes once it is there. std::future and
// std::promise would do the same, but their broken-promise path copies a std::logic_error, which links the C++
// runtime's copy-on-write strings and exceptions into the installer (some 45 KB of its size).
#pragma once

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace win32 {

// Where the thread leaves its value or its exception; shared by the thread and whoever waits.
template <typename T>
class ResultSlot {
public:
    void Set(T value) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_value.emplace(std::move(value));
        m_done = true;
        m_changed.notify_all();
    }
    void Fail(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = std::move(error);
        m_done = true;
        m_changed.notify_all();
    }
    bool IsReady() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_done;
    }
    // Waits for the result; raises the thread's exception in its place. Once only.
    T Take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done; });
        if (m_error)
            std::rethrow_exception(m_error);
        return std::move(*m_value);
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<T> m_value;
    std::exception_ptr m_error;
    bool m_done = false;
};

// The thread and its slot. As with std::async, the owner waits for the thread when it lets the task go (replaced
// or destroyed), so that nothing the thread uses ends before it.
template <typename T>
class Task {
public:
    Task() = default;
    ~Task() { Join(); }
    Task(Task&&) noexcept = default;
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            Join();
            m_slot = std::move(other.m_slot);
            m_thread = std::move(other.m_thread);
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    // Runs `work` on a new thread; raises std::system_error when no thread can start.
    template <typename Work>
    static Task Run(Work work) {
        Task task;
        task.m_slot = std::make_shared<ResultSlot<T>>();
        task.m_thread = std::thread([slot = task.m_slot, work = std::move(work)]() mutable {
            try {
                slot->Set(work());
            } catch (...) {
                slot->Fail(std::current_exception());
            }
        });
        return task;
    }
    // A task that is over before it began, with `value`.
    static Task Ready(T value) {
        Task task;
        task.m_slot = std::make_shared<ResultSlot<T>>();
        task.m_slot->Set(std::move(value));
        return task;
    }

    // False before the start and once the result has been taken.
    bool Valid() const { return m_slot != nullptr; }
    bool IsReady() const { return m_slot && m_slot->IsReady(); }
    // Waits for the result and the thread's end; raises the thread's exception in its place. The task is over.
    T Take() {
        std::shared_ptr<ResultSlot<T>> slot = std::move(m_slot);
        Join();
        return slot->Take();
    }

private:
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::shared_ptr<ResultSlot<T>> m_slot;
    std::thread m_thread;
};

}  // namespace win32
