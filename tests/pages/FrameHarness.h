// Drives the real frame and its pages under Wine: a frame whose page framework is reachable from the test,
// pages that stand in for those other issues add, and a runner that performs a test's steps from inside the
// frame's own modal loop, so that posted keys pass through the dialog manager exactly as typed ones do.
#pragma once

#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "config/WorkFolder.h"
#include "pages/IPage.h"
#include "pages/LoadingPage.h"
#include "resource.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_frame {

// A page with a name of the test's choosing, on the loading page's template.
class StubPage : public IPage {
public:
    StubPage(std::shared_ptr<LanguageManager> manager, std::wstring name)
        : IPage(std::move(manager), IDD_LOADING_PAGE), m_name(std::move(name)) {}
    void OnNavigateToPage() override { ++m_navigations; }
    std::wstring GetPageName() const override { return m_name; }
    // The kind of the real page of that name, so that the frame counts and wires the stand-in as it.
    PageKind GetKind() const override {
        if (m_name == L"ProductPage")
            return PageKind::Product;
        if (m_name == L"DownloadPageISV" || m_name == L"DownloadPageDLM")
            return PageKind::Download;
        if (m_name == L"FinishPageISV" || m_name == L"FinishPageDLM")
            return PageKind::Finish;
        return PageKind::Other;
    }
    using IPage::ReportButton;
    using IPage::ReportError;
    int m_navigations = 0;

private:
    std::wstring m_name;
};

class TestFrame : public CWayfarerDlg {
public:
    using CWayfarerDlg::CreateDownloadPage;
    // The work folder's deletion, which the frame's tests use to clean up.
    static void DeleteDirectoryTree(const std::wstring& path, const std::vector<std::wstring>& inUse = {}) {
        ::DeleteDirectoryTree(path, inUse);
    }
    using CWayfarerDlg::m_currentPage;
    using CWayfarerDlg::m_errorPage;
    using CWayfarerDlg::m_errorShown;
    using CWayfarerDlg::m_installersRunning;
    using CWayfarerDlg::m_pages;
    using CWayfarerDlg::m_returnedToStart;
    using CWayfarerDlg::NavigateToPage;
    using CWayfarerDlg::OnPageButton;

    // Adds pages after the loading page, as the later issues' pages will be.
    StubPage& AddStubPage(const std::wstring& name) {
        auto page = std::make_unique<StubPage>(m_languageManager, name);
        StubPage& added = *page;
        CreateAndAddPage(std::move(page), GetPageRect());
        return added;
    }
    // The flavour's download page, as the frame makes and wires it, appended to the list.
    IPage& AddDownloadPage() {
        CreateDownloadPage(GetPageRect());
        return *m_pages.back();
    }
    IPage& Page(int index) { return *m_pages.at(static_cast<size_t>(index)); }
    LoadingPage& Loading() { return static_cast<LoadingPage&>(Page(1)); }
    HWND VisiblePage() const {
        for (const auto& page : m_pages) {
            if (page->IsVisible())
                return page->GetHwnd();
        }
        return m_errorPage && m_errorPage->IsVisible() ? m_errorPage->GetHwnd() : nullptr;
    }
};

// Performs `steps` one after the other from timer ticks of the running dialog's own loop. A step returns false
// to be called again on the next tick (it waits for something); after `timeout` on one step the test fails and
// the run is ended whatever the thread is in: the windows of nested modal loops (a message box, the exit
// question, a page's own dialog) are closed on every tick until `onTimeout` has ended the dialog, and a process
// that still has not come back from the run some seconds later is terminated, so that a test fails but never
// hangs.
class StepRunner {
public:
    using Step = std::function<bool()>;

    static void Start(std::vector<Step> steps,
                      std::function<void()> onTimeout,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        Stop();
        // Lives until the process ends: a late tick must never reach freed memory.
        auto* state = new State{std::move(steps), std::move(onTimeout), timeout};
        Current() = state;
        state->timer = ::SetTimer(nullptr, 0, 50, OnTick);
    }

