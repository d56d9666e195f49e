#include "audio/Mp3FileSource.h"

#include "audio/AudioFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sonimo {

using mp3::FrameHeader;
using mp3::kMaxFrameBytes;

namespace {

constexpr int kWindowBytes = 1 << 16;

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::int32_t clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, 0x7FFFFFFF));
}

} // namespace

Mp3FileSource::Mp3FileSource(std::unique_ptr<ByteSource>& bytes, std::uint32_t dataSize, int formatChannels)
    : SampleSource(44100, 2, kPeak), frame_(kMaxFrameBytes + 8, 0), pcm_(mp3::kMaxFrameSamples * 2, 0.0f),
      window_(kWindowBytes + kMaxFrameBytes, 0) {
    state = StateNoConverter;
    if (!bytes) return;
    ByteSource& b = *bytes;
    dataStart_ = b.tell();
    const std::int64_t rest = std::max<std::int64_t>(0, b.size() - dataStart_);
    dataBytes_ = dataSize >= kUnknownDataSize ? rest : std::min<std::int64_t>(dataSize, rest);
    // The data chunk is addressed by 32-bit offsets, as the WAV format itself is.
    dataBytes_ = std::min<std::int64_t>(dataBytes_, 0xFFFFFFFFll);
    bytes_ = std::move(bytes);
    if (!scan()) {
        bytes = std::move(bytes_); // not ours after all: hand it back where it was
        bytes->seek(dataStart_);
        return;
    }
    readTag();
    skipUnreachableStart();
    sampleRate = first_.sampleRate;
    channels = static_cast<std::uint8_t>(formatChannels == 1 || formatChannels == 2 ? formatChannels
                                                                                    : first_.channels);
    samplesPerFrame_ = first_.samplesPerFrame;
    const std::int64_t audio = static_cast<std::int64_t>(frameCount()) * samplesPerFrame_;
    std::int64_t length = audio;
    if (gapless_) {
        skip_ = delay_ + mp3::kDecoderDelay;
        length = std::min(audio - skip_, length - delay_ - padding_);
    }
    length_ = clamp32(length);
    state = StateOk;
}

int Mp3FileSource::fetch(std::int64_t offset, unsigned char* dst, int count) {
    if (offset < 0 || offset >= dataBytes_ || count <= 0) return 0;
    count = static_cast<int>(std::min<std::int64_t>(count, dataBytes_ - offset));
    if (offset < windowStart_ || offset + count > windowStart_ + windowBytes_) {
        windowStart_ = offset;
        windowBytes_ = 0;
        const int want = static_cast<int>(std::min<std::int64_t>(window_.size(), dataBytes_ - offset));
        if (bytes_->seek(dataStart_ + offset)) {
            const std::int64_t got = bytes_->read(window_.data(), want);
            windowBytes_ = got > 0 ? static_cast<int>(got) : 0;
        }
        count = std::min(count, windowBytes_);
    }
    if (count <= 0) return 0;
    std::memcpy(dst, window_.data() + (offset - windowStart_), static_cast<std::size_t>(count));
    return count;
}

