#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "platform/MemorySettingsStore.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "synth/LoopSource.h"
#include "synth/NoiseSources.h"
#include "synth/PeriodicSource.h"
#include "synth/ShapedNoiseSource.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

using namespace sonimo;

namespace {

ToneData steady(double hz, std::uint32_t ms, bool loop = false) {
    ToneData t = defaultToneData();
    t.leftStartHz[0] = t.leftEndHz[0] = hz;
    t.lengthMs = ms;
    setKind(t, ToneKind::ConstantFixed);
    t.loop = loop ? 1 : 0;
    return t;
}

std::vector<std::int32_t> drain(SourceRef s, int frames, int block = 1000) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * s->channels);
    for (int done = 0; done < frames; done += block) {
        const int n = std::min(block, frames - done);
        s->Read(out.data() + static_cast<std::size_t>(done) * s->channels, n);
    }
    return out;
}

LoopSource* loopOf(const SourceRef& s) {
    return dynamic_cast<LoopSource*>(s.get());
}

// Settings for one test: the store is installed for the test's lifetime.
class ScopedSettings {
public:
    ScopedSettings() { setCurrentSettings(&store); }
    ~ScopedSettings() { setCurrentSettings(nullptr); }
    MemorySettingsStore store;
};

void writeList(const std::u16string& path, const std::vector<std::u16string>& rows) {
    ASSERT_TRUE(writeToneList(path, rows));
}

} // namespace

TEST(ToneRendererLoops, ASingleSteadyToneLoopsOverWholePeriods) {
    const struct {
        double hz;
        std::uint32_t ms;
        int rate;
        std::int32_t end;
    } cases[] = {
        {440.0, 1000, 44100, 44100},  // P 100, F 44100, n 441
        {1000.0, 1000, 44100, 44088}, // P 44, n 1002
        {100.0, 15, 44100, 441},      // F 661 holds 1.499 periods: one
        {100.0, 16, 44100, 882},      // F 705 holds 1.599 periods: two
        {48.0, 10, 48000, 480},       // P 1000, F 480: no whole period fits; the length instead
    };
    for (const auto& c : cases) {
        SourceRef s = RenderTone(steady(c.hz, c.ms, true), c.rate);
        ASSERT_NE(loopOf(s), nullptr) << c.hz;
        EXPECT_EQ(loopOf(s)->loopStart(), 0);
        EXPECT_EQ(loopOf(s)->loopEnd(), c.end) << c.hz << " Hz, " << c.ms << " ms";
    }
}

TEST(ToneRendererLoops, AWholePeriodLoopJoinsWithoutAStep) {
    SourceRef s = RenderTone(steady(441.0, 1000, true), 44100); // P 100: the loop is 44100 frames
    const std::vector<std::int32_t> v = drain(s, 44100 + 300, 4096);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(v[44100 + i], v[i]) << i;
}

