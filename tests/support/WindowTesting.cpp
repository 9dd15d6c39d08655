#include "support/WindowTesting.h"

#include <memory>
#include <thread>

namespace testing_ui {

namespace {

struct ScriptState {
    std::function<HWND()> findWindow;
    std::function<void(HWND)> script;
    std::chrono::steady_clock::time_point deadline;
    bool ran = false;
    UINT_PTR timer = 0;
};

ScriptState* g_script = nullptr;

void CALLBACK OnScriptTimer(HWND, UINT, UINT_PTR, DWORD) {
    ScriptState* state = g_script;
    if (state == nullptr || state->ran)
        return;
    HWND hwnd = state->findWindow();
    bool shown = hwnd != nullptr && ::IsWindowVisible(hwnd);
    if (!shown && std::chrono::steady_clock::now() < state->deadline)
        return;
    state->ran = true;
    ::KillTimer(nullptr, state->timer);
    state->script(shown ? hwnd : nullptr);
}

}  // namespace

bool RunWhenShown(std::function<HWND()> findWindow,
                  std::function<void(HWND)> script,
                  std::chrono::milliseconds timeout) {
    // The state lives until the process ends: a late timer tick after the caller's dialog returned must not
    // reach freed memory.
    auto* state = new ScriptState{std::move(findWindow), std::move(script), std::chrono::steady_clock::now() + timeout};
    g_script = state;
    state->timer = ::SetTimer(nullptr, 0, 50, OnScriptTimer);
    return state->timer != 0;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

namespace {

struct TopWindowSearch {
    const wchar_t* className;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<TopWindowSearch*>(lParam);
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    if (::IsWindowVisible(hwnd) && (search->className == nullptr || std::wstring(name) == search->className) &&
        GetWindowTextOf(hwnd) == *search->caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindTopWindow(const wchar_t* className, const std::wstring& caption) {
    TopWindowSearch search{className, &caption, nullptr};
    ::EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring GetWindowTextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::wstring GetMessageBoxText(HWND messageBox) {
    // The message of a message box is its static control with id 0xFFFF.
    HWND text = ::GetDlgItem(messageBox, 0xFFFF);
    return text != nullptr ? GetWindowTextOf(text) : std::wstring();
}

COLORREF ReadClientPixel(HWND hwnd, int x, int y) {
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = ::GetDC(hwnd);
    COLORREF colour = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return colour;
}

HANDLE StartProgram(const std::wstring& path, const std::wstring& arguments) {
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return nullptr;
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace testing_ui

#include <atomic>
#include <mutex>

#include <objidl.h>
#include <gdiplus.h>

namespace testing_ui {

struct DialogWatcher::State {
    std::wstring caption;
    std::function<std::wstring(HWND)> read;
    int button;
    std::atomic<bool> stop{false};
    std::atomic<bool> seen{false};
    std::mutex mutex;
    std::wstring text;
    std::thread thread;
};

DialogWatcher::DialogWatcher(std::wstring caption, std::function<std::wstring(HWND)> read, int button)
    : m_state(std::make_shared<State>()) {
    m_state->caption = std::move(caption);
    m_state->read = std::move(read);
    m_state->button = button;
    m_state->thread = std::thread([state = m_state] {
        while (!state->stop) {
            HWND dialog = FindTopWindow(L"#32770", state->caption);
            if (dialog != nullptr) {
                std::wstring text = state->read(dialog);
                {
                    std::lock_guard<std::mutex> lock(state->mutex);
                    state->text = text;
                }
                ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(state->button, BN_CLICKED), 0);
                state->seen = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    });
}

DialogWatcher::~DialogWatcher() {
    m_state->stop = true;
    if (m_state->thread.joinable())
        m_state->thread.join();
}

std::wstring DialogWatcher::Wait(std::chrono::milliseconds timeout) {
    WaitFor([this] { return m_state->seen.load(); }, timeout);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->text;
}

bool DialogWatcher::Seen() const {
    return m_state->seen;
}

void EnsureGdiplus() {
    static std::once_flag once;
    std::call_once(once, [] {
        static Gdiplus::GdiplusStartupInput input;
        static ULONG_PTR token = 0;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    });
}

}  // namespace testing_ui
