// Tone lists: any bytes through the line reader and the list reader. Every entry must
// survive being written as a row and read back unchanged, and no line may pass the
// 259-unit cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tone/ToneList.h"

using namespace sonimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ToneList list = parseToneList(data, size);
    for (const ToneListEntry& e : list.entries) {
        if (e.fileName.size() > kLineUnits) std::abort();
        const std::u16string row = toneListRow(e);
        if (!(parseToneListLine(row) == e)) std::abort();
        (void)fileExtension(e.fileName);
    }
    return 0;
}