    // Ends the current run; its timer ticks no more, and a run that timed out is not terminated any more.
    static void Stop() {
        if (State* state = Current()) {
            ::KillTimer(nullptr, state->timer);
            *state->over = true;
            Current() = nullptr;
        }
    }

    // How long a run that timed out may take to come back before the process is terminated.
    static constexpr std::chrono::seconds kGraceAfterTimeout{15};

private:
    struct State {
        std::vector<Step> steps;
        std::function<void()> onTimeout;
        std::chrono::milliseconds timeout;
        size_t next = 0;
        // Taken at the first tick that sees the step, not when the run was set up: creating the frame before its
        // loop ticks for the first time can take long on a loaded machine.
        bool clockStarted = false;
        std::chrono::steady_clock::time_point stepStarted;
        UINT_PTR timer = 0;
        // A step may run a nested loop (a message box) that ticks again: only one step runs at a time. Kept per
        // run, so that a run that ended inside a step cannot keep the next one from running its steps.
        bool running = false;
        bool timedOut = false;
        // Shared with the watchdog, which may outlive the run.
        std::shared_ptr<std::atomic<bool>> over = std::make_shared<std::atomic<bool>>(false);
    };
    static State*& Current() {
        static State* state = nullptr;
        return state;
    }

    static BOOL CALLBACK CloseNestedWindow(HWND window, LPARAM data) {
        auto* closed = reinterpret_cast<std::vector<std::wstring>*>(data);
        wchar_t className[16] = {};
        ::GetClassNameW(window, className, 16);
        // The frame is the one disabled dialog among them while one of its nested loops runs; the nested one
        // on top is enabled. Ending a dialog that is not the innermost only marks it, so every one is ended.
        if (std::wcscmp(className, L"#32770") == 0 && ::IsWindowEnabled(window) && ::IsWindowVisible(window)) {
            // A message box says what went wrong in its static text.
            closed->push_back(testing_ui::GetWindowTextOf(window) + L": " +
                              testing_ui::GetWindowTextOf(::GetDlgItem(window, 0xFFFF)));
            ::EndDialog(window, IDCANCEL);
        }
        return TRUE;
    }

    static void EndAfterTimeout(State& state) {
        std::vector<std::wstring> closed;
        ::EnumThreadWindows(::GetCurrentThreadId(), CloseNestedWindow, reinterpret_cast<LPARAM>(&closed));
        for (const auto& title : closed)
            std::printf("step runner: ended the window \"%ls\" after the time-out\n", title.c_str());
        state.onTimeout();
    }

    static void StartWatchdog(const std::shared_ptr<std::atomic<bool>>& over, size_t step) {
        std::thread([over, step] {
            const auto deadline = std::chrono::steady_clock::now() + kGraceAfterTimeout;
            while (!*over && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (*over)
                return;
            std::fprintf(stderr, "step runner: step %u timed out and the run did not end; terminating\n",
                         static_cast<unsigned>(step));
            std::fflush(stdout);
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }).detach();
    }

    static void CALLBACK OnTick(HWND, UINT, UINT_PTR timer, DWORD) {
        State* state = Current();
        // A tick of a run that has already been replaced is not this run's.
        if (state == nullptr || timer != state->timer)
            return;
        if (state->timedOut) {
            // Whatever opened since (the exit question, say) is closed too.
            EndAfterTimeout(*state);
            return;
        }
        if (state->next >= state->steps.size())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!state->clockStarted) {
            state->clockStarted = true;
            state->stepStarted = now;
        }
        if (now - state->stepStarted > state->timeout) {
            // Checked on nested ticks too: a step stuck in a loop of its own is a step that timed out.
            ADD_FAILURE() << "step " << state->next << " timed out" << (state->running ? " inside a nested loop" : "");
            state->timedOut = true;
            StartWatchdog(state->over, state->next);
            EndAfterTimeout(*state);
            return;
        }
        if (state->running)
            return;
        state->running = true;
        bool done = state->steps[state->next]();
        state->running = false;
        // The step may have ended the run (its dialog's loop ran out and a new run began), or timed out in a
        // nested loop meanwhile.
        if (Current() != state || state->timedOut)
            return;
        if (done) {
            ++state->next;
            state->clockStarted = false;
        }
        if (state->next >= state->steps.size())
            Stop();
    }
};

