#include "common_options.h"

#include <fmt/format.h>

namespace orvcli {

CLI::Option *add_device_option(CLI::App &command, std::string &device, AllowAll allow_all) {
    const std::string help = fmt::format(
        "{} (default: {}).",
        allow_all == AllowAll::yes ? "Index, chip serial, or all" : "Index or chip serial",
        device.empty() ? std::string("the only instrument") : device);
    return command.add_option("-d,--device", device, help)->option_text("DEVICE");
}

void add_settings_options(CLI::App &command, std::string &integration, unsigned &average) {
    command
        .add_option("--integration", integration,
                    "Integration time: 10ms, 250us, 1.5s (default: the instrument's).")
        ->option_text("DURATION");
    command
        .add_option("--average", average,
                    "Scans averaged per spectrum, 1 to 255 (default: the instrument's).")
        ->check(CLI::Range(1u, 255u))
        ->option_text("N");
}

CLI::Option *add_format_option(CLI::App &command, std::string &format, const char *choices) {
    const std::string shown = format.empty() ? std::string("FORMAT") : "FORMAT=" + format;
    return command.add_option("--format", format, choices)->option_text(shown);
}

}  // namespace orvcli
