#include "audio/WaveFileWriter.h"

#include <algorithm>
#include <cstring>

namespace sonimo {

namespace {
void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
} // namespace

void WaveFileWriter::BuildHeader(unsigned char* h, std::int32_t rate, int channels, std::uint32_t dataBytes) {
    const std::uint32_t ch = static_cast<std::uint32_t>(channels);
    const std::uint32_t r = static_cast<std::uint32_t>(rate);
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, dataBytes + 38);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 18);
    put16(h + 20, 1);
    put16(h + 22, ch);
    put32(h + 24, r);
    put32(h + 28, ch * 16 * r / 8); // unsigned 32-bit, as the field is
    put16(h + 32, (16 / 8) * ch);
    put16(h + 34, 16);
    put16(h + 36, 0);
    std::memcpy(h + 38, "data", 4);
    put32(h + 42, dataBytes);
}

std::int32_t WaveFileWriter::FramesThatFit(std::int64_t written, std::int64_t count, int bytesPerFrame,
                                           std::uint32_t maxDataBytes) {
    if (count <= 0 || bytesPerFrame <= 0) return 0;
    const std::int64_t room = static_cast<std::int64_t>(maxDataBytes) / bytesPerFrame - written;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(room, 0, count));
}

WaveFileWriter::WaveFileWriter(const std::u16string& path, std::int32_t rate, int ch,
                               std::uint32_t maxDataBytes)
    : SampleSink(rate, ch), bytesPerFrame(2 * channels), maxDataBytes_(maxDataBytes) {
    if (!file_.open(path, File::Mode::ReadWriteShared)) {
        errorFlags |= kSinkError;
    } else {
        unsigned char h[kHeaderBytes];
        BuildHeader(h, sampleRate, channels, kPlaceholderDataBytes);
        // Without its header the file could never describe what it holds.
        if (file_.write(h, kHeaderBytes) != kHeaderBytes) errorFlags |= kSinkError;
        file_.truncateHere(); // the earlier content goes (a device such as /dev/null cannot be cut)
    }
    conversion_.resize(static_cast<std::size_t>(channels) * kBlockFrames * 2);
}

WaveFileWriter::~WaveFileWriter() {
    if (!file_.isOpen()) return;
    unsigned char h[kHeaderBytes];
    BuildHeader(h, sampleRate, channels, dataBytes());
    if (file_.seek(0)) file_.write(h, kHeaderBytes); // nothing more can be done if this fails
    file_.close();
}

std::int32_t WaveFileWriter::Write(const std::int32_t* frames, int count) {
    if (!frames || count <= 0) return 0;
    const int ch = channels;
    std::int32_t total = 0;
    while (count > 0) {
        const int k = std::min(count, kBlockFrames);
        const int fit = FramesThatFit(framesWritten, k, bytesPerFrame, maxDataBytes_);
        const std::size_t samples = static_cast<std::size_t>(fit) * ch;
        unsigned char* out = conversion_.data();
        for (std::size_t i = 0; i < samples; ++i)
            put16(out + 2 * i, static_cast<std::uint16_t>(ToPcm16(frames[i])));
        const std::int64_t bytes = static_cast<std::int64_t>(fit) * bytesPerFrame;
        std::int64_t put = bytes > 0 ? file_.write(out, bytes) : 0;
        if (put < 0) put = 0;
        // Only whole frames that reached the file count, so that the final header never
        // claims more than the file holds.
        framesWritten += static_cast<std::int32_t>(put / bytesPerFrame);
        total += static_cast<std::int32_t>(put);
        if (put < bytes) {
            errorFlags |= kSinkError;
            if (put % bytesPerFrame != 0 && file_.seek(kHeaderBytes + static_cast<std::int64_t>(dataBytes())))
                file_.truncateHere(); // drop the part of a frame that got through
            return total;
        }
        if (fit < k) { // the size fields cannot describe more
            errorFlags |= kSinkError;
            return total;
        }
        frames += static_cast<std::size_t>(k) * ch;
        count -= k;
    }
    return total;
}

void WaveFileWriter::Truncate(std::int32_t n) {
    if (n > framesWritten) return;
    framesWritten = std::max(n, 0);
    if (file_.seek(kHeaderBytes + static_cast<std::int64_t>(dataBytes()))) file_.truncateHere();
}

SinkRef CreateWaveFileWriter(const std::u16string& path, std::int32_t sampleRate, int channels) {
    return makeSink<WaveFileWriter>(path, sampleRate, channels);
}

} // namespace sonimo
