#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
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
#include "synth/SilenceSource.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/OptionsModel.h"
#include "platform/SettingsKeys.h"

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
        SourceRef s = RenderTone(steady(c.hz, c.ms, true), c.rate, c.rate);
        ASSERT_NE(loopOf(s), nullptr) << c.hz;
        EXPECT_EQ(loopOf(s)->loopStart(), 0);
        EXPECT_EQ(loopOf(s)->loopEnd(), c.end) << c.hz << " Hz, " << c.ms << " ms";
    }
}

TEST(ToneRendererLoops, AWholePeriodLoopJoinsWithoutAStep) {
    SourceRef s = RenderTone(steady(441.0, 1000, true), 44100, 44100); // P 100: the loop is 44100 frames
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
    SourceRef s = RenderTone(t, 44100, 44100);
    ASSERT_NE(loopOf(s), nullptr);
    EXPECT_EQ(loopOf(s)->loopEnd(), 44088);
}

TEST(ToneRendererLoops, ChordsSweepsAndNoisesLoopOverTheTonesLength) {
    ToneData chord = steady(440.0, 500, true);
    chord.toneCount = 2;
    chord.leftStartHz[1] = 660.0;
    SourceRef c = RenderTone(chord, 48000, 48000);
    ASSERT_NE(loopOf(c), nullptr);
    EXPECT_EQ(loopOf(c)->loopEnd(), 24000);

    ToneData sweep = steady(440.0, 500, true);
    setKind(sweep, ToneKind::LinearSweep);
    EXPECT_EQ(loopOf(RenderTone(sweep, 48000, 48000))->loopEnd(), 24000);

    ToneData white = steady(440.0, 250, true);
    setWaveform(white, WhiteNoise);
    SourceRef w = RenderTone(white, 44100, 44100);
    ASSERT_NE(loopOf(w), nullptr);
    EXPECT_EQ(loopOf(w)->loopEnd(), 11025);
    EXPECT_NE(dynamic_cast<ShapedNoiseSource*>(&loopOf(w)->inner()), nullptr);

    ToneData pink = white;
    pink.waveform = PinkNoise;
    SourceRef p = RenderTone(pink, 44100, 44100);
    ASSERT_NE(loopOf(p), nullptr);
    EXPECT_NE(dynamic_cast<PinkNoiseSource*>(&loopOf(p)->inner()), nullptr)
        << "looped pink noise uses its own generator";
    pink.loop = 0;
    EXPECT_NE(dynamic_cast<ShapedNoiseSource*>(RenderTone(pink, 44100, 44100).get()), nullptr);
}

TEST(ToneRendererLoops, ALoopWithoutFixedLengthRepeatsEvery256Frames) {
    ToneData t = steady(440.0, 1000, true);
    t.toneCount = 2;
    t.flags &= ~ToneFlagFixedLength;
    SourceRef s = RenderTone(t, 44100, 44100);
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
        SourceRef s = RenderTone(t, 44100, 44100);
        EXPECT_EQ(s->channels, 1) << w;
        EXPECT_EQ(s->GetLength(), 4410) << w;
        EXPECT_EQ(s->state, StateOk) << w;
    }
}

TEST(ToneRendererGenerators, PeriodicTonesKeepTheirChannelsRateAndEndlessness) {
    ToneData t = steady(440.0, 250);
    setStereo(t);
    SourceRef s = RenderTone(t, 22050, 22050);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->sampleRate, 22050);
    EXPECT_EQ(s->GetLength(), 5512);
    setKind(t, ToneKind::ConstantContinuous);
    EXPECT_EQ(RenderTone(t, 22050, 22050)->GetLength(), 22050 * 60);
    EXPECT_EQ(loopOf(RenderTone(t, 22050, 22050)), nullptr);
}

TEST(ToneRendererSettings, TheStoredSampleRateIsAnIndexIntoTheRateList) {
    MemorySettingsStore settings;
    EXPECT_EQ(settingsSampleRate(settings), 44100) << "missing: index 6";
    const struct {
        const char16_t* text;
        int rate;
    } cases[] = {{u"0", 6000},   {u"7", 48000},  {u"11", 192000},
                 {u"12", 44100}, {u"-1", 44100}, {u"44100", 44100}};
    for (const auto& c : cases) {
        settings.writeText(keys::kSampleRate, c.text);
        EXPECT_EQ(settingsSampleRate(settings), c.rate);
    }
    settings.writeText(keys::kSampleRate, u"1");
    EXPECT_EQ(RenderToneAtSettingsRate(steady(440.0, 1000), settings)->sampleRate, 8000);
    EXPECT_EQ(RenderToneAtSettingsRate(steady(440.0, 1000), settings)->GetLength(), 8000);
}