// Finds every frame: a header that parses, of the stream's family, rate and channel
// count, whose successor also has such a header (or that ends the data). Anything else
// is skipped a byte at a time, which is how damaged stretches are got over; the last
// frame may be followed by a few stray bytes.
bool Mp3FileSource::scan() {
    unsigned char h[4];
    int freeSearches = 0;
    bool haveFirst = false;
    std::int64_t pos = 0;
    FrameHeader fh, next;
    // Frame positions are 32-bit sample counts: more frames than those can reach are not
    // indexed, which also bounds the index of a huge file to 15 MB.
    constexpr std::size_t kMaxFrames = 0x7FFFFFFF / 576 + 2;
    while (pos + 4 <= dataBytes_ && offsets_.size() < kMaxFrames) {
        if (fetch(pos, h, 4) == 4 && mp3::parseHeader(h, fh) && (!haveFirst || fh.sameStream(first_))) {
            // Free format: the frame length is the distance to the next such header,
            // looked for a bounded number of times (junk full of free-format headers must
            // not make the scan quadratic).
            if (fh.bitrateIndex == 0 && freeBytes_ == 0 && freeSearches++ < 32) {
                const int least = 4 + fh.sideInfoBytes;
                for (int d = least; d <= kMaxFrameBytes && pos + d + 4 <= dataBytes_; ++d) {
                    unsigned char n[4];
                    if (fetch(pos + d, n, 4) == 4 && mp3::parseHeader(n, next) && next.sameStream(fh) &&
                        next.bitrateIndex == 0) {
                        freeBytes_ = d - (fh.padding ? 1 : 0);
                        break;
                    }
                }
            }
            const int size = fh.frameBytes(freeBytes_);
            bool accept = size > 4 + fh.sideInfoBytes && size <= kMaxFrameBytes && pos + size <= dataBytes_;
            // A frame whose successor is not where its length says was cut short or
            // damaged; it is dropped and the search goes on from its second byte.
            if (accept && pos + size + 4 <= dataBytes_) {
                unsigned char n[4];
                accept = fetch(pos + size, n, 4) == 4 && mp3::parseHeader(n, next) && next.sameStream(fh);
            }
            if (accept) {
                if (!haveFirst) {
                    first_ = fh;
                    haveFirst = true;
                }
                offsets_.push_back(static_cast<std::uint32_t>(pos));
                pos += size;
                continue;
            }
        }
        ++pos;
    }
    return haveFirst;
}

// The Xing or Info frame (with the LAME extension) or a VBRI frame at the start holds no
// audio: it gives the frame count and, from LAME, the encoder's delay and padding.
void Mp3FileSource::readTag() {
    const int size = frameSize(0);
    if (size <= 0) return;
    fetch(offsets_[0], frame_.data(), size);
    const unsigned char* f = frame_.data();
    // LAME writes its tag right after the side information even in a frame with a CRC,
    // where the CRC's two bytes should have come first: look in both places.
    int side = 4 + (first_.crc ? 2 : 0) + first_.sideInfoBytes;
    auto tagAt = [&](int at) {
        return at + 8 <= size && (std::memcmp(f + at, "Xing", 4) == 0 || std::memcmp(f + at, "Info", 4) == 0);
    };
    if (first_.crc && !tagAt(side) && tagAt(side - 2)) side -= 2;
    std::int64_t frames = -1;
    if (side + 8 <= size &&
        (std::memcmp(f + side, "Xing", 4) == 0 || std::memcmp(f + side, "Info", 4) == 0)) {
        const std::uint32_t flags = bigEndian32(f + side + 4);
        int at = side + 8;
        if (flags & 1) {
            if (at + 4 <= size) frames = bigEndian32(f + at);
            at += 4;
        }
        if (flags & 2) at += 4;
        if (flags & 4) at += 100;
        if (flags & 8) at += 4;
        audioFirst_ = 1;
        if (at + 24 <= size && (std::memcmp(f + at, "LAME", 4) == 0 || std::memcmp(f + at, "Lavc", 4) == 0 ||
                                std::memcmp(f + at, "Lavf", 4) == 0)) {
            const unsigned char* d = f + at + 21;
            delay_ = (d[0] << 4) | (d[1] >> 4);
            padding_ = ((d[1] & 15) << 8) | d[2];
            gapless_ = frames >= 0;
        }
    } else if (36 + 18 <= size && std::memcmp(f + 36, "VBRI", 4) == 0) {
        audioFirst_ = 1;
        frames = bigEndian32(f + 36 + 14);
    }
    if (audioFirst_ == 1 && offsets_.size() < 2) audioFirst_ = 0; // nothing but the tag: decode it
    if (frames >= 0 && frames < frameCount()) {
        // a tag that counts fewer frames than there are: trust the tag, the rest is extra
        offsets_.resize(static_cast<std::size_t>(frames) + audioFirst_);
    }
    if (gapless_ && frames > frameCount()) {
        // a cut-off file: the padding is gone with its end
        padding_ = 0;
    }
}

