#include "audio/win32/AcmFileSource.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/AudioFileReader.h"

namespace sonimo {

namespace {

constexpr std::uint32_t kMaxSourceBuffer = 64u << 20; // an ACM asking for more is not believed

std::int32_t clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

SourceRef OpenAcmFileSource(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format,
                            std::uint32_t dataSize) {
    return SourceRef(new AcmFileSource(bytes, format, dataSize));
}

AcmFileSource::AcmFileSource(std::unique_ptr<ByteSource>& bytes, const WaveFormat& f, std::uint32_t dataSize)
    : SampleSource(static_cast<int>(f.sampleRate), f.channels, kNominalFullScale),
      dataSize_(dataSize < kUnknownDataSize ? std::int64_t{dataSize} : -1), rate_(f.sampleRate),
      bytesPerSecond_(f.bytesPerSecond ? f.bytesPerSecond : f.sampleRate),
      blockAlign_(f.blockAlign ? f.blockAlign : 1) {
    if (state != StateOk || !bytes) {
        state = StateNoConverter;
        return;
    }
    state = StateNoConverter; // until the stream is ready
    dataStart_ = bytes->tell();
    // ADPCM and GSM state their frames per block; their rounded bytes per second would
    // put a seek a frame off.
    if ((f.tag == 0x02 || f.tag == 0x11 || f.tag == 0x31) && f.extraSize >= 2 && f.blockAlign > 1)
        framesPerBlock_ = f.image[18] | (f.image[19] << 8);

    WAVEFORMATEX target{};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = f.channels;
    target.nSamplesPerSec = f.sampleRate;
    target.wBitsPerSample = 16;
    target.nBlockAlign = static_cast<WORD>(f.channels * 2);
    target.nAvgBytesPerSec = f.sampleRate * target.nBlockAlign;
    target.cbSize = 0;

    // The format image is a complete WAVEFORMATEX with exactly its extra bytes; zeros
    // after it keep a driver that trusts its own fields over cbSize inside our memory.
    std::vector<unsigned char> image = f.image;
    image.resize(image.size() + 256, 0);
    auto* from = reinterpret_cast<WAVEFORMATEX*>(image.data());
    // Only a stream that was opened is taken: what a failed call left behind is not ours.
    HACMSTREAM opened = nullptr;
    if (acmStreamOpen(&opened, nullptr, from, &target, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        opened = nullptr;
        if (acmStreamOpen(&opened, nullptr, from, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) !=
            MMSYSERR_NOERROR)
            return;
    }
    stream_.reset(opened);
    const DWORD outputBytes = static_cast<DWORD>(kMaxReadFrames) * target.nBlockAlign;
    DWORD sourceBytes = 0;
    if (acmStreamSize(stream_.get(), outputBytes, &sourceBytes, ACM_STREAMSIZEF_DESTINATION) !=
            MMSYSERR_NOERROR ||
        sourceBytes == 0 || sourceBytes > kMaxSourceBuffer)
        return;
    source_.assign(sourceBytes, 0);
    output_.assign(outputBytes, 0);
    header_.cbStruct = sizeof header_;
    header_.pbSrc = source_.data();
    header_.cbSrcLength = sourceBytes;
    header_.pbDst = output_.data();
    header_.cbDstLength = outputBytes;
    if (acmStreamPrepareHeader(stream_.get(), &header_, 0) != MMSYSERR_NOERROR) return;
    prepared_ = true;
    discard_.assign(static_cast<std::size_t>(kMaxReadFrames) * channels, 0);
    bytes_ = std::move(bytes);
    state = StateOk;
}

AcmFileSource::~AcmFileSource() {
    if (prepared_) {
        // The header goes back with the sizes it was prepared with.
        header_.cbSrcLength = static_cast<DWORD>(source_.size());
        header_.cbDstLength = static_cast<DWORD>(output_.size());
        acmStreamUnprepareHeader(stream_.get(), &header_, 0);
    }
}

std::int64_t AcmFileSource::framesOfBytes(std::int64_t b) const {
    if (framesPerBlock_ > 0)
        return (b / blockAlign_) * framesPerBlock_ + (b % blockAlign_) * framesPerBlock_ / blockAlign_;
    return (b / bytesPerSecond_) * rate_ + (b % bytesPerSecond_) * rate_ / bytesPerSecond_;
}

std::int64_t AcmFileSource::bytesOfFrames(std::int64_t f) const {
    if (framesPerBlock_ > 0)
        return (f / framesPerBlock_) * blockAlign_ + (f % framesPerBlock_) * blockAlign_ / framesPerBlock_;
    return (f / rate_) * bytesPerSecond_ + (f % rate_) * bytesPerSecond_ / rate_;
}

std::int64_t AcmFileSource::dataBytes() const {
    if (dataSize_ >= 0) return dataSize_;
    const std::int64_t size = bytes_->size();
    return size > dataStart_ ? size - dataStart_ : 0;
}

void AcmFileSource::rereadDataSize() {
    if (dataSize_ >= 0 || dataStart_ < 4) return;
    const std::int64_t here = bytes_->tell();
    unsigned char s[4];
    if (bytes_->seek(dataStart_ - 4) && bytes_->read(s, 4) == 4 && le32(s) < kUnknownDataSize)
        dataSize_ = le32(s);
    bytes_->seek(here);
}

void AcmFileSource::resetStream() {
    flagsNext_ = ACM_STREAMCONVERTF_START;
    sourceHave_ = 0;
    outputUsed_ = 0;
    leftover_ = 0;
    end_ = -1;
    consumed_ = 0;
}

bool AcmFileSource::fillAndConvert() {
    // Top up the source buffer, never past the data chunk when its size is known.
    std::int64_t room = static_cast<std::int64_t>(source_.size()) - sourceHave_;
    if (dataSize_ >= 0) room = std::min<std::int64_t>(room, std::max<std::int64_t>(0, dataSize_ - consumed_));
    if (room > 0) {
        const std::int64_t got = bytes_->read(source_.data() + sourceHave_, room);
        if (got > 0) {
            sourceHave_ += static_cast<std::uint32_t>(got);
            consumed_ += static_cast<std::uint32_t>(got);
        }
    }
    const bool full = sourceHave_ == source_.size();

    auto convert = [&](DWORD flags, std::uint32_t& used, std::uint32_t& produced) {
        header_.cbSrcLength = sourceHave_;
        header_.cbDstLength = static_cast<DWORD>(output_.size());
        header_.cbSrcLengthUsed = 0;
        header_.cbDstLengthUsed = 0;
        const MMRESULT r = acmStreamConvert(stream_.get(), &header_, flags | flagsNext_);
        flagsNext_ = 0;
        if (r != MMSYSERR_NOERROR) {
            // Damaged data: drop a quarter of what is waiting and go on.
            used = (sourceHave_ + 3) / 4;
            produced = 0;
            return;
        }
        used = std::min<std::uint32_t>(header_.cbSrcLengthUsed, sourceHave_);
        produced =
            std::min<std::uint32_t>(header_.cbDstLengthUsed, static_cast<std::uint32_t>(output_.size()));
    };

    std::uint32_t used = 0, produced = 0;
    convert(ACM_STREAMCONVERTF_BLOCKALIGN, used, produced);
    if (produced == 0 && !full) {
        // The data has run out: let the codec give what it still holds.
        std::uint32_t usedEnd = 0;
        convert(ACM_STREAMCONVERTF_END, usedEnd, produced);
        used = std::max(used, usedEnd);
        if (produced == 0) {
            sourceHave_ = 0;
            return false;
        }
    } else if (produced == 0 && used == 0) {
        // A full buffer the codec cannot use at all would stall us forever.
        used = (sourceHave_ + 3) / 4;
    }
    if (used > 0) {
        std::memmove(source_.data(), source_.data() + used, sourceHave_ - used);
        sourceHave_ -= used;
    }
    produced -= produced % (2u * channels); // whole frames only
    outputUsed_ = 0;
    leftover_ = produced;
    return true;
}

void AcmFileSource::Read(std::int32_t* buffer, int frames) {
    if (frames <= 0) return;
    if (frames > kMaxReadFrames) {
        for (int done = 0; done < frames; done += kMaxReadFrames)
            Read(buffer + static_cast<std::size_t>(done) * channels, std::min(kMaxReadFrames, frames - done));
        return;
    }
    const std::int64_t old = position_;
    position_ = clamp32(old + frames);
    if (state != StateOk) {
        zeroFrames(buffer, frames, channels);
        return;
    }
    int want = frames;
    if (old < 0) {
        const int z = static_cast<int>(std::min<std::int64_t>(-old, want));
        zeroFrames(buffer, z, channels);
        buffer += static_cast<std::size_t>(z) * channels;
        want -= z;
    }
    const std::uint32_t frameBytes = 2u * channels;
    while (want > 0) {
        if (leftover_ >= frameBytes) {
            const int take = static_cast<int>(
                std::min<std::uint32_t>(leftover_ / frameBytes, static_cast<std::uint32_t>(want)));
            const unsigned char* p = output_.data() + outputUsed_;
            const std::size_t samples = static_cast<std::size_t>(take) * channels;
            for (std::size_t i = 0; i < samples; ++i)
                buffer[i] = static_cast<std::int16_t>(p[2 * i] | (p[2 * i + 1] << 8)) * 16;
            buffer += samples;
            want -= take;
            outputUsed_ += static_cast<std::uint32_t>(take) * frameBytes;
            leftover_ -= static_cast<std::uint32_t>(take) * frameBytes;
            continue;
        }
        if (end_ >= 0 || !fillAndConvert()) {
            if (end_ < 0) end_ = clamp32(std::max<std::int64_t>(0, std::int64_t{position_} - want));
            zeroFrames(buffer, want, channels);
            return;
        }
    }
}

void AcmFileSource::Seek(int frame) {
    if (state != StateOk) {
        position_ = frame;
        return;
    }
    resetStream();
    if (frame <= 0) {
        bytes_->seek(dataStart_);
        position_ = frame;
        return;
    }
    const std::int64_t target = bytesOfFrames(frame);
    const std::int64_t data = dataBytes();
    if (target > data) {
        bytes_->seek(dataStart_ + data);
        consumed_ = static_cast<std::uint32_t>(data);
        end_ = clamp32(framesOfBytes(data));
        position_ = frame;
        return;
    }
    // Start a little early and on a block, so the codec settles before the frame wanted.
    std::int64_t from = std::max<std::int64_t>(0, target - std::max<std::int64_t>(256, 2 * blockAlign_));
    from -= from % blockAlign_;
    bytes_->seek(dataStart_ + from);
    consumed_ = static_cast<std::uint32_t>(from);
    position_ = clamp32(framesOfBytes(from));
    while (position_ < frame && end_ < 0)
        Read(discard_.data(), std::min(kMaxReadFrames, frame - position_));
    position_ = frame; // also when the stream ended on the way there
}

int AcmFileSource::GetLength() {
    if (end_ >= 0) return end_;
    if (state != StateOk) return 0;
    rereadDataSize();
    const std::int64_t remaining = dataBytes() - consumed_ + sourceHave_;
    std::int64_t frames = framesOfBytes(std::max<std::int64_t>(0, remaining)) +
                          std::max<std::int32_t>(0, position_) + leftover_ / (2u * channels);
    if (dataSize_ < 0)
        frames -= framesPerBlock_ > 0 ? framesPerBlock_
                                      : (blockAlign_ * rate_ + bytesPerSecond_ - 1) / bytesPerSecond_;
    return clamp32(std::max<std::int64_t>(0, frames));
}

} // namespace sonimo
