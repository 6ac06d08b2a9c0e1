// The canvas on cairo: an image surface written as PNG to an std::ostream.
// Its text is DejaVu Sans too, measured by cairo from the font.
#include <cairo.h>
#include <fmt/format.h>

#include <cmath>

#include "failure.h"
#include "plot/canvas.h"
#include "plot/text_metrics.h"

namespace orvcli {
namespace {

cairo_status_t write_to_stream(void *closure, const unsigned char *data, unsigned int length) {
    auto &out = *static_cast<std::ostream *>(closure);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(length));
    return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

class CairoCanvas final : public Canvas {
public:
    CairoCanvas(int width, int height, std::ostream &out) : out_(out) {
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        context_ = cairo_create(surface_);
        cairo_select_font_face(context_, kPlotFontFamily, CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_line_join(context_, CAIRO_LINE_JOIN_ROUND);
        // The font's own advances, not ones rounded to whole pixels: text is
        // as wide as in the SVG (the advance table of text_metrics.h).
        cairo_font_options_t *options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_set_font_options(context_, options);
        cairo_font_options_destroy(options);
    }

    ~CairoCanvas() override {
        cairo_destroy(context_);
        cairo_surface_destroy(surface_);
    }

    void fill_rectangle(Point corner, double width, double height, Color color) override {
        set_color(color);
        cairo_rectangle(context_, corner.x, corner.y, width, height);
        cairo_fill(context_);
    }

    void polyline(const std::vector<Point> &points, double width, Color color) override {
        if (points.size() < 2) return;
        set_color(color);
        cairo_set_line_width(context_, width);
        cairo_move_to(context_, points.front().x, points.front().y);
        for (std::size_t i = 1; i < points.size(); ++i)
            cairo_line_to(context_, points[i].x, points[i].y);
        cairo_stroke(context_);
    }

    void text(Point at, const std::string &text, double size, TextAnchor anchor, Color color,
              bool vertical) override {
        const double width = text_width(text, size);
        set_color(color);
        double shift = 0;
        if (anchor == TextAnchor::center) shift = width / 2;
        if (anchor == TextAnchor::right) shift = width;
        cairo_save(context_);
        cairo_translate(context_, at.x, at.y);
        if (vertical) cairo_rotate(context_, -M_PI / 2);
        cairo_move_to(context_, -shift, 0);
        cairo_show_text(context_, text.c_str());
        cairo_restore(context_);
    }

    double text_width(const std::string &text, double size) override {
        cairo_set_font_size(context_, size);
        cairo_text_extents_t extents{};
        cairo_text_extents(context_, text.c_str(), &extents);
        return extents.x_advance;
    }

    void finish() override {
        cairo_status_t status = cairo_status(context_);
        if (status == CAIRO_STATUS_SUCCESS)
            status = cairo_surface_write_to_png_stream(surface_, write_to_stream, &out_);
        cairo_surface_finish(surface_);
        if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface_);
        if (status != CAIRO_STATUS_SUCCESS)
            throw Failure(ExitStatus::output,
                          fmt::format("draw the plot: {}", cairo_status_to_string(status)));
    }

private:
    void set_color(Color color) {
        cairo_set_source_rgb(context_, color.red, color.green, color.blue);
    }

    std::ostream &out_;
    cairo_surface_t *surface_ = nullptr;
    cairo_t *context_ = nullptr;
};

}  // namespace

std::unique_ptr<Canvas> make_png_canvas(int width, int height, std::ostream &out) {
    return std::make_unique<CairoCanvas>(width, height, out);
}

}  // namespace orvcli
