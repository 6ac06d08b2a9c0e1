// The request/response road to the instrument over the D2XX bridge: exact
// reads and writes, the clock, the spectrum timeout, and the UVVIS_ORV
// exchange. Library-internal.
#pragma once

#include <cstdint>

// Request buffer: 2048 bytes, so a write carries at most 2016 data bytes.
inline constexpr int ORV_REQUEST_BUFFER_SIZE = 2048;
inline constexpr int ORV_MAX_WRITE_DATA = ORV_REQUEST_BUFFER_SIZE - 32;
inline constexpr uint32_t ORV_DEFAULT_TIMEOUT_MS = 5000;
inline constexpr uint32_t ORV_REGISTER_READ_TIMEOUT_MS = 200;

// Reads exactly n bytes from g_ft_handle. ORV_OK, ORV_ERR_TRANSPORT (D2XX
// status) or ORV_ERR_TIMEOUT (a read delivered nothing).
int ft_read_exact(uint8_t *buf, uint32_t n);

// One FT_Write of n bytes. ORV_OK or ORV_ERR_TRANSPORT (status or short write).
int ft_write_all(const uint8_t *buf, uint32_t n);

// Milliseconds of the monotonic high-resolution clock.
double perf_now_ms();

// Read timeout for a spectrum: ceil(integration ms) * averages + 1000, <= 120000.
uint64_t spectrum_read_timeout_ms();

// One UVVIS_ORV exchange. For a read (is_query != 0) len is the number of
// words asked for; for a write, the number of data bytes (at most 2016, else
// ORV_ERR_INVALID_PARAM before anything is sent). On ORV_OK at most
// out_capacity data bytes are copied to out_data (when not null) and the number
// of data bytes the response carried, cut to out_capacity, is stored in
// *out_len (when not null). out_data/out_len are written only on success.
int send_and_recv(uint8_t reg, uint32_t addr, const uint8_t *data, int len, uint8_t *out_data,
                  int out_capacity, int *out_len, int is_query);
