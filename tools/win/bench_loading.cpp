// Times the loading page in the real frame: from Next on the language page to the frame's WM_LOAD_COMPLETE,
// with whatever configuration and images the local backend was scripted to serve. Before that it times one
// bare configuration request, the part of the loading that no image can overlap.
// Usage: bench_loading.exe [runs]   (default 1)
// One line per run: the offers handed over, the seconds from Next to the load-complete message.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "net/ApiManager.h"
#include "resource.h"
#include "ui/RichEdit.h"

namespace {

constexpr UINT kStart = WM_APP + 1;

class BenchFrame : public CWayfarerDlg {
public:
    double m_seconds = -1;
    size_t m_offerCount = 0;

protected:
    BOOL OnInitDialog() override {
        BOOL result = CWayfarerDlg::OnInitDialog();
        Post(kStart);
        return result;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kStart) {
            m_started = std::chrono::steady_clock::now();
            ::SendMessageW(m_pages.at(0)->GetItem(IDC_LANGUAGE_NEXT), BM_CLICK, 0, 0);
            return true;
        }
        if (message == WM_LOAD_COMPLETE) {
            m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
            bool handled = CWayfarerDlg::OnMessage(message, wParam, lParam, result);
            m_offerCount = m_offers.size();
            EndDialog(0);
            return handled;
        }
        return CWayfarerDlg::OnMessage(message, wParam, lParam, result);
    }

private:
    std::chrono::steady_clock::time_point m_started;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    if (!ui::LoadRichEditLibrary())
        return 2;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    auto start = std::chrono::steady_clock::now();
    try {
        ApiManager::GetInstance()->RequestConfiguration();
    } catch (const std::exception& error) {
        std::printf("configuration request failed: %s\n", error.what());
        return 1;
    }
    std::printf("configuration request: seconds %.3f\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    for (int run = 1; run <= runs; ++run) {
        double seconds = -1;
        size_t offers = 0;
        {
            BenchFrame frame;
            frame.SetBackgroundColor(ConfigurationManager::GetInstance()->m_backgroundColour, true);
            frame.DoModal();
            seconds = frame.m_seconds;
            offers = frame.m_offerCount;
        }
        std::printf("run %d: offers %u, seconds from Next to load complete %.3f\n", run, static_cast<unsigned>(offers),
                    seconds);
        std::fflush(stdout);
        // The next frame starts from the same state as the first.
        auto configuration = ConfigurationManager::GetInstance();
        configuration->m_mainPackage.reset();
        configuration->m_offerCounter = 0;
        configuration->m_offersToShow = 0;
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
