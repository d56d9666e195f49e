// Plots over a logarithmic frequency axis as SVG: one or more panels stacked, each with
// its own level axis, a grid at 1-2-5 steps, labelled axes, a legend, and a title line
// (the file's name and the date). The text is ASCII: anything else in names becomes
// numeric character references.
#pragma once
#include <string>
#include <vector>

namespace sonimo {

struct PlotSeries {
    std::string name;
    std::string colour;       // an SVG colour
    std::vector<double> x, y; // NaN in y breaks the line
    double width = 1.5;
    bool dashed = false;
};

struct PlotPanel {
    std::string yLabel;
    double yMin = -100, yMax = 0, yStep = 10;
    std::vector<PlotSeries> series;
    double height = 360;
    bool legendBelow = false; // the legend in the lower right corner instead of the upper
};

struct LogPlot {
    std::string title; // UTF-8
    std::string note;  // a second line: what was measured and how
    double xMin = 20, xMax = 20000;
    std::vector<PlotPanel> panels;
    double width = 1000;
};

std::string RenderSvg(const LogPlot& plot);
// A dense curve reduced to its highest value in each of `columns` equal steps of the
// log axis (a spectrum analyser's peak hold per pixel): a long spectrum stays small and
// still shows every peak.
void peakEnvelope(const std::vector<double>& x, const std::vector<double>& y, double xMin, double xMax,
                  int columns, PlotSeries& out);
// Level axis limits: `top` and `bottom` rounded outwards to `step`, at least `minSpan`.
void niceRange(double bottom, double top, double minSpan, double step, double& yMin, double& yMax);
// The date and time now, as "2026-12-09 01:59 UTC".
std::string utcNow();
std::string xmlText(const std::string& utf8);

} // namespace sonimo
