// The facts of a run that take more than one call to gather, each recorded in one line of the run log by a
// one-line call where the subsystem knows it.
#pragma once

#include <cstdint>
#include <string>

class ConfigurationManager;

namespace diagnostics {

// The build (wizard type, flavour, version), Windows (`windowsVersion`, as the server client reports it, and the
// architecture) and the work folder.
void RecordRunStart(const ConfigurationManager& configuration, const std::string& windowsVersion);

// One installer download by one engine. `attempts` and `resumes` are the engine's tries and continued
// transfers within it; a single plain transfer is one attempt and no resume.
void RecordDownload(const std::wstring& url,
                    const char* engine,
                    bool succeeded,
                    const std::wstring& failure,
                    const std::wstring& path,
                    std::uint64_t startedMs,
                    int attempts = 1,
                    int resumes = 0);

// Whether the work folder is gone after its deletion (files of a running installer may keep it until restart).
void RecordWorkFolderDeletion(const std::wstring& folder);

}  // namespace diagnostics
