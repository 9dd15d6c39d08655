#include "offers/DisplayFlow.h"

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "offers/Package.h"

#include <climits>

std::string DecideOfferPage(const std::vector<std::shared_ptr<Package>>& offers,
                            int index,
                            DisplayFlags& flags,
                            ConfigurationManager& configuration) {
    Package& offer = *offers[static_cast<size_t>(index)];
    bool earlierDecline = false;
    if (!flags.skipAllClicked && !flags.skipRestAfterDecline && !flags.maxOffersReached) {
        if (configuration.m_offerDeclined && offer.m_flow.sied) {
            earlierDecline = true;
            // Skipped, it limits nothing: its own "mo" no longer counts, and the place it was given back when
            // it was admitted is taken again.
            offer.m_flow.mo = INT_MAX;
            --configuration.m_offerCounter;
        }
        for (int earlier = 0; earlier < index; ++earlier) {
            if (index >= offers[static_cast<size_t>(earlier)]->m_flow.mo) {
                flags.maxOffersReached = true;
                break;
            }
        }
    }
    if (flags.skipAllClicked)
        return "SKIP ALL CLICKED";
    if (earlierDecline)
        return "SKIPPED BECAUSE OF EARLIER DECLINE";
    if (flags.maxOffersReached)
        return "EXCEEDED MAX NUMBER OF OFFERS IN FLOW";
    if (flags.skipRestAfterDecline)
        return "SKIP ALL AFTER DECLINE OFFER DECLINED";
    return {};
}

void ApplyOfferChoice(const std::vector<std::shared_ptr<Package>>& offers,
                      int offerIndex,
                      OfferChoice choice,
                      DisplayFlags& flags) {
    if (choice == OfferChoice::Accept)
        return;
    if (choice == OfferChoice::SkipAll)
        flags.skipAllClicked = true;
    if (offerIndex >= 0 && offerIndex < static_cast<int>(offers.size()) &&
        offers[static_cast<size_t>(offerIndex)]->m_flow.saad)
        flags.skipRestAfterDecline = true;
}

OfferPageWalk WalkOfferPages(const std::vector<std::shared_ptr<Package>>& offers,
                             int& offerIndex,
                             int productPagesAhead,
                             DisplayFlags& flags,
                             ConfigurationManager& configuration,
                             const OfferEventSender& sendEvent) {
    OfferPageWalk walk;
    for (int page = 0; page < productPagesAhead; ++page) {
        ++offerIndex;
        if (offerIndex < 0 || offerIndex >= static_cast<int>(offers.size()))
            break;
        Package& offer = *offers[static_cast<size_t>(offerIndex)];
        const std::string reason = DecideOfferPage(offers, offerIndex, flags, configuration);
        diagnostics::Record("offer %s at display: %s%s", offer.m_offerName.c_str(),
                            reason.empty() ? "shown" : "skipped reason=", reason.c_str());
        if (reason.empty()) {
            walk.reachedPage = true;
            break;
        }
        const bool reported = offerIndex < configuration.m_maxOffersInFlow;
        if (reported)
            SendOfferNotShown(sendEvent, offer, reason);
        walk.skipped.push_back({offerIndex, reason, reported});
    }
    return walk;
}
