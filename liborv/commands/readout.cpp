// Wavelength count, wavelength table and range, and full spectra on both
// protocols. The wavelength count is cached in the device state so that a
// spectrum read costs one exchange once the count is known; only a count
// query or a table read sets it.
#include "commands/readout.h"

#include <algorithm>
#include <utility>

#include "commands/device_commands.h"
#include "commands/request_patterns.h"
#include "commands/scratch.h"
#include "link/device_state.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"

namespace {

using registers::SPECTRUM;
using registers::WAVELENGTH_COUNT;
using registers::WAVELENGTH_RANGE;
using registers::WAVELENGTH_TABLE;

// "3Fh 53h" asks a NIR instrument for its wavelength table: 4 bytes per value.
constexpr nir_read WAVELENGTH_QUERY{nir_shape::query, NIR_CMD_SPECTRUM, ORV_PACKET_MAX_DATA, 0};

// Wavelength count of a NIR table reply; an empty reply or one that is not
// whole singles is not a table.
int nir_table_count(int len, int *count) {
    if (len <= 0 || len % 4 != 0) return ORV_ERR_TRANSPORT;
    *count = len / 4;
    return ORV_OK;
}

void decode_wavelengths(const uint8_t *data, int n, double *values) {
    for (int i = 0; i < n; ++i) values[i] = static_cast<double>(get_le_float(data + 4 * i));
}

// A UVVIS_ORV table or spectrum read needs room for the whole count; the
// check costs no exchange once the count is cached.
int check_capacity_for_count(orv_device &device, int32_t capacity) {
    uint16_t count = 0;
    int rc = known_wavelength_count(device, &count);
    if (rc != ORV_OK) return rc;
    return capacity < count ? ORV_ERR_INVALID_PARAM : ORV_OK;
}

// A NIR spectrum of the instrument's wavelength count: the reply's size
// follows from the count (within the frame forms), the scratch holds the
// longest form, and the frame must hold exactly count samples. The count is
// the instrument's, never taken from a reply's length.
int read_nir_spectrum(orv_device &device, uint16_t *samples, int32_t capacity, int *written) {
    uint16_t count = 0;
    int rc = known_wavelength_count(device, &count);
    if (rc != ORV_OK) return rc;
    const nir_read spectrum{nir_shape::spectrum,
                            NIR_CMD_SPECTRUM,
                            nir_spectrum_reply_bytes(count),
                            0,
                            count,
                            spectrum_wait(device).deadline_ms};
    return read_nir(device, spectrum, [&](const uint8_t *d, int len) {
        const int first = nir_spectrum_samples(d, len, count);
        if (first < 0) return ORV_ERR_TRANSPORT;
        if (capacity < count) return ORV_ERR_INVALID_PARAM;
        *written =
            decode_spectrum_samples(d + first, nir_spectrum_least_bytes(count), samples, count);
        return ORV_OK;
    });
}

}  // namespace

int known_wavelength_count(orv_device &device, uint16_t *count) {
    if (device.wavelength_count_cache != 0) {
        *count = device.wavelength_count_cache;
        return ORV_OK;
    }
    return get_wavelength_count(device, count);
}

int decode_spectrum_samples(const uint8_t *data, int len, uint16_t *samples, int32_t capacity) {
    const int n = std::min(len / 2, static_cast<int>(capacity));
    for (int i = 0; i < n; ++i) samples[i] = get_be16(data + 2 * i);
    return n;
}

