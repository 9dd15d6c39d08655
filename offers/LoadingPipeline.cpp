#include "offers/LoadingPipeline.h"

#include "analytics/EventBase.h"
#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "net/ApiManager.h"
#include "net/Codecs.h"
#include "offers/OfferEvaluator.h"
#include "offers/Package.h"
#include "offers/PublishedHash.h"
#include "win32/ServerText.h"

#include <climits>
#include <cstdint>

using nlohmann::json;

namespace {

// An optional text of the answer, bounded before anything else sees it.
std::string ReadText(const json& object, const char* key, std::size_t maxChars) {
    return object.contains(key) ? server_text::BoundUtf8(object.at(key).get<std::string>(), maxChars) : std::string();
}

// An optional address of the answer, whole or not at all: one beyond the bound is left out (no logo, no link).
std::string ReadUrl(const json& object, const char* key) {
    std::string url = ReadText(object, key, server_text::kMaxUrlChars + 1);
    return server_text::FitsUtf8(url, server_text::kMaxUrlChars) ? url : std::string();
}

// The DLM product; false when it lacks its title or its download address. The title reaches every page, the
// license text and the file name, so it is bounded and loses its invisible formatting here.
bool ApplyProduct(const json& product, ConfigurationManager& configuration) {
    using server_text::kMaxNameChars;
    using server_text::kMaxUrlChars;
    const std::string title = server_text::CleanNameUtf8(product.at("ct").get<std::string>());
    // An address beyond its bound is as unusable as a missing one: a part of it is another address.
    const std::string url = product.at("cu").get<std::string>();
    if (title.empty() || url.empty() || !server_text::FitsUtf8(url, kMaxUrlChars))
        return false;
    // A hash for the product that cannot be one makes the configuration unusable, as a missing address does.
    const PublishedSha256 sha256 = ReadPublishedSha256(product);
    if (sha256.malformed)
        return false;
    configuration.m_mainSha256 = sha256.digits;
    configuration.m_productTitle = Utf8ToWide(title);
    configuration.m_mainDownloadUrl = Utf8ToWide(url);
    configuration.m_mainCl = Utf8ToWide(ReadUrl(product, "cl"));
    configuration.m_mainFileName = product.contains("cf")
                                       ? Utf8ToWide(server_text::CleanNameUtf8(product.at("cf").get<std::string>()))
                                       : Utf8ToWide(title + ".exe");
    configuration.m_privacyUrl = Utf8ToWide(ReadUrl(product, "cp"));
    configuration.m_termsUrl = Utf8ToWide(ReadUrl(product, "ctu"));
    configuration.m_mainCh = Utf8ToWide(ReadText(product, "ch", kMaxNameChars));
    configuration.m_mainCfl = Utf8ToWide(ReadText(product, "cfl", kMaxNameChars));
    configuration.m_mainCb = ReadText(product, "cb", kMaxNameChars);
    return true;
}

}  // namespace

int ReadOfferLimit(const json& value) {
    if (value.is_number_unsigned())
        return static_cast<int>(std::min<std::uint64_t>(value.get<std::uint64_t>(), INT_MAX));
    if (value.is_number_float()) {
        const double number = value.get<double>();
        return number <= 0 ? 0 : number >= INT_MAX ? INT_MAX : static_cast<int>(number);
    }
    // Integers, and anything else, which raises the library's type error here.
    const std::int64_t number = value.get<std::int64_t>();
    return number <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(number, INT_MAX));
}

LoadingOutcome ApplyConfigurationAnswer(const json& answer,
                                        const std::shared_ptr<ConfigurationManager>& configuration,
                                        std::shared_ptr<MachineFacts> facts,
                                        OfferEventSender sendEvent) {
    LoadingOutcome outcome;
    // Nothing of an answer is applied once the user has left.
    if (configuration->m_closing)
        return outcome;
    const bool isObject = answer.is_object();
    if (isObject && answer.contains("l"))
        configuration->m_serverL = ReadText(answer, "l", server_text::kMaxNameChars);

    if (configuration->m_wizardType == WizardTypeDlm && !ApplyProduct(answer.at("i"), *configuration)) {
        outcome.configurationError = true;
        return outcome;
    }

    if (isObject && answer.contains("f") && answer.at("f").contains("a"))
        configuration->m_serverFa = ReadText(answer.at("f"), "a", server_text::kMaxNameChars);

    // "00xA" as the product's "ch" switches the offers off, exactly that text.
    if (!isObject || !answer.contains("o") || configuration->m_mainCh == L"00xA")
        return outcome;
    outcome.offersRead = true;

    const int maxOffers = ReadOfferLimit(answer.at("f").at("m"));
    configuration->m_maxOffersInFlow = maxOffers;
    OfferEvaluator evaluator(maxOffers, std::move(facts), configuration, std::move(sendEvent));
    const json& offers = answer.at("o");
    if (!offers.is_array())
        throw json::type_error::create(302, "type must be array, but is " + std::string(offers.type_name()), &offers);
    for (const json& element : offers) {
        // Once the user has left, no offer is examined any more (each may read the machine and send a report).
        if (configuration->m_closing)
            break;
        auto offer =
            std::make_shared<Package>(EventBase(), element, false, "", static_cast<int>(outcome.offers.size()));
        bool stopEvaluation = false;
        const bool admitted = evaluator.Evaluate(offer, stopEvaluation, outcome.offers);
        outcome.verdicts.push_back({offer, static_cast<int>(outcome.verdicts.size()), admitted, evaluator.GetLastKind(),
                                    admitted ? std::string() : evaluator.GetLastReason(), evaluator.WasLastReported()});
        if (admitted) {
            outcome.offers.push_back(offer);
            ++configuration->m_offersToShow;
            // An exclusive offer stands alone: the offers after it are not even read.
            if (offer->m_exclusive)
                break;
        }
        if (stopEvaluation)
            break;
    }
    return outcome;
}

LoadingOutcome LoadConfiguration(const std::shared_ptr<ConfigurationManager>& configuration,
                                 std::shared_ptr<MachineFacts> facts) {
    try {
        const json answer = ApiManager::GetInstance()->RequestConfiguration();
        // An answer that arrives after the user has left is not applied.
        if (configuration->m_closing)
            return LoadingOutcome();
        LoadingOutcome outcome = ApplyConfigurationAnswer(answer, configuration, std::move(facts));
        diagnostics::Record("configuration applied: offers admitted=%zu configuration error=%s", outcome.offers.size(),
                            diagnostics::YesNo(outcome.configurationError));
        return outcome;
    } catch (const std::exception& failure) {
        // The request's failures carry no text; the JSON library's say what in the answer was not understood.
        diagnostics::Record("configuration failed: %s",
                            *failure.what() ? failure.what() : "no answer (connection failed, or blank answer)");
        throw;
    }
}
