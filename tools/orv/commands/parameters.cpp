#include "commands/parameters.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <array>
#include <cstdint>
#include <limits>

#include "failure.h"
#include "units.h"

namespace orvcli {
namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

template <class T>
using Getter = int (*)(orv_device *, T *);
template <class T>
using Setter = int (*)(orv_device *, T);

// One number of type T (a byte, a 12-bit DAC word) within [min, max].
template <class T>
Parameter number(std::string name, std::string what, std::string summary, Getter<T> get,
                 Setter<T> set, std::uint32_t min, std::uint32_t max) {
    const std::string label = fmt::format("{} VALUE", name);
    return {std::move(name), std::move(summary), fmt::format("{}..{}", min, max),
            [get, what](const Instrument &instrument) -> std::optional<ParameterValue> {
                T value{};
                if (!instrument.check_supported(get(instrument.handle(), &value),
                                                fmt::format("read {} from", what)))
                    return std::nullopt;
                return ParameterValue{fmt::format("{}", +value), +value};
            },
            [set, what, min, max, label](std::string_view text) -> ParameterSetter {
                const auto value = static_cast<T>(parse_whole_number(text, min, max, label));
                return [set, what, value](const Instrument &instrument) {
                    instrument.check(set(instrument.handle(), value),
                                     fmt::format("set {} on", what));
                };
            }};
}

// A duration in microseconds: the integration times.
Parameter duration(std::string name, std::string what, std::string summary,
                   Getter<std::uint32_t> get, Setter<std::uint32_t> set) {
    const std::string label = fmt::format("{} VALUE", name);
    return {std::move(name), std::move(summary), "DURATION (10ms, 250us, 1.5s)",
            [get, what](const Instrument &instrument) -> std::optional<ParameterValue> {
                std::uint32_t us = 0;
                if (!instrument.check_supported(get(instrument.handle(), &us),
                                                fmt::format("read {} from", what)))
                    return std::nullopt;
                return ParameterValue{format_duration(Microseconds(us)), us};
            },
            [set, what, label](std::string_view text) -> ParameterSetter {
                const std::uint32_t us = parse_integration_us(text, label);
                return [set, what, us](const Instrument &instrument) {
                    instrument.check(set(instrument.handle(), us), fmt::format("set {} on", what));
                };
            }};
}

// N comma-separated whole numbers, each within [0, max].
template <std::size_t N>
std::array<std::uint32_t, N> parse_numbers(std::string_view text, std::uint32_t max,
                                           const std::string &label) {
    std::array<std::uint32_t, N> values{};
    std::string_view rest = text;
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t comma = rest.find(',');
        if ((comma == std::string_view::npos) != (i + 1 == N))
            throw Failure(ExitStatus::usage,
                          fmt::format("{}: '{}' needs {} comma-separated numbers", label, text, N));
        values[i] = parse_whole_number(rest.substr(0, comma), 0, max, label);
        if (comma != std::string_view::npos) rest.remove_prefix(comma + 1);
    }
    return values;
}

Parameter xenon_pulse() {
    return {"xenon-pulse", "xenon lamp pulse parameters (UV-VIS only)",
            "FIRST,SECOND (0..4294967295 each)",
            [](const Instrument &instrument) -> std::optional<ParameterValue> {
                std::uint32_t first = 0, second = 0;
                if (!instrument.check_supported(
                        orv_device_get_xenon_pulse(instrument.handle(), &first, &second),
                        "read the xenon pulse from"))
                    return std::nullopt;
                return ParameterValue{fmt::format("{},{}", first, second), {first, second}};
            },
            [](std::string_view text) -> ParameterSetter {
                const auto values = parse_numbers<2>(text, kMaxU32, "xenon-pulse VALUE");
                return [values](const Instrument &instrument) {
                    instrument.check(
                        orv_device_set_xenon_pulse(instrument.handle(), values[0], values[1]),
                        "set the xenon pulse on");
                };
            }};
}

Parameter trigger() {
    return {"trigger", "external trigger configuration bytes 0, 1 and 3 (UV-VIS only)",
            "BYTE0,BYTE1,BYTE3 (0..255 each, 0x.. for hexadecimal)",
            [](const Instrument &instrument) -> std::optional<ParameterValue> {
                std::uint8_t b0 = 0, b1 = 0, b3 = 0;
                if (!instrument.check_supported(
                        orv_device_get_external_trigger_config(instrument.handle(), &b0, &b1, &b3),
                        "read the trigger configuration from"))
                    return std::nullopt;
                const std::array<unsigned, 3> bytes{b0, b1, b3};
                return ParameterValue{fmt::format("{:#04x}", fmt::join(bytes, ",")), bytes};
            },
            [](std::string_view text) -> ParameterSetter {
                const auto values = parse_numbers<3>(text, 255, "trigger VALUE");
                return [values](const Instrument &instrument) {
                    instrument.check(orv_device_set_external_trigger_config(
                                         instrument.handle(), static_cast<std::uint8_t>(values[0]),
                                         static_cast<std::uint8_t>(values[1]),
                                         static_cast<std::uint8_t>(values[2])),
                                     "set the trigger configuration on");
                };
            }};
}

std::vector<Parameter> make_parameters() {
    return {
        duration("integration", "the integration time", "integration time of each scan",
                 orv_device_get_integration_time, orv_device_set_integration_time),
        number<std::uint8_t>("average", "the average number", "scans averaged into one spectrum",
                             orv_device_get_average_number, orv_device_set_average_number, 1, 255),
        number<std::uint8_t>("level", "the level output", "level output",
                             orv_device_get_level_output, orv_device_set_level_output, 0, 255),
        xenon_pulse(),
        number<std::uint8_t>("xenon-mode", "the xenon mode", "xenon lamp mode (UV-VIS only)",
                             orv_device_get_xenon_mode, orv_device_set_xenon_mode, 0, 255),
        trigger(),
        number<std::uint16_t>("dac", "the DAC value", "DAC value, 12 bits (UV-VIS only)",
                              orv_device_get_dac_voltage, orv_device_set_dac_voltage, 0, 4095),
        duration("stored-integration", "the stored integration time",
                 "integration time stored as the power-up default (UV-VIS only)",
                 orv_device_get_stored_integration_time, orv_device_set_stored_integration_time),
        number<std::uint8_t>("stored-average", "the stored average number",
                             "average number stored as the power-up default (UV-VIS only)",
                             orv_device_get_stored_average_number,
                             orv_device_set_stored_average_number, 1, 255),
        number<std::uint8_t>("stored-smoothing", "the stored smoothing width",
                             "smoothing width stored as the power-up default (UV-VIS only)",
                             orv_device_get_stored_smoothing_width,
                             orv_device_set_stored_smoothing_width, 0, 255),
    };
}

}  // namespace

const std::vector<Parameter> &parameters() {
    static const std::vector<Parameter> table = make_parameters();
    return table;
}

const Parameter &find_parameter(std::string_view name) {
    for (const Parameter &parameter : parameters())
        if (parameter.name == name) return parameter;
    std::vector<std::string_view> names;
    for (const Parameter &parameter : parameters()) names.push_back(parameter.name);
    throw Failure(ExitStatus::usage,
                  fmt::format("unknown parameter '{}': one of {}", name, fmt::join(names, ", ")));
}

}  // namespace orvcli
