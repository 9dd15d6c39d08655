// The finish pages in the real frame: what Finish starts (the stand-in installer, run for real, plays the
// installed product and the downloaded installer) and how the frame ends.
#include "pages/FinishPages.h"

#include "download/LaunchTesting.h"
#include "pages/PageFrame.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>

namespace {

using launch_testing::FindProcesses;
using namespace std::chrono_literals;
using launch_testing::InstallerLog;
using launch_testing::PlaceFakeInstaller;
using testing_frame::HasCloseCommand;
using testing_frame::PageFrame;
using testing_frame::RunFrame;
using testing_frame::TestFrame;
using testing_frame::TextOf;

bool Exists(const std::wstring& path) {
    return ::PathFileExistsW(path.c_str()) != FALSE;
}

bool HasMinimizeBox(HWND window) {
    return (::GetWindowLongPtrW(window, GWL_STYLE) & WS_MINIMIZEBOX) != 0;
}

void Click(HWND page, int id) {
    ::SendMessageW(::GetDlgItem(page, id), BM_CLICK, 0, 0);
}

bool IsChecked(HWND page, int id) {
    return ::SendMessageW(::GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class FinishPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        ASSERT_FALSE(launch_testing::FakeInstallerSource().empty()) << "WAYFARER_FAKE_INSTALLER_EXE is not set";
        m_configuration = ConfigurationManager::GetInstance();
        m_savedTempFolder = m_configuration->m_tempFolder;
        m_savedPlaceholders = m_configuration->m_pathPlaceholders;
        m_savedPlaceholdersReady = m_configuration->m_placeholdersReady;
        m_savedInstalledExePath = m_configuration->m_installedExePath;
        m_savedLaunchArguments = m_configuration->m_launchArguments;
        // The ISV flavour's argument, whatever this build's flavour.
        m_configuration->m_launchArguments = L"/RUNONSTARTUP";
        // The run's temporary folder, with a download in it, and a folder that stands for the machine's
        // common application data, where the product gets installed.
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
        ASSERT_TRUE(PlaceFakeInstaller(m_configuration->m_tempFolder + L"\\setup.exe"));
        m_commonAppData = CreateUniqueTempFolder();
        ASSERT_TRUE(::CreateDirectoryW((m_commonAppData + L"\\Quarvel App").c_str(), nullptr));
        m_configuration->m_pathPlaceholders = {{L"localappdata", L"C:\\unused"}, {L"commonappdata", m_commonAppData}};
        m_configuration->m_placeholdersReady = true;
        m_log = std::make_unique<InstallerLog>(m_commonAppData + L"\\runs.log");
    }
    void TearDown() override {
        launch_testing::EndProcesses(L"quarvel_sleep600000.exe");
        m_log.reset();
        TestFrame::DeleteDirectoryTree(m_commonAppData);
        TestFrame::DeleteDirectoryTree(m_configuration->m_tempFolder);
        m_configuration->m_tempFolder = m_savedTempFolder;
        m_configuration->m_pathPlaceholders = m_savedPlaceholders;
        m_configuration->m_placeholdersReady = m_savedPlaceholdersReady;
        m_configuration->m_installedExePath = m_savedInstalledExePath;
        m_configuration->m_launchArguments = m_savedLaunchArguments;
        m_configuration->m_downloadedFilePath.clear();
    }

    // Installs the stand-in as the product, under `name`, where the build's path with its placeholder points.
    std::wstring InstallProduct(const std::wstring& name) {
        m_configuration->m_installedExePath = L"{commonappdata}\\Quarvel App\\" + name;
        const std::wstring path = m_commonAppData + L"\\Quarvel App\\" + name;
        EXPECT_TRUE(PlaceFakeInstaller(path));
        return path;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::wstring m_savedTempFolder;
    PlaceholderTable m_savedPlaceholders;
    bool m_savedPlaceholdersReady = false;
    std::wstring m_savedInstalledExePath;
    std::wstring m_savedLaunchArguments;
    std::wstring m_commonAppData;
    std::unique_ptr<InstallerLog> m_log;
};

TEST_F(FinishPageTest, FinishStartsTheInstalledProductAndEndsTheRun) {
    const std::wstring product = InstallProduct(L"quarvel.exe");
    PageFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  const int index = frame.AddPage(std::make_unique<FinishPageIsv>(nullptr));
                                  EXPECT_TRUE(HasMinimizeBox(frame.GetHwnd()));
                                  frame.NavigateToPage(index);
                                  HWND page = frame.Page(index).GetHwnd();
                                  EXPECT_EQ(frame.Page(index).GetPageName(), L"FinishPageISV");
                                  EXPECT_FALSE(HasMinimizeBox(frame.GetHwnd()));
                                  EXPECT_TRUE(HasCloseCommand(frame.GetHwnd()));
                                  EXPECT_TRUE(IsChecked(page, IDC_FINISH_LAUNCH_CHECK));
                                  EXPECT_TRUE(Exists(m_configuration->m_tempFolder));
                                  Click(page, IDC_FINISH_BUTTON);
                                  return true;
                              }});
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(Exists(m_configuration->m_tempFolder)) << "Finish deletes the temporary folder";
    ASSERT_TRUE(m_log->WaitForRuns(1));
    const auto run = m_log->Runs().front();
    EXPECT_EQ(::lstrcmpiW(run.path.c_str(), product.c_str()), 0) << run.path;
    const std::wstring argument = L" /RUNONSTARTUP";
    ASSERT_GE(run.commandLine.size(), argument.size());
    EXPECT_EQ(run.commandLine.substr(run.commandLine.size() - argument.size()), argument) << run.commandLine;
}

