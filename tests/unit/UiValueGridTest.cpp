// The value grid without a window: rows, labels and texts, steps, typed values, removing
// tones and the frequency the scale and note buttons set.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "platform/MemorySettingsStore.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/ValueGrid.h"

namespace sonimo {
namespace {

std::vector<std::u16string> labels(const std::vector<GridRow>& rows) {
    std::vector<std::u16string> out;
    for (const auto& r : rows)
        out.push_back(r.label);
    return out;
}

auto noFiles = [](const std::u16string&) { return false; };

TEST(GridRows, AMonoConstantThreeToneSineShowsOneFrequencyRowPerTone) {
    ToneData t = defaultToneData();
    setToneCount(t, 3);
    const auto rows = gridRows(t, noFiles);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(labels(rows),
              (std::vector<std::u16string>{u"正弦波 1 周波数", u"正弦波 2 周波数", u"正弦波 3 周波数"}));
    EXPECT_EQ(rows[0].code, 256u);
    EXPECT_EQ(rows[2].code, 258u);
    EXPECT_EQ(rows[0].value, u"440.00Hz");
}

TEST(GridRows, AStereoSweepShowsLeftStartLeftEndRightStartRightEndPerTone) {
    ToneData t = defaultToneData();
    setToneCount(t, 2);
    setStereo(t);
    setKind(t, ToneKind::LinearSweep);
    toggleRelativeAmplitude(t);
    t.relativeAmplitudeDb[1] = -12;
    const auto rows = gridRows(t, noFiles);
    ASSERT_EQ(rows.size(), 11u);
    std::vector<std::uint32_t> codes;
    for (const auto& r : rows)
        codes.push_back(r.code);
    EXPECT_EQ(codes,
              (std::vector<std::uint32_t>{256, 768, 512, 1024, 1280, 257, 769, 513, 1025, 1281, 1536}));
    EXPECT_EQ(rows[0].label, u"正弦波 1 左開始周波数");
    EXPECT_EQ(rows[1].label, u"正弦波 1 左終了周波数");
    EXPECT_EQ(rows[2].label, u"正弦波 1 右開始周波数");
    EXPECT_EQ(rows[3].label, u"正弦波 1 右終了周波数");
    EXPECT_EQ(rows[9].label, u"正弦波 2 相対振幅");
    EXPECT_EQ(rows[9].value, u"-12dB");
    EXPECT_EQ(rows[10].label, u"正弦波長さ");
    EXPECT_EQ(rows[10].value, u"1000ms");
    setMono(t);
    EXPECT_EQ(rowLabel(t, 256), u"正弦波 1 開始周波数");
    EXPECT_EQ(rowLabel(t, 768), u"正弦波 1 終了周波数");
    EXPECT_EQ(rowValueText(t, 512), u""); // a right-channel row of a mono tone has no value
    setKind(t, ToneKind::ConstantContinuous);
    setStereo(t);
    EXPECT_EQ(rowLabel(t, 256), u"正弦波 1 左周波数");
    EXPECT_EQ(rowLabel(t, 512), u"正弦波 1 右周波数");
}

TEST(GridRows, ANoiseShowsOneRowOfNameOrLength) {
    ToneData t = defaultToneData();
    setWaveform(t, BrownNoise);
    auto rows = gridRows(t, noFiles);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (GridRow{kRowNameOnly, u"ブラウンノイズ", u""}));
    toggleFixedLength(t);
    rows = gridRows(t, noFiles);
    EXPECT_EQ(rows[0], (GridRow{kRowLength, u"ブラウンノイズ長さ", u"1000ms"}));
}

TEST(GridRows, AListToneShowsItsLinesAndReportsMissingFilesOnce) {
    TempDir dir;
    const std::u16string list = dir.path(u"a.tdl");
    const std::u16string present = dir.path(u"here.tdf");
    ASSERT_TRUE(writeToneList(list, {present, u"500ミリ秒の無音。", dir.path(u"gone.wav")}));
    ToneData t = defaultToneData();
    t.waveform = FromList;
    t.flags = ToneFlagFixedLength;
    setListPath(t, list);
    RecordingNotice notice;
    const auto rows = gridRows(t, [&](const std::u16string& p) { return p == present; });
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].label, list);
    EXPECT_EQ(rows[0].value, present);
    EXPECT_EQ(rows[1].label, u"");
    EXPECT_EQ(rows[1].value, u"500ミリ秒の無音。");
    EXPECT_EQ(rows[2].code, kRowLength);
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"ファイル「" + dir.path(u"gone.wav") + u"」がありません");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);

    // A list that is not a .tdl is "unsaved"; a missing list gives one row with its path.
    const std::u16string tmp = dir.path(u"b.tmp");
    ASSERT_TRUE(writeToneList(tmp, {u"100ミリ秒の無音。"}));
    setListPath(t, tmp);
    EXPECT_EQ(gridRows(t, noFiles)[0].label, u"保存されていない一覧");
    setListPath(t, dir.path(u"none.tdl"));
    t.flags = 0;
    const auto missing = gridRows(t, noFiles);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0], (GridRow{kRowNameOnly, dir.path(u"none.tdl"), u""}));
}

