#include "ui/CommandLine.h"

#include <algorithm>
#include <array>

namespace sonimo {

namespace {

bool blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

} // namespace

std::vector<std::u16string> splitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();
    if (n == 0) return args;
    // The program path: quotes only group, backslashes are path separators.
    std::u16string first;
    if (line[0] == u'"') {
        for (i = 1; i < n && line[i] != u'"'; ++i)
            first += line[i];
        if (i < n) ++i;
    } else {
        for (; i < n && !blank(line[i]); ++i)
            first += line[i];
    }
    args.push_back(std::move(first));
    for (;;) {
        while (i < n && blank(line[i]))
            ++i;
        if (i >= n) break;
        std::u16string arg;
        // 0 outside quotes, 1 inside; a third quote in a row is a literal one and closes
        int quotes = 0;
        while (i < n && (quotes || !blank(line[i]))) {
            if (line[i] == u'\\') {
                std::size_t slashes = 0;
                while (i < n && line[i] == u'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && line[i] == u'"') {
                    // 2n backslashes and a quote: n backslashes, and the quote counts;
                    // 2n+1: n backslashes and a literal quote.
                    arg.append(slashes / 2, u'\\');
                    if (slashes % 2) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, u'\\');
                }
            } else if (line[i] == u'"') {
                while (i < n && line[i] == u'"') {
                    if (++quotes == 3) {
                        arg += u'"';
                        quotes = 0;
                    }
                    ++i;
                }
                if (quotes == 2) quotes = 0;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

bool isMaintenanceOption(std::u16string_view argument) {
    static constexpr std::array<std::u16string_view, 10> options{u"-installer",
                                                                 u"-installsched",
                                                                 u"-extfind",
                                                                 u"-addfiletyperunspecial",
                                                                 u"-addremfiletyperunspecial",
                                                                 u"-addremfiletyperun",
                                                                 u"-remfiletyperunspecial",
                                                                 u"-installrelated",
                                                                 u"-uninstall",
                                                                 u"-uninstall2"};
    return std::find(options.begin(), options.end(), argument) != options.end();
}

std::vector<std::uint8_t> buildForwardedBlock(const std::vector<std::u16string>& arguments) {
    std::vector<std::uint8_t> block(kForwardedBlockSize, 0);
    const std::uint32_t count = static_cast<std::uint32_t>(std::min(arguments.size(), kForwardedSlots));
    for (int b = 0; b < 4; ++b)
        block[b] = static_cast<std::uint8_t>(count >> (8 * b));
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t units = std::min(arguments[k].size(), kForwardedArgumentUnits);
        std::uint8_t* slot = block.data() + 4 + k * kForwardedSlotUnits * 2;
        for (std::size_t u = 0; u < units; ++u) {
            slot[2 * u] = static_cast<std::uint8_t>(arguments[k][u]);
            slot[2 * u + 1] = static_cast<std::uint8_t>(arguments[k][u] >> 8);
        }
    }
    return block;
}

std::optional<std::vector<std::u16string>> readForwardedBlock(const void* data, std::size_t size) {
    if (!data || size != kForwardedBlockSize) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::int32_t count =
        static_cast<std::int32_t>(std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                                  std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24);
    if (count < 0 || count > static_cast<std::int32_t>(kForwardedSlots)) return std::nullopt;
    std::vector<std::u16string> args;
    args.reserve(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) {
        const std::uint8_t* slot = bytes + 4 + static_cast<std::size_t>(k) * kForwardedSlotUnits * 2;
        std::u16string arg;
        for (std::size_t u = 0; u < kForwardedArgumentUnits; ++u) {
            const char16_t c = static_cast<char16_t>(slot[2 * u] | slot[2 * u + 1] << 8);
            if (c == 0) break;
            arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace sonimo
