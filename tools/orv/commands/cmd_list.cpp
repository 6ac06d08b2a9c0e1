// orv list: every bridge of the D2XX list; --probe opens each instrument
// (one thread per bridge) for its protocol, model and serial.
#include <fmt/format.h>

#include <iostream>
#include <thread>
#include <variant>

#include "commands/commands.h"
#include "common_options.h"
#include "device/bridge_list.h"
#include "device/instrument.h"
#include "failure.h"
#include "output/json_text.h"
#include "output/report.h"

namespace orvcli {
namespace {

struct Probe {
    std::string protocol, model, serial;
    std::string error;  // the failure when the instrument could not be probed
    bool attempted = false;
};

Probe probe(const Bridge &bridge) {
    Probe result;
    if (bridge.usb_id != kInstrumentUsbId) return result;
    result.attempted = true;
    try {
        const Instrument instrument(bridge);
        const InstrumentIdentity identity = instrument.identity();
        result.protocol = identity.protocol;
        result.model = identity.model;
        result.serial = identity.serial;
    } catch (const std::exception &failure) {  // this thread's failure stays in its row
        result.error = failure.what();
    }
    return result;
}

std::vector<Probe> probe_all(const std::vector<Bridge> &bridges) {
    std::vector<Probe> probes(bridges.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bridges.size(); ++i)
        threads.emplace_back([&, i] { probes[i] = probe(bridges[i]); });
    for (std::thread &thread : threads) thread.join();
    return probes;
}

void print_text(const std::vector<Bridge> &bridges, const std::vector<Probe> &probes) {
    std::vector<std::vector<std::string>> rows{{"INDEX", "CHIP SERIAL", "USB ID", "DESCRIPTION"}};
    if (!probes.empty()) rows[0].insert(rows[0].end(), {"PROTOCOL", "MODEL", "SERIAL"});
    for (std::size_t i = 0; i < bridges.size(); ++i) {
        const Bridge &bridge = bridges[i];
        rows.push_back({fmt::format("{}", bridge.index), bridge.chip_serial,
                        format_usb_id(bridge.usb_id), bridge.description});
        if (probes.empty()) continue;
        const Probe &probe = probes[i];
        if (!probe.attempted)
            rows.back().insert(rows.back().end(), {"-", "not an instrument", ""});
        else if (!probe.error.empty())
            rows.back().insert(rows.back().end(), {"-", fmt::format("error: {}", probe.error), ""});
        else
            rows.back().insert(rows.back().end(), {probe.protocol, probe.model, probe.serial});
    }
    std::cout << (bridges.empty() ? "no devices listed\n" : render_table(rows));
}

void print_json(const std::vector<Bridge> &bridges, const std::vector<Probe> &probes) {
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = 0; i < bridges.size(); ++i) {
        const Bridge &bridge = bridges[i];
        nlohmann::json entry{{"index", bridge.index},
                             {"chip_serial", bridge.chip_serial},
                             {"description", bridge.description},
                             {"usb_id", format_usb_id(bridge.usb_id)},
                             {"opened", bridge.opened}};
        if (!probes.empty()) {
            const Probe &probe = probes[i];
            if (!probe.attempted)
                entry["instrument"] = nullptr;
            else if (!probe.error.empty())
                entry["instrument"] = {{"error", probe.error}};
            else
                entry["instrument"] = {
                    {"protocol", probe.protocol}, {"model", probe.model}, {"serial", probe.serial}};
        }
        list.push_back(entry);
    }
    std::cout << json_text(list, 2) << '\n';
}

}  // namespace

void add_list_command(CLI::App &app, Action &action) {
    CLI::App *command = app.add_subcommand(
        "list", "List every bridge of the D2XX provider: index, chip serial, USB id, description.");
    auto probe_flag = std::make_shared<bool>(false);
    auto format = std::make_shared<std::string>("text");
    command->add_flag(
        "--probe", *probe_flag,
        "Also open each instrument (in parallel) for its protocol, model and serial.");
    add_format_option(*command, *format, "text or json");
    command->callback([&action, probe_flag, format] {
        action = [probe_flag, format] {
            const ReportFormat report_format = parse_report_format(*format);
            const std::vector<Bridge> bridges = list_bridges();
            const std::vector<Probe> probes =
                *probe_flag ? probe_all(bridges) : std::vector<Probe>{};
            if (report_format == ReportFormat::json)
                print_json(bridges, probes);
            else
                print_text(bridges, probes);
        };
    });
}

}  // namespace orvcli
