// The liborv record of the device a session drives, for the suites linked
// with orv_static that look at a device's state: the session's handle in the
// run that drives handles, else the built-in device.
#pragma once

#include "device_interface.h"
#include "link/device_state.h"

namespace orvtest {

inline orv_device &session_device() {
    return session_handle != nullptr ? *session_handle : builtin_device();
}

// Puts the built-in device's live settings back to their values at load,
// for a test that changed them (they outlive close and reopen).
inline void restore_builtin_settings() {
    builtin_device().current_integration_us = LOAD_INTEGRATION_US;
    builtin_device().current_average_number = LOAD_AVERAGE_NUMBER;
}

}  // namespace orvtest
