#include "download/InstallerFetch.h"

#include "download/DownloadManager.h"

namespace download {

FetchedInstaller FetchInstaller(DownloadManager& manager, const InstallerRequest& request, HWND window) {
    const bool contentChecked = !request.checks.sha256.empty() || !request.checks.signer.empty();
    FetchedInstaller fetched{
        manager.DownloadFile(request.url, window, request.fileName, request.useTemporaryFolder, contentChecked)};
    if (!fetched.ok)
        return fetched;
    VerifiedFile verified = VerifyInstaller(fetched.savedPath, request.checks, fetched.savedId);
    fetched.ok = verified.ok;
    fetched.text = std::move(verified.text);
    if (verified.ok)
        fetched.held = std::move(verified.held);
    else
        fetched.savedPath.clear();  // the checks deleted the file
    return fetched;
}

}  // namespace download
