// The admission rules of one loading run: every offer of the configuration passes them in response order and
// is admitted or refused. A refusal is reported to the analytics endpoint with its reason. The evaluator knows
// no window; it holds the counters and the measured machine facts that the rules share across one run.
#pragma once

#include "offers/OfferEventSender.h"
#include "offers/PresenceChecks.h"
#include "offers/SystemChecks.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

class ConfigurationManager;
class Package;

// What one evaluation made of an offer: admitted, refused by a rule, or not examined because the limit of
// offers was reached before it.
enum class OfferVerdictKind { Admitted, Refused, NotExamined };

class OfferEvaluator {
public:
    // `maxOffers` is the answer's "f"."m"; `facts` null measures the real machine.
    explicit OfferEvaluator(int maxOffers,
                            std::shared_ptr<MachineFacts> facts = nullptr,
                            std::shared_ptr<ConfigurationManager> configuration = nullptr,
                            OfferEventSender sendEvent = nullptr);

    // Applies the rules in order; true admits the offer. The caller appends admitted offers to `admitted` and
    // passes the same list every time. `stopEvaluation` is set when the limit of offers is reached: no later
    // offer needs to be looked at.
    bool Evaluate(const std::shared_ptr<Package>& offer,
                  bool& stopEvaluation,
                  const std::vector<std::shared_ptr<Package>>& admitted);

    // Reports one refusal, as long as fewer offers than the maximum have been admitted.
    void Refuse(Package& offer, const std::string& reason);

    int GetAdmittedCount() const { return m_admittedCount; }
    // Why the last offer evaluated was not admitted: its refusal reason, or a description of the limit that
    // ended the evaluation; empty when it was admitted.
    const std::string& GetLastReason() const { return m_lastReason; }
    OfferVerdictKind GetLastKind() const { return m_lastKind; }
    // Whether the last refusal was reported to the analytics endpoint.
    bool WasLastReported() const { return m_lastReported; }

private:
    // The rules about the offers admitted before and after this one; the reason, or empty when it passes.
    std::string CheckPosition(const Package& offer, const std::vector<std::shared_ptr<Package>>& admitted) const;
    // The rules about this machine, in their order; the reason, or empty when every one passes.
    std::string CheckMachine(const Package& offer);
    void Admit(const Package& offer);

    std::unordered_set<int> m_verticals;
    std::vector<std::string> m_admittedNames;
    int m_admittedCount = 0;
    int m_maxOffers = 0;
    std::shared_ptr<ConfigurationManager> m_configuration;
    OfferEventSender m_sendEvent;
    std::string m_lastReason;
    OfferVerdictKind m_lastKind = OfferVerdictKind::Admitted;
    bool m_lastReported = false;
    SystemChecks m_systemChecks;
    // Registry keys and values, files, running programs, App Paths, uninstall age, browsers, the no-show date.
    PresenceChecks m_presenceChecks;
};
