// The interface a suite drives liborv through: the process-wide exports on
// the built-in device, or handles. Suites registered with BOTH_INTERFACES
// (tests/CMakeLists.txt) run twice: as they are, and with
// ORV_TEST_INTERFACE=handle, where the session opens a handle instead of the
// built-in device and DEVICE_CALL calls the handle twins. So every test of
// such a suite, and every row of the export table, proves both interfaces.
#pragma once

#include <cstdlib>
#include <cstring>

#include "orv.h"

namespace orvtest {

// True in the run that drives handles.
inline bool via_handle() {
    static const bool handle = [] {
        const char *value = std::getenv("ORV_TEST_INTERFACE");
        return value != nullptr && std::strcmp(value, "handle") == 0;
    }();
    return handle;
}

// The handle the session has open in that run; null while none is open, so
// that a call then goes to a null handle.
inline orv_device *session_handle = nullptr;

}  // namespace orvtest

// orv_<name>(args...) on the built-in device, or, when `through_handle`,
// orv_device_<name>(handle, args...), a null handle included.
#define CALL_THROUGH(through_handle, handle, name, ...)                       \
    ((through_handle) ? orv_device_##name((handle)__VA_OPT__(, ) __VA_ARGS__) \
                      : orv_##name(__VA_ARGS__))

// The call of the session's interface: on the session's handle in the run
// that drives handles, else on the built-in device.
#define DEVICE_CALL(name, ...) \
    CALL_THROUGH(orvtest::via_handle(), orvtest::session_handle, name __VA_OPT__(, ) __VA_ARGS__)
