#include "download/InstallerCheck.h"

// Until the check is written every file counts as whole.
std::wstring CheckInstallerIsWhole(const std::wstring&) {
    return {};
}
