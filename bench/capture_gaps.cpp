// Looks for gaps in a captured WAV file: runs of frames in which every channel is exactly
// zero, between the first and the last frame that is not. A live change that drops or
// starves a block shows up as such a run. Reads 16- or 32-bit samples (the ALSA file
// device labels Wine's float mix as 32-bit PCM; a zero is a zero either way) and copes
// with a header whose sizes were never filled in.
// Usage: capture_gaps FILE.wav [MIN_FRAMES]   (prints runs of at least MIN_FRAMES, default 48)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: capture_gaps FILE.wav [MIN_FRAMES]\n");
        return 1;
    }
    const long minRun = argc > 2 ? std::atol(argv[2]) : 48;
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "capture_gaps: cannot open %s\n", argv[1]);
        return 2;
    }
    unsigned char head[12];
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head, "RIFF", 4) ||
        std::memcmp(head + 8, "WAVE", 4)) {
        std::fprintf(stderr, "capture_gaps: not a WAV file\n");
        return 2;
    }
    int channels = 0, bits = 0;
    std::uint32_t rate = 0;
    for (;;) {
        unsigned char ch[8];
        if (std::fread(ch, 1, 8, f) != 8) {
            std::fprintf(stderr, "capture_gaps: no data chunk\n");
            return 2;
        }
        const std::uint32_t size = le32(ch + 4);
        if (!std::memcmp(ch, "fmt ", 4)) {
            std::vector<unsigned char> fmt(size < 4096 ? size : 4096);
            if (std::fread(fmt.data(), 1, fmt.size(), f) != fmt.size() || fmt.size() < 16) return 2;
            channels = le16(&fmt[2]);
            rate = le32(&fmt[4]);
            bits = le16(&fmt[14]);
            std::fseek(f, static_cast<long>(size - fmt.size() + (size & 1)), SEEK_CUR);
        } else if (!std::memcmp(ch, "data", 4)) {
            break;
        } else {
            std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR);
        }
    }
    if (channels <= 0 || (bits != 16 && bits != 32)) {
        std::fprintf(stderr, "capture_gaps: unsupported format (%d channels, %d bits)\n", channels, bits);
        return 2;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * bits / 8;
    std::vector<unsigned char> buf(frameBytes * 65536);
    long long frame = 0, firstSound = -1, lastSound = -1, runStart = -1, longest = 0, runs = 0;
    std::vector<std::pair<long long, long long>> gaps;
    for (;;) {
        const std::size_t got = std::fread(buf.data(), frameBytes, 65536, f);
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i, ++frame) {
            bool zero = true;
            for (std::size_t b = 0; b < frameBytes && zero; ++b)
                zero = buf[i * frameBytes + b] == 0;
            if (zero) {
                if (runStart < 0) runStart = frame;
                continue;
            }
            if (runStart >= 0 && firstSound >= 0) {
                const long long len = frame - runStart;
                longest = len > longest ? len : longest;
                if (len >= minRun) {
                    ++runs;
                    if (gaps.size() < 20) gaps.emplace_back(runStart, len);
                }
            }
            runStart = -1;
            if (firstSound < 0) firstSound = frame;
            lastSound = frame;
        }
    }
    std::fclose(f);
    std::printf("%lld frames at %u Hz, %d channels, %d bits; sound from frame %lld to %lld\n", frame, rate,
                channels, bits, firstSound, lastSound);
    std::printf("zero runs of %ld frames or more inside the sound: %lld (longest zero run %lld frames)\n",
                minRun, runs, longest);
    for (const auto& g : gaps)
        std::printf("  gap at frame %lld, %lld frames\n", g.first, g.second);
    return runs == 0 ? 0 : 1;
}
