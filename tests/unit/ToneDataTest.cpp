#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "TestSupport.h"
#include "platform/File.h"
#include "tone/ToneData.h"

using namespace sonimo;

namespace {

std::vector<unsigned char> imageOf(const ToneData& t) {
    std::vector<unsigned char> v(kToneFileSize);
    std::memcpy(v.data(), &t, kToneFileSize);
    return v;
}

} // namespace

TEST(ToneFile, AResetRecordSavesToTheDocumentedBytes) {
    TempDir dir;
    const ToneData t = defaultToneData();
    ASSERT_TRUE(saveToneFile(t, dir.path(u"a.tdf")));
    const std::vector<unsigned char> bytes = readAll(dir.path(u"a.tdf"));
    ASSERT_EQ(bytes.size(), kToneFileSize);
    const unsigned char head[] = {0x00, 0x00, 0x00, 0x01, 0xE8, 0x03, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(bytes.data(), head, sizeof head));
    const unsigned char f440[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x7B, 0x40};
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(0, std::memcmp(bytes.data() + 8 + 8 * i, f440, 8)) << "double " << i;
    for (int i = 520; i < 539; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;

    ToneData back;
    std::memset(&back, 0x5A, sizeof back);
    ASSERT_TRUE(loadToneFile(back, dir.path(u"a.tdf")));
    EXPECT_EQ(imageOf(back), bytes);
}

TEST(ToneFile, LoadingRefusesShortFilesAndAcceptsLongerOnes) {
    TempDir dir;
    ToneData t = defaultToneData();
    t.leftStartHz[0] = 1234.5;
    std::vector<unsigned char> img = imageOf(t);

    writeAll(dir.path(u"short.tdf"), std::vector<unsigned char>(img.begin(), img.end() - 1));
    ToneData r = t;
    EXPECT_FALSE(loadToneFile(r, dir.path(u"short.tdf")));
    EXPECT_EQ(+r.leftStartHz[0], 440.0) << "a failed load leaves the defaults";

    img.push_back(0x77);
    writeAll(dir.path(u"long.tdf"), img);
    EXPECT_TRUE(loadToneFile(r, dir.path(u"long.tdf")));
    EXPECT_EQ(+r.leftStartHz[0], 1234.5);

    EXPECT_FALSE(loadToneFile(r, dir.path(u"missing.tdf")));
    EXPECT_EQ(+r.leftStartHz[0], 440.0);
}

TEST(ToneValidity, FrequenciesOfActiveTonesMustLieWithinZeroTo22000Hz) {
    ToneData t = defaultToneData();
    t.leftStartHz[0] = 22000.0;
    EXPECT_TRUE(isValid(t));
    t.leftStartHz[0] = 22000.01;
    EXPECT_FALSE(isValid(t));
    t.leftStartHz[0] = 0.0;
    EXPECT_TRUE(isValid(t));
    t.rightEndHz[0] = -0.5;
    EXPECT_FALSE(isValid(t)) << "every one of the four arrays is checked";
    t.rightEndHz[0] = 440.0;
    t.leftEndHz[3] = 30000.0;
    EXPECT_TRUE(isValid(t)) << "slots at and beyond the tone count are not checked";
    t.toneCount = 4;
    EXPECT_FALSE(isValid(t));
}

TEST(ToneValidity, ToneCountAboveSixteenFailsAndZeroPasses) {
    ToneData t = defaultToneData();
    t.toneCount = 17;
    EXPECT_FALSE(isValid(t));
    t.toneCount = 0;
    EXPECT_TRUE(isValid(t));
}

TEST(ToneValidity, NotANumberIsRejectedInEveryArray) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int which = 0; which < 4; ++which) {
        ToneData t = defaultToneData();
        switch (which) {
        case 0:
            t.leftStartHz[0] = nan;
            break;
        case 1:
            t.leftEndHz[0] = nan;
            break;
        case 2:
            t.rightStartHz[0] = nan;
            break;
        default:
            t.rightEndHz[0] = nan;
            break;
        }
        EXPECT_FALSE(isValid(t)) << "array " << which;
    }
    ToneData t = defaultToneData();
    t.leftStartHz[0] = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(isValid(t));
}

TEST(ToneFile, AFileWithANotANumberFrequencyLoadsAsTheDefaults) {
    TempDir dir;
    ToneData t = defaultToneData();
    t.leftStartHz[0] = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(saveToneFile(t, dir.path(u"nan.tdf"))) << "saving does not validate";
    ToneData r;
    EXPECT_FALSE(loadToneFile(r, dir.path(u"nan.tdf")));
    EXPECT_EQ(+r.leftStartHz[0], 440.0);
}

