// The process-wide state of the one open device.
#include "link/device_state.h"

#include <cstring>

FT_HANDLE g_ft_handle = nullptr;
int32_t g_device_open = 0;
int32_t g_device_protocol = ORV_PROTOCOL_UNKNOWN;
int32_t g_protocol_preference = ORV_PREFER_AUTO;
uint32_t g_device_capabilities = 0;
selected_range_state g_selected_range = {};
uint16_t g_wavelength_count_cache = 0;
// Known settings survive close and reopen: they size the spectrum read timeout.
uint32_t g_current_integration_us = 10000;
uint8_t g_current_average_number = 1;

void set_device_protocol(int32_t protocol) {
    g_device_protocol = protocol;
    switch (protocol) {
    case ORV_PROTOCOL_UVVIS: g_device_capabilities = ORV_CAPS_UVVIS; break;
    case ORV_PROTOCOL_NIR_LEGACY: g_device_capabilities = ORV_CAPS_NIR; break;
    default: g_device_capabilities = 0; break;
    }
}

int is_nir_device() { return g_device_protocol == ORV_PROTOCOL_NIR_LEGACY ? 1 : 0; }

void invalidate_selected_range_state() {
    std::memset(&g_selected_range, 0, sizeof g_selected_range);
    g_wavelength_count_cache = 0;
}
