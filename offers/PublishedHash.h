// The "sha256" a configuration publishes beside an installer, read under one rule for the main product and the
// offers alike.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Whether `text` is a SHA-256 as the configuration writes it: exactly 64 hexadecimal digits, either case.
bool IsSha256Text(std::string_view text);

struct PublishedSha256 {
    // A value was there that no file can match: the main product's configuration is unusable, an offer is refused.
    bool malformed = false;
    // The 64 hexadecimal digits as published (either case); empty when none is asked for.
    std::string digits;
};

// The "sha256" member of `holder`: absent or null asks for no hash; any other value must be a text of exactly 64
// hexadecimal digits.
PublishedSha256 ReadPublishedSha256(const nlohmann::json& holder);
