#include "measure/SvgPlot.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace sonimo {

namespace {

constexpr double kLeft = 78, kRight = 28, kTop = 64, kGap = 62, kBottom = 52;

std::string num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", v);
    return b;
}

std::string hzLabel(double hz) {
    char b[32];
    if (hz >= 1000)
        std::snprintf(b, sizeof b, "%gk", hz / 1000);
    else
        std::snprintf(b, sizeof b, "%g", hz);
    return b;
}

} // namespace

std::string xmlText(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = c;
        int len = 1;
        if (c >= 0xF8)
            len = 1, cp = 0xFFFD;
        else if (c >= 0xF0)
            len = 4, cp = c & 0x07;
        else if (c >= 0xE0)
            len = 3, cp = c & 0x0F;
        else if (c >= 0xC0)
            len = 2, cp = c & 0x1F;
        else if (c >= 0x80)
            len = 1, cp = 0xFFFD; // a stray continuation byte
        if (len > 1) {
            if (i + len > s.size()) {
                cp = 0xFFFD;
                len = static_cast<int>(s.size() - i);
            } else {
                for (int k = 1; k < len; ++k) {
                    const unsigned char d = static_cast<unsigned char>(s[i + k]);
                    if ((d & 0xC0) != 0x80) {
                        cp = 0xFFFD;
                        len = k;
                        break;
                    }
                    cp = (cp << 6) | (d & 0x3F);
                }
            }
        }
        i += len;
        if (cp == '&')
            out += "&amp;";
        else if (cp == '<')
            out += "&lt;";
        else if (cp == '>')
            out += "&gt;";
        else if (cp == '"')
            out += "&quot;";
        else if (cp < 0x20)
            out += ' ';
        else if (cp < 0x80)
            out += static_cast<char>(cp);
        else {
            char b[16];
            std::snprintf(b, sizeof b, "&#x%X;", static_cast<unsigned>(cp > 0x10FFFF ? 0xFFFD : cp));
            out += b;
        }
    }
    return out;
}

std::string utcNow() {
    const std::time_t t = std::time(nullptr);
    const std::tm* u = std::gmtime(&t);
    if (!u) return "";
    char b[40];
    std::strftime(b, sizeof b, "%Y-%m-%d %H:%M UTC", u);
    return b;
}

void niceRange(double bottom, double top, double minSpan, double step, double& yMin, double& yMax) {
    yMax = std::ceil(top / step) * step;
    yMin = std::floor(bottom / step) * step;
    if (yMax - yMin < minSpan) {
        const double middle = (top + bottom) / 2;
        yMax = std::ceil((middle + minSpan / 2) / step) * step;
        yMin = yMax - std::ceil(minSpan / step) * step;
    }
}

void peakEnvelope(const std::vector<double>& x, const std::vector<double>& y, double xMin, double xMax,
                  int columns, PlotSeries& out) {
    out.x.clear();
    out.y.clear();
    const double l0 = std::log10(xMin), l1 = std::log10(xMax);
    std::size_t i = 0;
    for (int c = 0; c < columns; ++c) {
        const double hi = std::pow(10.0, l0 + (l1 - l0) * (c + 1) / columns);
        double top = -1e300, at = 0;
        for (; i < x.size() && x[i] <= hi; ++i) {
            if (x[i] < xMin || !std::isfinite(y[i])) continue;
            if (y[i] > top) top = y[i], at = x[i];
        }
        if (top < -1e299) continue;
        out.x.push_back(at);
        out.y.push_back(top);
    }
}

