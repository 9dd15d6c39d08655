// A stand-in installer for the launch tests and the demo. Its own file name tells it what to do:
//   "sleepN" anywhere in the name: sleep N milliseconds first;
//   "exitN" anywhere in the name: exit with N (else 0).
// When the environment variable WAYFARER_FAKE_INSTALLER_LOG names a file, it appends one UTF-8 line to it:
//   <its own full path> TAB <its whole command line> TAB <its working folder> "\n"
// The line is written with one append, so concurrent runs never interleave within a line.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The number of the first "<word>N" in `name` (an occurrence of the word without digits after it is skipped);
// `fallback` when there is none.
DWORD NumberAfter(const std::wstring& name, const wchar_t* word, DWORD fallback) {
    const size_t wordLength = std::wcslen(word);
    for (size_t at = name.find(word); at != std::wstring::npos; at = name.find(word, at + 1)) {
        size_t digit = at + wordLength;
        if (digit >= name.size() || name[digit] < L'0' || name[digit] > L'9')
            continue;
        unsigned long long value = 0;
        for (; digit < name.size() && name[digit] >= L'0' && name[digit] <= L'9'; ++digit)
            value = value * 10 + static_cast<unsigned>(name[digit] - L'0');
        return static_cast<DWORD>(value);
    }
    return fallback;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring WorkingFolder() {
    std::wstring folder(32768, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length < folder.size() ? length : 0);
    return folder;
}

// A program the desktop's shell starts has the shell's environment, without the variable: the test that waits for
// it names its log in a file of the temporary folder instead (tests/download/LaunchTesting.cpp).
std::wstring LogPathFromTemporaryFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH)
        return {};
    HANDLE file = ::CreateFileW((std::wstring(folder) + L"wayfarer-fake-installer-log.txt").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    wchar_t path[MAX_PATH] = {};
    DWORD read = 0;
    ::ReadFile(file, path, sizeof(path) - sizeof(wchar_t), &read, nullptr);
    ::CloseHandle(file);
    return std::wstring(path, read / sizeof(wchar_t));
}

void AppendRecord(const std::wstring& path) {
    std::wstring logPath(32768, L'\0');
    const DWORD length =
        ::GetEnvironmentVariableW(L"WAYFARER_FAKE_INSTALLER_LOG", logPath.data(), static_cast<DWORD>(logPath.size()));
    if (length == 0 || length >= logPath.size())
        logPath = LogPathFromTemporaryFolder();
    else
        logPath.resize(length);
    if (logPath.empty())
        return;
    const std::string line = ToUtf8(path) + '\t' + ToUtf8(::GetCommandLineW()) + '\t' + ToUtf8(WorkingFolder()) + '\n';
    HANDLE file =
        ::CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring path = OwnPath();
    const std::wstring name = FileNameOf(path);
    const DWORD sleepMs = NumberAfter(name, L"sleep", 0);
    if (sleepMs > 0)
        ::Sleep(sleepMs);
    AppendRecord(path);
    // ExitProcess rather than a return: the code is a full 32-bit value, as installers report them.
    ::ExitProcess(NumberAfter(name, L"exit", 0));
}
