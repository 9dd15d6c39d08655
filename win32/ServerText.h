// Bounds on the texts a server sends, and the cleaning of every name shown to the user or used to save a file.
// A hostile answer may carry megabytes in a name or hide a right-to-left override in it; both are dealt with
// once, where the text enters the program, with the bounds said here and nowhere else. Plain text code on the
// ground floor: the server client, the offers, the downloads and the run log all use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace server_text {

// Names and titles (an offer's or product's name, a page title): far beyond any real name, short enough that a
// page, a placeholder or a log line stays quick.
constexpr std::size_t kMaxNameChars = 256;
// URLs (installers, images, links): beyond any real download address.
constexpr std::size_t kMaxUrlChars = 4096;
// Any other text that reaches a page or a log line (a description, a failure text from the server).
constexpr std::size_t kMaxTextChars = 4096;

// The first `maxChars` code points of UTF-8 text; never cuts inside a sequence. Bytes that are not UTF-8 are
// each counted as one.
std::string BoundUtf8(std::string_view text, std::size_t maxChars);

// Whether UTF-8 text holds no more than `maxChars` code points, counted as BoundUtf8 counts them. An address is
// used whole or not at all: one beyond its bound is refused, never cut into another address.
bool FitsUtf8(std::string_view text, std::size_t maxChars);

// True for the characters that change how the text around them is shown without showing themselves:
// bidirectional embeddings, overrides, isolates and marks, zero-width characters and the byte order mark.
bool IsInvisibleFormatting(char32_t codePoint);

// The text without its invisible formatting characters, so that a name like "setup\u202Egnp.exe" shows what it
// is. The UTF-8 form leaves bytes that are not UTF-8 as they are.
std::wstring StripInvisibleFormatting(std::wstring_view text);
std::string StripInvisibleFormattingUtf8(std::string_view text);

// A server text as it may be shown, reported or written to the log: without invisible formatting, every control
// character (C0, DEL and C1: line breaks, tabs, bells, NEL...) and the line and paragraph separators a space so
// that it can forge no line or field, and bounded to `maxChars` code points of the result. Bytes that are not
// UTF-8 (ANSI text) stay as they are, each counted as one.
std::string CleanTextUtf8(std::string_view text, std::size_t maxChars);

// A name as it may be shown, saved, reported or quoted in a failure text: CleanTextUtf8 to kMaxNameChars.
std::string CleanNameUtf8(std::string_view text);

}  // namespace server_text
