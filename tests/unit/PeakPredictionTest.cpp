#include <gtest/gtest.h>

#include "audio/PeakPrediction.h"
#include "synth/SilenceSource.h"
#include "tone/ToneData.h"

using namespace sonimo;

namespace {
ToneData steady(std::initializer_list<double> hz) {
    ToneData t = defaultToneData();
    int i = 0;
    for (double f : hz)
        t.leftStartHz[i] = t.leftEndHz[i] = t.rightStartHz[i] = t.rightEndHz[i] = f, ++i;
    t.toneCount = static_cast<std::uint8_t>(i);
    return t;
}
} // namespace

TEST(PeakPrediction, TheCommonPeriodOfSteadyTones) {
    EXPECT_DOUBLE_EQ(commonPeriodSeconds(steady({1000, 1500})), 0.002);
    EXPECT_DOUBLE_EQ(commonPeriodSeconds(steady({440.5, 441})), 2.0);
    EXPECT_DOUBLE_EQ(commonPeriodSeconds(steady({0, 1000})), 0.001) << "a 0 Hz tone adds no period";
    EXPECT_EQ(commonPeriodSeconds(steady({0})), 0.0);
    EXPECT_EQ(commonPeriodSeconds(steady({440.123, 1000})), 0.0) << "1000 s: past the limit";
    EXPECT_DOUBLE_EQ(commonPeriodSeconds(steady({440.123, 1000}), 2000), 1000.0);
    EXPECT_EQ(commonPeriodSeconds(steady({1000.0000001})), 0.0) << "no whole number of millihertz";

    ToneData stereo = steady({1000});
    setStereo(stereo);
    stereo.rightStartHz[0] = stereo.rightEndHz[0] = 750;
    EXPECT_DOUBLE_EQ(commonPeriodSeconds(stereo), 0.004) << "the right channel counts too";

    ToneData swept = steady({100});
    swept.leftEndHz[0] = 1000;
    swept.lengthMs = 1000;
    setKind(swept, ToneKind::LinearSweep);
    EXPECT_EQ(commonPeriodSeconds(swept), 0.0);
    ToneData noise = steady({1000});
    setWaveform(noise, PinkNoise);
    EXPECT_EQ(commonPeriodSeconds(noise), 0.0);
}

TEST(PeakPrediction, ASingleFullLevelSineAndSilence) {
    const PeakPrediction sine = predictPeak(steady({1000}), 48000);
    EXPECT_NEAR(sine.peakDbfs, 0.0, 0.01);
    EXPECT_NEAR(sine.crestFactorDb, 3.01, 0.02);
    EXPECT_EQ(sine.method, PeakMethod::CommonPeriod);
    EXPECT_DOUBLE_EQ(sine.windowSeconds, 0.001);

    SilenceSource silence(44100, 2, 0, 44100);
    const PeakPrediction quiet = measurePeak(silence, 10);
    EXPECT_EQ(quiet.peakDbfs, -1000);
    EXPECT_FALSE(quiet.limiterActs);
    EXPECT_EQ(quiet.method, PeakMethod::WholeTone);
    EXPECT_DOUBLE_EQ(quiet.windowSeconds, 1.0);
}
