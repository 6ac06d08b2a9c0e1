// The state of one open device, a record per device: the built-in device of
// the process-wide exports, or the device behind a handle
// (docs/architecture.md says when each part resets). The layers above reach
// a device only through the record they are handed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "ftd2xx.h"
#include "orv.h"

// The selected wavelength range: validity flag plus the record handed out.
struct selected_range_state {
    int32_t valid;
    orv_wavelength_range range;
};

// The live settings a device starts with, as an instrument has them at power-up.
inline constexpr uint32_t LOAD_INTEGRATION_US = 10000;
inline constexpr uint8_t LOAD_AVERAGE_NUMBER = 1;

// The public handle type is this record. Every export holds `lock` for the
// whole call (device_lock.h); recursive, since a process-wide export may call
// another one of its own interface.
struct orv_device {
    std::recursive_mutex lock;
    FT_HANDLE ft_handle = nullptr;
    bool is_open = false;
    int32_t protocol = ORV_PROTOCOL_UNKNOWN;
    uint32_t capabilities = 0;
    selected_range_state selected_range = {};
    uint16_t wavelength_count_cache = 0;
    uint32_t current_integration_us = LOAD_INTEGRATION_US;
    uint8_t current_average_number = LOAD_AVERAGE_NUMBER;
};

// The device of the process-wide exports; it lives as long as the process.
orv_device &builtin_device();

// AUTO, UVVIS or NIR for the next open of either interface. Written only by
// orv_set_protocol_preference, read by every open.
extern std::atomic<int32_t> g_protocol_preference;

// The one place the protocol is written: sets the device's protocol and the
// capabilities that go with it (none for ORV_PROTOCOL_UNKNOWN).
void set_device_protocol(orv_device &device, int32_t protocol);

// 1 when the device speaks NIR_LEGACY. Anything else, an unknown protocol
// too, is driven as UVVIS_ORV.
int is_nir_device(const orv_device &device);

// Zeroes the selection (valid becomes 0) and the cached wavelength count.
void invalidate_selected_range_state(orv_device &device);
