// JCAMP-DX 5.01 of one spectrum: the core labels, the instrument and the
// settings as ##$ORV labels, a measurement's provenance, then the data as an
// NTUPLES block of one page whose table is (XY..XY), one "wavelength, value"
// pair per line, "?" for an undefined value. Wavelengths need not be evenly
// spaced, so the data are pairs, not (X++(Y..Y)); pairs in an NTUPLES table
// rather than ##XYPOINTS because that is the form of pairs the independent
// reader of the tests (and other NTUPLES readers) parse. Text is 7-bit
// ASCII, as the format asks.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "failure.h"
#include "output/jcamp_format.h"
#include "output/spectrum_writer.h"
#include "platform.h"
#include "version.h"

namespace orvcli {

const JcampYAxis &jcamp_y_axis(std::optional<orvproc::Mode> mode) {
    static const JcampYAxis counts{"INTENSITY", "COUNTS", "1", 1.0};
    static const JcampYAxis absorbance{"ABSORBANCE", "ABSORBANCE", "1", 1.0};
    static const JcampYAxis transmittance{"TRANSMITTANCE", "TRANSMITTANCE", "0.01", 0.01};
    static const JcampYAxis reflectance{"REFLECTANCE", "REFLECTANCE", "0.01", 0.01};
    if (!mode) return counts;
    switch (*mode) {
    case orvproc::Mode::counts:
    case orvproc::Mode::dark_corrected: return counts;
    case orvproc::Mode::transmittance: return transmittance;
    case orvproc::Mode::reflectance: return reflectance;
    case orvproc::Mode::absorbance: return absorbance;
    }
    return counts;
}

namespace {

// A label's value on one line of printable ASCII: other bytes become '?', and
// "$$" (which starts a comment) is broken up.
std::string ascii_line(const std::string &text) {
    std::string line;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char kept = byte >= 0x20 && byte < 0x7f ? c : '?';
        if (kept == '$' && !line.empty() && line.back() == '$') line += ' ';
        line += kept;
    }
    return line;
}

// "2024/05/01 12:00:00.123 +0000", the 5.01 form of ##LONGDATE.
std::string long_date(std::chrono::system_clock::time_point time) {
    const std::string utc = format_utc(time);  // 2024-05-01T12:00:00.123Z
    std::string date = utc.substr(0, 10) + ' ' + utc.substr(11, 12) + " +0000";
    std::replace(date.begin(), date.begin() + 10, '-', '/');
    return date;
}

void add_label(fmt::memory_buffer &text, std::string_view name, const std::string &value) {
    fmt::format_to(std::back_inserter(text), "##{}={}\n", name, ascii_line(value));
}

std::string data_type(const std::string &protocol) {
    return protocol == "NIR_LEGACY" ? "NIR SPECTRUM" : "UV/VIS SPECTRUM";
}

class JcampWriter final : public SpectrumWriter {
public:
    JcampWriter(std::ostream &out, const MeasurementHeader *measurement)
        : out_(out), measurement_(measurement) {}

    void begin(const std::vector<SeriesSource> &sources,
               std::chrono::system_clock::time_point) override {
        sources_ = sources;
    }

