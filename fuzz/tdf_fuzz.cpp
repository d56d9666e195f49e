// Tone files: any bytes through the loader, and whatever loads through the renderer for
// a few blocks, at a rate taken from the input. A loaded record is only checked for its
// tone count and frequency range, so the generators and loop regions see NaN, huge and
// tiny frequencies, any flags, lengths and loop bytes. About 2600 frames are read: enough
// to start every generator and cross a short loop, few enough to try many records.
// libFuzzer: -max_len=1100
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/ToneRenderer.h"
#include "tone/ToneData.h"

using namespace sonimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ToneData tone;
    std::memset(&tone, 0xA5, sizeof tone);
    if (!loadToneImage(tone, data, size)) return 0;
    // Lists name other files; noise ignores the record's numbers. Neither is this target's.
    if (tone.waveform == FromList || isNoise(tone.waveform)) return 0;
    int rate = 44100;
    if (size >= kToneFileSize + 3) {
        // bytes past the record pick the rate, as any caller might pass one
        rate = static_cast<int>(data[kToneFileSize] | data[kToneFileSize + 1] << 8 |
                                data[kToneFileSize + 2] << 16) -
               1000;
    }
    SourceRef s = RenderTone(tone, rate, rate);
    static std::vector<std::int32_t> buffer;
    buffer.resize(std::max(buffer.size(), static_cast<std::size_t>(2048) * s->channels));
    for (int block : {1, 31, 300, 2048}) {
        s->Read(buffer.data(), block);
        (void)s->GetPosition();
        (void)s->GetLength();
    }
    s->Seek(static_cast<int>(tone.lengthMs));
    s->Read(buffer.data(), 256);
    return 0;
}
