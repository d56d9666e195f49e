#include "CliSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Text.h"
#include "tone/ToneData.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sonimo::cli {

void printError(std::string_view text) {
    std::string line = "sonimo-cli: ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void printMessage(std::u16string_view text) {
    const std::string line = utf16ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void printOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

ArgScanner::ArgScanner(const Args& args, std::vector<std::string> valueOptions,
                       std::vector<std::string> flagOptions) {
    auto known = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    for (std::size_t i = 0; i < args.size() && ok(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-' || a == "--") {
            positional_.push_back(a);
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        const bool seen = value(name).has_value() || flag(name);
        if (known(valueOptions, name)) {
            if (seen) {
                error_ = name + " is given twice";
            } else if (inlineValue) {
                values_.emplace_back(name, *inlineValue);
            } else if (i + 1 < args.size()) {
                values_.emplace_back(name, args[++i]);
            } else {
                error_ = name + " needs a value";
            }
        } else if (known(flagOptions, name) && !inlineValue) {
            if (seen) {
                error_ = name + " is given twice";
            } else {
                flags_.push_back(name);
            }
        } else {
            std::vector<std::string> all = valueOptions;
            all.insert(all.end(), flagOptions.begin(), flagOptions.end());
            error_ = "unknown option " + a;
            if (const std::string guess = closest(name, all); !guess.empty())
                error_ += " (did you mean " + guess + "?)";
        }
    }
}

std::string closest(std::string_view word, const std::vector<std::string>& candidates) {
    // Edit distance, one row at a time; options are short.
    const auto distance = [](std::string_view a, std::string_view b) {
        std::vector<std::size_t> row(b.size() + 1);
        for (std::size_t j = 0; j <= b.size(); ++j)
            row[j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t up = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = up;
            }
        }
        return row[b.size()];
    };
    if (word.size() > 64) return {};
    std::string best;
    std::size_t bestDistance = SIZE_MAX;
    for (const std::string& c : candidates) {
        std::size_t d = distance(word, c);
        // a shortened or lengthened name (--len, --frequency) is near whatever its length
        const std::string_view shorter = word.size() < c.size() ? word : std::string_view(c);
        const std::string_view longer = word.size() < c.size() ? std::string_view(c) : word;
        if (shorter.size() >= 4 && longer.substr(0, shorter.size()) == shorter)
            d = std::min<std::size_t>(d, 1);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return bestDistance <= 2 + word.size() / 6 ? best : std::string();
}

std::optional<std::string> ArgScanner::value(const std::string& name) const {
    for (const auto& [n, v] : values_) {
        if (n == name) return v;
    }
    return std::nullopt;
}

bool ArgScanner::flag(const std::string& name) const {
    return std::find(flags_.begin(), flags_.end(), name) != flags_.end();
}

std::optional<double> parseDouble(std::string_view s) {
    double v = 0;
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, v);
    if (s.empty() || ec != std::errc() || p != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::int64_t> parseInteger(std::string_view s) {
    std::int64_t v = 0;
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, v);
    if (s.empty() || ec != std::errc() || p != end) return std::nullopt;
    return v;
}

std::vector<double> parseDoubleList(std::string_view s, bool& ok) {
    std::vector<double> out;
    ok = true;
    for (;;) {
        const std::size_t comma = s.find(',');
        const std::optional<double> v = parseDouble(s.substr(0, comma));
        if (!v) {
            ok = false;
            return {};
        }
        out.push_back(*v);
        if (comma == std::string_view::npos) return out;
        s.remove_prefix(comma + 1);
    }
}

std::optional<int> waveformByName(std::string_view name) {
    struct WaveName {
        std::string_view name;
        int waveform;
    };
    static constexpr WaveName kWaves[] = {
        {"sine", Sine},       {"square", Square},      {"triangle", Triangle}, {"sawtooth", Sawtooth},
        {"impulse", Impulse}, {"white", WhiteNoise},   {"pink", PinkNoise},    {"brown", BrownNoise},
        {"blue", BlueNoise},  {"purple", PurpleNoise}, {"grey", GreyNoise},
    };
    for (const WaveName& n : kWaves) {
        if (name == n.name) return n.waveform;
    }
    return std::nullopt;
}

std::u16string pathArg(const std::string& utf8) {
    return utf8ToUtf16(utf8);
}
std::string displayPath(const std::u16string& path) {
    std::string s(1, '"'); // appended piecewise: GCC 12 warns falsely on "\"" + string
    s += utf16ToUtf8(path);
    s += '"';
    return s;
}

} // namespace sonimo::cli
