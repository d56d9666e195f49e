// The built-in MPEG Layer III decoder on arbitrary streams: the bytes are the data chunk
// of a WAV file of format 0x55, so the fuzzer explores the frame search, the tags and
// the decoder rather than the chunk walk. Reads and seeks are steered by the input's own
// last bytes, as in the WAV target; four reads of at most 2304 frames in all (two MPEG-1
// frames, and those a seek decodes again before its target), so that the fuzzer tries
// many streams rather than decoding a long one.
// libFuzzer: -max_len=16384
// libFuzzer at the bounds: -max_len=65536 -entropic_scale_per_exec_time=1
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/AudioFileReader.h"
#include "audio/WaveFormat.h"
#include "tests/unit/WaveBuilder.h"

using namespace sonimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> wav = wavetest::mpegWave({data, data + size}, 44100, 2);

    SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(wav));
    if (s->state != StateOk) return 0;
    static std::vector<std::int32_t> buffer(static_cast<std::size_t>(kMaxReadFrames) * 2);

    auto control = [&](std::size_t k) -> std::uint32_t {
        if (size < 4 * (k + 1)) return static_cast<std::uint32_t>(k * 2654435761u);
        std::uint32_t v;
        std::memcpy(&v, data + size - 4 * (k + 1), 4);
        return v;
    };
    int length = s->GetLength();
    int budget = 2 * 1152;
    for (std::size_t k = 0; budget > 0 && k < 4; ++k) {
        const std::uint32_t c = control(k);
        if ((c & 3) == 0)
            s->Seek(static_cast<int>(std::int64_t{c >> 2} % (std::int64_t{length} + 2000) - 1000));
        const int frames = 1 + static_cast<int>((c >> 8) % static_cast<std::uint32_t>(budget));
        s->Read(buffer.data(), frames);
        budget -= frames;
        for (int i = 0; i < frames * s->channels; ++i)
            if (buffer[i] > 2 * kNominalFullScale || buffer[i] < -2 * kNominalFullScale) __builtin_trap();
        if (s->GetLength() != length || length < 0) __builtin_trap(); // the length is fixed at the start
    }
    return 0;
}
