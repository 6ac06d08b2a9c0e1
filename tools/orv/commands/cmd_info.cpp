// orv info: everything liborv tells about one instrument. What the
// instrument's protocol does not have is shown as "not supported".
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <iostream>

#include "commands/commands.h"
#include "common_options.h"
#include "device/device_choice.h"
#include "output/json_text.h"
#include "output/report.h"

namespace orvcli {
namespace {

ParameterValue text_value(const std::string &text) { return {text, text}; }

Report identity_report(const Instrument &instrument) {
    const Bridge &bridge = instrument.bridge();
    const InstrumentIdentity identity = instrument.identity();
    orv_device *device = instrument.handle();
    Report report{
        {"index", ParameterValue{fmt::format("{}", bridge.index), bridge.index}},
        {"chip serial", text_value(bridge.chip_serial)},
        {"description", text_value(bridge.description)},
        {"usb id", text_value(format_usb_id(bridge.usb_id))},
        {"simulated", ParameterValue{identity.simulated ? "yes" : "no", identity.simulated}},
        {"protocol", text_value(identity.protocol)},
    };
    std::uint32_t capabilities = 0;
    instrument.check(orv_device_get_capabilities(device, &capabilities),
                     "read the capabilities of");
    report.push_back(
        {"capabilities", ParameterValue{fmt::format("{:#06x}", capabilities), capabilities}});
    report.push_back({"model", text_value(identity.model)});
    report.push_back({"serial", text_value(identity.serial)});
    report.push_back({"hardware version", text_value(identity.hardware_version)});

    char detector[32] = {};
    if (instrument.check_supported(
            orv_device_get_detector_serial_number(device, detector, sizeof detector),
            "read the detector serial of"))
        report.push_back({"detector serial", text_value(std::string(detector))});
    else
        report.push_back({"detector serial", std::nullopt});

    std::uint8_t slit = 0;
    if (instrument.check_supported(orv_device_get_slit_width(device, &slit),
                                   "read the slit width of"))
        report.push_back({"slit width", ParameterValue{fmt::format("{}", slit), slit}});
    else
        report.push_back({"slit width", std::nullopt});

    double coefficients[4] = {};
    instrument.check(orv_device_get_calibration_coefficients(device, coefficients),
                     "read the calibration coefficients of");
    report.push_back(
        {"calibration",
         ParameterValue{fmt::format("{}", fmt::join(coefficients, ", ")), coefficients}});

    float celsius = 0;
    instrument.check(orv_device_get_temperature(device, &celsius), "read the temperature of");
    report.push_back({"temperature", ParameterValue{fmt::format("{} °C", celsius), celsius}});

    std::uint16_t count = 0;
    instrument.check(orv_device_get_wavelength_count(device, &count),
                     "read the wavelength count of");
    report.push_back({"wavelength count", ParameterValue{fmt::format("{}", count), count}});
    double first = 0, last = 0;
    instrument.check(orv_device_get_full_wavelength_range(device, &first, &last),
                     "read the wavelength range of");
    report.push_back({"wavelength range",
                      ParameterValue{fmt::format("{} to {} nm", first, last), {first, last}}});
    return report;
}

}  // namespace

void add_info_command(CLI::App &app, Action &action) {
    CLI::App *command = app.add_subcommand(
        "info",
        "Identity, calibration, temperature, wavelengths and the current and stored "
        "settings of one instrument.");
    auto device = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>("text");
    add_device_option(*command, *device, AllowAll::no);
    add_format_option(*command, *format, "text or json");
    command->callback([&action, device, format] {
        action = [device, format] {
            const ReportFormat report_format = parse_report_format(*format);
            const Bridge bridge = choose_bridges(list_bridges(), *device, AllowAll::no).front();
            const Instrument instrument(bridge);
            Report report = identity_report(instrument);
            for (const Parameter &parameter : parameters())
                report.push_back({parameter.name, parameter.get(instrument)});
            if (report_format == ReportFormat::json)
                std::cout << json_text(report_json(report), 2) << '\n';
            else
                std::cout << report_text(
                    report, fmt::format("not supported ({})", instrument.protocol_name()));
        };
    });
}

}  // namespace orvcli
