#include "plot/text_metrics.h"

#include <algorithm>
#include <cstdint>

namespace orvcli {
namespace {

struct FontFacts {
    unsigned units_per_em;
    int ascender, descender;
};

struct AdvanceRun {
    std::uint32_t first, last;
    int advance;  // font units
};

#include "plot/dejavu_sans_advances.inc"

// The advance of a code point in font units; one em when the font lacks it.
double advance_of(std::uint32_t code) {
    const auto *end = std::end(kAdvanceRuns);
    const auto *run = std::upper_bound(
        std::begin(kAdvanceRuns), end, code,
        [](std::uint32_t value, const AdvanceRun &candidate) { return value < candidate.first; });
    if (run == std::begin(kAdvanceRuns)) return kFontFacts.units_per_em;
    --run;
    return code <= run->last ? run->advance : kFontFacts.units_per_em;
}

// The next code point of the UTF-8 text at `i`, which moves past it; '?' for a
// byte that does not start a complete, shortest-form sequence.
std::uint32_t next_code_point(const std::string &text, std::size_t &i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const int length = lead < 0x80   ? 1
                       : lead < 0xC2 ? 0
                       : lead < 0xE0 ? 2
                       : lead < 0xF0 ? 3
                       : lead < 0xF5 ? 4
                                     : 0;
    if (length == 1 || length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return length == 1 ? lead : '?';
    }
    std::uint32_t code = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return '?';
        }
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return '?';
    }
    i += static_cast<std::size_t>(length);
    return code;
}

}  // namespace

double text_advance(const std::string &text, double size) {
    double units = 0;
    for (std::size_t i = 0; i < text.size();) units += advance_of(next_code_point(text, i));
    return units * size / kFontFacts.units_per_em;
}

TextHeight text_height(double size) {
    return {kFontFacts.ascender * size / kFontFacts.units_per_em,
            kFontFacts.descender * size / kFontFacts.units_per_em};
}

}  // namespace orvcli
