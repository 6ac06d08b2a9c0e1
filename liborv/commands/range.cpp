// The selected wavelength range: an interval turned into a run of table
// positions, remembered in the device state, and the reads sliced by it.
// Slices never reach past what the instrument actually delivered.
#include <algorithm>

#include "commands/device_commands.h"
#include "commands/readout.h"
#include "commands/request_patterns.h"
#include "commands/scratch.h"
#include "link/device_state.h"

namespace {

// The tests shared by the selection reads: open, output, a selection exists,
// room for it.
int check_selection_read(const orv_device &device, const void *out, int32_t capacity) {
    int rc = check_call(device, {.args_ok = out != nullptr});
    if (rc != ORV_OK) return rc;
    if (device.selected_range.valid == 0) return ORV_ERR_GENERIC;
    if (capacity < device.selected_range.range.count) return ORV_ERR_INVALID_PARAM;
    return ORV_OK;
}

// Copies the selected run out of a freshly read array of `delivered`
// elements; an array too short for the selection is a short reply.
template <class T>
int copy_selection(const orv_wavelength_range &r, const T *all, int delivered, T *out) {
    if (delivered < r.first_index + r.count) return ORV_ERR_TRANSPORT;
    std::copy_n(all + r.first_index, r.count, out);
    return ORV_OK;
}

// Reads a fresh whole table or spectrum (count elements, as the instrument
// just reported) into scratch and copies the selection out of it.
template <class T>
int read_and_slice(orv_device &device, int (*read_all)(orv_device &, T *, int32_t, int *), T *out) {
    uint16_t count = 0;
    int rc = get_wavelength_count(device, &count);
    if (rc != ORV_OK) return rc;
    auto all = make_scratch<T>(count);
    if (!all) return ORV_ERR_INVALID_PARAM;
    int delivered = 0;
    rc = read_all(device, all.get(), count, &delivered);
    if (rc != ORV_OK) return rc;
    return copy_selection(device.selected_range.range, all.get(), delivered, out);
}

}  // namespace

int set_selected_wavelength_range(orv_device &device, double start, double end) {
    int rc = check_call(device, {.args_ok = start < end});  // NaN fails too
    if (rc != ORV_OK) return rc;
    double first = 0.0;
    double last = 0.0;
    rc = get_full_wavelength_range(device, &first, &last);
    if (rc != ORV_OK) return rc;
    // A UVVIS_ORV instrument reports its ends in table order, which may be
    // descending; the interval must lie between them either way.
    if (start < std::min(first, last) || end > std::max(first, last)) return ORV_ERR_INVALID_PARAM;

    uint16_t count = 0;
    rc = get_wavelength_count(device, &count);
    if (rc != ORV_OK) return rc;
    if (count == 0 || count > registers::MAX_WAVELENGTHS) return ORV_ERR_TRANSPORT;
    auto table = make_scratch<double>(count);
    if (!table) return ORV_ERR_INVALID_PARAM;
    int delivered = 0;
    rc = read_wavelength_table(device, table.get(), count, &delivered);
    if (rc != ORV_OK) return rc;

    // The table need not be sorted: the run spans from the first to the last
    // position inside the interval, whatever lies between them.
    int first_index = -1;
    int last_index = -1;
    for (int i = 0; i < delivered; ++i) {
        if (start <= table[i] && table[i] <= end) {
            if (first_index < 0) first_index = i;
            last_index = i;
        }
    }
    if (first_index < 0) return ORV_ERR_INVALID_PARAM;

    orv_wavelength_range &r = device.selected_range.range;
    r.requested_start = start;
    r.requested_end = end;
    r.first_wavelength = table[first_index];
    r.last_wavelength = table[last_index];
    r.first_index = static_cast<uint16_t>(first_index);
    r.last_index = static_cast<uint16_t>(last_index);
    r.count = static_cast<uint16_t>(last_index - first_index + 1);
    device.selected_range.valid = 1;
    return ORV_OK;
}

int get_selected_wavelength_range(orv_device &device, orv_wavelength_range *out) {
    int rc = check_call(device, {.args_ok = out != nullptr});
    if (rc != ORV_OK) return rc;
    if (device.selected_range.valid == 0) return ORV_ERR_GENERIC;
    *out = device.selected_range.range;
    return ORV_OK;
}

int get_selected_wavelength_data(orv_device &device, double *values, int32_t capacity) {
    int rc = check_selection_read(device, values, capacity);
    if (rc != ORV_OK) return rc;
    if (!is_nir_device(device)) {
        // The instrument sends just the selected part of its table.
        const orv_wavelength_range &r = device.selected_range.range;
        return get_wavelength_data_by_range(device, r.first_index, r.count, values, capacity);
    }
    return read_and_slice(device, &read_wavelength_table, values);
}

int get_selected_spectrum_data(orv_device &device, uint16_t *samples, int32_t capacity) {
    int rc = check_selection_read(device, samples, capacity);
    if (rc != ORV_OK) return rc;
    return read_and_slice(device, &read_spectrum, samples);
}
