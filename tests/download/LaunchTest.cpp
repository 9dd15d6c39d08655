// Installer launch: what a downloaded file turns into, the arguments it gets, and how it runs. Every run starts
// the stand-in installer for real under Wine; ZIP unpacking goes through a fake extractor at the Shell seam,
// except for the one test that shows what the real Shell path does here.
#include "download/InstallerLaunch.h"

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "download/DownloadTesting.h"
#include "download/Failure.h"
#include "download/LaunchTesting.h"
#include "support/WindowTesting.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <future>
#include <thread>

namespace {

using download_testing::FileExists;
using download_testing::ReadWholeFile;
using launch_testing::FindProcesses;
using launch_testing::InstallerLog;
using launch_testing::PlaceFakeInstaller;

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream stream(path.c_str(), std::ios::binary);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring CurrentFolder() {
    wchar_t buffer[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, buffer);
    return buffer;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// A ZIP archive whose entries are stored uncompressed, as any unpacker reads it.
std::string MakeStoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    auto crc32 = [](const std::string& data) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (unsigned char byte : data) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    auto put16 = [](std::string& out, unsigned value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>((value >> 8) & 0xFF);
    };
    auto put32 = [&](std::string& out, std::uint32_t value) {
        put16(out, value & 0xFFFF);
        put16(out, value >> 16);
    };
    std::string zip;
    std::string directory;
    for (const auto& [name, data] : entries) {
        const std::uint32_t offset = static_cast<std::uint32_t>(zip.size());
        const std::uint32_t crc = crc32(data);
        const auto size = static_cast<std::uint32_t>(data.size());
        put32(zip, 0x04034B50);
        put16(zip, 20);
        put16(zip, 0);
        put16(zip, 0);
        put16(zip, 0);
        put16(zip, 0x21);
        put32(zip, crc);
        put32(zip, size);
        put32(zip, size);
        put16(zip, static_cast<unsigned>(name.size()));
        put16(zip, 0);
        zip += name + data;

        put32(directory, 0x02014B50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<unsigned>(name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip += directory;
    put32(zip, 0x06054B50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, static_cast<unsigned>(entries.size()));
    put16(zip, static_cast<unsigned>(entries.size()));
    put32(zip, static_cast<std::uint32_t>(directory.size()));
    put32(zip, directoryOffset);
    put16(zip, 0);
    return zip;
}

const std::string kZipStart("PK\x03\x04\x14\x00\x00\x00", 8);

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(launch_testing::FakeInstallerSource().empty()) << "WAYFARER_FAKE_INSTALLER_EXE is not set";
        m_folder = CreateUniqueTempFolder();
        ASSERT_TRUE(IsDirectory(m_folder));
        m_log = std::make_unique<InstallerLog>(Path(L"installer.log"));
    }

    void TearDown() override {
        SetZipExtractorForTesting(nullptr);
        for (const std::wstring& name : m_leftRunning)
            launch_testing::EndProcesses(name);
        m_log.reset();
        download_testing::RemoveFolder(m_folder);
    }

    std::wstring Path(const std::wstring& name) const { return m_folder + L"\\" + name; }

    // A stand-in installer that sleeps ten minutes: a hung installer, ended by the fixture.
    std::wstring PlaceHungInstaller(const std::wstring& name) {
        m_leftRunning.push_back(name);
        const std::wstring path = Path(name);
        EXPECT_TRUE(PlaceFakeInstaller(path));
        return path;
    }

    std::wstring m_folder;
    std::unique_ptr<InstallerLog> m_log;
    std::vector<std::wstring> m_leftRunning;
};

// --- What the downloaded file is ---

TEST_F(LaunchTest, DetectsArchivesBySignatureOnly) {
    struct Case {
        const char* name;
        std::string bytes;
        int expected;
    };
    const Case cases[] = {
        {"zip", kZipStart + "rest of the archive", ArchiveZip},
        {"zip signature alone", std::string("PK\x03\x04", 4), ArchiveZip},
        {"7z", std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8), Archive7z},
        {"7z cut after five bytes", std::string("7z\xBC\xAF\x27", 5), ArchiveNone},
        {"empty zip (end record only)", std::string("PK\x05\x06", 4) + std::string(18, '\0'), ArchiveNone},
        {"program", std::string("MZ\x90\x00\x03\x00\x00\x00", 8), ArchiveNone},
        {"empty", "", ArchiveNone},
        {"three bytes of a zip signature", std::string("PK\x03", 3), ArchiveNone},
    };
    for (const Case& c : cases) {
        const std::wstring path = Path(L"download.bin");
        WriteBytes(path, c.bytes);
        EXPECT_EQ(DetectArchiveType(path), c.expected) << c.name;
    }
    EXPECT_EQ(DetectArchiveType(Path(L"missing.zip")), ArchiveNone) << "missing file";
    EXPECT_EQ(DetectArchiveType(m_folder), ArchiveNone) << "a folder";
}

// --- Where an archive is unpacked ---

TEST_F(LaunchTest, ExtractFolderIsNamedAfterTheFileWithoutItsExtension) {
    const std::wstring folder = CreateExtractFolder(Path(L"setup.v2.zip"), m_folder);
    EXPECT_EQ(folder, Path(L"setup.v2"));
    EXPECT_TRUE(IsDirectory(folder));
}

TEST_F(LaunchTest, ExtractFolderThatExistsIsReusedWithItsContent) {
    const std::wstring first = CreateExtractFolder(Path(L"pack.zip"), m_folder);
    WriteBytes(first + L"\\kept.txt", "kept");
    const std::wstring second = CreateExtractFolder(Path(L"pack.zip"), m_folder);
    EXPECT_EQ(second, first);
    EXPECT_EQ(ReadWholeFile(second + L"\\kept.txt"), "kept");
}

// The main download is saved under the last segment of its URL, "beta": without an extension the folder's
// name is the archive's own name.
TEST_F(LaunchTest, ExtractFolderIsNeverTheArchiveItself) {
    const std::wstring archive = Path(L"beta");
    const std::string bytes = kZipStart + "archive";
    WriteBytes(archive, bytes);
    // A file that also takes the first twin's name pushes the folder one further.
    WriteBytes(Path(L"beta.1"), "another download");

    const std::wstring folder = CreateExtractFolder(archive, m_folder);
    EXPECT_NE(folder, archive);
    EXPECT_NE(folder, Path(L"beta.1"));
    EXPECT_EQ(folder.rfind(archive, 0), 0u) << "the folder is still named after the archive";
    EXPECT_TRUE(IsDirectory(folder));
    EXPECT_EQ(ReadWholeFile(archive), bytes);
    EXPECT_EQ(CreateExtractFolder(archive, m_folder), folder) << "a second unpacking reuses the same folder";
}

TEST_F(LaunchTest, ExtractFolderFallsBackToTheBaseFolder) {
    EXPECT_EQ(CreateExtractFolder(L"pack.zip", m_folder), m_folder) << "a path without a folder part";
    const std::wstring missingBase = Path(L"missing");
    EXPECT_EQ(CreateExtractFolder(Path(L"pack.zip"), missingBase), missingBase) << "a base folder that is gone";
}

// --- Which program of an unpacked archive runs ---

TEST_F(LaunchTest, FirstProgramIsTakenFromTheFolderItselfOnly) {
    ASSERT_TRUE(::CreateDirectoryW(Path(L"sub").c_str(), nullptr));
    WriteBytes(Path(L"sub\\inner.exe"), "MZ");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"looks like a program.exe").c_str(), nullptr));
    WriteBytes(Path(L"readme.txt"), "text");
    EXPECT_EQ(FindFirstExe(m_folder), L"") << "only a sub-folder and a folder named like a program";

    WriteBytes(Path(L"root.exe"), "MZ");
    EXPECT_EQ(FindFirstExe(m_folder), L"root.exe");
    EXPECT_EQ(FindFirstExe(m_folder + L"\\"), L"root.exe") << "a folder given with its trailing backslash";
    EXPECT_EQ(FindFirstExe(Path(L"missing")), L"");
}

