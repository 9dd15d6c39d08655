// A package's installer fetched and verified as one step on the caller's thread: what the download page's task
// runs. The page hears of the file only once it has passed every check, and gets it held.
#pragma once

#include <windows.h>

#include <string>

#include "download/DownloadResult.h"
#include "download/InstallerVerification.h"

class DownloadManager;

namespace download {

// Where a package's installer is fetched from and saved to, and what it must be.
struct InstallerRequest {
    std::wstring url;
    // The URL's last segment when empty.
    std::wstring fileName;
    // The work folder rather than the download folder.
    bool useTemporaryFolder = true;
    VerificationRules checks;
};

// The download's outcome, with the checks' verdict in place of its own once the file arrived: the saved path only
// of a file that passed them.
struct FetchedInstaller : FileOutcome {
    // The verified file, held until it runs or is handed over.
    HeldFile held;
};

// Downloads the installer `request` names (progress to `window`), then verifies it; never throws for a failed
// transfer or check.
FetchedInstaller FetchInstaller(DownloadManager& manager, const InstallerRequest& request, HWND window);

}  // namespace download
