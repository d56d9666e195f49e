// Tone lists: any bytes through the line reader and the list reader. Every entry must
// survive being written as a row and read back unchanged, and no line may pass the
// 259-unit cut. Inputs reach past the 100,000 entries a render takes.
// libFuzzer: -max_len=8192
// libFuzzer at the bounds: -max_len=1048576 -entropic_scale_per_exec_time=1
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tone/ToneList.h"

using namespace sonimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ToneList list = parseToneList(data, size);
    // Of a long list, about a thousand entries spread over it make the round trip: the
    // reading is what a long input is for.
    const std::size_t stride = list.entries.size() / 1024 + 1;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const ToneListEntry& e = list.entries[i];
        if (e.fileName.size() > kLineUnits) std::abort();
        if (i % stride != 0 && i + 1 != list.entries.size()) continue;
        const std::u16string row = toneListRow(e);
        if (!(parseToneListLine(row) == e)) std::abort();
        (void)fileExtension(e.fileName);
    }
    return 0;
}