TEST(ToneFile, AListPathIsCutAt259UnitsAndReadWithinItsField) {
    ToneData u = defaultToneData();
    setListPath(u, std::u16string(400, u'y'));
    EXPECT_EQ(listPathOf(u), std::u16string(259, u'y'));
    EXPECT_EQ(+u.listPath[259], 0);
}

TEST(ToneFile, AListPathWithoutTerminatorIsReadWithinItsField) {
    ToneData t = defaultToneData();
    for (std::size_t i = 0; i < kPathUnits; ++i)
        t.listPath[i] = u'x';
    EXPECT_EQ(listPathOf(t).size(), kPathUnits);
    t.listPath[5] = 0;
    EXPECT_EQ(listPathOf(t), u"xxxxx");
}

TEST(ToneFile, SavingReplacesALongerFileAndWritesFromListRecords) {
    TempDir dir;
    writeAll(dir.path(u"x.tdf"), std::vector<unsigned char>(5000, 0xEE));
    ToneData t = defaultToneData();
    t.waveform = FromList;
    setListPath(t, u"C:\\lists\\a.tdl");
    EXPECT_EQ(listPathOf(t), u"C:\\lists\\a.tdl");
    ASSERT_TRUE(saveToneFile(t, dir.path(u"x.tdf")));
    EXPECT_EQ(readAll(dir.path(u"x.tdf")), imageOf(t));
}

TEST(ToneDefaults, ResetKeepsThePathTailAndDiffersFromDefaultFollowsTheThreeRules) {
    ToneData t = defaultToneData();
    t.listPath[0] = u'a';
    t.listPath[1] = u'b';
    t.flags = 0x1F;
    resetToDefaults(t);
    EXPECT_EQ(+t.listPath[0], 0);
    EXPECT_EQ(+t.listPath[1], u'b');
    EXPECT_EQ(+t.flags, 0);
    EXPECT_FALSE(differsFromDefault(t));

    ToneData a = t;
    a.leftStartHz[0] = 441.0;
    EXPECT_TRUE(differsFromDefault(a));
    ToneData b = t;
    addTone(b);
    EXPECT_TRUE(differsFromDefault(b));
    ToneData c = t;
    c.waveform = FromList;
    EXPECT_TRUE(differsFromDefault(c));
    ToneData d = t;
    d.leftStartHz[1] = 100.0;
    d.flags = ToneFlagStereo;
    EXPECT_FALSE(differsFromDefault(d)) << "only the first left frequency counts";
}

TEST(ToneNames, WaveformNamesAndEmptyBeyondEleven) {
    ToneData t = defaultToneData();
    EXPECT_EQ(waveformName(t), u"正弦波");
    t.waveform = Impulse;
    EXPECT_EQ(waveformName(t), u"インパルス");
    t.waveform = GreyNoise;
    EXPECT_EQ(waveformName(t), u"グレイノイズ");
    t.waveform = FromList;
    EXPECT_EQ(waveformName(t), u"一覧から");
    t.waveform = 12;
    EXPECT_EQ(waveformName(t), u"");
    t.waveform = 255;
    EXPECT_EQ(waveformName(t), u"");
}

TEST(ToneKinds, KindIsReadBackFromBitsThreeZeroAndOne) {
    ToneData t = defaultToneData();
    const struct {
        std::uint16_t flags;
        ToneKind kind;
    } cases[] = {
        {0x0000, ToneKind::ConstantContinuous}, {0x0003, ToneKind::ConstantContinuous},
        {0x0008, ToneKind::ConstantFixed},      {0x000A, ToneKind::ConstantFixed},
        {0x0009, ToneKind::LinearSweep},        {0x000B, ToneKind::LogSweep},
    };
    for (const auto& c : cases) {
        t.flags = c.flags;
        EXPECT_EQ(toneKind(t), c.kind) << "flags " << c.flags;
    }
}

TEST(ToneEdits, SetKindChangesOnlyItsBitsAndTheLoop) {
    ToneData t = defaultToneData();
    t.flags =
        ToneFlagStereo | ToneFlagRelativeAmplitude | ToneFlagSweep | ToneFlagLogSweep | ToneFlagFixedLength;
    t.loop = 1;
    setKind(t, ToneKind::ConstantFixed);
    EXPECT_EQ(+t.flags, 0x1C);
    EXPECT_EQ(+t.loop, 1);
    setKind(t, ToneKind::LinearSweep);
    EXPECT_EQ(+t.flags, 0x1D);
    setKind(t, ToneKind::LogSweep);
    EXPECT_EQ(+t.flags, 0x1F);
    setKind(t, ToneKind::ConstantContinuous);
    EXPECT_EQ(+t.flags, 0x14);
    EXPECT_EQ(+t.loop, 0);
}

