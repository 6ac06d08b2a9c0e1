// The process-wide state of the one open device, and the byte-order codecs
// that the command modules share.
#include "link/device_state.h"

#include <cstring>

FT_HANDLE g_ft_handle = nullptr;
int32_t g_device_open = 0;
int32_t g_device_protocol = ORV_PROTOCOL_UNKNOWN;
int32_t g_protocol_preference = ORV_PREFER_AUTO;
uint32_t g_device_capabilities = 0;
orv_selected_range_state g_selected_range = {};
uint16_t g_wavelength_count_cache = 0;
// Known settings survive close and reopen: they size the spectrum read timeout.
uint32_t g_current_integration_us = 10000;
uint8_t g_current_average_number = 1;

void invalidate_selected_range_state() {
    std::memset(&g_selected_range, 0, sizeof g_selected_range);
    g_wavelength_count_cache = 0;
}

uint32_t be32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void set_be32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void set_be16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

double be64_to_double(const uint8_t *p) {
    uint64_t bits = (uint64_t{be32(p)} << 32) | be32(p + 4);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float le32_to_float(const uint8_t *p) {
    uint32_t bits = (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Despite its name the instrument sends these singles least significant byte
// first; the function exists for the callers that were written against it.
float be32_to_float(const uint8_t *p) { return le32_to_float(p); }

void copy_text_field(char *dst, int32_t dst_size, const uint8_t *src, int32_t n) {
    if (dst == nullptr || dst_size < 1) return;
    int32_t count = n < 0 || src == nullptr ? 0 : (n < dst_size - 1 ? n : dst_size - 1);
    if (count > 0) std::memcpy(dst, src, static_cast<size_t>(count));
    dst[count] = '\0';
}