TEST_F(LaunchTest, FolderLongerThanThePathLimitIsNotSearched) {
    WriteBytes(Path(L"root.exe"), "MZ");
    // Names the same folder, but the system would have to cut it short.
    std::wstring longFolder = m_folder;
    while (longFolder.size() < MAX_PATH)
        longFolder += L"\\.";
    EXPECT_EQ(FindFirstExe(longFolder), L"");
}

// --- Unpacking through the seam ---

// Stands in for the Shell: records each call and unpacks a fixed set of files.
struct FakeExtractor {
    struct Call {
        std::wstring archive;
        std::wstring destination;
    };
    std::vector<Call> calls;
    std::vector<std::wstring> installers;  // stand-in installers placed at these relative paths
    std::vector<std::wstring> folders;     // folders created first
    bool result = true;

    ZipExtractor Get() {
        return [this](BSTR archive, BSTR destination) {
            calls.push_back({archive, destination});
            for (const std::wstring& folder : folders)
                ::CreateDirectoryW((std::wstring(destination) + L"\\" + folder).c_str(), nullptr);
            for (const std::wstring& installer : installers)
                EXPECT_TRUE(PlaceFakeInstaller(std::wstring(destination) + L"\\" + installer));
            return result;
        };
    }
};

TEST_F(LaunchTest, ZipArchiveRunsTheFirstProgramAtItsRoot) {
    const std::wstring archive = Path(L"pack.zip");
    WriteBytes(archive, kZipStart + "archive");
    FakeExtractor extractor;
    extractor.folders = {L"sub", L"folder.exe"};
    extractor.installers = {L"sub\\inner_exit5.exe", L"root_exit7.exe"};
    SetZipExtractorForTesting(extractor.Get());

    const std::wstring resolved = ResolveInstallerPath(archive, DetectArchiveType(archive), m_folder);
    ASSERT_EQ(extractor.calls.size(), 1u);
    EXPECT_EQ(extractor.calls[0].archive, archive);
    EXPECT_EQ(extractor.calls[0].destination, Path(L"pack"));
    EXPECT_EQ(resolved, Path(L"pack\\root_exit7.exe"));
    EXPECT_EQ(RunProcess(resolved, L"/S", true), ProcessResult(7, L"exit code = 7"));

    // The same download unpacked again goes into the same folder.
    EXPECT_EQ(ResolveInstallerPath(archive, ArchiveZip, m_folder), resolved);
    EXPECT_EQ(extractor.calls.at(1).destination, Path(L"pack"));
}

