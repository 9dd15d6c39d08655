// The dry run (wayfarer-explain.exe, built beside the installer) against answers and prefix states of the
// test's choosing: its verdicts and reasons, the display-time rules it walks, its refusal of what the installer
// cannot read, and what it must never do (events, fetches, registry writes).
#include "support/Backend.h"
#include "support/ProgramOutput.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

using nlohmann::json;

namespace {

const wchar_t kTestKey[] = L"Software\\WayfarerExplainTest";

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

std::wstring ExplainExe() {
    const std::wstring installer = Environment(L"WAYFARER_INSTALLER_EXE");
    return installer.substr(0, installer.find_last_of(L"\\/") + 1) + L"wayfarer-explain.exe";
}

std::wstring TempPath(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

using ExplainRun = testing_programs::ProgramRun;

ExplainRun RunExplain(const std::wstring& arguments) {
    const std::wstring commandLine = L"\"" + ExplainExe() + L"\" " + arguments;
    ExplainRun run = testing_programs::RunCapturingOutput(commandLine);
    if (!run.started)
        ADD_FAILURE() << "cannot start " << win32::WideToUtf8(commandLine);
    return run;
}

// Writes `answer` to a file of its own and explains it with `options`.
ExplainRun ExplainAnswer(const std::string& answer, const std::wstring& options = L"") {
    const std::wstring path = TempPath(L"wayfarer-explain-answer.json");
    std::ofstream(win32::WideToUtf8(path), std::ios::binary) << answer;
    ExplainRun run = RunExplain(options + L" --json \"" + path + L"\"");
    ::DeleteFileW(path.c_str());
    return run;
}

json Offer(const std::string& name, const json& ps = json::object()) {
    json offer = {{"ad", {{"f", "tag-" + name}, {"o", name}}},
                  {"ps", {{"i", name + ".png"}, {"dn", "Display " + name}, {"u", "https://localhost/dl/" + name}}}};
    for (auto item = ps.begin(); item != ps.end(); ++item)
        offer["ps"][item.key()] = item.value();
    return offer;
}

// "cfs" is read only for "pn" offers.
json FlowOffer(const std::string& name, const json& cfs, json ps = json::object()) {
    ps["pn"] = true;
    ps["cfs"] = cfs;
    return Offer(name, ps);
}

json Answer(const json& offers, int maxOffers = 10) {
    return {{"l", "US"}, {"f", {{"m", maxOffers}}}, {"o", offers}};
}

// (offer, verdict, reason) of each row of the report.
std::vector<std::vector<std::string>> Verdicts(const json& report) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& offer : report.at("offers"))
        rows.push_back({offer.at("offer").get<std::string>(), offer.at("verdict").get<std::string>(),
                        offer.at("reason").get<std::string>()});
    return rows;
}

json Report(const ExplainRun& run) {
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    try {
        return json::parse(run.output);
    } catch (const std::exception&) {
        ADD_FAILURE() << "not JSON: " << run.output;
        return json::object();
    }
}

class ExplainTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::Reset();
        win32::RegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Installed").c_str(), 0, nullptr, 0,
                                    KEY_WRITE, nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        std::ofstream(win32::WideToUtf8(m_presentFile)) << "x";
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        ::DeleteFileW(m_presentFile.c_str());
    }
    std::wstring m_presentFile = TempPath(L"wayfarer-explain-present.txt");
};

