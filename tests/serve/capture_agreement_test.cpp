// The recorder in front of the tty provider against orvsim-serve, and in
// front of the simulated provider on the same scenario: a session puts the
// same bytes on the wire through both providers (their calls may split the
// reads differently), and the capture made over ttys replays through the
// simulated provider to the same results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "capture.h"
#include "process_runner.h"
#include "serve_process.h"

namespace {

namespace fs = std::filesystem;
using orvcapture::Call;

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What crossed the wire with one instrument, in order.
struct Wire {
    std::vector<uint8_t> written;
    std::vector<uint8_t> read;
};

// Each device's wire in a capture, by the serial listed at the position it
// was opened at ("position <n>" for a position the list did not name).
std::map<std::string, Wire> wires_of(const orvcapture::Capture &capture) {
    std::vector<std::string> serials;
    std::map<std::string, Wire> wires;
    for (const orvcapture::Record &r : capture.calls) {
        if (r.call == Call::GetDeviceInfoList && r.status == 0 && !r.devices.empty()) {
            serials.clear();
            for (const orvcapture::Node &node : r.devices) serials.push_back(node.serial);
        }
        if ((r.call != Call::Write && r.call != Call::Read) || r.dev < 0) continue;
        const auto position = static_cast<size_t>(r.dev);
        const std::string name =
            position < serials.size() ? serials[position] : "position " + std::to_string(position);
        std::vector<uint8_t> &bytes =
            r.call == Call::Write ? wires[name].written : wires[name].read;
        // a write's data is what was offered, of which `done` bytes went out
        const size_t count = std::min<size_t>(r.done, r.data.size());
        bytes.insert(bytes.end(), r.data.begin(),
                     r.data.begin() + static_cast<std::ptrdiff_t>(count));
    }
    return wires;
}

// Empty when equal; otherwise where the two first differ, with some bytes
// of each from there in hex.
std::string difference(const std::vector<uint8_t> &tty, const std::vector<uint8_t> &sim) {
    const auto [at_tty, at_sim] = std::mismatch(tty.begin(), tty.end(), sim.begin(), sim.end());
    if (at_tty == tty.end() && at_sim == sim.end()) return "";
    const auto hex = [](std::vector<uint8_t>::const_iterator from,
                        std::vector<uint8_t>::const_iterator end) {
        std::string text;
        for (int i = 0; from != end && i < 24; ++from, ++i) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", *from);
            text += digits;
        }
        return text.empty() ? std::string("(end)") : text;
    };
    return "lengths " + std::to_string(tty.size()) + " (tty) and " + std::to_string(sim.size()) +
           " (simulated), first difference at byte " + std::to_string(at_tty - tty.begin()) +
           ": tty " + hex(at_tty, tty.end()) + ", simulated " + hex(at_sim, sim.end());
}

// Timing figures and the USB locations (from the tty topology) left out.
std::string comparable(const std::string &text) {
    static const std::regex timings(R"(avg_ms=\S+ min_ms=\S+ max_ms=\S+)");
    static const std::regex locations(" loc=0x[0-9a-fA-F]+");
    return std::regex_replace(std::regex_replace(text, timings, "avg_ms=#"), locations, " loc=#");
}

struct Session {
    const char *name;
    const char *program;
    const char *scenario;  // in tests/capture/scenarios
};

// The test's name shows the session's name rather than the struct's bytes.
void PrintTo(const Session &session, std::ostream *out) { *out << session.name; }

// Every handle command with error replies and timeouts, and the benchmark
// program's timed spectrum reads, on both protocols.
const Session kSessions[] = {
    {"HandleCommands", ORV_HANDLE_SESSION, "handles.json"},
    {"Benchmark", ORV_BENCHMARK_PROGRAM, "bench_both.json"},
};