struct StepCase {
    std::uint32_t from;
    bool up;
    StepSize size;
    std::uint32_t to;
};

TEST(LengthSteps, SmallAndLargeStepsFollowTheirThresholds) {
    MemorySettingsStore settings;
    RecordingNotice notice;
    const StepCase cases[] = {
        {1000, true, StepSize::Small, 2000},        {2000, false, StepSize::Small, 1000},
        {1000, false, StepSize::Small, 900},        {900, true, StepSize::Small, 1000},
        {100, false, StepSize::Small, 100},         {150, false, StepSize::Small, 50},
        {500, false, StepSize::Large, 500},         {501, false, StepSize::Large, 1},
        {5000, false, StepSize::Large, 0},          {4999, false, StepSize::Large, 4499},
        {999, true, StepSize::Large, 1499},         {9999000, true, StepSize::Large, 10004000},
        {9999000, true, StepSize::Small, 10000000}, {9999500, true, StepSize::Small, 9999500},
    };
    for (const auto& c : cases) {
        ToneData t = defaultToneData();
        toggleFixedLength(t);
        t.lengthMs = c.from;
        stepValue(t, kRowLength, c.up, c.size, settings);
        EXPECT_EQ(t.lengthMs, c.to) << c.from << (c.up ? " up" : " down");
    }
    // only the small step past 10,000,000 is refused, with its message
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"正数を入力してください");
    EXPECT_EQ(notice.shown[0].caption, u"時間");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);
}

TEST(AmplitudeSteps, StopAtZeroAndAtMinus90) {
    MemorySettingsStore settings;
    ToneData t = defaultToneData();
    toggleRelativeAmplitude(t);
    t.relativeAmplitudeDb[2] = -1;
    EXPECT_TRUE(stepValue(t, kRowAmplitude + 2, true, StepSize::Large, settings));
    EXPECT_EQ(t.relativeAmplitudeDb[2], 0);
    EXPECT_FALSE(stepValue(t, kRowAmplitude + 2, true, StepSize::Small, settings));
    t.relativeAmplitudeDb[2] = -90;
    EXPECT_FALSE(stepValue(t, kRowAmplitude + 2, false, StepSize::Small, settings));
    t.relativeAmplitudeDb[2] = -127; // typed values may lie lower; stepping still goes up
    EXPECT_TRUE(stepValue(t, kRowAmplitude + 2, true, StepSize::Small, settings));
    EXPECT_EQ(t.relativeAmplitudeDb[2], -126);
}