TEST(ToneRendererLoops, AToneWithoutAUsablePeriodLoopsOverItsLength) {
    EXPECT_EQ(wholePeriodLoopEnd(steady(0.0, 1000), 44100), 44100) << "0 Hz";
    EXPECT_EQ(wholePeriodLoopEnd(steady(48000.0, 1000), 44100), 44100) << "above the rate";
    EXPECT_EQ(wholePeriodLoopEnd(steady(0.4, 1000), 44100), 44100) << "a period longer than twice the tone";
    ToneData nan = steady(440.0, 1000);
    nan.leftStartHz[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(wholePeriodLoopEnd(nan, 44100), 44100);
    EXPECT_EQ(wholePeriodLoopEnd(steady(44100.0, 1000), 44100), 44100) << "one frame per period";
}

TEST(ToneRendererLoops, TheWholePeriodRegionUsesTheLengthEvenWithoutFixedLength) {
    ToneData t = steady(1000.0, 1000, true);
    t.flags &= ~ToneFlagFixedLength; // only a loaded file can hold this
    SourceRef s = RenderTone(t, 44100);
    ASSERT_NE(loopOf(s), nullptr);
    EXPECT_EQ(loopOf(s)->loopEnd(), 44088);
}

TEST(ToneRendererLoops, ChordsSweepsAndNoisesLoopOverTheTonesLength) {
    ToneData chord = steady(440.0, 500, true);
    chord.toneCount = 2;
    chord.leftStartHz[1] = 660.0;
    SourceRef c = RenderTone(chord, 48000);
    ASSERT_NE(loopOf(c), nullptr);
    EXPECT_EQ(loopOf(c)->loopEnd(), 24000);

    ToneData sweep = steady(440.0, 500, true);
    setKind(sweep, ToneKind::LinearSweep);
    EXPECT_EQ(loopOf(RenderTone(sweep, 48000))->loopEnd(), 24000);

    ToneData white = steady(440.0, 250, true);
    setWaveform(white, WhiteNoise);
    SourceRef w = RenderTone(white, 44100);
    ASSERT_NE(loopOf(w), nullptr);
    EXPECT_EQ(loopOf(w)->loopEnd(), 11025);
    EXPECT_NE(dynamic_cast<ShapedNoiseSource*>(&loopOf(w)->inner()), nullptr);

    ToneData pink = white;
    pink.waveform = PinkNoise;
    SourceRef p = RenderTone(pink, 44100);
    ASSERT_NE(loopOf(p), nullptr);
    EXPECT_NE(dynamic_cast<PinkNoiseSource*>(&loopOf(p)->inner()), nullptr)
        << "looped pink noise uses its own generator";
    pink.loop = 0;
    EXPECT_NE(dynamic_cast<ShapedNoiseSource*>(RenderTone(pink, 44100).get()), nullptr);
}

TEST(ToneRendererLoops, ALoopWithoutFixedLengthRepeatsEvery256Frames) {
    ToneData t = steady(440.0, 1000, true);
    t.toneCount = 2;
    t.flags &= ~ToneFlagFixedLength;
    SourceRef s = RenderTone(t, 44100);
    ASSERT_NE(loopOf(s), nullptr);
    EXPECT_EQ(loopOf(s)->loopEnd(), 0);
    // An endless generator's position stays at 0, so the loop counts passes within one read.
    const std::vector<std::int32_t> v = drain(s, 1024, 1024);
    for (int i = 0; i < 768; ++i)
        ASSERT_EQ(v[i], v[i + 256]) << i;
}

TEST(ToneRendererGenerators, ANoiseToneIsOneChannelWhateverItsFlagsSay) {
    for (int w = WhiteNoise; w <= GreyNoise; ++w) {
        ToneData t = steady(440.0, 100);
        t.waveform = static_cast<std::uint8_t>(w);
        t.flags |= ToneFlagStereo | ToneFlagSweep;
        SourceRef s = RenderTone(t, 44100);
        EXPECT_EQ(s->channels, 1) << w;
        EXPECT_EQ(s->GetLength(), 4410) << w;
        EXPECT_EQ(s->state, StateOk) << w;
    }
}

TEST(ToneRendererGenerators, PeriodicTonesKeepTheirChannelsRateAndEndlessness) {
    ToneData t = steady(440.0, 250);
    setStereo(t);
    SourceRef s = RenderTone(t, 22050);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->sampleRate, 22050);
    EXPECT_EQ(s->GetLength(), 5512);
    setKind(t, ToneKind::ConstantContinuous);
    EXPECT_EQ(RenderTone(t, 22050)->GetLength(), 22050 * 60);
    EXPECT_EQ(loopOf(RenderTone(t, 22050)), nullptr);
}

TEST(ToneRendererSettings, TheStoredSampleRateIsAnIndexIntoTheRateList) {
    ScopedSettings settings;
    EXPECT_EQ(settingsSampleRate(), 44100) << "missing: index 6";
    const struct {
        const char16_t* text;
        int rate;
    } cases[] = {{u"0", 6000},   {u"7", 48000},  {u"11", 192000},
                 {u"12", 44100}, {u"-1", 44100}, {u"44100", 44100}};
    for (const auto& c : cases) {
        settings.store.writeText(u"Settings", u"SampleRate", c.text);
        EXPECT_EQ(settingsSampleRate(), c.rate);
    }
    settings.store.writeText(u"Settings", u"SampleRate", u"1");
    EXPECT_EQ(RenderToneAtSettingsRate(steady(440.0, 1000))->sampleRate, 8000);
    EXPECT_EQ(RenderToneAtSettingsRate(steady(440.0, 1000))->GetLength(), 8000);
}

