// wayfarer-explain: the dry run of a configuration answer. It applies the answer exactly as the loading page
// does (the same parse, the same pipeline, the same admission rules against this machine) and walks the
// display-time flow rules as the frame does, then tells, offer by offer, what the installer would decide and
// why. Refusals go to a recorder instead of the analytics endpoint; nothing else is fetched, written or shown.
//
//   wayfarer-explain [options] answer.json
//   wayfarer-explain [options] --url https://host/o
// Options: --flavour isv|dlm, --country XX, --exe-name NAME (the campaign token of the request),
//          --locale xx_YY (the language the request names), --json.
#include "BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "net/ApiManager.h"
#include "offers/DisplayFlow.h"
#include "offers/LoadingPipeline.h"
#include "offers/Package.h"
#include "win32/Handle.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <climits>
#include <memory>
#include <string>
#include <vector>

using nlohmann::json;

namespace {

enum ExitCode : int {
    kUnderstood = 0,
    kUsage = 2,
    kNoAnswer = 3,
    kNotUnderstood = 4,
    kConfigurationError = 5,
};

struct Options {
    std::wstring answerFile;
    std::wstring url;
    std::wstring exeName;
    std::wstring locale = L"en_US";
    std::string country;
    bool dlm = WAYFARER_WIZARD_DLM != 0;
    bool json = false;
};

// One event the installer would send.
struct RecordedEvent {
    std::string offer;
    int state = 0;
    std::string reason;
};

// What the user would meet on the product pages after one choice.
struct FlowOutcome {
    std::vector<std::string> shown;
    struct Skip {
        std::string offer;
        std::string reason;
        bool reported = false;
    };
    std::vector<Skip> skipped;
};

void Print(const std::string& text) {
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(output, &mode)) {
        const std::wstring wide = win32::Utf8ToWide(text);
        ::WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void PrintError(const std::string& text) {
    DWORD written = 0;
    const std::string line = "wayfarer-explain: " + text + "\n";
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

const char kUsageText[] =
    "usage: wayfarer-explain [--flavour isv|dlm] [--country XX] [--exe-name NAME] [--locale xx_YY] [--json]\n"
    "                        (answer.json | --url https://host/o)\n";

bool ParseOptions(int count, wchar_t** arguments, Options& options) {
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const bool hasValue = i + 1 < count;
        if (argument == L"--json") {
            options.json = true;
        } else if (argument == L"--url" && hasValue) {
            options.url = arguments[++i];
        } else if (argument == L"--exe-name" && hasValue) {
            options.exeName = arguments[++i];
        } else if (argument == L"--locale" && hasValue) {
            options.locale = arguments[++i];
        } else if (argument == L"--country" && hasValue) {
            options.country = win32::WideToUtf8(arguments[++i]);
        } else if (argument == L"--flavour" && hasValue) {
            const std::wstring flavour = arguments[++i];
            if (flavour != L"isv" && flavour != L"dlm")
                return false;
            options.dlm = flavour == L"dlm";
        } else if (!argument.empty() && argument[0] != L'-' && options.answerFile.empty()) {
            options.answerFile = argument;
        } else {
            return false;
        }
    }
    return options.answerFile.empty() != options.url.empty();
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    char buffer[64 * 1024];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return true;
}

// The name of an offer element that was never read: its "ad"."o" when it has one.
std::string NameOfElement(const json& element) {
    if (element.is_object() && element.contains("ad") && element.at("ad").is_object() &&
        element.at("ad").contains("o") && element.at("ad").at("o").is_string())
        return server_text::BoundUtf8(element.at("ad").at("o").get<std::string>(), server_text::kMaxNameChars);
    return "(no name)";
}

// The product pages a user meets who accepts every offer but makes `choice` on the page of offer `at`: the
// frame's own walk, step by step, with the skips it would report recorded, not sent. The offers' "mo" and the
// run's counters are put back afterwards, so that each walk starts from the state loading left.
FlowOutcome WalkFlow(const std::vector<std::shared_ptr<Package>>& offers,
                     ConfigurationManager& configuration,
                     int at,
                     OfferChoice choice) {
    FlowOutcome outcome;
    if (offers.empty())
        return outcome;
    std::vector<int> maxPositions;
    for (const auto& offer : offers)
        maxPositions.push_back(offer->m_flow.mo);
    const int offerCounter = configuration.m_offerCounter;
    const bool offerDeclined = configuration.m_offerDeclined;

    // The frame reaches the first product page by Next; one product page follows for every later offer.
    const auto recordNothing = [](Package&, int, const json&) {};
    DisplayFlags flags;
    int current = 0;
    outcome.shown.push_back(offers[0]->m_offerName);
    for (;;) {
        const OfferChoice made = current == at ? choice : OfferChoice::Accept;
        // What the product page itself does on a decline, before the frame walks on.
        if (made != OfferChoice::Accept)
            configuration.m_offerDeclined = true;
        ApplyOfferChoice(offers, current, made, flags);
        const int pagesAhead = static_cast<int>(offers.size()) - 1 - current;
        const OfferPageWalk walk = WalkOfferPages(offers, current, pagesAhead, flags, configuration, recordNothing);
        for (const auto& skip : walk.skipped)
            outcome.skipped.push_back(
                {offers[static_cast<size_t>(skip.index)]->m_offerName, skip.reason, skip.reported});
        if (!walk.reachedPage)
            break;
        outcome.shown.push_back(offers[static_cast<size_t>(current)]->m_offerName);
    }

    for (size_t i = 0; i < offers.size(); ++i)
        offers[i]->m_flow.mo = maxPositions[i];
    configuration.m_offerCounter = offerCounter;
    configuration.m_offerDeclined = offerDeclined;
    return outcome;
}

std::string DescribeDisplayRules(const Package& offer) {
    std::string rules;
    auto add = [&rules](const std::string& rule) { rules += (rules.empty() ? "" : ", ") + rule; };
    if (offer.m_flow.mo != INT_MAX)
        add("mo=" + std::to_string(offer.m_flow.mo) + ": no offer page from place " + std::to_string(offer.m_flow.mo) +
            " on");
    if (offer.m_flow.saad)
        add("saad: declining it skips all later offers");
    if (offer.m_flow.sied)
        add("sied: skipped after an earlier decline");
    return rules;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const auto& name : names)
        joined += (joined.empty() ? "" : ", ") + name;
    return joined.empty() ? "(none)" : joined;
}

std::string DescribeFlow(const FlowOutcome& flow) {
    std::string text = "pages: " + JoinNames(flow.shown);
    for (const auto& skip : flow.skipped)
        text += "; skips " + skip.offer + " (" + skip.reason + (skip.reported ? ", reported" : ", not reported") + ")";
    return text;
}

json FlowToJson(const FlowOutcome& flow) {
    json skipped = json::array();
    for (const auto& skip : flow.skipped)
        skipped.push_back({{"offer", skip.offer}, {"reason", skip.reason}, {"reported", skip.reported}});
    return {{"shown", flow.shown}, {"skipped", skipped}};
}

std::string Pad(const std::string& text, size_t width) {
    // Columns line up for the ASCII names publishers use; other names still print whole.
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

struct Row {
    std::string place;
    std::string offer;
    std::string vertical;
    std::string verdict;
    std::string reason;
    std::string display;
};

std::string MakeTable(const std::vector<Row>& rows) {
    std::vector<Row> all{{"place", "offer", "vertical", "verdict", "reason", "display-time rules"}};
    all.insert(all.end(), rows.begin(), rows.end());
    size_t widths[5] = {};
    for (const auto& row : all) {
        const std::string* cells[5] = {&row.place, &row.offer, &row.vertical, &row.verdict, &row.reason};
        for (int i = 0; i < 5; ++i)
            widths[i] = std::max(widths[i], cells[i]->size());
    }
    std::string table;
    for (const auto& row : all) {
        table += Pad(row.place, widths[0]) + "  " + Pad(row.offer, widths[1]) + "  " + Pad(row.vertical, widths[2]) +
                 "  " + Pad(row.verdict, widths[3]) + "  " + Pad(row.reason, widths[4]) + "  " + row.display;
        while (!table.empty() && table.back() == ' ')
            table.pop_back();
        table += "\n";
    }
    return table;
}

int Explain(const Options& options) {
    auto configuration = ConfigurationManager::GetInstance();
    // The work folder the configuration made for an installation that will not happen.
    struct FolderRemover {
        std::wstring folder;
        ~FolderRemover() {
            if (!folder.empty())
                ::RemoveDirectoryW(folder.c_str());
        }
    } remover{configuration->m_tempFolder};
    configuration->m_wizardType = options.dlm ? WizardTypeDlm : WizardTypeIsv;
    configuration->m_localeName = options.locale;
    // The installer's own version, which the "pv" rule compares with.
    configuration->m_programVersion =
        std::to_wstring(WAYFARER_VERSION_MAJOR) + L"." + std::to_wstring(WAYFARER_VERSION_MINOR) + L"." +
        std::to_wstring(WAYFARER_VERSION_PATCH) + L"." + std::to_wstring(WAYFARER_VERSION_TWEAK);

    json answer;
    std::string source;
    try {
        if (!options.url.empty()) {
            source = win32::WideToUtf8(options.url);
            configuration->m_configUrl = options.url;
            answer = ApiManager::GetInstance()->RequestConfiguration(ApiManager::kRetryPauseMs,
                                                                     ExtractInstallerToken(options.exeName));
        } else {
            source = win32::WideToUtf8(options.answerFile);
            std::string bytes;
            if (!ReadWholeFile(options.answerFile, bytes)) {
                PrintError("cannot read " + source);
                return kNoAnswer;
            }
            answer = ParseConfigurationAnswer(bytes);
        }
    } catch (const nlohmann::json::exception& error) {
        PrintError(
            "the answer is not understood (the installer would go on without offers, or show the DLM "
            "configuration error): " +
            std::string(error.what()));
        return kNotUnderstood;
    } catch (const std::exception& error) {
        PrintError(options.url.empty() ? "the answer is empty: the installer would go on without offers"
                                       : "no answer from " + source + " (connection failed, or blank answer)" +
                                             (*error.what() ? std::string(": ") + error.what() : std::string()));
        return options.url.empty() ? kNotUnderstood : kNoAnswer;
    }
    if (!options.country.empty() && answer.is_object())
        answer["l"] = options.country;

    std::vector<RecordedEvent> events;
    LoadingOutcome outcome;
    // Any send a package began (none: every event goes to the recorder) ends before the process does, so that a
    // send the dry run must never make reaches the endpoint, where its test looks, instead of dying at exit.
    struct SendsAwaited {
        LoadingOutcome& outcome;
        ~SendsAwaited() {
            for (const auto& verdict : outcome.verdicts)
                verdict.offer->WaitForEvents();
        }
    } awaited{outcome};
    try {
        outcome = ApplyConfigurationAnswer(
            answer, configuration, nullptr, [&events](Package& offer, int state, const json& extra) {
                events.push_back({offer.m_offerName, state, extra.value("13", std::string())});
            });
    } catch (const std::exception& error) {
        PrintError(
            "the answer is not understood (the installer would go on without offers, or show the DLM "
            "configuration error): " +
            std::string(error.what()));
        return kNotUnderstood;
    }
    if (outcome.configurationError) {
        PrintError(
            "the DLM product of the answer has no title (\"i\".\"ct\") or no download address (\"i\".\"cu\"): "
            "the installer would show its configuration error page");
        return kConfigurationError;
    }

    const bool offersRead = outcome.offersRead;
    const json noOffers = json::array();
    const json& elements = offersRead ? answer.at("o") : noOffers;

    std::vector<Row> rows;
    json offersJson = json::array();
    for (size_t place = 0; place < elements.size(); ++place) {
        Row row;
        json item = {{"place", place}};
        row.place = std::to_string(place);
        if (place < outcome.verdicts.size()) {
            const OfferVerdict& verdict = outcome.verdicts[place];
            row.offer = verdict.offer->m_offerName;
            row.vertical = std::to_string(verdict.offer->m_vertical);
            row.verdict = verdict.kind == OfferVerdictKind::Admitted  ? "admitted"
                          : verdict.kind == OfferVerdictKind::Refused ? "refused"
                                                                      : "not examined";
            row.reason = verdict.reason;
            row.display = verdict.admitted ? DescribeDisplayRules(*verdict.offer) : "";
            item.update({{"offer", row.offer},
                         {"vertical", verdict.offer->m_vertical},
                         {"verdict", row.verdict},
                         {"reason", row.reason},
                         {"mo", verdict.offer->m_flow.mo == INT_MAX ? json() : json(verdict.offer->m_flow.mo)},
                         {"saad", verdict.offer->m_flow.saad},
                         {"sied", verdict.offer->m_flow.sied}});
            item["reported"] = verdict.reported;
        } else {
            row.offer = NameOfElement(elements[place]);
            row.verdict = "not read";
            row.reason = "evaluation ended before it";
            item.update({{"offer", row.offer}, {"verdict", row.verdict}, {"reason", row.reason}});
        }
        rows.push_back(row);
        offersJson.push_back(item);
    }

    const FlowOutcome acceptAll = WalkFlow(outcome.offers, *configuration, -1, OfferChoice::Accept);
    std::vector<std::pair<std::string, FlowOutcome>> declines;
    std::vector<std::pair<std::string, FlowOutcome>> skipAlls;
    for (size_t i = 0; i < outcome.offers.size(); ++i) {
        const std::string& name = outcome.offers[i]->m_offerName;
        declines.emplace_back(name,
                              WalkFlow(outcome.offers, *configuration, static_cast<int>(i), OfferChoice::Decline));
        skipAlls.emplace_back(name,
                              WalkFlow(outcome.offers, *configuration, static_cast<int>(i), OfferChoice::SkipAll));
    }

    if (options.json) {
        json eventsJson = json::array();
        for (const auto& event : events)
            eventsJson.push_back({{"offer", event.offer}, {"state", event.state}, {"reason", event.reason}});
        json ifDeclined = json::object();
        json ifSkipAll = json::object();
        for (const auto& [name, flow] : declines)
            ifDeclined[name] = FlowToJson(flow);
        for (const auto& [name, flow] : skipAlls)
            ifSkipAll[name] = FlowToJson(flow);
        json report = {{"source", source},
                       {"flavour", options.dlm ? "dlm" : "isv"},
                       {"country", configuration->m_serverL},
                       {"offersRead", offersRead},
                       {"maxOffers", configuration->m_maxOffersInFlow},
                       {"offers", offersJson},
                       {"loadingEvents", eventsJson},
                       {"acceptAll", FlowToJson(acceptAll)},
                       {"ifDeclined", ifDeclined},
                       {"ifSkipAll", ifSkipAll}};
        Print(report.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
        return kUnderstood;
    }

    std::string text = "Answer: " + source + " (flavour " + (options.dlm ? "DLM" : "ISV") + ", country \"" +
                       configuration->m_serverL + "\", at most " + std::to_string(configuration->m_maxOffersInFlow) +
                       " offers)\n";
    if (!offersRead)
        text += "No offers are read from this answer.\n";
    else
        text += "\n" + MakeTable(rows);
    text += "\nRefusals the installer would report at loading: " + std::to_string(events.size()) + "\n";
    text += "\nAccepting every offer, the user sees " + DescribeFlow(acceptAll) + "\n";
    for (size_t i = 0; i < declines.size(); ++i) {
        text += "Declining " + declines[i].first + ": " + DescribeFlow(declines[i].second) + "\n";
        text += "Skip All on " + skipAlls[i].first + ": " + DescribeFlow(skipAlls[i].second) + "\n";
    }
    Print(text);
    return kUnderstood;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    Options options;
    if (!ParseOptions(count, arguments, options)) {
        PrintError("bad arguments");
        Print(kUsageText);
        return kUsage;
    }
    try {
        return Explain(options);
    } catch (const std::exception& error) {
        PrintError(std::string("failed: ") + error.what());
        return kNotUnderstood;
    }
}
