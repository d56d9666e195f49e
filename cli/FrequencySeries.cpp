#include "FrequencySeries.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

#include "CliSupport.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "ui/NoteTable.h"

namespace sonimo::cli {

namespace {

// The basic series of preferred numbers (ISO 3, the Renard series R10, R20, R40 and R80),
// one decade from 1 to 10, in hundredths. ISO 266:1997 takes its preferred frequencies
// from them with 1000 Hz as reference: R10 gives the one-third-octave steps, R20, R40 and
// R80 the sixth, twelfth and twenty-fourth. Each series is every second term of the next.
constexpr std::array<int, 10> kR10 = {100, 125, 160, 200, 250, 315, 400, 500, 630, 800};
constexpr std::array<int, 20> kR20 = {100, 112, 125, 140, 160, 180, 200, 224, 250, 280,
                                      315, 355, 400, 450, 500, 560, 630, 710, 800, 900};
constexpr std::array<int, 40> kR40 = {100, 106, 112, 118, 125, 132, 140, 150, 160, 170, 180, 190, 200, 212,
                                      224, 236, 250, 265, 280, 300, 315, 335, 355, 375, 400, 425, 450, 475,
                                      500, 530, 560, 600, 630, 670, 710, 750, 800, 850, 900, 950};
constexpr std::array<int, 80> kR80 = {
    100, 103, 106, 109, 112, 115, 118, 122, 125, 128, 132, 136, 140, 145, 150, 155, 160, 165, 170, 175,
    180, 185, 190, 195, 200, 206, 212, 218, 224, 230, 236, 243, 250, 258, 265, 272, 280, 290, 300, 307,
    315, 325, 335, 345, 355, 365, 375, 387, 400, 412, 425, 437, 450, 462, 475, 487, 500, 515, 530, 545,
    560, 580, 600, 615, 630, 650, 670, 690, 710, 730, 750, 775, 800, 825, 850, 875, 900, 925, 950, 975};

struct StepSeries {
    const int* terms; // one decade of the series the step is taken from
    int perDecade;    // its length
    int stride;       // every stride-th term, counted from 1000 Hz
};

StepSeries seriesOf(OctaveStep step) {
    switch (step) {
    // octaves: every third R10 term (31.5, 63, 125 ... Hz); half octaves: every third R20
    // term (22.4, 31.5, 45, 63, 90, 125 ... Hz), both as ISO 3 derives series
    case OctaveStep::Whole:
        return {kR10.data(), 10, 3};
    case OctaveStep::Half:
        return {kR20.data(), 20, 3};
    case OctaveStep::Third:
        return {kR10.data(), 10, 1};
    case OctaveStep::Sixth:
        return {kR20.data(), 20, 1};
    case OctaveStep::Twelfth:
        return {kR40.data(), 40, 1};
    case OctaveStep::TwentyFourth:
        break;
    }
    return {kR80.data(), 80, 1};
}

// The decades laid out: 0.1 Hz (kLowestNominalHz) up to the ten-thousands.
constexpr int kFirstDecade = -1, kLastDecade = 4;

// term × 10^decade Hz for a term in hundredths, as one correctly rounded operation on
// exact integers, so that it equals the value its decimal text reads as.
double nominal(int hundredths, int decade) {
    constexpr double kPowers[] = {1.0, 10.0, 100.0, 1000.0};
    const int e = decade - 2;
    return e >= 0 ? hundredths * kPowers[e] : hundredths / kPowers[-e];
}

std::string lineError(std::size_t line, std::string_view what) {
    return "line " + std::to_string(line) + ": " + std::string(what);
}

// A line as a message shows it: at most 40 bytes, control characters as \xNN, ill-formed
// UTF-8 as U+FFFD, so that nothing read can steer the terminal.
std::string shown(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string_view cut = text.substr(0, kShown);
    if (cut.size() < text.size()) {
        // do not split a character
        while (!cut.empty() && (static_cast<unsigned char>(text[cut.size()]) & 0xC0) == 0x80)
            cut.remove_suffix(1);
    }
    std::string out = "\"";
    for (char c : utf16ToUtf8(utf8ToUtf16(cut))) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
    if (cut.size() < text.size()) out += "...";
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<OctaveStep> octaveStepByName(std::string_view name) {
    static constexpr std::pair<std::string_view, OctaveStep> kNames[] = {
        {"1", OctaveStep::Whole},           {"1/1", OctaveStep::Whole}, {"1/2", OctaveStep::Half},
        {"1/3", OctaveStep::Third},         {"1/6", OctaveStep::Sixth}, {"1/12", OctaveStep::Twelfth},
        {"1/24", OctaveStep::TwentyFourth},
    };
    for (const auto& [n, step] : kNames) {
        if (name == n) return step;
    }
    return std::nullopt;
}

std::vector<double> nominalFrequencies(OctaveStep step, double fromHz, double toHz) {
    const StepSeries s = seriesOf(step);
    std::vector<double> out;
    for (int decade = kFirstDecade; decade <= kLastDecade; ++decade) {
        for (int i = 0; i < s.perDecade; ++i) {
            // counted from 1 Hz, whose index is a multiple of every stride, as 1000 Hz's is
            const int k = decade * s.perDecade + i;
            if (((k % s.stride) + s.stride) % s.stride != 0) continue;
            const double hz = nominal(s.terms[i], decade);
            if (hz > kMaxFrequencyHz) return out;
            if (hz >= fromHz && hz <= toHz) out.push_back(hz);
        }
    }
    return out;
}

std::optional<int> noteIndexByName(std::string_view name) {
    if (name.size() < 2 || name.size() > 3) return std::nullopt;
    std::string wanted(name);
    if (wanted[1] == '#') std::swap(wanted[1], wanted[2]); // C#4 as the table writes it, C4#
    wanted[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(wanted[0])));
    for (int i = 0; i < kNoteCount; ++i) {
        if (utf16ToUtf8(noteName(i)) == wanted) return i;
    }
    return std::nullopt;
}

ColumnResult parseFrequencyColumn(std::string_view text) {
    ColumnResult r;
    if (text.size() > kMaxColumnBytes) {
        r.error = "more than " + std::to_string(kMaxColumnBytes) + " bytes";
        return r;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = text.substr(0, end);
        std::size_t next = end;
        if (next < text.size()) next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        text.remove_prefix(next);

        if (line.size() > kMaxColumnLineBytes) {
            r.error = lineError(number, "longer than " + std::to_string(kMaxColumnLineBytes) + " bytes");
            break;
        }
        const std::string_view value = trimmed(line.substr(0, line.find('#')));
        if (value.empty()) continue;
        const std::optional<double> hz = parseDouble(value);
        if (!hz) {
            r.error = lineError(number, shown(value) + " is not a number of hertz");
            break;
        }
        if (!(*hz >= 0.0 && *hz <= kMaxFrequencyHz)) {
            r.error = lineError(number, std::string(value) + " Hz is outside 0..22000 Hz");
            break;
        }
        if (r.hz.size() == kMaxSeriesTones) {
            std::string text = "more than "; // appended piecewise: GCC 12 warns falsely on "..." + string
            text += std::to_string(kMaxSeriesTones);
            text += " frequencies";
            r.error = lineError(number, text);
            break;
        }
        r.hz.push_back(*hz + 0.0); // no negative zero in a tone
    }
    if (!r.error.empty()) r.hz.clear();
    return r;
}

std::string hertzText(double hz) {
    char buffer[400]; // the longest fixed text of a double below 22000 is about 330 bytes
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, hz, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr - buffer > 12)
        r = std::to_chars(buffer, buffer + sizeof buffer, hz, std::chars_format::general, 6);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("?");
}

} // namespace sonimo::cli
