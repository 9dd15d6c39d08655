#include "offers/AffiliateTable.h"

#include <map>
#include <utility>
#include <vector>

std::string AffiliateForCountry(const std::string& countryCode) {
    // Never destroyed: a loading run still under way while the process ends may look a country up.
    static const auto& table = *new std::map<std::string, std::string>([] {
        std::map<std::string, std::string> codes;
        const std::pair<const char*, std::vector<const char*>> groups[] = {
            {"91088", {"US"}},
            {"91166", {"CA"}},
            {"91199", {"BR"}},
            {"91214", {"AU", "NZ", "KR"}},
            {"91105", {"DZ", "BG", "CY", "CZ", "EG", "GR", "HU", "IE", "IL", "KW", "MA", "PL",
                       "PT", "QA", "RO", "RU", "SA", "SK", "ZA", "TN", "TR", "UA", "AE"}},
            {"91215",
             {"TH", "MX", "PH", "AR", "VN", "TW", "PE", "CL", "CO", "VE", "RS", "LK", "DO", "JO", "HK", "LT", "PS",
              "HR", "CR", "BA", "SV", "GE", "MD", "AL", "UY", "BY", "LB", "SN", "PA", "LV", "ID", "PK", "SG"}},
        };
        for (const auto& [value, group] : groups)
            for (const char* code : group)
                codes.emplace(code, value);
        return codes;
    }());
    auto found = table.find(countryCode);
    return found != table.end() ? found->second : "91082";
}
