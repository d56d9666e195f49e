// The WAV reader on arbitrary bytes: the chunk walk, then reads, seeks and length
// queries on whatever source comes out, with block sizes and positions taken from the
// input's own bytes so that the fuzzer steers them too. Reads stop after a quarter of a
// million samples, so that a huge claimed length or 255 channels stay quick.
// libFuzzer: -max_len=16384
// libFuzzer at the bounds: -max_len=524288 -entropic_scale_per_exec_time=1
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/AudioFileReader.h"

using namespace sonimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(data, size));
    if (s->state != StateOk) return 0;
    static std::vector<std::int32_t> buffer(static_cast<std::size_t>(kMaxReadFrames) * 255);

    // A few control values from the end of the input.
    auto control = [&](std::size_t k) -> std::uint32_t {
        if (size < 4 * (k + 1)) return static_cast<std::uint32_t>(k * 2654435761u);
        std::uint32_t v;
        std::memcpy(&v, data + size - 4 * (k + 1), 4);
        return v;
    };

    int length = s->GetLength();
    s->IsGrowing();
    long budget = 1 << 18; // samples to read in all
    for (std::size_t k = 0; budget > 0 && k < 16; ++k) {
        const std::uint32_t c = control(k);
        switch (c & 3) {
        case 0:
            s->Seek(static_cast<int>(std::int64_t{c >> 2} % (std::int64_t{length} + 2000) - 1000));
            break;
        case 1:
            s->Seek(-static_cast<int>(c % 5000));
            break;
        default:
            break;
        }
        const long most = std::min<long>(kMaxReadFrames, budget / s->channels + 1);
        const int frames = 1 + static_cast<int>((c >> 8) % static_cast<std::uint32_t>(most));
        s->Read(buffer.data(), frames);
        budget -= static_cast<long>(frames) * s->channels;
        s->GetPosition();
        length = s->GetLength();
        if (length < 0) __builtin_trap(); // a length is never negative
    }
    return 0;
}
