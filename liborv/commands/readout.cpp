// Wavelength count, wavelength table and range, and full spectra on both
// protocols. The wavelength count is cached in the device state so that a
// UVVIS_ORV spectrum read costs one exchange once the count is known.
#include "commands/readout.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "commands/request_patterns.h"
#include "link/detect.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"

namespace {

constexpr reg_addr WAVELENGTH_COUNT{ORV_REG_STORED, 0x0B};
constexpr reg_addr WAVELENGTH_RANGE{ORV_REG_STORED, 0x0D};
constexpr reg_addr WAVELENGTH_TABLE{ORV_REG_WAVELENGTHS, 0};
constexpr reg_addr SPECTRUM{ORV_REG_SPECTRUM, 0};

// The largest table and spectrum, always asked for in full.
constexpr int TABLE_WORDS = 2048;
constexpr int SPECTRUM_WORDS = 1024;

// "3Fh 53h" asks a NIR instrument for its wavelength table: 4 bytes per value.
constexpr nir_read WAVELENGTH_QUERY{nir_shape::query, NIR_CMD_SPECTRUM, ORV_PACKET_MAX_DATA, 0};
constexpr nir_read SPECTRUM_QUERY{nir_shape::spectrum, NIR_CMD_SPECTRUM, NIR_REPLY_BUFFER, 0};

// Framing of a NIR spectrum reply: an optional long or short header and an
// optional trailer around the big-endian samples.
constexpr uint8_t NIR_LONG_HEADER[8] = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
constexpr int NIR_SHORT_HEADER_LEN = 4;  // the first four bytes of the long header
constexpr uint8_t NIR_TRAILER[4] = {0xDD, 0xDD, 0xAA, 0xAA};

// Wavelength count of a NIR table reply; an empty reply or one that is not
// whole singles is not a table.
int nir_table_count(int len, int *count) {
    if (len <= 0 || len % 4 != 0) return ORV_ERR_TRANSPORT;
    *count = len / 4;
    return ORV_OK;
}

void decode_wavelengths(const uint8_t *data, int n, double *values) {
    for (int i = 0; i < n; ++i) values[i] = static_cast<double>(le32_to_float(data + 4 * i));
}

// The cached wavelength count, or a fresh count query when none is cached.
int known_wavelength_count(uint16_t *count) {
    if (g_wavelength_count_cache != 0) {
        *count = g_wavelength_count_cache;
        return ORV_OK;
    }
    return orv_get_wavelength_count(count);
}

// A UVVIS_ORV table or spectrum read needs room for the whole count; the
// check costs no exchange once the count is cached.
int check_capacity_for_count(int32_t capacity) {
    uint16_t count = 0;
    int rc = known_wavelength_count(&count);
    if (rc != ORV_OK) return rc;
    return capacity < count ? ORV_ERR_INVALID_PARAM : ORV_OK;
}

// Strips the NIR spectrum frame: *first is the offset of the first sample
// byte, the return value the number of sample bytes (may be odd or <= 0).
int nir_spectrum_payload(const uint8_t *d, int len, int *first) {
    int skip = 0;
    if (len >= 12 && std::memcmp(d, NIR_LONG_HEADER, sizeof NIR_LONG_HEADER) == 0) {
        skip = static_cast<int>(sizeof NIR_LONG_HEADER);
    } else if (len >= 8 && std::memcmp(d, NIR_LONG_HEADER, NIR_SHORT_HEADER_LEN) == 0) {
        skip = NIR_SHORT_HEADER_LEN;
    }
    if (len - skip >= 4 && std::memcmp(d + len - 4, NIR_TRAILER, sizeof NIR_TRAILER) == 0) len -= 4;
    *first = skip;
    return len - skip;
}

}  // namespace

int decode_spectrum_samples(const uint8_t *data, int len, uint16_t *samples, int32_t capacity) {
    const int n = std::min(len / 2, static_cast<int>(capacity));
    for (int i = 0; i < n; ++i) samples[i] = be16(data + 2 * i);
    return n;
}

