// Text metrics of DejaVu Sans, the font the SVG canvas names, without a font
// library: the advances of every character it has, generated from the font by
// tools/glyph_advances/make_glyph_advances.cpp (HACKING.md says how to
// regenerate them). A browser lays out an SVG label from the same advances,
// so what the drawing measures is what the viewer shows, on every platform.
#pragma once

#include <string>

namespace orvcli {

// The font's family, as the SVG names it.
inline constexpr const char *kPlotFontFamily = "DejaVu Sans";

// The advance of the UTF-8 text at `size` (pixels per em), without kerning
// or ligatures. A character the font lacks counts one em: a viewer draws it
// from another font, whose characters are at most that wide in the common
// cases (CJK). A byte that is not UTF-8 counts as the '?' that replaces it.
double text_advance(const std::string &text, double size);

// The font's ascent and descent at `size`: the height of a line of text.
struct TextHeight {
    double ascent = 0, descent = 0;
};
TextHeight text_height(double size);

}  // namespace orvcli
