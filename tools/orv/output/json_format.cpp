// JSON: one object with the program, the instruments and their settings, and
// the array of spectra, streamed one spectrum at a time.
#include <nlohmann/json.hpp>

#include "output/json_text.h"
#include "output/spectrum_writer.h"
#include "version.h"

namespace orvcli {

nlohmann::json settings_json(const AcquisitionSettings &settings) {
    nlohmann::json json{{"integration_us", settings.integration_us}, {"average", settings.average}};
    json["range_nm"] = settings.range
                           ? nlohmann::json{settings.range->start_nm, settings.range->end_nm}
                           : nlohmann::json(nullptr);
    return json;
}

nlohmann::json source_json(const SeriesSource &source) {
    const InstrumentIdentity &identity = source.identity;
    return {{"chip_serial", identity.chip_serial}, {"description", identity.description},
            {"protocol", identity.protocol},       {"model", identity.model},
            {"serial", identity.serial},           {"hardware_version", identity.hardware_version},
            {"simulated", identity.simulated},     {"settings", settings_json(source.settings)}};
}

namespace {

class JsonWriter final : public SpectrumWriter {
public:
    JsonWriter(std::ostream &out, const MeasurementHeader *measurement)
        : out_(out), measurement_(measurement) {}

    void begin(const std::vector<SeriesSource> &sources,
               std::chrono::system_clock::time_point started) override {
        nlohmann::json instruments = nlohmann::json::array();
        for (const SeriesSource &source : sources) instruments.push_back(source_json(source));
        const nlohmann::json program{{"program", "orv"}, {"version", kVersion}};
        out_ << "{\n\"generator\": " << json_text(program)
             << ",\n\"started_utc\": " << json_text(format_utc(started))
             << ",\n\"instruments\": " << json_text(instruments);
        if (measurement_) out_ << ",\n\"measurement\": " << json_text(measurement_json());
        out_ << ",\n\"spectra\": [";
    }

    void write(const Spectrum &spectrum) override {
        nlohmann::json json{{"instrument", spectrum.instrument},
                            {"spectrum", spectrum.number},
                            {"time_utc", format_utc(spectrum.time)},
                            {"wavelength_nm", *spectrum.wavelengths_nm}};
        if (!measurement_) {
            json["counts"] = spectrum.counts;
        } else {
            // NaN is not JSON: an undefined value is null.
            json[std::string(orvproc::mode_info(measurement_->mode).column)] = spectrum.values;
            json["undefined"] = {
                {"saturated", spectrum.undefined.saturated},
                {"reference_not_above_dark", spectrum.undefined.reference_not_above},
                {"sample_not_above_dark", spectrum.undefined.sample_not_above}};
        }
        out_ << (first_ ? "\n" : ",\n") << json_text(json);
        first_ = false;
    }

    void end() override {
        out_ << "\n]\n}\n";
        out_.flush();
    }

private:
    nlohmann::json measurement_json() const {
        const orvproc::ModeInfo &mode = orvproc::mode_info(measurement_->mode);
        const auto stored = [](const std::vector<StoredSpectrum> &list) {
            nlohmann::json array = nlohmann::json::array();
            for (const StoredSpectrum &each : list)
                array.push_back({{"instrument", each.chip_serial},
                                 {"file", each.file},
                                 {"taken_utc", each.taken_utc},
                                 {"spectra", each.spectra}});
            return array;
        };
        return {{"mode", mode.name},
                {"unit", mode.unit},
                {"dark", stored(measurement_->darks)},
                {"reference", stored(measurement_->references)},
                {"boxcar_pixels", measurement_->boxcar},
                {"full_scale_counts", measurement_->full_scale}};
    }

    std::ostream &out_;
    const MeasurementHeader *measurement_;
    bool first_ = true;
};

}  // namespace

std::unique_ptr<SpectrumWriter> make_json_writer(std::ostream &out,
                                                 const MeasurementHeader *measurement) {
    return std::make_unique<JsonWriter>(out, measurement);
}

}  // namespace orvcli