TEST(FrequencySteps, SemitoneModeReadsItsStepAtEachCall) {
    MemorySettingsStore settings;
    ToneData t = defaultToneData();
    ASSERT_TRUE(stepValue(t, kRowLeftStart, true, StepSize::Small, settings));
    EXPECT_NEAR(t.leftStartHz[0], 466.1637615, 1e-6);
    settings.writeText(u"settings", u"frequency increment step", u"12");
    t.leftStartHz[0] = 440;
    stepValue(t, kRowLeftStart, true, StepSize::Small, settings);
    EXPECT_DOUBLE_EQ(t.leftStartHz[0], 880.0 * semitoneFactor(12) / 2.0);
    stepValue(t, kRowLeftStart, false, StepSize::Small, settings);
    EXPECT_NEAR(t.leftStartHz[0], 440, 1e-9);
    // a zero step leaves the value; 21990 one semitone up is cut to 22000, which steps no more
    settings.writeText(u"settings", u"frequency increment step", u"1");
    t.leftStartHz[0] = 21990;
    stepValue(t, kRowLeftStart, true, StepSize::Small, settings);
    EXPECT_EQ(t.leftStartHz[0], 22000.0);
    EXPECT_FALSE(stepValue(t, kRowLeftStart, true, StepSize::Small, settings));
    t.leftStartHz[0] = 0;
    stepValue(t, kRowLeftStart, true, StepSize::Small, settings);
    EXPECT_NEAR(t.leftStartHz[0], 0.0105946, 1e-7);
    t.leftStartHz[0] = 0;
    EXPECT_FALSE(stepValue(t, kRowLeftStart, false, StepSize::Small, settings));
}

TEST(FrequencySteps, HertzModeAddsTheDecimalStepAndStopsAtZero) {
    MemorySettingsStore settings;
    settings.writeBool(u"settings", u"semitone increment", false);
    ToneData t = defaultToneData();
    t.leftStartHz[0] = 0.5;
    stepValue(t, kRowLeftStart, false, StepSize::Small, settings);
    EXPECT_EQ(t.leftStartHz[0], 0.0);
    settings.writeText(u"settings", u"frequency increment step", u"2.5Hz");
    t.rightEndHz[3] = 100;
    stepValue(t, kRowRightEnd + 3, true, StepSize::Small, settings);
    EXPECT_EQ(t.rightEndHz[3], 102.5);
    t.rightEndHz[3] = 21999;
    stepValue(t, kRowRightEnd + 3, true, StepSize::Small, settings);
    EXPECT_EQ(t.rightEndHz[3], 22000.0);
}

TEST(FrequencySteps, LargeStepsAreOctavesCappedAbove) {
    MemorySettingsStore settings;
    ToneData t = defaultToneData();
    t.leftEndHz[0] = 15000;
    stepValue(t, kRowLeftEnd, true, StepSize::Large, settings);
    EXPECT_EQ(t.leftEndHz[0], 22000.0);
    t.leftEndHz[0] = 0.001;
    stepValue(t, kRowLeftEnd, false, StepSize::Large, settings);
    EXPECT_EQ(t.leftEndHz[0], 0.0005); // no lower limit
}

TEST(SemitoneFactor, IsExactRepeatedSquaringWithReciprocals) {
    EXPECT_EQ(semitoneFactor(0), 1.0);
    EXPECT_EQ(semitoneFactor(1), 1.0594630943592953);
    EXPECT_NEAR(semitoneFactor(12), 2.0, 1e-14);
    EXPECT_EQ(semitoneFactor(-3), 1.0 / semitoneFactor(3));
}

TEST(TypedValues, FrequenciesAreCorrectedIntoOneTo22000WithTheirMessage) {
    ToneData t = defaultToneData();
    RecordingNotice notice;
    storeTypedValue(t, kRowLeftStart, u"30000");
    EXPECT_EQ(t.leftStartHz[0], 22000.0);
    storeTypedValue(t, kRowLeftStart, u"0");
    EXPECT_EQ(t.leftStartHz[0], 1.0);
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_EQ(notice.shown[0].text, u"0～22000の間の周波数をヘルツで入力してください");
    EXPECT_EQ(notice.shown[0].caption, u"周波数");
    for (const char16_t* text : {u"440.00Hz", u"440", u" 440 Hz", u"4.4e2"}) {
        storeTypedValue(t, kRowRightStart + 5, text);
        EXPECT_EQ(t.rightStartHz[5], 440.0);
    }
    EXPECT_EQ(notice.shown.size(), 2u);
}

