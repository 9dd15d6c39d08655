// The settings of this build and the shared state of one run. One instance per process, created on first use
// from any thread; its fields are public and each has one writer at a time by the order of the run.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Gdiplus {
class Image;
}

class Package;

// Ordered (name, folder) pairs: order matters because expansion replaces in insertion order.
using PlaceholderTable = std::vector<std::pair<std::wstring, std::wstring>>;

enum WizardType : int { WizardTypeNone = 0, WizardTypeDlm = 1, WizardTypeIsv = 2 };

class ConfigurationManager {
public:
    // Builds the configuration of the build selected by `wizardTypeKey` ("ISV" or "DLM"). The process-wide
    // instance comes from GetInstance; tests may build their own.
    explicit ConfigurationManager(const std::wstring& wizardTypeKey);

    static std::shared_ptr<ConfigurationManager> GetInstance();

    // The build's key: it selects the wizard type and names the single-instance mutex.
    static std::wstring GetWizardTypeKey();

    // Local time of the first call, "%Y%m%d%H%M%S"; every event of the run carries the same value.
    const std::string& GetTimestamp();
    // Current system time in milliseconds since the epoch, as decimal text.
    static std::string GetMillisecondsNow();
    // The machine's identity, read on first use; not cached while it cannot be read.
    std::string GetMachineGuid();
    // A copy of the path placeholder table, built on first use.
    PlaceholderTable GetPathPlaceholders();
    // Fills both placeholder tables and sets m_placeholdersReady; the presence checks call it when they need
    // m_pf64Placeholders and the tables are not ready yet.
    void BuildPathPlaceholders();

    int m_wizardType = 0;
    bool m_lumoraFlavour = false;
    bool m_sorrelFlavour = false;
    bool m_reportMainFailure = false;
    std::wstring m_productTitle;
    std::wstring m_mainDownloadUrl;
    std::wstring m_mainCl;
    std::wstring m_privacyUrl;
    std::wstring m_termsUrl;
    std::wstring m_thirdLinkUrl;
    std::wstring m_downloadFolder;
    std::wstring m_mainFileName;
    std::wstring m_tempFolder;
    std::wstring m_installerArguments;
    std::array<bool, 8> m_sorrelOptions{};
    std::wstring m_installedExePath;
    std::wstring m_launchArguments;
    std::wstring m_productKey;
    std::wstring m_downloadedFilePath;
    std::wstring m_programVersion;
    std::wstring m_configUrl;
    std::wstring m_analyticsUrl;
    std::wstring m_brand;
    std::wstring m_installerVariant;
    std::wstring m_mainCh;
    std::wstring m_mainCfl;
    // The subject common name that must have signed the main product's installer; empty asks for no signature.
    std::wstring m_mainSigner;
    // The SHA-256 the DLM product's "i" block published for its file (64 hexadecimal digits); empty when none.
    std::string m_mainSha256;
    COLORREF m_backgroundColour = 0;
    COLORREF m_accentColour = 0;
    int m_maxOffersInFlow = 0;
    int m_offerCounter = 0;
    int m_offersToShow = 0;
    std::wstring m_filesBaseUrl;
    std::wstring m_languageName;
    std::wstring m_localeName;
    std::string m_serverL;
    std::string m_serverFa;
    std::string m_mainCb;
    std::vector<std::shared_ptr<Package>> m_acceptedOffers;
    std::vector<std::shared_ptr<Package>> m_shownOffers;
    std::shared_ptr<Package> m_mainPackage;
    std::shared_ptr<Gdiplus::Image> m_productImage;
    std::string m_timestamp;
    std::string m_machineGuid;
    PlaceholderTable m_pathPlaceholders;
    PlaceholderTable m_pf64Placeholders;
    bool m_placeholdersReady = false;
    // Set by the GUI thread when the user leaves; read by the loading run and the download tasks.
    std::atomic<bool> m_closing{false};
    bool m_offerDeclined = false;

private:
    static std::wstring ReadProgramVersion();
    static std::wstring GetDownloadsFolder();
};

using CreateDirectoryFunction = BOOL(WINAPI*)(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);

// Creates a new, empty, uniquely named folder in the user's temporary folder ("ISV" prefix) that only
// administrators and the system may write into, and returns its path; empty when no folder could be created.
// `createDirectory` is the system's call; tests pass one that records the descriptor, which Wine does not keep.
std::wstring CreateUniqueTempFolder(CreateDirectoryFunction createDirectory = ::CreateDirectoryW);
