// Conversions between the program's two kinds of text: UTF-16 for the user interface and paths, 8-bit for
// JSON, catalog texts and server values.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

std::wstring MultiByteToWide(std::string_view text, unsigned codePage);
std::string WideToMultiByte(std::wstring_view text, unsigned codePage);

inline std::wstring Utf8ToWide(std::string_view text) {
    return MultiByteToWide(text, 65001 /* CP_UTF8 */);
}
inline std::string WideToUtf8(std::wstring_view text) {
    return WideToMultiByte(text, 65001 /* CP_UTF8 */);
}
// The ANSI code page of the system (CP_ACP), as the server-facing records carry the build's texts.
inline std::string WideToAnsi(std::wstring_view text) {
    return WideToMultiByte(text, 0 /* CP_ACP */);
}

// Whether `text` begins with `prefix`, ASCII letters compared without case: the schemes, units and keywords the
// program looks for are ASCII, and no other letter may pass for one of theirs.
inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size())
        return false;
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

// printf-style formatting into a wide string with the C runtime's own conventions: %s and %ls are wide,
// %hs is narrow (the toolchain has no <format>).
std::wstring FormatWide(const wchar_t* format, ...);

}  // namespace win32
