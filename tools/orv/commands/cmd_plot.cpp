// orv plot: spectra drawn to PNG or SVG, acquired like orv read does or read
// back from a file that orv read wrote.
#include <fmt/format.h>

#include "commands/acquisition_options.h"
#include "commands/commands.h"
#include "commands/measurement_options.h"
#include "common_options.h"
#include "failure.h"
#include "interrupt.h"
#include "output/output_file.h"
#include "output/spectrum_table_reader.h"
#include "plot/canvas.h"
#include "plot/plot_drawing.h"

namespace orvcli {
namespace {

// Debian has cairo for Linux only, and no other maintained PNG writer for mingw.
constexpr const char *kWithoutPng =
    "this build writes SVG only: PNG needs cairo, which Debian has for Linux only";

struct PlotOptions {
    AcquisitionOptions acquisition;
    MeasurementOptions measurement;
    std::string input;
    std::string output;
    std::string format;
    std::string size = "1200x700";
};

ImageFormat image_format(const PlotOptions &options) {
    std::string format = options.format;
    if (format.empty() && options.output.rfind('.') != std::string::npos)
        format = options.output.substr(options.output.rfind('.'));
    if (format == "svg" || format == ".svg") return ImageFormat::svg;
    if ((format == "png" || format == ".png") && kPngSupported) return ImageFormat::png;
    if (format == "png" || format == ".png")
        throw Failure(
            ExitStatus::usage,
            fmt::format("{}: {}", options.format.empty() ? "-o" : "--format", kWithoutPng));
    throw Failure(
        ExitStatus::usage,
        options.format.empty()
            ? fmt::format("-o {}: name a .png or .svg file, or give --format", options.output)
            : fmt::format("--format: '{}' is not an image format: png or svg", format));
}

std::pair<int, int> image_size(const std::string &text) {
    const std::size_t x = text.find('x');
    if (x != std::string::npos) {
        const std::uint32_t width = parse_whole_number(text.substr(0, x), 200, 10000, "--size");
        const std::uint32_t height = parse_whole_number(text.substr(x + 1), 150, 10000, "--size");
        return {static_cast<int>(width), static_cast<int>(height)};
    }
    throw Failure(ExitStatus::usage,
                  fmt::format("--size: '{}' is not WIDTHxHEIGHT (1200x700)", text));
}

SpectrumTable acquire(const AcquisitionOptions &options,
                      std::optional<SeriesMeasurement> &measurement, bool &interrupted) {
    StopSignal &stop = interrupt_signal();
    const AcquisitionRequest request = check_acquisition(options);
    const OpenSeries series = open_series(request);
    SpectrumTable table;
    for (const SeriesSource &source : series.sources)
        table.sources.push_back({source.identity.chip_serial, describe_instrument(source.identity),
                                 describe_settings(source.settings)});
    if (measurement) {
        measurement->match(series);
        table.mode = measurement->header().mode;
    }
    run_series(series.pointers(), request.plan, stop, [&](const Spectrum &spectrum) {
        table.spectra.push_back(spectrum);
        if (measurement) measurement->apply(table.spectra.back());
    });
    interrupted = table.spectra.size() < request.plan.count * series.instruments.size();
    return table;
}

void plot(const PlotOptions &options) {
    const ImageFormat format = image_format(options);
    const auto [width, height] = image_size(options.size);
    SpectrumTable table;
    bool interrupted = false;
    std::optional<SeriesMeasurement> measurement;
    if (!options.input.empty())
        table = read_spectrum_file(options.input, "--input");
    else
        measurement = SeriesMeasurement::prepare(options.measurement);
    OutputFile out(options.output);  // before any instrument is opened
    if (options.input.empty()) table = acquire(options.acquisition, measurement, interrupted);
    const std::unique_ptr<Canvas> canvas = make_canvas(format, width, height, out.stream());
    draw_figure(figure_of(table.sources, table.spectra, table.mode), *canvas, width, height);
    canvas->finish();
    out.commit();
    if (interrupted)
        throw Failure(ExitStatus::interrupted, fmt::format("interrupted: {} spectra plotted to {}",
                                                           table.spectra.size(), options.output));
}

}  // namespace

void add_plot_command(CLI::App &app, Action &action) {
    auto options = std::make_shared<PlotOptions>();
    CLI::App *command = app.add_subcommand(
        "plot", kPngSupported
                    ? "Draw spectra (acquired now, or from a file of orv read) to PNG or SVG: "
                      "counts or a mode's values against wavelength, one line per spectrum."
                    : "Draw spectra (acquired now, or from a file of orv read) to SVG: counts "
                      "or a mode's values against wavelength, one line per spectrum. PNG is "
                      "not part of this build (it needs cairo, which Debian has for Linux only).");
    add_acquisition_options(*command, options->acquisition);
    add_measurement_options(*command, options->measurement);
    CLI::Option *input =
        command
            ->add_option("-i,--input", options->input,
                         "Plot this file written by orv read instead of acquiring (CSV, TSV, "
                         "JSON, JCAMP-DX; of HDF5 its last spectrum).")
            ->option_text("FILE");
    // A table from a file is drawn as it is: no acquisition option applies.
    for (CLI::Option *acquisition : command->get_options([&](CLI::Option *option) {
             return option != input && option != command->get_help_ptr();
         }))
        input->excludes(acquisition);
    command
        ->add_option("-o,--output", options->output,
                     kPngSupported ? "The image file (.png or .svg)." : "The image file (.svg).")
        ->required()
        ->option_text("FILE REQUIRED");
    add_format_option(*command, options->format,
                      kPngSupported ? "png or svg (default: from the file name)."
                                    : "svg (default: from the file name).");
    command->add_option("--size", options->size, "Image size in pixels, WIDTHxHEIGHT.")
        ->option_text("WxH=" + options->size);
    command->callback([&action, options] { action = [options] { plot(*options); }; });
}

}  // namespace orvcli
