// Plot axes, texts and figures, drawn on a canvas that records what it gets.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "failure.h"
#include "plot/canvas.h"
#include "plot/plot_drawing.h"
#include "plot/text_metrics.h"

namespace orvcli {
namespace {

TEST(PlotAxis, RoundEndsAndStepsCoverTheData) {
    const std::pair<double, double> cases[] = {
        {200, 2247}, {0, 65535 * 1.05}, {400.2, 400.9}, {-3, 7}, {5, 5}, {0, 1e-3}};
    for (const auto &[low, high] : cases) {
        const PlotAxis axis = nice_axis(low, high, 8);
        EXPECT_LE(axis.min, low);
        EXPECT_GE(axis.max, high);
        const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step)));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                    std::fabs(mantissa - 5) < 1e-9)
            << axis.step;
        EXPECT_GE(axis.ticks.size(), 2u);
        EXPECT_LE(axis.ticks.size(), 20u) << low << " " << high;
        EXPECT_DOUBLE_EQ(axis.ticks.front(), axis.min);
        EXPECT_NEAR(axis.ticks.back(), axis.max, axis.step * 1e-6);
    }
    EXPECT_EQ(nice_axis(200, 2247, 10).step, 200);
}

TEST(PlotAxis, TickLabelsHaveTheDecimalsTheStepNeeds) {
    EXPECT_EQ(tick_label(400, 100), "400");
    EXPECT_EQ(tick_label(0.25, 0.05), "0.25");
    EXPECT_EQ(tick_label(1.5, 0.5), "1.5");
}

TEST(PlotText, InvalidUtf8BecomesQuestionMarks) {
    EXPECT_EQ(valid_utf8("ok \xC2\xB0"
                         "C"),
              "ok \xC2\xB0"
              "C");
    EXPECT_EQ(valid_utf8("a\xFF"
                         "b\xC3"),
              "a?b?");
    EXPECT_EQ(valid_utf8("\xE2\x82"), "??");
    EXPECT_EQ(valid_utf8("tab\there"), "tab?here");
}

Spectrum spectrum(const std::string &chip, unsigned number, std::vector<double> x,
                  std::vector<std::uint16_t> y) {
    return {
        chip, number, {}, std::make_shared<const std::vector<double>>(std::move(x)), std::move(y)};
}

TEST(PlotFigure, SeveralInstrumentsHaveAColourAndALegendEntryEach) {
    const std::vector<PlotSource> sources{{"A", "SIM-UV2048 (A, SIMULATED)", "integration 10 ms"},
                                          {"B", "SIM-NIR256 (B, SIMULATED)", "integration 20 ms"}};
    const PlotFigure figure =
        figure_of(sources, {spectrum("B", 1, {3, 4, 5}, {7, 8}), spectrum("A", 2, {1, 2}, {9, 9}),
                            spectrum("A", 1, {1, 2}, {5, 6})});
    EXPECT_EQ(figure.title,
              (std::vector<std::string>{"SIM-UV2048 (A, SIMULATED): integration 10 ms",
                                        "SIM-NIR256 (B, SIMULATED): integration 20 ms"}));
    EXPECT_EQ(figure.subtitle, "3 spectra from 2 instruments");
    ASSERT_EQ(figure.lines.size(), 3u);
    // In source order, then by number; one legend entry per instrument.
    EXPECT_EQ(figure.lines[0].label, "A (2 spectra)");
    EXPECT_EQ(figure.lines[0].y, (std::vector<double>{5, 6}));
    EXPECT_EQ(figure.lines[1].label, "");
    EXPECT_EQ(figure.lines[2].label, "B");
    EXPECT_EQ(figure.lines[0].color, figure.lines[1].color);
    EXPECT_NE(figure.lines[0].color, figure.lines[2].color);
    EXPECT_EQ(figure.lines[2].x.size(), 2u);  // no more points than counts
}

