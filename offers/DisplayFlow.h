// The display-time flow rules: when the user leaves a product page, which of the following offers' pages are
// skipped, and why. Plain code over the admitted offers, the one walk that the frame takes as the user goes and
// that the dry run takes to tell what a user would see.
#pragma once

#include "offers/OfferEventSender.h"

#include <memory>
#include <string>
#include <vector>

class ConfigurationManager;
class Package;

// The frame's sticky choices: once set, every later product page is skipped.
struct DisplayFlags {
    bool skipAllClicked = false;
    bool skipRestAfterDecline = false;
    bool maxOffersReached = false;
};

// Decides the page of `offers[index]`, which comes next: the reason it is skipped, or empty when it is shown.
// Sets `flags.maxOffersReached` when an earlier offer's "mo" forbids the page; an offer skipped for an earlier
// decline gives up its own "mo" and takes back the place it was given at loading (`m_offerCounter`).
std::string DecideOfferPage(const std::vector<std::shared_ptr<Package>>& offers,
                            int index,
                            DisplayFlags& flags,
                            ConfigurationManager& configuration);

// How the user leaves an offer's page.
enum class OfferChoice { Accept, Decline, SkipAll };

// What leaving the page of `offers[offerIndex]` with `choice` sets for the pages after it: Skip All skips them
// all, and declining an offer that asks for it ("saad") skips them too. Skip All declines the offer as well.
void ApplyOfferChoice(const std::vector<std::shared_ptr<Package>>& offers,
                      int offerIndex,
                      OfferChoice choice,
                      DisplayFlags& flags);

// A product page that the walk passes without showing it.
struct SkippedOffer {
    int index = 0;
    std::string reason;
    // Reported (event state 2 with the reason) only for offers within the answer's limit of offers.
    bool reported = false;
};

// Where one walk ended: the pages it passed, and whether it stopped on a page that is shown.
struct OfferPageWalk {
    std::vector<SkippedOffer> skipped;
    bool reachedPage = false;
};

// The walk from the product page the user leaves to the next one shown. `offerIndex` is the offer of the page
// left; each later offer, as far as `productPagesAhead` product pages go, is decided in order until one is
// shown, and `offerIndex` moves along (one past the offers when it ran out of them). Every skip is recorded in
// the run log and, within the limit of offers, sent through `sendEvent` (null: the offer's own report).
OfferPageWalk WalkOfferPages(const std::vector<std::shared_ptr<Package>>& offers,
                             int& offerIndex,
                             int productPagesAhead,
                             DisplayFlags& flags,
                             ConfigurationManager& configuration,
                             const OfferEventSender& sendEvent = nullptr);
