#include "pages/FrameHarness.h"

#include "download/DownloadManager.h"
#include "pages/DownloadPage.h"
#include "l10n/MessageBoxRecorder.h"
#include "support/Backend.h"
#include "support/FolderListing.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using testing_frame::HasCloseCommand;
using testing_frame::RunFrame;
using testing_frame::StubPage;
using testing_frame::TestFrame;
using testing_frame::TextOf;

const std::wstring kExitQuestion = L"Are you sure you want to exit the installer?";
const std::wstring kInstallersQuestion =
    L"Some installer processes are already running in the background and will finish momentarily. Are you sure "
    L"you would like to exit?";

using testing_files::Exists;
using testing_files::WriteFile;

// Whether another thread finds the single-instance mutex owned (by the frame's thread).
bool InstanceMutexHeld() {
    bool held = false;
    std::thread([&held] {
        win32::Handle mutex(::OpenMutexW(
            SYNCHRONIZE, FALSE, CWayfarerDlg::MakeInstanceMutexName(ConfigurationManager::GetWizardTypeKey()).c_str()));
        if (!mutex)
            return;
        DWORD wait = ::WaitForSingleObject(mutex.Get(), 0);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            ::ReleaseMutex(mutex.Get());
        held = wait == WAIT_TIMEOUT;
    }).join();
    return held;
}

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        // The loading page really loads: its answer comes late, so that it stays current while a test looks at it.
        backend::Reset();
        backend::Script("/o", {{.body = "{}", .delaySeconds = 10}});
        m_configuration = ConfigurationManager::GetInstance();
        m_savedTempFolder = m_configuration->m_tempFolder;
        m_savedLumora = m_configuration->m_lumoraFlavour;
        // The page list these tests expect has no Sorrel pages, whatever the build.
        m_savedSorrel = m_configuration->m_sorrelFlavour;
        m_configuration->m_sorrelFlavour = false;
        // A temporary folder of this test's own, with something in it, as the downloads will leave it.
        m_tempFolder = CreateUniqueTempFolder();
        ASSERT_TRUE(::PathIsDirectoryW(m_tempFolder.c_str()));
        ::CreateDirectoryW((m_tempFolder + L"\\unpacked").c_str(), nullptr);
        WriteFile(m_tempFolder + L"\\installer.exe");
        WriteFile(m_tempFolder + L"\\unpacked\\setup.exe");
        m_configuration->m_tempFolder = m_tempFolder;
    }
    void TearDown() override {
        TestFrame::DeleteDirectoryTree(m_tempFolder);
        m_configuration->m_tempFolder = m_savedTempFolder;
        m_configuration->m_lumoraFlavour = m_savedLumora;
        m_configuration->m_sorrelFlavour = m_savedSorrel;
        m_configuration->m_closing = false;
        DownloadManager::GetInstance()->Rearm();
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::wstring m_savedTempFolder;
    bool m_savedLumora = false;
    bool m_savedSorrel = false;
    std::wstring m_tempFolder;
};

TEST_F(NavigationTest, OpensOnTheLanguagePageAndEnterShowsTheLoadingPage) {
    TestFrame frame;
    HWND focusedPage = nullptr;
    HWND languagePage = nullptr;
    INT_PTR result = RunFrame(
        frame, {[&] {
                    EXPECT_EQ(frame.m_pages.size(), 2u);
                    EXPECT_EQ(frame.Page(0).GetPageName(), L"LanguagePageLumora");
                    EXPECT_EQ(frame.Page(1).GetPageName(), L"LoadingPage");
                    EXPECT_EQ(frame.VisiblePage(), frame.Page(0).GetHwnd());
                    EXPECT_FALSE(frame.m_errorPage->IsVisible());
                    EXPECT_FALSE(::IsWindowVisible(frame.Page(0).GetItem(IDC_LANGUAGE_COMBO)));
                    EXPECT_EQ(TextOf(frame.Page(0).GetHwnd(), IDC_LANGUAGE_NEXT), L"Next");
                    // The bands of the frame and the page lie under the button: it must be painted over them.
                    RECT button = ui::Window(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT)).GetWindowRect();
                    ::MapWindowPoints(HWND_DESKTOP, frame.GetHwnd(), reinterpret_cast<POINT*>(&button), 2);
                    EXPECT_NE(testing_ui::ReadClientPixel(frame.GetHwnd(), (button.left + button.right) / 2,
                                                          (button.top + button.bottom) / 2),
                              m_configuration->m_accentColour);
                    EXPECT_EQ(TextOf(frame.Page(0).GetHwnd(), IDC_SPLASH_TITLE_LUMORA), L"Welcome to Quarvel Setup");
                    // Texts of every page were loaded with the language, the error page's
                    // included.
                    EXPECT_EQ(TextOf(frame.m_errorPage->GetHwnd(), IDC_ERROR_CLOSE), L"Close");
                    languagePage = frame.Page(0).GetHwnd();
                    focusedPage = ::GetParent(::GetFocus());
                    testing_frame::PressKey(VK_RETURN);
                    return true;
                },
                [&] { return frame.m_currentPage == 1; },
                [&] {
                    EXPECT_EQ(frame.VisiblePage(), frame.Page(1).GetHwnd());
                    EXPECT_TRUE(HasCloseCommand(frame.GetHwnd()));
                    frame.EndDialog(7);
                    return true;
                }});
    EXPECT_EQ(result, 7);
    EXPECT_EQ(focusedPage, languagePage) << "the keyboard focus starts on the language page";
}

