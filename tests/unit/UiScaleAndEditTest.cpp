// The frequency scale's mappings and texts, and typing values into grid rows.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "tone/ToneData.h"
#include "ui/ScaleMath.h"
#include "ui/ValueGrid.h"

namespace sonimo {
namespace {

TEST(ScaleMapping, DecadesTakeAQuarterOfTheWidthEach) {
    const int m = 6;
    for (int s : {400, 777, 1241}) {
        EXPECT_EQ(scalePosition(0, m, s), m);
        EXPECT_EQ(scalePosition(100, m, s), m + static_cast<int>(0.25 * s)) << s;
        EXPECT_EQ(scalePosition(1000, m, s), m + static_cast<int>(0.5 * s)) << s;
        EXPECT_EQ(scalePosition(10000, m, s), m + static_cast<int>(0.75 * s)) << s;
        EXPECT_EQ(scalePosition(22000, m, s), m + s) << s;
        EXPECT_EQ(scalePosition(550, m, s), m + static_cast<int>(s * 0.375)) << s;
    }
}

TEST(ScaleMapping, ClicksMapBackAndOutsideValuesAreClamped) {
    const int m = 6, s = 800;
    EXPECT_EQ(scaleValueAt(m, m, s), 0);
    EXPECT_EQ(scaleValueAt(m + s, m, s), 22000);
    EXPECT_GT(scaleValueAt(m + s + 5, m, s), 22000);
    EXPECT_EQ(clampScaleValue(scaleValueAt(m + s + 5, m, s)), 22000);
    EXPECT_LT(scaleValueAt(0, m, s), 0);
    EXPECT_EQ(clampScaleValue(scaleValueAt(0, m, s)), 0);
    EXPECT_EQ(scaleValueAt(m + 200, m, s), 100);
    EXPECT_EQ(scaleValueAt(m + 400, m, s), 1000);
    EXPECT_EQ(scaleValueAt(m + 600, m, s), 10000);
    EXPECT_EQ(scaleValueAt(m + 300, m, s), 550);
    // every pixel maps to a value that maps back to the same pixel or its neighbour
    for (int px = m; px <= m + s; ++px)
        EXPECT_NEAR(scalePosition(clampScaleValue(scaleValueAt(px, m, s)), m, s), px, 2)
            << px; // 1 Hz is 2 px low down
    // a width of zero or less needs no special case
    EXPECT_EQ(clampScaleValue(scaleValueAt(10, m, 0)), 22000);
    EXPECT_EQ(clampScaleValue(scaleValueAt(10, m, -5)), 0);
    EXPECT_EQ(clampScaleValue(scaleValueAt(m, m, 0)), 0);
}

TEST(ScaleText, HertzBelowTenThousandAndKilohertzFromThere) {
    EXPECT_EQ(scaleValueText(9999), u"9999 Hz");
    EXPECT_EQ(scaleValueText(10000), u"10.00 kHz");
    EXPECT_EQ(scaleValueText(22000), u"22.00 kHz");
    EXPECT_EQ(scaleValueText(0), u"0 Hz");
    EXPECT_EQ(wheelSteps(120), 1);
    EXPECT_EQ(wheelSteps(-360), -3);
    EXPECT_EQ(wheelSteps(60), 1);
    EXPECT_EQ(wheelSteps(-60), -1);
    EXPECT_EQ(wheelSteps(59), 0);
}

struct Scripted {
    explicit Scripted(std::vector<std::optional<std::u16string>> a) : answers(std::move(a)) {}
    std::vector<std::optional<std::u16string>> answers;
    std::vector<std::u16string> titles, prompts, presets;
    AskValue ask() {
        return [this](const std::u16string& title, const std::u16string& prompt, const std::u16string& text) {
            titles.push_back(title);
            prompts.push_back(prompt);
            presets.push_back(text);
            auto a = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            return a;
        };
    }
};

TEST(EditRows, AsksEachSelectedRowAndStoresWithTheParsingRules) {
    ToneData t = defaultToneData();
    setToneCount(t, 2);
    setKind(t, ToneKind::ConstantFixed);
    auto rows = gridRows(t, [](const std::u16string&) { return false; });
    Scripted s({u"30000", u"2500 ms"});
    RecordingNotice notice;
    const auto stored = editRows(t, rows, {0, 2}, s.ask());
    EXPECT_EQ(stored, (std::vector<int>{0, 2}));
    EXPECT_EQ(s.titles[0], u"正弦波 1 周波数");
    EXPECT_EQ(s.prompts[0], u"正弦波 1 周波数:");
    EXPECT_EQ(s.presets[0], u"440.00Hz");
    EXPECT_EQ(s.presets[1], u"1000ms");
    EXPECT_EQ(t.leftStartHz[0], 22000.0);
    EXPECT_EQ(rows[0].value, u"22000.00Hz");
    EXPECT_EQ(t.lengthMs, 2500u);
    EXPECT_EQ(rows[2].value, u"2500ms");
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].caption, u"周波数");
}

TEST(EditRows, CancelEndsTheOperationAndKeepsWhatWasDone) {
    ToneData t = defaultToneData();
    setToneCount(t, 3);
    auto rows = gridRows(t, [](const std::u16string&) { return false; });
    Scripted s({u"100", std::nullopt, u"300"});
    EXPECT_EQ(editRows(t, rows, {0, 1, 2}, s.ask()), std::vector<int>{0});
    EXPECT_EQ(t.leftStartHz[0], 100.0);
    EXPECT_EQ(t.leftStartHz[2], 440.0);
    EXPECT_EQ(s.titles.size(), 2u);
}

TEST(EditRows, AnEndlessNoiseOrAListAsksNothing) {
    ToneData t = defaultToneData();
    setWaveform(t, WhiteNoise);
    auto rows = gridRows(t, [](const std::u16string&) { return false; });
    Scripted s({u"5"});
    EXPECT_TRUE(editRows(t, rows, {0}, s.ask()).empty());
    EXPECT_TRUE(s.titles.empty());
    toggleFixedLength(t); // a fixed-length noise has its length to type
    rows = gridRows(t, [](const std::u16string&) { return false; });
    EXPECT_EQ(editRows(t, rows, {0}, s.ask()), std::vector<int>{0});
    EXPECT_EQ(t.lengthMs, 5u);
}

} // namespace
} // namespace sonimo
