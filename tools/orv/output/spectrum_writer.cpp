#include "output/spectrum_writer.h"

#include <fmt/format.h>

#include "failure.h"
#include "output/hdf5_format.h"

namespace orvcli {

// Defined by the format files.
std::unique_ptr<SpectrumWriter> make_table_writer(std::ostream &out, char delimiter,
                                                  const MeasurementHeader *measurement);
std::unique_ptr<SpectrumWriter> make_json_writer(std::ostream &out,
                                                 const MeasurementHeader *measurement);
std::unique_ptr<SpectrumWriter> make_jcamp_writer(std::ostream &out,
                                                  const MeasurementHeader *measurement);

OutputFormat parse_output_format(std::string_view text) {
    if (text == "csv") return OutputFormat::csv;
    if (text == "tsv") return OutputFormat::tsv;
    if (text == "json") return OutputFormat::json;
    if (text == "jcamp") return OutputFormat::jcamp;
    if (text == "hdf5" && kHdf5Supported) return OutputFormat::hdf5;
    if (text == "hdf5")
        throw Failure(ExitStatus::usage, fmt::format("--format hdf5: {}", kWithoutHdf5));
    throw Failure(ExitStatus::usage,
                  fmt::format("--format: '{}' is not a format: {}", text, kOutputFormatNames));
}

std::unique_ptr<SpectrumWriter> make_writer(OutputFormat format, std::ostream &out,
                                            const MeasurementHeader *measurement) {
    switch (format) {
    case OutputFormat::csv: return make_table_writer(out, ',', measurement);
    case OutputFormat::tsv: return make_table_writer(out, '\t', measurement);
    case OutputFormat::json: return make_json_writer(out, measurement);
    case OutputFormat::jcamp: return make_jcamp_writer(out, measurement);
    case OutputFormat::hdf5: break;
    }
    return make_table_writer(out, ',', measurement);
}

}  // namespace orvcli
