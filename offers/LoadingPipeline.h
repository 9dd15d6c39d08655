// The loading run's plain part: the configuration answer is copied into the build configuration and every
// offer of it becomes a Package that the admission rules admit or refuse. No window is involved; the loading
// page runs it on a thread of its own and only shows the outcome.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "offers/OfferEvaluator.h"

class ConfigurationManager;
class MachineFacts;
class Package;

// What the admission rules made of one offer of the answer.
struct OfferVerdict {
    std::shared_ptr<Package> offer;
    // Its index in the answer's "o".
    int place = 0;
    bool admitted = false;
    OfferVerdictKind kind = OfferVerdictKind::Admitted;
    // The refusal reason (or the limit that ended the evaluation); empty when admitted.
    std::string reason;
    // Whether the refusal was reported to the analytics endpoint.
    bool reported = false;
};

struct LoadingOutcome {
    // The admitted offers, in admission order.
    std::vector<std::shared_ptr<Package>> offers;
    // Every offer that was read, in the answer's order; those after it were not read.
    std::vector<OfferVerdict> verdicts;
    // A DLM answer whose product has no title or no download address: the wizard cannot go on.
    bool configurationError = false;
    // Whether the answer's offers were read at all: it has some, and the product does not switch them off.
    bool offersRead = false;
};

// Copies the answer's settings into `configuration` and evaluates its offers. Raises the JSON library's
// errors for a malformed answer or offer (the offers admitted so far are then lost); `facts` null measures
// the real machine; `sendEvent` null reports refusals to the analytics endpoint.
LoadingOutcome ApplyConfigurationAnswer(const nlohmann::json& answer,
                                        const std::shared_ptr<ConfigurationManager>& configuration,
                                        std::shared_ptr<MachineFacts> facts = nullptr,
                                        OfferEventSender sendEvent = nullptr);

// The whole background task: the configuration request, then ApplyConfigurationAnswer. Raises what either
// raises.
LoadingOutcome LoadConfiguration(const std::shared_ptr<ConfigurationManager>& configuration,
                                 std::shared_ptr<MachineFacts> facts = nullptr);

// The answer's "f"."m" as a limit of offers: any JSON number, brought into 0..INT_MAX (a negative limit admits
// nothing, a huge one is no limit). Raises the JSON library's type error for anything but a number.
int ReadOfferLimit(const nlohmann::json& value);
