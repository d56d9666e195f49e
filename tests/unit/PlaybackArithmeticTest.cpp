// The portable arithmetic of the output back-ends, without a device: the DirectSound
// looping buffer's sizes and cursors (wrap-around included), and the player's playback
// history with its crossfade after a live change.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "ScriptedSource.h"
#include "audio/DirectSoundRing.h"
#include "audio/PlaybackHistoryTap.h"

using namespace sonimo;

TEST(DirectSoundRingSizes, SegmentsAreTwoThirtiethsOfASecondAndTheBufferHoldsThirtyTwo) {
    DsSizes s = DirectSoundSizes(44100, 2);
    EXPECT_EQ(s.unitSamples, 2940);
    EXPECT_EQ(s.segmentBytes, 11760u);
    EXPECT_EQ(s.segmentFrames, 2940);
    EXPECT_EQ(s.bufferBytes, 376320u);
    EXPECT_EQ(s.conversionSamples, 94080);
    s = DirectSoundSizes(8000, 1);
    EXPECT_EQ(s.unitSamples, 266);
    EXPECT_EQ(s.segmentBytes, 1064u);
    EXPECT_EQ(s.segmentFrames, 532);
    s = DirectSoundSizes(48000, 6);
    EXPECT_EQ(s.segmentBytes % 12, 0u);
    EXPECT_EQ(s.bufferBytes, 32u * 4 * 1600 * 6);
}

TEST(DirectSoundRingCursors, DistancesAreTakenModuloTheBuffer) {
    EXPECT_EQ(RingDistance(100, 350, 1000), 250u);
    EXPECT_EQ(RingDistance(900, 50, 1000), 150u);
    EXPECT_EQ(RingDistance(500, 500, 1000), 0u);
    EXPECT_EQ(RingAdvance(900, 250, 1000), 150u);
    EXPECT_EQ(RingAdvance(0xFFFFFF00u, 0x200, 0xFFFFFFF0u), 0x110u); // no 32-bit overflow
}

TEST(DirectSoundRingCursors, RoomIsRefusedFromThirtyQueuedSegmentsAlsoAcrossTheEnd) {
    const DsSizes s = DirectSoundSizes(44100, 2);
    const std::uint32_t seg = s.segmentBytes;
    EXPECT_TRUE(DsHasRoom(29 * seg, 0, s));
    EXPECT_FALSE(DsHasRoom(30 * seg, 0, s));
    EXPECT_FALSE(DsHasRoom(31 * seg, 0, s));
    EXPECT_TRUE(DsHasRoom(0, 0, s));
    const std::uint32_t play = s.bufferBytes - 5 * seg;
    EXPECT_TRUE(DsHasRoom(24 * seg, play, s));  // 29 queued, across the end
    EXPECT_FALSE(DsHasRoom(25 * seg, play, s)); // 30 queued
    EXPECT_FALSE(DsHasRoom(0, 0, DsSizes{}));
}

TEST(DirectSoundRingCursors, TheHeardSegmentLagsTheLevelIndexByWhatIsQueued) {
    const DsSizes s = DirectSoundSizes(44100, 2);
    const std::uint32_t seg = s.segmentBytes;
    EXPECT_EQ(DsHeardSegment(5, 10 * seg + seg / 2, 8 * seg, s), 2);
    EXPECT_EQ(DsHeardSegment(0, 3 * seg, 0, s), 28);
    EXPECT_EQ(DsHeardSegment(1, 2 * seg, s.bufferBytes - seg, s), 29); // three queued across the end
}

TEST(DirectSoundRingResume, FillingRestartsAMarginPastTheHardwareCursor) {
    const DsSizes s = DirectSoundSizes(44100, 2);
    const std::uint32_t seg = s.segmentBytes;
    DsResumePoint p = DsResume(10 * seg, 2 * seg, 8192, 2, s);
    EXPECT_EQ(p.latencyFrames, (8 * 11760 - 8192) / 4);
    EXPECT_EQ(p.resumeCursor, 2 * seg + 8192);
    // across the end of the buffer
    p = DsResume(seg, s.bufferBytes - seg, 8192, 2, s);
    EXPECT_EQ(p.latencyFrames, (2 * 11760 - 8192) / 4);
    EXPECT_EQ(p.resumeCursor, RingAdvance(s.bufferBytes - seg, 8192, s.bufferBytes));
    // less queued than the margin: nothing is taken back
    p = DsResume(3 * seg + 100, 3 * seg, 8192, 2, s);
    EXPECT_EQ(p.latencyFrames, 0);
    EXPECT_EQ(p.resumeCursor, 3 * seg + 100);
}

TEST(DirectSoundRingResume, SixChannelResumesStayOnFrameBoundaries) {
    const DsSizes s = DirectSoundSizes(48000, 6);
    const std::uint32_t seg = s.segmentBytes;
    const DsResumePoint p = DsResume(9 * seg, 1 * seg + 36, 8192, 6, s);
    EXPECT_EQ(p.resumeCursor % 12, 0u);
    EXPECT_EQ(RingDistance(p.resumeCursor, 9 * seg, s.bufferBytes),
              static_cast<std::uint32_t>(p.latencyFrames) * 12);
    const DsRefillPoint r = DsRefill(p.resumeCursor, p.resumeCursor + 120, 8192, 4096, 6, s);
    EXPECT_EQ(r.writeCursor % 12, 0u);
}

