// The one way a page opens a link: only http and https URLs reach the shell, whatever a page or the server
// put into the link. Tests replace the shell call to see what would be opened.
#pragma once

#include <functional>
#include <string>

namespace ui {

// True for a URL that starts with http:// or https:// (any case) and holds no control character.
bool IsOpenableUrl(const std::wstring& url);

// Opens `url` in the user's browser when IsOpenableUrl holds; returns whether it was handed to the shell.
bool OpenLink(const std::wstring& url);

// The shell call behind OpenLink; an empty function restores the real one.
using ShellOpenFunction = std::function<bool(const std::wstring& url)>;
void SetShellOpenForTesting(ShellOpenFunction open);

}  // namespace ui
