// The pauses between the attempts of a file download, over a clock and a random source the test holds.
#include "download/Backoff.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "download/DownloadManager.h"

using download::Backoff;
using namespace std::chrono_literals;

namespace {

const download::RetryPolicy kPolicy{1000ms, 30000ms, 0.5, 6, 180000ms, 100};

// Fails attempts without progress, each ending when the previous pause does, and returns the pauses.
std::vector<long long> PausesWithoutProgress(Backoff& backoff, Backoff::Clock::time_point& now, int attempts) {
    std::vector<long long> pauses;
    for (int i = 0; i < attempts; ++i) {
        const auto pause = backoff.Failed(false, std::nullopt, now);
        pauses.push_back(pause ? pause->count() : -1);
        if (pause)
            now += *pause;
    }
    return pauses;
}

}  // namespace

TEST(Backoff, DoublesFromOneSecondUpToTheCapAndStopsAfterSixAttemptsWithoutProgress) {
    Backoff::Clock::time_point now{};
    Backoff backoff({1000ms, 8000ms, 0.5, 6, 180000ms, 100}, now, [] { return 0.5; });
    EXPECT_EQ(PausesWithoutProgress(backoff, now, 7), (std::vector<long long>{1000, 2000, 4000, 8000, 8000, -1, -1}));
    EXPECT_EQ(backoff.Attempts(), 7);
}

TEST(Backoff, SpreadsEachPauseByHalfEitherWayButNeverBeyondTheCap) {
    for (const auto& [unit, expected] : std::vector<std::pair<double, std::vector<long long>>>{
             {0.0, {500, 1000, 2000, 4000, 8000}},
             {0.999, {1499, 2998, 5996, 11992, 23984}},
         }) {
        Backoff::Clock::time_point now{};
        Backoff backoff(kPolicy, now, [unit = unit] { return unit; });
        EXPECT_EQ(PausesWithoutProgress(backoff, now, 5), expected) << unit;
    }
    Backoff::Clock::time_point now{};
    Backoff capped({1000ms, 3000ms, 0.5, 6, 180000ms, 100}, now, [] { return 0.999; });
    EXPECT_EQ(PausesWithoutProgress(capped, now, 3), (std::vector<long long>{1499, 2998, 3000}));
}

TEST(Backoff, HonoursRetryAfterUpToTheCap) {
    Backoff::Clock::time_point now{};
    Backoff backoff(kPolicy, now, [] { return 0.5; });
    EXPECT_EQ(backoff.Failed(false, 7000ms, now), std::optional(7000ms));
    // Shorter than the pause it would take anyway: the longer one stands.
    EXPECT_EQ(backoff.Failed(false, 0ms, now), std::optional(2000ms));
    EXPECT_EQ(backoff.Failed(false, 3600000ms, now), std::optional(30000ms));
}

TEST(Backoff, AnAttemptThatAdvancedStartsTheCountAndThePausesAgain) {
    Backoff::Clock::time_point now{};
    Backoff backoff(kPolicy, now, [] { return 0.5; });
    EXPECT_EQ(PausesWithoutProgress(backoff, now, 5), (std::vector<long long>{1000, 2000, 4000, 8000, 16000}));
    EXPECT_EQ(backoff.Failed(true, std::nullopt, now), std::optional(1000ms));
    EXPECT_EQ(PausesWithoutProgress(backoff, now, 6), (std::vector<long long>{1000, 2000, 4000, 8000, 16000, -1}));
}

TEST(Backoff, NoAttemptBeginsOnceTheTimeWithoutProgressIsSpentOrTheWholeBoundIsReached) {
    {
        Backoff::Clock::time_point now{};
        Backoff backoff(kPolicy, now, [] { return 0.5; });
        // Attempts that each hang for a minute: the third pause would end past three minutes.
        now += 60s;
        EXPECT_EQ(backoff.Failed(false, std::nullopt, now), std::optional(1000ms));
        now += 61s;
        EXPECT_EQ(backoff.Failed(false, std::nullopt, now), std::optional(2000ms));
        now += 62s;
        EXPECT_EQ(backoff.Failed(false, std::nullopt, now), std::nullopt);
    }
    {
        Backoff::Clock::time_point now{};
        Backoff backoff({1000ms, 30000ms, 0.5, 6, 180000ms, 10}, now, [] { return 0.5; });
        for (int i = 0; i < 9; ++i)
            EXPECT_TRUE(backoff.Failed(true, std::nullopt, now)) << i;
        EXPECT_EQ(backoff.Failed(true, std::nullopt, now), std::nullopt);
    }
}

// The bounds every installer ships with, from a manager no test has shortened: every other test sets its own, so
// a pause of nothing (attempts back to back at a failing server) would pass them all.
TEST(Backoff, ShippedPausesDoubleFromASecondAndSixAttemptsWithoutProgressEndTheDownload) {
    const download::RetryPolicy shipped = DownloadManager::Create(nullptr)->CurrentSettings().retry;
    Backoff::Clock::time_point now{};
    Backoff backoff(shipped, now, [] { return 0.5; });
    EXPECT_EQ(PausesWithoutProgress(backoff, now, 7), (std::vector<long long>{1000, 2000, 4000, 8000, 16000, -1, -1}));
    EXPECT_EQ(shipped.pauseCap, 30000ms);
    EXPECT_EQ(shipped.timeWithoutProgress, 180000ms);
    EXPECT_EQ(shipped.maxAttempts, 100);
}

// The spread as shipped, from the system's random numbers: installers that lost the same server together must
// come back to it at different moments, so a spread that is always the same fails here.
TEST(Backoff, ShippedSpreadSendsEveryClientBackAtItsOwnMoment) {
    const download::RetryPolicy shipped = DownloadManager::Create(nullptr)->CurrentSettings().retry;
    std::set<long long> firstPauses;
    for (int client = 0; client < 20; ++client) {
        Backoff::Clock::time_point now{};
        Backoff backoff(shipped, now);
        const auto pause = backoff.Failed(false, std::nullopt, now);
        ASSERT_TRUE(pause);
        EXPECT_GE(pause->count(), 500);
        EXPECT_LE(pause->count(), 1500);
        firstPauses.insert(pause->count());
    }
    // Twenty draws from a thousand points: far fewer than ten distinct ones is no spread at all.
    EXPECT_GE(firstPauses.size(), 10u);
}
