#include "download/DownloadTesting.h"

#include <wininet.h>

#include "download/ProgressMessages.h"
#include "support/Backend.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace download_testing {

namespace {

const wchar_t kWindowClass[] = L"WayfarerDownloadTestWindow";

}  // namespace

ProgressWindow::ProgressWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);  // fails harmlessly once the class exists
    m_hwnd =
        ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ProgressWindow::~ProgressWindow() {
    if (m_hwnd != nullptr)
        ::DestroyWindow(m_hwnd);
}

void ProgressWindow::Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && (message == WM_DOWNLOAD_PROGRESS || message == WM_DOWNLOAD_MARQUEE)) {
        EXPECT_EQ(lParam, 0);
        self->m_messages.push_back({message, wParam});
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<unsigned> ProgressWindow::Percentages() const {
    std::vector<unsigned> values;
    for (const Message& message : m_messages) {
        if (message.id == WM_DOWNLOAD_PROGRESS)
            values.push_back(static_cast<unsigned>(message.value));
    }
    return values;
}

size_t ProgressWindow::MarqueeCount() const {
    size_t count = 0;
    for (const Message& message : m_messages) {
        if (message.id == WM_DOWNLOAD_MARQUEE) {
            EXPECT_EQ(message.value, 0u);
            ++count;
        }
    }
    return count;
}

std::string GeneratedBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(backend::GeneratedByte(i));
    return bytes;
}

std::string ReadWholeFile(const std::wstring& path) {
    std::ifstream stream(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFolder(const std::wstring& folder) {
    for (const std::wstring& name : ListFolder(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            RemoveFolder(path);
        else
            ::DeleteFileW(path.c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}

bool InWinInetCache(const std::wstring& url) {
    DWORD size = 0;
    if (::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size))
        return true;
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void ForgetWinInetCache(const std::wstring& url) {
    ::DeleteUrlCacheEntryW(url.c_str());
}

void DownloadTest::SetUp() {
    backend::Reset();
    m_configuration = std::make_shared<ConfigurationManager>(L"ISV");
    m_folder = m_configuration->m_tempFolder;
    ASSERT_FALSE(m_folder.empty());
    m_manager = DownloadManager::Create(m_configuration);
    download_testing::Reconfigure(*m_manager,
                                  [&](download::Settings& s) { s.retry.pauseBase = std::chrono::milliseconds(0); });
}

void DownloadTest::TearDown() {
    // What the server saw explains most failures of these tests.
    if (HasFailure()) {
        for (const backend::Request& request : backend::Requests())
            std::printf("  request %.3f %s %s (User-Agent \"%s\")\n", request.time, request.method.c_str(),
                        request.target.substr(0, 120).c_str(), request.Header("User-Agent").c_str());
    }
    if (!m_folder.empty())
        RemoveFolder(m_folder);
}

download::FileOutcome DownloadTest::Download(const std::wstring& url,
                                             const std::wstring& fileName,
                                             bool contentChecked) {
    auto task = std::async(std::launch::async, [this, url, fileName, contentChecked] {
        return m_manager->DownloadFile(url, m_window.Get(), fileName, true, contentChecked);
    });
    return m_window.Wait(task);
}

}  // namespace download_testing
