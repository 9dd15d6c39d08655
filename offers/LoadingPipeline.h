// The loading run's plain part: the configuration answer is copied into the build configuration and every
// offer of it becomes a Package that the admission rules admit or refuse. No window is involved; the loading
// page runs it on a thread of its own and only shows the outcome.
#pragma once

#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

class ConfigurationManager;
class MachineFacts;
class Package;

struct LoadingOutcome {
    // The admitted offers, in admission order.
    std::vector<std::shared_ptr<Package>> offers;
    // A DLM answer whose product has no title or no download address: the wizard cannot go on.
    bool configurationError = false;
};

// Copies the answer's settings into `configuration` and evaluates its offers. Raises the JSON library's
// errors for a malformed answer or offer (the offers admitted so far are then lost); `facts` null measures
// the real machine.
LoadingOutcome ApplyConfigurationAnswer(const nlohmann::json& answer,
                                        const std::shared_ptr<ConfigurationManager>& configuration,
                                        std::shared_ptr<MachineFacts> facts = nullptr);

// The whole background task: the configuration request, then ApplyConfigurationAnswer. Raises what either
// raises.
LoadingOutcome LoadConfiguration(const std::shared_ptr<ConfigurationManager>& configuration,
                                 std::shared_ptr<MachineFacts> facts = nullptr);

// The answer's "f"."m" as a limit of offers: any JSON number, brought into 0..INT_MAX (a negative limit admits
// nothing, a huge one is no limit). Raises the JSON library's type error for anything but a number.
int ReadOfferLimit(const nlohmann::json& value);
