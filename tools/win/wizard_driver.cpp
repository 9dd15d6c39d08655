// Walks the installer's wizard the way a user in a hurry would, for the demo and the whole-run tests: it starts
// the installer, and on every page presses the forward button (the enabled push button furthest right in the
// page's button band: Next, Agree, Accept, Finish, or Close on the error page) until the installer ends.
// It prints each page as the frame names it ("page NAME", from the frame's debugger output; the error page,
// which the frame does not name, as "page ErrorPage"), and with --shots FOLDER saves a picture of the window
// on every page ("NN-NAME.bmp").
//
// With --keys the walk uses the keyboard alone, as the system delivers typed keys, and never a mouse message:
// "enter" presses Enter on every page (on an offer's page the focus starts on Decline, so every offer is
// declined); "tab-space" does the same except on an offer's page, where it presses Tab until Accept has the
// focus and then Space, accepting the offer.
//
// With --measure it also prints, for the benchmark, when each page appeared ("at MS" after the start), the
// installer process's peak working set, and the longest time the frame took to answer a message sent to it
// while a download page was shown.
//
// Usage: wizard_driver.exe INSTALLER [--shots FOLDER] [--pause MS] [--timeout S] [--measure 1]
//                           [--keys enter|tab-space]
// Exit code: the installer's, or 255 when it had to be ended after the time-out.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kErrorPageCloseId = 1035;
constexpr int kOfferAcceptId = 1021;
// Tab presses that may pass before Accept has the focus on an offer's page: more than its controls.
constexpr int kMostTabsToAccept = 12;
constexpr DWORD kFocusWaitMs = 3000;
// How long the installer may take to handle what it was sent (a page drawn at a large scale under emulation takes
// seconds) before the driver looks again.
constexpr DWORD kIdleWaitMs = 20000;

enum class Walk { Click, Enter, TabSpace };

// A key pressed and released, as the keyboard delivers it to the window that has the focus.
void PressKey(WORD key) {
    INPUT inputs[2]{};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, inputs, sizeof(INPUT));
}

// The window that has the keyboard focus in the frame's thread.
HWND FocusOf(HWND frame) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = ::GetWindowThreadProcessId(frame, nullptr);
    return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// Typed keys go to the active window: the frame is made active first, as a user's click on it would.
void PressKeyIn(HWND frame, WORD key) {
    if (::GetForegroundWindow() != frame)
        ::SetForegroundWindow(frame);
    PressKey(key);
}

// On an offer's page: Tab until Accept has the focus, then Space. False when Accept was never reached.
bool AcceptByKeyboard(HWND frame, HWND page) {
    HWND accept = ::GetDlgItem(page, kOfferAcceptId);
    for (int presses = 0; presses <= kMostTabsToAccept; ++presses) {
        if (FocusOf(frame) == accept) {
            PressKeyIn(frame, VK_SPACE);
            return true;
        }
        HWND before = FocusOf(frame);
        PressKeyIn(frame, VK_TAB);
        const ULONGLONG until = ::GetTickCount64() + kFocusWaitMs;
        while (FocusOf(frame) == before && ::GetTickCount64() < until)
            ::Sleep(20);
    }
    return false;
}

// The system's protocol for debugger output: a shared buffer and two events, read here for one process.
class DebugOutput {
public:
    DebugOutput() {
        m_mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
        m_bufferReady = ::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY");
        m_dataReady = ::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        m_view = m_mapping != nullptr ? ::MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 4096) : nullptr;
    }
    // Lines the process `pid` wrote since the last call.
    std::vector<std::string> Read(DWORD pid) {
        std::vector<std::string> lines;
        while (m_view != nullptr && ::WaitForSingleObject(m_dataReady, 0) == WAIT_OBJECT_0) {
            const auto* block = static_cast<const char*>(m_view);
            if (*reinterpret_cast<const DWORD*>(block) == pid)
                m_pending += std::string(block + sizeof(DWORD), strnlen(block + sizeof(DWORD), 4092));
            ::SetEvent(m_bufferReady);
        }
        for (size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n')) {
            lines.push_back(m_pending.substr(0, end));
            m_pending.erase(0, end + 1);
        }
        return lines;
    }

