#include "app/WayfarerDlg.h"

#include "config/ConfigurationManager.h"
#include "resource.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

const wchar_t kAlreadyRunning[] = L"Another setup is already running, please close it and try again";

class WayfarerDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedWizardType = m_configuration->m_wizardType;
    }
    void TearDown() override { m_configuration->m_wizardType = m_savedWizardType; }

    // Runs the frame modally; `inspect` runs once it is shown and the frame is then closed.
    INT_PTR RunFrame(const std::function<void(HWND)>& inspect) {
        CWayfarerDlg dialog;
        dialog.SetBackgroundColor(m_configuration->m_backgroundColour, true);
        bool ran = false;
        testing_ui::RunWhenShown([&dialog] { return dialog.GetHwnd(); },
                                 [&](HWND hwnd) {
                                     ran = hwnd != nullptr;
                                     if (hwnd != nullptr)
                                         inspect(hwnd);
                                     ::EndDialog(hwnd, IDCANCEL);
                                 });
        INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(ran) << "the frame was never shown";
        return result;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    int m_savedWizardType = 0;
};

std::wstring MenuItemText(HMENU menu, UINT command) {
    wchar_t text[256] = {};
    if (::GetMenuStringW(menu, command, text, 256, MF_BYCOMMAND) <= 0)
        return {};
    return text;
}

std::wstring InstallerPath() {
    const char* path = std::getenv("WAYFARER_INSTALLER_EXE");
    return path != nullptr ? std::wstring(path, path + std::strlen(path)) : std::wstring();
}

}  // namespace

TEST_F(WayfarerDlgTest, IsvFrameShowsTitleBandAndAnEmptyHeader) {
    RunFrame([](HWND frame) {
        EXPECT_EQ(testing_ui::GetWindowTextOf(frame), L"Quarvel ");
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, IDC_HEADER_IMAGE)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, IDC_HEADER_LINE)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, IDC_TITLE)));
        EXPECT_EQ(testing_ui::GetWindowTextOf(::GetDlgItem(frame, IDC_TITLE)), L"Quarvel");

        // The bottom band is painted in the accent colour, the rest of the frame in white.
        HWND band = ::GetDlgItem(frame, IDC_BOTTOM_BAND);
        RECT bandRect{};
        ::GetClientRect(band, &bandRect);
        EXPECT_EQ(testing_ui::ReadClientPixel(band, bandRect.right / 2, bandRect.bottom / 2), RGB(103, 51, 153));
        EXPECT_EQ(testing_ui::ReadClientPixel(frame, 4, 4), RGB(255, 255, 255));

        HMENU systemMenu = ::GetSystemMenu(frame, FALSE);
        EXPECT_EQ(MenuItemText(systemMenu, IDM_ABOUTBOX), L"&About Wayfarer...");

        HICON big = reinterpret_cast<HICON>(::SendMessageW(frame, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(big, nullptr);
    });
}

TEST_F(WayfarerDlgTest, AboutBoxNamesTheProgramVersion) {
    std::wstring aboutText;
    RunFrame([&aboutText](HWND frame) {
        testing_ui::DialogWatcher about(L"About Wayfarer", [](HWND box) {
            return testing_ui::GetWindowTextOf(::GetDlgItem(box, IDC_ABOUT_VERSION));
        });
        ::PostMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        aboutText = about.Wait();
    });
    EXPECT_EQ(aboutText, L"Wayfarer, Version " + m_configuration->m_programVersion);
    EXPECT_FALSE(m_configuration->m_programVersion.empty());
}

TEST_F(WayfarerDlgTest, SecondInstanceOfTheSameWizardTypeIsRefused) {
    win32::Handle other(::CreateMutexW(nullptr, TRUE, CWayfarerDlg::MakeInstanceMutexName(L"ISV").c_str()));
    ASSERT_TRUE(other);
    testing_ui::DialogWatcher box(L"Error");
    CWayfarerDlg dialog;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(box.Wait(), kAlreadyRunning);
}

TEST_F(WayfarerDlgTest, InstanceOfTheOtherWizardTypeDoesNotBlock) {
    EXPECT_EQ(CWayfarerDlg::MakeInstanceMutexName(L"ISV"), L"Global\\WayfarerISVSingleInstanceMutex");
    win32::Handle other(::CreateMutexW(nullptr, TRUE, CWayfarerDlg::MakeInstanceMutexName(L"DLM").c_str()));
    ASSERT_TRUE(other);
    bool shown = false;
    RunFrame([&shown](HWND) { shown = true; });
    EXPECT_TRUE(shown);
}

TEST_F(WayfarerDlgTest, InvalidWizardTypeEndsTheFrameWithAnError) {
    m_configuration->m_wizardType = WizardTypeNone;
    testing_ui::DialogWatcher box(L"app_tests");
    CWayfarerDlg dialog;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(box.Wait(), L"Invalid wizard type");
}

// The real program, twice: the second copy says why it stops and exits, the first keeps running.
TEST_F(WayfarerDlgTest, SecondCopyOfTheProgramExitsWhileTheFirstRuns) {
    std::wstring installer = InstallerPath();
    ASSERT_FALSE(installer.empty()) << "WAYFARER_INSTALLER_EXE is not set";
    win32::Handle first(testing_ui::StartProgram(installer));
    ASSERT_TRUE(first);
    HWND frame = nullptr;
    ASSERT_TRUE(
        testing_ui::WaitFor([&frame] { return (frame = testing_ui::FindTopWindow(L"#32770", L"Quarvel ")) != nullptr; },
                            std::chrono::seconds(30)));

    testing_ui::DialogWatcher box(L"Error");
    win32::Handle second(testing_ui::StartProgram(installer));
    ASSERT_TRUE(second);
    EXPECT_EQ(box.Wait(std::chrono::seconds(30)), kAlreadyRunning);
    EXPECT_EQ(::WaitForSingleObject(second.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(first.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(::IsWindow(frame));

    ::TerminateProcess(first.Get(), 0);
    ::WaitForSingleObject(first.Get(), 10000);
}
