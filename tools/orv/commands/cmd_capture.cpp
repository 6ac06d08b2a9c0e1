// orv capture summary FILE and orv capture anonymize IN OUT: captures of the
// recording provider (docs/capture.md), read whole and checked first; a bad
// capture is refused with its line number and nothing is written.
#include <fmt/format.h>

#include <iostream>

#include "capture.h"
#include "capture/capture_tools.h"
#include "commands/commands.h"
#include "failure.h"
#include "output/output_file.h"

namespace orvcli {
namespace {

orvcapture::Capture read_capture(const std::string &path) {
    try {
        return orvcapture::read_capture_file(path);
    } catch (const orvcapture::CaptureError &error) {
        throw Failure(ExitStatus::usage, fmt::format("capture {}: {}", path, error.what()));
    }
}

std::string write_capture(const orvcapture::Capture &capture) {
    std::string text;
    orvcapture::append_header_line(text, capture.header);
    for (const orvcapture::Record &record : capture.calls)
        orvcapture::append_record_line(text, record);
    return text;
}

}  // namespace

void add_capture_command(CLI::App &app, Action &action) {
    CLI::App *command = app.add_subcommand(
        "capture", "Summarise or anonymize a capture of D2XX calls (--record, docs/capture.md).");
    command->require_subcommand(1);

    struct Paths {
        std::string input, output;
    };
    auto paths = std::make_shared<Paths>();

    CLI::App *summary = command->add_subcommand(
        "summary", "Print the calls, bytes, failures and timing per exchange of a capture.");
    // Paths are positional: "/tmp/x.jsonl" is a path, not a Windows-style option.
    summary->allow_windows_style_options(false);
    summary->add_option("FILE", paths->input, "The capture.")->required();
    summary->callback([&action, paths] {
        action = [paths] {
            const orvcapture::Capture capture = read_capture(paths->input);
            std::cout << capture_summary(capture, paths->input) << std::flush;
        };
    });

    CLI::App *anonymize = command->add_subcommand(
        "anonymize",
        "Copy a capture with every chip, instrument and detector serial replaced by a "
        "pseudonym (the same serial by the same one); the copy replays as the original.");
    anonymize->allow_windows_style_options(false);
    anonymize->add_option("IN", paths->input, "The capture.")->required();
    anonymize->add_option("OUT", paths->output, "The copy (written whole or not at all).")
        ->required();
    anonymize->callback([&action, paths] {
        action = [paths] {
            orvcapture::Capture capture = read_capture(paths->input);
            const Anonymized replaced = anonymize_capture(capture);
            OutputFile output(paths->output);
            output.stream() << write_capture(capture);
            output.commit();
            std::cerr << fmt::format("{}: {} chip serial(s) and {} instrument serial(s) replaced\n",
                                     output.is_standard_output() ? "-" : paths->output,
                                     replaced.chip_serials, replaced.instrument_serials);
        };
    });
}

}  // namespace orvcli
