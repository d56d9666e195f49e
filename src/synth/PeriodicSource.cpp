#include "synth/PeriodicSource.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "synth/DbGain.h"

namespace sonimo {

namespace {
constexpr double kTwoPiOverTable = 0.00019174759848570515; // 2 pi / 32768
constexpr double kLogFloorHz = 0.01;                       // keeps the log law finite for a 0 Hz end point
} // namespace

std::uint32_t incrementFromDouble(double v) {
    if (!(v == v)) return 0;
    constexpr double lim = 9223372036854775807.0; // 2^63
    if (v >= lim) v = lim - 1024.0;
    if (v <= -lim) v = -lim;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
}

void buildWaveTable(int w, std::int32_t* t) {
    constexpr int n = kWaveTableSize;
    for (int i = 0; i < n; ++i) {
        std::int32_t v = 0;
        switch (w) {
        case Sine:
            v = static_cast<std::int32_t>(std::sin(i * kTwoPiOverTable) * 524288.0);
            break;
        case Square:
            v = i < n / 2 ? 524288 : -524288;
            break;
        case Triangle:
            if (i < 8192) {
                v = 64 * i;
            } else if (i < 16384) {
                v = 64 * (16384 - i);
            } else {
                v = -t[i - 16384];
            }
            break;
        case Sawtooth:
            v = i <= 16384 ? 32 * i : -32 * (32768 - i);
            break;
        default:
            break;
        }
        t[i] = v;
    }
}

const std::int32_t* sharedWaveTable(int w) {
    // Never destroyed: a feeder thread may still read a table while the process ends.
    static const auto* const tables = [] {
        auto* t = new std::array<std::vector<std::int32_t>, 5>;
        const int kinds[5] = {Sine, Square, Triangle, Sawtooth, Impulse}; // the impulse's is all zero
        for (std::size_t k = 0; k < t->size(); ++k) {
            (*t)[k].resize(kWaveTableSize);
            buildWaveTable(kinds[k], (*t)[k].data());
        }
        return t;
    }();
    switch (w) {
    case Sine:
        return (*tables)[0].data();
    case Square:
        return (*tables)[1].data();
    case Triangle:
        return (*tables)[2].data();
    case Sawtooth:
        return (*tables)[3].data();
    default:
        return (*tables)[4].data();
    }
}

void Oscillator::init(double f0, double f1, int rate, bool logLaw, int db, bool impulse) {
    impulseMode = impulse ? 1 : 0;
    const double k = 4294967296.0 / rate;
    if (logLaw) {
        f0 = f0 >= kLogFloorHz ? f0 : kLogFloorHz;
        f1 = f1 >= kLogFloorHz ? f1 : kLogFloorHz;
    }
    baseIncrement = increment = incrementFromDouble(k * f0);
    sweepParameter = logLaw ? f1 / f0 : k * f1 - static_cast<double>(baseIncrement);
    phase = 0;
    gain = DbGainTable::instance().amplitude(db);
}

void Oscillator::sweepTo(double x, bool logLaw) {
    if (logLaw) {
        increment = incrementFromDouble(std::pow(sweepParameter, x) * static_cast<double>(baseIncrement));
    } else {
        increment = incrementFromDouble(sweepParameter * x) + baseIncrement;
    }
}

PeriodicSource::PeriodicSource(const ToneData& tone, int rate)
    : SampleSource(rate, (tone.flags & ToneFlagStereo) ? 2 : 1, kGeneratorPeak),
      table_(sharedWaveTable(tone.waveform)) {
    const int r = sampleRate; // 44100 when the rate given was unusable
    if (tone.flags & ToneFlagFixedLength) length_ = MsToFrames(tone.lengthMs, r);
    const bool impulse = tone.waveform == Impulse;
    if ((tone.flags & (ToneFlagSweep | ToneFlagLogSweep)) && length_ > 0) {
        countdown_ = kSweepUpdateFrames;
        logSweep_ = (tone.flags & ToneFlagLogSweep) ? 1 : 0;
    }
    toneCount_ = std::min<int>(tone.toneCount, kMaxTones);
    stereo_ = (tone.flags & ToneFlagStereo) ? 1 : 0;
    for (int j = 0; j < toneCount_; ++j) {
        const int db = (tone.flags & ToneFlagRelativeAmplitude) ? tone.relativeAmplitudeDb[j] : 0;
        left_[j].init(tone.leftStartHz[j], tone.leftEndHz[j], r, logSweep_, db, impulse);
        if (stereo_) right_[j].init(tone.rightStartHz[j], tone.rightEndHz[j], r, logSweep_, db, impulse);
    }
}

int PeriodicSource::GetLength() {
    return length_ > 0 ? length_ : EndlessLength(sampleRate);
}

namespace {
// Adds (or, for the first oscillator, stores) one oscillator's run of frames into every
// `stride`-th sample of out.
template <bool Impulse>
void runOscillator(Oscillator& o, const std::int32_t* table, std::int32_t* out, int frames, int stride,
                   bool first) {
    std::uint32_t phase = o.phase;
    const std::uint32_t inc = o.increment;
    const std::int32_t g = o.gain;
    const std::int32_t pulse = MulGain(kUnitAmplitude, g);
    for (int i = 0; i < frames; ++i) {
        std::int32_t s;
        if constexpr (Impulse) {
            const std::uint32_t next = phase + inc;
            s = next < phase ? pulse : 0; // the accumulator wrapped: one pulse per period
            phase = next;
        } else {
            phase += inc;
            s = MulGain(table[phase >> 17], g);
        }
        std::int32_t& d = out[static_cast<std::ptrdiff_t>(i) * stride];
        d = first ? s
                  : static_cast<std::int32_t>(static_cast<std::uint32_t>(d) + static_cast<std::uint32_t>(s));
    }
    o.phase = phase;
}
} // namespace

void PeriodicSource::Read(std::int32_t* buffer, int frames) {
    if (frames <= 0) return;
    const int ch = channels;
    if (toneCount_ == 0) zeroFrames(buffer, frames, ch);
    int done = 0;
    while (done < frames) {
        const int chunk = countdown_ >= 0 ? std::min(frames - done, countdown_) : frames - done;
        std::int32_t* out = buffer + static_cast<std::ptrdiff_t>(done) * ch;
        for (int c = 0; c < (stereo_ ? 2 : 1); ++c) {
            Oscillator* osc = c == 0 ? left_ : right_;
            for (int j = 0; j < toneCount_; ++j) {
                if (osc[j].impulseMode) {
                    runOscillator<true>(osc[j], table_, out + c, chunk, ch, j == 0);
                } else {
                    runOscillator<false>(osc[j], table_, out + c, chunk, ch, j == 0);
                }
            }
        }
        done += chunk;
        if (countdown_ >= 0) {
            countdown_ -= chunk;
            if (countdown_ == 0) {
                updateSweep((static_cast<double>(position_) + (done - 1)) / length_);
                countdown_ = kSweepUpdateFrames;
            }
        }
    }
    if (length_ > 0) position_ += frames;
}

void PeriodicSource::updateSweep(double x) {
    for (int j = 0; j < toneCount_; ++j) {
        left_[j].sweepTo(x, logSweep_);
        if (stereo_) right_[j].sweepTo(x, logSweep_);
    }
}

void PeriodicSource::Seek(int frame) {
    position_ = frame;
    for (int j = 0; j < kMaxTones; ++j) {
        for (Oscillator* o : {&left_[j], &right_[j]}) {
            o->phase = 0;
            o->increment = o->baseIncrement;
        }
    }
}

} // namespace sonimo
