// What another process hands a running instance: any bytes as the forwarded block (as
// they came, and cut or padded to the block's size, so that every input reaches the
// slots), and as the UTF-16 command line the splitter takes apart. A block's arguments
// are at most 128 of at most 259 units with no zero among them, and are what the block
// built from them gives back; a split line gives back its arguments when they are
// quoted again the way the system's splitter undoes.
// libFuzzer: -max_len=66564 -entropic_scale_per_exec_time=1
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"

using namespace sonimo;

namespace {

void checkArguments(const std::vector<std::u16string>& args) {
    if (args.size() > kForwardedSlots) std::abort();
    for (const std::u16string& a : args) {
        if (a.size() > kForwardedArgumentUnits || a.find(u'\0') != std::u16string::npos) std::abort();
        (void)isMaintenanceOption(a);
    }
    const std::optional<std::vector<std::u16string>> again =
        readForwardedBlock(buildForwardedBlock(args).data(), kForwardedBlockSize);
    if (!again || *again != args) std::abort();
}

// Argument 1 on: backslashes doubled before a quote or the closing quote, quotes escaped.
std::u16string quoted(const std::u16string& a) {
    std::u16string q = u"\"";
    std::size_t slashes = 0;
    for (char16_t c : a) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        q.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
        slashes = 0;
        q.push_back(c);
    }
    q.append(slashes * 2, u'\\');
    return q + u"\"";
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
        again += quoted(args[i]);
    }
    if (splitCommandLine(again) != args) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto args = readForwardedBlock(data, size)) checkArguments(*args);
    std::vector<std::uint8_t> block(kForwardedBlockSize, 0);
    std::memcpy(block.data(), data, std::min(size, block.size()));
    if (const auto args = readForwardedBlock(block.data(), block.size())) checkArguments(*args);

    std::u16string line(size / 2, u'\0');
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    checkSplit(line);
    return 0;
}
