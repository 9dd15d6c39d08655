// What the tests of the offer rules and of the loading run share: offers written as the server writes them,
// a machine whose facts the test chooses, the refusals as the analytics endpoint receives them, and the
// configuration a loading run writes, put back after each test.
#pragma once

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "offers/LoadingPipeline.h"
#include "offers/Package.h"
#include "offers/SystemChecks.h"
#include "resource.h"
#include "support/Backend.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace testing_offers {

using nlohmann::json;

// An offer named `name` with the required keys and `ps` merged into its "ps".
inline json Offer(const std::string& name, const json& ps = json::object()) {
    json offer = {{"ad", {{"f", "tag-" + name}, {"o", name}}},
                  {"ps", {{"i", name + ".png"}, {"dn", "Display " + name}, {"u", "https://localhost/" + name}}}};
    for (auto item = ps.begin(); item != ps.end(); ++item)
        offer["ps"][item.key()] = item.value();
    return offer;
}

// An offer with "cfs" conditions, which are read only for "pn" offers.
inline json FlowOffer(const std::string& name, const json& cfs, json ps = json::object()) {
    ps["pn"] = true;
    ps["cfs"] = cfs;
    return Offer(name, ps);
}

// The program's 256 x 256 product logo, as PNG bytes the file endpoint can serve.
inline std::string ResourcePng() {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(IDB_PRODUCT_LOGO), RT_IMAGE_PRODUCT_LOGO);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
    return std::string(bytes, ::SizeofResource(self, resource));
}

// A machine that answers what the test set, and counts how often it was asked.
class FakeFacts : public MachineFacts {
public:
    std::optional<std::uint64_t> diskMiB = 100000;  // nullopt: the measurement fails with diskError
    DWORD diskError = 3;
    std::optional<std::uint64_t> ramMiB = 8192;
    DWORD ramError = 8;
    CpuRead cpuRead = CpuRead::Ok;
    DWORD cpuMHz = 3000;
    bool windows10 = true;
    std::atomic<int> diskCalls{0};
    std::atomic<int> ramCalls{0};
    std::atomic<int> cpuCalls{0};
    std::wstring diskFolder;

    bool GetFreeDiskMiB(const std::wstring& folder, std::uint64_t& mib, DWORD& error) override {
        ++diskCalls;
        diskFolder = folder;
        if (!diskMiB) {
            error = diskError;
            return false;
        }
        mib = *diskMiB;
        return true;
    }
    bool GetTotalRamMiB(std::uint64_t& mib, DWORD& error) override {
        ++ramCalls;
        if (!ramMiB) {
            error = ramError;
            return false;
        }
        mib = *ramMiB;
        return true;
    }
    CpuRead GetCpuMHz(DWORD& mhz) override {
        ++cpuCalls;
        mhz = cpuMHz;
        return cpuRead;
    }
    bool IsWindowsVersionOrGreater(WORD major, WORD, WORD) override { return windows10 || major < 10; }
};

// (offer name, reason) of every refusal or skip the analytics endpoint received, sorted: events travel on
// threads of their own, so their order of arrival means nothing. Waits for `expected` of them, then a little
// longer, so that one too many is seen too.
inline std::vector<std::pair<std::string, std::string>> ReceivedReasons(size_t expected) {
    backend::Requests("/zbd", expected, 15);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::vector<std::pair<std::string, std::string>> reasons;
    for (const auto& request : backend::Requests("/zbd")) {
        json data = json::parse(json::parse(request.body).at("data").get<std::string>());
        if (data.at("6") == "2")
            reasons.emplace_back(data.at("5").get<std::string>(), data.value("13", ""));
    }
    std::sort(reasons.begin(), reasons.end());
    return reasons;
}

// Saves what a loading run and the frame write into the configuration and puts it back.
class ConfigurationGuard {
public:
    ConfigurationGuard() : m_configuration(ConfigurationManager::GetInstance()), m_saved(Take(*m_configuration)) {}
    ~ConfigurationGuard() {
        Put(m_saved, *m_configuration);
        m_configuration->m_productImage.reset();
        m_configuration->m_mainPackage.reset();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_closing = false;
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
        DownloadManager::GetInstance()->Rearm();
    }
    ConfigurationGuard(const ConfigurationGuard&) = delete;
    ConfigurationGuard& operator=(const ConfigurationGuard&) = delete;

private:
    struct Fields {
        int wizardType, maxOffersInFlow, offerCounter, offersToShow;
        bool offerDeclined;
        std::wstring programVersion, productTitle, mainDownloadUrl, mainFileName, mainCl, mainCh, mainCfl, privacyUrl,
            termsUrl;
        std::string serverL, serverFa, mainCb;
    };
    static Fields Take(const ConfigurationManager& c) {
        return {c.m_wizardType,     c.m_maxOffersInFlow, c.m_offerCounter,    c.m_offersToShow, c.m_offerDeclined,
                c.m_programVersion, c.m_productTitle,    c.m_mainDownloadUrl, c.m_mainFileName, c.m_mainCl,
                c.m_mainCh,         c.m_mainCfl,         c.m_privacyUrl,      c.m_termsUrl,     c.m_serverL,
                c.m_serverFa,       c.m_mainCb};
    }
    static void Put(const Fields& f, ConfigurationManager& c) {
        c.m_wizardType = f.wizardType;
        c.m_maxOffersInFlow = f.maxOffersInFlow;
        c.m_offerCounter = f.offerCounter;
        c.m_offersToShow = f.offersToShow;
        c.m_offerDeclined = f.offerDeclined;
        c.m_programVersion = f.programVersion;
        c.m_productTitle = f.productTitle;
        c.m_mainDownloadUrl = f.mainDownloadUrl;
        c.m_mainFileName = f.mainFileName;
        c.m_mainCl = f.mainCl;
        c.m_mainCh = f.mainCh;
        c.m_mainCfl = f.mainCfl;
        c.m_privacyUrl = f.privacyUrl;
        c.m_termsUrl = f.termsUrl;
        c.m_serverL = f.serverL;
        c.m_serverFa = f.serverFa;
        c.m_mainCb = f.mainCb;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    Fields m_saved;
};

// Loading runs against a quiet backend, each starting from the counters a run starts with, on an installer of
// version 2.0.0.0; the configuration is put back after each test.
class LoadingRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::Reset();
        m_configuration->m_offerCounter = 0;
        m_configuration->m_offersToShow = 0;
        m_configuration->m_programVersion = L"2.0.0.0";
        m_configuration->m_mainCh.clear();
    }

    // The names of the offers a loading run of `answer` admits, in order.
    std::vector<std::string> AdmittedNames(const json& answer, std::shared_ptr<MachineFacts> facts) {
        std::vector<std::string> names;
        for (const auto& offer : ApplyConfigurationAnswer(answer, m_configuration, std::move(facts)).offers)
            names.push_back(offer->m_offerName);
        return names;
    }

    ConfigurationGuard m_guard;
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
};

}  // namespace testing_offers
