// The affiliate id an offer's "{aflt}" placeholder stands for, chosen by the country the configuration answer
// names.
#pragma once

#include <string>

// The affiliate id for a two-letter country code (exact, case-sensitive); "91082" for any other code.
std::string AffiliateForCountry(const std::string& countryCode);
