#include "analytics/EventBase.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "net/ApiManager.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <atomic>

namespace {

std::atomic<long long> g_retryPauseMs{5000};

// The field of a failure text ("DOWNLOAD FAILED: ..."), the one text of a record that is no name.
constexpr char kFailureTextKey[] = "12";

}  // namespace

EventBase::EventBase() {
    auto configuration = ConfigurationManager::GetInstance();
    m_body = nlohmann::json::object();
    for (int key = 0; key <= 22; ++key)
        m_body[std::to_string(key)] = "";
    m_body["1"] = configuration->GetMachineGuid();
    m_body["2"] = configuration->GetTimestamp();
    m_body["3"] = win32::WideToAnsi(configuration->m_brand);
    m_body["4"] = win32::WideToAnsi(configuration->m_productKey);
    m_body["7"] = win32::WideToAnsi(configuration->m_programVersion);
    m_body["15"] = 0;
    m_body["19"] = win32::WideToAnsi(configuration->m_mainCfl);
    m_body["21"] = win32::WideToAnsi(configuration->m_mainCh);
    m_body["22"] = win32::WideToAnsi(configuration->m_productTitle);
    m_body["31"] = GetOsVersionString();
    m_body["38"] = IsWow64() ? "1" : "0";
    m_headers.push_back(MakeSignatureHeader());
}

std::string MakeEventRecord(const nlohmann::json& data) {
    using nlohmann::json;
    // Every text of the record may come from the server (an offer's name, a title, a failure text): each is held
    // to the one rule here, where the record is made, so that no field can escape it, and after any conversion
    // to the ANSI code page, so that the bound holds on what is sent.
    json clean = data;
    if (clean.is_object()) {
        for (auto& [key, value] : clean.get_ref<json::object_t&>()) {
            if (value.is_string()) {
                const std::size_t bound =
                    key == kFailureTextKey ? server_text::kMaxTextChars : server_text::kMaxNameChars;
                value = server_text::CleanTextUtf8(value.get_ref<const std::string&>(), bound);
            }
        }
    }
    json record = json::object();
    record["table"] = "zb_analytics";
    record["data"] = clean.dump(-1, ' ', false, json::error_handler_t::replace);
    // nlohmann's object keeps its keys sorted, so "data" comes before "table".
    return record.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::chrono::milliseconds GetEventRetryPause() {
    return std::chrono::milliseconds(g_retryPauseMs.load());
}

void SetEventRetryPause(std::chrono::milliseconds pause) {
    g_retryPauseMs = pause.count();
}
