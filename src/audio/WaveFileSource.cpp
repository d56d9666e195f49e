#include "audio/WaveFileSource.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/WaveFormat.h"

namespace sonimo {

namespace {

constexpr std::int32_t kG711Peak = 516096; // 32256 << 4

// File data is read and converted in pieces of at most this many bytes (or one frame,
// when a frame is larger), into a buffer grown to what a piece needs: a list holds every
// entry open at once, so a reader of many channels must not hold 8192 frames of them.
constexpr std::int64_t kPieceBytes = 64 * 1024;

int clampFrames(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::int32_t>::max()));
}

struct G711Tables {
    std::int16_t alaw[256];
    std::int16_t mulaw[256];
    G711Tables() {
        for (int c = 0; c < 256; ++c) {
            // A-law: even bits inverted, 3-bit segment, 4-bit step, sign set for positive.
            const int a = c ^ 0x55;
            int t = (a & 0x0F) << 4;
            const int seg = (a & 0x70) >> 4;
            t += seg == 0 ? 8 : 0x108;
            if (seg > 1) t <<= seg - 1;
            alaw[c] = static_cast<std::int16_t>(a & 0x80 ? t : -t);
            // µ-law: all bits inverted, biased by 0x84 before the segment shift.
            const int u = ~c & 0xFF;
            const int m = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
            mulaw[c] = static_cast<std::int16_t>(u & 0x80 ? 0x84 - m : m - 0x84);
        }
    }
};

const G711Tables& g711() {
    static const G711Tables tables;
    return tables;
}

} // namespace

std::int16_t alawToLinear(std::uint8_t code) {
    return g711().alaw[code];
}
std::int16_t mulawToLinear(std::uint8_t code) {
    return g711().mulaw[code];
}

std::int32_t floatToSample(double x) {
    const double v = x * 524288.0;
    if (!(v == v)) return 0;
    if (v >= kGeneratorPeak) return kGeneratorPeak;
    if (v <= -kGeneratorPeak) return -kGeneratorPeak;
    return static_cast<std::int32_t>(v < 0 ? v - 0.5 : v + 0.5);
}

namespace {
int sampleBytesOf(WaveFileSource::Encoding e) {
    using E = WaveFileSource::Encoding;
    switch (e) {
    case E::Pcm16:
        return 2;
    case E::Pcm24:
        return 3;
    case E::Pcm32:
    case E::Float32:
        return 4;
    case E::Float64:
        return 8;
    default:
        return 1;
    }
}

std::int32_t peakOf(WaveFileSource::Encoding e) {
    using E = WaveFileSource::Encoding;
    if (e == E::ALaw || e == E::MuLaw) return kG711Peak;
    // float data may go beyond 1.0: let consumers limit it
    return e == E::Float32 || e == E::Float64 ? kGeneratorPeak : kNominalFullScale;
}
} // namespace

WaveFileSource::WaveFileSource(std::unique_ptr<ByteSource> bytes, Encoding encoding, int sampleRate, int ch,
                               std::uint32_t dataSize)
    : SampleSource(sampleRate, ch, peakOf(encoding)), bytes_(std::move(bytes)), encoding_(encoding) {
    bytesPerFrame_ = sampleBytesOf(encoding) * channels;
    dataStart_ = bytes_->tell();
    length_ =
        dataSize < kUnknownDataSize ? clampFrames(dataSize / static_cast<std::uint32_t>(bytesPerFrame_)) : -1;
    g711(); // build the tables here rather than on the first Read
}

int WaveFileSource::framesInFile() const {
    const std::int64_t size = bytes_->size();
    return size > dataStart_ ? clampFrames((size - dataStart_) / bytesPerFrame_) : 0;
}

int WaveFileSource::GetLength() {
    if (length_ >= 0) return length_;
    if (isPcm() && dataStart_ >= 4) {
        // The writer puts the real size in when it finishes; look again.
        const std::int64_t here = bytes_->tell();
        unsigned char s[4];
        if (bytes_->seek(dataStart_ - 4) && bytes_->read(s, 4) == 4) {
            const std::uint32_t size =
                static_cast<std::uint32_t>(s[0]) | (static_cast<std::uint32_t>(s[1]) << 8) |
                (static_cast<std::uint32_t>(s[2]) << 16) | (static_cast<std::uint32_t>(s[3]) << 24);
            if (size < kUnknownDataSize)
                length_ = clampFrames(size / static_cast<std::uint32_t>(bytesPerFrame_));
        }
        bytes_->seek(here);
        if (length_ >= 0) return length_;
    }
    return framesInFile();
}

bool WaveFileSource::IsGrowing() {
    return isPcm() && length_ < 0;
}

void WaveFileSource::Seek(int frame) {
    position_ = frame;
    std::int64_t offset = dataStart_;
    if (frame >= 1) offset += static_cast<std::int64_t>(std::min(frame, GetLength())) * bytesPerFrame_;
    bytes_->seek(offset);
}

int WaveFileSource::decode(std::int32_t* out, int frames) {
    const int piece = static_cast<int>(std::max<std::int64_t>(1, kPieceBytes / bytesPerFrame_));
    int done = 0;
    while (done < frames) {
        const int want = std::min(piece, frames - done);
        const int got = decodePiece(out + static_cast<std::size_t>(done) * channels, want);
        done += got;
        if (got < want) break;
    }
    return done;
}