TEST_F(NavigationTest, LoadCompleteAddsLaterPagesAndButtonsFollowThePageOrder) {
    TestFrame frame;
    IPage* license = nullptr;
    StubPage* download = nullptr;
    testing_frame::DebugOutputReader debugOutput;
    INT_PTR result =
        RunFrame(frame, {[&] {
                             ::SendMessageW(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT), BM_CLICK, 0, 0);
                             EXPECT_EQ(frame.m_currentPage, 1);
                             // The loading page hands over the offers from a thread of its own.
                             std::thread([&frame] { frame.Loading().m_onLoadComplete({}); }).join();
                             return true;
                         },
                         [&] { return frame.m_currentPage == 2; },
                         [&] {
                             // With no offers loading creates the license, download and finish pages;
                             // a stand-in takes the download page's place, so that nothing is fetched.
                             EXPECT_EQ(frame.m_pages.size(), 5u);
                             license = &frame.Page(2);
                             EXPECT_EQ(license->GetPageName(), L"LicensePage");
                             EXPECT_EQ(frame.Page(3).GetPageName(), L"DownloadPageISV");
                             EXPECT_EQ(frame.Page(4).GetPageName(), L"FinishPageISV");
                             download = &frame.AddStubPage(L"DownloadPageISV");
                             std::swap(frame.m_pages[3], frame.m_pages.back());
                             frame.m_pages.pop_back();
                             EXPECT_EQ(frame.VisiblePage(), license->GetHwnd());
                             EXPECT_EQ(m_configuration->m_languageName, L"English");

                             // Back from the first page after the loading page returns to the language
                             // page; Next there comes straight back without running the loading page
                             // again.
                             frame.OnPageButton(ButtonType::Back);
                             EXPECT_EQ(frame.m_currentPage, 0);
                             EXPECT_TRUE(frame.m_returnedToStart);
                             ::SendMessageW(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT), BM_CLICK, 0, 0);
                             EXPECT_EQ(frame.m_currentPage, 2);

                             // With no offers Accept moves one page on; the download page takes the Close
                             // command away.
                             frame.OnPageButton(ButtonType::Accept);
                             EXPECT_EQ(frame.m_currentPage, 3);
                             EXPECT_FALSE(HasCloseCommand(frame.GetHwnd()));
                             download->ReportButton(ButtonType::Back);
                             EXPECT_EQ(frame.m_currentPage, 2);
                             frame.OnPageButton(ButtonType::Next);
                             download->ReportButton(ButtonType::Next);
                             EXPECT_EQ(frame.m_currentPage, 4);
                             IPage& finish = frame.Page(4);
                             EXPECT_EQ(frame.VisiblePage(), finish.GetHwnd());
                             EXPECT_TRUE(HasCloseCommand(frame.GetHwnd()));

                             // Past the end nothing happens.
                             frame.OnPageButton(ButtonType::Next);
                             EXPECT_EQ(frame.m_currentPage, 4);
                             EXPECT_TRUE(Exists(m_tempFolder));
                             // Finish without starting the product.
                             ::SendMessageW(finish.GetItem(IDC_FINISH_LAUNCH_CHECK), BM_SETCHECK, BST_UNCHECKED, 0);
                             ::SendMessageW(finish.GetItem(IDC_FINISH_BUTTON), BM_CLICK, 0, 0);
                             return true;
                         }});
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(Exists(m_tempFolder)) << "Finish deletes the temporary folder";
    // Each page shown is named to the debugger.
    EXPECT_EQ(debugOutput.Text(),
              "LoadingPage\nLicensePage\nLanguagePageLumora\nLicensePage\nDownloadPageISV\nLicensePage\n"
              "DownloadPageISV\nFinishPageISV\n");
}

