// Reading the analytics events the local backend received.
#pragma once

#include "support/Backend.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

namespace backend {

// The state ("6") and the product ("5") of each event received, in arrival order; waits up to 10 s for `atLeast`.
inline std::vector<std::pair<std::string, std::string>> ReceivedEvents(size_t atLeast) {
    std::vector<std::pair<std::string, std::string>> events;
    for (const auto& request : Requests("/zbd", atLeast, 10)) {
        auto data = nlohmann::json::parse(nlohmann::json::parse(request.body).at("data").get<std::string>());
        events.emplace_back(data.at("6").get<std::string>(), data.at("5").get<std::string>());
    }
    return events;
}

}  // namespace backend
