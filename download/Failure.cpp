#include "download/Failure.h"

#include <windows.h>

#include "download/DownloadLimits.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <algorithm>

namespace download {

std::wstring CleanFailureText(std::wstring text) {
    text = server_text::StripInvisibleFormatting(text);
    text.resize(std::min(text.size(), kMaxFailureTextChars));
    for (wchar_t& c : text) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
            c = L'?';
    }
    return text;
}

std::wstring QuotedValue(const std::wstring& value) {
    return L"\"" + CleanFailureText(value.substr(0, kQuotedValueChars)) + L"\"";
}

std::wstring SystemMessage(unsigned long code) {
    // Inserts are ignored: a system text with placeholders would otherwise be read against arguments that were
    // never passed.
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr)
        text.assign(buffer, length);
    ::LocalFree(buffer);
    return text;
}

std::wstring SystemErrorText(unsigned long code) {
    std::wstring text = SystemMessage(code);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::wstring TextWithCode(const wchar_t* format, unsigned long code) {
    return win32::FormatWide(format, static_cast<int>(code), SystemErrorText(code).c_str());
}

void Fail(const std::wstring& text) {
    throw Failure(FailureKind::Lasting, text);
}

void FailFinally(const std::wstring& text) {
    throw Failure(FailureKind::Final, text);
}

void FailPassing(const std::wstring& text, std::optional<std::chrono::milliseconds> retryAfter, bool restart) {
    throw Failure(FailureKind::Passing, text, retryAfter, restart);
}

void FailPassingWithCode(const wchar_t* format, unsigned long code) {
    FailPassing(TextWithCode(format, code));
}

void FailExchange(const wchar_t* format, unsigned long code, bool verdict) {
    if (verdict)
        FailFinally(TextWithCode(format, code));
    FailPassingWithCode(format, code);
}

void FailWithCode(const wchar_t* format, unsigned long code) {
    Fail(TextWithCode(format, code));
}

void FailWithLastError(const wchar_t* format) {
    FailWithCode(format, ::GetLastError());
}

std::wstring TagFailure(const wchar_t* tag, const Failure& failure) {
    return tag + failure.Text();
}

}  // namespace download