int read_wavelength_table(orv_device &device, double *values, int32_t capacity, int *delivered) {
    int rc = check_call(device, {.args_ok = values != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    int written = 0;
    if (is_nir_device(device)) {
        rc = read_nir(device, WAVELENGTH_QUERY, [&](const uint8_t *d, int len) {
            int n = 0;
            int status = nir_table_count(len, &n);
            if (status != ORV_OK) return status;
            if (capacity < n) return ORV_ERR_INVALID_PARAM;
            decode_wavelengths(d, n, values);
            device.wavelength_count_cache = static_cast<uint16_t>(n);
            written = n;
            return ORV_OK;
        });
    } else {
        rc = check_capacity_for_count(device, capacity);
        if (rc != ORV_OK) return rc;
        rc = read_register(device, {WAVELENGTH_TABLE, 0}, [&](const uint8_t *d, int len) {
            written = std::min(len / 4, static_cast<int>(capacity));
            decode_wavelengths(d, written, values);
        });
    }
    if (rc == ORV_OK && delivered != nullptr) *delivered = written;
    return rc;
}

int get_wavelength_data_by_range(orv_device &device, uint16_t first_index, uint16_t count,
                                 double *values, int32_t capacity) {
    int rc = check_call(device, {.args_ok = values != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    const reg_field slice{WAVELENGTH_TABLE.reg, first_index, count};
    return read_register(device, {slice, 4 * count}, [&](const uint8_t *d, int len) {
        decode_wavelengths(d, std::min(len / 4, static_cast<int>(capacity)), values);
    });
}

int read_spectrum(orv_device &device, uint16_t *samples, int32_t capacity, int *delivered) {
    int rc = check_call(device, {.args_ok = samples != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    int written = 0;
    if (is_nir_device(device)) {
        rc = read_nir_spectrum(device, samples, capacity, &written);
    } else {
        rc = check_capacity_for_count(device, capacity);
        if (rc != ORV_OK) return rc;
        rc = read_register(device, {SPECTRUM, 0, spectrum_wait(device)},
                           [&](const uint8_t *d, int len) {
                               written = decode_spectrum_samples(d, len, samples, capacity);
                           });
    }
    if (rc == ORV_OK && delivered != nullptr) *delivered = written;
    return rc;
}

int get_wavelength_count(orv_device &device, uint16_t *count) {
    int n = 0;
    int rc = get_dual(
        device, count != nullptr, WAVELENGTH_COUNT,
        [&](const uint8_t *d, int) { n = half_in_word(d); }, WAVELENGTH_QUERY,
        [&](const uint8_t *, int len) { return nir_table_count(len, &n); });
    if (rc != ORV_OK) return rc;
    *count = static_cast<uint16_t>(n);
    device.wavelength_count_cache = static_cast<uint16_t>(n);
    return ORV_OK;
}

int get_full_wavelength_range(orv_device &device, double *first, double *last) {
    int rc = check_call(device, {.args_ok = first != nullptr && last != nullptr});
    if (rc != ORV_OK) return rc;
    if (!is_nir_device(device)) {
        // Both doubles as the instrument sends them, even in descending order.
        return read_register(device, WAVELENGTH_RANGE, [&](const uint8_t *d, int) {
            *first = get_be_double(d);
            *last = get_be_double(d + 8);
        });
    }
    uint16_t count = 0;
    rc = get_wavelength_count(device, &count);
    if (rc != ORV_OK) return rc;
    if (count == 0) return ORV_ERR_TRANSPORT;
    auto table = make_scratch<double>(count);
    if (!table) return ORV_ERR_INVALID_PARAM;
    int delivered = 0;
    rc = read_wavelength_table(device, table.get(), count, &delivered);
    if (rc != ORV_OK) return rc;
    if (delivered < 1) return ORV_ERR_TRANSPORT;
    double low = table[0];
    double high = table[static_cast<std::size_t>(delivered) - 1];
    if (low > high) std::swap(low, high);
    *first = low;
    *last = high;
    return ORV_OK;
}

int get_full_wavelength_data(orv_device &device, double *values, int32_t capacity) {
    return read_wavelength_table(device, values, capacity, nullptr);
}

int get_full_spectrum_data(orv_device &device, uint16_t *samples, int32_t capacity) {
    return read_spectrum(device, samples, capacity, nullptr);
}