TEST(ToneRendererLists, AListToneHasTheListsFormatAndLength) {
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 1000), dir.path(u"a.tdf")));
    writeList(dir.path(u"l.tdl"), {dir.path(u"a.tdf"), u"500ミリ秒の無音。"});
    ToneData list = defaultToneData();
    list.waveform = FromList;
    setListPath(list, dir.path(u"l.tdl"));

    SourceRef s = RenderTone(list, 8000, 44100);
    EXPECT_EQ(s->sampleRate, 44100) << "the list's own format, not the rate asked for";
    EXPECT_EQ(s->channels, 2) << "the silence is stereo";
    EXPECT_EQ(s->GetLength(), 66150);
    EXPECT_EQ(FramesToMs(s->GetLength(), s->sampleRate), 1500);

    SourceRef hi = RenderTone(list, 44100, 96000);
    EXPECT_EQ(hi->sampleRate, 96000) << "the tones inside render at the rate given for them";
    MemorySettingsStore settings;
    settings.writeText(keys::kSampleRate, u"10");
    EXPECT_EQ(RenderToneAtSettingsRate(list, settings)->sampleRate, 96000) << "the settings give it";
    EXPECT_EQ(hi->GetLength(), 96000 + 48000) << "the 44100 Hz silence counted at the list's rate";
    drain(hi, 144000 + 5000, 8192);
    EXPECT_EQ(hi->GetPosition(), 144000) << "the length reported before playing is what plays";

    list.loop = 1;
    list.lengthMs = 1500;
    list.flags |= ToneFlagFixedLength;
    SourceRef looped = RenderTone(list, 44100, 96000);
    ASSERT_NE(loopOf(looped), nullptr);
    EXPECT_EQ(loopOf(looped)->loopEnd(), 144000);
}

TEST(ToneRendererLists, AMissingListIsAnEmptySequence) {
    ToneData list = defaultToneData();
    list.waveform = FromList;
    setListPath(list, u"/no/such/list.tdl");
    SourceRef s = RenderTone(list, 44100, 44100);
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
    EXPECT_EQ(notice.shown[0].modality, NoticeModality::Task) << "task-modal, without an owner";
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
    EXPECT_EQ(RenderTone(listTone, 44100, 44100)->GetLength(), 4410);
    EXPECT_TRUE(notice.shown.empty());
    // a list named twice side by side is no cycle
    writeList(dir.path(u"twice.tdl"), {dir.path(u"y2.tdl"), dir.path(u"y2.tdl")});
    writeList(dir.path(u"y2.tdl"), {u"10ミリ秒の無音。"});
    EXPECT_EQ(renderToneListFile(dir.path(u"twice.tdl"), 44100)->GetLength(), 882);
}

namespace {

// Lists l0 .. l(levels-1), each naming the next `fanOut` times; the last names a tone.
void writeFanOut(const TempDir& dir, int levels, int fanOut, std::uint32_t toneMs = 100) {
    ASSERT_TRUE(saveToneFile(steady(1000.0, toneMs), dir.path(u"t.tdf")));
    for (int i = 0; i < levels; ++i) {
        const std::u16string next = i + 1 < levels
                                        ? dir.path(u"l" + utf8ToUtf16(std::to_string(i + 1)) + u".tdl")
                                        : dir.path(u"t.tdf");
        writeList(dir.path(u"l" + utf8ToUtf16(std::to_string(i)) + u".tdl"),
                  std::vector<std::u16string>(static_cast<std::size_t>(fanOut), next));
    }
}

} // namespace

