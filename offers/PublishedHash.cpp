#include "offers/PublishedHash.h"

bool IsSha256Text(std::string_view text) {
    constexpr std::size_t kSha256Digits = 64;
    if (text.size() != kSha256Digits)
        return false;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !letter)
            return false;
    }
    return true;
}

PublishedSha256 ReadPublishedSha256(const nlohmann::json& holder) {
    if (!holder.contains("sha256") || holder.at("sha256").is_null())
        return {};
    const nlohmann::json& value = holder.at("sha256");
    if (!value.is_string() || !IsSha256Text(value.get_ref<const std::string&>()))
        return {true, std::string()};
    return {false, value.get<std::string>()};
}