TEST(ToneRendererLists, AListToneHasTheListsFormatAndLength) {
    ScopedSettings settings;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 1000), dir.path(u"a.tdf")));
    writeList(dir.path(u"l.tdl"), {dir.path(u"a.tdf"), u"500ミリ秒の無音。"});
    ToneData list = defaultToneData();
    list.waveform = FromList;
    setListPath(list, dir.path(u"l.tdl"));

    SourceRef s = RenderTone(list, 8000);
    EXPECT_EQ(s->sampleRate, 44100) << "the list's own format, not the rate asked for";
    EXPECT_EQ(s->channels, 2) << "the silence is stereo";
    EXPECT_EQ(s->GetLength(), 66150);
    EXPECT_EQ(FramesToMs(s->GetLength(), s->sampleRate), 1500);

    settings.store.writeText(u"Settings", u"SampleRate", u"10");
    SourceRef hi = RenderTone(list, 44100);
    EXPECT_EQ(hi->sampleRate, 96000) << "the tones inside render at the settings rate";
    EXPECT_EQ(hi->GetLength(), 96000 + 48000) << "the 44100 Hz silence counted at the list's rate";
    drain(hi, 144000 + 5000, 8192);
    EXPECT_EQ(hi->GetPosition(), 144000) << "the length reported before playing is what plays";

    list.loop = 1;
    list.lengthMs = 1500;
    list.flags |= ToneFlagFixedLength;
    SourceRef looped = RenderTone(list, 44100);
    ASSERT_NE(loopOf(looped), nullptr);
    EXPECT_EQ(loopOf(looped)->loopEnd(), 144000);
}

TEST(ToneRendererLists, AMissingListIsAnEmptySequence) {
    ToneData list = defaultToneData();
    list.waveform = FromList;
    setListPath(list, u"/no/such/list.tdl");
    SourceRef s = RenderTone(list, 44100);
    EXPECT_EQ(s->sampleRate, 8000);
    EXPECT_EQ(s->channels, 1);
    EXPECT_EQ(s->GetLength(), 0);
}

TEST(ToneListRendering, SilencesAre44100HzStereoOfTheirLength) {
    const struct {
        std::int32_t ms, frames;
    } cases[] = {{1000, 44100}, {1, 44}, {1500, 66150}, {0, 0}, {-500, 0}};
    for (const auto& c : cases) {
        ToneList l;
        l.entries.push_back({c.ms, u""});
        SourceRef s = renderToneList(l, 44100);
        EXPECT_EQ(s->sampleRate, 44100);
        EXPECT_EQ(s->channels, 2);
        EXPECT_EQ(s->GetLength(), c.frames) << c.ms;
    }
    ToneList mixed;
    mixed.entries = {{1000, u""}, {-500, u""}, {500, u""}};
    EXPECT_EQ(renderToneList(mixed, 44100)->GetLength(), 66150) << "a negative silence takes nothing away";
}

TEST(ToneListRendering, AnUnrecognisedExtensionIsReportedAndLeftOut) {
    RecordingNotice notice;
    ToneList l;
    l.entries = {{0, u"/x/SOUND.WAV"}, {100, u""}, {0, u"/dir.x/name"}};
    SourceRef s = renderToneList(l, 44100);
    EXPECT_EQ(s->GetLength(), 4410);
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_EQ(notice.shown[0].text, u"拡張子が.WAVのファイルタイプはトーンファイルとして認識されません。");
    EXPECT_EQ(notice.shown[0].caption, u"ファイルのタイプが認識されません");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);
    EXPECT_EQ(notice.shown[1].text, u"拡張子がのファイルタイプはトーンファイルとして認識されません。");
}

