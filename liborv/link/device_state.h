// The process-wide state of the one open device, and the byte-order codecs
// shared by the command modules.
#pragma once

#include <cstdint>

#include "ftd2xx.h"
#include "orv.h"

// The selected wavelength range: validity flag plus the record handed out.
struct orv_selected_range_state {
    int32_t valid;
    orv_wavelength_range range;
};

extern FT_HANDLE g_ft_handle;
extern int32_t g_device_open;
extern int32_t g_device_protocol;
extern int32_t g_protocol_preference;
extern uint32_t g_device_capabilities;
extern orv_selected_range_state g_selected_range;
extern uint16_t g_wavelength_count_cache;
extern uint32_t g_current_integration_us;
extern uint8_t g_current_average_number;

// Zeroes g_selected_range (valid becomes 0) and g_wavelength_count_cache.
void invalidate_selected_range_state();

// Big-endian codecs; wavelength singles are little-endian on the wire.
uint32_t be32(const uint8_t *p);
uint16_t be16(const uint8_t *p);
void set_be32(uint8_t *p, uint32_t v);
void set_be16(uint8_t *p, uint32_t v);
double be64_to_double(const uint8_t *p);
float be32_to_float(const uint8_t *p);  // takes the bytes little-endian, like le32_to_float
float le32_to_float(const uint8_t *p);

// Bounded, always terminated text copy of at most n bytes of src (which may
// hold zero bytes) into dst of size dst_size (>= 1): copies min(n, size - 1).
void copy_text_field(char *dst, int32_t dst_size, const uint8_t *src, int32_t n);
