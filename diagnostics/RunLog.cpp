#include "diagnostics/RunLog.h"

#include "win32/Handle.h"
#include "win32/PathRules.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <windows.h>

#include <cstdarg>
#include <atomic>
#include <mutex>
#include <vector>

namespace diagnostics {

namespace {

// "yyyy-mm-dd hh.mm.ss": sorts as the runs started.
constexpr size_t kStampChars = 19;
const wchar_t kLogExtension[] = L".log";
const wchar_t kFallbackProduct[] = L"Setup";

std::mutex g_mutex;
win32::FileHandle g_file;
std::wstring g_path;
std::uint64_t g_startMs = 0;
std::atomic<bool> g_open{false};

// The program's file description from its version resource: the name a user knows the installer by.
std::wstring ReadProductName() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    const DWORD size = resource != nullptr ? ::SizeofResource(module, resource) : 0;
    if (data == nullptr || size == 0)
        return kFallbackProduct;
    // VerQueryValueW may write into the block, so it works on a copy rather than on the mapped resource.
    std::vector<BYTE> block(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileDescription", reinterpret_cast<void**>(&text),
                          &length) ||
        text == nullptr || length <= 1)
        return kFallbackProduct;
    std::wstring name(text, wcsnlen(text, length));
    // The name becomes part of a file name.
    for (wchar_t& c : name)
        if (path_rules::IsForbiddenInFileName(c))
            c = L'_';
    return name;
}

std::wstring Stamp(const SYSTEMTIME& time) {
    return win32::FormatWide(L"%04u-%02u-%02u %02u.%02u.%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                             time.wMinute, time.wSecond);
}

// A log of an earlier run: the product, a space, a stamp, anything, ".log". Other files are never touched.
bool IsRunLogName(const std::wstring& name, const std::wstring& product) {
    const size_t extension = wcslen(kLogExtension);
    if (name.size() < product.size() + 1 + kStampChars + extension || name.compare(0, product.size(), product) != 0 ||
        name[product.size()] != L' ' || name.compare(name.size() - extension, extension, kLogExtension) != 0)
        return false;
    const std::wstring stamp = name.substr(product.size() + 1, kStampChars);
    for (size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = stamp[i] >= L'0' && stamp[i] <= L'9';
        if ((i == 4 || i == 7)     ? stamp[i] != L'-'
            : i == 10              ? stamp[i] != L' '
            : (i == 13 || i == 16) ? stamp[i] != L'.'
                                   : !digit)
            return false;
    }
    return true;
}

void RemoveOldLogs(const std::wstring& folder, const std::wstring& product) {
    std::vector<std::wstring> logs;
    WIN32_FIND_DATAW found{};
    win32::FindHandle search(::FindFirstFileW((folder + product + L" *" + kLogExtension).c_str(), &found));
    if (!search)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsRunLogName(found.cFileName, product))
            logs.emplace_back(found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    while (logs.size() > static_cast<size_t>(kKeptRunLogs)) {
        auto oldest = logs.begin();
        for (auto log = logs.begin(); log != logs.end(); ++log)
            if (*log < *oldest)
                oldest = log;
        ::DeleteFileW((folder + *oldest).c_str());
        logs.erase(oldest);
    }
}

void AppendPadded(std::string& line, unsigned long long number, size_t width) {
    std::string digits = std::to_string(number);
    if (digits.size() < width)
        line.append(width - digits.size(), ' ');
    line += digits;
}

void AppendText(std::string& line, std::string_view text) {
    // One fact, one line: a line break inside a server text (NEL and the line separator among them) must not forge
    // another, nor a direction mark turn the line around; the rule is the one every server text is held to.
    line += server_text::CleanTextUtf8(text, kMaxLogPartChars);
}

void WriteLine(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 24);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_file)
        return;
    AppendPadded(line, GetTickMs() - g_startMs, 7);
    line += " [";
    AppendPadded(line, ::GetCurrentThreadId(), 5);
    line += "] ";
    line += text;
    line += "\r\n";
    // Each line reaches the file when it is recorded: the log matters most for the runs that end badly.
    DWORD written = 0;
    ::WriteFile(g_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void StartRunLog(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_file)
        return;
    try {
        std::wstring directory = folder;
        if (directory.empty()) {
            wchar_t temp[MAX_PATH + 1] = {};
            const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
            if (length == 0 || length > MAX_PATH)
                return;
            directory.assign(temp, length);
        }
        if (directory.back() != L'\\' && directory.back() != L'/')
            directory += L'\\';
        const std::wstring product = ReadProductName();
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        const std::wstring base = directory + product + L" " + Stamp(now);
        // Two runs in one second each get a log of their own.
        for (int copy = 1; copy <= 9 && !g_file; ++copy) {
            std::wstring path = base + (copy == 1 ? L"" : L" (" + std::to_wstring(copy) + L")") + kLogExtension;
            g_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (g_file)
                g_path = std::move(path);
            else if (::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        if (!g_file)
            return;
        g_startMs = GetTickMs();
        g_open = true;
        RemoveOldLogs(directory, product);
    } catch (...) {
        // No log, and the run goes on.
    }
}

void StopRunLog() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_open = false;
    g_file.Reset();
    g_path.clear();
}

std::wstring GetRunLogPath() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_path;
}

bool IsRunLogOpen() {
    return g_open;
}

std::uint64_t GetTickMs() {
    return ::GetTickCount64();
}

void Record(const char* format, ...) noexcept {
    if (!g_open)
        return;
    va_list arguments;
    va_start(arguments, format);
    try {
        std::string text;
        text.reserve(128);
        bool readable = true;
        for (const char* at = format; readable && *at != '\0'; ++at) {
            if (*at != '%') {
                text += static_cast<unsigned char>(*at) < 0x20 ? ' ' : *at;
                continue;
            }
            int longs = 0;
            bool sized = false;
            while (*++at == 'l')
                ++longs;
            if (longs == 0 && *at == 'z') {
                sized = true;
                ++at;
            }
            switch (*at) {
                case 's':
                    if (longs == 0) {
                        const char* narrow = va_arg(arguments, const char*);
                        AppendText(text, narrow != nullptr ? narrow : "");
                    } else {
                        const wchar_t* wide = va_arg(arguments, const wchar_t*);
                        const std::wstring_view view(wide != nullptr ? wide : L"");
                        AppendText(text, win32::WideToUtf8(view.substr(0, kMaxLogPartChars * 2)));
                    }
                    break;
                // long is as wide as int on Windows, in 32 and in 64 bits.
                case 'd':
                    text += longs == 2 ? std::to_string(va_arg(arguments, long long))
                                       : std::to_string(va_arg(arguments, int));
                    break;
                case 'u':
                    text += longs == 2 ? std::to_string(va_arg(arguments, unsigned long long))
                            : sized    ? std::to_string(va_arg(arguments, size_t))
                                       : std::to_string(va_arg(arguments, unsigned));
                    break;
                case '%':
                    text += '%';
                    break;
                default:
                    // Not a conversion of this function: the arguments after it cannot be read safely.
                    readable = false;
                    break;
            }
        }
        WriteLine(text);
    } catch (...) {
        // A line that cannot be made is a line that is not written.
    }
    va_end(arguments);
}

}  // namespace diagnostics
