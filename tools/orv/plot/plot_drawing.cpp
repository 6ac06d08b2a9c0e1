#include "plot/plot_drawing.h"

#include <fmt/format.h>

#include <cmath>

#include <algorithm>
#include <array>
#include <limits>

namespace orvcli {
namespace {

constexpr Color kBlack{0, 0, 0};
constexpr Color kWhite{1, 1, 1};
constexpr Color kGrid{0.88, 0.88, 0.88};
constexpr Color kGrey{0.35, 0.35, 0.35};
// Distinct, colour-blind-safe line colours (Okabe-Ito), reused in turn.
constexpr std::array<Color, 8> kPalette{{{0.00, 0.45, 0.70},
                                         {0.90, 0.62, 0.00},
                                         {0.00, 0.62, 0.45},
                                         {0.80, 0.47, 0.65},
                                         {0.34, 0.71, 0.91},
                                         {0.84, 0.37, 0.00},
                                         {0.94, 0.89, 0.26},
                                         {0.00, 0.00, 0.00}}};
constexpr std::size_t kLegendEntries = 10;
constexpr std::size_t kTitleLines = 6;

// Expected length of a UTF-8 sequence from its first byte; 0: not a first byte.
int sequence_length(unsigned char byte) {
    if (byte < 0x80) return 1;
    if (byte >= 0xC2 && byte <= 0xDF) return 2;
    if (byte >= 0xE0 && byte <= 0xEF) return 3;
    if (byte >= 0xF0 && byte <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::string valid_utf8(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const int length = sequence_length(static_cast<unsigned char>(text[i]));
        bool ok = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; ok && k < length; ++k)
            ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (ok && length == 1 && static_cast<unsigned char>(text[i]) < 0x20) ok = false;
        if (ok) {
            out.append(text, i, static_cast<std::size_t>(length));
            i += static_cast<std::size_t>(length);
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

namespace {

// Text at `size`, or smaller so that it fits `room`: a whole number of
// pixels, as viewers that round sizes show it (a browser, for one).
double fitting_size(Canvas &canvas, const std::string &text, double size, double room) {
    const double width = canvas.text_width(text, size);
    return width > room && width > 0 ? std::max(1.0, std::floor(size * room / width)) : size;
}

void draw_legend(const PlotFigure &figure, Canvas &canvas, double right, double top) {
    std::vector<const PlotLine *> entries;
    for (const PlotLine &line : figure.lines)
        if (!line.label.empty()) entries.push_back(&line);
    const std::size_t shown = std::min(entries.size(), kLegendEntries);
    const bool more = entries.size() > shown;
    double label_width = 0;
    for (std::size_t i = 0; i < shown; ++i)
        label_width = std::max(label_width, canvas.text_width(valid_utf8(entries[i]->label), 12));
    const double box_width = label_width + 50;
    const double box_height = 18 * static_cast<double>(shown + (more ? 1 : 0)) + 10;
    const double x = right - box_width - 10, y = top + 10;
    canvas.fill_rectangle({x, y}, box_width, box_height, kGrid);
    canvas.fill_rectangle({x + 1, y + 1}, box_width - 2, box_height - 2, kWhite);
    for (std::size_t i = 0; i < shown; ++i) {
        const double baseline = y + 20 + 18 * static_cast<double>(i);
        canvas.polyline({{x + 8, baseline - 4}, {x + 34, baseline - 4}}, 2.5,
                        kPalette[entries[i]->color % kPalette.size()]);
        canvas.text({x + 40, baseline}, valid_utf8(entries[i]->label), 12, TextAnchor::left,
                    kBlack);
    }
    if (more)
        canvas.text({x + 40, y + 20 + 18 * static_cast<double>(shown)},
                    fmt::format("and {} more", entries.size() - shown), 12, TextAnchor::left,
                    kGrey);
}

}  // namespace

void draw_figure(const PlotFigure &figure, Canvas &canvas, int width, int height) {
    const double w = width, h = height;
    std::vector<std::string> title(
        figure.title.begin(),
        figure.title.begin() + static_cast<long>(std::min(figure.title.size(), kTitleLines)));
    if (figure.title.size() > kTitleLines)
        title.back() =
            fmt::format("and {} more instruments", figure.title.size() - kTitleLines + 1);
    const double title_height = 22 * static_cast<double>(title.size()) + 24;
    const double left = 90, right = w - 30, top = 24 + title_height, bottom = h - 64;
    canvas.fill_rectangle({0, 0}, w, h, kWhite);

    double x_low = std::numeric_limits<double>::max(),
           x_high = std::numeric_limits<double>::lowest();
    // Counts start at 0; processed values may go below (NaN is left out).
    double y_low = 0, y_high = 1;
    for (const PlotLine &line : figure.lines) {
        for (double x : line.x) x_low = std::min(x_low, x), x_high = std::max(x_high, x);
        for (double y : line.y)
            if (std::isfinite(y)) y_low = std::min(y_low, y), y_high = std::max(y_high, y);
    }
    if (x_low > x_high) x_low = 0, x_high = 1;
    const PlotAxis x_axis = nice_axis(x_low, x_high, 10);
    const PlotAxis y_axis = nice_axis(y_low * 1.05, y_high * 1.05, 8);
    const auto to_x = [&](double x) {
        return left + (x - x_axis.min) / (x_axis.max - x_axis.min) * (right - left);
    };
    const auto to_y = [&](double y) {
        return bottom - (y - y_axis.min) / (y_axis.max - y_axis.min) * (bottom - top);
    };

    for (double tick : x_axis.ticks) {
        canvas.polyline({{to_x(tick), top}, {to_x(tick), bottom}}, 1, kGrid);
        canvas.text({to_x(tick), bottom + 18}, tick_label(tick, x_axis.step), 12,
                    TextAnchor::center, kGrey);
    }
    for (double tick : y_axis.ticks) {
        canvas.polyline({{left, to_y(tick)}, {right, to_y(tick)}}, 1, kGrid);
        canvas.text({left - 8, to_y(tick) + 4}, tick_label(tick, y_axis.step), 12,
                    TextAnchor::right, kGrey);
    }
    canvas.polyline({{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}}, 1,
                    kBlack);

    // An undefined value (NaN) breaks the line.
    for (const PlotLine &line : figure.lines) {
        std::vector<Point> points;
        points.reserve(line.x.size());
        const auto draw = [&] {
            if (!points.empty())
                canvas.polyline(points, 1.4, kPalette[line.color % kPalette.size()]);
            points.clear();
        };
        for (std::size_t k = 0; k < line.x.size() && k < line.y.size(); ++k) {
            if (std::isfinite(line.y[k]))
                points.push_back({to_x(line.x[k]), to_y(line.y[k])});
            else
                draw();
        }
        draw();
    }

    draw_legend(figure, canvas, right, top);

    double baseline = 30;
    for (const std::string &line : title) {
        const std::string text = valid_utf8(line);
        canvas.text({w / 2, baseline}, text, fitting_size(canvas, text, 15, w - 20),
                    TextAnchor::center, kBlack);
        baseline += 22;
    }
    canvas.text({w / 2, baseline}, valid_utf8(figure.subtitle), 13, TextAnchor::center, kGrey);
    canvas.text({(left + right) / 2, h - 20}, figure.x_label, 14, TextAnchor::center, kBlack);
    canvas.text({24, (top + bottom) / 2}, figure.y_label, 14, TextAnchor::center, kBlack, true);
}

}  // namespace orvcli