TEST_F(ExplainTest, TellsEachRefusalWithTheReasonTheInstallerReports) {
    const json offers = {
        Offer("Admitted", {{"v", 1}}),
        Offer("SameVertical", {{"v", 1}}),
        Offer("Exclusive", {{"v", 2}, {"exc", true}}),
        FlowOffer("TooLate", {{"mb", 0}}, {{"v", 3}}),
        Offer("KeyPresent", {{"v", 4}, {"r", {"HKCU\\Software\\WayfarerExplainTest\\Installed"}}}),
        Offer("HugeRam", {{"v", 5}, {"ram", 1 << 30}}),
        Offer("FilePresent", {{"v", 6}, {"fe", {win32::WideToUtf8(m_presentFile)}}}),
        Offer("FileMissing", {{"v", 7}, {"ife", {win32::WideToUtf8(m_presentFile) + ".none"}}}),
    };
    const json report = Report(ExplainAnswer(Answer(offers).dump()));
    const std::vector<std::vector<std::string>> expected = {
        {"Admitted", "admitted", ""},
        {"SameVertical", "refused", "SAME VERTICAL OFFER ALREADY PRESENT"},
        {"Exclusive", "refused", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"},
        {"TooLate", "refused", "SHOWED 1 PRODUCTS BUT ONLY 0 ALLOWED BEFORE"},
        {"KeyPresent", "refused", "REGISTRY KEY EXISTS"},
        {"HugeRam", "refused", "NOT ENOUGH RAM"},
        {"FilePresent", "refused", "FILE EXISTS"},
        {"FileMissing", "refused", "NONE OF THE FILES EXISTS"},
    };
    EXPECT_EQ(Verdicts(report), expected);
    // Each refusal is one the installer would report, recorded and not sent.
    EXPECT_EQ(report.at("loadingEvents").size(), expected.size() - 1);
    EXPECT_EQ(report.at("acceptAll").at("shown"), json({"Admitted"}));
    EXPECT_TRUE(backend::Requests().empty());
}

TEST_F(ExplainTest, WalksTheDisplayTimeRulesOfTheAdmittedOffers) {
    struct Case {
        const char* name;
        json offers;
        int maxOffers;
        json acceptAll;
        json ifDeclinedFirst;
        json ifSkipAllFirst;
    };
    const json skipAll = {{"shown", {"A"}},
                          {"skipped",
                           {{{"offer", "B"}, {"reason", "SKIP ALL CLICKED"}, {"reported", true}},
                            {{"offer", "C"}, {"reason", "SKIP ALL CLICKED"}, {"reported", true}}}}};
    const std::vector<Case> cases = {
        {"mo of the first offer",
         {FlowOffer("A", {{"mo", 1}}, {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}})},
         10,
         {{"shown", {"A"}},
          {"skipped",
           {{{"offer", "B"}, {"reason", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"}, {"reported", true}},
            {{"offer", "C"}, {"reason", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"}, {"reported", true}}}}},
         nullptr,
         skipAll},
        {"saad of the first offer",
         {FlowOffer("A", {{"saad", true}}, {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}})},
         3,
         {{"shown", {"A", "B", "C"}}, {"skipped", json::array()}},
         {{"shown", {"A"}},
          {"skipped",
           {{{"offer", "B"}, {"reason", "SKIP ALL AFTER DECLINE OFFER DECLINED"}, {"reported", true}},
            {{"offer", "C"}, {"reason", "SKIP ALL AFTER DECLINE OFFER DECLINED"}, {"reported", true}}}}},
         skipAll},
        {"sied after a decline",
         {Offer("A", {{"v", 1}}), FlowOffer("B", {{"sied", true}}, {{"v", 2}}), Offer("C", {{"v", 3}})},
         2,
         {{"shown", {"A", "B", "C"}}, {"skipped", json::array()}},
         {{"shown", {"A", "C"}},
          {"skipped", {{{"offer", "B"}, {"reason", "SKIPPED BECAUSE OF EARLIER DECLINE"}, {"reported", true}}}}},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const json report = Report(ExplainAnswer(Answer(c.offers, c.maxOffers).dump()));
        EXPECT_EQ(report.at("acceptAll"), c.acceptAll);
        if (!c.ifDeclinedFirst.is_null())
            EXPECT_EQ(report.at("ifDeclined").at("A"), c.ifDeclinedFirst);
        if (!c.ifSkipAllFirst.is_null())
            EXPECT_EQ(report.at("ifSkipAll").at("A"), c.ifSkipAllFirst);
    }
}

TEST_F(ExplainTest, StopsWhereTheLimitEndsTheEvaluation) {
    const json report = Report(ExplainAnswer(
        Answer({Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}}), Offer("D", {{"v", 4}})}, 2)
            .dump()));
    const std::vector<std::vector<std::string>> expected = {{"A", "admitted", ""},
                                                            {"B", "admitted", ""},
                                                            {"C", "not examined", "limit of 2 offers reached"},
                                                            {"D", "not read", "evaluation ended before it"}};
    EXPECT_EQ(Verdicts(report), expected);
    EXPECT_TRUE(report.at("loadingEvents").empty());
}

TEST_F(ExplainTest, FailsClearlyOnWhatTheInstallerCannotRead) {
    struct Case {
        const char* name;
        std::string answer;
        std::wstring options;
        DWORD exitCode;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"not JSON", "{\"o\": [", L"", 4, "not understood"},
        {"blank", "  \n", L"", 4, "empty"},
        {"an offer without its \"ps\"", R"({"f":{"m":3},"o":[{"ad":{"o":"A","f":"a"}}]})", L"", 4, "not understood"},
        {"no limit of offers", R"({"o":[]})", L"", 4, "not understood"},
        {"DLM without a product", R"({"o":[]})", L"--flavour dlm", 4, "not understood"},
        {"DLM product without its address", R"({"i":{"ct":"Tool","cu":""}})", L"--flavour dlm", 5,
         "configuration error page"},
        {"unknown option", "{}", L"--colour red", 2, "usage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = TempPath(L"wayfarer-explain-bad.json");
        std::ofstream(win32::WideToUtf8(path), std::ios::binary) << c.answer;
        const ExplainRun run = RunExplain(c.options + L" \"" + path + L"\"");
        ::DeleteFileW(path.c_str());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_EQ(RunExplain(L"\"" + TempPath(L"wayfarer-explain-none.json") + L"\"").exitCode, 3u);
}

TEST_F(ExplainTest, ReadsTheProductAndOffersOfADlmAnswer) {
    const json answer = {{"l", "DE"},
                         {"i", {{"ct", "Tool"}, {"cu", "https://localhost/dl/tool.exe"}}},
                         {"f", {{"m", 2}}},
                         {"o", {Offer("A", {{"v", 1}}), Offer("B", {{"v", 1}})}}};
    const json report = Report(ExplainAnswer(answer.dump(), L"--flavour dlm --country FR"));
    EXPECT_EQ(report.at("flavour"), "dlm");
    EXPECT_EQ(report.at("country"), "FR");
    const std::vector<std::vector<std::string>> expected = {{"A", "admitted", ""},
                                                            {"B", "refused", "SAME VERTICAL OFFER ALREADY PRESENT"}};
    EXPECT_EQ(Verdicts(report), expected);

    // "00xA" as the product's "ch" switches the offers off.
    json off = answer;
    off["i"]["ch"] = "00xA";
    const json offReport = Report(ExplainAnswer(off.dump(), L"--flavour dlm"));
    EXPECT_EQ(offReport.at("offersRead"), false);
    EXPECT_TRUE(offReport.at("offers").empty());
}

TEST_F(ExplainTest, AsksTheEndpointOnceAndSendsNothingElseNorWritesTheRegistry) {
    // A "pn" offer whose stamp the installer writes once it is shown; the dry run must not.
    const std::string stampKey = "Software\\WayfarerExplainTest\\Stamp";
    // "mo" 1 makes every walk skip C's page, a skip the installer would report: the dry run must only tell it.
    const json answer = Answer(
        {Offer(
             "A",
             {{"v", 1}, {"pn", true}, {"pnr", "HKLM\\" + stampKey + "\\Shown"}, {"cfs", {{"mo", 1}, {"saad", true}}}}),
         Offer("B", {{"v", 1}}), Offer("C", {{"v", 2}})});
    backend::Script("/o", {{.body = answer.dump(), .headers = {{"Content-Type", "application/json"}}}});

    const ExplainRun run = RunExplain(L"--url " + backend::Url("/o") + L" --exe-name QuarvelSetup_ab-12cd.exe");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("SAME VERTICAL OFFER ALREADY PRESENT"), std::string::npos) << run.output;

    const auto requests = backend::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/o");
    const json body = json::parse(requests[0].body);
    EXPECT_EQ(body.at("u"), "ab-12cd");
    EXPECT_EQ(body.at("l"), "en");
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        win32::RegKey key;
        EXPECT_NE(
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::Utf8ToWide(stampKey).c_str(), 0, KEY_READ | view, key.Put()),
            ERROR_SUCCESS);
    }
}

}  // namespace
