#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "net/ApiManager.h"
#include "net/Codecs.h"
#include "offers/AffiliateTable.h"
#include "offers/PictureFetch.h"
#include "offers/PnStamp.h"
#include "offers/PublishedHash.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace {

using nlohmann::json;

// Server texts are UTF-8 (the JSON parser accepts nothing else), so they are decoded as such.
std::vector<std::wstring> ReadWideList(const json& ps, const char* key) {
    std::vector<std::wstring> list;
    if (ps.contains(key))
        for (const auto& element : ps.at(key).get<std::vector<std::string>>())
            list.push_back(Utf8ToWide(element));
    return list;
}

// "disk", "ram" and "cpu" may come as integers or with a fraction, which is dropped; a negative value means
// no requirement rather than a huge one. A value the 64-bit range cannot hold (1e20, infinity) is the largest
// requirement rather than whatever the conversion makes of it, and so is NaN, which no machine can meet: the
// offer is refused as any offer that asks too much.
std::uint64_t ReadSize(const json& value) {
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isnan(number))
            return kLargest;
        if (number <= 0)
            return 0;
        // 2^64, exact as a double: the first value that does not fit.
        return number >= 18446744073709551616.0 ? kLargest : static_cast<std::uint64_t>(number);
    }
    if (value.is_number_integer() && !value.is_number_unsigned())
        return value.get<std::int64_t>() > 0 ? static_cast<std::uint64_t>(value.get<std::int64_t>()) : 0;
    return value.get<std::uint64_t>();
}

// The integer keys ("v", "ov", "x", "umd", the "cfs" limits) as an int: a fraction is dropped and a value
// beyond the range stops at its end, where the conversion would be undefined; NaN counts as 0. Anything but a
// number raises the library's type error.
int ReadInt(const json& value) {
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isnan(number))
            return 0;
        return number <= INT_MIN ? INT_MIN : number >= INT_MAX ? INT_MAX : static_cast<int>(number);
    }
    if (value.is_number_unsigned())
        return static_cast<int>(std::min<std::uint64_t>(value.get<std::uint64_t>(), INT_MAX));
    const std::int64_t number = value.get<std::int64_t>();
    return static_cast<int>(std::clamp<std::int64_t>(number, INT_MIN, INT_MAX));
}

// A text of the offer bounded before its placeholders are replaced, which keeps the expansion quick, and
// again after, since the values may add to it.
std::string ExpandBounded(const Package& package, const json& value, std::size_t maxChars) {
    const std::string raw = server_text::BoundUtf8(value.get<std::string>(), maxChars);
    return server_text::BoundUtf8(package.ExpandPlaceholders(raw), maxChars);
}

// A name the user sees: bounded, and cleaned of what could make it look like another name or break the line it
// is shown or reported in, whether that came with the text or with a placeholder's value.
std::string ExpandName(const Package& package, const json& value) {
    const std::string raw = server_text::BoundUtf8(value.get<std::string>(), server_text::kMaxNameChars);
    return server_text::CleanNameUtf8(package.ExpandPlaceholders(raw));
}

// An address of the offer, used whole or not at all: empty, with `*tooLong` set, when it goes beyond its bound
// before or after its placeholders are replaced, since a part of an address is another address.
std::string ExpandUrl(const Package& package, const json& value, bool* tooLong = nullptr) {
    std::string url = value.get<std::string>();
    if (server_text::FitsUtf8(url, server_text::kMaxUrlChars)) {
        url = package.ExpandPlaceholders(url);
        if (server_text::FitsUtf8(url, server_text::kMaxUrlChars))
            return url;
    }
    if (tooLong)
        *tooLong = true;
    return std::string();
}

// The signer is compared whole with the certificate's name and quoted in the failure text and the event, so it
// is cleaned and bounded as a name. One that had to be changed for that is no longer the name the server asked
// for: it keeps a U+FFFD at its end, which no well-formed certificate name carries, so that the check still
// fails as it would have.
std::string CleanSigner(const std::string& raw) {
    std::string clean = server_text::CleanNameUtf8(raw);
    if (clean != raw)
        clean += "\xEF\xBF\xBD";
    return clean;
}

}  // namespace

std::string GetWindowsMajorMinor() {
    std::string version = GetOsVersionString();
    size_t second = version.find('.', version.find('.') + 1);
    return second == std::string::npos ? version : version.substr(0, second);
}

