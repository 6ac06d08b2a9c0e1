// Opening and closing devices: the built-in device of the process-wide
// exports and the devices behind handles, by the same two functions.
#include <new>

#include "link/bridge_io.h"
#include "link/d2xx_calls.h"
#include "link/detect.h"
#include "link/device_list.h"
#include "link/device_lock.h"
#include "link/device_state.h"

namespace {

constexpr uint8_t OPEN_LATENCY_MS = 1;
constexpr uint32_t OPEN_USB_TRANSFER_SIZE = 65536;

// Opens list position index on a closed device record, configures the bridge
// and detects the protocol. ORV_OK or ORV_ERR_OPEN_FAILED (nothing open then).
int open_device(orv_device &device, int index) {
    if (open_listed_bridge(index, &device.ft_handle) != FT_OK) {
        device.ft_handle = nullptr;
        device.is_open = false;
        return ORV_ERR_OPEN_FAILED;
    }
    // Configuration failures are not fatal: a bridge that refuses a setting
    // still carries the exchanges, and the first command reports what fails.
    FT_HANDLE bridge = device.ft_handle;
    restore_default_timeouts(bridge);
    d2xx().FT_SetLatencyTimer(bridge, OPEN_LATENCY_MS);
    d2xx().FT_SetUSBParameters(bridge, OPEN_USB_TRANSFER_SIZE, OPEN_USB_TRANSFER_SIZE);
    purge_bridge(bridge);
    d2xx().FT_ResetDevice(bridge);

    // Detection talks to the device, so the device counts as open first.
    device.is_open = true;
    invalidate_selected_range_state(device);
    set_device_protocol(device, detect_device_protocol(device));
    return ORV_OK;
}

// Closes the bridge and drops what belonged to it. The live settings stay:
// on the built-in device they size the next device's spectrum timeout.
void close_device(orv_device &device) {
    if (device.ft_handle != nullptr) {
        d2xx().FT_Close(device.ft_handle);
        device.ft_handle = nullptr;
    }
    device.is_open = false;
    set_device_protocol(device, ORV_PROTOCOL_UNKNOWN);
    invalidate_selected_range_state(device);
}

// The built-in device: whatever was open is closed first.
int reopen_builtin(orv_device &builtin, int index) {
    if (builtin.ft_handle != nullptr || builtin.is_open) close_device(builtin);
    return open_device(builtin, index);
}

// A new handle on list position index; *device stays null on failure.
int open_handle(int index, orv_device **device) {
    orv_device *fresh = new (std::nothrow) orv_device();
    if (fresh == nullptr) return ORV_ERR_INVALID_PARAM;
    // Nobody else knows the record yet; its lock is taken all the same, so
    // that every write to a device happens under its lock.
    const int rc =
        with_device_lock(*fresh, [index](orv_device &d) { return open_device(d, index); });
    if (rc != ORV_OK) {
        delete fresh;
        return rc;
    }
    *device = fresh;
    return ORV_OK;
}

}  // namespace

ORV_API int orv_open_device(int index) {
    return on_builtin_device(
        [index](orv_device &builtin) { return reopen_builtin(builtin, index); });
}

ORV_API int orv_open_device_by_chip_serial(const char *chip_serial) {
    return on_builtin_device([chip_serial](orv_device &builtin) {
        int index = 0;
        const int rc = find_chip_serial(chip_serial, &index);
        return rc != ORV_OK ? rc : reopen_builtin(builtin, index);
    });
}

ORV_API void orv_close_device(void) {
    on_builtin_device([](orv_device &builtin) {
        close_device(builtin);
        return ORV_OK;
    });
}

ORV_API int orv_is_open(void) {
    return on_builtin_device([](orv_device &builtin) { return builtin.is_open ? 1 : 0; });
}

ORV_API int orv_device_open(int index, orv_device **device) {
    if (device == nullptr) return ORV_ERR_INVALID_PARAM;
    *device = nullptr;
    return open_handle(index, device);
}

ORV_API int orv_device_open_by_chip_serial(const char *chip_serial, orv_device **device) {
    if (device == nullptr) return ORV_ERR_INVALID_PARAM;
    *device = nullptr;
    int index = 0;
    const int rc = find_chip_serial(chip_serial, &index);
    return rc != ORV_OK ? rc : open_handle(index, device);
}

ORV_API void orv_device_close(orv_device *device) {
    if (device == nullptr) return;
    with_device_lock(*device, [](orv_device &d) {
        close_device(d);
        return ORV_OK;
    });
    delete device;
}
