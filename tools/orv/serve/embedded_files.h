// Files built into the program: the live page of `orv serve` (HTML, script
// and style) and the chart library it uses (from Debian's libjs-chart.js), so the page needs nothing
// from the internet. Generated into the build tree by embed_files.cmake.
#pragma once

#include <string_view>

namespace orvcli {

std::string_view embedded_live_page();
std::string_view embedded_live_script();
std::string_view embedded_live_style();
std::string_view embedded_chart_js();

}  // namespace orvcli
