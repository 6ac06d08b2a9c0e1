// orv read: a series of spectra from one or more instruments, written as
// CSV, TSV or JSON to standard output or a file.
#include <fmt/format.h>

#include "commands/acquisition_options.h"
#include "commands/commands.h"
#include "commands/measurement_options.h"
#include "common_options.h"
#include "failure.h"
#include "interrupt.h"
#include "output/output_file.h"
#include "output/spectrum_writer.h"
#include "platform.h"
#include "progress_bar.h"

namespace orvcli {
namespace {

struct ReadOptions {
    AcquisitionOptions acquisition;
    MeasurementOptions measurement;
    std::string format = "csv";
    std::string output;
};

void read(const ReadOptions &options) {
    StopSignal &stop = interrupt_signal();
    const OutputFormat format = parse_output_format(options.format);
    const AcquisitionRequest request = check_acquisition(options.acquisition);
    std::optional<SeriesMeasurement> measurement = SeriesMeasurement::prepare(options.measurement);
    OutputFile out(options.output);
    const OpenSeries series = open_series(request);
    if (measurement) measurement->match(series);

    const std::unique_ptr<SpectrumWriter> writer =
        make_writer(format, out.stream(), measurement ? &measurement->header() : nullptr);
    writer->begin(series.sources, std::chrono::system_clock::now());
    out.check_written();
    const std::size_t total = request.plan.count * series.instruments.size();
    std::size_t written = 0;
    orvproc::Undefined undefined;
    std::size_t with_undefined = 0;
    {
        ProgressBar progress(total, expected_duration(series, request.plan),
                             platform::is_terminal(stderr));
        run_series(series.pointers(), request.plan, stop, [&](const Spectrum &taken) {
            if (!measurement) {
                writer->write(taken);
            } else {
                Spectrum spectrum = taken;
                measurement->apply(spectrum);
                undefined += spectrum.undefined;
                with_undefined += spectrum.undefined.total() > 0 ? 1 : 0;
                writer->write(spectrum);
            }
            out.check_written();
            progress.advance();
            ++written;
        });
    }
    writer->end();
    out.commit();
    if (undefined.total() > 0)
        fmt::print(stderr, "orv: {} values undefined (NaN) in {} of {} spectra: {}\n",
                   undefined.total(), with_undefined, written, orvproc::describe(undefined));
    if (written < total)
        throw Failure(ExitStatus::interrupted,
                      fmt::format("interrupted: {} of {} spectra written to {}", written, total,
                                  out.is_standard_output() ? "standard output" : out.path()));
}

}  // namespace

void add_read_command(CLI::App &app, Action &action) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App *command = app.add_subcommand(
        "read", "Read one or many spectra; each row is a wavelength and its counts.");
    add_acquisition_options(*command, options->acquisition);
    add_measurement_options(*command, options->measurement);
    add_format_option(*command, options->format, "csv, tsv or json");
    command
        ->add_option("-o,--output", options->output,
                     "Write to this file (complete or not at all) instead of standard output.")
        ->option_text("FILE");
    command->callback([&action, options] { action = [options] { read(*options); }; });
}

}  // namespace orvcli
