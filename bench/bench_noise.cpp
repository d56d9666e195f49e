// Renders each noise colour for a given time at 44100 Hz into a 16-bit mono WAV file and
// prints the wall time of each render (construction, filtering, conversion and writing).
// Usage: bench_noise OUTDIR [SECONDS]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "synth/NoiseSources.h"
#include "synth/SampleSource.h"
#include "synth/ShapedNoiseSource.h"

using namespace sonimo;

namespace {

// A minimal 16-bit PCM writer: the canonical 44-byte header, then the samples.
// (x + 8) >> 4 is the engine's conversion; without a limiter in front, it saturates.
class Pcm16File {
public:
    Pcm16File(const std::string& path, int rate) : file_(std::fopen(path.c_str(), "wb")), rate_(rate) {
        if (file_) writeHeader(0);
    }
    ~Pcm16File() {
        if (!file_) return;
        std::fseek(file_, 0, SEEK_SET);
        writeHeader(bytes_);
        std::fclose(file_);
    }
    bool ok() const { return file_ != nullptr; }

    void write(const std::int32_t* x, int n) {
        out_.resize(static_cast<std::size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            std::int32_t v = (x[i] + 8) >> 4;
            v = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
            out_[2 * i] = static_cast<unsigned char>(v & 0xFF);
            out_[2 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        }
        std::fwrite(out_.data(), 1, out_.size(), file_);
        bytes_ += static_cast<std::uint32_t>(out_.size());
    }

private:
    void put32(std::uint32_t v) {
        const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::fwrite(b, 1, 4, file_);
    }
    void put16(std::uint16_t v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, file_);
    }
    void writeHeader(std::uint32_t dataBytes) {
        std::fwrite("RIFF", 1, 4, file_);
        put32(36 + dataBytes);
        std::fwrite("WAVEfmt ", 1, 8, file_);
        put32(16);
        put16(1);
        put16(1);
        put32(static_cast<std::uint32_t>(rate_));
        put32(static_cast<std::uint32_t>(rate_) * 2);
        put16(2);
        put16(16);
        std::fwrite("data", 1, 4, file_);
        put32(dataBytes);
    }

    std::FILE* file_;
    int rate_;
    std::uint32_t bytes_ = 0;
    std::vector<unsigned char> out_;
};

void render(SampleSource& source, const std::string& path) {
    Pcm16File file(path, source.sampleRate);
    if (!file.ok()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(3);
    }
    std::vector<std::int32_t> block(kMaxReadFrames);
    for (int left = source.GetLength(); left > 0; left -= kMaxReadFrames) {
        const int n = left < kMaxReadFrames ? left : kMaxReadFrames;
        source.Read(block.data(), n);
        file.write(block.data(), n);
    }
}

template <class Make> double timed(Make make, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    {
        SourceRef source = make();
        render(*source, path);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_noise OUTDIR [SECONDS]\n");
        return 1;
    }
    const std::string dir = argv[1];
    const std::uint32_t seconds = argc > 2 ? static_cast<std::uint32_t>(std::atoi(argv[2])) : 600;
    const int rate = 44100;
    const char* names[] = {"white", "pink", "brown", "blue", "purple", "grey"};
    for (int colour = 0; colour < 6; ++colour) {
        const double t = timed([&] { return makeSource<ShapedNoiseSource>(seconds * 1000, colour, rate); },
                               dir + "/" + names[colour] + ".wav");
        std::printf("%s %.3f\n", names[colour], t);
        std::fflush(stdout);
    }
    const double t =
        timed([&] { return makeSource<PinkNoiseSource>(seconds * 1000, rate); }, dir + "/pink-loop.wav");
    std::printf("pink-loop %.3f\n", t);
    return 0;
}
