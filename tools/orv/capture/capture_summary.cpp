#include <fmt/format.h>

#include <map>
#include <vector>

#include "capture/capture_tools.h"

namespace orvcli {
namespace {

using orvcapture::Call;
using orvcapture::Record;

struct CallTotals {
    std::size_t calls = 0, failed = 0, short_transfers = 0;
    std::uint64_t bytes = 0, time_us = 0, max_us = 0;
};

struct Exchange {
    std::uint64_t write_call = 0;  // 0: reads before the device's first write
    int device = -1;
    std::uint64_t written = 0, read = 0;
    std::size_t reads = 0, failed = 0, short_reads = 0;
    std::uint64_t begin_us = 0, end_us = 0;
};

bool is_transfer(Call call) { return call == Call::Read || call == Call::Write; }

// A call that did not do all it was asked: a failure, or a transfer cut short.
bool is_short(const Record &record) { return is_transfer(record.call) && record.done < record.req; }

}  // namespace

std::string capture_summary(const orvcapture::Capture &capture, const std::string &name) {
    std::map<Call, CallTotals> totals;
    std::vector<Exchange> exchanges;
    std::map<int, std::size_t> open_exchange;  // device -> index into exchanges
    std::size_t failed = 0;
    std::uint64_t written = 0, read = 0, end_us = 0;
    for (const Record &record : capture.calls) {
        CallTotals &total = totals[record.call];
        ++total.calls;
        total.time_us += record.dur_us;
        total.max_us = std::max(total.max_us, record.dur_us);
        end_us = std::max(end_us, record.t_us + record.dur_us);
        if (record.status != 0) ++total.failed, ++failed;
        if (is_short(record)) ++total.short_transfers;
        if (!is_transfer(record.call)) continue;
        total.bytes += record.done;
        const bool writing = record.call == Call::Write;
        (writing ? written : read) += record.done;
        auto open = open_exchange.find(record.dev);
        if (writing || open == open_exchange.end()) {
            Exchange exchange;
            exchange.write_call = writing ? record.n : 0;
            exchange.device = record.dev;
            exchange.begin_us = record.t_us;
            exchanges.push_back(exchange);
            open = open_exchange.insert_or_assign(record.dev, exchanges.size() - 1).first;
        }
        Exchange &exchange = exchanges[open->second];
        exchange.end_us = record.t_us + record.dur_us;
        if (record.status != 0 || (writing && is_short(record))) ++exchange.failed;
        if (writing) {
            exchange.written += record.done;
        } else {
            exchange.read += record.done;
            ++exchange.reads;
            if (is_short(record)) ++exchange.short_reads;
        }
    }

    const std::uint64_t begin_us = capture.calls.empty() ? 0 : capture.calls.front().t_us;
    std::string out = fmt::format("capture {}: version {}, provider {}\n", name,
                                  capture.header.version, capture.header.provider);
    out += fmt::format("{} calls in {:.6f} s, {} failed; {} bytes written, {} bytes read\n",
                       capture.calls.size(), static_cast<double>(end_us - begin_us) / 1e6, failed,
                       written, read);
    out += fmt::format("\n{:<24} {:>8} {:>7} {:>7} {:>10} {:>12} {:>9}\n", "CALL", "CALLS",
                       "FAILED", "SHORT", "BYTES", "TIME_US", "MAX_US");
    for (const auto &[call, total] : totals)
        out += fmt::format("{:<24} {:>8} {:>7} {:>7} {:>10} {:>12} {:>9}\n",
                           orvcapture::call_name(call), total.calls, total.failed,
                           total.short_transfers, total.bytes, total.time_us, total.max_us);
    out += fmt::format("\n{} exchanges (a write and the device's reads until its next write)\n",
                       exchanges.size());
    if (exchanges.empty()) return out;
    out += fmt::format("{:>10} {:>6} {:>8} {:>8} {:>6} {:>6} {:>6} {:>10}\n", "WRITE_CALL",
                       "DEVICE", "WRITTEN", "READ", "READS", "SHORT", "FAILED", "TIME_US");
    for (const Exchange &exchange : exchanges)
        out +=
            fmt::format("{:>10} {:>6} {:>8} {:>8} {:>6} {:>6} {:>6} {:>10}\n",
                        exchange.write_call ? fmt::format("{}", exchange.write_call) : "-",
                        exchange.device, exchange.written, exchange.read, exchange.reads,
                        exchange.short_reads, exchange.failed, exchange.end_us - exchange.begin_us);
    return out;
}

}  // namespace orvcli
