// Frequency columns for sonimo-cli series: any bytes through the column parser. A good
// column holds 1..10000 frequencies within 0..22000 Hz; a refusal names a line and keeps
// none, and never echoes a control character. Inputs reach past 10,000 lines; the
// 4 MB cut is a length test the unit tests make.
// libFuzzer: -max_len=8192
// libFuzzer at the bounds: -max_len=131072 -entropic_scale_per_exec_time=1
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/FrequencySeries.h"
#include "tone/ToneData.h"

using namespace sonimo;
using namespace sonimo::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ColumnResult r = parseFrequencyColumn(std::string_view(reinterpret_cast<const char*>(data), size));
    if (r.hz.size() > kMaxSeriesTones) std::abort();
    for (double hz : r.hz) {
        if (!(hz >= 0.0 && hz <= kMaxFrequencyHz)) std::abort();
    }
    if (!r.error.empty()) {
        if (!r.hz.empty()) std::abort();
        if (r.error.rfind("line ", 0) != 0 && r.error.rfind("more than ", 0) != 0) std::abort();
        for (char c : r.error) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
        }
    }
    return 0;
}
