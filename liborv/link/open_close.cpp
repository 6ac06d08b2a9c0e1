// Opening and closing the one device of the process.
#include <cstring>

#include "link/bridge_io.h"
#include "link/detect.h"
#include "link/device_list.h"
#include "link/device_state.h"

namespace {

constexpr uint8_t OPEN_LATENCY_MS = 1;
constexpr uint32_t OPEN_USB_TRANSFER_SIZE = 65536;

}  // namespace

ORV_API int orv_open_device(int index) {
    if (g_ft_handle != nullptr || g_device_open != 0) orv_close_device();

    if (FT_Open(index, &g_ft_handle) != FT_OK) {
        g_ft_handle = nullptr;
        g_device_open = 0;
        return ORV_ERR_OPEN_FAILED;
    }
    // Configuration failures are not fatal: a bridge that refuses a setting
    // still carries the exchanges, and the first command reports what fails.
    restore_default_timeouts();
    FT_SetLatencyTimer(g_ft_handle, OPEN_LATENCY_MS);
    FT_SetUSBParameters(g_ft_handle, OPEN_USB_TRANSFER_SIZE, OPEN_USB_TRANSFER_SIZE);
    purge_bridge();
    FT_ResetDevice(g_ft_handle);

    // Detection talks to the device, so the device counts as open first.
    g_device_open = 1;
    invalidate_selected_range_state();
    set_device_protocol(detect_device_protocol());
    return ORV_OK;
}

ORV_API int orv_open_device_by_chip_serial(const char *chip_serial) {
    if (chip_serial == nullptr || chip_serial[0] == '\0') return ORV_ERR_INVALID_PARAM;
    listed_devices list;
    if (read_device_list(list) != ORV_OK) return ORV_ERR_DEVICE_NOT_FOUND;
    const size_t wanted = std::strlen(chip_serial);
    for (int i = 0; i < list.count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[i];
        if (serial_length(node) == wanted &&
            std::memcmp(node.SerialNumber, chip_serial, wanted) == 0)
            return orv_open_device(i);
    }
    return ORV_ERR_DEVICE_NOT_FOUND;
}

ORV_API void orv_close_device(void) {
    if (g_ft_handle != nullptr) {
        FT_Close(g_ft_handle);
        g_ft_handle = nullptr;
    }
    g_device_open = 0;
    set_device_protocol(ORV_PROTOCOL_UNKNOWN);
    invalidate_selected_range_state();
}

ORV_API int orv_is_open(void) { return g_device_open; }