TEST(ToneListBounds, AFanOutCountsWhatItReadsNotWhatItExpandsTo) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 3, 300, 1); // 27 million tones of 1 ms once expanded, 900 lines read
    ListOutcome outcome = ListOutcome::TooLarge;
    SourceRef s = renderToneListFile(dir.path(u"l0.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::Rendered);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_TRUE(notice.shown.empty());
    EXPECT_EQ(s->GetLength(), 27000000 * 44);
    // asking the length again and again is cheap: it does not walk the expansion
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(s->GetLength(), 27000000 * 44);
    const std::vector<std::int32_t> a = drain(s, 44, 44);
    EXPECT_EQ(drain(s, 44, 11), a) << "the second entry plays its tone from the start";
}

TEST(ToneListBounds, AListLongerThanALengthCountsIsRefusedWholeWithOneMessage) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 3, 300); // 27 million tones of 100 ms: 750 hours
    ListOutcome outcome = ListOutcome::Rendered;
    SourceRef s = renderToneListFile(dir.path(u"l0.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::TooLarge);
    EXPECT_NE(s->state, StateOk) << "nothing to play or save";
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, kListTooLargeText);
    // the same file attached to a tone refuses the tone's graph too
    ToneData listTone = defaultToneData();
    listTone.waveform = FromList;
    setListPath(listTone, dir.path(u"l0.tdl"));
    EXPECT_NE(RenderTone(listTone, 44100, 44100)->state, StateOk);
}

TEST(ToneListBounds, MoreLinesThanTheBoundInAllAreRefusedWholeWithOneMessage) {
    RecordingNotice notice;
    TempDir dir;
    // two different lists of 60000 empty lines (0 ms silences): 120000 lines to read
    const std::string lines = [] {
        std::string l;
        for (int i = 0; i < 60000; ++i)
            l += "\r\n";
        return l;
    }();
    ASSERT_TRUE(writeAll(dir.path(u"a.tdl"), std::vector<unsigned char>(lines.begin(), lines.end())));
    ASSERT_TRUE(writeAll(dir.path(u"b.tdl"), std::vector<unsigned char>(lines.begin(), lines.end())));
    writeList(dir.path(u"both.tdl"), {dir.path(u"a.tdl"), dir.path(u"b.tdl")});
    ListOutcome outcome = ListOutcome::Rendered;
    SourceRef s = renderToneListFile(dir.path(u"both.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::TooLarge);
    EXPECT_NE(s->state, StateOk) << "nothing to play or save";
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, kListTooLargeText);
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);
    EXPECT_EQ(notice.shown[0].modality, NoticeModality::Task);
    // one of them named twice is read once
    writeList(dir.path(u"twice.tdl"), {dir.path(u"a.tdl"), dir.path(u"a.tdl")});
    EXPECT_EQ(renderToneListFile(dir.path(u"twice.tdl"), 44100, &outcome)->state, StateOk);
    EXPECT_EQ(outcome, ListOutcome::Rendered);
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

TEST(ToneListBounds, AListToneNamedManyTimesCountsItsListOnce) {
    RecordingNotice notice;
    TempDir dir;
    writeFanOut(dir, 2, 400); // l1: 400 tones
    ToneData listTone = defaultToneData();
    listTone.waveform = FromList;
    setListPath(listTone, dir.path(u"l1.tdl"));
    listTone.flags |= ToneFlagFixedLength;
    ASSERT_TRUE(saveToneFile(listTone, dir.path(u"l1tone.tdf")));
    writeList(dir.path(u"outer.tdl"), std::vector<std::u16string>(400, dir.path(u"l1tone.tdf")));
    ListOutcome outcome = ListOutcome::TooLarge;
    SourceRef s = renderToneListFile(dir.path(u"outer.tdl"), 44100, &outcome);
    EXPECT_EQ(outcome, ListOutcome::Rendered) << "800 lines read, 2 graphs built";
    EXPECT_EQ(s->GetLength(), 400 * 400 * 4410);
}

namespace {

// Reads a source to its reported end in blocks, keeping only the last `keep` frames.
std::vector<std::int32_t> playToEnd(SampleSource& s, int keep, std::int64_t& played) {
    std::vector<std::int32_t> block(static_cast<std::size_t>(kMaxReadFrames) * s.channels);
    std::vector<std::int32_t> tail;
    played = 0;
    for (;;) {
        const int n = RemainingFrames(s.GetLength(), s.GetPosition());
        if (n == 0) break;
        const int m = std::min(n, kMaxReadFrames);
        s.Read(block.data(), m);
        played += m;
        if (n - m < keep) {
            const int from = std::max(0, m - (keep - (n - m)));
            tail.insert(tail.end(), block.begin() + static_cast<std::ptrdiff_t>(from) * s.channels,
                        block.begin() + static_cast<std::ptrdiff_t>(m) * s.channels);
        }
    }
    return tail;
}

} // namespace

TEST(ToneListSharing, ManyEntriesNamingOneFileShareItsGraphAndPlayToTheirLength) {
    RecordingNotice notice;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 10), dir.path(u"t.tdf")));
    for (const int count : {40000, 100000}) {
        writeList(dir.path(u"many.tdl"),
                  std::vector<std::u16string>(static_cast<std::size_t>(count), dir.path(u"t.tdf")));
        SourceRef s = renderToneListFile(dir.path(u"many.tdl"), 44100);
        ASSERT_EQ(s->state, StateOk) << count;
        ASSERT_EQ(s->GetLength(), count * 441) << count;
        std::int64_t played = 0;
        playToEnd(*s, 0, played);
        EXPECT_EQ(played, std::int64_t{count} * 441) << count;
        // a missing WAV file named as often plays as nothing, and is freed once
        writeList(dir.path(u"gone.tdl"),
                  std::vector<std::u16string>(static_cast<std::size_t>(count), dir.path(u"gone.wav")));
        EXPECT_EQ(renderToneListFile(dir.path(u"gone.tdl"), 44100)->GetLength(), 0) << count;
    }
    EXPECT_TRUE(notice.shown.empty());
}

