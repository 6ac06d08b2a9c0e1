// Which protocol a device speaks: the caller's preference, or probes when
// the device opens. Library-internal.
#pragma once

#include <cstdint>

#include "link/device_state.h"

// The protocol of the device just opened: the preference when one is set,
// else the first probe that gets an answer (UVVIS_ORV's model query, then
// NIR_LEGACY's version command); a device that answers neither is driven as
// UVVIS_ORV. Needs the device marked open, since the probes talk to it.
int32_t detect_device_protocol(const orv_device &device);