// A stream cut out of a longer one may begin with frames whose main data lies in frames
// that are not there. They cannot be decoded and are not played (their main data is still
// fed for the frames after them); a frame further on whose data cannot be reached plays as
// silence, to keep the time.
void Mp3FileSource::skipUnreachableStart() {
    feedFirst_ = audioFirst_;
    int available = 0;
    while (audioFirst_ + 1 < static_cast<int>(offsets_.size())) {
        unsigned char b[8];
        FrameHeader fh;
        if (fetch(offsets_[audioFirst_], b, 8) != 8 || !mp3::parseHeader(b, fh)) return;
        const unsigned char* side = b + (fh.crc ? 6 : 4);
        const int begin = fh.family == 0 ? (side[0] << 1) | (side[1] >> 7) : side[0];
        if (begin <= available) return;
        available += mainBytes(audioFirst_);
        ++audioFirst_;
    }
}

int Mp3FileSource::mainBytes(int index) {
    unsigned char b[4];
    FrameHeader fh;
    if (index < 0 || index >= static_cast<int>(offsets_.size()) || fetch(offsets_[index], b, 4) != 4 ||
        !mp3::parseHeader(b, fh))
        return 0;
    return std::max(0, frameSize(index) - 4 - (fh.crc ? 2 : 0) - fh.sideInfoBytes);
}

int Mp3FileSource::frameSize(int index) {
    if (index < 0 || index >= static_cast<int>(offsets_.size())) return 0;
    unsigned char h[4];
    FrameHeader fh;
    if (fetch(offsets_[index], h, 4) != 4 || !mp3::parseHeader(h, fh)) return 0;
    return std::min<int>(fh.frameBytes(freeBytes_), static_cast<int>(dataBytes_ - offsets_[index]));
}

void Mp3FileSource::decodeAudioFrame(int audioFrame, bool keep) {
    const int index = audioFrame + audioFirst_;
    const int size = frameSize(index);
    const int samples = samplesPerFrame_ * channels;
    // A frame that fails to decode still gives its samples (silence and the overlap); one
    // that cannot even be read gives plain silence.
    const bool read = size > 0 && fetch(offsets_[index], frame_.data(), size) == size;
    FrameHeader fh;
    if (read && mp3::parseHeader(frame_.data(), fh)) {
        decoder_.decodeFrame(frame_.data(), size, pcm_.data());
        if (keep) matchChannels(fh.channels);
    }
    if (keep) {
        if (!read) std::fill(pcm_.begin(), pcm_.begin() + samples, 0.0f);
        pcmFrame_ = audioFrame;
    } else {
        pcmFrame_ = -1;
    }
}

// The stream's channel count is the format's: a frame of the other count is spread to
// both channels or mixed down.
void Mp3FileSource::matchChannels(int frameChannels) {
    float* p = pcm_.data();
    const int n = samplesPerFrame_;
    if (frameChannels == 1 && channels == 2) {
        for (int i = n - 1; i >= 0; --i)
            p[2 * i] = p[2 * i + 1] = p[i];
    } else if (frameChannels == 2 && channels == 1) {
        for (int i = 0; i < n; ++i)
            p[i] = 0.5f * (p[2 * i] + p[2 * i + 1]);
    }
}