private:
    HANDLE m_mapping = nullptr;
    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    void* m_view = nullptr;
    std::string m_pending;
};

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindFrame(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (pid == search->pid && ::IsWindowVisible(window) && std::wcscmp(className, L"#32770") == 0 &&
        (::GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The frame of the installer: its visible top-level dialog with a caption (message boxes have one too, but they
// come after the frame in no case the driver meets).
HWND FindFrameOf(DWORD pid) {
    Search search{pid, nullptr};
    ::EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The visible page: a child dialog of the frame.
HWND FindVisiblePage(HWND frame) {
    for (HWND child = ::GetWindow(frame, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        ::GetClassNameW(child, className, 64);
        if (::IsWindowVisible(child) && std::wcscmp(className, L"#32770") == 0)
            return child;
    }
    return nullptr;
}

// Returns once the installer has handled what it was busy with: idle, and answering its frame again.
void WaitUntilHandled(HANDLE process, HWND frame) {
    ::WaitForInputIdle(process, kIdleWaitMs);
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, kIdleWaitMs, &result);
}

HWND FindForwardButton(HWND page) {
    HWND best = nullptr;
    LONG bestRight = -1;
    for (HWND child = ::GetWindow(page, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        ::GetClassNameW(child, className, 64);
        LONG type = ::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
        if (_wcsicmp(className, L"Button") != 0 || (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) ||
            !::IsWindowVisible(child) || !::IsWindowEnabled(child))
            continue;
        RECT rect{};
        ::GetWindowRect(child, &rect);
        if (rect.right > bestRight) {
            bestRight = rect.right;
            best = child;
        }
    }
    return best;
}

bool SaveShot(HWND frame, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(frame, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
                            0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    bool saved = false;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        saved = ::WriteFile(file, &header, sizeof(header), &written, nullptr) &&
                ::WriteFile(file, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                ::WriteFile(file, bits, size, &written, nullptr);
        ::CloseHandle(file);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: wizard_driver INSTALLER [--shots FOLDER] [--pause MS] [--timeout S]\n");
        return 2;
    }
    std::wstring installer = argv[1];
    std::wstring shots;
    DWORD pauseMs = 700;
    DWORD timeoutMs = 240000;
    bool measure = false;
    Walk walk = Walk::Click;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::wstring option = argv[i];
        if (option == L"--shots")
            shots = argv[i + 1];
        else if (option == L"--pause")
            pauseMs = static_cast<DWORD>(_wtoi(argv[i + 1]));
        else if (option == L"--timeout")
            timeoutMs = static_cast<DWORD>(_wtoi(argv[i + 1])) * 1000;
        else if (option == L"--measure")
            measure = _wtoi(argv[i + 1]) != 0;
        else if (option == L"--keys")
            walk = std::wstring(argv[i + 1]) == L"tab-space" ? Walk::TabSpace : Walk::Enter;
    }

    DebugOutput debugOutput;
    std::wstring commandLine = L"\"" + installer + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        std::fprintf(stderr, "wizard_driver: cannot start the installer (%lu)\n", ::GetLastError());
        return 2;
    }
    ::CloseHandle(process.hThread);

    // The first page is shown without being named.
    std::string pageName = "LanguagePage";
    HWND shownPage = nullptr;
    bool pageNew = false;
    int shotNumber = 0;
    const ULONGLONG started = ::GetTickCount64();
    const ULONGLONG deadline = started + timeoutMs;
    SIZE_T peakWorkingSet = 0;
    ULONGLONG longestAnswerMs = 0;
    auto printPage = [&](const std::string& name) {
        if (measure)
            std::printf("page %s at %llu\n", name.c_str(), ::GetTickCount64() - started);
        else
            std::printf("page %s\n", name.c_str());
        std::fflush(stdout);
    };
    while (::WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        if (::GetTickCount64() > deadline) {
            std::printf("timeout on page %s\n", pageName.c_str());
            ::TerminateProcess(process.hProcess, 255);
            break;
        }
        for (const std::string& line : debugOutput.Read(process.dwProcessId)) {
            pageName = line;
            printPage(line);
        }
        HWND frame = FindFrameOf(process.dwProcessId);
        HWND page = frame != nullptr ? FindVisiblePage(frame) : nullptr;
        if (measure) {
            PROCESS_MEMORY_COUNTERS counters{};
            if (::GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) &&
                counters.PeakWorkingSetSize > peakWorkingSet)
                peakWorkingSet = counters.PeakWorkingSetSize;
            // The frame must stay responsive while it downloads: a message sent to it is answered at once.
            if (frame != nullptr && pageName.rfind("DownloadPage", 0) == 0) {
                const ULONGLONG sent = ::GetTickCount64();
                DWORD_PTR result = 0;
                ::SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
                const ULONGLONG answered = ::GetTickCount64() - sent;
                if (answered > longestAnswerMs)
                    longestAnswerMs = answered;
            }
        }
        if (page == nullptr)
            continue;
        if (page != shownPage) {
            shownPage = page;
            pageNew = true;
            if (::GetDlgItem(page, kErrorPageCloseId) != nullptr) {
                pageName = "ErrorPage";
                printPage(pageName);
            }
            // The page paints (a short page such as the loading page is pictured before it is over), and is
            // left a while longer before its button is pressed.
            const DWORD paintMs = pauseMs < 300 ? pauseMs : 300;
            WaitUntilHandled(process.hProcess, frame);
            ::Sleep(paintMs);
            for (const std::string& line : debugOutput.Read(process.dwProcessId)) {
                pageName = line;
                printPage(line);
            }
            // A page that was over meanwhile (a quick loading page) is not pictured under the next one's name.
            if (FindVisiblePage(frame) != page) {
                shownPage = nullptr;
                continue;
            }
            if (!shots.empty()) {
                wchar_t name[MAX_PATH] = {};
                std::swprintf(name, MAX_PATH, L"%ls\\%02d-%hs.bmp", shots.c_str(), ++shotNumber, pageName.c_str());
                if (SaveShot(frame, name))
                    std::printf("shot %ls\n", name);
            }
            std::fflush(stdout);
            ::Sleep(pauseMs - paintMs);
        }
        HWND forward = FindForwardButton(page);
        // The page's move on: a click on its forward button, or the keys of the walk.
        auto press = [&] {
            if (walk == Walk::Click) {
                ::PostMessageW(forward, BM_CLICK, 0, 0);
            } else if (walk == Walk::TabSpace && ::GetDlgItem(page, kOfferAcceptId) != nullptr) {
                if (AcceptByKeyboard(frame, page))
                    std::printf("accepted by keyboard\n");
                else
                    std::printf("accept not reached by Tab\n");
                std::fflush(stdout);
            } else {
                PressKeyIn(frame, VK_RETURN);
            }
        };
        if (forward != nullptr && pageNew) {
            pageNew = false;
            press();
        } else if (forward != nullptr) {
            // A press that did not take (the page was still busy): press again a little later, once the installer
            // has handled the first one; a slow one still busy with it has not ignored it.
            WaitUntilHandled(process.hProcess, frame);
            ::Sleep(pauseMs);
            if (FindVisiblePage(frame) == page && ::IsWindowEnabled(forward))
                press();
        }
    }
    DWORD exitCode = 255;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    if (measure) {
        std::printf("ended at %llu\n", ::GetTickCount64() - started);
        std::printf("peak-working-set %llu\n", static_cast<unsigned long long>(peakWorkingSet));
        std::printf("longest-answer-ms %llu\n", longestAnswerMs);
    }
    ::CloseHandle(process.hProcess);
    std::printf("exit %lu\n", exitCode);
    return static_cast<int>(exitCode);
}