TEST(ToneEdits, FixedLengthAndLoopToggleTogether) {
    ToneData t = defaultToneData();
    toggleLoop(t);
    EXPECT_EQ(+t.loop, 1);
    EXPECT_EQ(+t.flags, ToneFlagFixedLength) << "a looped tone is always of fixed length";
    setKind(t, ToneKind::ConstantContinuous);
    EXPECT_EQ(+t.loop, 0);
    EXPECT_EQ(+t.flags, 0);

    t.flags = ToneFlagSweep | ToneFlagLogSweep;
    toggleFixedLength(t);
    EXPECT_EQ(+t.flags, ToneFlagFixedLength);
    t.flags |= ToneFlagSweep;
    t.loop = 1;
    toggleFixedLength(t);
    EXPECT_EQ(+t.flags, 0);
    EXPECT_EQ(+t.loop, 0);

    t.flags = ToneFlagFixedLength | ToneFlagSweep;
    toggleLoop(t);
    EXPECT_EQ(+t.flags, ToneFlagFixedLength | ToneFlagSweep) << "a fixed-length tone keeps its sweep";
    toggleLoop(t);
    EXPECT_EQ(+t.loop, 0);
    EXPECT_EQ(+t.flags, ToneFlagFixedLength | ToneFlagSweep);
}

TEST(ToneEdits, StereoCopiesTheActiveLeftFrequenciesOnly) {
    ToneData t = defaultToneData();
    t.toneCount = 2;
    t.leftStartHz[0] = 100;
    t.leftEndHz[0] = 200;
    t.leftStartHz[1] = 300;
    t.leftEndHz[1] = 400;
    t.leftStartHz[2] = 500;
    t.rightStartHz[2] = 7;
    toggleStereo(t);
    EXPECT_EQ(+t.flags, ToneFlagStereo);
    EXPECT_EQ(+t.rightStartHz[0], 100);
    EXPECT_EQ(+t.rightEndHz[0], 200);
    EXPECT_EQ(+t.rightStartHz[1], 300);
    EXPECT_EQ(+t.rightEndHz[1], 400);
    EXPECT_EQ(+t.rightStartHz[2], 7);
    t.rightStartHz[0] = 999;
    toggleStereo(t);
    EXPECT_EQ(+t.flags, 0);
    EXPECT_EQ(+t.rightStartHz[0], 999) << "going mono keeps the right values";
    toggleRelativeAmplitude(t);
    EXPECT_EQ(+t.flags, ToneFlagRelativeAmplitude);
    toggleRelativeAmplitude(t);
    EXPECT_EQ(+t.flags, 0);
}

TEST(ToneEdits, ChoosingANoiseKeepsOnlyFixedLengthAndLoop) {
    ToneData t = defaultToneData();
    t.flags = 0x001D;
    t.loop = 1;
    setWaveform(t, PinkNoise);
    EXPECT_EQ(+t.waveform, PinkNoise);
    EXPECT_EQ(+t.flags, 0x0008);
    EXPECT_EQ(+t.loop, 1);

    t.flags = 0x001F;
    setWaveform(t, Triangle);
    EXPECT_EQ(+t.flags, 0x001F) << "periodic waveforms leave the flags alone";
    setWaveform(t, FromList);
    EXPECT_EQ(+t.waveform, Triangle) << "a list is attached, never chosen";
}

TEST(ToneEdits, ToneCountAndTheWarningAtSixteen) {
    RecordingNotice notice;
    ToneData t = defaultToneData();
    setToneCount(t, 16);
    EXPECT_EQ(+t.toneCount, 16);
    setToneCount(t, 0);
    setToneCount(t, 17);
    EXPECT_EQ(+t.toneCount, 16);
    setToneCount(t, 15);
    addTone(t);
    EXPECT_EQ(+t.toneCount, 16);
    EXPECT_TRUE(notice.shown.empty());
    addTone(t);
    EXPECT_EQ(+t.toneCount, 16);
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"これ以上トーンを追加できません。追加できるトーンの数は16個までです。");
    EXPECT_EQ(notice.shown[0].caption, u"トーンを追加");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Warning);
}

TEST(ToneEdits, RaisingTheCountBringsBackStoredValues) {
    ToneData t = defaultToneData();
    t.toneCount = 3;
    t.leftStartHz[2] = 1234;
    setToneCount(t, 1);
    setToneCount(t, 3);
    EXPECT_EQ(+t.leftStartHz[2], 1234);
}
