// The device records (see device_state.h).
#include "link/device_state.h"

#include <cstring>
#include <new>

std::atomic<int32_t> g_protocol_preference{ORV_PREFER_AUTO};

orv_device &builtin_device() {
    // Built on first use, so that an export called while another library is
    // still being initialized finds it ready, and never destroyed, so that one
    // called from another library's exit code finds it still there.
    alignas(orv_device) static unsigned char storage[sizeof(orv_device)];
    static orv_device *const device = new (storage) orv_device();
    return *device;
}

void set_device_protocol(orv_device &device, int32_t protocol) {
    device.protocol = protocol;
    switch (protocol) {
    case ORV_PROTOCOL_UVVIS: device.capabilities = ORV_CAPS_UVVIS; break;
    case ORV_PROTOCOL_NIR_LEGACY: device.capabilities = ORV_CAPS_NIR; break;
    default: device.capabilities = 0; break;
    }
}

int is_nir_device(const orv_device &device) {
    return device.protocol == ORV_PROTOCOL_NIR_LEGACY ? 1 : 0;
}

void invalidate_selected_range_state(orv_device &device) {
    std::memset(&device.selected_range, 0, sizeof device.selected_range);
    device.wavelength_count_cache = 0;
}
