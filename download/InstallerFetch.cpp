#include "download/InstallerFetch.h"

#include "download/DownloadManager.h"

namespace download {

FetchedInstaller FetchInstaller(DownloadManager& manager, const InstallerRequest& request, HWND window) {
    FetchedInstaller fetched;
    DownloadResult result = manager.DownloadFile(request.url, window, request.fileName, request.useTemporaryFolder);
    fetched.text = std::move(result.second);
    if (!result.first)
        return fetched;
    VerifiedFile verified = VerifyInstaller(manager.m_lastDownloadPath, request.checks);
    fetched.ok = verified.ok;
    fetched.text = std::move(verified.text);
    if (verified.ok) {
        fetched.savedPath = manager.m_lastDownloadPath;
        fetched.held = std::move(verified.held);
    }
    return fetched;
}

}  // namespace download
