// Wavelength table and spectrum reads shared by the commands of readout.cpp,
// range.cpp and the external spectrum. Library-internal.
#pragma once

#include <cstdint>

#include "link/device_state.h"

// The cached wavelength count, or a fresh count query when none is cached.
int known_wavelength_count(orv_device &device, uint16_t *count);

// The whole wavelength table into values (at most capacity of them); the
// checks and protocol branches of get_full_wavelength_data. *delivered
// (when not null) receives the number of values written.
int read_wavelength_table(orv_device &device, double *values, int32_t capacity, int *delivered);

// One full spectrum into samples; as get_full_spectrum_data, with the
// number of samples written in *delivered (when not null).
int read_spectrum(orv_device &device, uint16_t *samples, int32_t capacity, int *delivered);

// UVVIS_ORV only (the caller has chosen the protocol): count wavelengths of
// the table from position first_index. A reply shorter than count values is
// ORV_ERR_TRANSPORT.
int get_wavelength_data_by_range(orv_device &device, uint16_t first_index, uint16_t count,
                                 double *values, int32_t capacity);

// Big-endian 16-bit samples of a UVVIS_ORV spectrum reply: converts
// min(len / 2, capacity) of them and returns that number.
int decode_spectrum_samples(const uint8_t *data, int len, uint16_t *samples, int32_t capacity);