TEST(ToneListRendering, ASilenceLikeFileNameIsAWaveEntry) {
    RecordingNotice notice;
    TempDir dir;
    writeList(dir.path(u"l.tdl"), {dir.path(u"5ミリ秒の無音。.wav"), u"10ミリ秒の無音。"});
    const ToneList l = readToneList(dir.path(u"l.tdl"));
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_FALSE(l.entries[0].isSilence());
    SourceRef s = renderToneList(l, 44100);
    EXPECT_TRUE(notice.shown.empty()) << "a .wav entry is recognised";
    EXPECT_EQ(s->GetLength(), 441) << "the missing file plays as nothing, the silence as 10 ms";
}

TEST(ToneListRendering, ANestedListPlaysInPlaceEntryByEntry) {
    ScopedSettings settings;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"a.tdf")));
    ASSERT_TRUE(saveToneFile(steady(300.0, 50), dir.path(u"b.tdf")));
    writeList(dir.path(u"inner.tdl"), {dir.path(u"b.tdf"), u"20ミリ秒の無音。"});
    writeList(dir.path(u"outer.tdl"), {dir.path(u"a.tdf"), dir.path(u"inner.tdl"), dir.path(u"a.tdf")});
    writeList(dir.path(u"flat.tdl"),
              {dir.path(u"a.tdf"), dir.path(u"b.tdf"), u"20ミリ秒の無音。", dir.path(u"a.tdf")});
    SourceRef nested = renderToneListFile(dir.path(u"outer.tdl"), 44100);
    SourceRef flat = renderToneListFile(dir.path(u"flat.tdl"), 44100);
    ASSERT_EQ(nested->GetLength(), 4410 + 2205 + 882 + 4410);
    ASSERT_EQ(flat->GetLength(), nested->GetLength());
    EXPECT_EQ(drain(nested, 12000, 777), drain(flat, 12000, 1000));
}

TEST(ToneListRendering, AListThatContainsItselfIsStopped) {
    RecordingNotice notice;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"a.tdf")));
    // directly
    writeList(dir.path(u"self.tdl"), {dir.path(u"a.tdf"), dir.path(u"self.tdl"), u"10ミリ秒の無音。"});
    EXPECT_EQ(renderToneListFile(dir.path(u"self.tdl"), 44100)->GetLength(), 4410 + 441);
    // through another list
    writeList(dir.path(u"x.tdl"), {dir.path(u"a.tdf"), dir.path(u"y.tdl")});
    writeList(dir.path(u"y.tdl"), {u"10ミリ秒の無音。", dir.path(u"x.tdl")});
    EXPECT_EQ(renderToneListFile(dir.path(u"x.tdl"), 44100)->GetLength(), 4410 + 441);
    // through a list tone naming the list
    ToneData listTone = defaultToneData();
    listTone.waveform = FromList;
    setListPath(listTone, dir.path(u"z.tdl"));
    ASSERT_TRUE(saveToneFile(listTone, dir.path(u"z.tdf")));
    writeList(dir.path(u"z.tdl"), {dir.path(u"a.tdf"), dir.path(u"z.tdf")});
    EXPECT_EQ(RenderTone(listTone, 44100)->GetLength(), 4410);
    EXPECT_TRUE(notice.shown.empty());
    // a list named twice side by side is no cycle
    writeList(dir.path(u"twice.tdl"), {dir.path(u"y2.tdl"), dir.path(u"y2.tdl")});
    writeList(dir.path(u"y2.tdl"), {u"10ミリ秒の無音。"});
    EXPECT_EQ(renderToneListFile(dir.path(u"twice.tdl"), 44100)->GetLength(), 882);
}

namespace {

// Lists l0 .. l(levels-1), each naming the next `fanOut` times; the last names a 100 ms tone.
void writeFanOut(const TempDir& dir, int levels, int fanOut) {
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"t.tdf")));
    for (int i = 0; i < levels; ++i) {
        const std::u16string next = i + 1 < levels
                                        ? dir.path(u"l" + utf8ToUtf16(std::to_string(i + 1)) + u".tdl")
                                        : dir.path(u"t.tdf");
        writeList(dir.path(u"l" + utf8ToUtf16(std::to_string(i)) + u".tdl"),
                  std::vector<std::u16string>(static_cast<std::size_t>(fanOut), next));
    }
}

} // namespace