TEST(PlotFigure, OneInstrumentHasALegendEntryPerSpectrum) {
    const PlotFigure figure = figure_of({{"A", "SIM-UV2048 (A, SIMULATED)", "integration 10 ms"}},
                                        {spectrum("A", 1, {1}, {5}), spectrum("A", 2, {1}, {6})});
    ASSERT_EQ(figure.lines.size(), 2u);
    EXPECT_EQ(figure.lines[0].label, "A #1");
    EXPECT_EQ(figure.lines[1].label, "A #2");
    EXPECT_NE(figure.lines[0].color, figure.lines[1].color);
}

class RecordingCanvas final : public Canvas {
public:
    void fill_rectangle(Point, double, double, Color) override {}
    void polyline(const std::vector<Point> &points, double, Color) override {
        lines.push_back(points);
    }
    void text(Point at, const std::string &content, double size, TextAnchor, Color, bool) override {
        texts.push_back(content);
        sizes.push_back(size);
        text_points.push_back(at);
    }
    double text_width(const std::string &content, double size) override {
        return static_cast<double>(content.size()) * size * 0.6;
    }
    void finish() override {}

    std::vector<std::vector<Point>> lines;
    std::vector<std::string> texts;
    std::vector<double> sizes;
    std::vector<Point> text_points;
};

TEST(PlotFigure, AModeLabelsTheAxisAndDrawsTheValues) {
    Spectrum processed = spectrum("A", 1, {1, 2, 3}, {});
    processed.values = {0.5, std::nan(""), 0.25};
    const PlotFigure figure =
        figure_of({{"A", "SIM-UV2048 (A, SIMULATED)", ""}}, {processed}, orvproc::Mode::absorbance);
    EXPECT_EQ(figure.y_label, "Absorbance (AU)");
    ASSERT_EQ(figure.lines.size(), 1u);
    EXPECT_EQ(figure.lines[0].y[0], 0.5);
    EXPECT_TRUE(std::isnan(figure.lines[0].y[1]));
    EXPECT_EQ(figure_of({}, {processed}, orvproc::Mode::transmittance).y_label,
              "Transmittance (%)");
    EXPECT_EQ(figure_of({}, {spectrum("A", 1, {1}, {5})}).y_label, "Counts");
}

TEST(PlotDrawing, EverythingLandsOnThePageWithLabelsAndTitle) {
    PlotFigure figure;
    figure.title = {"title \xFF", std::string(400, 'w')};
    figure.subtitle = "settings";
    figure.lines.push_back({"A", 0, {200, 700, 2247}, {0, 65535, 100}});
    RecordingCanvas canvas;
    draw_figure(figure, canvas, 800, 500);
    for (std::size_t i = 0; i < canvas.texts.size(); ++i)  // long titles shrink to fit
        EXPECT_LE(canvas.text_width(canvas.texts[i], canvas.sizes[i]), 800 + 1e-6);
    for (const auto &line : canvas.lines)
        for (const Point &point : line) {
            EXPECT_GE(point.x, 0);
            EXPECT_LE(point.x, 800);
            EXPECT_GE(point.y, 0);
            EXPECT_LE(point.y, 500);
        }
    const auto has = [&](const std::string &text) {
        return std::find(canvas.texts.begin(), canvas.texts.end(), text) != canvas.texts.end();
    };
    EXPECT_TRUE(has("title ?"));
    EXPECT_TRUE(has("Wavelength (nm)"));
    EXPECT_TRUE(has("Counts"));
    EXPECT_TRUE(has("A"));
    EXPECT_TRUE(has("2200"));
}

// The advance table against cairo's own (unhinted) measure of the same font,
// for Latin, Latin-1, Greek and symbols a label may carry.
#ifdef ORV_CLI_HAS_PNG
TEST(TextMetrics, AdvancesAreCairosForTheSameFont) {
    std::ostringstream ignored;
    const std::unique_ptr<Canvas> cairo = make_png_canvas(200, 150, ignored);
    for (const std::string text :
         {"Wavelength (nm)", "SIM-UV2048 serial SIMUV2048-01 (ORVSIM01, SIMULATED)",
          "Absorbance (AU)", "0.25",
          "T = 25 \xC2\xB0"
          "C, \xC2\xB5s \xC3\x84\xC3\x9F",
          "\xCE\xBB / \xCE\x94\xCE\xB1 \xE2\x89\xA4 5 \xE2\x80\x94 WW iii"})
        for (const double size : {12.0, 15.0, 9.5})
            EXPECT_NEAR(text_advance(text, size), cairo->text_width(text, size), 0.02)
                << text << " at " << size;
}
#endif

