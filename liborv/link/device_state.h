// The process-wide state of the one open device (docs/architecture.md says
// when each part resets).
#pragma once

#include <cstdint>

#include "ftd2xx.h"
#include "orv.h"

// The selected wavelength range: validity flag plus the record handed out.
struct selected_range_state {
    int32_t valid;
    orv_wavelength_range range;
};

extern FT_HANDLE g_ft_handle;
extern int32_t g_device_open;
extern int32_t g_device_protocol;
extern int32_t g_protocol_preference;
extern uint32_t g_device_capabilities;
extern selected_range_state g_selected_range;
extern uint16_t g_wavelength_count_cache;
extern uint32_t g_current_integration_us;
extern uint8_t g_current_average_number;

// The one place the protocol is written: sets g_device_protocol and the
// capabilities that go with it (none for ORV_PROTOCOL_UNKNOWN).
void set_device_protocol(int32_t protocol);

// 1 when the open device speaks NIR_LEGACY. Anything else, an unknown
// protocol too, is driven as UVVIS_ORV.
int is_nir_device();

// Zeroes g_selected_range (valid becomes 0) and g_wavelength_count_cache.
void invalidate_selected_range_state();
