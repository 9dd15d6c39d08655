// What a file download or a check of its file comes to, for whoever only reads the verdict.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

// (succeeded, error text). The text is meaningful only when the flag is false.
using DownloadResult = std::pair<bool, std::wstring>;

namespace download {

// What a file download took: its attempts (both engines together), how many of them continued the bytes that
// earlier ones had kept, and the time spent in pauses between them.
struct DownloadStats {
    int attempts = 0;
    int resumed = 0;
    std::chrono::milliseconds paused{0};
};

// Which file on which volume: a name may come to stand for another file, this never does.
struct FileId {
    bool known = false;
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of the file open as `file`; not known when the system does not say.
inline FileId FileIdOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information))
        return {};
    return {true, information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}

// A file download as its caller gets it back: nothing of it stays behind in the shared manager, which other
// downloads use at the same time.
struct FileOutcome {
    bool ok = false;
    // The failure, when not ok; after a rescue by the other engine, what went wrong before it.
    std::wstring text;
    // The file put in place, when ok.
    std::wstring savedPath;
    // The file as it was written, which the name must still stand for when it is checked and held.
    FileId savedId;
    DownloadStats stats;
    // The folder to save in did not exist: the user is told so, which is the caller's to do.
    bool folderMissing = false;
};

}  // namespace download