int WaveFileSource::decodePiece(std::int32_t* out, int frames) {
    if (frames <= 0) return 0;
    const std::int64_t want = static_cast<std::int64_t>(frames) * bytesPerFrame_;
    if (fileBuffer_.size() < static_cast<std::size_t>(want))
        fileBuffer_.resize(static_cast<std::size_t>(want));
    const std::int64_t here = bytes_->tell();
    std::int64_t got = bytes_->read(fileBuffer_.data(), want);
    if (got < 0) got = 0;
    const int whole = static_cast<int>(got / bytesPerFrame_);
    if (got % bytesPerFrame_ != 0 && here >= 0) {
        // Half a frame of a file still being written: take it again with the rest next time.
        bytes_->seek(here + static_cast<std::int64_t>(whole) * bytesPerFrame_);
    }
    const std::size_t samples = static_cast<std::size_t>(whole) * channels;
    const unsigned char* p = fileBuffer_.data();
    switch (encoding_) {
    case Encoding::Pcm8:
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = (static_cast<std::int32_t>(p[i]) - 128) * 4096;
        break;
    case Encoding::Pcm16:
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = static_cast<std::int16_t>(p[2 * i] | (p[2 * i + 1] << 8)) * 16;
        break;
    case Encoding::ALaw: {
        const std::int16_t* t = g711().alaw;
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = t[p[i]] * 16;
        break;
    }
    case Encoding::MuLaw: {
        const std::int16_t* t = g711().mulaw;
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = t[p[i]] * 16;
        break;
    }
    case Encoding::Pcm24: // 8 bits below a 16-bit step; 4 of them are kept
        for (std::size_t i = 0; i < samples; ++i) {
            const std::uint32_t u =
                p[3 * i] | (p[3 * i + 1] << 8) | (static_cast<std::uint32_t>(p[3 * i + 2]) << 16);
            out[i] = static_cast<std::int32_t>(u << 8) >> 12;
        }
        break;
    case Encoding::Pcm32:
        for (std::size_t i = 0; i < samples; ++i) {
            const std::uint32_t u = p[4 * i] | (p[4 * i + 1] << 8) | (p[4 * i + 2] << 16) |
                                    (static_cast<std::uint32_t>(p[4 * i + 3]) << 24);
            out[i] = static_cast<std::int32_t>(u) >> 12;
        }
        break;
    case Encoding::Float32:
        for (std::size_t i = 0; i < samples; ++i) {
            const std::uint32_t u = p[4 * i] | (p[4 * i + 1] << 8) | (p[4 * i + 2] << 16) |
                                    (static_cast<std::uint32_t>(p[4 * i + 3]) << 24);
            float f;
            std::memcpy(&f, &u, 4);
            out[i] = floatToSample(f);
        }
        break;
    case Encoding::Float64:
        for (std::size_t i = 0; i < samples; ++i) {
            std::uint64_t u = 0;
            for (int b = 7; b >= 0; --b)
                u = (u << 8) | p[8 * i + b];
            double d;
            std::memcpy(&d, &u, 8);
            out[i] = floatToSample(d);
        }
        break;
    }
    return whole;
}

void WaveFileSource::Read(std::int32_t* buffer, int frames) {
    if (frames <= 0) return;
    if (frames > kMaxReadFrames) {
        // Larger requests are outside the contract; serve them in pieces rather than overrun.
        for (int done = 0; done < frames; done += kMaxReadFrames)
            Read(buffer + static_cast<std::size_t>(done) * channels, std::min(kMaxReadFrames, frames - done));
        return;
    }
    if (isPcm()) {
        if (position_ < 0) {
            const int z =
                static_cast<int>(std::min<std::int64_t>(-static_cast<std::int64_t>(position_), frames));
            zeroFrames(buffer, z, channels);
            position_ += z;
            buffer += static_cast<std::size_t>(z) * channels;
            frames -= z;
            if (frames == 0) return;
        }
        int got = 0;
        if (length_ < 0 || position_ < length_) {
            const int k = length_ < 0 ? frames : std::min(frames, length_ - position_);
            got = decode(buffer, k);
            position_ += got;
        }
        zeroFrames(buffer + static_cast<std::size_t>(got) * channels, frames - got, channels);
        // A growing file is read again from here next time; a finished one runs on in silence.
        if (length_ >= 0)
            position_ = static_cast<std::int32_t>(std::min<std::int64_t>(
                std::int64_t{position_} + (frames - got), std::numeric_limits<std::int32_t>::max()));
        return;
    }

    // A-law and µ-law advance by the whole request first.
    const std::int64_t old = position_;
    position_ = static_cast<std::int32_t>(
        std::min<std::int64_t>(old + frames, std::numeric_limits<std::int32_t>::max()));
    int z = 0;
    if (old < 0) {
        z = static_cast<int>(std::min<std::int64_t>(-old, frames));
        zeroFrames(buffer, z, channels);
    }
    const std::int64_t length = length_ >= 0 ? length_ : framesInFile();
    const int k =
        static_cast<int>(std::clamp<std::int64_t>(length - std::max<std::int64_t>(old, 0), 0, frames - z));
    const int got = decode(buffer + static_cast<std::size_t>(z) * channels, k);
    zeroFrames(buffer + static_cast<std::size_t>(z + got) * channels, frames - z - got, channels);
}

} // namespace sonimo
