#include "measure/Recording.h"

#include <cmath>

#include "audio/AudioFileReader.h"
#include "audio/Pcm16.h"
#include "audio/RenderTask.h"
#include "audio/WaveFileWriter.h"

namespace sonimo {

namespace {

constexpr double kSourceFullScale = 524288.0; // 2^19: the reader's 1.0

// Keeps the first channel of what the render task writes, as 16-bit values.
class FirstChannelSink final : public SampleSink {
public:
    FirstChannelSink(std::int32_t rate, int ch, std::vector<double>& out) : SampleSink(rate, ch), out_(out) {}
    std::int32_t Write(const std::int32_t* frames, int count) override {
        if (!frames || count <= 0) return 0;
        if (static_cast<std::int64_t>(out_.size()) + count > kMaxMeasureFrames) {
            errorFlags |= kSinkError;
            return 0;
        }
        for (int i = 0; i < count; ++i)
            out_.push_back(ToPcm16(frames[static_cast<std::size_t>(i) * channels]) / 32768.0);
        framesWritten += count;
        return count * 2 * channels;
    }

private:
    std::vector<double>& out_;
};

class QuietProgress final : public RenderProgress {
public:
    void setLines(const std::u16string&, const std::u16string&) override {}
    void setFraction(double) override {}
    bool cancelled() override { return false; }
};

} // namespace

SignalResult ReadChannel(SampleSource& source, int channel, Signal& out) {
    SignalResult r;
    out = Signal{};
    out.rate = source.sampleRate;
    out.channels = source.channels;
    if (channel < 0 || channel >= source.channels) {
        r.status = SignalStatus::NoSuchChannel;
        return r;
    }
    const std::int64_t frames = static_cast<std::int64_t>(source.GetLength()) - source.GetPosition();
    if (frames <= 0) {
        r.status = SignalStatus::Empty;
        return r;
    }
    if (frames > kMaxMeasureFrames) {
        r.status = SignalStatus::TooLong;
        return r;
    }
    out.samples.resize(static_cast<std::size_t>(frames));
    std::vector<std::int32_t> block(static_cast<std::size_t>(kMaxReadFrames) * source.channels);
    for (std::int64_t at = 0; at < frames;) {
        const int n = static_cast<int>(std::min<std::int64_t>(kMaxReadFrames, frames - at));
        source.Read(block.data(), n);
        for (int i = 0; i < n; ++i)
            out.samples[static_cast<std::size_t>(at + i)] =
                block[static_cast<std::size_t>(i) * source.channels + channel] / kSourceFullScale;
        at += n;
    }
    return r;
}

SignalResult ReadAudioFile(const std::u16string& path, int channel, Signal& out) {
    SourceRef s = OpenAudioFile(path);
    SignalResult r;
    if (s->state == StateCannotOpen) {
        r.status = SignalStatus::CannotOpen;
        return r;
    }
    if (s->state != StateOk) {
        r.status = SignalStatus::Undecodable;
        r.readerState = s->state;
        return r;
    }
    return ReadChannel(*s, channel, out);
}

SignalResult RenderFirstChannel(const SourceRef& source, Signal& out) {
    SignalResult r;
    out = Signal{};
    out.rate = source->sampleRate;
    out.channels = source->channels;
    const std::int64_t frames = static_cast<std::int64_t>(source->GetLength()) - source->GetPosition();
    if (frames > kMaxMeasureFrames) {
        r.status = SignalStatus::TooLong;
        return r;
    }
    out.samples.reserve(static_cast<std::size_t>(std::max<std::int64_t>(frames, 0)));
    SinkRef sink =
        makeSink<FirstChannelSink>(source->sampleRate, static_cast<int>(source->channels), out.samples);
    QuietProgress progress;
    if (RenderTask(u"", source, sink, progress) != RenderCompleted) {
        r.status = SignalStatus::RenderFailed;
        return r;
    }
    if (out.samples.empty()) r.status = SignalStatus::Empty;
    return r;
}

SignalCheck CheckSignal(const Signal& s) {
    SignalCheck c;
    constexpr double kClipLevel = 32767.0 / 32768.0;
    int run = 0;
    for (std::size_t i = 0; i < s.samples.size(); ++i) {
        const double a = std::fabs(s.samples[i]);
        c.peak = std::max(c.peak, a);
        // held at the limit: the same value again, at or beyond 16-bit full scale
        if (a >= kClipLevel && i > 0 && s.samples[i] == s.samples[i - 1]) {
            if (++run == 2) {
                if (c.clippedRuns == 0) c.firstClipSeconds = static_cast<double>(i - 2) / s.rate;
                ++c.clippedRuns;
            }
        } else {
            run = 0;
        }
    }
    c.silent = c.peak < 1e-6;
    return c;
}

} // namespace sonimo
