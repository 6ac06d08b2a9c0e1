// Reading a scenario document: link timing, list failures, the model table
// and the bridges (the instrument behind a bridge: scenario_instrument.cpp).
#include "scenario.h"

#include <filesystem>
#include <fstream>

#include "builtin.h"
#include "capture.h"
#include "json_reader.h"
#include "replay.h"
#include "scenario_instrument.h"

namespace orvsim {
namespace {

using nlohmann::json;

constexpr size_t kMaxBridges = 1024;
constexpr size_t kMaxScenarioBytes = size_t{16} << 20;

json parse_json(const std::string &json_text) {
    try {
        return json::parse(json_text);
    } catch (const json::parse_error &e) {
        std::string what =
            e.what();  // "[json.exception.parse_error.101] parse error at line 2, ..."
        auto pos = what.find("] ");
        throw ScenarioError("not valid JSON: " +
                            (pos == std::string::npos ? what : what.substr(pos + 2)));
    }
}

void parse_description(ObjectReader &r, BridgeConfig &b) {
    if (r.has("description") && r.has("description_hex"))
        r.fail("description_hex", "given together with description");
    b.description = r.text("description", "", 63);
    if (r.has("description_hex")) {
        Bytes raw = r.bytes("description_hex", {}, 0, 63);
        b.description.assign(raw.begin(), raw.end());
        if (b.description.find('\0') != std::string::npos)
            r.fail("description_hex", "must not contain 00");
    }
}

// The list node's fields and the open failures.
void parse_node(ObjectReader &r, BridgeConfig &b) {
    if (!r.has("serial")) r.fail("serial", "missing");
    b.serial = r.text("serial", "", 15);
    parse_description(r, b);
    const uint32_t vendor = static_cast<uint32_t>(r.integer("vendor", 0x0403, 0, 0xFFFF));
    const uint32_t product = static_cast<uint32_t>(r.integer("product", 0x6001, 0, 0xFFFF));
    b.id = vendor << 16 | product;
    b.loc_id = static_cast<uint32_t>(r.integer("loc_id", 0, 0, UINT32_MAX));
    b.type = static_cast<uint32_t>(r.integer("type", 5, 0, UINT32_MAX));
    b.flags = static_cast<uint32_t>(r.integer("flags", 0, 0, UINT32_MAX));
    b.open_status = static_cast<uint32_t>(r.integer("open_status", 0, 0, UINT32_MAX));
    b.open_fails_from = static_cast<uint32_t>(r.integer("open_fails_from", 0, 0, UINT32_MAX));
}

LinkTiming parse_timing(ObjectReader &r, const LinkTiming &inherited) {
    LinkTiming timing = inherited;
    timing.latency_ms = r.number("latency_ms", inherited.latency_ms, 0, 60000);
    timing.throughput_bytes_per_s =
        r.number("throughput_bytes_per_s", inherited.throughput_bytes_per_s, 1, 1e10);
    return timing;
}

BridgeConfig parse_bridge(const json &value, const std::string &path, const LinkTiming &timing,
                          const json &models) {
    ObjectReader r(value, path);
    BridgeConfig b;
    parse_node(r, b);
    b.timing = parse_timing(r, timing);
    if (const json *instrument = r.get("instrument")) {
        b.has_instrument = true;
        b.instrument = parse_instrument(merge_with_model(*instrument, models, r.path("instrument")),
                                        r.path("instrument"));
    }
    r.get("repeat");  // read by the caller
    r.finish();
    return b;
}

// Appends the bridge `repeat` times: copies get a numbered serial suffix and
// consecutive location ids.
void add_copies(Scenario &s, const BridgeConfig &b, uint64_t repeat, const std::string &path) {
    const int digits = repeat > 99 ? 3 : 2;
    for (uint64_t k = 1; k <= repeat; ++k) {
        BridgeConfig copy = b;
        if (repeat > 1) {
            std::string suffix = std::to_string(k);
            copy.serial += std::string(digits - suffix.size(), '0') + suffix;
            if (copy.serial.size() > 15)
                throw ScenarioError(path + ".serial: with the repeat suffix longer than 15 bytes");
        }
        const uint32_t position = static_cast<uint32_t>(s.bridges.size());
        copy.loc_id = (b.loc_id ? b.loc_id + static_cast<uint32_t>(k - 1) : 0x1001 + position);
        if (s.bridges.size() >= kMaxBridges)
            throw ScenarioError(path + ": more than " + std::to_string(kMaxBridges) + " bridges");
        s.bridges.push_back(std::move(copy));
    }
}

void parse_list(ObjectReader &r, Scenario &s) {
    const json *list = r.get("list");
    if (!list) return;
    ObjectReader lr(*list, "list");
    s.create_list_status = static_cast<uint32_t>(lr.integer("create_status", 0, 0, UINT32_MAX));
    s.get_list_status = static_cast<uint32_t>(lr.integer("get_status", 0, 0, UINT32_MAX));
    lr.finish();
}

// The built-in model table with the scenario's own entries over it.
json parse_models(ObjectReader &r) {
    json models = json::parse(kBuiltinModels);
    if (const json *extra = r.get("models")) {
        if (!extra->is_object()) r.fail("models", "must be an object");
        for (auto it = extra->begin(); it != extra->end(); ++it) models[it.key()] = it.value();
    }
    return models;
}

// The bridges of a capture: `replay` names it relative to `base_folder`.
void parse_replay(ObjectReader &r, const json &name, Scenario &s, const std::string &base_folder) {
    if (!name.is_string() || name.get<std::string>().empty())
        r.fail("replay", "must name a capture file");
    ReplayTiming timing = ReplayTiming::Recorded;
    if (const json *t = r.get("replay_timing")) {
        if (*t == "instant") {
            timing = ReplayTiming::Instant;
        } else if (*t != "recorded") {
            r.fail("replay_timing", "must be \"recorded\" or \"instant\"");
        }
    }
    std::filesystem::path path(name.get<std::string>());
    if (path.is_relative() && !base_folder.empty())
        path = std::filesystem::path(base_folder) / path;
    try {
        add_replay_bridges(s, orvcapture::read_capture_file(path.string()), path.string(), timing);
    } catch (const orvcapture::CaptureError &e) {
        r.fail("replay", "capture " + path.string() + ": " + e.what());
    }
}

}  // namespace

Scenario parse_scenario(const std::string &json_text, const std::string &source,
                        const std::string &base_folder) {
    const json doc = parse_json(json_text);
    ObjectReader r(doc, "");
    Scenario s;
    s.source = source;
    LinkTiming timing;
    timing.time_scale = r.number("time_scale", 1.0, 1e-6, 1000.0);
    timing = parse_timing(r, timing);
    parse_list(r, s);
    const json models = parse_models(r);
    const json *bridges = r.get("bridges");
    if (const json *replay = r.get("replay")) {
        if (bridges) r.fail("bridges", "given together with replay");
        parse_replay(r, *replay, s, base_folder);
        r.finish();
        return s;
    }
    if (r.has("replay_timing")) r.fail("replay_timing", "given without replay");
    r.finish();  // a misspelt key explains a missing one best
    if (!bridges) r.fail("bridges", "missing");
    if (!bridges->is_array()) r.fail("bridges", "must be an array");

    for (size_t i = 0; i < bridges->size(); ++i) {
        const std::string path = "bridges[" + std::to_string(i) + "]";
        const json &entry = (*bridges)[i];
        const BridgeConfig b = parse_bridge(entry, path, timing, models);
        const uint64_t repeat =
            entry.contains("repeat")
                ? integer_value(entry["repeat"], path + ".repeat", 1, kMaxBridges)
                : 1;
        add_copies(s, b, repeat, path);
    }
    return s;
}

Scenario load_scenario_file(const std::string &path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw ScenarioError("is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError("cannot be read");
    // Read in chunks up to the cap: a device or a pipe may never end.
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxScenarioBytes) throw ScenarioError("larger than 16 MiB");
    }
    if (in.bad()) throw ScenarioError("cannot be read");
    return parse_scenario(text, path, std::filesystem::path(path).parent_path().string());
}

Scenario default_scenario() {
    return parse_scenario(kDefaultScenario, "built-in default scenario");
}

}  // namespace orvsim
