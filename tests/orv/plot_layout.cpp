// The layout of a plot as the PNG canvas (cairo) draws it, for the browser
// check of the SVG (e2e/plot_svg_browser_check.py): draws the spectra of a
// file of orv read to a PNG and prints every label as a JSON line with its
// text, its box as cairo measures it and its width by the SVG canvas's
// advance table. Labels come in the order the drawing makes them, which is
// the order of the SVG's text elements.
//
//   plot_layout FILE WIDTH HEIGHT OUT.png
#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "failure.h"
#include "output/spectrum_table_reader.h"
#include "plot/canvas.h"
#include "plot/plot_drawing.h"
#include "plot/text_metrics.h"

namespace orvcli {
namespace {

class LayoutCanvas final : public Canvas {
public:
    explicit LayoutCanvas(Canvas &drawn) : drawn_(drawn) {}

    void fill_rectangle(Point corner, double width, double height, Color color) override {
        drawn_.fill_rectangle(corner, width, height, color);
    }
    void polyline(const std::vector<Point> &points, double width, Color color) override {
        drawn_.polyline(points, width, color);
    }
    void text(Point at, const std::string &text, double size, TextAnchor anchor, Color color,
              bool vertical) override {
        drawn_.text(at, text, size, anchor, color, vertical);
        const double width = drawn_.text_width(text, size);
        const double before = anchor == TextAnchor::left     ? 0
                              : anchor == TextAnchor::center ? width / 2
                                                             : width;
        const TextHeight height = text_height(size);
        const std::array<double, 4> box =  // left, top, right, bottom
            vertical ? std::array<double, 4>{at.x - height.ascent, at.y - (width - before),
                                             at.x + height.descent, at.y + before}
                     : std::array<double, 4>{at.x - before, at.y - height.ascent,
                                             at.x - before + width, at.y + height.descent};
        std::cout << nlohmann::json{{"text", text},
                                    {"box", box},
                                    {"vertical", vertical},
                                    {"table_width", text_advance(text, size)}}
                         .dump()
                  << '\n';
    }
    double text_width(const std::string &text, double size) override {
        return drawn_.text_width(text, size);
    }
    void finish() override { drawn_.finish(); }

private:
    Canvas &drawn_;
};

}  // namespace
}  // namespace orvcli

int main(int argc, char **argv) {
    using namespace orvcli;
    if (argc != 5) {
        std::cerr << "usage: plot_layout FILE WIDTH HEIGHT OUT.png\n";
        return 2;
    }
    try {
        const SpectrumTable table = read_spectrum_file(argv[1], "FILE");
        const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
        std::ofstream png(argv[4], std::ios::binary);
        const std::unique_ptr<Canvas> cairo = make_png_canvas(width, height, png);
        LayoutCanvas canvas(*cairo);
        draw_figure(figure_of(table.sources, table.spectra, table.mode), canvas, width, height);
        canvas.finish();
        return png.flush() ? 0 : 1;
    } catch (const Failure &failure) {
        std::cerr << "plot_layout: " << failure.what() << '\n';
        return 1;
    }
}
