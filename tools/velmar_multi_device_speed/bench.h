// The speed benchmark: every instrument in turn is opened, described and
// timed over four fixed combinations of integration time and averaging.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <vector>

#include "platform.h"
#include "result.h"
#include "scan.h"
#include "sdk.h"

namespace velmar {

struct BenchCase {
    std::uint32_t integration_us;
    std::uint32_t average;
    std::uint32_t iterations;
};

inline constexpr std::array<BenchCase, 4> kBenchCases{{
    {10000, 1, 30},
    {50000, 1, 20},
    {200000, 1, 10},
    {50000, 3, 10},
}};

// A required step that failed: the run stops with "message: Kind".
struct Abort {
    std::string_view message;
    SdkError kind;
};

// Durations of the timed reads of one case, in milliseconds.
struct ReadTimes {
    double min_ms = 1.7976931348623157e308;
    double max_ms = 0.0;
    double sum_ms = 0.0;
    std::size_t last_length = 0;

    void add(double sample_ms, std::size_t length);
};

// What one case measured and read back.
struct CaseReport {
    BenchCase bench_case;
    Status smoothing_set = Unit{};
    std::optional<std::uint32_t> integration_readback;
    std::optional<std::uint32_t> average_readback;
    ReadTimes times;
};

// Milliseconds from `start` to `end`; never negative.
double elapsed_ms(const platform::ClockReading &start, const platform::ClockReading &end);

// The "case ..." line of the report, without its newline.
std::string format_case_line(const CaseReport &report);

// Lists the scanned instruments, then opens, describes and times each in turn.
// The listing and each instrument's part are flushed when complete; one that
// cannot be written stops the run ("failed to write report", report_output.h).
Result<Unit, Abort> report_devices(const VelmarSdk &sdk, const std::vector<DeviceEntry> &entries,
                                   std::ostream &out);

// Loads liborv, scans and benchmarks every instrument. The report goes to
// `out`, scan diagnostics to `diagnostics`.
Result<Unit, Abort> run_benchmark(std::ostream &out, std::ostream &diagnostics);

}  // namespace velmar
