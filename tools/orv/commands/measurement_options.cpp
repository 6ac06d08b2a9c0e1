#include "commands/measurement_options.h"

#include <fmt/format.h>

#include <algorithm>

#include "failure.h"
#include "output/spectrum_table_reader.h"

namespace orvcli {
namespace {

[[noreturn]] void refuse(const std::string &message) { throw Failure(ExitStatus::usage, message); }

// The dark or reference of the instrument `chip` from a stored file: the
// mean of its spectra there (or of the file's only instrument, which the
// conditions check then refuses by name when it is another).
std::pair<orvproc::Capture, StoredSpectrum> stored_capture(const std::string &what,
                                                           const std::string &file,
                                                           const SpectrumTable &table,
                                                           const std::string &chip,
                                                           double full_scale) {
    const auto of_chip = [&](const std::string &wanted) {
        for (const PlotSource &source : table.sources)
            if (source.chip_serial == wanted) return &source;
        return static_cast<const PlotSource *>(nullptr);
    };
    const PlotSource *source = of_chip(chip);
    if (!source && table.sources.size() == 1) source = &table.sources.front();
    if (!source) {
        std::string held;
        for (const PlotSource &each : table.sources)
            held += (held.empty() ? "" : ", ") + each.chip_serial;
        refuse(fmt::format("--{} {}: no spectrum of the instrument {} (it holds {})", what, file,
                           chip, held));
    }
    const std::optional<AcquisitionSettings> settings = parse_settings(source->settings);
    if (!settings)
        refuse(
            fmt::format("--{} {}: the settings of {} are not named (a file orv read wrote "
                        "without --mode is needed)",
                        what, file, source->chip_serial));
    std::vector<orvproc::Capture> captures;
    StoredSpectrum stored{chip, file, "", 0};
    for (const Spectrum &spectrum : table.spectra) {
        if (spectrum.instrument != source->chip_serial) continue;
        const std::string taken = format_utc(spectrum.time);
        if (stored.taken_utc.empty()) stored.taken_utc = taken;
        captures.push_back(orvproc::capture_of(
            conditions_of(source->description, *settings, *spectrum.wavelengths_nm, taken),
            spectrum.counts, full_scale));
    }
    if (captures.empty())
        refuse(fmt::format("--{} {}: no spectrum of {}", what, file, source->chip_serial));
    stored.spectra = static_cast<unsigned>(captures.size());
    try {
        return {orvproc::host_average(captures), stored};
    } catch (const orvproc::MeasurementError &error) {
        refuse(fmt::format("--{} {}: its spectra of {} differ: {}", what, file, source->chip_serial,
                           error.what()));
    }
}

}  // namespace

orvproc::Conditions conditions_of(const std::string &instrument,
                                  const AcquisitionSettings &settings,
                                  std::vector<double> wavelengths_nm,
                                  const std::string &taken_utc) {
    return {instrument, std::move(wavelengths_nm), settings.integration_us,
            std::max(1u, settings.average), taken_utc};
}

void add_measurement_options(CLI::App &command, MeasurementOptions &options) {
    CLI::Option *mode =
        command
            .add_option(
                "--mode", options.mode,
                "Write values of this mode instead of counts: " + orvproc::mode_names() + ".")
            ->option_text("MODE");
    command
        .add_option("--dark", options.dark,
                    "Dark spectrum: a file orv read wrote with the light blocked (of HDF5 "
                    "its last spectrum).")
        ->option_text("FILE")
        ->needs(mode);
    command
        .add_option("--reference", options.reference,
                    "Reference spectrum: a file orv read wrote of the blank or white standard "
                    "(of HDF5 its last spectrum).")
        ->option_text("FILE")
        ->needs(mode);
    command
        .add_option("--boxcar", options.boxcar,
                    "Smooth sample, dark and reference over N pixels (odd; the window shrinks "
                    "at the ends).")
        ->option_text("N=1")
        ->needs(mode);
}

std::optional<SeriesMeasurement> SeriesMeasurement::prepare(const MeasurementOptions &options) {
    if (options.mode.empty()) return std::nullopt;
    SeriesMeasurement measurement;
    const std::optional<orvproc::Mode> mode = orvproc::mode_named(options.mode);
    if (!mode)
        refuse(fmt::format("--mode: '{}' is not a mode: {}", options.mode, orvproc::mode_names()));
    measurement.mode_ = *mode;
    try {
        orvproc::check_boxcar_width(options.boxcar);
    } catch (const orvproc::MeasurementError &error) {
        refuse(fmt::format("--boxcar: {}", error.what()));
    }
    measurement.boxcar_ = options.boxcar;
    const orvproc::ModeInfo &info = orvproc::mode_info(*mode);
    const auto file = [&](const char *what, const std::string &path,
                          bool needed) -> std::optional<Stored> {
        if (needed && path.empty()) refuse(fmt::format("--mode {} needs --{}", info.name, what));
        if (!needed && !path.empty())
            refuse(fmt::format("--mode {} uses no --{}", info.name, what));
        if (path.empty()) return std::nullopt;
        const std::string option = fmt::format("--{}", what);
        SpectrumTable table = read_spectrum_file(path, option);
        if (table.mode)
            refuse(fmt::format("{} {}: holds {} values, not counts (write it without --mode)",
                               option, path, orvproc::mode_info(*table.mode).name));
        return Stored{path, std::move(table)};
    };
    measurement.dark_ = file("dark", options.dark, info.needs_dark);
    measurement.reference_ = file("reference", options.reference, info.needs_reference);
    measurement.header_.mode = *mode;
    measurement.header_.boxcar = options.boxcar;
    return measurement;
}

void SeriesMeasurement::match(const OpenSeries &series) {
    const double full_scale = header_.full_scale;
    for (std::size_t i = 0; i < series.instruments.size(); ++i) {
        const SeriesSource &source = series.sources[i];
        const std::string &chip = source.identity.chip_serial;
        Source instrument{conditions_of(describe_instrument(source.identity), source.settings,
                                        series.instruments[i]->wavelengths(), ""),
                          std::nullopt, std::nullopt};
        const auto take =
            [&](const char *what, const std::optional<Stored> &stored,
                std::vector<StoredSpectrum> &header) -> std::optional<orvproc::Capture> {
            if (!stored) return std::nullopt;
            auto [capture, record] =
                stored_capture(what, stored->file, stored->table, chip, full_scale);
            try {
                orvproc::check_same_conditions(instrument.conditions, capture.conditions, what);
            } catch (const orvproc::MeasurementError &error) {
                refuse(fmt::format("--{} {}: {}", what, stored->file, error.what()));
            }
            header.push_back(std::move(record));
            return orvproc::boxcar(capture, boxcar_);
        };
        instrument.dark = take("dark", dark_, header_.darks);
        instrument.reference = take("reference", reference_, header_.references);
        sources_[chip] = std::move(instrument);
    }
}

void SeriesMeasurement::apply(Spectrum &spectrum) const {
    const Source &instrument = sources_.at(spectrum.instrument);
    orvproc::Conditions conditions = instrument.conditions;
    conditions.wavelengths_nm = *spectrum.wavelengths_nm;
    const orvproc::Capture sample = orvproc::boxcar(
        orvproc::capture_of(std::move(conditions), spectrum.counts, header_.full_scale), boxcar_);
    try {
        orvproc::Processed processed =
            orvproc::process(mode_, sample, instrument.dark ? &*instrument.dark : nullptr,
                             instrument.reference ? &*instrument.reference : nullptr);
        spectrum.values = std::move(processed.values);
        spectrum.undefined = processed.undefined;
    } catch (const orvproc::MeasurementError &error) {
        refuse(fmt::format("spectrum {} of {}: {}", spectrum.number, spectrum.instrument,
                           error.what()));
    }
}

}  // namespace orvcli
