// Shared pieces of the download tests: a real window that records the progress messages posted to it, and a
// fixture with a manager of its own over a fresh download folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "support/FolderListing.h"

namespace download_testing {

// Changes the settings that `manager`'s later downloads are held to.
template <typename Change>
void Reconfigure(DownloadManager& manager, Change&& change) {
    download::Settings settings = manager.CurrentSettings();
    change(settings);
    manager.Configure(settings);
}

// A message-only window on the test's thread; it records every WM_DOWNLOAD_PROGRESS and WM_DOWNLOAD_MARQUEE
// while the test pumps its messages.
class ProgressWindow {
public:
    struct Message {
        UINT id;
        WPARAM value;
    };

    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Get() const { return m_hwnd; }
    // Dispatches what is queued for this thread now.
    void Pump();
    // Pumps until `future` is ready (or the timeout passes), then takes in what was posted before it ended.
    template <typename T>
    T Wait(std::future<T>& future, std::chrono::seconds timeout = std::chrono::seconds(180)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
               std::chrono::steady_clock::now() < deadline) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            Pump();
        }
        EXPECT_EQ(future.wait_for(std::chrono::milliseconds(0)), std::future_status::ready) << "download hangs";
        T value = future.get();
        Pump();
        return value;
    }

    const std::vector<Message>& Messages() const { return m_messages; }
    std::vector<unsigned> Percentages() const;
    size_t MarqueeCount() const;
    void Clear() { m_messages.clear(); }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    std::vector<Message> m_messages;
};

// Bytes 0 .. size-1 of the backend's generated body.
std::string GeneratedBytes(size_t size);
std::string ReadWholeFile(const std::wstring& path);
bool FileExists(const std::wstring& path);
using testing_files::ListFolder;
// Deletes `folder` and everything in it.
void RemoveFolder(const std::wstring& folder);
// True when WinINet's cache holds an entry for `url`.
bool InWinInetCache(const std::wstring& url);
// Removes the entry for `url` from WinINet's cache, which outlives a test run in its prefix.
void ForgetWinInetCache(const std::wstring& url);

// The verdict of a download alone, to compare with an expected (ok, text).
inline DownloadResult Verdict(const download::FileOutcome& outcome) {
    return DownloadResult(outcome.ok, outcome.text);
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // DownloadFile on a task thread, as the download page runs it, into the temporary folder; `contentChecked` as a
    // published hash or signer would set it.
    download::FileOutcome Download(const std::wstring& url,
                                   const std::wstring& fileName = L"",
                                   bool contentChecked = false);
    std::wstring PathInFolder(const std::wstring& name) const { return m_folder + L"\\" + name; }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::shared_ptr<DownloadManager> m_manager;
    std::wstring m_folder;
    ProgressWindow m_window;
};

}  // namespace download_testing
