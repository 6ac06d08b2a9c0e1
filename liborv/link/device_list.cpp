// Listing the FTDI bridges: the scan on stdout, the records of the list, the
// chip serial of a list position, finding a chip serial and opening a list
// position; which provider lists them.
#include "link/device_list.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "link/d2xx_calls.h"
#include "link/device_lock.h"

#include "orv.h"
#include "wire/text_field.h"

namespace {

// Held around every D2XX call that builds, reads or opens by the list.
std::mutex g_list_lock;

// Length of a record's text field, which the driver may fill without a terminator.
size_t field_length(const char *field, size_t width) {
    const void *end = std::memchr(field, '\0', width);
    return end == nullptr ? width : static_cast<size_t>(static_cast<const char *>(end) - field);
}

}  // namespace

int read_device_list(listed_devices &list) {
    list = listed_devices{};
    return locked_call(g_list_lock, int{ORV_ERR_DEVICE_NOT_FOUND}, [&list] {
        DWORD reported = 0;
        if (d2xx().FT_CreateDeviceInfoList(&reported) != FT_OK || reported > MAX_ANNOUNCED_BRIDGES)
            return ORV_ERR_DEVICE_NOT_FOUND;
        if (reported == 0) return ORV_OK;
        list.nodes.reset(new (std::nothrow) FT_DEVICE_LIST_INFO_NODE[reported]());
        if (!list.nodes) return ORV_ERR_DEVICE_NOT_FOUND;
        DWORD filled = reported < ORV_MAX_BRIDGES ? reported : ORV_MAX_BRIDGES;
        const DWORD asked = filled;
        if (d2xx().FT_GetDeviceInfoList(list.nodes.get(), &filled) != FT_OK)
            return ORV_ERR_DEVICE_NOT_FOUND;
        // The driver's count is not trusted beyond the records asked for.
        list.count = static_cast<int>(filled < asked ? filled : asked);
        list.announced = static_cast<int>(reported);
        return ORV_OK;
    });
}

size_t serial_length(const FT_DEVICE_LIST_INFO_NODE &node) {
    return field_length(node.SerialNumber, sizeof node.SerialNumber);
}

int find_chip_serial(const char *chip_serial, int *index) {
    if (chip_serial == nullptr || chip_serial[0] == '\0') return ORV_ERR_INVALID_PARAM;
    listed_devices list;
    if (read_device_list(list) != ORV_OK) return ORV_ERR_DEVICE_NOT_FOUND;
    const size_t wanted = std::strlen(chip_serial);
    for (int i = 0; i < list.count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[i];
        if (serial_length(node) == wanted &&
            std::memcmp(node.SerialNumber, chip_serial, wanted) == 0) {
            *index = i;
            return ORV_OK;
        }
    }
    return ORV_ERR_DEVICE_NOT_FOUND;
}

FT_STATUS open_listed_bridge(int index, FT_HANDLE *bridge) {
    return locked_call(g_list_lock, FT_STATUS{FT_OTHER_ERROR},
                       [index, bridge] { return d2xx().FT_Open(index, bridge); });
}

ORV_API int orv_scan_devices(void) {
    listed_devices list;
    if (read_device_list(list) != ORV_OK) return 0;
    // Without a record there is nothing to print, and nothing is flushed.
    if (list.count == 0) return 0;
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
    listed_devices list;
    if (read_device_list(list) != ORV_OK || index >= list.count) return ORV_ERR_DEVICE_NOT_FOUND;
    const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[index];
    copy_text_field(buf, buf_size, reinterpret_cast<const uint8_t *>(node.SerialNumber),
                    static_cast<int32_t>(serial_length(node)));
    return ORV_OK;
}

ORV_API int orv_list_bridges(orv_bridge_info *bridges, int capacity, int *count, int *listed) {
    if (count == nullptr || capacity < 0 || (bridges == nullptr && capacity > 0))
        return ORV_ERR_INVALID_PARAM;
    *count = 0;
    if (listed != nullptr) *listed = 0;
    listed_devices list;
    if (read_device_list(list) != ORV_OK) return ORV_ERR_DEVICE_NOT_FOUND;
    const int written = list.count < capacity ? list.count : capacity;
    for (int i = 0; i < written; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = list.nodes[i];
        orv_bridge_info &bridge = bridges[i];
        std::memset(&bridge, 0, sizeof bridge);
        bridge.index = i;
        bridge.usb_id = node.ID;
        bridge.flags = node.Flags & (ORV_BRIDGE_OPENED | ORV_BRIDGE_HIGH_SPEED);
        bridge.location = node.LocId;
        copy_text_field(bridge.chip_serial, sizeof bridge.chip_serial,
                        reinterpret_cast<const uint8_t *>(node.SerialNumber),
                        static_cast<int32_t>(serial_length(node)));
        copy_text_field(
            bridge.description, sizeof bridge.description,
            reinterpret_cast<const uint8_t *>(node.Description),
            static_cast<int32_t>(field_length(node.Description, sizeof node.Description)));
    }
    *count = written;
    if (listed != nullptr) *listed = list.announced;
    return ORV_OK;
}

ORV_API int orv_d2xx_provider(char *buf, int buf_size) {
    if (buf == nullptr || buf_size < 2) return ORV_ERR_INVALID_PARAM;
    std::string text;
    const bool loaded = d2xx_provider(text);
    if (text.empty())
        copy_text(buf, buf_size,
                  loaded ? "the D2XX provider liborv is linked with"
                         : "the reason no D2XX provider could be loaded is not known");
    else
        copy_text(buf, buf_size, text.c_str());
    return loaded ? ORV_OK : ORV_ERR_DEVICE_NOT_FOUND;
}
