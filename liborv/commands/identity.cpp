// Identity, calibration and health: model, serial number, hardware version,
// detector serial, slit width, calibration coefficients, temperature, and
// the summary record of the open device.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "commands/request_patterns.h"
#include "link/detect.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"

namespace {

constexpr reg_addr CALIBRATION{ORV_REG_PARAMS, 0x20};
constexpr reg_addr TEMPERATURE{ORV_REG_PARAMS, 0x40};
constexpr reg_addr HARDWARE_VERSION{ORV_REG_PARAMS, 0x41};
constexpr reg_addr DETECTOR_SERIAL{ORV_REG_PARAMS, 0x44};
constexpr reg_addr MODEL{ORV_REG_PARAMS, 0x46};
constexpr reg_addr SLIT_WIDTH{ORV_REG_STORED, 0x03};
constexpr reg_addr SERIAL_NUMBER{ORV_REG_STORED, 0x04};

// Widths of the text fields the instrument keeps.
constexpr int DETECTOR_SERIAL_LEN = 8;
constexpr int MODEL_LEN = 16;
constexpr int SERIAL_NUMBER_LEN = 12;
constexpr int NIR_MODEL_LEN = 8;
constexpr int NIR_VERSION_CAPACITY = 20;
constexpr int NIR_CALIBRATION_CAPACITY = 240;

// What a NIR instrument reports instead of a serial number or a model it
// cannot tell.
constexpr char NIR_TEXT[] = "NIR";

constexpr float TEMPERATURE_STEP = 0.0625f;  // sensor units are 1/16 degree
constexpr uint16_t NIR_NEGATIVE_FROM = 0xF800;
constexpr uint16_t NIR_MAGNITUDE_MASK = 0x07FF;

// Text getters take a buffer of at least 2 bytes.
bool text_buffer_ok(const char *text, int32_t size) { return text != nullptr && size >= 2; }

void write_text(char *text, int32_t size, const char *value) {
    copy_text_field(text, size, reinterpret_cast<const uint8_t *>(value),
                    static_cast<int32_t>(std::strlen(value)));
}

// A UVVIS_ORV text register of `width` bytes (width / 4 words).
reg_read text_register(reg_addr at, int width) { return {at, width / 4}; }

void decode_calibration(const uint8_t *d, double *coefficients) {
    for (int i = 0; i < 4; ++i) coefficients[i] = be64_to_double(d + 8 * i);
}

// A NIR temperature word: two's complement from F800h up, else 11 bits.
float nir_temperature(uint16_t raw) {
    if (raw >= NIR_NEGATIVE_FROM) return -static_cast<float>(0x10000 - raw) * TEMPERATURE_STEP;
    return static_cast<float>(raw & NIR_MAGNITUDE_MASK) * TEMPERATURE_STEP;
}

const char *protocol_name(int32_t protocol) {
    switch (protocol) {
    case ORV_PROTOCOL_UVVIS: return "UVVIS_ORV";
    case ORV_PROTOCOL_NIR_LEGACY: return "NIR_LEGACY";
    default: return "UNKNOWN";
    }
}

}  // namespace