// Decodes `audioFrame` as a read from the start would: the decoder's output depends on
// the two granules before it (overlap and synthesis history), and those on main data up
// to 511 bytes further back, which is fed without decoding.
void Mp3FileSource::prime(int audioFrame) {
    decoder_.reset();
    const int back = first_.family == 0 ? 1 : 2;
    const int from = std::max(0, audioFrame - back);
    // in frame indexes: the frames not played at the start may still hold main data
    int feedFrom = from + audioFirst_;
    int fed = 0;
    // (at most 64 frames back: only frames with almost no main data need more, and
    // walking further for them would make every seek in a long run of them slow)
    while (feedFrom > feedFirst_ && fed < 511 && from + audioFirst_ - feedFrom < 64) {
        --feedFrom;
        fed += mainBytes(feedFrom);
    }
    for (int index = feedFrom; index < from + audioFirst_; ++index) {
        const int size = frameSize(index);
        if (size > 0 && fetch(offsets_[index], frame_.data(), size) == size)
            decoder_.feedFrame(frame_.data(), size);
    }
    for (int f = from; f < audioFrame; ++f)
        decodeAudioFrame(f, false);
    decodeAudioFrame(audioFrame, true);
}

void Mp3FileSource::Read(std::int32_t* buffer, int frames) {
    const int ch = channels;
    int done = 0;
    if (state != StateOk) {
        zeroFrames(buffer, frames, ch);
        position_ = clamp32(std::int64_t{position_} + frames);
        return;
    }
    if (position_ < 0) {
        const int lead = static_cast<int>(std::min<std::int64_t>(-std::int64_t{position_}, frames));
        zeroFrames(buffer, lead, ch);
        done = lead;
        position_ += lead;
    }
    while (done < frames) {
        if (position_ >= length_) {
            zeroFrames(buffer + static_cast<std::ptrdiff_t>(done) * ch, frames - done, ch);
            position_ = clamp32(std::int64_t{position_} + (frames - done));
            return;
        }
        const std::int64_t s = position_ + skip_;
        const int audioFrame = static_cast<int>(s / samplesPerFrame_);
        const int offset = static_cast<int>(s % samplesPerFrame_);
        if (audioFrame != pcmFrame_) {
            if (pcmFrame_ >= 0 && audioFrame == pcmFrame_ + 1)
                decodeAudioFrame(audioFrame, true);
            else
                prime(audioFrame);
        }
        const int k = std::min({frames - done, samplesPerFrame_ - offset, length_ - position_});
        const float* in = pcm_.data() + static_cast<std::ptrdiff_t>(offset) * ch;
        std::int32_t* out = buffer + static_cast<std::ptrdiff_t>(done) * ch;
        toSourceSamples(in, out, k * ch);
        done += k;
        position_ += k;
    }
}

namespace {
constexpr float kScale = 524288.0f; // full scale 1.0 -> 32768 << 4
constexpr float kLimit = static_cast<float>(Mp3FileSource::kPeak);
} // namespace

void Mp3FileSource::toSourceSamplesPortable(const float* in, std::int32_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        float x = in[i] * kScale;
        x = -kLimit < x ? x : -kLimit; // (a NaN, never expected, too)
        x = x < kLimit ? x : kLimit;
        out[i] = static_cast<std::int32_t>(x + std::copysign(0.5f, x)); // to the nearest
    }
}

void Mp3FileSource::toSourceSamples(const float* in, std::int32_t* out, int count) {
    int i = 0;
#if defined(__SSE2__)
    // The same steps four at a time: max and min pick as the comparisons above do (a NaN
    // gives the lower limit), and the truncation is the cast's.
    const __m128 scale = _mm_set1_ps(kScale), low = _mm_set1_ps(-kLimit), high = _mm_set1_ps(kLimit);
    const __m128 sign = _mm_set1_ps(-0.0f), half = _mm_set1_ps(0.5f);
    for (; i + 4 <= count; i += 4) {
        __m128 x = _mm_mul_ps(_mm_loadu_ps(in + i), scale);
        x = _mm_min_ps(_mm_max_ps(x, low), high);
        x = _mm_add_ps(x, _mm_or_ps(_mm_and_ps(x, sign), half));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_cvttps_epi32(x));
    }
#endif
    toSourceSamplesPortable(in + i, out + i, count - i);
}

SourceRef OpenMpegLayer3(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format,
                         std::uint32_t dataSize) {
    return makeSource<Mp3FileSource>(bytes, dataSize, format.channels);
}

} // namespace sonimo
