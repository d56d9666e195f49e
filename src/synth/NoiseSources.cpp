#include "synth/NoiseSources.h"

#include "synth/NoiseRandom.h"
#include "synth/SafeConvert.h"

namespace sonimo {

namespace {

// Position counters wrap rather than overflow when a consumer reads far past the end.
std::int32_t advance(std::int32_t position, int frames) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(position) +
                                     static_cast<std::uint32_t>(frames));
}

} // namespace

WhiteNoiseSource::WhiteNoiseSource(std::uint32_t lengthMs, int rate)
    : SampleSource(rate, 1, kGeneratorPeak), table_(kTableSize), length_(MsToFrames(lengthMs, sampleRate)) {
    draw(false);
}

bool WhiteNoiseSource::Query(int code, int*) {
    if (code != QueryRedraw) return false;
    if (heard_) {
        draw(true);
        Seek(0);
    }
    return true;
}

void WhiteNoiseSource::draw(bool again) {
    again ? SeedRandomAgain() : SeedRandom();
    heard_ = false;
    for (std::int32_t& e : table_) {
        // trunc(rand * 262144/32767) in integers: the same values a double-precision product
        // gives (only 32767 lands on an integer, 262144), but also on x87 builds, where an
        // extended-precision product would truncate that one to 262143.
        const auto v = static_cast<std::int32_t>(static_cast<std::int64_t>(NextRandom()) * 262144 / 32767);
        e = (v & 1) ? -v : v;
    }
}

void WhiteNoiseSource::Read(std::int32_t* buffer, int frames) {
    if (state != StateOk) {
        zeroFrames(buffer, frames, 1); // the caller's buffer must never keep stale data
        return;
    }
    if (frames <= 0) return;
    heard_ = true;
    if (length_ != 0) position_ = advance(position_, frames);
    const std::int32_t* table = table_.data();
    while (frames > 0) {
        if (readIndex_ >= kTableSize) {
            if (restartIndex_ >= kTableSize) restartIndex_ = 0;
            const std::int32_t e = table[restartIndex_];
            readIndex_ = e & 0xFFFFF;
            mask_ = e;
            ++restartIndex_;
        }
        const int run = frames < kTableSize - readIndex_ ? frames : kTableSize - readIndex_;
        const std::int32_t* src = table + readIndex_;
        const std::int32_t mask = mask_;
        for (int i = 0; i < run; ++i)
            buffer[i] = src[i] ^ mask;
        buffer += run;
        frames -= run;
        readIndex_ += run;
    }
}

int WhiteNoiseSource::GetLength() {
    return length_ != 0 ? length_ : EndlessLength(sampleRate);
}

void WhiteNoiseSource::Seek(int frame) {
    // The noise restarts whatever the frame, but the position follows the request: the curve
    // filter seeks 2047 frames early and a loop reads its pass length from the position.
    position_ = length_ != 0 ? frame : 0;
    readIndex_ = 0;
    restartIndex_ = 0;
    mask_ = 0;
}

PinkNoiseSource::PinkNoiseSource(std::uint32_t lengthMs, int rate)
    : SampleSource(rate, 1, kGeneratorPeak), table_(kTableSize), length_(MsToFrames(lengthMs, sampleRate)) {
    draw(false);
}

bool PinkNoiseSource::Query(int code, int*) {
    if (code != QueryRedraw) return false;
    if (heard_) {
        draw(true);
        Seek(0);
    }
    return true;
}

void PinkNoiseSource::draw(bool again) {
    again ? SeedRandomAgain() : SeedRandom();
    heard_ = false;
    for (double& e : table_) {
        const int s = NextRandom();
        const int m = NextRandom();
        e = (s & 1) ? m * kTableScale : m * -kTableScale;
    }
}

void PinkNoiseSource::Seek(int frame) {
    position_ = length_ > 0 ? frame : 0; // as for white noise: the noise restarts, the position follows
    readIndex_ = 0;
    runEnd_ = kTableSize;
    restartIndex_ = 0;
    for (double& b : b_)
        b = 0.0;
}

int PinkNoiseSource::GetLength() {
    return length_ != 0 ? length_ : EndlessLength(sampleRate);
}

void PinkNoiseSource::Read(std::int32_t* buffer, int frames) {
    if (state != StateOk) {
        zeroFrames(buffer, frames, 1);
        return;
    }
    if (frames <= 0) return;
    heard_ = true;
    if (length_ > 0) position_ = advance(position_, frames);
    const double* table = table_.data();
    double b0 = b_[0], b1 = b_[1], b2 = b_[2], b3 = b_[3], b4 = b_[4], b5 = b_[5], b6 = b_[6];
    for (int i = 0; i < frames; ++i) {
        if (readIndex_ >= runEnd_) {
            if (restartIndex_ >= kTableSize) restartIndex_ = 0;
            // restartIndex_ is even, so restartIndex_ + 1 stays inside the table; the run
            // lies in [0, 0x3FFF] .. [0x4000, 0x7FFF].
            readIndex_ = static_cast<std::int32_t>(TruncToInt64(table[restartIndex_] * 10.0) & 0x3FFF);
            runEnd_ =
                static_cast<std::int32_t>(TruncToInt64(table[restartIndex_ + 1] * 10.0) & 0x3FFF) + 0x4000;
            restartIndex_ += 2;
        }
        const double w = table[readIndex_++];
        b0 = 0.99886 * b0 + 0.0555179 * w;
        b1 = 0.99332 * b1 + 0.0750759 * w;
        b2 = 0.969 * b2 + 0.153852 * w;
        b3 = 0.8665 * b3 + 0.3104856 * w;
        b4 = 0.55 * b4 + 0.5329522 * w;
        b5 = -0.7616 * b5 - 0.016898 * w;
        buffer[i] = TruncToInt32(b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362 * w);
        b6 = 0.115926 * w;
    }
    b_[0] = b0, b_[1] = b1, b_[2] = b2, b_[3] = b3, b_[4] = b4, b_[5] = b5, b_[6] = b6;
}

} // namespace sonimo
