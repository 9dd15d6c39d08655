#include "win32/ServerText.h"

#include <algorithm>

namespace server_text {

namespace {

// Length of the UTF-8 sequence that starts with `lead`, or 1 for a byte that cannot start one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The code point at `text[at]` and its length in bytes; a malformed sequence is one byte that decodes to
// U+FFFD, which is not a formatting character, so it is kept as it is.
std::pair<char32_t, std::size_t> DecodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = SequenceLength(lead);
    if (length == 1)
        return {lead < 0x80 ? lead : 0xFFFD, 1};
    if (at + length > text.size())
        return {0xFFFD, 1};
    char32_t codePoint = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(byte))
            return {0xFFFD, 1};
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    return {codePoint, length};
}

}  // namespace

std::string BoundUtf8(std::string_view text, std::size_t maxChars) {
    std::size_t at = 0;
    for (std::size_t count = 0; at < text.size() && count < maxChars; ++count)
        at += DecodeAt(text, at).second;
    return std::string(text.substr(0, at));
}

bool FitsUtf8(std::string_view text, std::size_t maxChars) {
    std::size_t at = 0;
    for (std::size_t count = 0; at < text.size(); ++count) {
        if (count == maxChars)
            return false;
        at += DecodeAt(text, at).second;
    }
    return true;
}

bool IsInvisibleFormatting(char32_t c) {
    return c == 0x00AD || c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

std::wstring StripInvisibleFormatting(std::wstring_view text) {
    std::wstring clean;
    clean.reserve(text.size());
    for (wchar_t c : text)
        if (!IsInvisibleFormatting(static_cast<char32_t>(c)))
            clean.push_back(c);
    return clean;
}

namespace {

// `text` with each code point (a malformed sequence decoded as U+FFFD) replaced by what `rewrite` makes of it and
// of its bytes: the bytes themselves, other text, or nothing.
template <typename Rewrite>
std::string RewriteCodePoints(std::string_view text, Rewrite rewrite) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto [codePoint, length] = DecodeAt(text, at);
        result.append(rewrite(codePoint, text.substr(at, length)));
        at += length;
    }
    return result;
}

}  // namespace

std::string StripInvisibleFormattingUtf8(std::string_view text) {
    return RewriteCodePoints(text, [](char32_t codePoint, std::string_view bytes) {
        return IsInvisibleFormatting(codePoint) ? std::string_view() : bytes;
    });
}

std::string CleanTextUtf8(std::string_view text, std::size_t maxChars) {
    std::string clean;
    clean.reserve(std::min(text.size(), maxChars));
    // Stops at the bound: a text of megabytes costs no more than its first characters.
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size() && count < maxChars;) {
        const auto [codePoint, length] = DecodeAt(text, at);
        if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 ||
            codePoint == 0x2029) {
            clean.push_back(' ');
            ++count;
        } else if (!IsInvisibleFormatting(codePoint)) {
            clean.append(text.substr(at, length));
            ++count;
        }
        at += length;
    }
    return clean;
}

std::string CleanNameUtf8(std::string_view text) {
    return CleanTextUtf8(text, kMaxNameChars);
}

}  // namespace server_text
