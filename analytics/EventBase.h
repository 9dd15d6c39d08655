// What every analytics event of one package has in common: the record fields that describe the run and the
// machine, and the signature header the analytics endpoint checks.
#pragma once

#include "net/JsonPost.h"

#include <chrono>
#include <nlohmann/json.hpp>

class EventBase {
public:
    // Reads the build configuration and the machine facts; made once per package.
    EventBase();

    nlohmann::json m_body;
    HeaderList m_headers;
};

// The record posted for one event: {"data": <compact text of `data`>, "table": "zb_analytics"}, compact, keys
// in ascending order. Every text field is cleaned by server_text::CleanTextUtf8, bounded to kMaxNameChars (the
// failure text of "12" to kMaxTextChars). Texts that are not UTF-8 (ANSI bytes of a non-ASCII title) are sent as
// U+FFFD rather than losing the whole event.
std::string MakeEventRecord(const nlohmann::json& data);

// Pause after a failed delivery attempt. Tests shorten it; the program always uses the default.
std::chrono::milliseconds GetEventRetryPause();
void SetEventRetryPause(std::chrono::milliseconds pause);
