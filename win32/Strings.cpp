#include "win32/Strings.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace win32 {

std::wstring MultiByteToWide(std::string_view text, unsigned codePage) {
    if (text.empty())
        return {};
    int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring result(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string WideToMultiByte(std::wstring_view text, unsigned codePage) {
    if (text.empty())
        return {};
    int length =
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string result(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                          nullptr);
    return result;
}

std::wstring FormatWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = ::_vscwprintf(format, copy);
    va_end(copy);
    std::wstring result;
    if (length > 0) {
        result.resize(static_cast<size_t>(length) + 1);
        ::_vsnwprintf(result.data(), result.size(), format, args);
        result.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return result;
}

}  // namespace win32