TEST_F(LaunchTest, ArchiveWithoutExtensionIsUnpackedBesideItself) {
    const std::wstring archive = Path(L"beta");
    const std::string bytes = kZipStart + "archive";
    WriteBytes(archive, bytes);
    FakeExtractor extractor;
    extractor.installers = {L"setup.exe"};
    SetZipExtractorForTesting(extractor.Get());

    const std::wstring resolved = ResolveInstallerPath(archive, ArchiveZip, m_folder);
    ASSERT_EQ(extractor.calls.size(), 1u);
    EXPECT_TRUE(IsDirectory(extractor.calls[0].destination));
    EXPECT_EQ(resolved, extractor.calls[0].destination + L"\\setup.exe");
    EXPECT_EQ(ReadWholeFile(archive), bytes);
    EXPECT_EQ(RunProcess(resolved, L"/S", true).first, 0u);
}

TEST_F(LaunchTest, ArchivePathRunsWhenUnpackingYieldsNoProgram) {
    struct Case {
        const char* name;
        bool result;
        std::vector<std::wstring> folders;
        std::vector<std::wstring> installers;
    };
    const Case cases[] = {
        {"extraction failed, files left behind", false, {}, {L"setup.exe"}},
        {"nothing unpacked", true, {}, {}},
        {"programs in a sub-folder only", true, {L"sub"}, {L"sub\\setup.exe"}},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::wstring archive = Path(L"case" + std::to_wstring(index++) + L".zip");
        WriteBytes(archive, kZipStart);
        FakeExtractor extractor;
        extractor.result = c.result;
        extractor.folders = c.folders;
        extractor.installers = c.installers;
        SetZipExtractorForTesting(extractor.Get());
        EXPECT_EQ(ResolveInstallerPath(archive, ArchiveZip, m_folder), archive) << c.name;
        EXPECT_EQ(extractor.calls.size(), 1u) << c.name;
    }
}