TEST(TypedValues, AmplitudesAndLengthsFollowTheirRules) {
    ToneData t = defaultToneData();
    RecordingNotice notice;
    storeTypedValue(t, kRowAmplitude, u"-127");
    EXPECT_EQ(t.relativeAmplitudeDb[0], -127);
    EXPECT_EQ(rowValueText(t, kRowAmplitude), u"-127dB");
    storeTypedValue(t, kRowAmplitude, u"-0");
    EXPECT_EQ(t.relativeAmplitudeDb[0], 0);
    EXPECT_TRUE(notice.shown.empty());
    t.relativeAmplitudeDb[0] = -5;
    storeTypedValue(t, kRowAmplitude, u"abc");
    EXPECT_EQ(t.relativeAmplitudeDb[0], 0);
    storeTypedValue(t, kRowAmplitude, u"-300");
    EXPECT_EQ(t.relativeAmplitudeDb[0], -127);
    storeTypedValue(t, kRowAmplitude, u"6dB");
    EXPECT_EQ(t.relativeAmplitudeDb[0], 0);
    ASSERT_EQ(notice.shown.size(), 3u);
    EXPECT_EQ(notice.shown[0].caption, u"振幅");
    storeTypedValue(t, kRowLength, u"2500ms");
    EXPECT_EQ(t.lengthMs, 2500u);
    storeTypedValue(t, kRowLength, u"99999999999999");
    EXPECT_EQ(t.lengthMs, 1000u);
    storeTypedValue(t, kRowLength, u"-5");
    EXPECT_EQ(t.lengthMs, 1000u);
    EXPECT_EQ(notice.shown.size(), 5u);
    EXPECT_FALSE(storeTypedValue(t, kRowNameOnly, u"5"));
}

TEST(RemoveTones, ShiftsLaterTonesDownWithTheirAmplitudes) {
    ToneData t = defaultToneData();
    setToneCount(t, 4);
    toggleRelativeAmplitude(t);
    for (int i = 0; i < 4; ++i) {
        t.leftStartHz[i] = 100.0 * (i + 1);
        t.relativeAmplitudeDb[i] = static_cast<std::int8_t>(-i);
    }
    ASSERT_TRUE(removeSelectedTones(t, {kRowLeftStart + 1}, false));
    EXPECT_EQ(t.toneCount, 3);
    EXPECT_EQ(t.leftStartHz[1], 300.0);
    EXPECT_EQ(t.leftStartHz[2], 400.0);
    EXPECT_EQ(t.relativeAmplitudeDb[1], -2);
    // two rows of one tone remove it once; amplitude rows name no tone
    ASSERT_TRUE(removeSelectedTones(t, {kRowLeftStart + 2, kRowAmplitude + 2, kRowAmplitude + 0}, false));
    EXPECT_EQ(t.toneCount, 2);
    EXPECT_FALSE(removeSelectedTones(t, {kRowAmplitude}, false));
    // selecting every tone leaves one
    ASSERT_TRUE(removeSelectedTones(t, {kRowLeftStart, kRowLeftStart + 1}, false));
    EXPECT_EQ(t.toneCount, 1);
    EXPECT_EQ(t.leftStartHz[0], 100.0);
    EXPECT_FALSE(removeSelectedTones(t, {kRowLeftStart}, false));
}

TEST(RemoveTones, TheLengthRowFirstOrANoiseRemovesNothing) {
    ToneData t = defaultToneData();
    setToneCount(t, 3);
    toggleFixedLength(t);
    EXPECT_FALSE(removeSelectedTones(t, {kRowLength, kRowLeftStart}, true));
    EXPECT_EQ(t.toneCount, 3);
    setWaveform(t, WhiteNoise);
    EXPECT_FALSE(removeSelectedTones(t, {kRowLeftStart}, false));
}

TEST(SetFrequency, GoesToTheSelectedRowOrBothStartsOfItsTone) {
    ToneData t = defaultToneData();
    setToneCount(t, 4);
    setStereo(t);
    setFrequencyFromValue(t, 1234.567, kRowRightStart + 2);
    EXPECT_EQ(t.rightStartHz[2], 1234.57);
    setFrequencyFromValue(t, 440, kRowAmplitude + 3);
    EXPECT_EQ(t.leftStartHz[3], 440.0);
    EXPECT_EQ(t.rightStartHz[3], 440.0);
    setFrequencyFromValue(t, 0.2, 0);
    EXPECT_EQ(t.leftStartHz[0], 1.0);
    EXPECT_EQ(t.rightStartHz[0], 1.0);
    setFrequencyFromValue(t, 99, kRowLength);
    EXPECT_EQ(t.leftStartHz[0], 99.0);
}

} // namespace
} // namespace sonimo