std::string RenderSvg(const LogPlot& plot) {
    double height = kTop + kBottom;
    for (const PlotPanel& p : plot.panels)
        height += p.height;
    height += kGap * (plot.panels.size() > 1 ? plot.panels.size() - 1 : 0);
    const double w = plot.width - kLeft - kRight;
    const double lx0 = std::log10(plot.xMin), lx1 = std::log10(plot.xMax);
    auto px = [&](double hz) { return kLeft + (std::log10(hz) - lx0) / (lx1 - lx0) * w; };

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(plot.width) + "\" height=\"" +
         num(height) + "\" viewBox=\"0 0 " + num(plot.width) + " " + num(height) +
         "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" font-size=\"13\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s += "<text x=\"" + num(kLeft) + "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">" +
         xmlText(plot.title) + "</text>\n";
    s += "<text x=\"" + num(kLeft) + "\" y=\"44\" fill=\"#444\">" + xmlText(plot.note) + "</text>\n";

    double top = kTop;
    for (std::size_t pi = 0; pi < plot.panels.size(); ++pi) {
        const PlotPanel& p = plot.panels[pi];
        const double h = p.height, bottom = top + h;
        auto py = [&](double v) { return top + (p.yMax - v) / (p.yMax - p.yMin) * h; };
        s += "<g>\n";
        // frequency grid: every 1..9 of each decade, labels at 1, 2 and 5
        for (double decade = std::pow(10.0, std::floor(lx0)); decade <= plot.xMax; decade *= 10) {
            for (int k = 1; k <= 9; ++k) {
                const double hz = decade * k;
                if (hz < plot.xMin * (1 - 1e-9) || hz > plot.xMax * (1 + 1e-9)) continue;
                const bool major = k == 1;
                const double x = px(hz);
                s += "<line x1=\"" + num(x) + "\" y1=\"" + num(top) + "\" x2=\"" + num(x) + "\" y2=\"" +
                     num(bottom) + "\" stroke=\"" + (major ? "#999" : "#ddd") + "\" stroke-width=\"1\"/>\n";
                if (k == 1 || k == 2 || k == 5)
                    s += "<text x=\"" + num(x) + "\" y=\"" + num(bottom + 17) + "\" text-anchor=\"middle\">" +
                         hzLabel(hz) + "</text>\n";
            }
        }
        // level grid
        // lines at the multiples of the step within the axis
        for (double v = std::ceil(p.yMin / p.yStep - 1e-9) * p.yStep; v <= p.yMax + 1e-9; v += p.yStep) {
            const double y = py(v);
            s += "<line x1=\"" + num(kLeft) + "\" y1=\"" + num(y) + "\" x2=\"" + num(kLeft + w) + "\" y2=\"" +
                 num(y) + "\" stroke=\"" + (std::fabs(v) < 1e-9 ? "#999" : "#ddd") +
                 "\" stroke-width=\"1\"/>\n";
            char b[32];
            std::snprintf(b, sizeof b, "%g", v);
            s += "<text x=\"" + num(kLeft - 6) + "\" y=\"" + num(y + 4) + "\" text-anchor=\"end\">" + b +
                 "</text>\n";
        }
        s += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(top) + "\" width=\"" + num(w) + "\" height=\"" +
             num(h) + "\" fill=\"none\" stroke=\"#333\"/>\n";
        s += "<text transform=\"translate(" + num(22) + "," + num(top + h / 2) +
             ") rotate(-90)\" text-anchor=\"middle\">" + xmlText(p.yLabel) + "</text>\n";
        s += "<text x=\"" + num(kLeft + w / 2) + "\" y=\"" + num(bottom + 36) +
             "\" text-anchor=\"middle\">Frequency (Hz)</text>\n";
        // the curves, clipped to the panel
        s += "<clipPath id=\"c" + std::to_string(pi) + "\"><rect x=\"" + num(kLeft) + "\" y=\"" + num(top) +
             "\" width=\"" + num(w) + "\" height=\"" + num(h) + "\"/></clipPath>\n";
        for (const PlotSeries& series : p.series) {
            std::string points;
            auto flush = [&]() {
                if (points.empty()) return;
                s += "<polyline clip-path=\"url(#c" + std::to_string(pi) + ")\" fill=\"none\" stroke=\"" +
                     series.colour + "\" stroke-width=\"" + num(series.width) +
                     "\" stroke-linejoin=\"round\"" + (series.dashed ? " stroke-dasharray=\"6 4\"" : "") +
                     " points=\"" + points + "\"/>\n";
                points.clear();
            };
            const double yLow = p.yMin - (p.yMax - p.yMin), yHigh = p.yMax + (p.yMax - p.yMin);
            for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
                const double hz = series.x[i], v = series.y[i];
                if (!(hz >= plot.xMin && hz <= plot.xMax) || !std::isfinite(v)) {
                    flush();
                    continue;
                }
                const double clamped = v < yLow ? yLow : v > yHigh ? yHigh : v;
                points += num(px(hz)) + "," + num(py(clamped)) + " ";
            }
            flush();
        }
        // legend
        int named = 0;
        for (const PlotSeries& series : p.series)
            named += !series.name.empty();
        const double lx = kLeft + w - 272;
        double ly = p.legendBelow ? bottom - 18.0 * named - 2 : top + 20;
        if (named)
            s += "<rect x=\"" + num(lx - 8) + "\" y=\"" + num(ly - 14) + "\" width=\"266\" height=\"" +
                 num(18.0 * named + 8) + "\" fill=\"white\" fill-opacity=\"0.85\" stroke=\"#bbb\"/>\n";
        for (const PlotSeries& series : p.series) {
            if (series.name.empty()) continue;
            s += "<line x1=\"" + num(lx) + "\" y1=\"" + num(ly - 4) + "\" x2=\"" + num(lx + 24) + "\" y2=\"" +
                 num(ly - 4) + "\" stroke=\"" + series.colour + "\" stroke-width=\"2.5\"" +
                 (series.dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>\n";
            s += "<text x=\"" + num(lx + 30) + "\" y=\"" + num(ly) + "\">" + xmlText(series.name) +
                 "</text>\n";
            ly += 18;
        }
        s += "</g>\n";
        top = bottom + kGap;
    }
    s += "</svg>\n";
    return s;
}

} // namespace sonimo
