#include "download/InstallerFetch.h"

#include "download/DownloadManager.h"

namespace download {

FetchedInstaller FetchInstaller(DownloadManager& manager, const InstallerRequest& request, HWND window) {
    FetchedInstaller fetched;
    FileOutcome file = manager.DownloadFile(request.url, window, request.fileName, request.useTemporaryFolder);
    fetched.text = std::move(file.text);
    fetched.folderMissing = file.folderMissing;
    if (!file.ok)
        return fetched;
    VerifiedFile verified = VerifyInstaller(file.savedPath, request.checks);
    fetched.ok = verified.ok;
    fetched.text = std::move(verified.text);
    if (verified.ok) {
        fetched.savedPath = std::move(file.savedPath);
        fetched.held = std::move(verified.held);
    }
    return fetched;
}

}  // namespace download
