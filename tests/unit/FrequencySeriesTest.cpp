// The frequencies of a series: the preferred-number tables, the fractional-octave steps
// over a range, note names, and the column parser's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/FrequencySeries.h"
#include "ui/NoteTable.h"

using namespace sonimo;
using namespace sonimo::cli;

namespace {

std::vector<double> decade(OctaveStep step) {
    return nominalFrequencies(step, 1.0, 9.99);
}

} // namespace

TEST(FrequencySeries, EachTableRisesAlongItsGeometricSeriesAndHoldsTheCoarserOne) {
    // A mistyped term (2.34 for 2.43) leaves the series' shape or the coarser table's terms.
    const OctaveStep steps[] = {OctaveStep::Third, OctaveStep::Sixth, OctaveStep::Twelfth,
                                OctaveStep::TwentyFourth};
    const int perDecade[] = {10, 20, 40, 80};
    for (int s = 0; s < 4; ++s) {
        const std::vector<double> terms = decade(steps[s]);
        ASSERT_EQ(terms.size(), static_cast<std::size_t>(perDecade[s]));
        for (int i = 0; i < perDecade[s]; ++i) {
            const double exact = std::pow(10.0, static_cast<double>(i) / perDecade[s]);
            EXPECT_NEAR(terms[i] / exact, 1.0, 0.013) << "R" << perDecade[s] << " term " << i;
            if (i > 0) {
                EXPECT_GT(terms[i], terms[i - 1]);
            }
            if (s > 0 && i % 2 == 0) {
                const std::vector<double> coarser = decade(steps[s - 1]);
                EXPECT_EQ(terms[i], coarser[i / 2]) << "R" << perDecade[s] << " term " << i;
            }
        }
    }
}

TEST(FrequencySeries, TheThirdOctaveSeriesFrom20HzTo20kHzHasTheStandards31NominalFrequencies) {
    const std::vector<double> want = {20,   25,   31.5, 40,   50,   63,    80,    100,   125,  160,  200,
                                      250,  315,  400,  500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                      3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    EXPECT_EQ(nominalFrequencies(OctaveStep::Third, 20, 20000), want);
}

TEST(FrequencySeries, OctavesAndHalfOctavesAreEveryThirdTermCountedFrom1000Hz) {
    EXPECT_EQ(nominalFrequencies(OctaveStep::Whole, 20, 20000),
              (std::vector<double>{31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000}));
    EXPECT_EQ(nominalFrequencies(OctaveStep::Half, 20, 20000),
              (std::vector<double>{22.4, 31.5, 45,   63,   90,   125,  180,  250,  355,   500,
                                   710,  1000, 1400, 2000, 2800, 4000, 5600, 8000, 11200, 16000}));
    // below 1 Hz the same terms continue: 1000 Hz halved ten times is 0.977 Hz, nominally 1
    EXPECT_EQ(nominalFrequencies(OctaveStep::Whole, 0, 1), (std::vector<double>{0.125, 0.25, 0.5, 1}));
}

TEST(FrequencySeries, CountsOverARangeIncludeBothLimitsAndStopAt22000Hz) {
    const struct {
        OctaveStep step;
        double from, to;
        std::size_t count;
        double first, last;
    } cases[] = {
        {OctaveStep::Sixth, 20, 20000, 61, 20, 20000},
        {OctaveStep::Twelfth, 20, 20000, 121, 20, 20000},
        {OctaveStep::TwentyFourth, 20, 20000, 241, 20, 20000},
        {OctaveStep::Third, 0, 22000, 54, 0.1, 20000},
        {OctaveStep::TwentyFourth, 0, 22000, 428, 0.1, 21800},
        {OctaveStep::TwentyFourth, 20000.5, 22000, 3, 20600, 21800},
        {OctaveStep::Third, 1000, 1000, 1, 1000, 1000},
        {OctaveStep::Whole, 999.9, 1000.1, 1, 1000, 1000},
    };
    for (const auto& c : cases) {
        const std::vector<double> got = nominalFrequencies(c.step, c.from, c.to);
        ASSERT_EQ(got.size(), c.count) << static_cast<int>(c.step) << " " << c.from << ".." << c.to;
        EXPECT_EQ(got.front(), c.first);
        EXPECT_EQ(got.back(), c.last);
    }
    EXPECT_TRUE(nominalFrequencies(OctaveStep::Third, 1001, 1200).empty());
    EXPECT_TRUE(nominalFrequencies(OctaveStep::Whole, 0, 0.1).empty());
}

TEST(FrequencySeries, NominalValuesAreTheNumbersTheirTextsRead) {
    // 0.315 Hz must be the double "0.315" reads as, or a file name would show 0.31500000000000006
    for (OctaveStep step : {OctaveStep::Whole, OctaveStep::Half, OctaveStep::TwentyFourth}) {
        for (double hz : nominalFrequencies(step, 0, 22000)) {
            const std::string text = hertzText(hz);
            EXPECT_LE(text.size(), 5u) << text;
            EXPECT_EQ(parseDouble(text), hz) << text;
        }
    }
    EXPECT_EQ(hertzText(466.2), "466.2");
    EXPECT_EQ(hertzText(0), "0");
    EXPECT_EQ(hertzText(1e-300), "1e-300") << "a long fixed text is cut to six figures";
    EXPECT_EQ(hertzText(1.0 / 3.0), "0.333333");
}

TEST(FrequencySeries, StepsAndNotesAreTakenByTheirNamesOnly) {
    EXPECT_EQ(octaveStepByName("1"), OctaveStep::Whole);
    EXPECT_EQ(octaveStepByName("1/1"), OctaveStep::Whole);
    EXPECT_EQ(octaveStepByName("1/24"), OctaveStep::TwentyFourth);
    for (const char* bad : {"", "1/5", "3", "1/3 ", "third", "1/48"})
        EXPECT_FALSE(octaveStepByName(bad)) << bad;

    EXPECT_EQ(noteIndexByName("A4"), kNoteA4);
    EXPECT_EQ(noteIndexByName("a4"), kNoteA4);
    EXPECT_EQ(noteIndexByName("A4#"), kNoteA4 + 1);
    EXPECT_EQ(noteIndexByName("A#4"), kNoteA4 + 1);
    EXPECT_EQ(noteIndexByName("C0"), 0);
    EXPECT_EQ(noteIndexByName("B8"), kNoteCount - 1);
    for (const char* bad : {"", "A", "H4", "E#4", "E4#", "Bb4", "A9", "A44", "A4##", "#A4", "C-1"})
        EXPECT_FALSE(noteIndexByName(bad)) << bad;
}

TEST(FrequencyColumn, TakesOneNumberPerLineSkippingBlanksAndComments) {
    const ColumnResult r = parseFrequencyColumn(
        "\xEF\xBB\xBF"
        "100\r\n\r\n# a comment\n   # indented comment\n  200.5 # after a number\n\t300\r"
        "400\n\r0\n1e3\n22000");
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.hz, (std::vector<double>{100, 200.5, 300, 400, 0, 1000, 22000}));
    EXPECT_TRUE(parseFrequencyColumn("").hz.empty());
    EXPECT_TRUE(parseFrequencyColumn("\n\n# nothing\n").error.empty());
    EXPECT_FALSE(std::signbit(parseFrequencyColumn("-0").hz.at(0)));
}

