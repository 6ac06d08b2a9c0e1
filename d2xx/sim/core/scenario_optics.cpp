// Reading the optical model of an instrument.
#include <algorithm>

#include "scenario_instrument.h"

namespace orvsim {
namespace {

using nlohmann::json;

constexpr uint32_t kMaxPixels = 2048;

std::vector<double> polynomial_table(const std::vector<double> &coefficients, uint32_t pixels) {
    std::vector<double> table(pixels);
    for (uint32_t i = 0; i < pixels; ++i) {
        double x = 1, sum = 0;
        for (double c : coefficients) {
            sum += c * x;
            x *= i;
        }
        table[i] = sum;
    }
    return table;
}

// {"polynomial": [...]} or {"list": [...]}; a 1 nm grid from 200 nm without either.
std::vector<double> parse_wavelengths(ObjectReader &r, uint32_t pixels) {
    const json *w = r.get("wavelengths");
    if (!w) return polynomial_table({200.0, 1.0}, pixels);
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
    if (poly) return polynomial_table(v, pixels);
    if (v.size() != pixels)
        throw ScenarioError(path + ": holds " + std::to_string(v.size()) + " values for " +
                            std::to_string(pixels) + " pixels");
    return v;
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

void parse_lamp(ObjectReader &r, OpticalConfig &o) {
    const json *lamp = r.get("lamp");
    if (!lamp) return;
    ObjectReader lr(*lamp, r.path("lamp"));
    o.lamp_center_nm = lr.number("center_nm", o.lamp_center_nm, -1e6, 1e6);
    o.lamp_width_nm = lr.number("width_nm", o.lamp_width_nm, 1e-3, 1e6);
    lr.finish();
}

void parse_lines(ObjectReader &r, OpticalConfig &o) {
    const json *lines = r.get("lines");
    if (!lines) return;
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

// {"baseline": AU, "bands": [{"nm", "absorbance", "width_nm"}, ...]}
void parse_sample(ObjectReader &r, OpticalConfig &o) {
    const json *sample = r.get("sample");
    if (!sample) return;
    ObjectReader sr(*sample, r.path("sample"));
    o.has_sample = true;
    o.sample_baseline = sr.number("baseline", 0, -10, 10);
    if (const json *bands = sr.get("bands")) {
        if (!bands->is_array()) sr.fail("bands", "must be an array");
        for (size_t i = 0; i < bands->size(); ++i) {
            ObjectReader br((*bands)[i], sr.path("bands[" + std::to_string(i) + "]"));
            AbsorptionBand band;
            band.nm = br.number("nm", 0, -1e6, 1e6);
            band.absorbance = br.number("absorbance", 0, -10, 10);
            band.width_nm = br.number("width_nm", 1, 1e-3, 1e6);
            br.finish();
            o.sample_bands.push_back(band);
        }
    }
    sr.finish();
}

// {"lamp": "on"|"off", "holder": "blank"|"sample"}: the power-up state.
void parse_light_path(ObjectReader &r, OpticalConfig &o) {
    const json *path = r.get("light_path");
    if (!path) return;
    ObjectReader pr(*path, r.path("light_path"));
    const std::string lamp = pr.text("lamp", "on", 8);
    const std::string holder = pr.text("holder", "blank", 8);
    if (lamp != "on" && lamp != "off") pr.fail("lamp", "must be on or off");
    if (holder != "blank" && holder != "sample") pr.fail("holder", "must be blank or sample");
    if (holder == "sample" && !o.has_sample) pr.fail("holder", "holds a sample, but none is given");
    pr.finish();
    o.light_path.lamp_on = lamp == "on";
    o.light_path.sample_in = holder == "sample";
}

}  // namespace

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
    parse_lamp(r, o);
    parse_lines(r, o);
    o.noise_counts = r.number("noise_counts", 40, 0, 65535);
    o.noise_seed = r.integer("noise_seed", 1, 0, UINT64_MAX);
    parse_sample(r, o);
    parse_light_path(r, o);
    return o;
}

}  // namespace orvsim
