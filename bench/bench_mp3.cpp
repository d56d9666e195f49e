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

using namespace sonimo;

namespace {

void put(std::vector<unsigned char>& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_mp3 FILE.mp3 [RUNS]\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> mp3((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    // RIFF/WAVE with a format chunk of tag 0x55 and the stream as its data chunk
    std::vector<unsigned char> wav;
    const std::uint32_t body = 4 + 8 + 30 + 8 + static_cast<std::uint32_t>(mp3.size());
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put(wav, body, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(wav, 30, 4);
    put(wav, kWaveTagMpegLayer3, 2);
    put(wav, 2, 2);
    put(wav, 44100, 4);
    put(wav, 16000, 4);
    put(wav, 1, 2);
    put(wav, 0, 2);
    put(wav, 12, 2);
    put(wav, 1, 2);
    put(wav, 2, 4);
    put(wav, 418, 2);
    put(wav, 1, 2);
    put(wav, 1393, 2);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put(wav, static_cast<std::uint32_t>(mp3.size()), 4);
    wav.insert(wav.end(), mp3.begin(), mp3.end());

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
