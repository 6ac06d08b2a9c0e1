// Protocol detection and the preference that overrides it.
#include "link/detect.h"

#include "link/device_lock.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "wire/nir_frame.h"
#include "wire/registers.h"

namespace {

constexpr int NIR_VERSION_REPLY_ROOM = 32;

// Any successful exchange counts as an answer, however short its data.
bool uvvis_answers(const orv_device &device) {
    using registers::MODEL;
    uint8_t model[registers::field_bytes(MODEL)];
    int model_len = 0;
    return uvvis_exchange(device,
                          {.op = uvvis_request::kind::read,
                           .reg = MODEL.reg,
                           .addr = MODEL.addr,
                           .reply_words = MODEL.words},
                          {model, sizeof model, &model_len}) == ORV_OK;
}

bool nir_answers(const orv_device &device) {
    uint8_t version[NIR_VERSION_REPLY_ROOM];
    int version_len = 0;
    return nir_get_command(device, NIR_CMD_VERSION, version, &version_len, sizeof version) ==
           ORV_OK;
}

}  // namespace

int32_t detect_device_protocol(const orv_device &device) {
    switch (g_protocol_preference.load()) {
    case ORV_PREFER_UVVIS: return ORV_PROTOCOL_UVVIS;
    case ORV_PREFER_NIR: return ORV_PROTOCOL_NIR_LEGACY;
    default:
        // UVVIS_ORV first: a NIR_LEGACY instrument ignores the packet, and
        // the packet's 200 ms header timeout is shorter than the NIR idle gap.
        if (uvvis_answers(device)) return ORV_PROTOCOL_UVVIS;
        if (nir_answers(device)) return ORV_PROTOCOL_NIR_LEGACY;
        return ORV_PROTOCOL_UVVIS;
    }
}

ORV_API int orv_set_protocol_preference(int preference) {
    // Under the built-in device's lock: it cannot open while the preference changes.
    return on_builtin_device([preference](orv_device &builtin) {
        if (builtin.is_open) return ORV_ERR_NOT_OPEN;
        if (preference != ORV_PREFER_AUTO && preference != ORV_PREFER_UVVIS &&
            preference != ORV_PREFER_NIR)
            return ORV_ERR_INVALID_PARAM;
        g_protocol_preference = preference;
        return ORV_OK;
    });
}
