// The end of a run: the offers' installers may still run from the work folder, and the last events may still be
// on their way, when the user presses Finish.
#include "download/StartedInstallers.h"
#include "offers/Package.h"
#include "pages/DownloadRunTesting.h"
#include "pages/FrameHarness.h"
#include "support/Backend.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <fstream>

using namespace download_run_testing;
using testing_frame::RunFrame;
using testing_frame::TestFrame;

namespace {

void WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

// The paths the system will delete at the next restart.
std::wstring PendingDeletions() {
    win32::RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                        key.Put()) != ERROR_SUCCESS)
        return {};
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    ::RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(text.data()), &size);
    for (wchar_t& c : text) {
        if (c == L'\0')
            c = L'|';
    }
    return text;
}

TEST(DownloadFinish, FilesOfRunningInstallersAreLeftForRestartAndTheRestIsDeleted) {
    const std::wstring folder = CreateUniqueTempFolder();
    ASSERT_FALSE(folder.empty());
    WriteFile(folder + L"\\running.exe", "program");
    WriteFile(folder + L"\\ended.exe", "program");
    ::CreateDirectoryW((folder + L"\\unpacked").c_str(), nullptr);
    WriteFile(folder + L"\\unpacked\\payload.dat", "data");
    ::CreateDirectoryW((folder + L"\\other").c_str(), nullptr);
    WriteFile(folder + L"\\other\\left.dat", "data");

    TestFrame::DeleteDirectoryTree(folder, {folder + L"\\RUNNING.exe", folder + L"\\unpacked"});

    EXPECT_TRUE(::PathFileExistsW((folder + L"\\running.exe").c_str()));
    EXPECT_TRUE(::PathFileExistsW((folder + L"\\unpacked\\payload.dat").c_str()));
    EXPECT_FALSE(::PathFileExistsW((folder + L"\\ended.exe").c_str()));
    EXPECT_FALSE(::PathFileExistsW((folder + L"\\other").c_str()));
    const std::wstring pending = PendingDeletions();
    for (const wchar_t* name : {L"running.exe", L"unpacked\\payload.dat", L"unpacked"})
        EXPECT_NE(pending.find(folder + L"\\" + name + L"|"), std::wstring::npos) << Narrow(std::wstring(name));
    // The folder itself goes with them at restart.
    EXPECT_NE(pending.find(folder + L"|"), std::wstring::npos);

    TestFrame::DeleteDirectoryTree(folder);
    EXPECT_FALSE(::PathFileExistsW(folder.c_str()));
}

TEST(DownloadFinish, StartedInstallersAreFollowedUntilTheyEnd) {
    InstallerLog log;
    const std::wstring folder = CreateUniqueTempFolder();
    const std::wstring program = folder + L"\\offer-sleep1500.exe";
    WriteFile(program, FakeInstallerBytes());

    StartedInstallers installers;
    // A file the system will not run is no started installer: the caller hears why, and nothing waits for it.
    const std::wstring notAProgram = folder + L"\\offer.zip";
    WriteFile(notAProgram, "PK\x03\x04 not a program");
    EXPECT_EQ(installers.Start(notAProgram, L"", {notAProgram}).rfind(L"Error launching executable: ", 0), 0u);
    EXPECT_TRUE(installers.FilesInUse().empty());
    ASSERT_EQ(installers.Start(program, L"/quiet", {program}, download::HeldFile(program)), L"");
    EXPECT_EQ(installers.FilesInUse(), std::vector<std::wstring>{program});
    EXPECT_FALSE(installers.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    // Held while it runs: a running program may be renamed, a held one may not.
    const std::wstring moved = program + L".moved";
    EXPECT_FALSE(::MoveFileW(program.c_str(), moved.c_str()));
    EXPECT_TRUE(installers.WaitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(20)));
    EXPECT_TRUE(installers.FilesInUse().empty());
    EXPECT_TRUE(::MoveFileW(program.c_str(), moved.c_str())) << "let go once it has ended";
    auto runs = log.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, L"\"" + program + L"\" /quiet");

    // A program that cannot start is not waited for.
    EXPECT_EQ(installers.Start(folder + L"\\missing.exe", L"", {folder + L"\\missing.exe"})
                  .rfind(L"Error launching executable: ", 0),
              0u);
    EXPECT_TRUE(installers.WaitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(20)));
    TestFrame::DeleteDirectoryTree(folder);
}

class FinishFrame : public TestFrame {
public:
    using CWayfarerDlg::m_startedInstallers;
};

// Finish waits for the events still in flight and for the offers' installers, then deletes the work folder.
TEST(DownloadFinish, FinishWaitsForTheLastEventsAndInstallersThenDeletesTheWorkFolder) {
    testing_ui::EnsureGdiplus();
    backend::Reset();
    backend::Script("/zbd", {{.body = "{}", .delaySeconds = 1.5}});
    InstallerLog log;
    auto configuration = ConfigurationManager::GetInstance();
    const std::wstring savedFolder = configuration->m_tempFolder;
    const std::wstring folder = CreateUniqueTempFolder();
    configuration->m_tempFolder = folder;
    const std::wstring program = folder + L"\\offer-sleep1500.exe";
    WriteFile(program, FakeInstallerBytes());
    auto main = std::make_shared<Package>(EventBase(), true, L"Quarvel", L"QuarvelProduct", L"", L"", 0);
    configuration->m_mainPackage = main;

    FinishFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  frame.m_startedInstallers->Start(program, L"", {program});
                                  main->ReportEvent(3, nullptr);
                                  frame.OnPageButton(ButtonType::Finish);
                                  return true;
                              }});
    EXPECT_EQ(result, 1);
    // Delivered before the dialog ended, not after.
    EXPECT_EQ(backend::Requests("/zbd").size(), 1u);
    EXPECT_EQ(log.Runs().size(), 1u);
    EXPECT_FALSE(::PathFileExistsW(folder.c_str()));

    configuration->m_mainPackage.reset();
    configuration->m_tempFolder = savedFolder;
}

// With no installer left running, Finish still waits for the last event on its way: it has been delivered when
// the dialog ends.
TEST(DownloadFinish, FinishWaitsForAnEventInFlightWhenNoInstallerRuns) {
    testing_ui::EnsureGdiplus();
    backend::Reset();
    backend::Script("/zbd", {{.body = "{}", .delaySeconds = 1.5}});
    auto configuration = ConfigurationManager::GetInstance();
    auto main = std::make_shared<Package>(EventBase(), true, L"Quarvel", L"QuarvelProduct", L"", L"", 0);
    configuration->m_mainPackage = main;

    FinishFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  main->ReportEvent(3, nullptr);
                                  frame.OnPageButton(ButtonType::Finish);
                                  return true;
                              }});
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(main->m_events.IsClosed()) << "the installation's report was not delivered before the end";
    EXPECT_TRUE(main->m_events.WaitUntil(std::chrono::steady_clock::now())) << "a send was still in flight";
    configuration->m_mainPackage.reset();
}

}  // namespace
