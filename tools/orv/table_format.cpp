// CSV and TSV: comment lines (#) naming the program, each instrument and its
// settings, then one table with a row per wavelength of every spectrum.
#include <fmt/format.h>

#include "spectrum_writer.h"
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
    TableWriter(std::ostream &out, char delimiter) : out_(out), delimiter_(delimiter) {}

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
        for (std::size_t i = 0; i < std::size(kTableColumns); ++i)
            fmt::format_to(std::back_inserter(text), "{}{}", i == 0 ? "" : std::string{delimiter_},
                           kTableColumns[i]);
        text.push_back('\n');
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    void write(const Spectrum &spectrum) override {
        const std::string instrument = table_field(spectrum.instrument, delimiter_);
        const std::string time = format_utc(spectrum.time);
        const std::vector<double> &wavelengths = *spectrum.wavelengths_nm;
        fmt::memory_buffer text;
        for (std::size_t i = 0; i < spectrum.counts.size() && i < wavelengths.size(); ++i)
            fmt::format_to(std::back_inserter(text), "{1}{0}{2}{0}{3}{0}{4}{0}{5}\n", delimiter_,
                           instrument, spectrum.number, time, wavelengths[i], spectrum.counts[i]);
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    void end() override { out_.flush(); }

private:
    std::ostream &out_;
    char delimiter_;
};

}  // namespace

std::unique_ptr<SpectrumWriter> make_table_writer(std::ostream &out, char delimiter) {
    return std::make_unique<TableWriter>(out, delimiter);
}

}  // namespace orvcli