// Collects what this process writes with OutputDebugString while it lives, through the system's own protocol
// for debug-output listeners (a shared buffer and two events).
class DebugOutputReader {
public:
    DebugOutputReader() : m_state(std::make_shared<State>()) {
        m_state->mapping.Reset(
            ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"));
        m_state->bufferReady.Reset(::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY"));
        m_state->dataReady.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
        m_state->view = m_state->mapping ? ::MapViewOfFile(m_state->mapping.Get(), FILE_MAP_READ, 0, 0, 4096) : nullptr;
        m_state->thread = std::thread([state = m_state] {
            while (!state->stop && state->view != nullptr) {
                if (::WaitForSingleObject(state->dataReady.Get(), 20) != WAIT_OBJECT_0)
                    continue;
                const auto* block = static_cast<const char*>(state->view);
                DWORD process = *reinterpret_cast<const DWORD*>(block);
                if (process == ::GetCurrentProcessId()) {
                    std::lock_guard<std::mutex> lock(state->mutex);
                    state->text += std::string(block + sizeof(DWORD), strnlen(block + sizeof(DWORD), 4092));
                }
                ::SetEvent(state->bufferReady.Get());
            }
        });
    }
    ~DebugOutputReader() {
        m_state->stop = true;
        m_state->thread.join();
        if (m_state->view != nullptr)
            ::UnmapViewOfFile(m_state->view);
    }
    DebugOutputReader(const DebugOutputReader&) = delete;
    DebugOutputReader& operator=(const DebugOutputReader&) = delete;

    std::string Text() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->text;
    }

private:
    struct State {
        win32::Handle mapping;
        win32::Handle bufferReady;
        win32::Handle dataReady;
        void* view = nullptr;
        std::atomic<bool> stop{false};
        std::mutex mutex;
        std::string text;
        std::thread thread;
    };
    std::shared_ptr<State> m_state;
};

// The result a dialog ends with when the steps' time ran out.
constexpr INT_PTR kTimedOut = 99;

// Runs `frame` modally with `steps`; returns what it ended with. The steps must end the frame.
inline INT_PTR RunFrame(TestFrame& frame,
                        std::vector<StepRunner::Step> steps,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    frame.SetBackgroundColor(ConfigurationManager::GetInstance()->m_backgroundColour, true);
    // The frame is shown before the first step, and is over after the last one.
    steps.insert(steps.begin(), [&frame] { return frame.IsVisible(); });
    steps.push_back([&frame] { return !frame.IsVisible(); });
    StepRunner::Start(
        std::move(steps), [&frame] { frame.EndDialog(kTimedOut); }, timeout);
    INT_PTR result = frame.DoModal();
    StepRunner::Stop();
    return result;
}

// Posts a key press to the window that has the keyboard focus, as the keyboard would.
inline void PressKey(WPARAM key) {
    HWND focus = ::GetFocus();
    ::PostMessageW(focus, WM_KEYDOWN, key, 1);
    ::PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
}

inline std::wstring TextOf(HWND window, int id) {
    return testing_ui::GetWindowTextOf(::GetDlgItem(window, id));
}

// The system menu's Close command, which also enables the window's close button.
inline bool HasCloseCommand(HWND frame) {
    return ::GetMenuState(::GetSystemMenu(frame, FALSE), SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

}  // namespace testing_frame
