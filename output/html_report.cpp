#include "html_report.h"

#include "health_report.h"
#include "value_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <span>

namespace kesta {

namespace {

// Written by hand: a page of tables and a few SVG paths needs no template engine, and
// the report must not depend on anything at the reader's end.

constexpr std::string_view Style = R"(
:root { color-scheme: light; }
body { font-family: "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; color: #111;
  background: #fff; line-height: 1.4; max-width: 56rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.45rem; margin: 0 0 .5rem; }
h2 { font-size: 1.2rem; border-bottom: 2px solid #345; padding-bottom: .2rem; margin-top: 2rem; }
h3 { font-size: 1rem; margin: 1rem 0 .2rem; }
table { border-collapse: collapse; margin: .4rem 0; }
th, td { border: 1px solid #bbb; padding: .15rem .45rem; text-align: left; vertical-align: top; }
th { background: #eef1f4; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.scroll { overflow-x: auto; }
figure { margin: .8rem 0 1.2rem; break-inside: avoid; page-break-inside: avoid; }
figcaption { font-size: .9rem; color: #333; }
svg { display: block; width: 100%; height: auto; }
.warning { color: #8a5300; font-weight: bold; }
.critical { color: #b00000; font-weight: bold; }
.ok { color: #225522; }
.key span { margin-right: 1rem; }
.key .warning, .key .critical { white-space: nowrap; }
footer { margin-top: 2rem; font-size: .8rem; color: #555; }
@media (max-width: 40rem) {
  body { font-size: .9rem; padding: .5rem; }
  th, td { padding: .1rem .25rem; }
}
@page { size: A4; margin: 14mm; }
@media print {
  body { max-width: none; padding: 0; font-size: 9.5pt; }
  h2 { break-after: avoid; page-break-after: avoid; }
  .scroll { overflow: visible; }
}
)";

// Chart geometry in SVG user units; the SVG scales to the page's width.
constexpr double Width = 720;
constexpr double Height = 260;
constexpr double Left = 74;
constexpr double Right = 14;
constexpr double Top = 12;
constexpr double Bottom = 48;
constexpr double PlotWidth = Width - Left - Right;
constexpr double PlotHeight = Height - Top - Bottom;
// Above this many points a line keeps each bucket's lowest and highest value.
constexpr std::size_t MaxLinePoints = 2000;

constexpr std::string_view WarningFill = "#fbe3a6";
constexpr std::string_view CriticalFill = "#f5c4c4";
constexpr std::string_view WarningInk = "#b36b00";
constexpr std::string_view CriticalInk = "#c00000";

void Escaped(std::string &out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

// A coordinate with one decimal.
void Coord(std::string &out, double v)
{
    std::array<char, 32> text{};
    const auto r =
        std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed, 1);
    out.append(text.data(), r.ptr);
}

// Appends pieces one by one: chains of + on strings make GCC 12 at -O3 warn falsely
// (-Wrestrict).
void Append(std::string &out, std::initializer_list<std::string_view> pieces)
{
    for (const std::string_view piece : pieces)
        out += piece;
}

std::string Cat(std::initializer_list<std::string_view> pieces)
{
    std::string text;
    Append(text, pieces);
    return text;
}

void Count(std::string &out, std::uint64_t n)
{
    out += std::to_string(n);
}

// 1, 2 or 5 times a power of ten, at least `raw`.
double NiceStep(double raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

// "10:02:03" of a time in ms since 1970.
std::string ClockText(std::int64_t ms)
{
    return IsoTimeText(ms).substr(11, 8);
}

// "2026-12-01 10:02:03": the page says once that times are UTC.
std::string DayTime(std::int64_t ms)
{
    std::string text = IsoTimeText(ms).substr(0, 19);
    text[10] = ' ';
    return text;
}

struct Axis
{
    double min;
    double max;
};

// The span shown: the values, and on each side the nearest bound beyond them unless
// that would squeeze the values into a flat line, with a margin.
Axis ValueAxis(std::span<const SeriesPoint> points, const FieldLimits *limits)
{
    double lo = INFINITY;
    double hi = -INFINITY;
    for (const SeriesPoint &p : points) {
        lo = std::min(lo, p.value);
        hi = std::max(hi, p.value);
    }
    if (!(lo <= hi))
        return {0, 1};
    if (limits != nullptr) {
        double below = -INFINITY;
        double above = INFINITY;
        for (const auto *range : {&limits->warning, &limits->critical}) {
            if (!*range)
                continue;
            for (const auto &bound : {(*range)->low, (*range)->high}) {
                if (bound && *bound < lo)
                    below = std::max(below, *bound);
                if (bound && *bound > hi)
                    above = std::min(above, *bound);
            }
        }
        const double reach = 3 * std::max(hi - lo, std::fabs(hi) * 0.01 + 1e-9);
        if (std::isfinite(below) && lo - below <= reach)
            lo = below;
        if (std::isfinite(above) && above - hi <= reach)
            hi = above;
    }
    const double span = hi - lo;
    const double margin = span > 0 ? span * 0.08 : std::max(1.0, std::fabs(hi) * 0.1);
    return {lo - margin, hi + margin};
}

class Chart
{
public:
    Chart(std::string &out, Axis x, Axis y) : out_(out), x_(x), y_(y) {}

    double px(double x) const { return Left + (x - x_.min) / (x_.max - x_.min) * PlotWidth; }
    double py(double y) const { return Top + (y_.max - y) / (y_.max - y_.min) * PlotHeight; }

    // A band between two values, clipped to the plot.
    void band(double from, double to, std::string_view fill)
    {
        const double a = std::clamp(py(std::max(from, to)), Top, Top + PlotHeight);
        const double b = std::clamp(py(std::min(from, to)), Top, Top + PlotHeight);
        if (b - a < 0.05)
            return;
        out_ += "<rect x=\"";
        Coord(out_, Left);
        out_ += "\" y=\"";
        Coord(out_, a);
        out_ += "\" width=\"";
        Coord(out_, PlotWidth);
        out_ += "\" height=\"";
        Coord(out_, b - a);
        out_ += "\" fill=\"";
        out_ += fill;
        out_ += "\"/>\n";
    }

    // A dashed line at a bound with its name, a warning's at the left end and a
    // critical's at the right, so that two close bounds keep legible labels.
    void boundLine(double value, std::string_view ink, std::string_view label, bool atRight)
    {
        if (value < y_.min || value > y_.max)
            return;
        const double y = py(value);
        out_ += "<line x1=\"";
        Coord(out_, Left);
        out_ += "\" x2=\"";
        Coord(out_, Left + PlotWidth);
        out_ += "\" y1=\"";
        Coord(out_, y);
        out_ += "\" y2=\"";
        Coord(out_, y);
        out_ += "\" stroke=\"";
        out_ += ink;
        out_ += "\" stroke-width=\"1.2\" stroke-dasharray=\"6 4\"/>\n<text x=\"";
        Coord(out_, atRight ? Left + PlotWidth - 4 : Left + 4);
        out_ += "\" y=\"";
        Coord(out_, y - 3);
        out_ += atRight ? "\" text-anchor=\"end\"" : "\" text-anchor=\"start\"";
        out_ += " font-size=\"11\" fill=\"";
        out_ += ink;
        out_ += "\">";
        out_ += label;
        out_ += ' ';
        AppendValueText(out_, value);
        out_ += "</text>\n";
    }

    void text(double x, double y, std::string_view anchor, std::string_view content,
              std::string_view extra = {})
    {
        out_ += "<text x=\"";
        Coord(out_, x);
        out_ += "\" y=\"";
        Coord(out_, y);
        out_ += "\" text-anchor=\"";
        out_ += anchor;
        out_ += "\" font-size=\"12\"";
        if (!extra.empty()) {
            out_ += ' ';
            out_ += extra;
        }
        out_ += '>';
        Escaped(out_, content);
        out_ += "</text>\n";
    }

    void gridLine(double x1, double y1, double x2, double y2)
    {
        out_ += "<line x1=\"";
        Coord(out_, x1);
        out_ += "\" y1=\"";
        Coord(out_, y1);
        out_ += "\" x2=\"";
        Coord(out_, x2);
        out_ += "\" y2=\"";
        Coord(out_, y2);
        out_ += "\" stroke=\"#d8d8d8\" stroke-width=\"1\"/>\n";
    }

private:
    std::string &out_;
    Axis x_;
    Axis y_;
};

// Time ticks: the smallest of these steps that gives at most seven ticks.
double TimeStep(double spanMs)
{
    constexpr std::array<double, 19> steps{1e3,   2e3,   5e3,   1e4,   15e3,  3e4,  6e4,
                                           12e4,  3e5,   6e5,   9e5,   18e5,  36e5, 72e5,
                                           108e5, 216e5, 432e5, 864e5, 1728e5};
    for (const double s : steps) {
        if (spanMs / s <= 7)
            return s;
    }
    return NiceStep(spanMs / 7);
}

// The points of one line: all of them, or each bucket's lowest and highest.
std::vector<const SeriesPoint *> LinePoints(std::span<const SeriesPoint *const> points)
{
    if (points.size() <= MaxLinePoints)
        return {points.begin(), points.end()};
    std::vector<const SeriesPoint *> line;
    const std::size_t buckets = MaxLinePoints / 2;
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t from = b * points.size() / buckets;
        const std::size_t to = (b + 1) * points.size() / buckets;
        auto [lo, hi] = std::minmax_element(
            points.begin() + static_cast<std::ptrdiff_t>(from),
            points.begin() + static_cast<std::ptrdiff_t>(to),
            [](const SeriesPoint *a, const SeriesPoint *c) { return a->value < c->value; });
        if (lo > hi)
            std::swap(lo, hi);
        line.push_back(*lo);
        if (hi != lo)
            line.push_back(*hi);
    }
    return line;
}

std::string AxisTitle(Field field)
{
    std::string title(InfoOf(field).name);
    if (const std::string_view unit = UnitOf(field); !unit.empty()) {
        title += " (";
        title += unit;
        title += ')';
    }
    return title;
}

void AppendChart(std::string &out, std::size_t passNumber, Field field, const Pass &pass,
                 const LogHealth &health)
{
    const std::vector<SeriesPoint> &all = health.series(field);
    const auto begin = std::lower_bound(
        all.begin(), all.end(), pass.first,
        [](const SeriesPoint &p, std::uint64_t record) { return p.record < record; });
    const bool timeAxis = pass.start.has_value();
    std::vector<const SeriesPoint *> points;
    std::size_t untimed = 0;
    for (auto it = begin; it != all.end() && it->record <= pass.last; ++it) {
        if (timeAxis && !it->time)
            ++untimed;
        else
            points.push_back(&*it);
    }
    const std::string name(InfoOf(field).name);
    const std::string passText = std::to_string(passNumber);
    const std::string id = Cat({"p", passText, "-", name});
    out += "<figure>\n";
    if (points.empty()) {
        Append(out, {"<figcaption>", name, ": no values in this pass.</figcaption>\n</figure>\n"});
        return;
    }
    const LimitSet *limitSet = health.limitSet();
    const FieldLimits *limits = limitSet != nullptr ? limitSet->limitsOf(field) : nullptr;
    auto xOf = [timeAxis](const SeriesPoint &p) {
        return timeAxis ? static_cast<double>(*p.time) : static_cast<double>(p.record);
    };
    Axis x{xOf(*points.front()), xOf(*points.front())};
    for (const SeriesPoint *p : points) {
        x.min = std::min(x.min, xOf(*p));
        x.max = std::max(x.max, xOf(*p));
    }
    if (x.max == x.min)
        x = {x.min - (timeAxis ? 1000 : 1), x.max + (timeAxis ? 1000 : 1)};
    std::vector<SeriesPoint> values;
    values.reserve(points.size());
    for (const SeriesPoint *p : points)
        values.push_back(*p);
    const Axis y = ValueAxis(values, limits);
    Chart chart(out, x, y);

    Append(out, {"<svg viewBox=\"0 0 720 260\" role=\"img\" aria-labelledby=\"", id,
                 "\" xmlns=\"http://www.w3.org/2000/svg\" font-family=\"DejaVu Sans, Helvetica, "
                 "Arial, sans-serif\">\n<title id=\"",
                 id, "\">", name, " in pass ", passText, "</title>\n"});
    // Limit bands: amber between the warning and the critical bound, red beyond.
    if (limits != nullptr) {
        const LimitRange none;
        const LimitRange &w = limits->warning ? *limits->warning : none;
        const LimitRange &c = limits->critical ? *limits->critical : none;
        if (c.high)
            chart.band(*c.high, y.max, CriticalFill);
        if (c.low)
            chart.band(y.min, *c.low, CriticalFill);
        if (w.high)
            chart.band(*w.high, c.high ? *c.high : y.max, WarningFill);
        if (w.low)
            chart.band(c.low ? *c.low : y.min, *w.low, WarningFill);
    }
    // Grid and value ticks.
    const double yStep = NiceStep((y.max - y.min) / 5);
    for (double v = std::ceil(y.min / yStep) * yStep; v <= y.max; v += yStep) {
        const double v0 = std::fabs(v) < yStep * 1e-9 ? 0 : v;
        chart.gridLine(Left, chart.py(v0), Left + PlotWidth, chart.py(v0));
        chart.text(Left - 6, chart.py(v0) + 4, "end", ValueText(v0));
    }
    const double xStep = timeAxis ? TimeStep(x.max - x.min) : NiceStep((x.max - x.min) / 6);
    for (double v = std::ceil(x.min / xStep) * xStep; v <= x.max; v += xStep) {
        chart.gridLine(chart.px(v), Top, chart.px(v), Top + PlotHeight);
        chart.text(chart.px(v), Top + PlotHeight + 16, "middle",
                   timeAxis ? ClockText(static_cast<std::int64_t>(v))
                            : ValueText(static_cast<std::int64_t>(v)));
    }
    if (limits != nullptr) {
        for (const auto &[range, ink, label] :
             {std::tuple{&limits->warning, WarningInk, "warning"},
              std::tuple{&limits->critical, CriticalInk, "critical"}}) {
            if (!*range)
                continue;
            for (const auto &bound : {(*range)->low, (*range)->high}) {
                if (bound && std::isfinite(*bound))
                    chart.boundLine(*bound, ink, label, ink == CriticalInk);
            }
        }
    }
    out += "<rect x=\"74\" y=\"12\" width=\"632\" height=\"200\" fill=\"none\" stroke=\"#555\"/>\n";
    // The values.
    out += "<polyline fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1.5\" points=\"";
    for (const SeriesPoint *p : LinePoints(points)) {
        Coord(out, chart.px(xOf(*p)));
        out += ',';
        Coord(out, chart.py(p->value));
        out += ' ';
    }
    out += "\"/>\n";
    // Values outside limits: triangles in warning, squares in critical.
    for (const SeriesPoint *p : points) {
        if (p->level == LimitLevel::Ok)
            continue;
        const double cx = chart.px(xOf(*p));
        const double cy = chart.py(p->value);
        if (p->level == LimitLevel::Warning) {
            out += "<path d=\"M";
            Coord(out, cx);
            out += ',';
            Coord(out, cy - 5);
            out += "l4.5,8h-9z\" fill=\"#f0a020\" stroke=\"#5a3500\"/>\n";
        } else {
            out += "<rect x=\"";
            Coord(out, cx - 4);
            out += "\" y=\"";
            Coord(out, cy - 4);
            out += "\" width=\"8\" height=\"8\" fill=\"#d01010\" stroke=\"#400\"/>\n";
        }
    }
    chart.text(Left + PlotWidth / 2, Height - 8, "middle",
               timeAxis ? "Reception time (UTC)" : "Record");
    chart.text(16, Top + PlotHeight / 2, "middle", AxisTitle(field),
               "transform=\"rotate(-90 16 112)\"");
    static_assert(Top + PlotHeight / 2 == 112);
    Append(out, {"</svg>\n<figcaption>", AxisTitle(field), ", pass ", passText});
    if (timeAxis)
        Append(out, {", ", IsoTimeText(static_cast<std::int64_t>(x.min)).substr(0, 10)});
    Append(out, {": ", std::to_string(points.size()), " values"});
    if (untimed > 0)
        Append(out, {" (", std::to_string(untimed), " without reception time not drawn)"});
    out += ".</figcaption>\n</figure>\n";
}

void AppendFirstCell(std::string &out, Field field, const std::optional<LimitFirst> &first,
                     const LimitSet &limits)
{
    out += "<td>";
    if (first) {
        out += "record ";
        Count(out, first->record);
        if (first->time) {
            out += ", ";
            out += DayTime(*first->time);
        }
        if (const auto breach = limits.breachOf(field, first->value)) {
            out += ", ";
            Escaped(out, BreachText(field, first->value, *breach));
        }
    } else {
        out += "&ndash;";
    }
    out += "</td>";
}

// "warning outside 1.5 to 1.98; critical below 1": where a level begins.
std::string LimitsText(const FieldLimits &limits)
{
    std::string text;
    for (const auto &[range, name] :
         {std::pair{&limits.warning, "warning"}, std::pair{&limits.critical, "critical"}}) {
        if (!*range)
            continue;
        if (!text.empty())
            text += "; ";
        text += name;
        const LimitRange &r = **range;
        if (r.low && r.high) {
            Append(text, {" outside ", ValueText(*r.low), " to ", ValueText(*r.high)});
        } else if (r.low) {
            Append(text, {" below ", ValueText(*r.low)});
        } else {
            Append(text, {" above ", ValueText(*r.high)});
        }
    }
    return text;
}

void AppendLimitsTable(std::string &out, const LimitSet &limits, const LimitTally &tally,
                       bool withLimits)
{
    out += "<div class=\"scroll\"><table>\n<tr><th>Field</th>";
    if (withLimits)
        out += "<th>Limits</th>";
    out += "<th>Warning</th><th>Critical</th><th>First warning</th><th>First critical</th></tr>\n";
    for (const Field field : limits.fields()) {
        const FieldLimitCounts &c = tally.of(field);
        out += "<tr><td>";
        out += InfoOf(field).name;
        if (withLimits) {
            out += "</td><td>";
            Escaped(out, LimitsText(*limits.limitsOf(field)));
        }
        out += "</td><td class=\"n";
        out += c.warning > 0 ? " warning\">&#9650; " : "\">";
        Count(out, c.warning);
        out += "</td><td class=\"n";
        out += c.critical > 0 ? " critical\">&#9632; " : "\">";
        Count(out, c.critical);
        out += "</td>";
        AppendFirstCell(out, field, c.firstWarning, limits);
        AppendFirstCell(out, field, c.firstCritical, limits);
        out += "</tr>\n";
    }
    out += "</table></div>\n";
}

void Row(std::string &out, std::string_view head, const std::string &value)
{
    out += "<tr><th>";
    out += head;
    out += "</th><td>";
    Escaped(out, value);
    out += "</td></tr>\n";
}

} // namespace

void WriteHtmlReport(const HtmlReportInput &input, const LogHealth &health,
                     const std::function<void(std::string_view)> &write)
{
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>KESTA-1 pass report: ";
    Escaped(out, input.logName);
    out += "</title>\n<style>";
    out += Style;
    out += "</style>\n</head>\n<body>\n<h1>KESTA-1 pass report</h1>\n<table>\n";
    Row(out, "Log", input.logName);
    if (input.station)
        Row(out, "Station", *input.station);
    Row(out, "Records", std::to_string(input.records));
    Row(out, "Passes",
        Cat({std::to_string(health.passes().size()), " (a pause of more than ",
             DurationText(health.passGapMs()), " begins a new pass)"}));
    Row(out, "Limits", input.limitsName ? *input.limitsName : "none given");
    const LimitSet *limits = health.limitSet();
    if (limits != nullptr) {
        Row(out, "Records outside limits",
            Cat({std::to_string(health.recordsInWarning()), " in warning, ",
                 std::to_string(health.recordsInCritical()), " in critical"}));
    }
    out += "</table>\n";
    if (limits != nullptr) {
        out += "<h3>Whole log</h3>\n";
        AppendLimitsTable(out, *limits, health.limits(), true);
    }
    out += "<p class=\"key\">";
    if (limits != nullptr) {
        out += "<span class=\"warning\">&#9650; warning</span>"
               "<span class=\"critical\">&#9632; critical</span>"
               "<span>amber band: warning range crossed, red band: critical range crossed</span>";
    }
    if (health.seriesFields().empty())
        out += "<span>No charts: give limits or fields to chart.</span>";
    out += "</p>\n";

    std::size_t n = 0;
    for (const Pass &pass : health.passes()) {
        ++n;
        Append(out, {"<section>\n<h2>Pass ", std::to_string(n)});
        if (pass.start)
            Append(out, {" &middot; ", DayTime(*pass.start), " UTC"});
        out += "</h2>\n<div class=\"scroll\"><table>\n";
        out += "<tr><th>Start</th><th>End</th><th>Duration</th><th>Records</th><th>HTRX</th>"
               "<th>FSS</th><th>FSS (Hi)</th>";
        if (limits != nullptr)
            out += "<th>In warning</th><th>In critical</th>";
        out += "</tr>\n<tr><td>";
        out += pass.start ? ClockText(*pass.start) : "&ndash;";
        out += "</td><td>";
        if (pass.end) // with its date when the pass ends on another day
            out += DayTime(*pass.end).substr(0, 10) == DayTime(*pass.start).substr(0, 10)
                       ? ClockText(*pass.end)
                       : DayTime(*pass.end);
        else
            out += "&ndash;";
        out += "</td><td>";
        out += pass.start ? DurationText(*pass.end - *pass.start) : "&ndash;";
        out += "</td><td class=\"n\">";
        Count(out, pass.first);
        out += "&ndash;";
        Count(out, pass.last);
        for (const std::uint64_t count : {pass.frames.htrx, pass.frames.fss, pass.frames.fssHi}) {
            out += "</td><td class=\"n\">";
            Count(out, count);
        }
        if (limits != nullptr) {
            out += "</td><td class=\"n\">";
            Count(out, pass.recordsInWarning);
            out += "</td><td class=\"n\">";
            Count(out, pass.recordsInCritical);
        }
        out += "</td></tr>\n</table></div>\n";
        if (limits != nullptr)
            AppendLimitsTable(out, *limits, pass.limits, false);
        for (const Field field : health.seriesFields())
            AppendChart(out, n, field, pass, health);
        out += "</section>\n";
        // Pass by pass: the report of a long archive is never whole in memory.
        write(out);
        out.clear();
    }
    out += "<footer>Written by kesta-decode. All times are UTC.</footer>\n</body>\n</html>\n";
    write(out);
}

} // namespace kesta
