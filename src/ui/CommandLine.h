// The command line of Sonimo.exe and the block a second start forwards it in. Plain code
// with no Windows header, so that both trees test it; the Win32 side only moves bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonimo {

// Splits a command line the way the Windows shell does (CommandLineToArgvW): argument 0
// runs to the closing quote or the first blank, with no escapes; later arguments follow
// the backslash-and-quote rules. An empty line gives no arguments.
std::vector<std::u16string> splitCommandLine(std::u16string_view line);

// True for the installer framework's maintenance switches as argument 1: a start with one
// of them has nothing to open and must not become or disturb the running instance.
bool isMaintenanceOption(std::u16string_view argument);

// The forwarded block: a signed 32-bit count, then 128 slots of 260 UTF-16 units.
inline constexpr std::size_t kForwardedSlots = 128;
inline constexpr std::size_t kForwardedSlotUnits = 260;
inline constexpr std::size_t kForwardedArgumentUnits = kForwardedSlotUnits - 1;
inline constexpr std::size_t kForwardedBlockSize = 4 + kForwardedSlots * kForwardedSlotUnits * 2; // 66564

// The block for `arguments`: at most 128 of them, each cut to 259 units, the rest zero.
std::vector<std::uint8_t> buildForwardedBlock(const std::vector<std::u16string>& arguments);

// The arguments of a received block, or nothing when it is not one of ours: another size,
// or a count below 0 or above 128. It may come from any process, so nothing is trusted:
// a slot without its terminating zero gives its first 259 units and no more.
std::optional<std::vector<std::u16string>> readForwardedBlock(const void* data, std::size_t size);

} // namespace sonimo
