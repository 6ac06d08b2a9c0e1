// orv read: a series of spectra from one or more instruments, written as
// CSV, TSV or JSON (JCAMP-DX: one spectrum) to standard output or a file, or
// as HDF5 (one instrument's series) to a file.
#include <fmt/format.h>

#include "commands/acquisition_options.h"
#include "commands/commands.h"
#include "commands/measurement_options.h"
#include "common_options.h"
#include "failure.h"
#include "interrupt.h"
#include "output/hdf5_format.h"
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
    if (holds_one_spectrum(format) && request.plan.count * request.bridges.size() != 1)
        throw Failure(ExitStatus::usage,
                      fmt::format("--format {} holds one spectrum: read {} from {} instrument{} "
                                  "with --count 1 and one -d, or use csv, tsv or json",
                                  options.format, request.plan.count, request.bridges.size(),
                                  request.bridges.size() == 1 ? "" : "s"));
    if (writes_a_file(format) && (options.output.empty() || options.output == "-"))
        throw Failure(ExitStatus::usage,
                      fmt::format("--format {} writes a file: give -o FILE", options.format));
    if (writes_a_file(format) && request.bridges.size() != 1)
        throw Failure(ExitStatus::usage,
                      fmt::format("--format {} holds the series of one instrument: choose it "
                                  "with one -d, or use csv, tsv or json",
                                  options.format));
    std::optional<SeriesMeasurement> measurement = SeriesMeasurement::prepare(options.measurement);
    // Filled in by match(); the writers read it at begin().
    const MeasurementHeader *header = measurement ? &measurement->header() : nullptr;
    // The file is created before any instrument is opened (as an OutputFile).
    std::unique_ptr<Hdf5SeriesFile> series_file;
    std::optional<OutputFile> out;
#ifdef ORV_CLI_HAS_HDF5
    if (format == OutputFormat::hdf5)
        series_file = create_hdf5_series(options.output, header);
    else
#endif
        out.emplace(options.output);
    const OpenSeries series = open_series(request);
    if (measurement) measurement->match(series);

    std::unique_ptr<SpectrumWriter> stream_writer;
    if (!series_file) stream_writer = make_writer(format, out->stream(), header);
    SpectrumWriter *writer = series_file ? series_file.get() : stream_writer.get();
    const auto check_written = [&] {
        if (out) out->check_written();
    };
    writer->begin(series.sources, std::chrono::system_clock::now());
    check_written();
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
            check_written();
            progress.advance();
            ++written;
        });
    }
    writer->end();
    // A one-spectrum document without its spectrum is nothing: not kept.
    if (series_file)
        series_file->commit();
    else if (written > 0 || !holds_one_spectrum(format))
        out->commit();
    if (undefined.total() > 0)
        fmt::print(stderr, "orv: {} values undefined (NaN) in {} of {} spectra: {}\n",
                   undefined.total(), with_undefined, written, orvproc::describe(undefined));
    if (written < total)
        throw Failure(
            ExitStatus::interrupted,
            fmt::format("interrupted: {} of {} spectra written to {}", written, total,
                        out && out->is_standard_output() ? "standard output" : options.output));
}

}  // namespace

void add_read_command(CLI::App &app, Action &action) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App *command = app.add_subcommand(
        "read", "Read one or many spectra; each row is a wavelength and its counts.");
    add_acquisition_options(*command, options->acquisition);
    add_measurement_options(*command, options->measurement);
    add_format_option(*command, options->format, kOutputFormatNames);
    command
        ->add_option("-o,--output", options->output,
                     "Write to this file (complete or not at all) instead of standard output.")
        ->option_text("FILE");
    command->callback([&action, options] { action = [options] { read(*options); }; });
}

}  // namespace orvcli