TEST_F(FinishPageTest, ClearedLaunchBoxStartsNothing) {
    // A product that would still be running if it had been started.
    InstallProduct(L"quarvel_sleep600000.exe");
    PageFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  const int index = frame.AddPage(std::make_unique<FinishPageIsv>(nullptr));
                                  frame.NavigateToPage(index);
                                  HWND page = frame.Page(index).GetHwnd();
                                  Click(page, IDC_FINISH_LAUNCH_CHECK);
                                  EXPECT_FALSE(IsChecked(page, IDC_FINISH_LAUNCH_CHECK));
                                  Click(page, IDC_FINISH_BUTTON);
                                  return true;
                              }});
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(Exists(m_configuration->m_tempFolder));
    EXPECT_TRUE(FindProcesses(L"quarvel_sleep600000.exe").empty());
    EXPECT_TRUE(m_log->Runs().empty());
}

TEST_F(FinishPageTest, IsvPageShowsTheCatalogTexts) {
    if (m_configuration->m_wizardType != WizardTypeIsv)
        GTEST_SKIP() << "the texts of the ISV catalog";
    PageFrame frame;
    INT_PTR result =
        RunFrame(frame, {[&] {
                     const int index = frame.AddPage(std::make_unique<FinishPageIsv>(frame.m_languageManager));
                     HWND page = frame.Page(index).GetHwnd();
                     EXPECT_EQ(TextOf(page, IDC_FINISH_TITLE), L"Thank you.\r\nYour installation is complete.");
                     EXPECT_EQ(TextOf(page, IDC_FINISH_LAUNCH_CHECK), L"Launch the application on exit");
                     EXPECT_EQ(TextOf(page, IDC_FINISH_BUTTON), L"Finish");
                     frame.EndDialog(7);
                     return true;
                 }});
    EXPECT_EQ(result, 7);
}

// The process that started process `id`; 0 when it is not found.
static DWORD ParentOf(DWORD id) {
    win32::Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == id)
            return entry.th32ParentProcessID;
    }
    return 0;
}

// Launch has the desktop's shell open the downloaded product, with the user's rights and not as a child of the
// elevated installer; Open Folder hands it to Explorer instead; without a download Finish still ends the run.
TEST_F(FinishPageTest, DlmFinishOpensTheDownloadThroughTheDesktopShellOrShowsIt) {
    struct Case {
        const char* name;
        std::wstring download;
        bool openFolder;
        bool runs;
    };
    // Both would still be running if started: the shell's start has no log of this test to write to.
    const std::wstring launched = m_commonAppData + L"\\Quarvel Product_sleep600000.exe";
    const std::wstring shown = m_commonAppData + L"\\Quarvel Setup_sleep600000.exe";
    ASSERT_TRUE(PlaceFakeInstaller(launched));
    ASSERT_TRUE(PlaceFakeInstaller(shown));
    const Case cases[] = {
        {"no download", L"", false, false},
        {"open folder", shown, true, false},
        {"launch", launched, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_configuration->m_downloadedFilePath = c.download;
        const std::vector<DWORD> explorers = FindProcesses(L"explorer.exe");
        PageFrame frame;
        INT_PTR result = RunFrame(frame, {[&] {
                                      const int index = frame.AddPage(std::make_unique<FinishPageDlm>(nullptr));
                                      frame.NavigateToPage(index);
                                      HWND page = frame.Page(index).GetHwnd();
                                      EXPECT_EQ(frame.Page(index).GetPageName(), L"FinishPageDLM");
                                      EXPECT_FALSE(HasMinimizeBox(frame.GetHwnd()));
                                      EXPECT_TRUE(IsChecked(page, IDC_FINISH_LAUNCH_RADIO));
                                      EXPECT_FALSE(IsChecked(page, IDC_FINISH_OPEN_FOLDER_RADIO));
                                      if (c.openFolder)
                                          Click(page, IDC_FINISH_OPEN_FOLDER_RADIO);
                                      Click(page, IDC_FINISH_BUTTON);
                                      return true;
                                  }});
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(m_log->Runs().empty());
        if (c.runs) {
            std::vector<DWORD> running;
            EXPECT_TRUE(testing_ui::WaitFor(
                [&] { return !(running = FindProcesses(L"Quarvel Product_sleep600000.exe")).empty(); }, 30s));
            for (DWORD id : running)
                EXPECT_NE(ParentOf(id), ::GetCurrentProcessId()) << "started by the installer's own process";
            launch_testing::EndProcesses(L"Quarvel Product_sleep600000.exe");
        }
        // The Explorer window Open Folder started is this test's to close.
        size_t startedExplorers = 0;
        for (DWORD id : FindProcesses(L"explorer.exe")) {
            if (std::find(explorers.begin(), explorers.end(), id) != explorers.end())
                continue;
            ++startedExplorers;
            win32::Handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            ::TerminateProcess(process.Get(), 0);
            ::WaitForSingleObject(process.Get(), 10000);
        }
        EXPECT_EQ(startedExplorers, c.openFolder ? 1u : 0u);
    }
    EXPECT_TRUE(FindProcesses(L"Quarvel Setup_sleep600000.exe").empty());
    launch_testing::EndProcesses(L"Quarvel Setup_sleep600000.exe");
    // Explorer is told to select the file: no space after the comma, the path quoted.
    EXPECT_EQ(MakeSelectInExplorerParameters(L"C:\\My Downloads\\Quarvel Setup.exe"),
              L"/select,\"C:\\My Downloads\\Quarvel Setup.exe\"");
}

}  // namespace