TEST(ToneListBounds, AFanOutBeyondTheEntryBoundIsRefusedWholeWithOneMessage) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 3, 300); // 27 million tones of 100 ms once expanded
    ListOutcome outcome = ListOutcome::Rendered;
    SourceRef s = renderToneListFile(dir.path(u"l0.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::TooLarge);
    EXPECT_NE(s->state, StateOk) << "nothing to play or save";
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, kListTooLargeText);
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);

    // the same file attached to a tone refuses the tone's graph too
    ToneData listTone = defaultToneData();
    listTone.waveform = FromList;
    setListPath(listTone, dir.path(u"l0.tdl"));
    EXPECT_NE(RenderTone(listTone, 44100)->state, StateOk);
}

TEST(ToneListBounds, AFanOutWithinTheBoundIsBuiltOnceAndPlaysEveryEntry) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 3, 40); // 64000 entries: each list and the tone built once, shared
    ListOutcome outcome = ListOutcome::TooLarge;
    SourceRef s = renderToneListFile(dir.path(u"l0.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::Rendered);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->GetLength(), 64000 * 4410);
    EXPECT_TRUE(notice.shown.empty());
    // each entry plays its tone from the start: three entries in, the same as the first
    const std::vector<std::int32_t> a = drain(s, 4410, 1000);
    drain(s, 2 * 4410, 777);
    EXPECT_EQ(drain(s, 4410, 1000), a);
    EXPECT_EQ(s->GetLength(), 64000 * 4410) << "the length stays what it was while playing";
}

TEST(ToneListBounds, NestingDeeperThanTheBoundIsRefused) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, kMaxListDepth, 1);
    EXPECT_EQ(renderToneListFile(dir.path(u"l0.tdl"), 44100)->GetLength(), 4410) << "at the bound it plays";
    EXPECT_TRUE(notice.shown.empty());
    TempDir deeper;
    writeFanOut(deeper, kMaxListDepth + 1, 1);
    ListOutcome outcome = ListOutcome::Rendered;
    EXPECT_NE(renderToneListFile(deeper.path(u"l0.tdl"), 44100, &outcome)->state, StateOk);
    EXPECT_EQ(outcome, ListOutcome::TooLarge);
    EXPECT_EQ(notice.shown.size(), 1u);
}

TEST(ToneListBounds, AFileOfMoreLinesThanTheBoundIsRefusedWithoutHoldingThemAll) {
    RecordingNotice notice;
    TempDir dir;
    std::string lines;
    for (int i = 0; i <= kMaxListEntries; ++i)
        lines += "\r\n"; // empty lines: 0 ms silences
    ASSERT_TRUE(writeAll(dir.path(u"long.tdl"), std::vector<unsigned char>(lines.begin(), lines.end())));
    ListOutcome outcome = ListOutcome::Rendered;
    renderToneListFile(dir.path(u"long.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::TooLarge);
    EXPECT_EQ(readToneList(dir.path(u"long.tdl"), 10).entries.size(), 10u);
    const std::string fewer = lines.substr(2);
    ASSERT_TRUE(writeAll(dir.path(u"ok.tdl"), std::vector<unsigned char>(fewer.begin(), fewer.end())));
    renderToneListFile(dir.path(u"ok.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::Rendered);
}

TEST(ToneListBounds, AListToneCountsTheEntriesOfItsList) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 2, 400); // l0: 400 x l1, l1: 400 tones = 160000 entries
    ToneData listTone = defaultToneData();
    listTone.waveform = FromList;
    setListPath(listTone, dir.path(u"l1.tdl"));
    listTone.flags |= ToneFlagFixedLength;
    ASSERT_TRUE(saveToneFile(listTone, dir.path(u"l1tone.tdf")));
    writeList(dir.path(u"outer.tdl"), std::vector<std::u16string>(400, dir.path(u"l1tone.tdf")));
    ListOutcome outcome = ListOutcome::Rendered;
    EXPECT_NE(renderToneListFile(dir.path(u"outer.tdl"), 44100, &outcome)->state, StateOk);
    EXPECT_EQ(outcome, ListOutcome::TooLarge) << "400 list tones of 400 entries each";
}