Package::Package(const EventBase& eventBase, const json& offer, bool isMain, const std::string& eventTag, int position)
    : m_eventBase(eventBase), m_isMain(isMain), m_eventTag(eventTag), m_position(position) {
    auto configuration = ConfigurationManager::GetInstance();
    const std::string machineGuid = configuration->GetMachineGuid();
    const std::string timestamp = configuration->GetTimestamp();
    if (!machineGuid.empty())
        AddPlaceholder("userid", machineGuid);
    if (!timestamp.empty())
        AddPlaceholder("sessionid", timestamp);
    if (!configuration->m_serverL.empty())
        AddPlaceholder("cc", configuration->m_serverL);
    if (!configuration->m_serverFa.empty())
        AddPlaceholder("pubid", configuration->m_serverFa);
    if (!configuration->m_mainCb.empty())
        AddPlaceholder("ispb", configuration->m_mainCb);
    AddPlaceholder("aflt", AffiliateForCountry(configuration->m_serverL));
    if (!configuration->m_brand.empty())
        AddPlaceholder("account_md5", Md5Hex(configuration->m_brand));

    const json& ad = offer.at("ad");
    // The tag and the name are identities the server matches, so they keep their characters; the bound also
    // keeps the "pxl" encoding, which grows with the square of its input, quick.
    m_offerTag = server_text::BoundUtf8(ad.at("f").get<std::string>(), server_text::kMaxNameChars);
    m_offerName = server_text::BoundUtf8(ad.at("o").get<std::string>(), server_text::kMaxNameChars);

    std::string pxl;
    try {
        pxl = Base62Encode(machineGuid + "|" + m_offerName + "|" + timestamp);
    } catch (const std::exception&) {
        pxl.clear();
    }
    AddPlaceholder("pxl", pxl);
    AddPlaceholder("of", m_offerTag);

    const json& ps = offer.at("ps");
    m_imageName = ExpandUrl(*this, ps.at("i"));
    m_name = ExpandName(*this, ps.at("dn"));
    m_downloadUrl = ExpandUrl(*this, ps.at("u"), &m_downloadUrlTooLong);

    ReadPnBlock(ps);

    auto readText = [&](const char* key, std::size_t maxChars) {
        return ps.contains(key) ? ExpandBounded(*this, ps.at(key), maxChars) : std::string();
    };
    m_installerArgs = readText("p", server_text::kMaxTextChars);
    m_privacyUrl = ps.contains("cp") ? ExpandUrl(*this, ps.at("cp")) : std::string();
    m_termsUrl = ps.contains("ctu") ? ExpandUrl(*this, ps.at("ctu")) : std::string();
    if (ps.contains("v"))
        m_vertical = ReadInt(ps.at("v"));
    if (ps.contains("exc"))
        m_exclusive = ps.at("exc").get<bool>();
    if (ps.contains("c"))
        m_eventTag = ExpandBounded(*this, ps.at("c"), server_text::kMaxNameChars);
    if (ps.contains("disk"))
        m_minDiskMiB = ReadSize(ps.at("disk"));
    if (ps.contains("ram"))
        m_minRamMiB = ReadSize(ps.at("ram"));
    if (ps.contains("cpu"))
        m_minCpuMHz = ReadSize(ps.at("cpu"));
    if (ps.contains("ov"))
        m_minOsCode = ReadInt(ps.at("ov"));
    if (ps.contains("pv"))
        m_minInstallerVersion = server_text::BoundUtf8(ps.at("pv").get<std::string>(), server_text::kMaxNameChars);
    if (ps.contains("win64"))
        m_needs64Bit = ps.at("win64").get<bool>();

    // Presets override what "disk", "ram", "cpu" and "win64" said.
    switch (ps.contains("x") ? ReadInt(ps.at("x")) : 0) {
        case 1:
            m_minDiskMiB = 2500;
            m_minRamMiB = 250;
            break;
        case 2:
            m_needsChrome = true;
            m_checksIeVersion = true;
            break;
        case 3:
            m_minDiskMiB = 512;
            m_minRamMiB = 1536;
            m_minCpuMHz = 1500;
            break;
        case 10:
            m_needs64Bit = true;
            break;
        case 12:
            m_needsChrome = true;
            break;
        case 13:
            m_needsNoChrome = true;
            break;
        default:
            break;
    }

    const PlaceholderTable pathPlaceholders = configuration->GetPathPlaceholders();
    for (const auto& path : ReadWideList(ps, "fe"))
        m_excludeFiles.push_back(ExpandPathPlaceholders(path, pathPlaceholders));
    for (const auto& path : ReadWideList(ps, "ife"))
        m_includeFiles.push_back(ExpandPathPlaceholders(path, pathPlaceholders));
    if (ps.contains("a"))
        m_processNames = ps.at("a").get<std::vector<std::string>>();
    m_registryKeys = ReadWideList(ps, "r");
    m_includeRegistryKeys = ReadWideList(ps, "ir");
    m_registryValueNames = ReadWideList(ps, "rvn");
    m_registryValueData = ReadWideList(ps, "rvd");
    if (ps.contains("cmdu")) {
        for (const json& element : ps.at("cmdu")) {
            UninstallCheck check;
            check.utr = Utf8ToWide(element.at("utr").get<std::string>());
            check.utk = Utf8ToWide(element.at("utk").get<std::string>());
            check.utvn = Utf8ToWide(element.at("utvn").get<std::string>());
            check.utvt = Utf8ToWide(element.at("utvt").get<std::string>());
            check.umd = ReadInt(element.at("umd"));
            if (element.contains("utms"))
                check.utms = element.at("utms").get<bool>();
            m_uninstallChecks.push_back(std::move(check));
        }
    }
    m_excludeAppPaths = ReadWideList(ps, "eapp");
    m_includeAppPaths = ReadWideList(ps, "iapp");
    // A hash under the main product's rule. A malformed one is marked for the offer evaluator to refuse, rather
    // than the loading run failing.
    const PublishedSha256 sha256 = ReadPublishedSha256(ps);
    m_sha256 = sha256.digits;
    m_sha256Malformed = sha256.malformed;
    // A present signer that is no text, or an empty text, is kept as its JSON text, which no signer's name can
    // equal: the installer then fails its check. It is bounded and cleaned like a name.
    if (ps.contains("signer") && !ps.at("signer").is_null()) {
        const json& value = ps.at("signer");
        m_signer = CleanSigner(server_text::BoundUtf8(value.is_string() && !value.get_ref<const std::string&>().empty()
                                                          ? value.get_ref<const std::string&>()
                                                          : value.dump(),
                                                      server_text::kMaxNameChars + 1));
    }

    BuildEventFields();
}