TEST_F(NavigationTest, ErrorPageReplacesTheCurrentPageAndItsCloseKeepsTheTemporaryFolder) {
    TestFrame frame;
    StubPage* stub = nullptr;
    INT_PTR result = RunFrame(frame, {[&] {
                                  stub = &frame.AddStubPage(L"WelcomePage");
                                  frame.NavigateToPage(2);
                                  stub->ReportError(L"Something went wrong", L"Please try to download later");
                                  HWND errorPage = frame.m_errorPage->GetHwnd();
                                  EXPECT_EQ(frame.VisiblePage(), errorPage);
                                  EXPECT_FALSE(stub->IsVisible());
                                  EXPECT_TRUE(frame.m_errorShown);
                                  EXPECT_EQ(TextOf(errorPage, IDC_ERROR_TITLE), L"Something went wrong");
                                  EXPECT_EQ(TextOf(errorPage, IDC_ERROR_TEXT), L"Please try to download later");
                                  EXPECT_EQ(TextOf(errorPage, IDC_ERROR_CLOSE), L"Close");
                                  EXPECT_TRUE(HasCloseCommand(frame.GetHwnd()));
                                  // The error mark is painted over the page's white: its red ring passes the top
                                  // middle.
                                  HWND image = ::GetDlgItem(errorPage, IDC_PAGE_IMAGE);
                                  RECT imageRect{};
                                  ::GetClientRect(image, &imageRect);
                                  COLORREF ring =
                                      testing_ui::ReadClientPixel(image, imageRect.right / 2, imageRect.bottom / 7);
                                  EXPECT_GT(GetRValue(ring), 150);
                                  EXPECT_LT(GetGValue(ring), 100);
                                  // The focus sits on Close, so Enter presses it.
                                  EXPECT_EQ(::GetFocus(), ::GetDlgItem(errorPage, IDC_ERROR_CLOSE));
                                  testing_frame::PressKey(VK_RETURN);
                                  return true;
                              }});
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(Exists(m_tempFolder + L"\\unpacked\\setup.exe")) << "Close on the error page leaves the folder";
}

TEST_F(NavigationTest, CancelInTheExitQuestionLeavesEverythingAndOkEndsTheWizard) {
    TestFrame frame;
    std::vector<std::wstring> cancelled;
    std::vector<std::wstring> confirmed;
    INT_PTR result = RunFrame(
        frame, {[&] {
                    EXPECT_TRUE(InstanceMutexHeld());
                    testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDCANCEL);
                    ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                    cancelled = boxes.Texts();
                    EXPECT_TRUE(frame.IsVisible());
                    EXPECT_EQ(frame.m_currentPage, 0);
                    EXPECT_EQ(frame.VisiblePage(), frame.Page(0).GetHwnd());
                    EXPECT_TRUE(InstanceMutexHeld());
                    EXPECT_FALSE(m_configuration->m_closing);
                    EXPECT_FALSE(DownloadManager::GetInstance()->IsCancelled());
                    EXPECT_TRUE(Exists(m_tempFolder + L"\\installer.exe"));
                    return true;
                },
                [&] {
                    testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                    ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                    confirmed = boxes.Texts();
                    return true;
                }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(cancelled, std::vector<std::wstring>{kExitQuestion});
    EXPECT_EQ(confirmed, std::vector<std::wstring>{kExitQuestion});
    EXPECT_FALSE(Exists(m_tempFolder));
    EXPECT_FALSE(InstanceMutexHeld());
    EXPECT_TRUE(m_configuration->m_closing);
    // Downloads still running stop at their next read.
    EXPECT_TRUE(DownloadManager::GetInstance()->IsCancelled());
}

TEST_F(NavigationTest, ClosingAsksOnlyWhileTheWizardIsUnderWay) {
    struct Case {
        const char* name;
        std::function<void(TestFrame&)> arrange;
        std::vector<std::wstring> questions;
    };
    const Case cases[] = {
        {"on the loading page, the last of two", [](TestFrame& frame) { frame.NavigateToPage(1); }, {kExitQuestion}},
        {"while installers run",
         [](TestFrame& frame) {
             frame.AddStubPage(L"DownloadPageISV");
             frame.AddStubPage(L"FinishPageISV");
             frame.NavigateToPage(2);
             frame.m_installersRunning = true;
         },
         {kInstallersQuestion}},
        // The frame's own download page tells it when installers start and end.
        {"while the download page's installers run",
         [](TestFrame& frame) {
             auto& page = static_cast<DownloadPageIsv&>(frame.AddDownloadPage());
             frame.AddStubPage(L"FinishPageISV");
             page.m_onInstallersStarted();
         },
         {kInstallersQuestion}},
        {"after the download page's installers ended",
         [](TestFrame& frame) {
             auto& page = static_cast<DownloadPageIsv&>(frame.AddDownloadPage());
             frame.AddStubPage(L"FinishPageISV");
             page.m_onInstallersStarted();
             page.m_onInstallersFinished();
         },
         {kExitQuestion}},
        {"on the last page",
         [](TestFrame& frame) {
             frame.AddStubPage(L"DownloadPageISV");
             frame.AddStubPage(L"FinishPageISV");
             frame.NavigateToPage(3);
         },
         {}},
        {"after the error page",
         [](TestFrame& frame) { frame.AddStubPage(L"WelcomePage").ReportError(L"title", L"text"); },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
        TestFrame frame;
        std::vector<std::wstring> questions;
        INT_PTR result =
            RunFrame(frame, {[&] {
                         c.arrange(frame);
                         testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                         ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                         questions = boxes.Texts();
                         return true;
                     }});
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(questions, c.questions);
        EXPECT_FALSE(Exists(m_configuration->m_tempFolder));
    }
}

}  // namespace
