// A figure drawn on a canvas: title, framed plot area with grid and tick
// labels, axis labels, the lines in distinct colours and a legend.
#pragma once

#include "plot/canvas.h"
#include "plot/plot_figure.h"

namespace orvcli {

void draw_figure(const PlotFigure &figure, Canvas &canvas, int width, int height);

// The text with every byte sequence that is not UTF-8 replaced by '?'
// (graphics libraries refuse such text).
std::string valid_utf8(const std::string &text);

}  // namespace orvcli
