// The checks every export that needs an open device makes before anything is
// sent, in this order: a device is open (ORV_ERR_NOT_OPEN), the pointer and
// size arguments that come before the protocol test (ORV_ERR_INVALID_PARAM),
// the protocol (ORV_ERR_UNSUPPORTED), and the arguments that are tested only
// after the protocol (ORV_ERR_INVALID_PARAM), so that an export of the other
// protocol reports ORV_ERR_UNSUPPORTED whatever its arguments.
#pragma once

#include "link/device_state.h"

// Which protocols an export exists for. "uvvis_only" exports return
// ORV_ERR_UNSUPPORTED on a NIR_LEGACY device (an unknown protocol counts as
// UVVIS_ORV).
enum class protocols { both, uvvis_only };

struct call_checks {
    bool args_ok = true;
    protocols supported = protocols::both;
    bool late_args_ok = true;
};

// ORV_OK when every check passes on the device, else the code of the first
// that fails.
int check_call(const orv_device &device, const call_checks &checks);
