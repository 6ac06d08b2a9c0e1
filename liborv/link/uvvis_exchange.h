// The UVVIS_ORV exchange with an open device: one request packet out, one
// response packet back, checked. Library-internal.
#pragma once

#include <cstdint>

#include "link/device_state.h"

// One UVVIS_ORV exchange with the device. For a read (is_query != 0) len is the number of
// words asked for; for a write, the number of data bytes (at most
// ORV_MAX_WRITE_DATA, else ORV_ERR_INVALID_PARAM before anything is sent).
// On ORV_OK at most out_capacity data bytes are copied to out_data (when not
// null) and the number of data bytes the response carried, cut to
// out_capacity, is stored in *out_len (when not null). out_data/out_len are
// written only on success. A spectrum register read waits
// spectrum_read_timeout_ms(device) for the reply, every other one
// ORV_REGISTER_READ_TIMEOUT_MS; with ORV_TRACE_TIMING set, a spectrum read
// prints one timing line.
int send_and_recv(const orv_device &device, uint8_t reg, uint32_t addr, const uint8_t *data,
                  int len, uint8_t *out_data, int out_capacity, int *out_len, int is_query);