class TtyAgreement : public ::testing::TestWithParam<Session> {
protected:
    e2e::ProcessResult run(e2e::EnvironmentChanges environment) const {
        environment.emplace_back("ORV_TRACE_TIMING", std::nullopt);
        const std::string program = GetParam().program;
        e2e::ProcessResult result =
            e2e::run_process(program, fs::path(program).parent_path().string(), environment, 180);
        EXPECT_FALSE(result.timed_out) << program;
        return result;
    }

    // The program through the recorder in front of `provider`, into `capture`.
    e2e::ProcessResult recorded(e2e::EnvironmentChanges environment, const char *provider,
                                const std::string &capture) const {
        environment.emplace_back("ORV_D2XX_LIBRARY", ORV_RECORDER);
        environment.emplace_back("ORV_RECORD_PROVIDER", provider);
        environment.emplace_back("ORV_RECORD_FILE", capture);
        return run(environment);
    }

    std::string scenario() const {
        return std::string(ORV_CAPTURE_SCENARIOS) + "/" + GetParam().scenario;
    }

    servetest::TempFolder folder_;
};

TEST_P(TtyAgreement, TheSameBytesCrossTheWireAndTheTtyCaptureReplays) {
    const std::string tty_capture = folder_.path() + "/tty.jsonl";
    const std::string sim_capture = folder_.path() + "/sim.jsonl";

    servetest::Served served(ORVSIM_SERVE_PROGRAM, read_text(scenario()));
    const e2e::ProcessResult tty = recorded(served.environment(), ORV_TTY_PROVIDER, tty_capture);
    ASSERT_EQ(tty.exit_code, 0) << tty.out << tty.err << served.errors();
    const e2e::ProcessResult sim =
        recorded({{"ORVSIM_SCENARIO", scenario()}}, ORV_SIMULATOR, sim_capture);
    ASSERT_EQ(sim.exit_code, 0) << sim.out << sim.err;
    EXPECT_EQ(comparable(tty.out), comparable(sim.out));
    EXPECT_EQ(comparable(tty.err), comparable(sim.err));

    const orvcapture::Capture over_ttys = orvcapture::read_capture_file(tty_capture);
    const orvcapture::Capture simulated = orvcapture::read_capture_file(sim_capture);
    // the recorder really forwarded to each provider
    EXPECT_EQ(fs::path(over_ttys.header.provider), fs::path(ORV_TTY_PROVIDER));
    EXPECT_EQ(fs::path(simulated.header.provider), fs::path(ORV_SIMULATOR));

    const std::map<std::string, Wire> tty_wires = wires_of(over_ttys);
    const std::map<std::string, Wire> sim_wires = wires_of(simulated);
    for (const char *serial : {"ORVCAPUV", "ORVCAPNR"}) {
        SCOPED_TRACE(serial);
        ASSERT_EQ(tty_wires.count(serial), 1u);
        ASSERT_EQ(sim_wires.count(serial), 1u);
        const Wire &t = tty_wires.at(serial);
        const Wire &s = sim_wires.at(serial);
        EXPECT_GT(t.written.size(), 100u);  // the device was talked to
        EXPECT_GT(t.read.size(), 100u);
        EXPECT_EQ(difference(t.written, s.written), "") << "written";
        EXPECT_EQ(difference(t.read, s.read), "") << "read";
    }
    EXPECT_EQ(tty_wires.size(), sim_wires.size());

    // the capture made over ttys, served by the simulated provider
    const std::string replay =
        folder_.write("replay.json", R"({"replay": "tty.jsonl", "replay_timing": "instant"})");
    const e2e::ProcessResult replayed =
        run({{"ORVSIM_SCENARIO", replay}, {"ORV_D2XX_LIBRARY", ORV_SIMULATOR}});
    EXPECT_EQ(replayed.exit_code, 0) << replayed.err;
    EXPECT_EQ(comparable(replayed.out), comparable(tty.out));
    EXPECT_EQ(replayed.err, tty.err);
}

INSTANTIATE_TEST_SUITE_P(Sessions, TtyAgreement, ::testing::ValuesIn(kSessions),
                         [](const ::testing::TestParamInfo<Session> &session) {
                             return std::string(session.param.name);
                         });

}  // namespace
