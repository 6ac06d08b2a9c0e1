// Protocol detection at open, and the protocol tests every command uses.
#pragma once

#include <cstdint>

int is_nir_device();    // 1 when the open device speaks NIR_LEGACY
int is_uvvis_device();  // 1 for UVVIS_ORV or unknown
uint32_t uvvis_capabilities();
uint32_t nir_capabilities();
int detect_uvvis_protocol();
int detect_nir_protocol();
// Sets g_device_protocol and g_device_capabilities from the preference or by
// probing; returns the mask it set, or the NIR probe's failure code.
int detect_device_protocol();
