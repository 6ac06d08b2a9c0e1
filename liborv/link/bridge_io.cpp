// Exact reads and writes on the open bridge (see bridge_io.h).
#include "link/bridge_io.h"

#include "link/device_state.h"
#include "link/timeouts.h"

int ft_read_exact(uint8_t *buf, uint32_t n) {
    uint32_t got = 0;
    while (got < n) {
        DWORD returned = 0;
        if (FT_Read(g_ft_handle, buf + got, n - got, &returned) != FT_OK) return ORV_ERR_TRANSPORT;
        if (returned == 0) return ORV_ERR_TIMEOUT;
        // A driver that claims more than it was asked for cannot be trusted
        // with the rest of the buffer either.
        if (returned > n - got) return ORV_ERR_TRANSPORT;
        got += returned;
    }
    return ORV_OK;
}

int ft_write_all(const uint8_t *buf, uint32_t n) {
    DWORD written = 0;
    // FT_Write takes a non-const pointer but only reads the buffer.
    FT_STATUS status = FT_Write(g_ft_handle, const_cast<uint8_t *>(buf), n, &written);
    if (status != FT_OK || written != n) return ORV_ERR_TRANSPORT;
    return ORV_OK;
}

void purge_bridge() { FT_Purge(g_ft_handle, FT_PURGE_RX | FT_PURGE_TX); }

void set_read_timeout(uint32_t read_timeout_ms) {
    FT_SetTimeouts(g_ft_handle, read_timeout_ms, ORV_DEFAULT_TIMEOUT_MS);
}

void restore_default_timeouts() { set_read_timeout(ORV_DEFAULT_TIMEOUT_MS); }
