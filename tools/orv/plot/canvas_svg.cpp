// The canvas as SVG text, written without a graphics library so that every
// platform writes the same file: labels name DejaVu Sans and are measured
// with its advances (plot/text_metrics.h); kerning and ligatures are off, so
// a browser lays them out from the same advances.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "failure.h"
#include "plot/canvas.h"
#include "plot/text_metrics.h"

namespace orvcli {
namespace {

// A coordinate or length with at most two decimals and no trailing zeros.
std::string number(double value) {
    std::string text = fmt::format("{:.2f}", std::round(value * 100) / 100 + 0.0);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text == "-0" ? "0" : text;
}

std::string color_of(Color color) {
    const auto channel = [](double value) {
        return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
    };
    return fmt::format("#{:02x}{:02x}{:02x}", channel(color.red), channel(color.green),
                       channel(color.blue));
}

// Text as XML character data; bytes below 0x20, which XML cannot carry, as '?'.
std::string escaped(const std::string &text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    return out;
}

class SvgCanvas final : public Canvas {
public:
    SvgCanvas(int width, int height, std::ostream &out) : out_(out) {
        page_ = fmt::format(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" "
            "viewBox=\"0 0 {0} {1}\" xml:space=\"preserve\" text-rendering=\"geometricPrecision\" "
            "font-family=\"'{2}', sans-serif\" "
            "style=\"font-kerning: none; font-variant-ligatures: none\">\n",
            width, height, kPlotFontFamily);
    }

    void fill_rectangle(Point corner, double width, double height, Color color) override {
        page_ += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"{}\"/>\n",
                             number(corner.x), number(corner.y), number(width), number(height),
                             color_of(color));
    }

    void polyline(const std::vector<Point> &points, double width, Color color) override {
        if (points.size() < 2) return;
        page_ += "<path d=\"M";
        for (std::size_t i = 0; i < points.size(); ++i)
            page_ += fmt::format("{}{} {}",
                                 i == 0   ? ""
                                 : i == 1 ? " L"
                                          : " ",
                                 number(points[i].x), number(points[i].y));
        page_ += fmt::format(
            "\" fill=\"none\" stroke=\"{}\" stroke-width=\"{}\" stroke-linejoin=\"round\"/>\n",
            color_of(color), number(width));
    }

    void text(Point at, const std::string &text, double size, TextAnchor anchor, Color color,
              bool vertical) override {
        const char *anchors[] = {"start", "middle", "end"};
        const std::string x = number(at.x), y = number(at.y);
        page_ +=
            fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"{}\" text-anchor=\"{}\" fill=\"{}\"",
                        x, y, number(size), anchors[static_cast<int>(anchor)], color_of(color));
        if (vertical) page_ += fmt::format(" transform=\"rotate(-90 {} {})\"", x, y);
        page_ += fmt::format(">{}</text>\n", escaped(text));
    }

    double text_width(const std::string &text, double size) override {
        return text_advance(text, size);
    }

    void finish() override {
        page_ += "</svg>\n";
        out_.write(page_.data(), static_cast<std::streamsize>(page_.size()));
        if (!out_) throw Failure(ExitStatus::output, "write the plot: the SVG was not written");
    }

private:
    std::ostream &out_;
    std::string page_;
};

}  // namespace

std::unique_ptr<Canvas> make_svg_canvas(int width, int height, std::ostream &out) {
    return std::make_unique<SvgCanvas>(width, height, out);
}

std::unique_ptr<Canvas> make_canvas(ImageFormat format, int width, int height, std::ostream &out) {
    if (format == ImageFormat::svg) return make_svg_canvas(width, height, out);
#ifdef ORV_CLI_HAS_PNG
    return make_png_canvas(width, height, out);
#else
    throw Failure(ExitStatus::usage, "PNG is not part of this build");
#endif
}

}  // namespace orvcli
