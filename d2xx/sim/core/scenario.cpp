#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "builtin.h"
#include "json_reader.h"
#include "scenario_faults.h"

namespace orvsim {
namespace {

using nlohmann::json;

constexpr uint32_t kMaxPixels = 2048;
constexpr size_t kMaxBridges = 1024;

Protocol parse_protocol(ObjectReader &r) {
    std::string p = r.text("protocol", "UVVIS_ORV", 32);
    if (p == "UVVIS_ORV") return Protocol::Uvvis;
    if (p == "NIR_LEGACY") return Protocol::Nir;
    if (p == "SILENT") return Protocol::Silent;
    r.fail("protocol", "must be UVVIS_ORV, NIR_LEGACY or SILENT, not \"" + p + "\"");
}

std::vector<double> parse_wavelengths(ObjectReader &r, uint32_t pixels) {
    const json *w = r.get("wavelengths");
    std::vector<double> table(pixels);
    if (!w) {  // a plain 1 nm grid from 200 nm
        for (uint32_t i = 0; i < pixels; ++i) table[i] = 200.0 + i;
        return table;
    }
    ObjectReader wr(*w, r.path("wavelengths"));
    const json *poly = wr.get("polynomial");
    const json *list = wr.get("list");
    wr.finish();
    if ((poly != nullptr) == (list != nullptr))
        wr.fail("", "needs exactly one of \"polynomial\" and \"list\"");
    const json &values = poly ? *poly : *list;
    const std::string path = wr.path(poly ? "polynomial" : "list");
    if (!values.is_array() || values.empty())
        throw ScenarioError(path + ": must be a non-empty array of numbers");
    std::vector<double> v;
    for (size_t i = 0; i < values.size(); ++i) {
        v.push_back(number_value(values[i], path + "[" + std::to_string(i) + "]", -1e12, 1e12));
    }
    if (list) {
        if (v.size() != pixels)
            throw ScenarioError(path + ": holds " + std::to_string(v.size()) + " values for " +
                                std::to_string(pixels) + " pixels");
        return v;
    }
    for (uint32_t i = 0; i < pixels; ++i) {
        double x = 1, sum = 0;
        for (double c : v) {
            sum += c * x;
            x *= i;
        }
        table[i] = sum;
    }
    return table;
}

void apply_order(ObjectReader &r, std::vector<double> &table) {
    std::string order = r.text("order", "ascending", 32);
    if (order == "descending") {
        std::reverse(table.begin(), table.end());
    } else if (order == "unsorted") {
        for (size_t i = 1; i + 1 < table.size(); i += 4) std::swap(table[i], table[i + 1]);
    } else if (order != "ascending") {
        r.fail("order", "must be ascending, descending or unsorted");
    }
}

OpticalConfig parse_optics(ObjectReader &r) {
    OpticalConfig o;
    const uint32_t pixels = static_cast<uint32_t>(r.integer("pixels", 2048, 1, kMaxPixels));
    std::vector<double> table = parse_wavelengths(r, pixels);
    apply_order(r, table);
    for (double w : table) o.wavelengths.push_back(static_cast<float>(w));
    o.full_scale = r.number("full_scale", 65535, 1, 65535);
    o.dark_counts = r.number("dark_counts", 800, 0, 65535);
    o.peak_counts = r.number("peak_counts", 30000, 0, 1e9);
    o.reference_integration_us = r.number("reference_integration_us", 10000, 1, 1e9);
    if (const json *lamp = r.get("lamp")) {
        ObjectReader lr(*lamp, r.path("lamp"));
        o.lamp_center_nm = lr.number("center_nm", o.lamp_center_nm, -1e6, 1e6);
        o.lamp_width_nm = lr.number("width_nm", o.lamp_width_nm, 1e-3, 1e6);
        lr.finish();
    }
    if (const json *lines = r.get("lines")) {
        if (!lines->is_array()) r.fail("lines", "must be an array");
        for (size_t i = 0; i < lines->size(); ++i) {
            ObjectReader lr((*lines)[i], r.path("lines[" + std::to_string(i) + "]"));
            SpectralLine line;
            line.nm = lr.number("nm", 0, -1e6, 1e6);
            line.counts = lr.number("counts", 0, 0, 1e9);
            line.width_nm = lr.number("width_nm", 1, 1e-3, 1e6);
            lr.finish();
            o.lines.push_back(line);
        }
    }
    o.noise_counts = r.number("noise_counts", 40, 0, 65535);
    o.noise_seed = r.integer("noise_seed", 1, 0, UINT64_MAX);
    return o;
}

template <typename T>
T small(ObjectReader &r, const char *key, T fallback, uint64_t max) {
    return static_cast<T>(r.integer(key, fallback, 0, max));
}

void parse_settings(ObjectReader &r, InstrumentConfig &c) {
    LiveSettings &l = c.power_up;
    if (const json *range = r.get("integration_range_us")) {
        if (!range->is_array() || range->size() != 2)
            r.fail("integration_range_us", "must be [min, max]");
        c.integration_min_us = static_cast<uint32_t>(
            integer_value((*range)[0], r.path("integration_range_us[0]"), 1, UINT32_MAX));
        c.integration_max_us = static_cast<uint32_t>(integer_value(
            (*range)[1], r.path("integration_range_us[1]"), c.integration_min_us, UINT32_MAX));
    }
    l.integration_us = static_cast<uint32_t>(
        r.integer("integration_us", 10000, c.integration_min_us, c.integration_max_us));
    l.average = small<uint8_t>(r, "average", 1, 255);
    if (const json *pulse = r.get("xenon_pulse")) {
        if (!pulse->is_array() || pulse->size() != 2)
            r.fail("xenon_pulse", "must be [first, second]");
        for (size_t i = 0; i < 2; ++i) {
            l.xenon_pulse[i] = static_cast<uint32_t>(
                integer_value((*pulse)[i], r.path("xenon_pulse"), 0, UINT32_MAX));
        }
    }
    l.xenon_mode = small<uint8_t>(r, "xenon_mode", 0, 255);
    l.level = small<uint8_t>(r, "level", 0, 255);
    l.baud = small<uint16_t>(r, "baud", 0, 0xFFFF);
    l.usb_status = small<uint8_t>(r, "usb_status", 0xAA, 255);
    Bytes trigger = r.bytes("trigger", Bytes(4, 0), 4, 4);
    std::copy(trigger.begin(), trigger.end(), l.trigger.begin());
    l.dac = static_cast<uint32_t>(r.integer("dac", 0, 0, UINT32_MAX));
    c.capture_status = r.bytes("capture_status", Bytes(8, 0), 8, 8);
    if (const json *stored = r.get("stored")) {
        ObjectReader sr(*stored, r.path("stored"));
        c.stored.integration_us = static_cast<uint32_t>(
            sr.integer("integration_us", c.stored.integration_us, 0, UINT32_MAX));
        c.stored.average = small<uint8_t>(sr, "average", c.stored.average, 255);
        c.stored.smoothing = small<uint8_t>(sr, "smoothing", c.stored.smoothing, 255);
        sr.finish();
    }
    c.flash_size = static_cast<uint32_t>(r.integer("flash_size", 65536, 0, 1u << 24));
    c.flash_busy_polls = static_cast<uint32_t>(r.integer("flash_busy_polls", 2, 0, 1000000));
    c.external_busy_polls = static_cast<uint32_t>(r.integer("external_busy_polls", 1, 0, 1000000));
}

void parse_identity(ObjectReader &r, InstrumentConfig &c) {
    c.model_text = r.text("model_text", "SIM-UVVIS", 16);
    c.model_reply_bytes = static_cast<uint32_t>(r.integer("model_reply_bytes", 16, 0, 16));
    c.serial_number = r.text("serial_number", "SIM000000001", 12);
    c.detector_serial = r.text("detector_serial", "SIMDET00", 8);
    c.hardware_version = r.bytes("hardware_version", Bytes(8, 0), 8, 8);
    if (const json *cal = r.get("calibration")) {
        if (!cal->is_array() || cal->size() != 4) r.fail("calibration", "must hold 4 numbers");
        for (size_t i = 0; i < 4; ++i) {
            c.calibration[i] = number_value(
                (*cal)[i], r.path("calibration[" + std::to_string(i) + "]"), -1e300, 1e300);
        }
    }
    c.temperature_raw = small<uint16_t>(r, "temperature_raw", 400, 0xFFFF);
    c.slit_width = small<uint8_t>(r, "slit_width", 25, 255);
    c.version_text = r.text("version_text", "SIMULATED NIR", 20);
    c.model_bytes = r.bytes("model_bytes", Bytes{0x01, 0, 0, 0x00, 0x01, 0, 0, 0}, 8, 8);
    c.calibration_reply_bytes =
        static_cast<uint32_t>(r.integer("calibration_reply_bytes", 32, 32, 240));
    std::string header = r.text("frame_header", "long", 16);
    if (header == "long")
        c.frame_header = FrameHeader::Long;
    else if (header == "short")
        c.frame_header = FrameHeader::Short;
    else if (header == "none")
        c.frame_header = FrameHeader::None;
    else
        r.fail("frame_header", "must be long, short or none");
    c.frame_trailer = r.boolean("frame_trailer", true);
    c.flash_read_bytes = static_cast<uint32_t>(r.integer("flash_read_bytes", 256, 0, 8192));
}

// The instrument's own keys over those of its model.
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
    parse_identity(r, c);
    parse_settings(r, c);
    if (const json *faults = r.get("faults"))
        c.faults = parse_faults(*faults, r.path("faults"), c.protocol);
    r.finish();
    return c;
}

BridgeConfig parse_bridge(const json &value, const std::string &path, const LinkTiming &timing,
                          const json &models) {
    ObjectReader r(value, path);
    BridgeConfig b;
    if (!r.has("serial")) r.fail("serial", "missing");
    b.serial = r.text("serial", "", 15);
    if (r.has("description") && r.has("description_hex"))
        r.fail("description_hex", "given together with description");
    b.description = r.text("description", "", 63);
    if (r.has("description_hex")) {
        Bytes raw = r.bytes("description_hex", {}, 0, 63);
        b.description.assign(raw.begin(), raw.end());
        if (b.description.find('\0') != std::string::npos)
            r.fail("description_hex", "must not contain 00");
    }
    const uint32_t vendor = static_cast<uint32_t>(r.integer("vendor", 0x0403, 0, 0xFFFF));
    const uint32_t product = static_cast<uint32_t>(r.integer("product", 0x6001, 0, 0xFFFF));
    b.id = vendor << 16 | product;
    b.loc_id = static_cast<uint32_t>(r.integer("loc_id", 0, 0, UINT32_MAX));
    b.type = static_cast<uint32_t>(r.integer("type", 5, 0, UINT32_MAX));
    b.flags = static_cast<uint32_t>(r.integer("flags", 0, 0, UINT32_MAX));
    b.open_status = static_cast<uint32_t>(r.integer("open_status", 0, 0, UINT32_MAX));
    b.open_fails_from = static_cast<uint32_t>(r.integer("open_fails_from", 0, 0, UINT32_MAX));
    b.timing = timing;
    b.timing.latency_ms = r.number("latency_ms", timing.latency_ms, 0, 60000);
    b.timing.throughput_bytes_per_s =
        r.number("throughput_bytes_per_s", timing.throughput_bytes_per_s, 1, 1e10);
    if (const json *instrument = r.get("instrument")) {
        b.has_instrument = true;
        b.instrument = parse_instrument(merge_with_model(*instrument, models, r.path("instrument")),
                                        r.path("instrument"));
    }
    r.get("repeat");  // read by the caller
    r.finish();
    return b;
}

}  // namespace

