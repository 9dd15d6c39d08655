#include "offers/PublishedHash.h"

#include "download/InstallerTrust.h"

PublishedSha256 ReadPublishedSha256(const nlohmann::json& holder) {
    if (!holder.contains("sha256") || holder.at("sha256").is_null())
        return {};
    const nlohmann::json& value = holder.at("sha256");
    if (!value.is_string() || !IsSha256Text(value.get_ref<const std::string&>()))
        return {true, std::string()};
    return {false, value.get<std::string>()};
}
