// The behaviour every SettingsStore backend shares, written once as a typed suite.
// A backend type B provides `SettingsStore& store()` and `std::u16string section(base)`,
// which maps a section name to the one the test really uses (so that a registry run
// stays inside its own keys); B's destructor removes whatever the test wrote.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "platform/SettingsStore.h"

namespace sonimo {

template <class Backend> class SettingsContract : public ::testing::Test {
protected:
    SettingsStore& store() { return backend_.store(); }
    std::u16string sec(const std::u16string& base) { return backend_.section(base); }
    Backend backend_;
};

TYPED_TEST_SUITE_P(SettingsContract);

TYPED_TEST_P(SettingsContract, ValuesThatWereNeverWrittenReadAsTheirDefaults) {
    SettingsStore& s = this->store();
    const std::u16string absent = this->sec(u"NeverWritten");
    EXPECT_EQ(s.readText(absent, u"Name", u"fallback"), u"fallback");
    EXPECT_EQ(s.readInt(absent, u"Name", -17), -17);
    EXPECT_TRUE(s.readBool(absent, u"Name", true));
    EXPECT_FALSE(s.readBool(absent, u"Name", false));
    EXPECT_FALSE(s.hasValue(absent, u"Name"));

    const std::u16string present = this->sec(u"Player");
    ASSERT_TRUE(s.writeText(present, u"Other", u"x"));
    EXPECT_EQ(s.readText(present, u"Device", u"default"), u"default") << "a missing value in an existing section";
    EXPECT_EQ(s.readInt(present, u"Device", 42), 42);
}

TYPED_TEST_P(SettingsContract, TypedReadsFollowTheTextRules) {
    SettingsStore& s = this->store();
    const std::u16string sec = this->sec(u"Settings");
    ASSERT_TRUE(s.writeText(sec, u"Empty", u""));
    EXPECT_TRUE(s.hasValue(sec, u"Empty"));
    EXPECT_EQ(s.readInt(sec, u"Empty", 6), 6) << "an empty text counts as missing";
    EXPECT_TRUE(s.readBool(sec, u"Empty", true));
    EXPECT_EQ(s.readText(sec, u"Empty", u"d"), u"");

    s.writeText(sec, u"Letters", u"abc");
    EXPECT_EQ(s.readInt(sec, u"Letters", 6), 0) << "no leading number gives 0, not the default";
    s.writeText(sec, u"Mixed", u"48000Hz");
    EXPECT_EQ(s.readInt(sec, u"Mixed", 6), 48000);
    s.writeText(sec, u"Negative", u"-250");
    EXPECT_EQ(s.readInt(sec, u"Negative", 6), -250);

    s.writeText(sec, u"Word", u"false");
    EXPECT_TRUE(s.readBool(sec, u"Word", false)) << "only a leading '0' is false";
    s.writeText(sec, u"Zero", u"0");
    EXPECT_FALSE(s.readBool(sec, u"Zero", true));
    s.writeText(sec, u"ZeroText", u"0abc");
    EXPECT_FALSE(s.readBool(sec, u"ZeroText", true));

    ASSERT_TRUE(s.writeInt(sec, u"Int", -2147483647 - 1));
    EXPECT_EQ(s.readText(sec, u"Int", u""), u"-2147483648");
    EXPECT_EQ(s.readInt(sec, u"Int", 0), -2147483647 - 1);
    ASSERT_TRUE(s.writeBool(sec, u"On", true));
    ASSERT_TRUE(s.writeBool(sec, u"Off", false));
    EXPECT_EQ(s.readText(sec, u"On", u""), u"1");
    EXPECT_EQ(s.readText(sec, u"Off", u""), u"0");

    s.writeText(sec, u"Japanese", u"再生設定");
    EXPECT_EQ(s.readText(sec, u"Japanese", u""), u"再生設定");
    s.writeText(sec, u"Japanese", u"音声");
    EXPECT_EQ(s.readText(sec, u"Japanese", u""), u"音声") << "a write replaces the value";
}

TYPED_TEST_P(SettingsContract, AReadSeesAtMost259UnitsAndLongerValuesGiveTheDefault) {
    SettingsStore& s = this->store();
    const std::u16string sec = this->sec(u"tonelist");
    const std::u16string t259(259, u'a');
    const std::u16string t260(260, u'b');
    const std::u16string t300(300, u'c');
    ASSERT_TRUE(s.writeText(sec, u"Exact", t259));
    ASSERT_TRUE(s.writeText(sec, u"OneOver", t260));
    ASSERT_TRUE(s.writeText(sec, u"Long", t300));
    EXPECT_EQ(s.readText(sec, u"Exact", u"d"), t259);
    EXPECT_EQ(s.readText(sec, u"OneOver", u"d"), u"d");
    EXPECT_EQ(s.readText(sec, u"Long", u"d"), u"d");
    EXPECT_EQ(s.readInt(sec, u"Long", 9), 9);
    EXPECT_TRUE(s.hasValue(sec, u"Long")) << "a value too long to read still exists";
}

TYPED_TEST_P(SettingsContract, SectionAndValueNamesIgnoreCase) {
    SettingsStore& s = this->store();
    ASSERT_TRUE(s.writeInt(this->sec(u"Settings"), u"SampleRate", 48000));
    EXPECT_EQ(s.readInt(this->sec(u"settings"), u"SampleRate", 0), 48000);
    EXPECT_EQ(s.readInt(this->sec(u"SETTINGS"), u"samplerate", 0), 48000);
    ASSERT_TRUE(s.writeInt(this->sec(u"settings"), u"SAMPLERATE", 96000));
    EXPECT_EQ(s.readInt(this->sec(u"Settings"), u"SampleRate", 0), 96000) << "one value, not two";
    s.deleteValue(this->sec(u"sEttings"), u"sampleRATE");
    EXPECT_FALSE(s.hasValue(this->sec(u"Settings"), u"SampleRate"));
}

TYPED_TEST_P(SettingsContract, DeletingFallsBackToTheUnderscoreName) {
    SettingsStore& s = this->store();
    const std::u16string sec = this->sec(u"MainWindow");
    s.writeText(sec, u"X", u"1");
    s.writeText(sec, u"_X", u"2");
    s.deleteValue(sec, u"X");
    EXPECT_FALSE(s.hasValue(sec, u"X"));
    EXPECT_TRUE(s.hasValue(sec, u"_X")) << "the value itself existed, so '_X' stays";
    s.deleteValue(sec, u"X");
    EXPECT_FALSE(s.hasValue(sec, u"_X"));
    s.deleteValue(sec, u"X"); // neither exists: nothing happens
    s.deleteValue(this->sec(u"NoSuchSection"), u"X");
    EXPECT_FALSE(s.hasValue(sec, u"X"));
}

REGISTER_TYPED_TEST_SUITE_P(SettingsContract, ValuesThatWereNeverWrittenReadAsTheirDefaults,
                            TypedReadsFollowTheTextRules, AReadSeesAtMost259UnitsAndLongerValuesGiveTheDefault,
                            SectionAndValueNamesIgnoreCase, DeletingFallsBackToTheUnderscoreName);

} // namespace sonimo
