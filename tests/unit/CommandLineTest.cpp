#include "ui/CommandLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace sonimo;

namespace {

using Args = std::vector<std::u16string>;

void putCount(std::vector<std::uint8_t>& block, std::int32_t count) {
    const auto u = static_cast<std::uint32_t>(count);
    for (int b = 0; b < 4; ++b)
        block[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

void fillSlot(std::vector<std::uint8_t>& block, std::size_t slot, char16_t c) {
    for (std::size_t u = 0; u < kForwardedSlotUnits; ++u) {
        block[4 + slot * 520 + 2 * u] = static_cast<std::uint8_t>(c);
        block[4 + slot * 520 + 2 * u + 1] = static_cast<std::uint8_t>(c >> 8);
    }
}

} // namespace

TEST(CommandLineSplit, FollowsTheShellsRules) {
    const struct {
        const char16_t* line;
        Args expected;
    } cases[] = {
        {u"", {}},
        {u"Sonimo.exe", {u"Sonimo.exe"}},
        {u"\"C:\\Program Files\\Sonimo\\Sonimo.exe\" \"C:\\My Tones\\a.tdf\"",
         {u"C:\\Program Files\\Sonimo\\Sonimo.exe", u"C:\\My Tones\\a.tdf"}},
        // argument 0 keeps its backslashes before a quote; later ones do not
        {u"\"C:\\dir\\\"x \\\\\\\"y", {u"C:\\dir\\", u"x", u"\\\"y"}},
        {u"a  \t b\\\\\"c d\" e", {u"a", u"b\\c d", u"e"}},
        {u"a b\\c\\\\ \"\"", {u"a", u"b\\c\\\\", u""}},
        // a doubled quote inside quotes is a literal quote and closes them
        {u"a \"x\"\"y\" z", {u"a", u"x\"y z"}},
        {u"a \"\"\"x\"\"\" \"\"", {u"a", u"\"x\"", u""}},
        {u"a \"unclosed rest", {u"a", u"unclosed rest"}},
        {u"a trailing ", {u"a", u"trailing"}},
    };
    for (const auto& c : cases) {
        std::u16string line(c.line);
        EXPECT_EQ(splitCommandLine(line), c.expected) << std::string(line.begin(), line.end());
    }
}

TEST(CommandLineSplit, KnowsTheMaintenanceOptionsOnlyExactly) {
    EXPECT_TRUE(isMaintenanceOption(u"-uninstall"));
    EXPECT_TRUE(isMaintenanceOption(u"-addremfiletyperun"));
    EXPECT_FALSE(isMaintenanceOption(u"-Uninstall"));
    EXPECT_FALSE(isMaintenanceOption(u"-uninstall3"));
    EXPECT_FALSE(isMaintenanceOption(u"C:\\-uninstall"));
}

TEST(ForwardedBlock, HasTheFixedLayout) {
    const Args args{u"C:\\S\\Sonimo.exe", u"C:\\t\\a.tdf"};
    const auto block = buildForwardedBlock(args);
    ASSERT_EQ(block.size(), 66564u);
    EXPECT_EQ(block[0], 2);
    EXPECT_EQ(block[1] | block[2] | block[3], 0);
    EXPECT_EQ(block[4], 'C');
    EXPECT_EQ(block[5], 0);
    EXPECT_EQ(block[4 + 520], 'C');
    EXPECT_EQ(block[4 + 520 + 2 * 9], 'f');
    EXPECT_EQ(block[4 + 520 + 2 * 10], 0);
    for (std::size_t i = 4 + 2 * 520; i < block.size(); ++i)
        ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_EQ(readForwardedBlock(block.data(), block.size()), args);
}

TEST(ForwardedBlock, CutsLongArgumentsAndDropsThoseBeyondTheLimit) {
    Args args(200);
    for (std::size_t i = 0; i < args.size(); ++i)
        args[i] = std::u16string(300, static_cast<char16_t>(u'a' + i % 26));
    args[1] = u"\u30c8\u30fc\u30f3.tdf"; // トーン.tdf: UTF-16 units kept whole
    args[2] = std::u16string(259, u'x');
    args[3] = std::u16string(260, u'y');
    const auto block = buildForwardedBlock(args);
    const auto back = readForwardedBlock(block.data(), block.size());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 128u);
    EXPECT_EQ((*back)[0], std::u16string(259, u'a'));
    EXPECT_EQ((*back)[1], args[1]);
    EXPECT_EQ((*back)[2], args[2]);
    EXPECT_EQ((*back)[3], std::u16string(259, u'y'));
    EXPECT_EQ((*back)[127], std::u16string(259, static_cast<char16_t>(u'a' + 127 % 26)));
    // every slot still ends in a zero
    for (std::size_t k = 0; k < 128; ++k)
        ASSERT_EQ(block[4 + k * 520 + 518] | block[4 + k * 520 + 519], 0) << "slot " << k;
    EXPECT_EQ(buildForwardedBlock({})[0], 0);
}

TEST(ForwardedBlock, RefusesWhatIsNotOneOfOurs) {
    auto block = buildForwardedBlock({u"a", u"b"});
    EXPECT_FALSE(readForwardedBlock(block.data(), block.size() - 1));
    block.push_back(0);
    EXPECT_FALSE(readForwardedBlock(block.data(), block.size()));
    block.pop_back();
    EXPECT_FALSE(readForwardedBlock(nullptr, block.size()));
    for (std::int32_t count : {-1, -2147483647 - 1, 129, 1000, 0x7fffffff}) {
        putCount(block, count);
        EXPECT_FALSE(readForwardedBlock(block.data(), block.size())) << count;
    }
    putCount(block, 0);
    EXPECT_EQ(readForwardedBlock(block.data(), block.size()), Args{});
}

TEST(ForwardedBlock, ReadsNoSlotPastItsEnd) {
    // Every slot full to the brim with no terminating zero: each gives 259 units of its own
    // letter, none runs into the next slot. In a buffer of exactly the block's size, the
    // last slot reading one unit too far would leave it (the sanitizer tree sees that).
    std::vector<std::uint8_t> block(kForwardedBlockSize);
    putCount(block, 128);
    for (std::size_t k = 0; k < 128; ++k)
        fillSlot(block, k, static_cast<char16_t>(0x3041 + k));
    auto exact = std::make_unique<std::uint8_t[]>(kForwardedBlockSize);
    std::memcpy(exact.get(), block.data(), block.size());
    const auto args = readForwardedBlock(exact.get(), kForwardedBlockSize);
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 128u);
    for (std::size_t k = 0; k < 128; ++k)
        ASSERT_EQ((*args)[k], std::u16string(259, static_cast<char16_t>(0x3041 + k))) << "slot " << k;
}