int read_wavelength_table(double *values, int32_t capacity, int *delivered) {
    int rc = check_call({.args_ok = values != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    int written = 0;
    if (is_nir_device()) {
        rc = read_nir(WAVELENGTH_QUERY, [&](const uint8_t *d, int len) {
            int n = 0;
            int status = nir_table_count(len, &n);
            if (status != ORV_OK) return status;
            if (capacity < n) return ORV_ERR_INVALID_PARAM;
            decode_wavelengths(d, n, values);
            g_wavelength_count_cache = static_cast<uint16_t>(n);
            written = n;
            return ORV_OK;
        });
    } else {
        rc = check_capacity_for_count(capacity);
        if (rc != ORV_OK) return rc;
        rc = read_register({WAVELENGTH_TABLE, TABLE_WORDS, 0}, [&](const uint8_t *d, int len) {
            written = std::min(len / 4, static_cast<int>(capacity));
            decode_wavelengths(d, written, values);
        });
    }
    if (rc == ORV_OK && delivered != nullptr) *delivered = written;
    return rc;
}

int get_wavelength_data_by_range(uint16_t first_index, uint16_t count, double *values,
                                 int32_t capacity) {
    int rc = check_call({.args_ok = values != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    return read_register(
        {{ORV_REG_WAVELENGTHS, first_index}, count, 4 * count}, [&](const uint8_t *d, int len) {
            decode_wavelengths(d, std::min(len / 4, static_cast<int>(capacity)), values);
        });
}

int read_spectrum(uint16_t *samples, int32_t capacity, int *delivered) {
    int rc = check_call({.args_ok = samples != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    int written = 0;
    if (is_nir_device()) {
        rc = read_nir(SPECTRUM_QUERY, [&](const uint8_t *d, int len) {
            int first = 0;
            const int bytes = nir_spectrum_payload(d, len, &first);
            if (bytes <= 0 || bytes % 2 != 0) return ORV_ERR_TRANSPORT;
            const int n = bytes / 2;
            if (capacity < n) return ORV_ERR_INVALID_PARAM;
            written = decode_spectrum_samples(d + first, bytes, samples, n);
            g_wavelength_count_cache = static_cast<uint16_t>(n);
            return ORV_OK;
        });
    } else {
        rc = check_capacity_for_count(capacity);
        if (rc != ORV_OK) return rc;
        rc = read_register({SPECTRUM, SPECTRUM_WORDS, 0}, [&](const uint8_t *d, int len) {
            written = decode_spectrum_samples(d, len, samples, capacity);
        });
    }
    if (rc == ORV_OK && delivered != nullptr) *delivered = written;
    return rc;
}

extern "C" {

int orv_get_wavelength_count(uint16_t *count) {
    int n = 0;
    int rc = get_dual(
        count != nullptr, {WAVELENGTH_COUNT, 1}, [&](const uint8_t *d, int) { n = be16(d + 2); },
        WAVELENGTH_QUERY, [&](const uint8_t *, int len) { return nir_table_count(len, &n); });
    if (rc != ORV_OK) return rc;
    *count = static_cast<uint16_t>(n);
    g_wavelength_count_cache = static_cast<uint16_t>(n);
    return ORV_OK;
}

int orv_get_full_wavelength_range(double *first, double *last) {
    int rc = check_call({.args_ok = first != nullptr && last != nullptr});
    if (rc != ORV_OK) return rc;
    if (!is_nir_device()) {
        // Both doubles as the instrument sends them, even in descending order.
        return read_register({WAVELENGTH_RANGE, 4}, [&](const uint8_t *d, int) {
            *first = be64_to_double(d);
            *last = be64_to_double(d + 8);
        });
    }
    uint16_t count = 0;
    rc = orv_get_wavelength_count(&count);
    if (rc != ORV_OK) return rc;
    if (count == 0) return ORV_ERR_TRANSPORT;
    auto table = make_scratch<double>(count);
    if (!table) return ORV_ERR_INVALID_PARAM;
    int delivered = 0;
    rc = read_wavelength_table(table.get(), count, &delivered);
    if (rc != ORV_OK) return rc;
    if (delivered < 1) return ORV_ERR_TRANSPORT;
    double low = table[0];
    double high = table[static_cast<std::size_t>(delivered) - 1];
    if (low > high) std::swap(low, high);
    *first = low;
    *last = high;
    return ORV_OK;
}

int orv_get_full_wavelength_data(double *values, int32_t capacity) {
    return read_wavelength_table(values, capacity, nullptr);
}

int orv_get_full_spectrum_data(uint16_t *samples, int32_t capacity) {
    return read_spectrum(samples, capacity, nullptr);
}

}  // extern "C"
