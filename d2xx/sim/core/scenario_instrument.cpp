// Reading the instrument object of a bridge: protocol, identity, power-up
// settings and faults (the optical model is in scenario_optics.cpp).
#include "scenario_instrument.h"

#include "scenario_faults.h"

namespace orvsim {
namespace {

using nlohmann::json;

Protocol parse_protocol(ObjectReader &r) {
    std::string p = r.text("protocol", "UVVIS_ORV", 32);
    if (p == "UVVIS_ORV") return Protocol::Uvvis;
    if (p == "NIR_LEGACY") return Protocol::Nir;
    if (p == "SILENT") return Protocol::Silent;
    r.fail("protocol", "must be UVVIS_ORV, NIR_LEGACY or SILENT, not \"" + p + "\"");
}

template <typename T>
T small(ObjectReader &r, const char *key, T fallback, uint64_t max) {
    return static_cast<T>(r.integer(key, fallback, 0, max));
}

// A fixed-size array of numbers under `key`, each within min..max.
template <typename T, size_t N>
void number_array(ObjectReader &r, const char *key, const char *shape, std::array<T, N> &out,
                  uint64_t min, uint64_t max) {
    const json *v = r.get(key);
    if (!v) return;
    if (!v->is_array() || v->size() != N) r.fail(key, shape);
    for (size_t i = 0; i < N; ++i) {
        out[i] = static_cast<T>(integer_value(
            (*v)[i], r.path(std::string(key) + "[" + std::to_string(i) + "]"), min, max));
    }
}

void parse_integration(ObjectReader &r, InstrumentConfig &c) {
    if (const json *range = r.get("integration_range_us")) {
        if (!range->is_array() || range->size() != 2)
            r.fail("integration_range_us", "must be [min, max]");
        c.integration_min_us = static_cast<uint32_t>(
            integer_value((*range)[0], r.path("integration_range_us[0]"), 1, UINT32_MAX));
        c.integration_max_us = static_cast<uint32_t>(integer_value(
            (*range)[1], r.path("integration_range_us[1]"), c.integration_min_us, UINT32_MAX));
    }
    c.power_up.integration_us = static_cast<uint32_t>(
        r.integer("integration_us", 10000, c.integration_min_us, c.integration_max_us));
}

void parse_live_settings(ObjectReader &r, LiveSettings &l) {
    l.average = small<uint8_t>(r, "average", 1, 255);
    number_array(r, "xenon_pulse", "must be [first, second]", l.xenon_pulse, 0, UINT32_MAX);
    l.xenon_mode = small<uint8_t>(r, "xenon_mode", 0, 255);
    l.level = small<uint8_t>(r, "level", 0, 255);
    l.baud = small<uint16_t>(r, "baud", 0, 0xFFFF);
    l.usb_status = small<uint8_t>(r, "usb_status", 0xAA, 255);
    Bytes trigger = r.bytes("trigger", Bytes(4, 0), 4, 4);
    std::copy(trigger.begin(), trigger.end(), l.trigger.begin());
    l.dac = static_cast<uint32_t>(r.integer("dac", 0, 0, UINT32_MAX));
}

void parse_stored_settings(ObjectReader &r, StoredSettings &s) {
    const json *stored = r.get("stored");
    if (!stored) return;
    ObjectReader sr(*stored, r.path("stored"));
    s.integration_us =
        static_cast<uint32_t>(sr.integer("integration_us", s.integration_us, 0, UINT32_MAX));
    s.average = small<uint8_t>(sr, "average", s.average, 255);
    s.smoothing = small<uint8_t>(sr, "smoothing", s.smoothing, 255);
    sr.finish();
}

void parse_settings(ObjectReader &r, InstrumentConfig &c) {
    parse_integration(r, c);
    parse_live_settings(r, c.power_up);
    c.capture_status = r.bytes("capture_status", Bytes(8, 0), 8, 8);
    parse_stored_settings(r, c.stored);
    c.filler = small<uint8_t>(r, "filler", 0xA5, 0xFF);
    c.flash_size = static_cast<uint32_t>(r.integer("flash_size", 65536, 0, 1u << 24));
    c.lenient_commit_crc = r.boolean("lenient_commit_crc", false);
    c.flash_busy_polls = static_cast<uint32_t>(r.integer("flash_busy_polls", 2, 0, 1000000));
    c.external_busy_polls = static_cast<uint32_t>(r.integer("external_busy_polls", 1, 0, 1000000));
}

void parse_calibration(ObjectReader &r, InstrumentConfig &c) {
    const json *cal = r.get("calibration");
    if (!cal) return;
    if (!cal->is_array() || cal->size() != 4) r.fail("calibration", "must hold 4 numbers");
    for (size_t i = 0; i < 4; ++i) {
        c.calibration[i] = number_value((*cal)[i], r.path("calibration[" + std::to_string(i) + "]"),
                                        -1e300, 1e300);
    }
}

void parse_uvvis_identity(ObjectReader &r, InstrumentConfig &c) {
    c.model_text = r.text("model_text", "SIM-UVVIS", 16);
    c.model_reply_bytes = static_cast<uint32_t>(r.integer("model_reply_bytes", 16, 0, 16));
    c.serial_number = r.text("serial_number", "SIM000000001", 12);
    c.detector_serial = r.text("detector_serial", "SIMDET00", 8);
    c.hardware_version = r.bytes("hardware_version", Bytes(8, 0), 8, 8);
    parse_calibration(r, c);
    c.temperature_raw = small<uint16_t>(r, "temperature_raw", 400, 0xFFFF);
    c.slit_width = small<uint8_t>(r, "slit_width", 25, 255);
}

FrameHeader parse_frame_header(ObjectReader &r) {
    std::string header = r.text("frame_header", "long", 16);
    if (header == "long") return FrameHeader::Long;
    if (header == "short") return FrameHeader::Short;
    if (header == "none") return FrameHeader::None;
    r.fail("frame_header", "must be long, short or none");
}

void parse_nir_identity(ObjectReader &r, InstrumentConfig &c) {
    c.version_text = r.text("version_text", "SIMULATED NIR", 20);
    c.model_bytes = r.bytes("model_bytes", Bytes{0x01, 0, 0, 0x00, 0x01, 0, 0, 0}, 8, 8);
    c.calibration_reply_bytes =
        static_cast<uint32_t>(r.integer("calibration_reply_bytes", 32, 32, 240));
    c.frame_header = parse_frame_header(r);
    c.frame_trailer = r.boolean("frame_trailer", true);
    c.flash_read_bytes = static_cast<uint32_t>(r.integer("flash_read_bytes", 256, 0, 8192));
}

}  // namespace

json merge_with_model(const json &instrument, const json &models, const std::string &path) {
    if (!instrument.is_object()) throw ScenarioError(path + ": must be an object");
    json merged = json::object();
    auto it = instrument.find("model");
    if (it != instrument.end()) {
        if (!it->is_string()) throw ScenarioError(path + ".model: must be a text");
        const std::string name = it->get<std::string>();
        if (!models.contains(name))
            throw ScenarioError(path + ".model: no model named \"" + name + "\"");
        merged = models[name];
    }
    for (auto field = instrument.begin(); field != instrument.end(); ++field) {
        if (field.key() != "model") merged[field.key()] = field.value();
    }
    return merged;
}

InstrumentConfig parse_instrument(const json &merged, const std::string &path) {
    ObjectReader r(merged, path);
    InstrumentConfig c;
    c.protocol = parse_protocol(r);
    c.optics = parse_optics(r);
    parse_uvvis_identity(r, c);
    parse_nir_identity(r, c);
    parse_settings(r, c);
    if (const json *faults = r.get("faults"))
        c.faults = parse_faults(*faults, r.path("faults"), c.protocol);
    c.unplug_after = static_cast<uint32_t>(r.integer("unplug_after", 0, 0, UINT32_MAX));
    r.finish();
    return c;
}

}  // namespace orvsim
