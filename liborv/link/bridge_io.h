// Exact reads and writes on an open bridge, shared by both exchanges.
#pragma once

#include <cstdint>

#include "ftd2xx.h"

// Reads exactly n bytes. ORV_OK, ORV_ERR_TRANSPORT (D2XX status, or a driver
// that claims more than it was asked for) or ORV_ERR_TIMEOUT (a read
// delivered nothing).
int ft_read_exact(FT_HANDLE bridge, uint8_t *buf, uint32_t n);

// One FT_Write of n bytes. ORV_OK or ORV_ERR_TRANSPORT (status or short write).
int ft_write_all(FT_HANDLE bridge, const uint8_t *buf, uint32_t n);

// Drops whatever the bridge still holds in either direction.
void purge_bridge(FT_HANDLE bridge);

// Sets the read timeout of the next reads (the write timeout stays the default).
void set_read_timeout(FT_HANDLE bridge, uint32_t read_timeout_ms);

// Back to the default read and write timeouts.
void restore_default_timeouts(FT_HANDLE bridge);
