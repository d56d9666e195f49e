// Decodes an MPEG Layer III file with the built-in decoder, as the audio file reader
// hands it over (the stream in a WAV file's data chunk, here held in memory), and prints
// the seconds the decode took (best of RUNS) and the frames it gave.
// Usage: bench_mp3 FILE.mp3 [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/AudioFileReader.h"
#include "audio/WaveFormat.h"
#include "tests/unit/WaveBuilder.h"

using namespace sonimo;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_mp3 FILE.mp3 [RUNS]\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> mp3((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    // the stream as the data chunk of a WAV file of format 0x55
    const std::vector<unsigned char> wav = wavetest::mpegWave(mp3, 44100, 2);

    double best = 1e30;
    long long frames = 0;
    std::vector<std::int32_t> buffer(static_cast<std::size_t>(kMaxReadFrames) * 2);
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(wav));
        if (s->state != StateOk) {
            std::fprintf(stderr, "not decodable: state %d\n", s->state);
            return 2;
        }
        frames = 0;
        for (int left = s->GetLength(); left > 0;) {
            const int k = left < kMaxReadFrames ? left : kMaxReadFrames;
            s->Read(buffer.data(), k);
            left -= k;
            frames += k;
        }
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t < best) best = t;
    }
    std::printf("%.6f %lld\n", best, frames);
    return 0;
}
