#include "offers/OfferEvaluator.h"

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "net/Codecs.h"
#include "offers/Package.h"

#include <algorithm>
#include <cstdint>

namespace {

// Whether `names` (base-62 encoded offer names) holds the encoding of `name`.
bool ListsName(const std::vector<std::string>& names, const std::string& name) {
    std::string encoded;
    try {
        encoded = Base62Encode(name);
    } catch (const std::exception&) {
        return false;
    }
    return std::find(names.begin(), names.end(), encoded) != names.end();
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const auto& name : names)
        joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

}  // namespace

OfferEvaluator::OfferEvaluator(int maxOffers,
                               std::shared_ptr<MachineFacts> facts,
                               std::shared_ptr<ConfigurationManager> configuration,
                               OfferEventSender sendEvent)
    : m_maxOffers(maxOffers),
      m_configuration(configuration ? std::move(configuration) : ConfigurationManager::GetInstance()),
      m_sendEvent(std::move(sendEvent)),
      m_systemChecks(std::move(facts)) {}

bool OfferEvaluator::Evaluate(const std::shared_ptr<Package>& offer,
                              bool& stopEvaluation,
                              const std::vector<std::shared_ptr<Package>>& admitted) {
    // In 64 bits: a maximum near INT_MAX plus the places that "sied" offers gave back must not wrap.
    if (static_cast<std::int64_t>(m_admittedCount) >=
        static_cast<std::int64_t>(m_maxOffers) + m_configuration->m_offerCounter) {
        stopEvaluation = true;
        // Not a refusal: nothing is reported, and the later offers are not looked at either.
        m_lastKind = OfferVerdictKind::NotExamined;
        m_lastReported = false;
        m_lastReason = "limit of " + std::to_string(m_admittedCount) + " offers reached";
        diagnostics::Record("offer %s at loading: not examined, %s", offer->m_offerName.c_str(), m_lastReason.c_str());
        return false;
    }
    m_lastReason.clear();
    m_lastKind = OfferVerdictKind::Admitted;
    m_lastReported = false;

    // A published hash that cannot be one, or an address too long to be used whole, would fail every download
    // of the offer: it is not shown at all.
    std::string reason = offer->m_downloadUrlTooLong ? "DOWNLOAD URL TOO LONG"
                         : offer->m_sha256Malformed  ? "MALFORMED SHA256"
                                                     : CheckPosition(*offer, admitted);
    if (reason.empty() && m_verticals.count(offer->m_vertical) != 0)
        reason = offer->m_vertical == -1 ? "MULTIPLE OFFERS W/O VERTICAL" : "SAME VERTICAL OFFER ALREADY PRESENT";
    if (reason.empty() && offer->m_exclusive && m_admittedCount > 0)
        reason = "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT";
    if (reason.empty())
        reason = CheckMachine(*offer);
    if (!reason.empty()) {
        Refuse(*offer, reason);
        return false;
    }
    Admit(*offer);
    return true;
}

std::string OfferEvaluator::CheckPosition(const Package& offer,
                                          const std::vector<std::shared_ptr<Package>>& admitted) const {
    const int count = m_admittedCount;
    if (count > offer.m_flow.mb) {
        return "SHOWED " + std::to_string(count) + " PRODUCTS BUT ONLY " + std::to_string(offer.m_flow.mb) +
               " ALLOWED BEFORE";
    }
    if (!offer.m_flow.ab.empty()) {
        std::vector<std::string> refused;
        for (const auto& name : m_admittedNames)
            if (!ListsName(offer.m_flow.ab, name))
                refused.push_back(name);
        if (!refused.empty())
            return "NOT ALLOWED AFTER " + JoinNames(refused);
    }
    // Once an offer has given its place back for a possible skip, places after earlier offers no longer count.
    if (m_configuration->m_offerCounter != 0)
        return {};
    for (const auto& earlier : admitted) {
        const auto after = static_cast<unsigned>(admitted.size() - static_cast<size_t>(earlier->m_position) - 1);
        if (after >= static_cast<unsigned>(earlier->m_flow.ma)) {
            return "ONLY " + std::to_string(earlier->m_flow.ma) + " PRODUCTS ALLOWED TO BE SHOWN AFTER " +
                   earlier->m_offerName;
        }
    }
    std::vector<std::string> refusing;
    for (const auto& earlier : admitted)
        if (!earlier->m_flow.aa.empty() && !ListsName(earlier->m_flow.aa, offer.m_offerName))
            refusing.push_back(earlier->m_offerName);
    if (!refusing.empty())
        return "NOT ALLOWED AFTER " + JoinNames(refusing);
    return {};
}

std::string OfferEvaluator::CheckMachine(const Package& offer) {
    std::string reason = m_presenceChecks.CheckRegistry(offer);
    if (reason.empty())
        reason = m_systemChecks.CheckDisk(offer);
    if (reason.empty())
        reason = m_systemChecks.CheckRam(offer);
    if (reason.empty())
        reason = m_systemChecks.CheckCpu(offer);
    if (reason.empty())
        reason = m_systemChecks.CheckOsVersion(offer);
    if (reason.empty())
        reason = m_systemChecks.CheckPlatformVersion(offer, m_configuration->m_programVersion);
    if (reason.empty())
        reason = m_systemChecks.Check64Bit(offer);
    if (reason.empty())
        reason = m_presenceChecks.CheckFiles(offer);
    if (reason.empty())
        reason = m_presenceChecks.CheckMachineState(offer);
    return reason;
}

void OfferEvaluator::Admit(const Package& offer) {
    ++m_admittedCount;
    diagnostics::Record("offer %s at loading: admitted place=%d", offer.m_offerName.c_str(), m_admittedCount);
    m_verticals.insert(offer.m_vertical);
    m_admittedNames.push_back(offer.m_offerName);
    // An offer that may be skipped for an earlier decline does not use up a place of the limit; the first
    // admitted offer cannot follow a decline.
    if (offer.m_flow.sied && m_admittedCount > 1)
        ++m_configuration->m_offerCounter;
}

void SendOfferNotShown(const OfferEventSender& sendEvent, Package& offer, const std::string& reason) {
    const nlohmann::json extra{{"13", reason}};
    if (sendEvent)
        sendEvent(offer, 2, extra);
    else
        offer.ReportEvent(2, extra);
}

void OfferEvaluator::Refuse(Package& offer, const std::string& reason) {
    m_lastReason = reason;
    m_lastKind = OfferVerdictKind::Refused;
    const bool reported = m_admittedCount < m_maxOffers;
    m_lastReported = reported;
    diagnostics::Record("offer %s at loading: refused reason=%s reported=%s", offer.m_offerName.c_str(), reason.c_str(),
                        diagnostics::YesNo(reported));
    if (!reported)
        return;
    SendOfferNotShown(m_sendEvent, offer, reason);
}
