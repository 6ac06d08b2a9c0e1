// Identity, calibration and health: protocol and capabilities, model, serial
// number, hardware version, detector serial, slit width, calibration
// coefficients, temperature, and the summary record of the open device.
#include <algorithm>
#include <cstdio>

#include "commands/device_commands.h"
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"
#include "wire/text_field.h"

namespace {

using namespace registers;

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

void decode_calibration(const uint8_t *d, double *coefficients) {
    for (int i = 0; i < 4; ++i) coefficients[i] = get_be_double(d + 8 * i);
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

// A UVVIS_ORV text register, copied whole into the caller's buffer.
int read_text_register(orv_device &device, reg_field field, char *text, int32_t size) {
    return read_register(device, field, [&](const uint8_t *d, int) {
        copy_text_field(text, size, d, field_bytes(field));
    });
}

}  // namespace

int get_device_protocol(orv_device &device, int32_t *out) {
    int rc = check_call(device, {.args_ok = out != nullptr});
    if (rc == ORV_OK) *out = device.protocol;
    return rc;
}

int get_capabilities(orv_device &device, uint32_t *out) {
    int rc = check_call(device, {.args_ok = out != nullptr});
    if (rc == ORV_OK) *out = device.capabilities;
    return rc;
}

int get_calibration_coefficients(orv_device &device, double *coefficients) {
    auto decode = [&](const uint8_t *d, int) { decode_calibration(d, coefficients); };
    return get_dual(
        device, coefficients != nullptr, CALIBRATION, decode,
        {nir_shape::get, NIR_CMD_CALIBRATION, NIR_CALIBRATION_CAPACITY, field_bytes(CALIBRATION)},
        decode);
}

int get_temperature(orv_device &device, float *value) {
    return get_dual(
        device, value != nullptr, TEMPERATURE,
        [&](const uint8_t *d, int) {
            *value = static_cast<float>(half_in_word(d)) * TEMPERATURE_STEP;
        },
        {nir_shape::get, NIR_CMD_TEMPERATURE, 2, 2},
        [&](const uint8_t *d, int) { *value = nir_temperature(get_be16(d)); });
}

int get_hardware_version(orv_device &device, char *text, int32_t size) {
    return get_dual(
        device, text_buffer_ok(text, size), HARDWARE_VERSION,
        [&](const uint8_t *d, int) {
            std::snprintf(text, static_cast<std::size_t>(size), "%02X.%02X.%02X.%02X", d[0], d[1],
                          d[2], d[3]);
        },
        {nir_shape::get, NIR_CMD_VERSION, NIR_VERSION_CAPACITY, 0},
        [&](const uint8_t *d, int len) { copy_text_field(text, size, d, len); });
}

int get_detector_serial_number(orv_device &device, char *text, int32_t size) {
    int rc = check_call(
        device, {.supported = protocols::uvvis_only, .late_args_ok = text != nullptr && size >= 1});
    if (rc != ORV_OK) return rc;
    return read_text_register(device, DETECTOR_SERIAL, text, size);
}

int get_device_model(orv_device &device, char *text, int32_t size) {
    int rc = check_call(device, {.args_ok = text_buffer_ok(text, size)});
    if (rc != ORV_OK) return rc;
    if (!is_nir_device(device)) return read_text_register(device, MODEL, text, size);
    // NIR: type nibble and model number; an instrument that cannot tell is "NIR".
    rc = read_nir(device, {nir_shape::get, NIR_CMD_MODEL, NIR_MODEL_LEN, NIR_MODEL_LEN},
                  [&](const uint8_t *d, int) {
                      std::snprintf(text, static_cast<std::size_t>(size), "NIR-T%u-%04X",
                                    static_cast<unsigned>(d[0] & 0x0F),
                                    static_cast<unsigned>(get_be16(d + 3)));
                  });
    if (rc != ORV_OK) copy_text(text, size, NIR_TEXT);
    return ORV_OK;
}

int get_slit_width(orv_device &device, uint8_t *width) {
    return get_uvvis(device, width != nullptr, SLIT_WIDTH,
                     [&](const uint8_t *d, int) { *width = byte_in_word(d); });
}

int set_serial_number(orv_device &device, const char *text) {
    int rc =
        check_call(device, {.supported = protocols::uvvis_only, .late_args_ok = text != nullptr});
    if (rc != ORV_OK) return rc;
    // A fixed-width field: longer texts are cut, shorter ones padded with zeros.
    uint8_t field[field_bytes(SERIAL_NUMBER)] = {};
    std::copy(text, std::find(text, text + sizeof field, '\0'), field);
    return write_register(device, SERIAL_NUMBER, field, sizeof field);
}

int get_serial_number(orv_device &device, char *text, int32_t size) {
    int rc = check_call(device, {.args_ok = text_buffer_ok(text, size)});
    if (rc != ORV_OK) return rc;
    if (is_nir_device(device)) {
        copy_text(text, size, NIR_TEXT);
        return ORV_OK;
    }
    return read_text_register(device, SERIAL_NUMBER, text, size);
}

int get_device_info(orv_device &device, orv_device_info *out) {
    int rc = check_call(device, {.args_ok = out != nullptr});
    if (rc != ORV_OK) return rc;
    *out = orv_device_info{};
    out->protocol = device.protocol;
    out->capabilities = device.capabilities;
    copy_text(out->protocol_name, sizeof out->protocol_name, protocol_name(device.protocol));
    // A text that cannot be read stays empty; the record is still delivered.
    if (get_device_model(device, out->model, sizeof out->model) != ORV_OK) out->model[0] = '\0';
    if (get_serial_number(device, out->serial_number, sizeof out->serial_number) != ORV_OK) {
        out->serial_number[0] = '\0';
    }
    if (get_hardware_version(device, out->hardware_version, sizeof out->hardware_version) !=
        ORV_OK) {
        out->hardware_version[0] = '\0';
    }
    return ORV_OK;
}
