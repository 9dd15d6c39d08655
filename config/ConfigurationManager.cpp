#include "config/ConfigurationManager.h"

#include "BuildSettings.h"
#include "ui/Window.h"
#include "win32/Handle.h"

#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <chrono>
#include <ctime>
#include <map>

namespace {

const wchar_t kProductTitle[] = L"Quarvel";
const wchar_t kInstalledExePath[] = L"{commonappdata}\\Quarvel\\quarvel.exe";
const COLORREF kBackgroundColour = 0x00FFFFFF;
// COLORREF is 0x00BBGGRR: red 103, green 51, blue 153.
const COLORREF kAccentColour = 0x00993367;
// Full control for administrators and the system, reading and running for signed-in users, and nothing more
// for the folder's owner than reading the descriptor; not inherited from the temporary folder.
const wchar_t kWorkFolderSecurity[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;AU)(A;OICI;RC;;;S-1-3-4)";

}  // namespace

ConfigurationManager::ConfigurationManager(const std::wstring& wizardTypeKey) {
    const std::map<std::wstring, int> wizardTypes{{L"DLM", WizardTypeDlm}, {L"ISV", WizardTypeIsv}};
    auto type = wizardTypes.find(wizardTypeKey);
    if (type == wizardTypes.end()) {
        ui::ShowAppMessageBox(L"Unknown wizard type");
        m_wizardType = WizardTypeNone;
    } else {
        m_wizardType = type->second;
    }

    m_lumoraFlavour = WAYFARER_BRAND_FLAVOUR != 0;
    m_sorrelFlavour = WAYFARER_SORREL_FLAVOUR != 0;
    m_reportMainFailure = true;
    m_programVersion = ReadProgramVersion();

    m_configUrl = WAYFARER_CONFIG_URL;
    m_analyticsUrl = WAYFARER_ANALYTICS_URL;
    m_brand = L"Lumora";
    m_productKey = L"QuarvelProduct";
    m_installerVariant = L"QuarvelProduct_CPP";
    m_filesBaseUrl = WAYFARER_FILES_URL;
    m_mainSigner = WAYFARER_MAIN_SIGNER;
    m_backgroundColour = kBackgroundColour;
    m_accentColour = kAccentColour;
    m_thirdLinkUrl.clear();

    if (m_wizardType == WizardTypeIsv) {
        m_productTitle = kProductTitle;
        m_mainDownloadUrl = WAYFARER_MAIN_DOWNLOAD_URL;
        m_privacyUrl = std::wstring(WAYFARER_LEGAL_SITE) + L"/legal/privacy-policy/";
        m_termsUrl = std::wstring(WAYFARER_LEGAL_SITE) + L"/legal/terms-of-use/";
        m_installerArguments = L"/S";
        m_installedExePath = kInstalledExePath;
        m_launchArguments = L"/RUNONSTARTUP";
        std::wstring folder = CreateUniqueTempFolder();
        if (!folder.empty() && ::PathIsDirectoryW(folder.c_str())) {
            m_downloadFolder = folder;
            m_tempFolder = folder;
        } else {
            m_downloadFolder.clear();
        }
    } else if (m_wizardType == WizardTypeDlm) {
        m_downloadFolder = GetDownloadsFolder();
        std::wstring folder = CreateUniqueTempFolder();
        if (!folder.empty() && ::PathIsDirectoryW(folder.c_str()))
            m_tempFolder = folder;
    }
}

std::shared_ptr<ConfigurationManager> ConfigurationManager::GetInstance() {
    // Never destroyed: a thread that outlives the wizard (a loading run, an event send) may still ask for it while
    // the process ends.
    static const auto* instance =
        new std::shared_ptr<ConfigurationManager>(std::make_shared<ConfigurationManager>(GetWizardTypeKey()));
    return *instance;
}

std::wstring ConfigurationManager::GetWizardTypeKey() {
    return WAYFARER_WIZARD_TYPE_KEY;
}

std::wstring ConfigurationManager::ReadProgramVersion() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    if (resource == nullptr)
        return {};
    DWORD size = ::SizeofResource(module, resource);
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0)
        return {};
    // VerQueryValueW may write into the block, so it works on a copy rather than on the mapped resource.
    std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!::VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionLS));
}

std::wstring ConfigurationManager::GetDownloadsFolder() {
    static const GUID kDownloads = {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
    PWSTR known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(kDownloads, 0, nullptr, &known)) && known != nullptr) {
        std::wstring folder(known);
        ::CoTaskMemFree(known);
        return folder;
    }
    ::CoTaskMemFree(known);
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)))
        return path;
    DWORD length = ::GetTempPathW(MAX_PATH, path);
    if (length > 0 && length <= MAX_PATH)
        return std::wstring(path, length);
    return L"C:\\";
}

const std::string& ConfigurationManager::GetTimestamp() {
    if (m_timestamp.empty()) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        if (::localtime_s(&local, &now) == 0) {
            char text[32] = {};
            if (std::strftime(text, sizeof(text), "%Y%m%d%H%M%S", &local) == 14)
                m_timestamp = text;
        }
    }
    return m_timestamp;
}

std::string ConfigurationManager::GetMillisecondsNow() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::wstring CreateUniqueTempFolder(CreateDirectoryFunction createDirectory) {
    wchar_t tempPath[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH, tempPath);
    if (length == 0 || length > MAX_PATH)
        return {};
    // The installers run elevated from this folder, and the user's temporary folder is writable by every program
    // the user runs: only administrators and the system may change what is in it. Owner rights are cut to
    // reading the descriptor, so that an unelevated owner cannot grant itself write access either.
    win32::LocalMemory descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kWorkFolderSecurity, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Put()), nullptr))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.Get(), FALSE};
    // The name comes from a file the system creates uniquely; between deleting it and creating the folder another
    // program may take the name, and a folder it made must never be used: try again with a new name.
    for (int attempt = 0; attempt < 10; ++attempt) {
        wchar_t name[MAX_PATH + 1] = {};
        if (::GetTempFileNameW(tempPath, L"ISV", 0, name) == 0)
            return {};
        ::DeleteFileW(name);
        if (createDirectory(name, &attributes))
            return name;
    }
    return {};
}
