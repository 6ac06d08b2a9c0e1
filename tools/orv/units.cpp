#include "units.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "failure.h"

namespace orvcli {
namespace {

[[noreturn]] void bad_value(std::string_view what, std::string_view text, std::string_view why) {
    throw Failure(ExitStatus::usage, fmt::format("{}: '{}' {}", what, text, why));
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A plain decimal number (no sign, no exponent, no inf or nan), and the rest.
std::pair<double, std::string_view> leading_decimal(std::string_view text, std::string_view what,
                                                    std::string_view original) {
    std::size_t length = 0;
    while (length < text.size() &&
           ((text[length] >= '0' && text[length] <= '9') || text[length] == '.'))
        ++length;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + length, value);
    if (length == 0 || error != std::errc() || end != text.data() + length || !std::isfinite(value))
        bad_value(what, original, "is not a number");
    return {value, text.substr(length)};
}

struct Unit {
    std::string_view name;
    std::int64_t microseconds;
};
constexpr std::array<Unit, 4> kDurationUnits{
    {{"us", 1}, {"\xC2\xB5s", 1}, {"ms", 1000}, {"s", 1000000}}};

}  // namespace

Microseconds parse_duration(std::string_view text, std::string_view what) {
    const std::string_view trimmed = trim(text);
    const auto [number, rest] = leading_decimal(trimmed, what, text);
    const std::string_view unit_text = trim(rest);
    if (unit_text.empty()) bad_value(what, text, "needs a unit: us, ms or s (10ms, 250us, 1.5s)");
    for (const Unit &unit : kDurationUnits) {
        if (unit_text != unit.name) continue;
        const double microseconds = number * static_cast<double>(unit.microseconds);
        if (microseconds > static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2))
            bad_value(what, text, "is too long");
        const double whole = std::round(microseconds);
        if (std::fabs(microseconds - whole) > 1e-6 * std::max(1.0, whole))
            bad_value(what, text, "is not a whole number of microseconds");
        return Microseconds(static_cast<std::int64_t>(whole));
    }
    bad_value(what, text, "has an unknown unit: use us, ms or s (10ms, 250us, 1.5s)");
}

std::uint32_t parse_integration_us(std::string_view text, std::string_view what) {
    const Microseconds value = parse_duration(text, what);
    if (value.count() < 1 || value.count() > std::numeric_limits<std::uint32_t>::max())
        bad_value(what, text, "is outside 1 us to 4294.967295 s");
    return static_cast<std::uint32_t>(value.count());
}

std::string format_duration(Microseconds value) {
    const std::int64_t us = value.count();
    if (us < 1000 && us > -1000) return fmt::format("{} us", us);
    if (us < 1000000 && us > -1000000)
        return fmt::format("{} ms", static_cast<double>(us) / 1000.0);
    return fmt::format("{} s", static_cast<double>(us) / 1000000.0);
}

std::uint32_t parse_whole_number(std::string_view text, std::uint32_t min, std::uint32_t max,
                                 std::string_view what) {
    std::string_view digits = trim(text);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || end != digits.data() + digits.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range))
        bad_value(what, text, "is not a whole number");
    if (error == std::errc::result_out_of_range || value < min || value > max)
        bad_value(what, text, fmt::format("is outside {} to {}", min, max));
    return static_cast<std::uint32_t>(value);
}

WavelengthRange parse_wavelength_range(std::string_view text, std::string_view what) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        bad_value(what, text, "is not a range: use START:END in nm (400:700)");
    const auto [start, start_rest] = leading_decimal(trim(text.substr(0, colon)), what, text);
    const auto [end, end_rest] = leading_decimal(trim(text.substr(colon + 1)), what, text);
    if (!trim(start_rest).empty() || !trim(end_rest).empty())
        bad_value(what, text, "is not a range: use START:END in nm (400:700)");
    if (!(start < end)) bad_value(what, text, "must start below its end");
    return {start, end};
}

std::string format_wavelength_range(const WavelengthRange &range) {
    return fmt::format("{}:{}", range.start_nm, range.end_nm);
}

}  // namespace orvcli
