#include "app/WayfarerDlg.h"

#include "config/ConfigurationManager.h"
#include "config/WorkFolder.h"
#include "offers/Package.h"
#include "resource.h"
#include "support/FolderListing.h"
#include "support/WindowTesting.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// Sets an environment variable of this process, which the programs it starts inherit, until it goes.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::wstring& value) : m_name(name) {
        wchar_t saved[MAX_PATH * 2] = {};
        DWORD length = ::GetEnvironmentVariableW(name, saved, MAX_PATH * 2);
        m_hadValue = length > 0 && length < MAX_PATH * 2;
        m_saved = saved;
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentOverride() { ::SetEnvironmentVariableW(m_name, m_hadValue ? m_saved.c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const wchar_t* m_name;
    std::wstring m_saved;
    bool m_hadValue = false;
};

std::wstring InstallerPath() {
    const char* path = std::getenv("WAYFARER_INSTALLER_EXE");
    return path != nullptr ? std::wstring(path, path + std::strlen(path)) : std::wstring();
}

// What a run leaves in the temporary folder besides its run logs, which stay there by design.
std::vector<std::wstring> LeftBesideTheRunLogs(const std::wstring& folder) {
    std::vector<std::wstring> left;
    for (const std::wstring& name : testing_files::ListFolder(folder)) {
        const bool runLog =
            name.rfind(L"Quarvel Setup ", 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, L".log") == 0;
        if (!runLog)
            left.push_back(name);
    }
    return left;
}

struct QuestionSearch {
    HWND frame;
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK MatchQuestion(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<QuestionSearch*>(data);
    if (window == search->frame || ::GetWindow(window, GW_OWNER) != search->frame || !::IsWindowVisible(window) ||
        ::GetDlgItem(window, 0xFFFF) == nullptr || testing_ui::GetWindowTextOf(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The message box `frame` shows, captioned like it; null while there is none.
HWND FindQuestionOver(HWND frame) {
    QuestionSearch search{frame, testing_ui::GetWindowTextOf(frame), nullptr};
    ::EnumWindows(MatchQuestion, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TEST_F(WayfarerDlgTest, IsvFrameShowsTitleBandAndAnEmptyHeader) {
    RunFrame([](HWND frame) {
        EXPECT_EQ(testing_ui::GetWindowTextOf(frame), L"Quarvel");
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
        // The page shown lies over the frame's band with a band of its own, painted in the same colour (left of
        // its buttons).
        HWND page = ::FindWindowExW(frame, nullptr, MAKEINTATOM(32770), nullptr);
        while (page != nullptr && !::IsWindowVisible(page))
            page = ::FindWindowExW(frame, page, MAKEINTATOM(32770), nullptr);
        ASSERT_NE(page, nullptr);
        HWND pageBand = ::GetDlgItem(page, IDC_PAGE_BAND);
        RECT pageBandRect{};
        ::GetClientRect(pageBand, &pageBandRect);
        EXPECT_EQ(testing_ui::ReadClientPixel(pageBand, 4, pageBandRect.bottom * 3 / 4), RGB(103, 51, 153));

        HMENU systemMenu = ::GetSystemMenu(frame, FALSE);
        EXPECT_EQ(MenuItemText(systemMenu, IDM_ABOUTBOX), L"&About Wayfarer...");

        HICON big = reinterpret_cast<HICON>(::SendMessageW(frame, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(big, nullptr);
    });
}

// GDI+ shuts down after the frame has gone: every picture that the run's shared lists still hold must be released
// by then, or GDI+ would free what they point to under them.
TEST_F(WayfarerDlgTest, FrameReleasesEveryPictureTheRunSharesWhenItGoes) {
    struct FrameWithOffers : CWayfarerDlg {
        using CWayfarerDlg::m_offers;
    };
    auto picture = [] { return std::shared_ptr<Gdiplus::Image>(new Gdiplus::Bitmap(2, 2, PixelFormat32bppARGB)); };
    auto offer = [](const wchar_t* name) {
        return std::make_shared<Package>(EventBase(), false, name, name, L"tag", L"", 1);
    };
    auto accepted = offer(L"Accepted");
    auto shown = offer(L"Shown");
    auto handedOver = offer(L"HandedOver");
    const auto savedAccepted = m_configuration->m_acceptedOffers;
    const auto savedShown = m_configuration->m_shownOffers;
    std::vector<std::weak_ptr<Gdiplus::Image>> pictures;
    for (auto* package : {&accepted, &shown, &handedOver}) {
        (*package)->m_image = picture();
        pictures.push_back((*package)->m_image);
    }
    m_configuration->m_productImage = picture();
    pictures.push_back(m_configuration->m_productImage);
    m_configuration->m_acceptedOffers = {accepted};
    m_configuration->m_shownOffers = {shown};
    {
        FrameWithOffers frame;
        frame.m_offers = {handedOver};
    }
    const char* holders[] = {"accepted offer", "shown offer", "offer handed to the frame", "product image"};
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_TRUE(pictures[i].expired()) << holders[i];
    m_configuration->m_acceptedOffers = savedAccepted;
    m_configuration->m_shownOffers = savedShown;
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
    // The refused copy's work folder is gone while its message is still up: a copy ended there leaves none.
    m_configuration->m_tempFolder = CreateUniqueTempFolder();
    const std::wstring folder = m_configuration->m_tempFolder;
    ASSERT_TRUE(::PathIsDirectoryW(folder.c_str()));
    bool folderWhileAsking = true;
    testing_ui::DialogWatcher box(L"Error", [&folderWhileAsking, folder](HWND box) {
        folderWhileAsking = ::PathIsDirectoryW(folder.c_str()) != FALSE;
        return testing_ui::GetMessageBoxText(box);
    });
    CWayfarerDlg dialog;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(box.Wait(), kAlreadyRunning);
    EXPECT_FALSE(folderWhileAsking);
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

// The real program, twice: the second copy says why it stops and exits, the first keeps running. Both then end as
// a user ends them, and neither leaves its temporary folder behind: both copies keep theirs in a folder of this
// test's own, which must be empty at the end.
TEST_F(WayfarerDlgTest, SecondCopyOfTheProgramExitsWhileTheFirstRuns) {
    std::wstring installer = InstallerPath();
    ASSERT_FALSE(installer.empty()) << "WAYFARER_INSTALLER_EXE is not set";
    const std::wstring temp = CreateUniqueTempFolder();
    ASSERT_FALSE(temp.empty());
    EnvironmentOverride tmp(L"TMP", temp);
    EnvironmentOverride tempVariable(L"TEMP", temp);

    win32::Handle first(testing_ui::StartProgram(installer));
    ASSERT_TRUE(first);
    HWND frame = nullptr;
    ASSERT_TRUE(
        testing_ui::WaitFor([&frame] { return (frame = testing_ui::FindTopWindow(L"#32770", L"Quarvel")) != nullptr; },
                            std::chrono::seconds(30)));
    {
        testing_ui::DialogWatcher box(L"Error");
        win32::Handle second(testing_ui::StartProgram(installer));
        ASSERT_TRUE(second);
        EXPECT_EQ(box.Wait(std::chrono::seconds(30)), kAlreadyRunning);
        EXPECT_EQ(::WaitForSingleObject(second.Get(), 20000), WAIT_OBJECT_0);
        EXPECT_EQ(::WaitForSingleObject(first.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_TRUE(::IsWindow(frame));
    }

    // Closing the first copy asks whether to leave, under the wizard's title; the answer is yes.
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
    HWND question = nullptr;
    EXPECT_TRUE(
        testing_ui::WaitFor([&] { return (question = FindQuestionOver(frame)) != nullptr; }, std::chrono::seconds(30)));
    EXPECT_EQ(testing_ui::GetMessageBoxText(question), L"Are you sure you want to exit the installer?");
    ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const bool ended = ::WaitForSingleObject(first.Get(), 30000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended) << "the first copy did not end when closed";
    if (!ended) {
        ::TerminateProcess(first.Get(), 0);
        ::WaitForSingleObject(first.Get(), 10000);
    }
    EXPECT_TRUE(LeftBesideTheRunLogs(temp).empty()) << "a copy left its temporary folder in " << temp;
    DeleteDirectoryTree(temp);
}