TEST(ToneListSharing, AReferenceCountThatWouldWrapStopsTheProcess) {
    SourceRef s = makeSource<SilenceSource>(44100, 1, kGeneratorPeak, 10);
    s->refCount = std::numeric_limits<RefCount>::max();
    EXPECT_DEATH({ SourceRef copy = s; }, "");
    s->refCount = 1; // let the handle release it normally
}

TEST(ToneListEndless, AMissingToneFilePlaysTheDefaultToneForItsSixtySecondsAndGoesOn) {
    RecordingNotice notice;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"k.tdf")));
    writeList(dir.path(u"moved.tdl"), {dir.path(u"moved-away.tdf"), dir.path(u"k.tdf")});
    SourceRef s = renderToneListFile(dir.path(u"moved.tdl"), 44100);
    ASSERT_EQ(s->GetLength(), 60 * 44100 + 4410);
    std::int64_t played = 0;
    const std::vector<std::int32_t> tail = playToEnd(*s, 4410, played);
    EXPECT_EQ(played, 60 * 44100 + 4410) << "the list's length is what it plays";
    EXPECT_EQ(s->GetPosition(), 60 * 44100 + 4410);
    SourceRef alone = RenderToneAtPlaybackRate(steady(1000.0, 100), 44100);
    EXPECT_EQ(tail, drain(alone, 4410, 4410)) << "the last 100 ms are the 1000 Hz tone";
}

TEST(ToneListEndless, AnEndlessNoiseToneInAListPlaysWhatItReportsAtAnyBlockSize) {
    TempDir dir;
    ToneData noise = defaultToneData();
    noise.waveform = WhiteNoise;
    ASSERT_TRUE(saveToneFile(noise, dir.path(u"n.tdf")));
    writeList(dir.path(u"l.tdl"), {dir.path(u"n.tdf"), u"100ミリ秒の無音。"});
    for (const int block : {8192, 1000, 441}) {
        SourceRef s = renderToneListFile(dir.path(u"l.tdl"), 44100);
        const int length = s->GetLength();
        // sixty seconds, and the curve filter's own delay
        ASSERT_GE(length, 60 * 44100 + 4410);
        ASSERT_LT(length, 61 * 44100 + 4410);
        std::vector<std::int32_t> buf(static_cast<std::size_t>(block) * s->channels);
        std::int64_t played = 0;
        while (s->GetPosition() < s->GetLength() && played < 70 * 44100) {
            s->Read(buf.data(), block);
            played += block;
        }
        EXPECT_EQ(s->GetPosition(), length) << "block " << block;
        EXPECT_EQ(s->GetLength(), length) << "block " << block;
        // then zeros: the silence and the end
        s->Read(buf.data(), block);
        EXPECT_EQ(buf, std::vector<std::int32_t>(buf.size(), 0)) << "block " << block;
    }
}

