// The pull-source framework: every sound is read block by block out of a graph of
// SampleSources. A Read always writes all the frames asked for (zeros past the end),
// interleaved, one int32 per channel. Sources are not thread-safe: one consumer pulls a
// graph at a time. Reference counts are plain integers for the same reason.
#pragma once
#include <cstdint>

#include "synth/CountedRef.h"

namespace sonimo {

inline constexpr std::int32_t kNominalFullScale = 0x7FFF0; // 32767 << 4
inline constexpr std::int32_t kUnitAmplitude = 0x80000;    // one tone at 0 dB
inline constexpr std::int32_t kGeneratorPeak = 0x200000;   // what generators declare
inline constexpr int kMaxReadFrames = 8192;                // most frames a consumer asks for at once
inline constexpr int kEndlessSeconds = 60;                 // an endless source stays this far from its end

// The numbered queries a consumer sends down a chain through Query (value in and out).
enum QueryCode : int {
    QueryInnerPosition = 1, // an output position, mapped to the inner chain's frames
    QueryHeldBack = 4,      // frames a stage holds back (its delay)
    QueryHeard = 5,         // the position the listener has heard up to
    QueryOwnClock = 6,      // a frame count relative to the position, rescaled to the chain's clock
    QueryRedraw = 7,        // draw the randomness afresh, as a new source would (noise; value unused)
};

// Frames from the position to the length, never negative: positions may lie before 0
// and lengths saturate, so the difference is taken in 64 bits and clamped to int.
int RemainingFrames(int length, int position);
// The length an endless source reports: kEndlessSeconds at `rate`, saturated.
int EndlessLength(int rate);

enum SourceState : std::uint8_t {
    StateOk = 0,
    StateNull = 1,      // the NullSource placeholder
    StateBadInput = 2,  // a wrapper whose inner source was unusable when it was built
    StateBadFormat = 3, // an invalid rate or channel count was given
};

class SampleSource {
public:
    // A rate <= 0 becomes 44100 and a channel count of 0 becomes 1, both with StateBadFormat.
    SampleSource(int sampleRate, int channels, std::int32_t peakLevel);
    virtual ~SampleSource() = default;
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;

    virtual void Read(std::int32_t* buffer, int frames) = 0;
    virtual int GetPosition() = 0;
    virtual int GetLength() = 0;
    virtual void Seek(int frame);
    virtual bool Query(int code, int* value);
    virtual bool IsGrowing();
    virtual void WaitForData(int ms);

    std::int32_t sampleRate;
    std::uint8_t channels;
    std::int32_t peakLevel;
    std::uint8_t state = StateOk;
    RefCount refCount = 0;
};

// The placeholder: 11025 Hz, one channel, yields zeros, StateNull.
class NullSource final : public SampleSource {
public:
    NullSource();
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return 0; }
    int GetLength() override { return 0; }
};

// A counted handle that always holds a source: an unset handle holds a fresh NullSource.
using SourceRef = CountedRef<SampleSource, NullSource>;

template <class T, class... Args> SourceRef makeSource(Args&&... args) {
    return SourceRef(new T(static_cast<Args&&>(args)...));
}

// Base of every source that holds one inner source (owned through its SourceRef).
// Copies rate, channels and peak from the inner source; the position, length, seek,
// query, growth and waiting operations forward to it unless a class overrides them.
class SourceWrapper : public SampleSource {
public:
    explicit SourceWrapper(const SourceRef& inner);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override;
    int GetLength() override;
    void Seek(int frame) override;
    bool Query(int code, int* value) override;
    bool IsGrowing() override;
    void WaitForData(int ms) override;

    SampleSource& inner() const { return *inner_; }

protected:
    SourceRef inner_;
};

// Milliseconds to frames as rate * (ms / 1000) + rate * (ms % 1000) / 1000, computed
// without overflow and saturated to the int32 range the frame counters hold.
std::int32_t MsToFrames(std::int64_t ms, std::int32_t rate);
// Frames to milliseconds by the same split; 0 when the rate is not positive.
std::int64_t FramesToMs(std::int64_t frames, std::int32_t rate);

void zeroFrames(std::int32_t* buffer, int frames, int channels);

} // namespace sonimo
