#include "diagnostics/RunFacts.h"

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "registry/RegistryPaths.h"

#include <windows.h>

namespace diagnostics {

namespace {

const char* DescribeArchitecture() {
    if (!registry::Is64BitWindows())
        return "32-bit Windows";
    return sizeof(void*) == 4 ? "64-bit Windows, 32-bit program" : "64-bit Windows, 64-bit program";
}

const char* DescribeFlavour(const ConfigurationManager& configuration) {
    if (configuration.m_wizardType == WizardTypeDlm)
        return "DLM";
    if (configuration.m_sorrelFlavour)
        return "ISV, brand and Sorrel pages";
    return configuration.m_lumoraFlavour ? "ISV, brand pages" : "ISV, welcome page";
}

}  // namespace

void RecordRunStart(const ConfigurationManager& configuration, const std::string& windowsVersion) {
    if (!IsRunLogOpen())
        return;
    Record("build %ls flavour=%s version=%ls built=%s", ConfigurationManager::GetWizardTypeKey().c_str(),
           DescribeFlavour(configuration), configuration.m_programVersion.c_str(), __DATE__);
    Record("windows version=%s architecture=%s", windowsVersion.c_str(), DescribeArchitecture());
    Record("work folder %ls", configuration.m_tempFolder.empty() ? L"(none)" : configuration.m_tempFolder.c_str());
}

void RecordDownload(const std::wstring& url,
                    const char* engine,
                    bool succeeded,
                    const std::wstring& failure,
                    const std::wstring& path,
                    std::uint64_t startedMs,
                    int attempts,
                    int resumes) {
    if (!IsRunLogOpen())
        return;
    WIN32_FILE_ATTRIBUTE_DATA file{};
    unsigned long long bytes = 0;
    if (succeeded && !path.empty() && ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file))
        bytes = (static_cast<unsigned long long>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    const std::wstring address = url.substr(0, url.find(L'?'));
    if (succeeded) {
        Record("download %ls engine=%s status=done bytes=%llu ms=%llu attempts=%d resumes=%d", address.c_str(), engine,
               bytes, GetTickMs() - startedMs, attempts, resumes);
    } else {
        Record("download %ls engine=%s status=failed ms=%llu attempts=%d resumes=%d failure=%ls", address.c_str(),
               engine, GetTickMs() - startedMs, attempts, resumes, failure.c_str());
    }
}

void RecordWorkFolderDeletion(const std::wstring& folder) {
    if (folder.empty())
        return;
    const bool gone = ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    Record("work folder %s%ls", gone ? "deleted " : "left until restart (files in use) ", folder.c_str());
}

}  // namespace diagnostics
