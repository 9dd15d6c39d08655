#include "ui/LinkMarkup.h"

namespace ui {
namespace {

constexpr wchar_t kLessThanLookAlike = L'\u2039';

bool NeedsPercentEncoding(wchar_t c) {
    return c <= L' ' || c == 0x7F || c == L'"' || c == L'\'' || c == L'<' || c == L'>' || c == L'`';
}

}  // namespace

std::wstring EscapeLinkText(std::wstring_view text) {
    std::wstring escaped(text);
    for (wchar_t& c : escaped) {
        if (c == L'<')
            c = kLessThanLookAlike;
        // A NUL would end the control's text there, links and all; line breaks would break the paragraph.
        else if (c < L' ' || c == 0x7F)
            c = L' ';
    }
    return escaped;
}

std::wstring EscapeLinkUrl(std::wstring_view url) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring escaped;
    escaped.reserve(url.size());
    for (wchar_t c : url) {
        if (NeedsPercentEncoding(c)) {
            // Every character encoded here is ASCII, so one byte of UTF-8 each.
            escaped += L'%';
            escaped += kHex[(c >> 4) & 0xF];
            escaped += kHex[c & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::wstring FillLinkMarkup(std::wstring_view markup, const LinkMarkupValues& values) {
    std::wstring filled;
    filled.reserve(markup.size());
    // Tracks the template's own tags only: what a value inserts is escaped and cannot open or close one.
    bool inTag = false;
    size_t position = 0;
    while (position < markup.size()) {
        const std::pair<std::wstring, std::wstring>* match = nullptr;
        for (const auto& entry : values) {
            if (!entry.first.empty() && markup.substr(position, entry.first.size()) == entry.first) {
                match = &entry;
                break;
            }
        }
        if (match != nullptr) {
            filled += inTag ? EscapeLinkUrl(match->second) : EscapeLinkText(match->second);
            position += match->first.size();
            continue;
        }
        wchar_t c = markup[position++];
        if (c == L'<')
            inTag = true;
        else if (c == L'>')
            inTag = false;
        filled += c;
    }
    return filled;
}

}  // namespace ui
