#include "audio/WaveFileSource.h"

#include <algorithm>
#include <limits>

#include "audio/WaveFormat.h"

namespace sonimo {

namespace {

constexpr std::int32_t kG711Peak = 516096; // 32256 << 4

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

std::int16_t alawToLinear(std::uint8_t code) { return g711().alaw[code]; }
std::int16_t mulawToLinear(std::uint8_t code) { return g711().mulaw[code]; }

WaveFileSource::WaveFileSource(std::unique_ptr<ByteSource> bytes, Encoding encoding, int sampleRate, int ch,
                               std::uint32_t dataSize)
    : SampleSource(sampleRate, ch,
                   encoding == Encoding::ALaw || encoding == Encoding::MuLaw ? kG711Peak : kNominalFullScale),
      bytes_(std::move(bytes)), encoding_(encoding) {
    const int sampleBytes = encoding == Encoding::Pcm16 ? 2 : 1;
    bytesPerFrame_ = sampleBytes * channels;
    dataStart_ = bytes_->tell();
    length_ = dataSize < kUnknownDataSize ? clampFrames(dataSize / static_cast<std::uint32_t>(bytesPerFrame_)) : -1;
    fileBuffer_.resize(static_cast<std::size_t>(kMaxReadFrames) * bytesPerFrame_);
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
            const std::uint32_t size = static_cast<std::uint32_t>(s[0]) | (static_cast<std::uint32_t>(s[1]) << 8) |
                                       (static_cast<std::uint32_t>(s[2]) << 16) |
                                       (static_cast<std::uint32_t>(s[3]) << 24);
            if (size < kUnknownDataSize) length_ = clampFrames(size / static_cast<std::uint32_t>(bytesPerFrame_));
        }
        bytes_->seek(here);
        if (length_ >= 0) return length_;
    }
    return framesInFile();
}

bool WaveFileSource::IsGrowing() { return isPcm() && length_ < 0; }

void WaveFileSource::Seek(int frame) {
    position_ = frame;
    std::int64_t offset = dataStart_;
    if (frame >= 1) offset += static_cast<std::int64_t>(std::min(frame, GetLength())) * bytesPerFrame_;
    bytes_->seek(offset);
}

int WaveFileSource::decode(std::int32_t* out, int frames) {
    if (frames <= 0) return 0;
    const std::int64_t want = static_cast<std::int64_t>(frames) * bytesPerFrame_;
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
        for (std::size_t i = 0; i < samples; ++i) out[i] = (static_cast<std::int32_t>(p[i]) - 128) * 4096;
        break;
    case Encoding::Pcm16:
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = static_cast<std::int16_t>(p[2 * i] | (p[2 * i + 1] << 8)) * 16;
        break;
    case Encoding::ALaw: {
        const std::int16_t* t = g711().alaw;
        for (std::size_t i = 0; i < samples; ++i) out[i] = t[p[i]] * 16;
        break;
    }
    case Encoding::MuLaw: {
        const std::int16_t* t = g711().mulaw;
        for (std::size_t i = 0; i < samples; ++i) out[i] = t[p[i]] * 16;
        break;
    }
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
            const int z = static_cast<int>(std::min<std::int64_t>(-static_cast<std::int64_t>(position_), frames));
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
        if (length_ >= 0) position_ = static_cast<std::int32_t>(
                              std::min<std::int64_t>(std::int64_t{position_} + (frames - got),
                                                     std::numeric_limits<std::int32_t>::max()));
        return;
    }

    // A-law and µ-law advance by the whole request first.
    const std::int64_t old = position_;
    position_ = static_cast<std::int32_t>(std::min<std::int64_t>(old + frames, std::numeric_limits<std::int32_t>::max()));
    int z = 0;
    if (old < 0) {
        z = static_cast<int>(std::min<std::int64_t>(-old, frames));
        zeroFrames(buffer, z, channels);
    }
    const std::int64_t length = length_ >= 0 ? length_ : framesInFile();
    const int k = static_cast<int>(std::clamp<std::int64_t>(length - std::max<std::int64_t>(old, 0), 0, frames - z));
    const int got = decode(buffer + static_cast<std::size_t>(z) * channels, k);
    zeroFrames(buffer + static_cast<std::size_t>(z + got) * channels, frames - z - got, channels);
}

} // namespace sonimo
