// The display-time flow rules: when the user leaves a product page, which of the following offers' pages are
// skipped, and why. Plain code over the admitted offers, used by the frame as the user goes and by the dry run
// to tell what a user would see.
#pragma once

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