Package::Package(const EventBase& eventBase,
                 bool isMain,
                 const std::wstring& name,
                 const std::wstring& offerName,
                 const std::wstring& offerTag,
                 const std::wstring& eventTag,
                 int position)
    : m_eventBase(eventBase),
      m_isMain(isMain),
      m_name(win32::WideToAnsi(name)),
      m_offerName(win32::WideToAnsi(offerName)),
      m_offerTag(win32::WideToAnsi(offerTag)),
      m_eventTag(win32::WideToAnsi(eventTag)),
      m_position(position) {
    BuildEventFields();
}

void Package::ReinitializeMain(const EventBase& eventBase,
                               const std::wstring& offerName,
                               const std::wstring& offerTag,
                               const std::wstring& name,
                               const std::wstring& eventTag) {
    m_eventBase = eventBase;
    m_isMain = true;
    m_offerName = win32::WideToAnsi(offerName);
    m_offerTag = win32::WideToAnsi(offerTag);
    m_name = win32::WideToAnsi(name);
    m_eventTag = win32::WideToAnsi(eventTag);
    m_position = 0;
    BuildEventFields();
}

void Package::ReadPnBlock(const json& ps) {
    if (!ps.contains("pn") || !ps.at("pn").get<bool>())
        return;
    auto readText = [&](const char* key, std::size_t maxChars) {
        return ps.contains(key) ? server_text::BoundUtf8(ps.at(key).get<std::string>(), maxChars) : std::string();
    };
    m_pn.enabled = true;
    // Taken as it is, without placeholders; whole or not at all, as every address.
    m_pn.apiUrl = readText("pnau", server_text::kMaxUrlChars + 1);
    if (!server_text::FitsUtf8(m_pn.apiUrl, server_text::kMaxUrlChars))
        m_pn.apiUrl.clear();
    m_pn.apiKey = readText("pnak", server_text::kMaxNameChars);
    m_pn.registryValuePath = server_text::BoundUtf8(ExpandPlaceholders(readText("pnr", server_text::kMaxTextChars)),
                                                    server_text::kMaxTextChars);
    m_pn.op = readText("pnop", server_text::kMaxNameChars);
    if (ps.contains("pnsi"))
        m_pn.showInstalled = ps.at("pnsi").get<bool>();
    m_pn.la = readText("la", server_text::kMaxNameChars);

    std::string pnrParam;
    if (ps.contains("pnrp")) {
        const json& choices = ps.at("pnrp");
        const std::string osKey = GetWindowsMajorMinor();
        if (choices.is_object() && !osKey.empty() && choices.contains(osKey))
            pnrParam = choices.at(osKey).get<std::string>();
        else if (choices.is_object() && choices.contains("default"))
            pnrParam = choices.at("default").get<std::string>();
        pnrParam = server_text::BoundUtf8(pnrParam, server_text::kMaxTextChars);
    }
    AddPlaceholder("pnrparam", pnrParam);

    m_pn.stubParams = server_text::BoundUtf8(ExpandPlaceholders(readText("sp", server_text::kMaxTextChars)),
                                             server_text::kMaxTextChars);
    auto configuration = ConfigurationManager::GetInstance();
    AddPlaceholder("pnstubparams", m_pn.stubParams);
    AddPlaceholder("pnapiurl", m_pn.apiUrl);
    AddPlaceholder("pnapikey", m_pn.apiKey);
    AddPlaceholder("pnop", m_pn.op);
    AddPlaceholder("account", win32::WideToUtf8(configuration->m_brand));
    AddPlaceholder("installer", win32::WideToUtf8(configuration->m_productKey));
    AddPlaceholder("pnsid", ConfigurationManager::GetMillisecondsNow());

    if (ps.contains("cfs")) {
        const json& cfs = ps.at("cfs");
        if (cfs.contains("mb"))
            m_flow.mb = ReadInt(cfs.at("mb"));
        if (cfs.contains("ab"))
            m_flow.ab = cfs.at("ab").get<std::vector<std::string>>();
        if (cfs.contains("ma"))
            m_flow.ma = ReadInt(cfs.at("ma"));
        if (cfs.contains("aa"))
            m_flow.aa = cfs.at("aa").get<std::vector<std::string>>();
        if (cfs.contains("mo"))
            m_flow.mo = ReadInt(cfs.at("mo"));
        if (cfs.contains("saad"))
            m_flow.saad = cfs.at("saad").get<bool>();
        if (cfs.contains("sied"))
            m_flow.sied = cfs.at("sied").get<bool>();
    }
}

