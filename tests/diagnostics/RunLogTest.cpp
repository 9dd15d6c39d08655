// The run log sink against a folder of the test's own: the file it makes, the form of its lines, the bound on
// server texts, the logs it keeps, and the runs that must go on without a log.
#include "diagnostics/RunLog.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The test program's file description: the product name the logs are named after.
const wchar_t kProduct[] = L"Quarvel Setup";

std::wstring MakeFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    win32::FindHandle search(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (!search)
        return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveFolder(const std::wstring& folder) {
    for (const auto& name : FilesIn(folder))
        ::DeleteFileW((folder + name).c_str());
    ::RemoveDirectoryW(folder.c_str());
}

std::vector<std::string> LinesOf(const std::wstring& path) {
    std::string bytes;
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size()) << "every line ends with CR LF";
    return lines;
}

// The fact of a line, after its milliseconds and thread.
std::string FactOf(const std::string& line) {
    const size_t bracket = line.find("] ");
    return bracket == std::string::npos ? line : line.substr(bracket + 2);
}

class RunLogTest : public ::testing::Test {
protected:
    void TearDown() override {
        diagnostics::StopRunLog();
        RemoveFolder(m_folder);
    }
    std::wstring m_folder = MakeFolder(L"wayfarer-runlog-");
};

TEST_F(RunLogTest, NamesTheLogAfterTheProductAndTheStartAndWritesOneStampedLinePerFact) {
    diagnostics::StartRunLog(m_folder);
    ASSERT_TRUE(diagnostics::IsRunLogOpen());
    const std::wstring path = diagnostics::GetRunLogPath();
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    // "Quarvel Setup 2026-12-10 14.05.33.log"
    ASSERT_EQ(name.size(), std::wstring(kProduct).size() + 1 + 19 + 4) << win32::WideToUtf8(name);
    EXPECT_EQ(name.substr(0, 14), std::wstring(kProduct) + L" ");
    EXPECT_EQ(name[18], L'-');
    EXPECT_EQ(name[24], L' ');
    EXPECT_EQ(name[27], L'.');
    EXPECT_EQ(name.substr(name.size() - 4), L".log");

    const std::wstring url = L"https://files.test/\u00e9t\u00e9.exe";
    diagnostics::Record("download %ls status=%s bytes=%llu code=%lu size=%zu shift=%d%%", url.c_str(), "done",
                        5000000000ull, 4294967295ul, size_t{42}, -3);
    std::thread([] { diagnostics::Record("from another thread"); }).join();
    diagnostics::Record("bad conversion %x then %s", 1, "never read");

    const auto lines = LinesOf(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(FactOf(lines[0]),
              "download https://files.test/\xc3\xa9t\xc3\xa9.exe status=done bytes=5000000000 "
              "code=4294967295 size=42 shift=-3%");
    EXPECT_EQ(FactOf(lines[1]), "from another thread");
    EXPECT_EQ(FactOf(lines[2]), "bad conversion ");
    // "   12 [ 345] fact": milliseconds since the start, then the thread.
    std::istringstream first(lines[0]);
    unsigned long long ms = 0;
    char bracket = 0;
    unsigned long thread = 0;
    first >> ms >> bracket >> thread;
    EXPECT_EQ(bracket, '[');
    EXPECT_LT(ms, 60000u);
    EXPECT_EQ(thread, ::GetCurrentThreadId());
    std::istringstream second(lines[1]);
    unsigned long otherThread = 0;
    second >> ms >> bracket >> otherThread;
    EXPECT_NE(otherThread, thread);

    diagnostics::StopRunLog();
    EXPECT_FALSE(diagnostics::IsRunLogOpen());
    diagnostics::Record("after the end");
    EXPECT_EQ(LinesOf(path).size(), 3u);
}

TEST_F(RunLogTest, CutsLongTextsAndKeepsEachFactOnOneLine) {
    diagnostics::StartRunLog(m_folder);
    const std::string hostile(100000, 'x');
    const std::wstring hostileWide(100000, L'y');
    diagnostics::Record("name=%s", ("evil\r\n   1 [   1] offer forged\n" + hostile).c_str());
    diagnostics::Record("wide=%ls", hostileWide.c_str());
    const auto lines = LinesOf(diagnostics::GetRunLogPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(FactOf(lines[0]).substr(0, 40), "name=evil     1 [   1] offer forged xxxx");
    EXPECT_EQ(FactOf(lines[0]).size(), 5 + diagnostics::kMaxLogPartChars);
    EXPECT_EQ(FactOf(lines[1]), "wide=" + std::string(diagnostics::kMaxLogPartChars, 'y'));
}

// The one rule of server texts holds in the log as well: the line breaks Unicode knows beside CR and LF become
// spaces, and the marks that turn a line around or hide text go, before the bound is counted.
TEST_F(RunLogTest, HoldsServerTextsToTheOneRuleOfLinesAndMarks) {
    diagnostics::StartRunLog(m_folder);
    const struct {
        std::string text;
        std::string fact;
    } cases[] = {
        {"a\u0085b", "a b"},
        {"a\u2028b\u2029c", "a b c"},
        {"a\u202Egnp.exe", "agnp.exe"},
        {"a\u200Db\u200Ec\u200Fd\u2066e\uFEFF", "abcde"},
        {"a\x7F\x07\tb", "a   b"},
        {std::string(600, '\x01'), std::string(diagnostics::kMaxLogPartChars, ' ')},
        {std::string(600, '\xE2') + "x", std::string(diagnostics::kMaxLogPartChars, '\xE2')},
        {"\u202E" + std::string(600, 'z'), std::string(diagnostics::kMaxLogPartChars, 'z')},
    };
    for (const auto& c : cases)
        diagnostics::Record("%s", c.text.c_str());
    const auto lines = LinesOf(diagnostics::GetRunLogPath());
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(FactOf(lines[i]), cases[i].fact) << i;
}

TEST_F(RunLogTest, KeepsTheNewestLogsAndLeavesOtherFilesAlone) {
    // Six earlier runs, a file that only looks alike, and a file of another program.
    std::vector<std::wstring> earlier;
    for (int day = 1; day <= 6; ++day)
        earlier.push_back(std::wstring(kProduct) + L" 2020-01-0" + std::to_wstring(day) + L" 10.00.00.log");
    const std::vector<std::wstring> others = {std::wstring(kProduct) + L" notes.log",
                                              L"Other Setup 2019-01-01 10.00.00.log"};
    for (const auto& name : earlier)
        std::ofstream(win32::WideToUtf8(m_folder + name)) << "x";
    for (const auto& name : others)
        std::ofstream(win32::WideToUtf8(m_folder + name)) << "x";

    diagnostics::StartRunLog(m_folder);
    ASSERT_TRUE(diagnostics::IsRunLogOpen());
    const std::wstring path = diagnostics::GetRunLogPath();
    std::vector<std::wstring> expected(earlier.end() - (diagnostics::kKeptRunLogs - 1), earlier.end());
    expected.push_back(path.substr(path.find_last_of(L'\\') + 1));
    expected.insert(expected.end(), others.begin(), others.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(m_folder), expected);
}

TEST_F(RunLogTest, AFolderThatCannotHoldTheLogLeavesTheRunWithoutOne) {
    const std::wstring file = m_folder + L"not-a-folder";
    std::ofstream(win32::WideToUtf8(file)) << "x";
    for (const std::wstring& folder : {m_folder + L"missing\\deeper", file}) {
        diagnostics::StartRunLog(folder);
        EXPECT_FALSE(diagnostics::IsRunLogOpen()) << win32::WideToUtf8(folder);
        EXPECT_EQ(diagnostics::GetRunLogPath(), L"");
        diagnostics::Record("nowhere %s", "to go");
    }
}

TEST_F(RunLogTest, TwoRunsInOneSecondEachGetTheirOwnLog) {
    diagnostics::StartRunLog(m_folder);
    const std::wstring first = diagnostics::GetRunLogPath();
    diagnostics::StopRunLog();
    diagnostics::StartRunLog(m_folder);
    const std::wstring second = diagnostics::GetRunLogPath();
    // Unless the second came a second later, it is the same name with " (2)".
    EXPECT_NE(first, second);
    EXPECT_EQ(FilesIn(m_folder).size(), 2u);
}

}  // namespace
