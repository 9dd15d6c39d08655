// Drives the real frame and its pages under Wine: a frame whose page framework is reachable from the test,
// pages that stand in for those other issues add, and a runner that performs a test's steps from inside the
// frame's own modal loop, so that posted keys pass through the dialog manager exactly as typed ones do.
#pragma once

#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "pages/IPage.h"
#include "pages/LoadingPage.h"
#include "resource.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
    using IPage::ReportButton;
    using IPage::ReportError;
    int m_navigations = 0;

private:
    std::wstring m_name;
};

class TestFrame : public CWayfarerDlg {
public:
    using CWayfarerDlg::DeleteDirectoryTree;
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
    IPage& Page(int index) { return *m_pages.at(static_cast<size_t>(index)); }
    LoadingPage& Loading() { return dynamic_cast<LoadingPage&>(Page(1)); }
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
// `onTimeout` ends the dialog.
class StepRunner {
public:
    using Step = std::function<bool()>;

    static void Start(std::vector<Step> steps,
                      std::function<void()> onTimeout,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        // Lives until the process ends: a late tick must never reach freed memory.
        auto* state = new State{std::move(steps), std::move(onTimeout), timeout, 0, {}, 0};
        state->stepStarted = std::chrono::steady_clock::now();
        Current() = state;
        state->timer = ::SetTimer(nullptr, 0, 50, OnTick);
    }

    // Ends the current run; its timer ticks no more.
    static void Stop() {
        if (State* state = Current()) {
            ::KillTimer(nullptr, state->timer);
            Current() = nullptr;
        }
    }

private:
    struct State {
        std::vector<Step> steps;
        std::function<void()> onTimeout;
        std::chrono::milliseconds timeout;
        size_t next;
        std::chrono::steady_clock::time_point stepStarted;
        UINT_PTR timer;
    };
    static State*& Current() {
        static State* state = nullptr;
        return state;
    }
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
        State* state = Current();
        if (state == nullptr || state->next >= state->steps.size())
            return;
        // A step may run a nested loop (a message box) that ticks again: only one step runs at a time.
        static bool running = false;
        if (running)
            return;
        running = true;
        bool done = state->steps[state->next]();
        running = false;
        if (done) {
            ++state->next;
            state->stepStarted = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - state->stepStarted > state->timeout) {
            ADD_FAILURE() << "step " << state->next << " timed out";
            state->next = state->steps.size();
            state->onTimeout();
        }
        if (state->next >= state->steps.size()) {
            ::KillTimer(nullptr, state->timer);
            Current() = nullptr;
        }
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
inline INT_PTR RunFrame(TestFrame& frame, std::vector<StepRunner::Step> steps) {
    frame.SetBackgroundColor(ConfigurationManager::GetInstance()->m_backgroundColour, true);
    // The frame is shown before the first step, and is over after the last one.
    steps.insert(steps.begin(), [&frame] { return frame.IsVisible(); });
    steps.push_back([&frame] { return !frame.IsVisible(); });
    StepRunner::Start(std::move(steps), [&frame] { frame.EndDialog(kTimedOut); });
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
