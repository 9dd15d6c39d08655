// Downloads one URL with DownloadManager::DownloadFile, as the download page does (a task thread posting
// progress to a window that the GUI thread pumps), and prints what it cost.
// Usage: bench_download.exe <url> [runs]   (default 1 run)
// One line per run: bytes, seconds, MiB/s, progress and marquee messages received, and the process's peak
// working set and peak pagefile usage (read by the process itself) before the first run and after each one.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "pages/IPage.h"

namespace {

unsigned g_progressMessages = 0;
unsigned g_marqueeMessages = 0;
unsigned g_lastPercent = 0;

LRESULT CALLBACK CountingWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DOWNLOAD_PROGRESS) {
        ++g_progressMessages;
        g_lastPercent = static_cast<unsigned>(wParam);
        return 0;
    }
    if (message == WM_DOWNLOAD_MARQUEE) {
        ++g_marqueeMessages;
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateCountingWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WayfarerBenchDownload";
    ::RegisterClassExW(&windowClass);
    return ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
}

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

double MiB(SIZE_T bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void PrintMemory(const char* when) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) {
        std::printf("memory %s: peak working set %.1f MiB, peak pagefile usage %.1f MiB\n", when,
                    MiB(counters.PeakWorkingSetSize), MiB(counters.PeakPagefileUsage));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_download.exe <url> [runs]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const int runs = argc > 2 ? _wtoi(argv[2]) : 1;

    auto configuration = std::make_shared<ConfigurationManager>(L"ISV");
    auto manager = DownloadManager::Create(configuration);
    HWND window = CreateCountingWindow();
    PrintMemory("before");

    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        g_progressMessages = 0;
        g_marqueeMessages = 0;
        const auto start = std::chrono::steady_clock::now();
        auto task = std::async(std::launch::async,
                               [&] { return manager->DownloadFile(url, window, L"bench-payload.bin", true); });
        while (task.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            Pump();
        }
        const DownloadResult result = task.get();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Pump();

        LARGE_INTEGER size{};
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (::GetFileAttributesExW(manager->m_lastDownloadPath.c_str(), GetFileExInfoStandard, &attributes)) {
            size.HighPart = static_cast<LONG>(attributes.nFileSizeHigh);
            size.LowPart = attributes.nFileSizeLow;
        }
        const double bytes = static_cast<double>(size.QuadPart);
        std::printf(
            "run %d: ok %d, bytes %lld, seconds %.3f, throughput %.1f MiB/s, progress messages %u (last %u), "
            "marquee messages %u%s%ls\n",
            run + 1, result.first ? 1 : 0, static_cast<long long>(size.QuadPart), seconds,
            seconds > 0 ? bytes / seconds / (1024.0 * 1024.0) : 0.0, g_progressMessages, g_lastPercent,
            g_marqueeMessages, result.second.empty() ? "" : ", text: ", result.second.c_str());
        PrintMemory("after");
        if (!result.first)
            ++failures;
        ::DeleteFileW(manager->m_lastDownloadPath.c_str());
    }
    std::fflush(stdout);
    ::DestroyWindow(window);
    ::RemoveDirectoryW(configuration->m_tempFolder.c_str());
    return failures == 0 ? 0 : 1;
}
