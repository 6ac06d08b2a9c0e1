// Opens every instrument of the device list through liborv and prints what
// it is, its wavelength table and one spectrum, one value per line. Two runs
// of the same scenario print the same text whichever D2XX provider liborv
// loads, since the simulated spectra are seeded. Exit status 1 when the list
// is empty.
#include <cstdio>
#include <vector>

#include "orv.h"

int main() {
    int instruments = 0;
    char serial[32];
    for (int index = 0; orv_get_chip_serial_by_index(index, serial, sizeof serial) == ORV_OK;
         ++index) {
        std::printf("device %d serial=%s\n", index, serial);
        if (orv_open_device(index) != ORV_OK) {
            std::printf("  not an instrument\n");
            continue;
        }
        orv_device_info info{};
        uint16_t count = 0;
        if (orv_get_device_info(&info) != ORV_OK || orv_get_wavelength_count(&count) != ORV_OK) {
            std::printf("  no identity or wavelength count\n");
            orv_close_device();
            continue;
        }
        std::printf("  protocol=%s model=%s count=%u\n", info.protocol_name, info.model, count);
        std::vector<double> wavelengths(count);
        std::vector<uint16_t> samples(count);
        const int table = orv_get_full_wavelength_data(wavelengths.data(), count);
        const int spectrum = orv_get_full_spectrum_data(samples.data(), count);
        std::printf("  table=%d spectrum=%d\n", table, spectrum);
        for (uint16_t i = 0; i < count; ++i)
            std::printf("  %u %.9g %u\n", i, wavelengths[i], samples[i]);
        orv_close_device();
        ++instruments;
    }
    return instruments > 0 ? 0 : 1;
}
