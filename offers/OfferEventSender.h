// How the offer rules send an offer's event: the package's own analytics report in the installer, a stand-in
// that only records it in the dry run.
#pragma once

#include <functional>
#include <string>

#include <nlohmann/json_fwd.hpp>

class Package;

// Sends one event of an offer: its state and the fields written over the event's own.
using OfferEventSender = std::function<void(Package& offer, int state, const nlohmann::json& extra)>;

// Reports that `offer` is not shown, with `reason` (event state 2), through `sendEvent`, or with the offer's own
// report when it is null: the one event of a refusal at loading and of a skip at display.
void SendOfferNotShown(const OfferEventSender& sendEvent, Package& offer, const std::string& reason);