TEST_F(LaunchTest, OnlyZipArchivesAreUnpacked) {
    FakeExtractor extractor;
    SetZipExtractorForTesting(extractor.Get());
    const std::wstring program = Path(L"setup.exe");
    const std::wstring sevenZip = Path(L"setup.7z");
    WriteBytes(sevenZip, std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8));
    EXPECT_EQ(ResolveInstallerPath(program, ArchiveNone, m_folder), program);
    EXPECT_EQ(ResolveInstallerPath(sevenZip, DetectArchiveType(sevenZip), m_folder), sevenZip);
    EXPECT_TRUE(extractor.calls.empty());

    // A 7-Zip archive is then run as it is, which cannot work.
    const ProcessResult result = RunProcess(sevenZip, L"/S", true);
    EXPECT_EQ(result.first, kExitCodeUnknown);
    EXPECT_EQ(result.second.rfind(L"Error launching executable: ", 0), 0u) << result.second;
}

// --- The real Shell path ---

// Windows unpacks this archive and runs its program; Wine has no ZIP folder in its Shell, so there the
// extraction reports failure and the archive itself is what would run.
TEST_F(LaunchTest, RealShellUnpacksOrFallsBackToTheArchive) {
    const std::string program = ReadWholeFile(launch_testing::FakeInstallerSource());
    ASSERT_FALSE(program.empty());
    const std::wstring archive = Path(L"real.zip");
    WriteBytes(archive, MakeStoredZip({{"setup_exit0.exe", program}}));
    ASSERT_EQ(DetectArchiveType(archive), ArchiveZip);

    const std::wstring resolved = ResolveInstallerPath(archive, ArchiveZip, m_folder);
    const ProcessResult result = RunProcess(resolved, L"/S", true);
    if (resolved == archive) {
        RecordProperty("shell", "fell back to the archive");
        EXPECT_EQ(result.first, kExitCodeUnknown);
        EXPECT_EQ(result.second.rfind(L"Error launching executable: ", 0), 0u) << result.second;
    } else {
        RecordProperty("shell", "unpacked");
        EXPECT_EQ(resolved, Path(L"real\\setup_exit0.exe"));
        EXPECT_EQ(result, ProcessResult(0, L""));
    }
}

TEST_F(LaunchTest, ShellExtractionWithNothingToCopyReportsFailure) {
    const std::wstring destination = Path(L"out");
    ASSERT_TRUE(::CreateDirectoryW(destination.c_str(), nullptr));
    const std::wstring emptyZip = Path(L"empty.zip");
    WriteBytes(emptyZip, MakeStoredZip({}));
    const std::wstring goodZip = Path(L"good.zip");
    WriteBytes(goodZip, MakeStoredZip({{"a.txt", "a"}}));

    struct Case {
        const char* name;
        std::wstring archive;
        std::wstring destination;
    };
    const Case cases[] = {
        {"missing archive", Path(L"missing.zip"), destination},
        {"archive without items", emptyZip, destination},
        {"missing destination", goodZip, Path(L"missing folder")},
    };
    for (const Case& c : cases) {
        win32::BString archive(c.archive);
        win32::BString target(c.destination);
        EXPECT_FALSE(ExtractZip(archive.Get(), target.Get())) << c.name;
    }
}

