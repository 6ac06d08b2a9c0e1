// The checks made before anything is sent (see call_checks.h).
#include "link/call_checks.h"

#include "link/device_state.h"

int check_call(const orv_device &device, const call_checks &checks) {
    if (!device.is_open) return ORV_ERR_NOT_OPEN;
    if (!checks.args_ok) return ORV_ERR_INVALID_PARAM;
    if (checks.supported == protocols::uvvis_only && is_nir_device(device))
        return ORV_ERR_UNSUPPORTED;
    if (!checks.late_args_ok) return ORV_ERR_INVALID_PARAM;
    return ORV_OK;
}
