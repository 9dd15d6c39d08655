#include "net/Jitter.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(Jitter, SpreadsThePauseByTheFractionEitherWay) {
    struct Case {
        std::chrono::milliseconds pause;
        double fraction;
        double unit;
        std::chrono::milliseconds expected;
    } cases[] = {
        {5000ms, 0.2, 0.0, 4000ms},  {5000ms, 0.2, 0.5, 5000ms}, {5000ms, 0.2, 1.0, 6000ms}, {1000ms, 0.5, 0.0, 500ms},
        {1000ms, 0.5, 0.75, 1250ms}, {0ms, 0.5, 0.9, 0ms},       {1000ms, 0.5, -3.0, 500ms}, {1000ms, 0.5, 7.0, 1500ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pause.count() << " ms, " << c.fraction << ", " << c.unit);
        EXPECT_EQ(net::Jittered(c.pause, c.fraction, c.unit), c.expected);
    }
}

TEST(Jitter, RandomUnitsStayInRangeAndVary) {
    double low = 1.0;
    double high = 0.0;
    for (int i = 0; i < 1000; ++i) {
        const double unit = net::RandomUnit();
        ASSERT_GE(unit, 0.0);
        ASSERT_LT(unit, 1.0);
        low = std::min(low, unit);
        high = std::max(high, unit);
    }
    // A generator stuck on one value would bring every installer back in step.
    EXPECT_LT(low, 0.1);
    EXPECT_GT(high, 0.9);
}