    void write(const Spectrum &spectrum) override {
        if (written_)
            throw Failure(ExitStatus::usage, "--format jcamp holds one spectrum, not a series");
        written_ = true;
        const auto source = std::find_if(sources_.begin(), sources_.end(), [&](const auto &each) {
            return each.identity.chip_serial == spectrum.instrument;
        });
        const SeriesSource fallback{{spectrum.instrument, "", "", "", "", "", false}, {}};
        const SeriesSource &from = source != sources_.end() ? *source : fallback;

        fmt::memory_buffer text;
        header(text, from, spectrum);
        data(text, spectrum, data_type(from.identity.protocol));
        add_label(text, "END NTUPLES", data_type(from.identity.protocol));
        add_label(text, "END", "");
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    void end() override { out_.flush(); }

private:
    void header(fmt::memory_buffer &text, const SeriesSource &from,
                const Spectrum &spectrum) const {
        const auto label = [&](std::string_view name, const std::string &value) {
            add_label(text, name, value);
        };
        const InstrumentIdentity &identity = from.identity;
        const std::string instrument = describe_instrument(identity);
        const std::optional<orvproc::Mode> mode =
            measurement_ ? std::optional(measurement_->mode) : std::nullopt;
        const std::string what = mode ? std::string(orvproc::mode_info(*mode).name) : "counts";
        label("TITLE", fmt::format("{}, spectrum {}, {}", instrument, spectrum.number, what));
        label("JCAMP-DX", "5.01");
        label("DATA TYPE", data_type(identity.protocol));
        label("DATA CLASS", "NTUPLES");
        label("ORIGIN", fmt::format("orv {} read", kVersion));
        label("OWNER", platform::user_name());
        label("LONGDATE", long_date(spectrum.time));
        label("SPECTROMETER/DATA SYSTEM", fmt::format("{}; orv {}", instrument, kVersion));
        label(jcamp_label::chip_serial, identity.chip_serial);
        label(jcamp_label::bridge, identity.description);
        label(jcamp_label::protocol, identity.protocol);
        label(jcamp_label::model, identity.model);
        label(jcamp_label::serial, identity.serial);
        label(jcamp_label::hardware_version, identity.hardware_version);
        label(jcamp_label::simulated, identity.simulated ? "yes" : "no");
        const AcquisitionSettings &settings = from.settings;
        label(jcamp_label::integration_us, fmt::format("{}", settings.integration_us));
        label(jcamp_label::average, fmt::format("{}", settings.average));
        label(jcamp_label::range_nm, settings.range ? fmt::format("{}:{}", settings.range->start_nm,
                                                                  settings.range->end_nm)
                                                    : std::string("whole table"));
        label(jcamp_label::spectrum, fmt::format("{}", spectrum.number));
        label(jcamp_label::time_utc, format_utc(spectrum.time));
        if (mode) provenance(text, spectrum);
    }

    void provenance(fmt::memory_buffer &text, const Spectrum &spectrum) const {
        const auto label = [&](std::string_view name, const std::string &value) {
            add_label(text, name, value);
        };
        const orvproc::ModeInfo &mode = orvproc::mode_info(measurement_->mode);
        label(jcamp_label::mode, std::string(mode.name));
        label("", fmt::format(" values in {} ({}); undefined values are {}", mode.name, mode.unit,
                              kJcampUndefined));
        const auto stored = [&](const char *what, const std::vector<StoredSpectrum> &list) {
            for (const StoredSpectrum &each : list)
                label(fmt::format("$ORV {}", what),
                      fmt::format("{}: {}, taken {}, {} spectr{}", each.chip_serial, each.file,
                                  each.taken_utc, each.spectra, each.spectra == 1 ? "um" : "a"));
        };
        stored("DARK", measurement_->darks);
        stored("REFERENCE", measurement_->references);
        label("$ORV BOXCAR PIXELS", fmt::format("{}", measurement_->boxcar));
        label("$ORV FULL SCALE COUNTS", fmt::format("{}", measurement_->full_scale));
        label("$ORV UNDEFINED", spectrum.undefined.total() == 0
                                    ? std::string("0")
                                    : fmt::format("{} ({})", spectrum.undefined.total(),
                                                  orvproc::describe(spectrum.undefined)));
    }

    void data(fmt::memory_buffer &text, const Spectrum &spectrum, const std::string &type) const {
        const auto label = [&](std::string_view name, const std::string &value) {
            add_label(text, name, value);
        };
        const std::vector<double> &x = *spectrum.wavelengths_nm;
        const bool counts = !measurement_;
        const std::size_t points =
            std::min(x.size(), counts ? spectrum.counts.size() : spectrum.values.size());
        const auto y = [&](std::size_t i) {
            return counts ? double(spectrum.counts[i]) : spectrum.values[i];
        };
        const JcampYAxis &axis =
            jcamp_y_axis(measurement_ ? std::optional(measurement_->mode) : std::nullopt);
        // The core labels give actual values: the written ones times the factor.
        const auto actual = [&](double value) {
            return std::isnan(value) ? std::string(kJcampUndefined)
                                     : fmt::format("{}", value * axis.factor_value);
        };
        const auto pair = [](const std::string &x_text, const std::string &y_text) {
            return fmt::format("{}, {}", x_text, y_text);
        };
        label("NTUPLES", type);
        label("VAR_NAME", pair("WAVELENGTH", std::string(axis.name)));
        label("SYMBOL", "X, Y");
        label("VAR_TYPE", "INDEPENDENT, DEPENDENT");
        label("VAR_FORM", "AFFN, AFFN");
        label("VAR_DIM", pair(fmt::format("{}", points), fmt::format("{}", points)));
        label("UNITS", pair("NANOMETERS", std::string(axis.units)));
        label("FACTOR", pair("1", std::string(axis.factor)));
        if (points > 0) {
            label("FIRST", pair(fmt::format("{}", x[0]), actual(y(0))));
            label("LAST", pair(fmt::format("{}", x[points - 1]), actual(y(points - 1))));
            double min_y = NAN, max_y = NAN;
            for (std::size_t i = 0; i < points; ++i) {
                if (std::isnan(y(i))) continue;
                min_y = std::isnan(min_y) ? y(i) : std::min(min_y, y(i));
                max_y = std::isnan(max_y) ? y(i) : std::max(max_y, y(i));
            }
            if (!std::isnan(min_y)) {
                const auto [low, high] = std::minmax_element(x.begin(), x.begin() + points);
                label("MIN", pair(fmt::format("{}", *low), actual(min_y)));
                label("MAX", pair(fmt::format("{}", *high), actual(max_y)));
            }
        }
        label("PAGE", "N=1");
        label("NPOINTS", fmt::format("{}", points));
        label("DATA TABLE", "(XY..XY), XYPOINTS");
        for (std::size_t i = 0; i < points; ++i) {
            if (counts)
                fmt::format_to(std::back_inserter(text), "{}, {}\n", x[i], spectrum.counts[i]);
            else if (std::isnan(spectrum.values[i]))
                fmt::format_to(std::back_inserter(text), "{}, {}\n", x[i], kJcampUndefined);
            else
                fmt::format_to(std::back_inserter(text), "{}, {}\n", x[i], spectrum.values[i]);
        }
    }

    std::ostream &out_;
    const MeasurementHeader *measurement_;
    std::vector<SeriesSource> sources_;
    bool written_ = false;
};

}  // namespace

std::unique_ptr<SpectrumWriter> make_jcamp_writer(std::ostream &out,
                                                  const MeasurementHeader *measurement) {
    return std::make_unique<JcampWriter>(out, measurement);
}

}  // namespace orvcli
