#include <gtest/gtest.h>

#include "SettingsStoreContract.h"
#include "platform/MemorySettingsStore.h"

using namespace sonimo;

namespace {

struct MemoryBackend {
    SettingsStore& store() { return memory; }
    std::u16string section(const std::u16string& base) { return base; }
    MemorySettingsStore memory;
};

} // namespace

namespace sonimo {
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, SettingsContract, MemoryBackend);
}

TEST(SettingsStore, ReadIntSaturatesNumbersOutsideTheIntRange) {
    MemorySettingsStore s;
    s.writeText(u"S", u"Big", u"99999999999");
    s.writeText(u"S", u"Small", u"-99999999999");
    s.writeText(u"S", u"Spaced", u"  +12");
    EXPECT_EQ(s.readInt(u"S", u"Big", 0), 2147483647);
    EXPECT_EQ(s.readInt(u"S", u"Small", 0), -2147483647 - 1);
    EXPECT_EQ(s.readInt(u"S", u"Spaced", 0), 12);
}

TEST(SettingsStore, ReadIntInRangeGivesTheDefaultForWrongFormsAndRanges) {
    MemorySettingsStore s;
    const std::pair<const char16_t*, int> cases[] = {{u"7", 7}, {u" +3x", 3},        {u"abc", 6},
                                                     {u"", 6},  {u"-1", 6},          {u"12", 6},
                                                     {u"-", 6}, {u"99999999999", 6}, {u"0", 0}};
    for (const auto& [text, expected] : cases) {
        s.writeText(u"Settings", u"SampleRate", text);
        EXPECT_EQ(s.readIntInRange(u"Settings", u"SampleRate", 6, 0, 11), expected);
    }
    EXPECT_EQ(s.readIntInRange(u"Settings", u"Absent", 6, 0, 11), 6);
}
