// One product the installer may install: the main product of the build or one offer of the configuration.
// Built once from the offer's JSON, it carries its texts, links, requirements, presence rules, installer
// source, placeholders, image and the identity its analytics events report. Always held by shared pointer.
#pragma once

#include "analytics/EventBase.h"
#include "analytics/EventSender.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace Gdiplus {
class Image;
}

// One element of "cmdu": an uninstall entry whose age decides the offer.
struct UninstallCheck {
    std::wstring utr;
    std::wstring utk;
    std::wstring utvn;
    std::wstring utvt;
    int umd = 0;
    bool utms = false;
};

// The "pn" block of an offer.
struct PnSettings {
    bool enabled = false;
    std::string apiUrl;
    std::string apiKey;
    std::string registryValuePath;
    std::string op;
    bool showInstalled = false;
    std::string stubParams;
    std::string la;
};

// Display-time conditions of an offer ("cfs"), read only for "pn" offers.
struct FlowConditions {
    int mb = INT_MAX;
    std::vector<std::string> ab;
    int ma = INT_MAX;
    std::vector<std::string> aa;
    int mo = INT_MAX;
    bool saad = false;
    bool sied = false;
};

class Package : public std::enable_shared_from_this<Package> {
public:
    // An offer from one element of the configuration's "o" array. Raises the JSON library's errors on a
    // malformed offer (a missing required key, a value of the wrong type).
    Package(const EventBase& eventBase,
            const nlohmann::json& offer,
            bool isMain,
            const std::string& eventTag,
            int position);
    // The main product: texts from the build, no requirements, no placeholders.
    Package(const EventBase& eventBase,
            bool isMain,
            const std::wstring& name,
            const std::wstring& offerName,
            const std::wstring& offerTag,
            const std::wstring& eventTag,
            int position);

    // Gives the main product the run's final identity once the configuration has arrived.
    void ReinitializeMain(const EventBase& eventBase,
                          const std::wstring& offerName,
                          const std::wstring& offerTag,
                          const std::wstring& name,
                          const std::wstring& eventTag);

    // Replaces every "{key}" of the placeholder table; unknown keys stay as they are.
    std::string ExpandPlaceholders(const std::string& text) const;

    // Fetches the offer's image from the file endpoint on a background thread; `completion` is called exactly
    // once whatever happens (at once for the main product, which has no image).
    void DownloadImage(std::function<void()> completion);
    // Releases the image and refuses any that arrives later: called before GDI+ goes away.
    void DropImage();

    // Writes the "pn" stamp (PnStamp.h) to the value m_pn.registryValuePath names. False when the path names no
    // key or the registry refuses.
    bool StampPnRegistry() const;

    // Reports `state` to the analytics endpoint through m_events and returns at once; nothing once a final state
    // has been delivered. `extra` (an object, or null) is written over the event's fields.
    void ReportEvent(int state, const nlohmann::json& extra);
    // Blocks until no event send of this package is in flight.
    void WaitForEvents();

    // The sends of this package's events: what is still in flight, and whether a final state was delivered.
    EventSender m_events;
    EventBase m_eventBase;
    bool m_isMain = false;
    std::string m_name;
    std::string m_offerName;
    std::string m_offerTag;
    std::string m_eventTag;
    std::string m_imageName;
    std::string m_downloadUrl;
    // "u" went beyond its bound: the address is empty and the offer is refused.
    bool m_downloadUrlTooLong = false;
    std::string m_installerArgs;
    std::string m_privacyUrl;
    std::string m_termsUrl;
    int m_vertical = 0;
    std::uint64_t m_minDiskMiB = 0;
    std::uint64_t m_minRamMiB = 0;
    std::uint64_t m_minCpuMHz = 0;
    int m_minOsCode = 0;
    std::string m_minInstallerVersion;
    bool m_needs64Bit = false;
    int m_position = 0;
    nlohmann::json m_eventFields;
    // Written once by the image download (under m_imageMutex), read on the GUI thread after loading completed.
    std::shared_ptr<Gdiplus::Image> m_image;
    std::mutex m_imageMutex;
    bool m_imageDropped = false;
    std::vector<std::pair<std::string, std::string>> m_placeholders;
    std::vector<std::wstring> m_excludeFiles;
    std::vector<std::wstring> m_includeFiles;
    std::vector<std::string> m_processNames;
    std::vector<std::wstring> m_registryKeys;
    std::vector<std::wstring> m_includeRegistryKeys;
    std::vector<std::wstring> m_registryValueNames;
    std::vector<std::wstring> m_registryValueData;
    std::vector<std::wstring> m_excludeAppPaths;
    std::vector<std::wstring> m_includeAppPaths;
    // ps.sha256 (64 hexadecimal digits, or empty) and ps.signer: what the installer must be.
    std::string m_sha256;
    // "sha256" was there but no hash: the offer is refused at loading, so its installer is never fetched.
    bool m_sha256Malformed = false;
    std::string m_signer;
    bool m_exclusive = false;
    bool m_needsChrome = false;
    bool m_needsNoChrome = false;
    bool m_checksIeVersion = false;
    std::vector<UninstallCheck> m_uninstallChecks;
    PnSettings m_pn;
    FlowConditions m_flow;

private:
    // Adds an entry unless the key is already there: an entry, once present, is never replaced.
    void AddPlaceholder(const std::string& key, const std::string& value);
    void ReadPnBlock(const nlohmann::json& ps);
    void BuildEventFields();
};

// "major.minor" of the running Windows (RtlGetVersion), "" when it cannot be read: the key of "pnrp".
std::string GetWindowsMajorMinor();
