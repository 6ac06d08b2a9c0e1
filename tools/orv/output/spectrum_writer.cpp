#include "output/spectrum_writer.h"

#include <fmt/format.h>

#include "failure.h"

namespace orvcli {

// Defined by the format files.
std::unique_ptr<SpectrumWriter> make_table_writer(std::ostream &out, char delimiter,
                                                  const MeasurementHeader *measurement);
std::unique_ptr<SpectrumWriter> make_json_writer(std::ostream &out,
                                                 const MeasurementHeader *measurement);

OutputFormat parse_output_format(std::string_view text) {
    if (text == "csv") return OutputFormat::csv;
    if (text == "tsv") return OutputFormat::tsv;
    if (text == "json") return OutputFormat::json;
    throw Failure(ExitStatus::usage,
                  fmt::format("--format: '{}' is not a format: csv, tsv or json", text));
}

std::unique_ptr<SpectrumWriter> make_writer(OutputFormat format, std::ostream &out,
                                            const MeasurementHeader *measurement) {
    switch (format) {
    case OutputFormat::csv: return make_table_writer(out, ',', measurement);
    case OutputFormat::tsv: return make_table_writer(out, '\t', measurement);
    case OutputFormat::json: return make_json_writer(out, measurement);
    }
    return make_table_writer(out, ',', measurement);
}

}  // namespace orvcli
