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

// printf-style formatting into a wide string with the C runtime's own conventions: %s and %ls are wide,
// %hs is narrow (the toolchain has no <format>).
std::wstring FormatWide(const wchar_t* format, ...);

}  // namespace win32
