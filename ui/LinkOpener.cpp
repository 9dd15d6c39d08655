#include "ui/LinkOpener.h"

#include "win32/PathRules.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>

namespace ui {
namespace {

std::mutex g_openMutex;
ShellOpenFunction g_shellOpen;

bool ShellOpen(const std::wstring& url) {
    // ShellExecute reports success as a value above 32.
    auto result =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace

bool IsOpenableUrl(const std::wstring& url) {
    // An http or https address that names something after its scheme.
    if (!path_rules::IsHttpUrl(url) || url.find(L"://") + 3 == url.size())
        return false;
    for (wchar_t c : url)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool OpenLink(const std::wstring& url) {
    if (!IsOpenableUrl(url))
        return false;
    ShellOpenFunction open;
    {
        std::lock_guard lock(g_openMutex);
        open = g_shellOpen;
    }
    return open ? open(url) : ShellOpen(url);
}

void SetShellOpenForTesting(ShellOpenFunction open) {
    std::lock_guard lock(g_openMutex);
    g_shellOpen = std::move(open);
}

}  // namespace ui
