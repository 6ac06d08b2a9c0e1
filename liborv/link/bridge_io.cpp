// Exact reads and writes on an open bridge (see bridge_io.h).
#include "link/bridge_io.h"

#include "link/d2xx_calls.h"
#include "link/timeouts.h"
#include "orv.h"

int ft_read_exact(FT_HANDLE bridge, uint8_t *buf, uint32_t n) {
    uint32_t got = 0;
    while (got < n) {
        DWORD returned = 0;
        if (d2xx().FT_Read(bridge, buf + got, n - got, &returned) != FT_OK)
            return ORV_ERR_TRANSPORT;
        if (returned == 0) return ORV_ERR_TIMEOUT;
        // A driver that claims more than it was asked for cannot be trusted
        // with the rest of the buffer either.
        if (returned > n - got) return ORV_ERR_TRANSPORT;
        got += returned;
    }
    return ORV_OK;
}

int ft_write_all(FT_HANDLE bridge, const uint8_t *buf, uint32_t n) {
    DWORD written = 0;
    // FT_Write takes a non-const pointer but only reads the buffer.
    FT_STATUS status = d2xx().FT_Write(bridge, const_cast<uint8_t *>(buf), n, &written);
    if (status != FT_OK || written != n) return ORV_ERR_TRANSPORT;
    return ORV_OK;
}

void purge_bridge(FT_HANDLE bridge) { d2xx().FT_Purge(bridge, FT_PURGE_RX | FT_PURGE_TX); }

void set_read_timeout(FT_HANDLE bridge, uint32_t read_timeout_ms) {
    d2xx().FT_SetTimeouts(bridge, read_timeout_ms, ORV_DEFAULT_TIMEOUT_MS);
}

void restore_default_timeouts(FT_HANDLE bridge) {
    set_read_timeout(bridge, ORV_DEFAULT_TIMEOUT_MS);
}
