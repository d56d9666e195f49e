#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "audio/Limiters.h"
#include "synth/DbGain.h"

using namespace sonimo;

TEST(DbToGainValues, WholeValuesAreTableEntriesAndFractionsInterpolate) {
    const DbGainTable& t = DbGainTable::instance();
    EXPECT_EQ(DbToGain(-3.0f), t.amplitude(-3));
    EXPECT_EQ(DbToGain(0.0f), 0x1000000);
    const std::int32_t lo = t.amplitude(-4), hi = t.amplitude(-3);
    EXPECT_EQ(DbToGain(-3.5f), lo + (hi - lo) / 2);
    EXPECT_EQ(DbToGain(-3.25f), lo + static_cast<std::int32_t>(0.75 * (hi - lo)));
    EXPECT_NEAR(DbToGain(-6.0206f) / 16777216.0, 0.5, 1e-3);
}

TEST(DbToGainValues, EveryInputGivesATableValue) {
    const DbGainTable& t = DbGainTable::instance();
    EXPECT_EQ(DbToGain(std::numeric_limits<float>::infinity()), t.amplitude(127));
    EXPECT_EQ(DbToGain(1e30f), t.amplitude(127));
    EXPECT_EQ(DbToGain(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(DbToGain(-1e30f), 0);
    EXPECT_EQ(DbToGain(std::nanf("")), 0);
    EXPECT_EQ(DbToGain(-200.0f), 0);
}
