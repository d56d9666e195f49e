// Children played one after another at one format: each child is converted to the
// sequence's rate and channel count when it becomes current; the rate converters' tables
// are started when the sequence is made, so that a child becoming current on the thread
// that feeds a device finds them built. After the last child the
// sequence yields zeros and its position stays at the total length. Owns its children
// through its own copies of the entries. One child may stand in several entries: each
// entry plays it from its start (one child is current at a time). Each child plays for the
// length it reports when it becomes current, counted on the sequence's own clock: an
// endless child (whose position stays put) plays its 60 seconds and the sequence goes on.
// Each child becoming current is asked to draw its randomness afresh (QueryRedraw; noise
// that has not been heard yet keeps its draw): each entry of a noise tone sounds like a
// tone of its own, as a freshly built one would.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

struct SequenceEntry {
    SourceRef child;
    std::int32_t silenceMs = 0; // stands for the child when the child is unusable
};

using SequenceEntries = std::vector<SequenceEntry>;

// Rate: the largest among usable children (8000 when none); channels: the largest (at
// least 1); peak: the largest (at least nominal full scale).
SourceRef MakeSequence(const SequenceEntries& entries);

class SequenceSource final : public SampleSource {
public:
    SequenceSource(const SequenceEntries& entries, int sampleRate, int channels, std::int32_t peakLevel);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;
    bool IsGrowing() override;
    void WaitForData(int ms) override;

private:
    void loadNext();
    int remainingOfCurrent();
    std::int64_t entryFrames(std::size_t index);

    SequenceEntries entries_;
    std::size_t cursor_ = 0; // the next entry to load
    std::int32_t position_ = 0;
    std::int32_t endPosition_ = 0; // where a seek past the end found the end
    std::int32_t silenceLeft_ = 0;
    // What the current child reported it had left when it became current, and what has
    // been played of it since: an endless child keeps its end ahead of its position (or
    // does not advance at all), so the sequence counts for it. -1: a growing child, whose
    // own length and position alone decide.
    std::int32_t budget_ = 0;
    std::int32_t consumed_ = 0;
    // Whether a child may still grow (then lengths are asked anew each time); otherwise the
    // frames of the entries from each index to the end, made when first asked, so that the
    // length of a list naming other lists many times costs the same as a flat one.
    bool growing_ = false;
    std::vector<std::int64_t> tail_;

    SourceRef current_;
    // The conversion tables of the children's rates, building while earlier children play.
    std::vector<std::shared_ptr<class ResamplerTable>> prepared_;
};

} // namespace sonimo