extern "C" {

int orv_get_calibration_coefficients(double *coefficients) {
    auto decode = [&](const uint8_t *d, int) { decode_calibration(d, coefficients); };
    return get_dual(coefficients != nullptr, {CALIBRATION, 8}, decode,
                    {nir_shape::get, NIR_CMD_CALIBRATION, NIR_CALIBRATION_CAPACITY, 32}, decode);
}

int orv_get_temperature(float *value) {
    return get_dual(
        value != nullptr, {TEMPERATURE, 1},
        [&](const uint8_t *d, int) { *value = static_cast<float>(be16(d + 2)) * TEMPERATURE_STEP; },
        {nir_shape::get, NIR_CMD_TEMPERATURE, 2, 2},
        [&](const uint8_t *d, int) { *value = nir_temperature(be16(d)); });
}

int orv_get_hardware_version(char *text, int32_t size) {
    return get_dual(
        text_buffer_ok(text, size), {HARDWARE_VERSION, 2},
        [&](const uint8_t *d, int) {
            std::snprintf(text, static_cast<std::size_t>(size), "%02X.%02X.%02X.%02X", d[0], d[1],
                          d[2], d[3]);
        },
        {nir_shape::get, NIR_CMD_VERSION, NIR_VERSION_CAPACITY, 0},
        [&](const uint8_t *d, int len) { copy_text_field(text, size, d, len); });
}

int orv_get_detector_serial_number(char *text, int32_t size) {
    return get_uvvis(
        text != nullptr && size >= 1, text_register(DETECTOR_SERIAL, DETECTOR_SERIAL_LEN),
        [&](const uint8_t *d, int) { copy_text_field(text, size, d, DETECTOR_SERIAL_LEN); });
}

int orv_get_device_model(char *text, int32_t size) {
    int rc = check_call({.args_ok = text_buffer_ok(text, size)});
    if (rc != ORV_OK) return rc;
    if (!is_nir_device()) {
        return read_register(text_register(MODEL, MODEL_LEN), [&](const uint8_t *d, int) {
            copy_text_field(text, size, d, MODEL_LEN);
        });
    }
    // NIR: type nibble and model number; an instrument that cannot tell is "NIR".
    rc = read_nir({nir_shape::get, NIR_CMD_MODEL, NIR_MODEL_LEN, NIR_MODEL_LEN},
                  [&](const uint8_t *d, int) {
                      std::snprintf(text, static_cast<std::size_t>(size), "NIR-T%u-%04X",
                                    static_cast<unsigned>(d[0] & 0x0F),
                                    static_cast<unsigned>(d[3] << 8 | d[4]));
                  });
    if (rc != ORV_OK) write_text(text, size, NIR_TEXT);
    return ORV_OK;
}

int orv_get_slit_width(uint8_t *width) {
    return get_uvvis(width != nullptr, {SLIT_WIDTH, 1},
                     [&](const uint8_t *d, int) { *width = d[3]; });
}

int orv_set_serial_number(const char *text) {
    int rc = check_call({.supported = protocols::uvvis_only, .late_args_ok = text != nullptr});
    if (rc != ORV_OK) return rc;
    // A 12-byte field: longer texts are cut, shorter ones padded with zeros.
    uint8_t field[SERIAL_NUMBER_LEN] = {};
    std::copy(text, std::find(text, text + SERIAL_NUMBER_LEN, '\0'), field);
    return write_register(SERIAL_NUMBER, field, SERIAL_NUMBER_LEN);
}

int orv_get_serial_number(char *text, int32_t size) {
    int rc = check_call({.args_ok = text_buffer_ok(text, size)});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) {
        write_text(text, size, NIR_TEXT);
        return ORV_OK;
    }
    return read_register(
        text_register(SERIAL_NUMBER, SERIAL_NUMBER_LEN),
        [&](const uint8_t *d, int) { copy_text_field(text, size, d, SERIAL_NUMBER_LEN); });
}

int orv_get_device_info(orv_device_info *out) {
    int rc = check_call({.args_ok = out != nullptr});
    if (rc != ORV_OK) return rc;
    *out = orv_device_info{};
    out->protocol = g_device_protocol;
    out->capabilities = g_device_capabilities;
    write_text(out->protocol_name, sizeof out->protocol_name, protocol_name(g_device_protocol));
    // A text that cannot be read stays empty; the record is still delivered.
    if (orv_get_device_model(out->model, sizeof out->model) != ORV_OK) out->model[0] = '\0';
    if (orv_get_serial_number(out->serial_number, sizeof out->serial_number) != ORV_OK) {
        out->serial_number[0] = '\0';
    }
    if (orv_get_hardware_version(out->hardware_version, sizeof out->hardware_version) != ORV_OK) {
        out->hardware_version[0] = '\0';
    }
    return ORV_OK;
}

}  // extern "C"
