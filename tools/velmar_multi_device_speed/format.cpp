#include "format.h"

#include <array>
#include <charconv>

namespace velmar {
namespace {

// std::to_chars is exact on every C runtime we build for, unlike printf.
template <class... Args>
std::string to_chars_text(Args... args) {
    // Fixed notation of the largest double has 309 digits before the point.
    std::array<char, 400> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), args...);
    if (error != std::errc()) return "?";
    return std::string(buffer.data(), end);
}

}  // namespace

std::string format_plain(double value) { return to_chars_text(value, std::chars_format::fixed); }

std::string format_fixed2(double value) {
    return to_chars_text(value, std::chars_format::fixed, 2);
}

std::string format_optional(const std::optional<std::uint32_t> &value) {
    return value ? "Some(" + std::to_string(*value) + ")" : std::string("None");
}

std::string format_outcome(const Status &outcome) {
    return outcome ? std::string("Ok(())")
                   : "Err(" + std::string(error_name(outcome.error())) + ")";
}

std::string format_hex32(std::uint32_t value) {
    std::string digits = to_chars_text(value, 16);
    for (char &c : digits) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return "0x" + std::string(8 - digits.size(), '0') + digits;
}

}  // namespace velmar
