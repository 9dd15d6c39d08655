// Times a program from process creation to its first visible top-level window, then closes it.
// Usage: startup_timer.exe <runs> <program.exe> [<program.exe> ...]; prints one line per program with the
// median and the best of the runs in milliseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->processId && ::IsWindowVisible(hwnd) && ::GetWindow(hwnd, GW_OWNER) == nullptr) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from CreateProcess to a visible window, or a negative value when none appeared in 60 s.
double TimeOneRun(const std::wstring& program) {
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return -1;
    double elapsed = -1;
    for (;;) {
        Search search{process.dwProcessId, nullptr};
        ::EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        ::QueryPerformanceCounter(&now);
        double ms =
            1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        if (search.found != nullptr) {
            elapsed = ms;
            break;
        }
        if (ms > 60000 || ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            break;
        ::Sleep(1);
    }
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_timer <runs> <program.exe>...\n");
        return 2;
    }
    int runs = std::max(1, _wtoi(argv[1]));
    // The programs take turns, run by run, so that a change in the machine's load weighs on all of them alike.
    std::vector<std::vector<double>> timesOf(static_cast<size_t>(argc));
    // One start of each that does not count: the first start after the others pays for reading their files.
    for (int i = 2; i < argc; ++i)
        TimeOneRun(argv[i]);
    for (int run = 0; run < runs; ++run) {
        for (int i = 2; i < argc; ++i) {
            double ms = TimeOneRun(argv[i]);
            if (ms >= 0)
                timesOf[static_cast<size_t>(i)].push_back(ms);
        }
    }
    for (int i = 2; i < argc; ++i) {
        std::vector<double>& times = timesOf[static_cast<size_t>(i)];
        if (times.empty()) {
            std::printf("%ls: no window\n", argv[i]);
            continue;
        }
        std::sort(times.begin(), times.end());
        std::printf("%ls: median %.1f ms, best %.1f ms over %zu runs\n", argv[i], times[times.size() / 2], times[0],
                    times.size());
    }
    return 0;
}
