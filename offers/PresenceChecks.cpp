#include "offers/PresenceChecks.h"

#include "offers/Package.h"

// Until the registry and presence rules are written, every offer passes them.
std::string PresenceChecks::CheckRegistry(const Package&) {
    return {};
}

std::string PresenceChecks::CheckFiles(const Package&) {
    return {};
}

std::string PresenceChecks::CheckMachineState(const Package&) {
    return {};
}
