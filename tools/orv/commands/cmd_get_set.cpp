// orv get PARAM and orv set PARAM VALUE: one setting of one instrument, read,
// or checked, sent and read back.
#include <fmt/format.h>

#include <iostream>

#include "commands/commands.h"
#include "common_options.h"
#include "device/device_choice.h"
#include "failure.h"
#include "output/json_text.h"
#include "output/report.h"

namespace orvcli {
namespace {

std::string parameter_help() {
    std::string text = "PARAM is one of:\n";
    for (const Parameter &parameter : parameters())
        text +=
            fmt::format("  {:<20}{} - {}\n", parameter.name, parameter.syntax, parameter.summary);
    return text;
}

void print(const Report &report, ReportFormat format, const Instrument &instrument) {
    if (format == ReportFormat::json)
        std::cout << json_text(report_json(report), 2) << '\n';
    else
        std::cout << report_text(report,
                                 fmt::format("not supported ({})", instrument.protocol_name()));
}

struct Options {
    std::string device;
    std::string format = "text";
    std::string name;
    std::string value;
};

void add_common_options(CLI::App &command, Options &options) {
    add_device_option(command, options.device, AllowAll::no);
    add_format_option(command, options.format, "text or json");
    command.footer(parameter_help());
}

void get(const Options &options) {
    const ReportFormat format = parse_report_format(options.format);
    std::vector<const Parameter *> chosen;
    if (options.name == "all") {
        for (const Parameter &parameter : parameters()) chosen.push_back(&parameter);
    } else {
        chosen.push_back(&find_parameter(options.name));
    }
    const Bridge bridge = choose_bridges(list_bridges(), options.device, AllowAll::no).front();
    const Instrument instrument(bridge);
    Report report;
    for (const Parameter *parameter : chosen) {
        std::optional<ParameterValue> value = parameter->get(instrument);
        if (!value && chosen.size() == 1)
            throw Failure(
                ExitStatus::instrument,
                fmt::format("get {} from {}: not supported by {} instruments", parameter->name,
                            instrument.name(), instrument.protocol_name()));
        report.push_back({parameter->name, std::move(value)});
    }
    print(report, format, instrument);
}

void set(const Options &options) {
    const ReportFormat format = parse_report_format(options.format);
    const Parameter &parameter = find_parameter(options.name);
    const ParameterSetter send = parameter.prepare(options.value);
    const Bridge bridge = choose_bridges(list_bridges(), options.device, AllowAll::no).front();
    const Instrument instrument(bridge);
    send(instrument);
    // Read back what the instrument took; a setting that cannot be read
    // (the NIR stored smoothing width) is reported as such.
    print({{parameter.name, parameter.get(instrument)}}, format, instrument);
}

}  // namespace

void add_get_set_commands(CLI::App &app, Action &action) {
    auto options = std::make_shared<Options>();
    CLI::App *get_command = app.add_subcommand("get", "Read a setting of one instrument.");
    get_command->add_option("PARAM", options->name, "A parameter name, or all.")
        ->required()
        ->option_text("REQUIRED");
    add_common_options(*get_command, *options);
    get_command->callback([&action, options] { action = [options] { get(*options); }; });

    CLI::App *set_command = app.add_subcommand(
        "set",
        "Change a setting of one instrument; the value is checked before anything is "
        "sent and read back after.");
    set_command->add_option("PARAM", options->name, "A parameter name.")
        ->required()
        ->option_text("REQUIRED");
    set_command->add_option("VALUE", options->value, "The new value.")
        ->required()
        ->option_text("REQUIRED");
    add_common_options(*set_command, *options);
    set_command->callback([&action, options] { action = [options] { set(*options); }; });
}

}  // namespace orvcli
