// What another process hands a running instance: any bytes as the forwarded block (as
// they came, and cut or padded to the block's size, so that every input reaches the
// slots), and as the UTF-16 command line the splitter takes apart. A block's arguments
// are at most 128 of at most 259 units with no zero among them, and are what the block
// built from them gives back; a split line gives back its arguments when they are
// quoted again the way the system's splitter undoes.
// libFuzzer: -max_len=4096
// libFuzzer at the bounds: -max_len=66564 -entropic_scale_per_exec_time=1
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ui/CommandLine.h"
#include "tests/unit/ArgumentQuoting.h"

using namespace sonimo;

namespace {

void checkArguments(const std::vector<std::u16string>& args) {
    if (args.empty()) return;
    if (args.size() > kForwardedSlots) std::abort();
    for (const std::u16string& a : args) {
        if (a.size() > kForwardedArgumentUnits || a.find(u'\0') != std::u16string::npos) std::abort();
        (void)isMaintenanceOption(a);
    }
    const std::optional<std::vector<std::u16string>> again =
        readForwardedBlock(buildForwardedBlock(args).data(), kForwardedBlockSize);
    if (!again || *again != args) std::abort();
}

void checkSplit(const std::u16string& line) {
    const std::vector<std::u16string> args = splitCommandLine(line);
    if (line.empty() != args.empty()) std::abort();
    if (args.empty()) return;
    std::size_t units = 0;
    for (const std::u16string& a : args)
        units += a.size();
    if (units > line.size() || args.size() > line.size() + 1) std::abort();
    // Argument 0 has no escapes: it comes back only when it holds no quote.
    if (args[0].find(u'"') != std::u16string::npos) return;
    std::u16string again(1, u'"'); // appended piecewise: GCC 12 warns falsely on "..." + string
    again += args[0];
    again += u'"';
    for (std::size_t i = 1; i < args.size(); ++i) {
        again += u' ';
        again += quotedArgument(args[i]);
    }
    if (splitCommandLine(again) != args) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto args = readForwardedBlock(data, size)) checkArguments(*args);
    static std::vector<std::uint8_t> block(kForwardedBlockSize);
    const std::size_t kept = std::min(size, block.size());
    std::memcpy(block.data(), data, kept);
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(kept), block.end(), std::uint8_t{0});
    if (const auto args = readForwardedBlock(block.data(), block.size())) checkArguments(*args);

    std::u16string line(size / 2, u'\0');
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    checkSplit(line);
    return 0;
}
