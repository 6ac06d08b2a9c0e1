#include "device/spectrum.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <charconv>

#include "failure.h"

namespace orvcli {

bool looks_simulated(const std::string &description, const std::string &model) {
    return description.find("SIMULATED") != std::string::npos ||
           model.find("SIMULATED") != std::string::npos || model.rfind("SIM-", 0) == 0;
}

std::string describe_settings(const AcquisitionSettings &settings) {
    std::string text =
        fmt::format("integration {}, average {}",
                    format_duration(Microseconds(settings.integration_us)), settings.average);
    if (settings.range)
        text += fmt::format(", range {} nm", format_wavelength_range(*settings.range));
    return text;
}

std::optional<AcquisitionSettings> parse_settings(const std::string &text) {
    // "integration 10 ms, average 1[, range 400:700 nm]"
    const std::string integration = "integration ", average = ", average ", range = ", range ";
    const std::size_t average_at = text.find(average);
    if (text.rfind(integration, 0) != 0 || average_at == std::string::npos) return std::nullopt;
    const std::size_t range_at = text.find(range, average_at);
    AcquisitionSettings settings;
    try {
        settings.integration_us = parse_integration_us(
            text.substr(integration.size(), average_at - integration.size()), "settings");
        const std::size_t count_at = average_at + average.size();
        settings.average = parse_whole_number(
            text.substr(count_at,
                        (range_at == std::string::npos ? text.size() : range_at) - count_at),
            1, 255, "settings");
        if (range_at != std::string::npos) {
            const std::string rest = text.substr(range_at + range.size());
            if (rest.size() < 3 || rest.compare(rest.size() - 3, 3, " nm") != 0)
                return std::nullopt;
            settings.range = parse_wavelength_range(rest.substr(0, rest.size() - 3), "settings");
        }
    } catch (const Failure &) {
        return std::nullopt;
    }
    return settings;
}

std::string describe_instrument(const InstrumentIdentity &identity) {
    std::string text = identity.model.empty() ? "instrument" : identity.model;
    if (!identity.serial.empty()) text += fmt::format(" serial {}", identity.serial);
    text += fmt::format(" ({}{})", identity.chip_serial, identity.simulated ? ", SIMULATED" : "");
    return text;
}

std::string format_utc(std::chrono::system_clock::time_point time) {
    const auto milliseconds =
        std::chrono::time_point_cast<std::chrono::milliseconds>(time).time_since_epoch().count() %
        1000;
    return fmt::format("{:%Y-%m-%dT%H:%M:%S}.{:03}Z",
                       fmt::gmtime(std::chrono::system_clock::to_time_t(time)), milliseconds);
}

std::optional<std::chrono::system_clock::time_point> parse_utc(const std::string &text) {
    // "YYYY-MM-DDTHH:MM:SS.mmmZ"
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z')
        return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t length, int &value) {
        const char *first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        return error == std::errc() && end == first + length;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    if (!field(0, 4, year) || !field(5, 2, month) || !field(8, 2, day) || !field(11, 2, hour) ||
        !field(14, 2, minute) || !field(17, 2, second) || !field(20, 3, milli) || month < 1 ||
        month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    // Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + day_of_era - 719468;
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::milliseconds(seconds * 1000 + milli)));
}

}  // namespace orvcli