TEST(FrequencyColumn, ABadLineIsRefusedWithItsNumberAndText) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"100\n\n200\nabc\n300\n", "line 4: \"abc\" is not a number"},
        {"100\r\n200\r\n440 Hz\r\n", "line 3: \"440 Hz\""},
        {"100\r200\r1,5\r", "line 3: \"1,5\""},
        {"100\n\n22000.5\n", "line 3: 22000.5 Hz is outside 0..22000 Hz"},
        {"-1\n", "line 1: -1 Hz is outside"},
        {"nan\n", "line 1: \"nan\""},
        {"inf\n", "line 1: \"inf\""},
        {"1e999\n", "line 1: \"1e999\""},
        {"+440\n", "line 1: \"+440\""},
        {"100\n\x1b[31mred\n", "line 2: \"\\x1B[31mred\""},
        {"\xff\xfe\n", "line 1: \"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& c : cases) {
        const ColumnResult r = parseFrequencyColumn(c.text);
        EXPECT_NE(r.error.find(c.want), std::string::npos) << r.error;
        EXPECT_TRUE(r.hz.empty()) << c.want;
        EXPECT_EQ(r.error.find('\x1b'), std::string::npos) << "nothing read reaches the terminal raw";
    }
}

TEST(FrequencyColumn, WhatItReadsIsBounded) {
    std::string lines;
    for (std::size_t i = 0; i < kMaxSeriesTones; ++i)
        lines += "1000\n";
    EXPECT_EQ(parseFrequencyColumn(lines).hz.size(), kMaxSeriesTones);
    ColumnResult r = parseFrequencyColumn(lines + "# a comment\n1000\n");
    EXPECT_NE(r.error.find("line 10002: more than 10000 frequencies"), std::string::npos) << r.error;
    EXPECT_TRUE(r.hz.empty());

    r = parseFrequencyColumn("100\n# " + std::string(kMaxColumnLineBytes, 'x') + "\n");
    EXPECT_NE(r.error.find("line 2: longer than 1024 bytes"), std::string::npos) << r.error;
    const std::string padded = std::string(kMaxColumnLineBytes - 4, ' ') + "1000";
    EXPECT_EQ(parseFrequencyColumn("100\n" + padded).hz.size(), 2u) << "a line of the longest length counts";
    r = parseFrequencyColumn("100\n " + padded + "\n");
    EXPECT_NE(r.error.find("line 2: longer than"), std::string::npos) << r.error;
    r = parseFrequencyColumn(std::string(kMaxColumnBytes + 1, '\n'));
    EXPECT_NE(r.error.find("more than 4194304 bytes"), std::string::npos) << r.error;

    // a long bad line is shown cut, never split inside a character
    r = parseFrequencyColumn(std::string(39, 'x') + "\xC3\xA9yyyy");
    EXPECT_NE(r.error.find("\"" + std::string(39, 'x') + "\"..."), std::string::npos) << r.error;
}
