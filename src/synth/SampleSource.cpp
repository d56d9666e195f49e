#include "synth/SampleSource.h"

#include <algorithm>
#include <climits>

#include <cstring>
#include <limits>

#include "platform/Clock.h"

namespace sonimo {

int RemainingFrames(int length, int position) {
    const std::int64_t d = static_cast<std::int64_t>(length) - position;
    return static_cast<int>(std::clamp<std::int64_t>(d, 0, INT32_MAX));
}

int EndlessLength(int rate) {
    return static_cast<int>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(rate) * kEndlessSeconds, 0, INT32_MAX));
}

SampleSource::SampleSource(int rate, int ch, std::int32_t peak)
    : sampleRate(rate), channels(static_cast<std::uint8_t>(ch)), peakLevel(peak) {
    if (rate <= 0) {
        sampleRate = 44100;
        state = StateBadFormat;
    }
    if (ch <= 0 || ch > 255) {
        channels = 1;
        state = StateBadFormat;
    }
}

void SampleSource::Seek(int) {}
bool SampleSource::Query(int, int*) {
    return false;
}
bool SampleSource::IsGrowing() {
    return false;
}
void SampleSource::WaitForData(int ms) {
    sleepMs(ms);
}

NullSource::NullSource() : SampleSource(11025, 1, kGeneratorPeak) {
    state = StateNull;
}

void NullSource::Read(std::int32_t* buffer, int frames) {
    zeroFrames(buffer, frames, 1);
}

SourceWrapper::SourceWrapper(const SourceRef& inner)
    : SampleSource(inner->sampleRate, inner->channels, inner->peakLevel), inner_(inner) {
    if (inner->state != StateOk) state = StateBadInput;
}

void SourceWrapper::Read(std::int32_t* buffer, int frames) {
    inner_->Read(buffer, frames);
}
int SourceWrapper::GetPosition() {
    return inner_->GetPosition();
}
int SourceWrapper::GetLength() {
    return inner_->GetLength();
}
void SourceWrapper::Seek(int frame) {
    inner_->Seek(frame);
}
bool SourceWrapper::Query(int code, int* value) {
    return inner_->Query(code, value);
}
bool SourceWrapper::IsGrowing() {
    return inner_->IsGrowing();
}
void SourceWrapper::WaitForData(int ms) {
    inner_->WaitForData(ms);
}

std::int32_t MsToFrames(std::int64_t ms, std::int32_t rate) {
    const std::int64_t frames =
        static_cast<std::int64_t>(rate) * (ms / 1000) + static_cast<std::int64_t>(rate) * (ms % 1000) / 1000;
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(frames > hi ? hi : frames < lo ? lo : frames);
}

std::int64_t FramesToMs(std::int64_t frames, std::int32_t rate) {
    if (rate <= 0) return 0;
    return (frames / rate) * 1000 + ((frames % rate) * 1000) / rate;
}

void zeroFrames(std::int32_t* buffer, int frames, int channels) {
    if (frames > 0)
        std::memset(buffer, 0, sizeof(std::int32_t) * static_cast<std::size_t>(frames) * channels);
}

} // namespace sonimo
