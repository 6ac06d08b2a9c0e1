#include "device/device_choice.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "failure.h"

namespace orvcli {
namespace {

std::vector<Bridge> instruments_of(const std::vector<Bridge> &bridges) {
    std::vector<Bridge> instruments;
    std::copy_if(bridges.begin(), bridges.end(), std::back_inserter(instruments),
                 [](const Bridge &bridge) { return bridge.usb_id == kInstrumentUsbId; });
    return instruments;
}

[[noreturn]] void no_choice(const std::string &why, const std::vector<Bridge> &bridges) {
    const std::string choices = describe_choices(bridges);
    throw Failure(ExitStatus::device, choices.empty() ? why : fmt::format("{}: {}", why, choices));
}

bool all_digits(const std::string &text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string describe_choices(const std::vector<Bridge> &bridges) {
    std::string choices;
    for (const Bridge &bridge : instruments_of(bridges)) {
        if (!choices.empty()) choices += ", ";
        choices += fmt::format("{} {}", bridge.index, bridge_name(bridge));
    }
    return choices;
}

std::vector<Bridge> choose_bridges(const std::vector<Bridge> &bridges, const std::string &device,
                                   AllowAll allow_all) {
    const std::vector<Bridge> instruments = instruments_of(bridges);
    const std::string id = format_usb_id(kInstrumentUsbId);
    if (device.empty()) {
        if (instruments.size() == 1) return instruments;
        if (instruments.empty())
            throw Failure(ExitStatus::device,
                          fmt::format("no instrument attached (the D2XX provider lists {} "
                                      "device{}, none with USB id {})",
                                      bridges.size(), bridges.size() == 1 ? "" : "s", id));
        no_choice(
            fmt::format("{} instruments attached, choose one with -d INDEX or -d CHIP-SERIAL{}",
                        instruments.size(), allow_all == AllowAll::yes ? " (or -d all)" : ""),
            bridges);
    }
    if (device == "all") {
        if (allow_all == AllowAll::no)
            no_choice("-d all: this command works on one instrument, choose one", bridges);
        if (instruments.empty())
            throw Failure(ExitStatus::device,
                          fmt::format("-d all: no instrument attached (none with USB id {})", id));
        return instruments;
    }
    const auto by_serial = std::find_if(bridges.begin(), bridges.end(), [&](const Bridge &bridge) {
        return bridge.chip_serial == device;
    });
    if (by_serial != bridges.end()) return {*by_serial};
    if (all_digits(device)) {
        std::size_t index = 0;
        const auto [end, error] =
            std::from_chars(device.data(), device.data() + device.size(), index);
        if (error == std::errc() && end == device.data() + device.size() && index < bridges.size())
            return {bridges[index]};
        no_choice(
            fmt::format("-d {}: no device at that index (the D2XX provider lists {}), instruments",
                        device, bridges.size()),
            bridges);
    }
    no_choice(fmt::format("-d {}: no device with that chip serial, instruments", device), bridges);
}

}  // namespace orvcli
