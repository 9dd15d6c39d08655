// Downloads one URL with DownloadManager::DownloadFile, as the download page does (a task thread posting
// progress to a window that the GUI thread pumps), and prints what it cost.
// Usage: bench_download.exe <url> [runs]   (default 1 run)
//        bench_download.exe --time-to-fail <url>   (how long each engine takes to give up on a hostile server)
// One line per run: bytes, seconds, MiB/s, progress and marquee messages received, and the process's peak
// working set and peak pagefile usage (read by the process itself) before the first run and after each one.
// Then one line for a bare WinHTTP read loop over the same URL (no file, no progress, 1 MiB reads): the
// ceiling that the platform's HTTP stack sets for any engine built on it.
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "download/ProgressMessages.h"

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

// Reads the whole body with WinHTTP and drops it; returns the bytes read, or -1 on failure.
long long ReadBare(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
        return -1;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path(parts.lpszUrlPath);
    HINTERNET session = ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = session ? ::WinHttpConnect(session, host.c_str(), parts.nPort, 0) : nullptr;
    HINTERNET request = connection ? ::WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, nullptr, nullptr,
                                                          WINHTTP_FLAG_SECURE)
                                   : nullptr;
    long long total = -1;
    if (request && ::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) &&
        ::WinHttpReceiveResponse(request, nullptr)) {
        std::vector<char> buffer(1 << 20);
        total = 0;
        DWORD read = 0;
        while (::WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0)
            total += read;
    }
    for (HINTERNET handle : {request, connection, session}) {
        if (handle)
            ::WinHttpCloseHandle(handle);
    }
    return total;
}

// Times DownloadFile, then the WinINet engine alone (which DownloadFile no longer asks after a final failure),
// against a server that should be given up on, with the limits the installer ships with.
int TimeToFail(const std::wstring& url) {
    auto configuration = std::make_shared<ConfigurationManager>(L"ISV");
    auto manager = DownloadManager::Create(configuration);
    for (const bool winInet : {false, true}) {
        const auto start = std::chrono::steady_clock::now();
        const download::FileOutcome result = winInet
                                                 ? manager->DownloadFileWinInet(url, nullptr, L"bench-fail.bin", true)
                                                 : manager->DownloadFile(url, nullptr, L"bench-fail.bin", true);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s: ok %d, seconds %.1f, text: %ls\n", winInet ? "WinINet alone" : "DownloadFile",
                    result.ok ? 1 : 0, seconds, result.text.c_str());
        std::fflush(stdout);
    }
    ::RemoveDirectoryW(configuration->m_tempFolder.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_download.exe <url> [runs] | --time-to-fail <url>\n");
        return 2;
    }
    if (std::wstring(argv[1]) == L"--time-to-fail" && argc > 2)
        return TimeToFail(argv[2]);
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
        const download::FileOutcome result = task.get();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Pump();

        LARGE_INTEGER size{};
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (::GetFileAttributesExW(result.savedPath.c_str(), GetFileExInfoStandard, &attributes)) {
            size.HighPart = static_cast<LONG>(attributes.nFileSizeHigh);
            size.LowPart = attributes.nFileSizeLow;
        }
        const double bytes = static_cast<double>(size.QuadPart);
        std::printf(
            "run %d: ok %d, bytes %lld, seconds %.3f, throughput %.1f MiB/s, progress messages %u (last %u), "
            "marquee messages %u, attempts %d, resumed %d, paused %.3f s%s%ls\n",
            run + 1, result.ok ? 1 : 0, static_cast<long long>(size.QuadPart), seconds,
            seconds > 0 ? bytes / seconds / (1024.0 * 1024.0) : 0.0, g_progressMessages, g_lastPercent,
            g_marqueeMessages, result.stats.attempts, result.stats.resumed,
            static_cast<double>(result.stats.paused.count()) / 1000.0,
            result.text.empty() ? "" : ", text: ", result.text.c_str());
        PrintMemory("after");
        if (!result.ok)
            ++failures;
        ::DeleteFileW(result.savedPath.c_str());
    }
    const auto start = std::chrono::steady_clock::now();
    const long long bare = ReadBare(url);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("bare WinHTTP read loop: bytes %lld, seconds %.3f, throughput %.1f MiB/s\n", bare, seconds,
                seconds > 0 && bare > 0 ? static_cast<double>(bare) / seconds / (1024.0 * 1024.0) : 0.0);
    std::fflush(stdout);
    ::DestroyWindow(window);
    ::RemoveDirectoryW(configuration->m_tempFolder.c_str());
    return failures == 0 ? 0 : 1;
}
