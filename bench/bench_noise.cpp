// Renders each noise colour for a given time at 44100 Hz into a 16-bit mono WAV file, as
// "save as WAV" does, and prints the wall time of each render (construction, filtering,
// limiting, conversion and writing).
// Usage: bench_noise OUTDIR [SECONDS]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/RenderTask.h"
#include "audio/WaveFileWriter.h"
#include "platform/Text.h"
#include "synth/NoiseSources.h"
#include "synth/SampleSource.h"
#include "synth/ShapedNoiseSource.h"

using namespace sonimo;

namespace {

// The program's own "save as WAV" path: the render task (with its look-ahead limiter in
// front of a source whose peak exceeds full scale) into the 16-bit WAV file writer.
void render(const SourceRef& source, const std::string& path) {
    SinkRef wav = CreateWaveFileWriter(utf8ToUtf16(path), source->sampleRate, source->channels);
    SilentProgress progress;
    if (RenderTask(u"ファイルを保存しています", source, wav, progress) != RenderCompleted) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(3);
    }
}

template <class Make> double timed(Make make, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    { render(make(), path); }
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
