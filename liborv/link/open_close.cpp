// Listing the FTDI bridges, and opening and closing the one device of the
// process.
#include <cstdio>
#include <cstring>

#include "link/detect.h"
#include "link/device_state.h"
#include "link/uvvis_exchange.h"

namespace {

constexpr int MAX_LISTED_DEVICES = 64;
constexpr uint8_t OPEN_LATENCY_MS = 1;
constexpr uint32_t OPEN_USB_TRANSFER_SIZE = 65536;

// The D2XX device list as read once: at most 64 records, positions equal to
// the indexes FT_Open takes.
struct DeviceList {
    FT_DEVICE_LIST_INFO_NODE nodes[MAX_LISTED_DEVICES];
    int count;
};

// ORV_OK with at least one record, else ORV_ERR_DEVICE_NOT_FOUND (the list
// cannot be built, is empty, or the records cannot be read).
int read_device_list(DeviceList &list) {
    std::memset(&list, 0, sizeof list);
    DWORD reported = 0;
    if (FT_CreateDeviceInfoList(&reported) != FT_OK || reported == 0)
        return ORV_ERR_DEVICE_NOT_FOUND;
    DWORD filled = reported < MAX_LISTED_DEVICES ? reported : MAX_LISTED_DEVICES;
    const DWORD asked = filled;
    if (FT_GetDeviceInfoList(list.nodes, &filled) != FT_OK) return ORV_ERR_DEVICE_NOT_FOUND;
    // The driver's count is not trusted beyond the room it was given.
    list.count = static_cast<int>(filled < asked ? filled : asked);
    return list.count > 0 ? ORV_OK : ORV_ERR_DEVICE_NOT_FOUND;
}

// Length of a record's text field, which the driver may fill without a terminator.
size_t field_length(const char *field, size_t width) {
    const void *end = std::memchr(field, '\0', width);
    return end == nullptr ? width : static_cast<size_t>(static_cast<const char *>(end) - field);
}

size_t serial_length(const FT_DEVICE_LIST_INFO_NODE &node) {
    return field_length(node.SerialNumber, sizeof node.SerialNumber);
}

}  // namespace

ORV_API int orv_scan_devices(void) {
    DeviceList list;
    if (read_device_list(list) != ORV_OK) return 0;
    for (int i = 0; i < list.count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[i];
        std::printf("[%d] %.*s (SN: %.*s)\n", i,
                    static_cast<int>(field_length(node.Description, sizeof node.Description)),
                    node.Description, static_cast<int>(serial_length(node)), node.SerialNumber);
    }
    std::fflush(stdout);
    return list.count;
}

ORV_API int orv_get_chip_serial_by_index(int index, char *buf, int buf_size) {
    if (index < 0 || buf == nullptr || buf_size < 2) return ORV_ERR_INVALID_PARAM;
    DeviceList list;
    if (read_device_list(list) != ORV_OK || index >= list.count) return ORV_ERR_DEVICE_NOT_FOUND;
    const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[index];
    copy_text_field(buf, buf_size, reinterpret_cast<const uint8_t *>(node.SerialNumber),
                    static_cast<int32_t>(serial_length(node)));
    return ORV_OK;
}

ORV_API int orv_open_device(int index) {
    if (g_ft_handle != nullptr || g_device_open != 0) orv_close_device();

    if (FT_Open(index, &g_ft_handle) != FT_OK) {
        g_ft_handle = nullptr;
        g_device_open = 0;
        return ORV_ERR_OPEN_FAILED;
    }
    // Configuration failures are not fatal: a bridge that refuses a setting
    // still carries the exchanges, and the first command reports what fails.
    FT_SetTimeouts(g_ft_handle, ORV_DEFAULT_TIMEOUT_MS, ORV_DEFAULT_TIMEOUT_MS);
    FT_SetLatencyTimer(g_ft_handle, OPEN_LATENCY_MS);
    FT_SetUSBParameters(g_ft_handle, OPEN_USB_TRANSFER_SIZE, OPEN_USB_TRANSFER_SIZE);
    FT_Purge(g_ft_handle, FT_PURGE_RX | FT_PURGE_TX);
    FT_ResetDevice(g_ft_handle);

    // Detection talks to the device, so the device counts as open first.
    g_device_open = 1;
    invalidate_selected_range_state();
    detect_device_protocol();
    if (g_device_protocol == ORV_PROTOCOL_UNKNOWN) {
        // A device that answered neither probe is driven as UVVIS_ORV.
        g_device_protocol = ORV_PROTOCOL_UVVIS;
        g_device_capabilities = uvvis_capabilities();
    }
    return ORV_OK;
}

ORV_API int orv_open_device_by_chip_serial(const char *chip_serial) {
    if (chip_serial == nullptr || chip_serial[0] == '\0') return ORV_ERR_INVALID_PARAM;
    DeviceList list;
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
    g_device_protocol = ORV_PROTOCOL_UNKNOWN;
    g_device_capabilities = 0;
    invalidate_selected_range_state();
}

ORV_API int orv_is_open(void) { return g_device_open; }
