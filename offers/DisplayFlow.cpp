#include "offers/DisplayFlow.h"

#include "config/ConfigurationManager.h"
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