Scenario parse_scenario(const std::string &json_text, const std::string &source) {
    json doc;
    try {
        doc = json::parse(json_text);
    } catch (const json::parse_error &e) {
        std::string what =
            e.what();  // "[json.exception.parse_error.101] parse error at line 2, ..."
        auto pos = what.find("] ");
        throw ScenarioError("not valid JSON: " +
                            (pos == std::string::npos ? what : what.substr(pos + 2)));
    }
    ObjectReader r(doc, "");
    Scenario s;
    s.source = source;
    LinkTiming timing;
    timing.time_scale = r.number("time_scale", 1.0, 1e-6, 1000.0);
    timing.latency_ms = r.number("latency_ms", 1.0, 0, 60000);
    timing.throughput_bytes_per_s = r.number("throughput_bytes_per_s", 1e6, 1, 1e10);
    if (const json *list = r.get("list")) {
        ObjectReader lr(*list, "list");
        s.create_list_status = static_cast<uint32_t>(lr.integer("create_status", 0, 0, UINT32_MAX));
        s.get_list_status = static_cast<uint32_t>(lr.integer("get_status", 0, 0, UINT32_MAX));
        lr.finish();
    }
    json models = json::parse(kBuiltinModels);
    if (const json *extra = r.get("models")) {
        if (!extra->is_object()) r.fail("models", "must be an object");
        for (auto it = extra->begin(); it != extra->end(); ++it) models[it.key()] = it.value();
    }
    const json *bridges = r.get("bridges");
    r.finish();  // a misspelt key explains a missing one best
    if (!bridges) r.fail("bridges", "missing");
    if (!bridges->is_array()) r.fail("bridges", "must be an array");

    for (size_t i = 0; i < bridges->size(); ++i) {
        const std::string path = "bridges[" + std::to_string(i) + "]";
        const json &entry = (*bridges)[i];
        BridgeConfig b = parse_bridge(entry, path, timing, models);
        const uint64_t repeat =
            entry.contains("repeat")
                ? integer_value(entry["repeat"], path + ".repeat", 1, kMaxBridges)
                : 1;
        const int digits = repeat > 99 ? 3 : 2;
        for (uint64_t k = 1; k <= repeat; ++k) {
            BridgeConfig copy = b;
            if (repeat > 1) {
                std::string suffix = std::to_string(k);
                copy.serial += std::string(digits - suffix.size(), '0') + suffix;
                if (copy.serial.size() > 15)
                    throw ScenarioError(path +
                                        ".serial: with the repeat suffix longer than 15 bytes");
            }
            const uint32_t position = static_cast<uint32_t>(s.bridges.size());
            copy.loc_id = (b.loc_id ? b.loc_id + static_cast<uint32_t>(k - 1) : 0x1001 + position);
            if (s.bridges.size() >= kMaxBridges)
                throw ScenarioError(path + ": more than " + std::to_string(kMaxBridges) +
                                    " bridges");
            s.bridges.push_back(std::move(copy));
        }
    }
    return s;
}

Scenario load_scenario_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError("cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ScenarioError("cannot be read");
    return parse_scenario(text.str(), path);
}

Scenario default_scenario() {
    return parse_scenario(kDefaultScenario, "built-in default scenario");
}

}  // namespace orvsim