// The page's timer thread may already live in an apartment of its own: unpacking must leave it as it was.
TEST_F(LaunchTest, ShellExtractionLeavesTheThreadsComAsItFoundIt) {
    enum class Apartment { None, MultiThreaded, SingleThreaded };
    const std::wstring archive = Path(L"missing.zip");
    for (Apartment apartment : {Apartment::None, Apartment::MultiThreaded, Apartment::SingleThreaded}) {
        HRESULT probe = E_FAIL;
        std::thread worker([&] {
            HRESULT own = S_OK;
            if (apartment == Apartment::MultiThreaded)
                own = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            else if (apartment == Apartment::SingleThreaded)
                own = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            win32::BString source(archive);
            win32::BString target(m_folder);
            ExtractZip(source.Get(), target.Get());
            // S_FALSE: the thread is still in its apartment; S_OK: it had been left.
            probe = ::CoInitializeEx(
                nullptr, apartment == Apartment::SingleThreaded ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
            if (SUCCEEDED(probe))
                ::CoUninitialize();
            if (apartment != Apartment::None && SUCCEEDED(own))
                ::CoUninitialize();
        });
        worker.join();
        EXPECT_EQ(probe, apartment == Apartment::None ? S_OK : S_FALSE) << static_cast<int>(apartment);
    }
}

// --- Arguments ---

TEST_F(LaunchTest, ArgumentsOfTheMainProductAndOfOffers) {
    ConfigurationManager configuration(L"ISV");
    // Whatever this build's flavour.
    configuration.m_sorrelFlavour = false;
    const LaunchArguments main{.isMain = true};
    LaunchArguments offer{.isMain = false};

    EXPECT_EQ(MakeInstallerArguments(main, configuration), L"/S");
    configuration.m_sorrelOptions.fill(true);
    EXPECT_EQ(MakeInstallerArguments(main, configuration), L"/S") << "the options count only in the Sorrel flavour";

    offer.serverArguments = "/quiet /dir=\"C:\\Pr\xC3\xB6gram Files\\Offer\"";
    EXPECT_EQ(MakeInstallerArguments(offer, configuration), L"/quiet /dir=\"C:\\Pr\u00F6gram Files\\Offer\"");
    offer.serverArguments.clear();
    EXPECT_EQ(MakeInstallerArguments(offer, configuration), L"");
    configuration.m_sorrelFlavour = true;
    EXPECT_EQ(MakeInstallerArguments(offer, configuration), L"") << "offers never get the option digits";
    download_testing::RemoveFolder(configuration.m_tempFolder);
}

TEST_F(LaunchTest, SorrelOptionsBecomeSixteenDigits) {
    struct Case {
        std::vector<int> flags;
        const wchar_t* digits;
    };
    const Case cases[] = {
        {{}, L"0000000101000000"},
        {{0, 5}, L"1000000101010010"},
        {{0}, L"0000000101000010"},
        {{1}, L"0000000101001000"},
        {{2}, L"0000000101000100"},
        {{3}, L"0010000101000000"},
        {{4}, L"0000010101000000"},
        {{5}, L"1000000101010000"},
        {{6}, L"0100000101000000"},
        {{7}, L"0000000101100000"},
        {{0, 1, 2, 3, 4, 5, 6, 7}, L"1110010101111110"},
    };
    ConfigurationManager configuration(L"ISV");
    configuration.m_sorrelFlavour = true;
    const LaunchArguments main{.isMain = true};
    for (const Case& c : cases) {
        configuration.m_sorrelOptions.fill(false);
        for (int flag : c.flags)
            configuration.m_sorrelOptions[flag] = true;
        EXPECT_EQ(MakeInstallerArguments(main, configuration), std::wstring(L"/S /FORCEINSTALL ") + c.digits)
            << ::testing::PrintToString(c.flags);
    }
    download_testing::RemoveFolder(configuration.m_tempFolder);
}

// --- Running ---

TEST_F(LaunchTest, InstallerRunsWithItsPathQuotedAndItsArguments) {
    struct Case {
        std::wstring folder;
        std::wstring file;
        std::wstring arguments;
    };
    const Case cases[] = {
        {L"My Setup", L"My Setup.exe", L"/S"},
        {L"plain", L"setup.exe", L""},
        {L"Caf\u00E9 folder", L"install me.exe", L"/D=C:\\Program Files\\Quarvel /S"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(::CreateDirectoryW(Path(c.folder).c_str(), nullptr));
        const std::wstring path = Path(c.folder + L"\\" + c.file);
        ASSERT_TRUE(PlaceFakeInstaller(path));
        const size_t before = m_log->Runs().size();
        EXPECT_EQ(RunProcess(path, c.arguments, true), ProcessResult(0, L"")) << path;
        const auto runs = m_log->Runs();
        ASSERT_EQ(runs.size(), before + 1) << path;
        EXPECT_TRUE(SamePath(runs.back().path, path)) << runs.back().path;
        EXPECT_EQ(runs.back().commandLine, L"\"" + path + L"\" " + c.arguments);
        EXPECT_TRUE(SamePath(runs.back().workingFolder, CurrentFolder())) << runs.back().workingFolder;
    }
}

TEST_F(LaunchTest, WaitedRunGivesTheExitCode) {
    struct Case {
        const wchar_t* file;
        ProcessResult expected;
    };
    const Case cases[] = {
        {L"setup_exit1603.exe", {1603, L"exit code = 1603"}},
        {L"setup.exe", {0, L""}},
        {L"setup_exit3010.exe", {3010, L"exit code = 3010"}},
        // The stand-in takes the first "exit" that has a number.
        {L"exit_setup_exit2.exe", {2, L"exit code = 2"}},
    };
    for (const Case& c : cases) {
        const std::wstring path = Path(c.file);
        ASSERT_TRUE(PlaceFakeInstaller(path));
        EXPECT_EQ(RunProcess(path, L"/S", true), c.expected) << c.file;
    }
}

TEST_F(LaunchTest, RunWithoutWaitReturnsWhileTheInstallerRuns) {
    const std::wstring path = PlaceHungInstaller(L"offer_sleep600000.exe");
    EXPECT_EQ(RunProcess(path, L"/S", false), ProcessResult(kExitCodeUnknown, L"exit code = 4294967295"));
    EXPECT_EQ(FindProcesses(L"offer_sleep600000.exe").size(), 1u);
}

TEST_F(LaunchTest, MissingInstallerReportsTheSystemText) {
    const ProcessResult result = RunProcess(Path(L"gone.exe"), L"/S", true);
    EXPECT_EQ(result.first, kExitCodeUnknown);
    EXPECT_EQ(result.second, L"Error launching executable: " + download::SystemMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(m_log->Runs().empty());
}

// Closing the wizard while the main installer hangs: the stub's wait ends, the installer goes on.
TEST_F(LaunchTest, CancelledWaitReturnsAndLeavesTheInstallerRunning) {
    const std::wstring name = L"main_sleep600000.exe";
    const std::wstring path = PlaceHungInstaller(name);
    auto cancellation = std::make_shared<WaitCancellation>();
    auto run = std::async(std::launch::async, RunProcess, path, L"/S", true, cancellation);
    ASSERT_TRUE(testing_ui::WaitFor([&] { return !FindProcesses(name).empty(); }));
    EXPECT_EQ(run.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "the wait ended by itself";

    cancellation->Cancel();
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        launch_testing::EndProcesses(name);
        FAIL() << "the wait went on after it was cancelled";
    }
    EXPECT_EQ(run.get(), ProcessResult(kExitCodeUnknown, kWaitCancelledMessage));
    EXPECT_EQ(FindProcesses(name).size(), 1u) << "the installer must keep running";
}

TEST_F(LaunchTest, CancelledBeforeTheStartRunsNothing) {
    const std::wstring name = L"late_sleep600000.exe";
    const std::wstring path = PlaceHungInstaller(name);
    auto cancellation = std::make_shared<WaitCancellation>();
    cancellation->Cancel();
    EXPECT_EQ(RunProcess(path, L"/S", true, cancellation), ProcessResult(kExitCodeUnknown, kWaitCancelledMessage));
    EXPECT_TRUE(FindProcesses(name).empty());
}

}  // namespace
