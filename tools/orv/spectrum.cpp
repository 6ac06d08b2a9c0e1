#include "spectrum.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

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

}  // namespace orvcli
