// What plot drawing needs from a graphics library: lines, text and a page
// written to a stream. Two backends: SVG text, the same on every platform
// (canvas_svg.cpp), and PNG through cairo (canvas_cairo.cpp), which Debian
// has for Linux only. The drawing itself (plot_drawing.cpp) knows only this
// interface.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace orvcli {

enum class ImageFormat { png, svg };

struct Color {
    double red = 0, green = 0, blue = 0;
};

struct Point {
    double x = 0, y = 0;
};

// Which point of the text the position names.
enum class TextAnchor { left, center, right };

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fill_rectangle(Point corner, double width, double height, Color color) = 0;
    virtual void polyline(const std::vector<Point> &points, double width, Color color) = 0;
    // Text (UTF-8) whose baseline starts, centres or ends at `at`; rotated a
    // quarter turn counter-clockwise when vertical.
    virtual void text(Point at, const std::string &text, double size, TextAnchor anchor,
                      Color color, bool vertical = false) = 0;
    // How wide the text would be at that size.
    virtual double text_width(const std::string &text, double size) = 0;
    // Writes the page to the stream; a Failure when the library reports an error.
    virtual void finish() = 0;
};

// Whether this build writes PNG (cairo: the Linux build only).
#ifdef ORV_CLI_HAS_PNG
inline constexpr bool kPngSupported = true;
#else
inline constexpr bool kPngSupported = false;
#endif

// A canvas of width x height pixels that writes to out; PNG where this build
// has it (else a Failure).
std::unique_ptr<Canvas> make_canvas(ImageFormat format, int width, int height, std::ostream &out);
std::unique_ptr<Canvas> make_svg_canvas(int width, int height, std::ostream &out);
#ifdef ORV_CLI_HAS_PNG
std::unique_ptr<Canvas> make_png_canvas(int width, int height, std::ostream &out);
#endif

}  // namespace orvcli
