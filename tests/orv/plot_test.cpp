// Plot axes, texts and figures, drawn on a canvas that records what it gets.
#include <gtest/gtest.h>

#include <cmath>

#include "plot_drawing.h"

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

TEST(PlotFigure, OneLinePerSpectrumAndEveryInstrumentInTheTitle) {
    const std::vector<PlotSource> sources{{"A", "SIM-UV2048 (A, SIMULATED)", "integration 10 ms"},
                                          {"B", "SIM-NIR256 (B, SIMULATED)", "integration 20 ms"}};
    const PlotFigure figure =
        figure_of(sources, {spectrum("A", 1, {1, 2}, {5, 6}), spectrum("B", 1, {3, 4, 5}, {7, 8}),
                            spectrum("A", 2, {1, 2}, {9, 9})});
    EXPECT_EQ(figure.title, "SIM-UV2048 (A, SIMULATED); SIM-NIR256 (B, SIMULATED)");
    EXPECT_NE(figure.subtitle.find("A: integration 10 ms; B: integration 20 ms"),
              std::string::npos);
    ASSERT_EQ(figure.lines.size(), 3u);
    EXPECT_EQ(figure.lines[0].label, "A #1");
    EXPECT_EQ(figure.lines[1].label, "B");
    EXPECT_EQ(figure.lines[1].x.size(), 2u);  // no more points than counts
}

class RecordingCanvas final : public Canvas {
public:
    void fill_rectangle(Point, double, double, Color) override {}
    void polyline(const std::vector<Point> &points, double, Color) override {
        lines.push_back(points);
    }
    void text(Point at, const std::string &content, double, TextAnchor, Color, bool) override {
        texts.push_back(content);
        text_points.push_back(at);
    }
    void finish() override {}

    std::vector<std::vector<Point>> lines;
    std::vector<std::string> texts;
    std::vector<Point> text_points;
};

TEST(PlotDrawing, EverythingLandsOnThePageWithLabelsAndTitle) {
    PlotFigure figure;
    figure.title = "title \xFF";
    figure.subtitle = "settings";
    figure.lines.push_back({"A", {200, 700, 2247}, {0, 65535, 100}});
    RecordingCanvas canvas;
    draw_figure(figure, canvas, 800, 500);
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

}  // namespace
}  // namespace orvcli
