#include "AudioCapture.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Text.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"
#include "synth/PeriodicSource.h"
#include "audio/playback/OutputFormat.h"

namespace sonimo::test {

std::u16string capturePath() {
    wchar_t dir[1024];
    const DWORD n = GetEnvironmentVariableW(L"SONIMO_CAPTURE_DIR", dir, 1024);
    if (n == 0 || n >= 1024) return {};
    std::u16string p = u"Z:";
    for (DWORD i = 0; i < n; ++i)
        p += dir[i] == L'/' ? u'\\' : static_cast<char16_t>(dir[i]);
    return p + u"\\capture.wav";
}

static std::uint32_t le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
static std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

Capture readCapture() {
    Capture c;
    const std::u16string path = capturePath();
    if (path.empty()) return c;
    std::vector<unsigned char> bytes;
    {
        const OwnedFile f(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        if (!f) return c;
        unsigned char buf[65536];
        DWORD got = 0;
        while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0)
            bytes.insert(bytes.end(), buf, buf + got);
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return c;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const std::uint32_t size = le32(&bytes[pos + 4]);
        const unsigned char* body = &bytes[pos + 8];
        if (std::memcmp(&bytes[pos], "fmt ", 4) == 0 && pos + 8 + 16 <= bytes.size()) {
            c.channels = le16(body + 2);
            c.rate = static_cast<int>(le32(body + 4));
            c.bits = le16(body + 14);
        } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            // The size may not be final; what is in the file is what was played.
            std::size_t avail = bytes.size() - pos - 8;
            if (size != 0 && size < avail) avail = size;
            if (c.bits == 16) {
                for (std::size_t i = 0; i + 1 < avail; i += 2)
                    c.samples.push_back(static_cast<std::int16_t>(le16(body + i)));
            } else if (c.bits == 32) {
                // Wine mixes DirectSound in 32-bit float, and ALSA's file plugin labels
                // that as 32-bit PCM: the samples are floats whatever the tag says.
                for (std::size_t i = 0; i + 3 < avail; i += 4) {
                    const std::uint32_t bits = le32(body + i);
                    float f;
                    std::memcpy(&f, &bits, 4);
                    const double v = static_cast<double>(f) * 32768.0;
                    c.samples.push_back(v != v ? 0
                                               : static_cast<std::int32_t>(
                                                     std::clamp(std::lround(v), -2147483647L, 2147483647L)));
                }
            } else {
                return c;
            }
            c.ok = c.channels > 0;
            return c;
        }
        pos += 8 + size + (size & 1);
    }
    return c;
}

void removeCapture() {
    const std::u16string path = capturePath();
    if (!path.empty()) DeleteFileW(wide(path));
}

void keepCapture(const char16_t* name) {
    const std::u16string path = capturePath();
    if (path.empty()) return;
    const std::u16string copy = path.substr(0, path.size() - 11) + name; // in place of "capture.wav"
    CopyFileW(wide(path), wide(copy), FALSE);
}

bool waveOutDeviceListed() {
    return waveOutGetNumDevs() > 0;
}

ToneData sineTone(double hz, std::uint32_t ms, int db, bool stereo) {
    ToneData t = defaultToneData();
    t.waveform = Sine;
    t.toneCount = 1;
    for (int i = 0; i < kMaxTones; ++i)
        t.leftStartHz[i] = t.leftEndHz[i] = t.rightStartHz[i] = t.rightEndHz[i] = hz;
    t.relativeAmplitudeDb[0] = static_cast<std::int8_t>(db);
    t.flags = ToneFlagRelativeAmplitude;
    if (stereo) t.flags |= ToneFlagStereo;
    if (ms) {
        t.flags |= ToneFlagFixedLength;
        t.lengthMs = ms;
    }
    return t;
}

std::vector<std::int32_t> render16(const ToneData& tone, int rate, int frames) {
    PeriodicSource s(tone, rate);
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * s.channels);
    std::vector<std::int32_t> block(static_cast<std::size_t>(kMaxReadFrames) * s.channels);
    for (int done = 0; done < frames;) {
        const int n = std::min(kMaxReadFrames, frames - done);
        s.Read(block.data(), n);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) * s.channels; ++i)
            out[static_cast<std::size_t>(done) * s.channels + i] = ToPcm16(block[i]);
        done += n;
    }
    return out;
}

namespace {
class Spread final : public SourceWrapper {
public:
    Spread(const SourceRef& mono, int channels) : SourceWrapper(mono), work_(kMaxReadFrames) {
        this->channels = static_cast<std::uint8_t>(channels);
    }
    void Read(std::int32_t* buffer, int frames) override {
        inner().Read(work_.data(), frames);
        for (int f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c)
                buffer[f * channels + c] = work_[f] / (c + 1);
    }

private:
    std::vector<std::int32_t> work_;
};
} // namespace

