// Markup for SysLink controls built from a trusted template and values that may come from the server. The
// control has no escape syntax of its own, so a value is neutralised where it is inserted: it can neither open
// nor close an anchor, nor end the attribute it is placed in. The link a click then opens still goes through
// OpenLink, which refuses everything but http and https.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui {

// A value for the visible text of the markup: every "<" becomes a look-alike that the control does not read as
// the start of a tag (U+2039, present in the fonts the pages use), and every control character a space.
std::wstring EscapeLinkText(std::wstring_view text);

// A value for an anchor's href: the characters that could end the attribute or the tag, white space and control
// characters are percent-encoded, which leaves the URL the browser receives unchanged in meaning.
std::wstring EscapeLinkUrl(std::wstring_view url);

// Placeholder and the value it stands for.
using LinkMarkupValues = std::vector<std::pair<std::wstring, std::wstring>>;

// Replaces every placeholder of `markup` in one pass over the template: an inserted value is never scanned again,
// so a value holding a placeholder stays as it is. A value inside one of the template's tags is escaped as a URL,
// anywhere else as text. Where two placeholders start at the same place, the first in `values` wins.
std::wstring FillLinkMarkup(std::wstring_view markup, const LinkMarkupValues& values);

}  // namespace ui
