// CSV and TSV: comment lines (#) naming the program, each instrument and its
// settings, then one table with a row per wavelength of every spectrum.
#include <fmt/format.h>

#include "output/spectrum_writer.h"
#include "version.h"

namespace orvcli {
namespace {

// A field quoted as RFC 4180 says when it holds the delimiter, a quote or a
// line break.
std::string table_field(const std::string &text, char delimiter) {
    if (text.find_first_of(std::string{delimiter, '"', '\n', '\r'}) == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// Comment text stays on its line.
std::string one_line(std::string text) {
    for (char &c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

class TableWriter final : public SpectrumWriter {
public:
    TableWriter(std::ostream &out, char delimiter, const MeasurementHeader *measurement)
        : out_(out), delimiter_(delimiter), measurement_(measurement) {}

    void begin(const std::vector<SeriesSource> &sources,
               std::chrono::system_clock::time_point started) override {
        fmt::memory_buffer text;
        fmt::format_to(std::back_inserter(text), "# orv {} read, started {}\n", kVersion,
                       format_utc(started));
        for (const SeriesSource &source : sources) {
            const InstrumentIdentity &identity = source.identity;
            const std::string chip = one_line(identity.chip_serial);
            fmt::format_to(std::back_inserter(text), "# instrument {}: {}\n", chip,
                           one_line(describe_instrument(identity)));
            fmt::format_to(std::back_inserter(text), "# protocol {}: {}, bridge \"{}\"\n", chip,
                           one_line(identity.protocol), one_line(identity.description));
            fmt::format_to(std::back_inserter(text), "# settings {}: {}\n", chip,
                           describe_settings(source.settings));
        }
        if (measurement_) write_measurement(text);
        const std::size_t last = std::size(kTableColumns) - 1;
        for (std::size_t i = 0; i < last; ++i)
            fmt::format_to(std::back_inserter(text), "{}{}", kTableColumns[i], delimiter_);
        const std::string_view column =
            measurement_ ? orvproc::mode_info(measurement_->mode).column : kTableColumns[last];
        text.append(column.data(), column.data() + column.size());
        text.push_back('\n');
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    void write(const Spectrum &spectrum) override {
        const std::string instrument = table_field(spectrum.instrument, delimiter_);
        const std::string time = format_utc(spectrum.time);
        const std::vector<double> &wavelengths = *spectrum.wavelengths_nm;
        fmt::memory_buffer text;
        if (!measurement_) {
            for (std::size_t i = 0; i < spectrum.counts.size() && i < wavelengths.size(); ++i)
                fmt::format_to(std::back_inserter(text), "{1}{0}{2}{0}{3}{0}{4}{0}{5}\n",
                               delimiter_, instrument, spectrum.number, time, wavelengths[i],
                               spectrum.counts[i]);
        } else {
            if (spectrum.undefined.total() > 0)
                fmt::format_to(std::back_inserter(text), "# undefined {} {}: {} values NaN ({})\n",
                               one_line(spectrum.instrument), spectrum.number,
                               spectrum.undefined.total(), orvproc::describe(spectrum.undefined));
            for (std::size_t i = 0; i < spectrum.values.size() && i < wavelengths.size(); ++i)
                fmt::format_to(std::back_inserter(text), "{1}{0}{2}{0}{3}{0}{4}{0}{5}\n",
                               delimiter_, instrument, spectrum.number, time, wavelengths[i],
                               spectrum.values[i]);
        }
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    void end() override { out_.flush(); }

private:
    void write_measurement(fmt::memory_buffer &text) const {
        const orvproc::ModeInfo &mode = orvproc::mode_info(measurement_->mode);
        fmt::format_to(std::back_inserter(text), "{}{} ({})\n", kModeComment, mode.name, mode.unit);
        const auto stored = [&](const char *what, const std::vector<StoredSpectrum> &list) {
            for (const StoredSpectrum &each : list)
                fmt::format_to(std::back_inserter(text), "# {} {}: {}, taken {}, {} spectr{}\n",
                               what, one_line(each.chip_serial), one_line(each.file),
                               each.taken_utc, each.spectra, each.spectra == 1 ? "um" : "a");
        };
        stored("dark", measurement_->darks);
        stored("reference", measurement_->references);
        fmt::format_to(std::back_inserter(text), "# boxcar: {} pixel{}, full scale {} counts\n",
                       measurement_->boxcar, measurement_->boxcar == 1 ? "" : "s",
                       measurement_->full_scale);
    }

    std::ostream &out_;
    char delimiter_;
    const MeasurementHeader *measurement_;
};

}  // namespace

std::unique_ptr<SpectrumWriter> make_table_writer(std::ostream &out, char delimiter,
                                                  const MeasurementHeader *measurement) {
    return std::make_unique<TableWriter>(out, delimiter, measurement);
}

}  // namespace orvcli
