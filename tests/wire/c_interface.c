/* The public header compiled as strict C99, calling the shared library. */
#include <string.h>

#include "orv.h"

int c_layout_matches(void) {
    return sizeof(orv_parsed_packet) == 24632 && sizeof(orv_device_info) == 168 &&
           sizeof(orv_wavelength_range) == 40 && offsetof(orv_parsed_packet, crc) == 24620;
}

unsigned long c_crc32_of_digits(void) {
    const char *digits = "123456789";
    return (unsigned long)(unsigned int)orv_crc32((const uint8_t *)digits, (int)strlen(digits));
}

int c_parse_response_rejects_short_input(void) {
    static orv_parsed_packet packet;
    static const uint8_t bytes[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};
    return orv_parse_response(bytes, 8, &packet) == ORV_ERR_GENERIC;
}

const char *c_reply_name(uint8_t code) { return orv_ans_reply_name(code); }

/* The handle interface from C: an opaque pointer, twins that take it first. */
int c_null_handle_is_not_open(void) {
    orv_device *device = NULL;
    uint16_t count = 0;
    orv_device_close(device);
    return orv_device_get_wavelength_count(device, &count) == ORV_ERR_NOT_OPEN &&
           orv_device_reset_device(device) == ORV_ERR_NOT_OPEN &&
           orv_device_open(0, NULL) == ORV_ERR_INVALID_PARAM;
}

const char *c_result_name(int code) { return orv_result_name(code); }

/* The version macros are usable in C preprocessor conditions. */
#if ORV_VERSION_MAJOR < 0 || ORV_VERSION_MINOR < 0 || ORV_VERSION_PATCH < 0
#error "orv.h version macros are not integers"
#endif
const char *c_library_version(void) { return orv_version(); }
