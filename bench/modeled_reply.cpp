// orv_modeled_reply: for every instrument of the scenario the provider loads
// (ORVSIM_SCENARIO, or the built-in default) and every case of the benchmark
// program, reads one spectrum through liborv and prints the time the
// simulator modelled for it, from the end of the request to the moment the
// last answer byte became readable:
//
//   chip_serial=ORVSIM01 case=1 integration_us=10000 average=1 modeled_ms=15.128000
//
// `scripts/bench_checks.py fidelity` sets these against the avg_ms the program
// reports.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"
#include "orv.h"
#include "orvsim.h"
#include "scan.h"

namespace {

// The bridges the benchmark program would consider, with their list position.
struct Bridge {
    int index;
    std::string serial;
};

std::vector<Bridge> instrument_bridges() {
    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK || count == 0) return {};
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK) return {};
    std::vector<Bridge> bridges;
    for (DWORD i = 0; i < count && i < nodes.size(); ++i) {
        if (nodes[i].ID != velmar::kVelmarUsbId) continue;
        bridges.push_back({static_cast<int>(i), std::string(nodes[i].SerialNumber)});
    }
    return bridges;
}

// One case on the open instrument; false when the instrument refuses it.
bool print_case(const Bridge &bridge, std::size_t number, const velmar::BenchCase &c,
                std::vector<uint16_t> &samples) {
    if (orv_set_integration_time(c.integration_us) != ORV_OK ||
        orv_set_average_number(static_cast<uint8_t>(c.average)) != ORV_OK ||
        orv_get_full_spectrum_data(samples.data(), static_cast<int32_t>(samples.size())) !=
            ORV_OK) {
        return false;
    }
    std::printf("chip_serial=%s case=%zu integration_us=%u average=%u modeled_ms=%.6f\n",
                bridge.serial.c_str(), number, c.integration_us, c.average,
                orvsim_last_modeled_reply_ms(bridge.index));
    return true;
}

}  // namespace

int main() {
    int failures = 0;
    for (const Bridge &bridge : instrument_bridges()) {
        uint16_t count = 0;
        if (orv_open_device(bridge.index) != ORV_OK || orv_get_wavelength_count(&count) != ORV_OK ||
            count == 0) {
            orv_close_device();
            continue;  // not an instrument the program would visit
        }
        std::vector<uint16_t> samples(count);
        for (std::size_t i = 0; i < velmar::kBenchCases.size(); ++i) {
            if (!print_case(bridge, i + 1, velmar::kBenchCases[i], samples)) {
                std::fprintf(stderr, "%s: case %zu failed\n", bridge.serial.c_str(), i + 1);
                ++failures;
            }
        }
        orv_close_device();
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
