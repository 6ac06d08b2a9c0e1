// Values as people type them: durations with a unit ("10ms", "250us",
// "1.5s"), wavelength ranges ("400:700", in nm) and whole numbers (decimal or
// 0x hexadecimal). A malformed or out-of-range value is a usage Failure whose
// message names what was being parsed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvcli {

using Microseconds = std::chrono::duration<std::int64_t, std::micro>;

// A decimal number followed by us (or µs), ms or s, optionally separated by
// spaces. The result must be a whole number of microseconds, 0 or more.
Microseconds parse_duration(std::string_view text, std::string_view what);

// An integration time: a duration from 1 us to 2^32 - 1 us.
std::uint32_t parse_integration_us(std::string_view text, std::string_view what);

// "250 us", "10 ms", "1.5 s": the largest unit below which the value is not
// smaller than 1; parse_duration reads it back unchanged.
std::string format_duration(Microseconds value);

// A whole number from min to max, decimal or with a 0x prefix hexadecimal.
std::uint32_t parse_whole_number(std::string_view text, std::uint32_t min, std::uint32_t max,
                                 std::string_view what);

// A closed wavelength interval in nm, "START:END" with START < END.
struct WavelengthRange {
    double start_nm = 0;
    double end_nm = 0;
};
WavelengthRange parse_wavelength_range(std::string_view text, std::string_view what);

// "400:700" for WavelengthRange{400, 700}; parse_wavelength_range reads it back.
std::string format_wavelength_range(const WavelengthRange &range);

}  // namespace orvcli