TEST(ToneListSharing, EachEntryOfANoiseToneDrawsItsOwnNoise) {
    TempDir dir;
    ToneData noise = steady(0, 100);
    noise.waveform = WhiteNoise;
    ASSERT_TRUE(saveToneFile(noise, dir.path(u"n.tdf")));
    writeList(dir.path(u"inner.tdl"), {dir.path(u"n.tdf")});
    writeList(dir.path(u"l.tdl"),
              {dir.path(u"n.tdf"), dir.path(u"n.tdf"), dir.path(u"inner.tdl"), dir.path(u"inner.tdl")});
    SourceRef s = renderToneListFile(dir.path(u"l.tdl"), 44100);
    ASSERT_EQ(s->GetLength(), 4 * 4410);
    std::vector<std::vector<std::int32_t>> bursts;
    for (int i = 0; i < 4; ++i)
        bursts.push_back(drain(s, 4410, 1000));
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(bursts[i], bursts[j]) << "entries " << i << " and " << j << " play the same burst";
}

TEST(ToneListRendering, AnEmptyOrMissingNestedListPlaysNothing) {
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"empty.tdl"), {}));
    writeList(dir.path(u"outer.tdl"),
              {dir.path(u"empty.tdl"), dir.path(u"missing.tdl"), u"10ミリ秒の無音。"});
    SourceRef s = renderToneListFile(dir.path(u"outer.tdl"), 44100);
    EXPECT_EQ(s->GetLength(), 441);
    drain(s, 1000, 100);
    EXPECT_EQ(s->GetPosition(), 441) << "what it reported is what it played";
}

TEST(ToneListRendering, EachOccurrenceOfAListReportsItsBadEntries) {
    RecordingNotice notice;
    TempDir dir;
    writeList(dir.path(u"b.tdl"), {dir.path(u"song.mp3"), u"10ミリ秒の無音。"});
    writeList(dir.path(u"a.tdl"), {dir.path(u"b.tdl"), dir.path(u"b.tdl"), dir.path(u"b.tdl")});
    EXPECT_EQ(renderToneListFile(dir.path(u"a.tdl"), 44100)->GetLength(), 3 * 441);
    ASSERT_EQ(notice.shown.size(), 3u) << "as three fresh renders of b.tdl would";
    for (const RecordedNotice& n : notice.shown)
        EXPECT_EQ(n.text, u"拡張子が.mp3のファイルタイプはトーンファイルとして認識されません。");
}

TEST(ToneListRendering, AListCutForACycleIsNotReusedWhereThatCycleIsNotActive) {
    RecordingNotice notice;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"t.tdf")));
    writeList(dir.path(u"a.tdl"), {dir.path(u"b.tdl"), dir.path(u"c.tdl")});
    writeList(dir.path(u"b.tdl"), {dir.path(u"c.tdl"), dir.path(u"t.tdf")});
    writeList(dir.path(u"c.tdl"), {dir.path(u"b.tdl"), dir.path(u"t.tdf")});
    // a -> b -> c (b cut) -> t: b plays 200 ms; a -> c -> b (c cut) -> t: c plays 200 ms
    EXPECT_EQ(renderToneListFile(dir.path(u"a.tdl"), 44100)->GetLength(), 4 * 4410);
    EXPECT_EQ(renderToneListFile(dir.path(u"b.tdl"), 44100)->GetLength(), 2 * 4410);
}

TEST(ToneListRendering, ACycleIsFoundWhateverTheSpellingOfThePath) {
    RecordingNotice notice;
    TempDir dir;
    ASSERT_TRUE(saveToneFile(steady(1000.0, 100), dir.path(u"t.tdf")));
    const std::u16string self = dir.path(u"self.tdl");
    const std::u16string dotted = dir.root() + u"/./self.tdl";
    writeList(self, {dir.path(u"t.tdf"), dotted});
    EXPECT_EQ(renderToneListFile(self, 44100)->GetLength(), 4410) << "played once, then cut";
    EXPECT_EQ(renderToneListFile(dotted, 44100)->GetLength(), 4410);
#ifdef _WIN32
    std::u16string upper = self;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    writeList(self, {dir.path(u"t.tdf"), upper.substr(0, upper.size() - 4) + u".tdl"});
    EXPECT_EQ(renderToneListFile(self, 44100)->GetLength(), 4410) << "letter case does not make another file";
#endif
}
