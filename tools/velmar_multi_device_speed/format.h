// Text forms of the report: numbers, optional values, outcomes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "result.h"

namespace velmar {

// Shortest decimal text that reads back to the same double, in fixed
// notation, without a decimal point for whole values (10 and 12.5).
std::string format_plain(double value);

// Fixed notation with two decimals, rounded from the exact binary value with
// ties to even (0.125 gives 0.12).
std::string format_fixed2(double value);

// "Some(v)" or "None".
std::string format_optional(const std::optional<std::uint32_t> &value);

// "Ok(())" or "Err(Kind)".
std::string format_outcome(const Status &outcome);

// "0x" and eight upper-case hexadecimal digits.
std::string format_hex32(std::uint32_t value);

}  // namespace velmar