TEST(TextMetrics, OddInputHasAnHonestWidth) {
    EXPECT_EQ(text_advance("", 12), 0);
    // Twice the text is twice as wide, and the width scales with the size.
    EXPECT_DOUBLE_EQ(text_advance("abab", 12), 2 * text_advance("ab", 12));
    EXPECT_DOUBLE_EQ(text_advance("ab", 24), 2 * text_advance("ab", 12));
    EXPECT_GT(text_advance("W", 12), text_advance("i", 12));
    // A byte that is not UTF-8, a cut sequence, an overlong form and a
    // surrogate each count as the '?' drawn in their place.
    const double question = text_advance("?", 12);
    EXPECT_DOUBLE_EQ(text_advance("\xFF", 12), question);
    EXPECT_DOUBLE_EQ(text_advance("a\xE2\x82", 12), text_advance("a??", 12));
    EXPECT_DOUBLE_EQ(text_advance("\xC0\xAF", 12), 2 * question);
    EXPECT_DOUBLE_EQ(text_advance("\xED\xA0\x80", 12), 3 * question);
    // A character the font lacks (CJK) counts one em; one it has, its own.
    EXPECT_DOUBLE_EQ(text_advance("\xE4\xB8\xAD", 12), 12);
    EXPECT_LT(text_advance("\xC2\xB0", 12), 12);
    const TextHeight height = text_height(20);
    EXPECT_GT(height.ascent, 15);
    EXPECT_GT(height.descent, 3);
    EXPECT_LT(height.ascent + height.descent, 25);
}

std::string svg_of(const std::function<void(Canvas &)> &draw) {
    std::ostringstream out;
    const std::unique_ptr<Canvas> canvas = make_svg_canvas(300, 200, out);
    draw(*canvas);
    canvas->finish();
    return out.str();
}

TEST(SvgCanvas, WritesWellFormedTextShapesAndNumbers) {
    const std::string svg = svg_of([](Canvas &canvas) {
        canvas.text({10, 20}, "a<b & c>d \"q\" \x01", 12, TextAnchor::right, {1, 0, 0});
        canvas.text({24.456, -0.001}, "Counts", 14, TextAnchor::center, {0, 0, 0}, true);
        canvas.polyline({{0, 0}, {1.5, 2.25}, {3, 4}}, 1.4, {0.0, 0.45, 0.7});
        canvas.polyline({{5, 5}}, 1, {});  // one point draws nothing
        canvas.fill_rectangle({0, 0}, 300, 200, {1, 1, 1});
    });
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("width=\"300\" height=\"200\""), std::string::npos);
    EXPECT_NE(svg.find(">a&lt;b &amp; c&gt;d \"q\" ?</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find("text-anchor=\"end\" fill=\"#ff0000\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("x=\"24.46\" y=\"0\" font-size=\"14\" text-anchor=\"middle\""),
              std::string::npos)
        << svg;
    EXPECT_NE(svg.find("transform=\"rotate(-90 24.46 0)\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("d=\"M0 0 L1.5 2.25 3 4\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("stroke=\"#0073b3\" stroke-width=\"1.4\""), std::string::npos) << svg;
    EXPECT_EQ(svg.find("M5 5"), std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

TEST(SvgCanvas, AStreamThatFailsIsAnOutputFailure) {
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    const std::unique_ptr<Canvas> canvas = make_svg_canvas(300, 200, out);
    try {
        canvas->finish();
        FAIL() << "no failure";
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.status(), ExitStatus::output);
    }
}

}  // namespace
}  // namespace orvcli
