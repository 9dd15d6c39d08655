// What Windows makes of a name or an address the program did not choose: the one place for the characters no
// file name holds, the names Windows opens as devices, the longest file name, and which addresses are absolute.
// The configuration's paths, the downloads' file names and the run log's name all follow these rules.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace path_rules {

// The longest file name the file systems take.
constexpr std::size_t kMaxFileNameChars = 255;

// Control characters and < > : " / \ | ? *: no file name holds them, and some make the file system read a name as
// a pattern, a stream or a path.
bool IsForbiddenInFileName(wchar_t c);

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (with the superscript digits), CONIN$ and CONOUT$, in any case: Windows
// opens them as devices in any folder, whatever extension follows them and with spaces before it.
bool IsDeviceName(std::wstring_view name);

// True when `name` can only ever name a file directly inside a folder: not empty, at most kMaxFileNameChars, no
// forbidden character, no "..", no trailing dot or space (which Windows strips), and not a device name.
bool IsPlainFileName(std::wstring_view name);

// An absolute http or https address (scheme compared without case); anything else is relative, or no address to
// fetch.
bool IsHttpUrl(std::wstring_view url);
bool IsHttpsUrl(std::wstring_view url);

}  // namespace path_rules
