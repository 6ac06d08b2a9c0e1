// Protocol detection, the preference that overrides it, and the getters of
// the open device's protocol and capabilities.
#include "link/detect.h"

#include "link/call_checks.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "wire/nir_frame.h"
#include "wire/registers.h"

namespace {

constexpr int NIR_VERSION_REPLY_ROOM = 32;

// Any successful exchange counts as an answer, however short its data.
bool uvvis_answers() {
    using registers::MODEL;
    uint8_t model[registers::field_bytes(MODEL)];
    int model_len = 0;
    return send_and_recv(MODEL.reg, MODEL.addr, nullptr, MODEL.words, model, sizeof model,
                         &model_len, 1) == ORV_OK;
}

bool nir_answers() {
    uint8_t version[NIR_VERSION_REPLY_ROOM];
    int version_len = 0;
    return nir_get_command(NIR_CMD_VERSION, version, &version_len, sizeof version) == ORV_OK;
}

}  // namespace

int32_t detect_device_protocol() {
    switch (g_protocol_preference) {
    case ORV_PREFER_UVVIS: return ORV_PROTOCOL_UVVIS;
    case ORV_PREFER_NIR: return ORV_PROTOCOL_NIR_LEGACY;
    default:
        // UVVIS_ORV first: a NIR_LEGACY instrument ignores the packet, and
        // the packet's 200 ms header timeout is shorter than the NIR idle gap.
        if (uvvis_answers()) return ORV_PROTOCOL_UVVIS;
        if (nir_answers()) return ORV_PROTOCOL_NIR_LEGACY;
        return ORV_PROTOCOL_UVVIS;
    }
}

ORV_API int orv_set_protocol_preference(int preference) {
    if (g_device_open != 0) return ORV_ERR_NOT_OPEN;
    if (preference != ORV_PREFER_AUTO && preference != ORV_PREFER_UVVIS &&
        preference != ORV_PREFER_NIR)
        return ORV_ERR_INVALID_PARAM;
    g_protocol_preference = preference;
    return ORV_OK;
}

ORV_API int orv_get_device_protocol(int32_t *out) {
    int rc = check_call({.args_ok = out != nullptr});
    if (rc == ORV_OK) *out = g_device_protocol;
    return rc;
}

ORV_API int orv_get_capabilities(uint32_t *out) {
    int rc = check_call({.args_ok = out != nullptr});
    if (rc == ORV_OK) *out = g_device_capabilities;
    return rc;
}