SourceRef spreadChannels(const SourceRef& mono, int channels) {
    return makeSource<Spread>(mono, channels);
}

std::size_t firstLoud(const std::vector<std::int32_t>& samples, std::int32_t threshold) {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i] > threshold || samples[i] < -threshold) return i;
    return std::string::npos;
}

Capture withoutSilentRuns(const Capture& c, std::size_t minRun, std::size_t& removed) {
    Capture out = c;
    out.samples.clear();
    removed = 0;
    const std::size_t ch = static_cast<std::size_t>(c.channels);
    std::size_t f = 0;
    const std::size_t n = c.frames();
    auto silent = [&](std::size_t i) {
        for (std::size_t k = 0; k < ch; ++k)
            if (c.samples[i * ch + k] != 0) return false;
        return true;
    };
    while (f < n) {
        std::size_t e = f;
        while (e < n && silent(e))
            ++e;
        if (e - f >= minRun) {
            removed += e - f;
        } else {
            out.samples.insert(out.samples.end(), c.samples.begin() + f * ch, c.samples.begin() + e * ch);
        }
        if (e == f) {
            out.samples.insert(out.samples.end(), c.samples.begin() + f * ch,
                               c.samples.begin() + (f + 1) * ch);
            ++e;
        }
        f = e;
    }
    return out;
}

std::string firstDifference(const std::vector<std::int32_t>& got, const std::vector<std::int32_t>& want) {
    const std::size_t n = std::min(got.size(), want.size());
    std::size_t i = 0;
    while (i < n && got[i] == want[i])
        ++i;
    if (i == n && got.size() == want.size()) return "";
    std::string s = "first difference at sample " + std::to_string(i) + " of " + std::to_string(got.size()) +
                    " (expected " + std::to_string(want.size()) + ")";
    if (i < n) s += ": got " + std::to_string(got[i]) + ", want " + std::to_string(want[i]);
    return s;
}

std::size_t longestZeroRun(const Capture& c, std::size_t begin, std::size_t end) {
    std::size_t best = 0, run = 0;
    for (std::size_t f = begin; f < end && f < c.frames(); ++f) {
        run = c.samples[f * c.channels] == 0 ? run + 1 : 0;
        if (run > best) best = run;
    }
    return best;
}

double crossingFrequency(const Capture& c, std::size_t begin, std::size_t end) {
    std::vector<std::size_t> periods;
    std::size_t previous = 0;
    for (std::size_t f = begin + 1; f < end && f < c.frames(); ++f) {
        const std::int32_t a = c.samples[(f - 1) * c.channels], b = c.samples[f * c.channels];
        if (a < 0 && b >= 0) {
            if (previous) periods.push_back(f - previous);
            previous = f;
        }
    }
    if (periods.empty()) return 0.0;
    // the sum below does not depend on the order, so the median is found in place
    const auto middle = periods.begin() + static_cast<std::ptrdiff_t>(periods.size() / 2);
    std::nth_element(periods.begin(), middle, periods.end());
    const double median = static_cast<double>(*middle);
    double kept = 0, count = 0;
    for (const std::size_t p : periods)
        if (std::abs(static_cast<double>(p) - median) <= median / 4) {
            kept += static_cast<double>(p);
            ++count;
        }
    return count ? count * c.rate / kept : 0.0;
}

LevelShape levelShape(const Capture& c, std::size_t begin, std::size_t end, std::size_t window) {
    LevelShape shape;
    end = std::min(end, c.frames());
    if (window == 0 || begin >= end) return shape;
    double sum = 0, peak = 0, lowest = 1e300, highest = 0;
    for (std::size_t at = begin; at + window <= end; at += window) {
        double p = 0;
        for (std::size_t f = at; f < at + window; ++f) {
            const double v = c.samples[f * c.channels];
            p = std::max(p, std::abs(v));
            sum += v * v;
        }
        lowest = std::min(lowest, p);
        highest = std::max(highest, p);
        ++shape.windows;
    }
    if (shape.windows == 0 || highest <= 0) return shape;
    peak = highest;
    const double toDb = 32768.0;
    shape.highestDb = 20 * std::log10(highest / toDb);
    shape.lowestDb = lowest > 0 ? 20 * std::log10(lowest / toDb) : -999;
    shape.rmsOverPeak = std::sqrt(sum / static_cast<double>(shape.windows * window)) / peak;
    return shape;
}

} // namespace sonimo::test