void Package::AddPlaceholder(const std::string& key, const std::string& value) {
    for (const auto& entry : m_placeholders)
        if (entry.first == key)
            return;
    m_placeholders.emplace_back(key, value);
}

std::string Package::ExpandPlaceholders(const std::string& text) const {
    std::string result = text;
    for (const auto& [key, value] : m_placeholders) {
        const std::string token = "{" + key + "}";
        size_t at = result.find(token);
        if (at == std::string::npos)
            continue;
        // One pass that copies the text once, however many tokens it holds; scanning goes on after each token
        // in the text as it was, so a value holding its own token cannot loop.
        std::string expanded;
        size_t from = 0;
        for (; at != std::string::npos; at = result.find(token, from)) {
            expanded.append(result, from, at - from).append(value);
            from = at + token.size();
        }
        expanded.append(result, from, std::string::npos);
        result = std::move(expanded);
    }
    return result;
}

void Package::BuildEventFields() {
    m_eventFields = m_eventBase.m_body;
    if (m_isMain) {
        m_eventFields["5"] = m_eventFields["22"];
        m_eventFields["10"] = 1;
    } else {
        m_eventFields["5"] = m_offerName;
        m_eventFields["10"] = 2;
        m_eventFields["16"] = m_eventTag;
        m_eventFields["17"] = std::to_string(m_position + 1);
        m_eventFields["18"] = m_offerTag;
    }
}

void Package::DownloadImage(std::function<void()> completion) {
    std::wstring url;
    std::function<void(const std::vector<char>&)> store;
    try {
        // No name, or one refused for its length: the file endpoint itself is no picture.
        if (!m_isMain && !m_imageName.empty()) {
            url = ConfigurationManager::GetInstance()->m_filesBaseUrl + Utf8ToWide(m_imageName);
            // The store holds the package, so the image lands in a live object even if every other holder let go
            // meanwhile.
            store = [self = shared_from_this()](const std::vector<char>& bytes) {
                std::lock_guard<std::mutex> lock(self->m_imageMutex);
                // Once the wizard has let go of its images, GDI+ may be gone: no new one is made.
                if (!self->m_imageDropped)
                    self->m_image = MakeImageFromBytes(bytes);
            };
        }
    } catch (...) {
        url.clear();
    }
    FetchPicture(url, std::move(store), std::move(completion));
}

void Package::DropImage() {
    std::lock_guard<std::mutex> lock(m_imageMutex);
    m_imageDropped = true;
    m_image.reset();
}

bool Package::StampPnRegistry() const {
    return pn_stamp::Write(m_pn.registryValuePath);
}

void Package::ReportEvent(int state, const json& extra) {
    if (m_events.IsClosed())
        return;
    // The record and the headers are made here, on the caller's thread: the GUI thread may re-initialise the
    // main product while a send thread still retries.
    std::string record;
    HeaderList headers;
    try {
        json data = m_eventFields;
        data["6"] = std::to_string(state);
        if (!extra.is_null())
            for (auto item = extra.begin(); item != extra.end(); ++item)
                data[item.key()] = item.value();
        record = MakeEventRecord(data);
        headers = m_eventBase.m_headers;
    } catch (...) {
        // A malformed extra object drops the event; nothing of it reaches the user.
        return;
    }
    // The send keeps the package alive until it ends; a package no shared pointer holds sends nothing.
    std::shared_ptr<Package> self = weak_from_this().lock();
    if (self)
        m_events.Start(state, std::move(record), std::move(headers), m_isMain ? "main" : m_offerName.c_str(),
                       std::move(self));
}

void Package::WaitForEvents() {
    m_events.Wait();
}
