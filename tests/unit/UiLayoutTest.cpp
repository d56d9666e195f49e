// Layout, window placement, notes, level meter, volume and status bar arithmetic.
#include <gtest/gtest.h>

#include "platform/MemorySettingsStore.h"
#include "ui/MainLayout.h"
#include "ui/MeterAndVolume.h"
#include "ui/NoteTable.h"

namespace sonimo {
namespace {

TEST(NoteTable, HoldsTheRoundedEqualTemperedFrequencies) {
    EXPECT_EQ(noteFrequency(0), 16.35);
    EXPECT_EQ(noteFrequency(48), 261.6);
    EXPECT_EQ(noteFrequency(34), 116.5);
    EXPECT_EQ(noteFrequency(72), 1047.0);
    EXPECT_EQ(noteFrequency(57), 440.0);
    EXPECT_EQ(noteFrequency(107), 7902.0);
    EXPECT_EQ(noteFrequency(108), 0.0);
    EXPECT_EQ(noteName(0), u"C0");
    EXPECT_EQ(noteName(1), u"C0#");
    EXPECT_EQ(noteName(34), u"A2#");
    EXPECT_EQ(noteName(57), u"A4");
    EXPECT_EQ(noteName(107), u"B8");
    for (int i = 1; i < kNoteCount; ++i)
        EXPECT_GT(noteFrequency(i), noteFrequency(i - 1)) << i;
}

TEST(MainLayout, StacksTheChildrenAndGivesTheGridWhatIsLeft) {
    MainLayoutInput in;
    in.clientWidth = 800;
    in.clientHeight = 600;
    in.mainToolbarHeight = 40;
    in.valueToolbarHeight = 28;
    in.buttonWidth = 90;
    in.noteWindowHeight = 250;
    in.statusBarHeight = 22;
    in.units = {6, 13};
    const MainLayout l = layoutMainWindow(in);
    EXPECT_EQ(l.mainToolbar, (Rect{0, 0, 800, 40}));
    EXPECT_EQ(l.toolbarFrame, (Rect{0, 40, 800, 68}));
    EXPECT_EQ(l.statusBar, (Rect{0, 578, 800, 600}));
    EXPECT_EQ(l.levelMeter, (Rect{0, 543, 800, 578}));
    EXPECT_EQ(l.noteWindow, (Rect{0, 293, 800, 543}));
    const int gap = in.units.y(4), bh = in.units.y(14);
    EXPECT_EQ(gap, 7);
    EXPECT_EQ(bh, 23);
    EXPECT_EQ(l.buttons[0], (Rect{6, 293 - gap - bh, 96, 293 - gap}));
    EXPECT_EQ(l.buttons[1].left, 6 + 90 + 6);
    EXPECT_EQ(l.buttons[2].right, 6 + 2 * 96 + 90);
    EXPECT_EQ(l.grid, (Rect{0, 68, 800, 293 - gap - bh - gap}));
    EXPECT_EQ(l.minClientHeight, 40 + 28 + kMinGridHeight + 7 + 23 + 7 + 250 + 35 + 22);
    // too small: the grid collapses to nothing instead of turning over
    in.clientHeight = 300;
    EXPECT_EQ(layoutMainWindow(in).grid.height(), 0);
}

TEST(MainLayout, VolumeSliderSitsInTheThirdStatusPartWithItsInset) {
    EXPECT_EQ(volumeSliderRect(1000, 22), (Rect{605, 2, 995, 20}));
    EXPECT_EQ(volumeSliderRect(500, 22).width(), 0);
}

TEST(NoteBody, PlacesTwelveColumnsOfNineOctavesAndTheScaleBelow) {
    const DialogUnits du{6, 13};
    const NoteBodyLayout l = layoutNoteBody(0, 0, 600, du);
    const int h = du.y(14);
    EXPECT_EQ(l.buttons[0], (Rect{3, 3, 50, 3 + h}));
    EXPECT_EQ(l.buttons[11].left, 50 * 11 + 3);
    EXPECT_EQ(l.buttons[12].top, 3 + h + 3);
    EXPECT_EQ(l.buttons[107].top, 3 + 8 * (h + 3));
    EXPECT_EQ(l.scale, (Rect{3, 9 * h + 30, 597, 9 * h + 75}));
    EXPECT_GE(l.height, l.scale.bottom); // the scale is never cut off
}

TEST(Placement, DefaultsMinimumsAndCentring) {
    const Rect work{0, 0, 1280, 1000};
    const std::vector<Rect> monitors{{0, 0, 1280, 1024}};
    Placement p = restorePlacement({}, 820, 600, work, monitors);
    EXPECT_EQ(p.window, (Rect{230, 200, 1050, 800}));
    EXPECT_FALSE(p.maximized);
    StoredPlacement s;
    s.x = 10;
    s.y = 20;
    s.width = -9999;
    s.height = 0;
    s.maximized = true;
    p = restorePlacement(s, 820, 600, work, monitors);
    EXPECT_EQ(p.window, (Rect{10, 20, 830, 620}));
    EXPECT_TRUE(p.maximized);
    s.width = 900;
    s.height = 700;
    EXPECT_EQ(restorePlacement(s, 820, 600, work, monitors).window, (Rect{10, 20, 910, 720}));
}

TEST(Placement, AWindowWithoutStoredHeightIsMovedAndCutIntoTheWorkArea) {
    const Rect work{0, 0, 1000, 700};
    StoredPlacement s;
    s.x = 900;
    s.y = -50;
    s.width = 1200;
    const Placement p = restorePlacement(s, 820, 600, work, {{0, 0, 1000, 700}});
    EXPECT_EQ(p.window, (Rect{0, 0, 1000, 600}));
}

TEST(Placement, AWindowOnAnUnpluggedMonitorComesBackAtItsSize) {
    const Rect work{0, 0, 1280, 1000};
    StoredPlacement s;
    s.x = 3000;
    s.y = 100;
    s.width = 900;
    s.height = 650;
    Placement p = restorePlacement(s, 820, 600, work, {{0, 0, 1280, 1024}});
    EXPECT_EQ(p.window, (Rect{380, 100, 1280, 750}));
    // on a second monitor that is still there it stays
    p = restorePlacement(s, 820, 600, work, {{0, 0, 1280, 1024}, {1280, 0, 4000, 1200}});
    EXPECT_EQ(p.window.left, 3000);
}

TEST(Placement, AWindowStoredOnALargerScreenIsCutToTheWorkArea) {
    const Rect work{0, 0, 1000, 740};
    StoredPlacement s;
    s.x = 100;
    s.y = 50;
    s.width = 1100;
    s.height = 800;
    EXPECT_EQ(restorePlacement(s, 820, 600, work, {{0, 0, 1000, 768}}).window, (Rect{0, 0, 1000, 740}));
}

TEST(LevelMeter, FillsFromMinus48To12Decibels) {
    EXPECT_EQ(meterFill(-127, 600), 0);
    EXPECT_EQ(meterFill(-48, 600), 0);
    EXPECT_EQ(meterFill(0, 600), 480);
    EXPECT_EQ(meterFill(12, 600), 600);
    EXPECT_EQ(meterFill(40, 600), 600);
    const int mono[] = {-6};
    EXPECT_EQ(meterTooltip(mono, 1), u"現在のレベル：-6dB");
    const int stereo[] = {-20, -3};
    EXPECT_EQ(meterTooltip(stereo, 2), u"現在のレベル：-3dB");
    const int none[] = {kLevelNone, kLevelNone};
    EXPECT_EQ(meterTooltip(none, 2), u"現在のレベル：--dB");
    EXPECT_EQ(meterLevel(-10, -24), -34);
    EXPECT_EQ(meterLevel(-110, -24), -127);
    EXPECT_EQ(meterLevel(-127, 0), -127);
    EXPECT_EQ(meterLevel(120, 0), 120);
}

TEST(Volume, SliderPositionsMapToWholeDecibelSteps) {
    EXPECT_EQ(volumeFromSlider(50), -24);
    EXPECT_EQ(volumeFromSlider(0), -48);
    EXPECT_EQ(volumeFromSlider(100), 0);
    EXPECT_EQ(volumeFromSlider(1), -48); // -47.52 rounds away from zero
    EXPECT_EQ(volumeFromSlider(99), 0);  // -0.48
    EXPECT_EQ(volumeFromSlider(-20), -48);
    EXPECT_EQ(sliderFromVolume(-24), 50);
    EXPECT_EQ(sliderFromVolume(-48), 0);
    EXPECT_EQ(sliderFromVolume(-1), 97);
    EXPECT_EQ(sliderFromVolume(-200), 0);
    EXPECT_EQ(sliderFromVolume(5), 100);
}

TEST(StatusTexts, SampleRateBelow44100CarriesTheAliasingAdvice) {
    MemorySettingsStore s;
    EXPECT_EQ(statusSampleRateText(s), u" サンプルレート 44100 Hz");
    s.writeText(u"Settings", u"SampleRate", u"5");
    EXPECT_EQ(statusSampleRateText(s), u" サンプルレート 32000 Hz（*値を上げてエイリアシングを防ぐ）");
    s.writeText(u"Settings", u"SampleRate", u"11");
    EXPECT_EQ(statusSampleRateText(s), u" サンプルレート 192000 Hz");
    for (const char16_t* bad : {u"99", u"-1", u"abc", u""}) {
        s.writeText(u"Settings", u"SampleRate", bad);
        EXPECT_EQ(statusSampleRateText(s), u" サンプルレート 44100 Hz");
    }
    EXPECT_EQ(statusProgramText().rfind(u"Sonimoテスト信号生成ソフト v4.00", 0), 0u);
}

} // namespace
} // namespace sonimo