TEST(DirectSoundRingResume, AMarginOvertakenByTheHardwareGrowsUpToHalfTheBuffer) {
    const DsSizes s = DirectSoundSizes(44100, 2);
    const std::uint32_t half = s.bufferBytes / 2;
    DsRefillPoint r = DsRefill(1000, 1500, 8192, 4096, 2, s);
    EXPECT_EQ(r.margin, 12288u);
    EXPECT_EQ(r.writeCursor, 1500u + 12288u);
    r = DsRefill(1000, 900, 8192, 4096, 2, s); // the hardware is still behind: unchanged
    EXPECT_EQ(r.margin, 8192u);
    EXPECT_EQ(r.writeCursor, 1000u);
    r = DsRefill(1000, 1000, 8192, 4096, 2, s);
    EXPECT_EQ(r.writeCursor, 1000u);
    r = DsRefill(1000, 1500, half - 4000, 4096, 2, s); // would pass half the buffer
    EXPECT_EQ(r.margin, half - 4000);
    EXPECT_EQ(r.writeCursor, 1000u);
    r = DsRefill(s.bufferBytes - 100, 200, 8192, 4096, 2, s); // overtaken across the end
    EXPECT_EQ(r.margin, 12288u);
    EXPECT_EQ(r.writeCursor, 200u + 12288u);
}

TEST(DirectSoundRingTail, TheTailCountsDownWhatWasWrittenAndEndsAtZero) {
    DsTail t;
    EXPECT_TRUE(t.step(1000, 500, 4000));
    EXPECT_EQ(t.remaining, 500);
    EXPECT_TRUE(t.step(1000, 800, 4000));
    EXPECT_EQ(t.remaining, 200);
    EXPECT_FALSE(t.step(1000, 1000, 4000));
    EXPECT_EQ(t.remaining, 0);
    EXPECT_EQ(t.lastWriteSeen, INT_MAX);
    DsTail w; // across the end
    EXPECT_TRUE(w.step(100, 3700, 4000));
    EXPECT_EQ(w.remaining, 400);
    EXPECT_TRUE(w.step(100, 3900, 4000));
    EXPECT_EQ(w.remaining, 200);
    EXPECT_FALSE(w.step(100, 150, 4000)); // passed the write cursor
    DsTail z;
    EXPECT_FALSE(z.step(0, 0, 4000)); // nothing was written
}

TEST(DirectSoundVolume, WholeDecibelsBecomeHundredthsAndBack) {
    EXPECT_EQ(DsBufferVolume(0), 0);
    EXPECT_EQ(DsBufferVolume(-20), -2000);
    EXPECT_EQ(DsBufferVolume(-127), -12700);
    EXPECT_EQ(DsVolumeFromBuffer(-10000), -100);
    EXPECT_EQ(DsVolumeFromBuffer(-2000), -20);
    EXPECT_EQ(DsVolumeFromBuffer(-150), -1);
    EXPECT_EQ(DsVolumeFromBuffer(-20000), -127);
    EXPECT_EQ(DsVolumeFromBuffer(20000), 127);
}

TEST(PlaybackHistory, TheTapRecordsWhatItReadsAndWrapsAtTheEndOfTheRing) {
    auto history = std::make_unique<PlaybackHistory>();
    history->writeIndex = kHistorySamples - 3;
    std::vector<std::int32_t> in = {1, 2, 3, 4, 5, 6};
    SourceRef tap = makeSource<PlaybackHistoryTap>(makeSource<ScriptedSource>(8000, 2, in), *history);
    std::vector<std::int32_t> out(6, 0);
    tap->Read(out.data(), 3);
    EXPECT_EQ(out, in) << "the tap passes the samples on unchanged";
    EXPECT_EQ(history->samples[kHistorySamples - 3], 1);
    EXPECT_EQ(history->samples[kHistorySamples - 1], 3);
    EXPECT_EQ(history->samples[0], 4);
    EXPECT_EQ(history->samples[2], 6);
    EXPECT_EQ(history->writeIndex, 3);
    tap->Seek(1); // back by two frames: the write index goes back four samples, across the end
    EXPECT_EQ(history->writeIndex, kHistorySamples - 1);
}

TEST(PlaybackHistory, ACrossfadeRunsFromTheUnheardRecordIntoTheNewBlock) {
    auto history = std::make_unique<PlaybackHistory>();
    history->writeIndex = kHistorySamples - 2; // the record wraps inside the block
    for (int i = 0; i < 2; ++i)
        history->samples[kHistorySamples - 2 + i] = 1 << 24;
    for (int i = 0; i < 6; ++i)
        history->samples[i] = 1 << 24;
    std::vector<std::int32_t> block(8, 0); // four stereo frames of silence
    Crossfade(block.data(), 4, 2, *history);
    EXPECT_EQ(block, (std::vector<std::int32_t>{1 << 24, 1 << 24, 3 << 22, 3 << 22, 1 << 23, 1 << 23, 1 << 22,
                                                1 << 22}));
    std::vector<std::int32_t> unchanged(8, 1000);
    Crossfade(unchanged.data(), 0, 2, *history);
    EXPECT_EQ(unchanged, std::vector<std::int32_t>(8, 1000)) << "an empty block is left alone";
}
