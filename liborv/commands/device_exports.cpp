// Both exports of every device command, made from the one list of
// device_commands.h: orv_<name> works on the built-in device, orv_device_<name>
// on the device of a handle; each holds its device's lock for the call.
#include "commands/device_commands.h"
#include "link/device_lock.h"

#define DEFINE_DEVICE_EXPORTS(name, params, args)                                            \
    ORV_API int orv_##name params {                                                          \
        return on_builtin_device(                                                            \
            [&](orv_device &builtin) { return name(builtin AFTER_FIRST args); });            \
    }                                                                                        \
    ORV_API int orv_device_##name(orv_device *handle AFTER_FIRST params) {                   \
        return on_handle(handle,                                                             \
                         [&](orv_device &device) { return name(device AFTER_FIRST args); }); \
    }
DEVICE_COMMANDS(DEFINE_DEVICE_EXPORTS)
