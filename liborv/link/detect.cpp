// Which protocol the open device speaks: set by the caller's preference or
// found by probing when the device opens.
#include "link/detect.h"

#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"

namespace {

// The UVVIS_ORV model text: register C1h, address 46h, 4 words.
constexpr uint32_t MODEL_TEXT_ADDR = 0x46;
constexpr int MODEL_TEXT_WORDS = 4;
constexpr int NIR_VERSION_REPLY_ROOM = 32;

void set_protocol(int32_t protocol, uint32_t capabilities) {
    g_device_protocol = protocol;
    g_device_capabilities = capabilities;
}

// Checks shared by the two getters: open device first, then the pointer.
int check_query(const void *out) {
    if (g_device_open == 0) return ORV_ERR_NOT_OPEN;
    if (out == nullptr) return ORV_ERR_INVALID_PARAM;
    return ORV_OK;
}

}  // namespace

int is_nir_device() { return g_device_protocol == ORV_PROTOCOL_NIR_LEGACY ? 1 : 0; }

int is_uvvis_device() {
    return g_device_protocol == ORV_PROTOCOL_UVVIS || g_device_protocol == ORV_PROTOCOL_UNKNOWN ? 1
                                                                                                : 0;
}

uint32_t uvvis_capabilities() { return ORV_CAPS_UVVIS; }
uint32_t nir_capabilities() { return ORV_CAPS_NIR; }

// Any successful exchange counts as an answer, however short its data.
int detect_uvvis_protocol() {
    uint8_t model[MODEL_TEXT_WORDS * 4];
    int model_len = 0;
    return send_and_recv(ORV_REG_PARAMS, MODEL_TEXT_ADDR, nullptr, MODEL_TEXT_WORDS, model,
                         sizeof model, &model_len, 1);
}

int detect_nir_protocol() {
    uint8_t version[NIR_VERSION_REPLY_ROOM];
    int version_len = 0;
    return nir_get_command(NIR_CMD_VERSION, version, &version_len, sizeof version);
}

int detect_device_protocol() {
    set_protocol(ORV_PROTOCOL_UNKNOWN, 0);
    switch (g_protocol_preference) {
    case ORV_PREFER_UVVIS: set_protocol(ORV_PROTOCOL_UVVIS, uvvis_capabilities()); break;
    case ORV_PREFER_NIR: set_protocol(ORV_PROTOCOL_NIR_LEGACY, nir_capabilities()); break;
    default: {
        // UVVIS_ORV first: a NIR_LEGACY instrument ignores the packet, and
        // the packet's 200 ms header timeout is shorter than the NIR idle gap.
        if (detect_uvvis_protocol() == ORV_OK) {
            set_protocol(ORV_PROTOCOL_UVVIS, uvvis_capabilities());
            break;
        }
        int rc = detect_nir_protocol();
        if (rc != ORV_OK) return rc;
        set_protocol(ORV_PROTOCOL_NIR_LEGACY, nir_capabilities());
        break;
    }
    }
    return static_cast<int>(g_device_capabilities);
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
    int rc = check_query(out);
    if (rc == ORV_OK) *out = g_device_protocol;
    return rc;
}

ORV_API int orv_get_capabilities(uint32_t *out) {
    int rc = check_query(out);
    if (rc == ORV_OK) *out = g_device_capabilities;
    return rc;
}
