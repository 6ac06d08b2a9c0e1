#include "bench.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "device_ops.h"
#include "format.h"
#include "report_output.h"

namespace velmar {
namespace {

// The value of a non-fatal read, or nothing when it failed.
template <class T>
std::optional<std::uint32_t> value_if_ok(const Result<T> &read) {
    return read ? std::optional<std::uint32_t>(read.value()) : std::nullopt;
}

std::string wavelength_summary(const std::vector<double> &table) {
    const double first = table.empty() ? 0.0 : table.front();
    const double last = table.empty() ? 0.0 : table.back();
    return "count=" + std::to_string(table.size()) + " range=" + format_fixed2(first) + "->" +
           format_fixed2(last);
}

Result<CaseReport, Abort> run_case(const VelmarSdk &sdk, const BenchCase &bench_case,
                                   std::size_t expected) {
    if (Status s = set_integration_time_us(sdk, bench_case.integration_us); !s) {
        return Abort{"set integration time failed", s.error()};
    }
    if (Status s = set_average_number(sdk, bench_case.average); !s) {
        return Abort{"set average count failed", s.error()};
    }
    CaseReport report{bench_case, set_stored_smoothing_width(sdk, 1), std::nullopt, std::nullopt,
                      ReadTimes{}};
    report.integration_readback = value_if_ok(integration_time_us(sdk));
    report.average_readback = value_if_ok(average_number(sdk));

    (void)read_spectrum(sdk, expected);  // warm-up: not timed, outcome ignored

    for (std::uint32_t i = 0; i < bench_case.iterations; ++i) {
        const platform::ClockReading start = platform::monotonic_now();
        auto spectrum = read_spectrum(sdk, expected);
        const double sample_ms = elapsed_ms(start, platform::monotonic_now());
        if (!spectrum) return Abort{"read spectrum intensities failed", spectrum.error()};
        report.times.add(sample_ms, spectrum.value().size());
    }  // each spectrum is released only after its duration was taken
    return report;
}

// Opens one instrument, reports it, runs every case and closes it.
Result<Unit, Abort> visit_device(const VelmarSdk &sdk, std::size_t position,
                                 const DeviceEntry &entry, std::ostream &out) {
    out << "\n=== device " << position << " chip_serial=" << entry.id << " ===\n";
    if (auto opened = open_device(sdk, DeviceId{entry.id}); !opened) {
        return Abort{"failed to open Velmar device", opened.error()};
    }
    auto info = device_info(sdk);
    if (!info) return Abort{"failed to read device info", info.error()};
    out << "info model=" << info.value().model << " serial=" << info.value().serial.value_or("-")
        << " firmware=" << info.value().firmware.value_or("-") << '\n';

    auto wavelengths = read_wavelengths(sdk);
    if (!wavelengths) return Abort{"failed to read wavelengths", wavelengths.error()};
    out << "wavelengths " << wavelength_summary(wavelengths.value()) << '\n';
    const std::size_t expected = wavelengths.value().size();

    for (const BenchCase &bench_case : kBenchCases) {
        auto report = run_case(sdk, bench_case, expected);
        if (!report) return report.error();
        out << format_case_line(report.value()) << '\n';
    }
    (void)close_device(sdk);
    return Unit{};
}

}  // namespace

void ReadTimes::add(double sample_ms, std::size_t length) {
    min_ms = std::min(min_ms, sample_ms);
    max_ms = std::max(max_ms, sample_ms);
    last_length = length;
    sum_ms += sample_ms;
}

double elapsed_ms(const platform::ClockReading &start, const platform::ClockReading &end) {
    std::int64_t seconds = end.seconds - start.seconds;
    std::int64_t nanoseconds = end.nanoseconds - start.nanoseconds;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        seconds -= 1;
    }
    if (seconds < 0) return 0.0;
    return (static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9) * 1000.0;
}

std::string format_case_line(const CaseReport &report) {
    const BenchCase &c = report.bench_case;
    const double mean_ms = report.times.sum_ms / c.iterations;
    return "case integration=" + format_plain(c.integration_us / 1000.0) +
           "ms average=" + std::to_string(c.average) +
           " readback=" + format_optional(report.integration_readback) + "us/" +
           format_optional(report.average_readback) +
           " smoothing_set=" + format_outcome(report.smoothing_set) +
           " iter=" + std::to_string(c.iterations) +
           " len=" + std::to_string(report.times.last_length) +
           " avg_ms=" + format_fixed2(mean_ms) + " min_ms=" + format_fixed2(report.times.min_ms) +
           " max_ms=" + format_fixed2(report.times.max_ms);
}

Result<Unit, Abort> report_devices(const VelmarSdk &sdk, const std::vector<DeviceEntry> &entries,
                                   std::ostream &out) {
    out << "device_count=" << entries.size() << '\n';
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out << '[' << i << "] id=" << entries[i].id << " label=" << entries[i].label
            << " serial=" << entries[i].serial.value_or("-") << '\n';
    }
    // Each part of the report is flushed once complete, so that a report that
    // cannot be written stops the run before the next instrument is timed.
    if (auto written = flush_report(out); !written) return written;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (auto visited = visit_device(sdk, i, entries[i], out); !visited) return visited;
        if (auto written = flush_report(out); !written) return written;
    }
    return Unit{};
}

Result<Unit, Abort> run_benchmark(std::ostream &out, std::ostream &diagnostics) {
    auto sdk = VelmarSdk::load();
    if (!sdk) return Abort{"failed to load Velmar SDK", sdk.error()};
    auto entries = scan_devices(sdk.value(), diagnostics);
    if (!entries) return Abort{"failed to scan Velmar devices", entries.error()};
    return report_devices(sdk.value(), entries.value(), out);
}

}  // namespace velmar
