// Many instruments at once: threads that each drive their own bridge through
// their own handle get their own instrument's answers, in about the time one
// instrument needs, and a wait on one handle holds up no other.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim_support.h"

using namespace simtest;

namespace {

constexpr int kBridges = 8;
constexpr int kRounds = 6;

double ms_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

std::string model_text(int i) { return "SIM-THREAD-" + std::to_string(i); }

// Eight instruments that tell each other apart by their model text.
std::string scenario() {
    std::string bridges;
    for (int i = 0; i < kBridges; ++i) {
        if (i > 0) bridges += ",";
        bridges += R"({"serial": "T)" + std::to_string(i) +
                   R"(", "instrument": {"model": "SIM-UV1024", "model_text": ")" + model_text(i) +
                   R"(", "noise_seed": )" + std::to_string(100 + i) + "}}";
    }
    return R"({"time_scale": 1.0, "bridges": [)" + bridges + "]}";
}

// One exchange on a raw handle (no gtest assertions: this runs on many threads).
Bytes round_trip(FT_HANDLE h, const Bytes &request) {
    DWORD n = 0;
    Bytes copy = request;
    FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    if (FT_Write(h, copy.data(), static_cast<DWORD>(copy.size()), &n) != FT_OK) return {};
    Bytes packet(28);
    if (FT_Read(h, packet.data(), 28, &n) != FT_OK || n != 28) return {};
    const size_t rest = (size_t{packet[17]} << 8 | packet[18]) * 4u + 4u;
    packet.resize(28 + rest);
    if (FT_Read(h, packet.data() + 28, static_cast<DWORD>(rest), &n) != FT_OK || n != rest)
        return {};
    return packet;
}

// What one thread saw of its instrument: rounds whose answers were all its own.
struct Outcome {
    int good_rounds = 0;
    std::string first_problem;
};

// Per round: the model text, a write and read-back of an integration time
// only this thread uses, and a spectrum (the integration time's worth of
// modelled acquisition).
Outcome drive(int index) {
    Outcome out;
    FT_HANDLE h = nullptr;
    if (FT_Open(index, &h) != FT_OK) return Outcome{0, "open failed"};
    FT_SetTimeouts(h, 3000, 1000);
    const uint32_t us = 20000 + 1000u * static_cast<uint32_t>(index);
    const Bytes us_bytes = {0, static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8),
                            static_cast<uint8_t>(us)};
    for (int round = 0; round < kRounds; ++round) {
        const Packet model = parse(round_trip(h, read_request(0xC1, 0x46, 4)));
        const Packet set = parse(round_trip(h, write_request(0xC1, 0x00, us_bytes)));
        const Packet back = parse(round_trip(h, read_request(0xC1, 0x00, 1)));
        const Packet spectrum = parse(round_trip(h, read_request(0xC6, 0, 1024)));
        const std::string text(model.data.begin(), model.data.end());
        std::string problem;
        if (text.rfind(model_text(index), 0) != 0) problem = "model text " + text;
        if (set.reply != 0xAC || back.data != us_bytes) problem = "integration time read back";
        if (!spectrum.crc_ok || spectrum.reg != 0xC6 || spectrum.data.size() != 4096u)
            problem = "spectrum";
        if (problem.empty())
            ++out.good_rounds;
        else if (out.first_problem.empty())
            out.first_problem = problem;
    }
    FT_Close(h);
    return out;
}

TEST(SimThreads, EachThreadGetsItsOwnInstrumentInAboutOneInstrumentsTime) {
    load(scenario());
    auto start = std::chrono::steady_clock::now();
    const Outcome alone = drive(kBridges - 1);  // the slowest instrument on its own
    const double one_ms = ms_since(start);
    ASSERT_EQ(alone.good_rounds, kRounds) << alone.first_problem;

    std::vector<Outcome> outcomes(kBridges);
    std::vector<std::thread> threads;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBridges; ++i) threads.emplace_back([&, i] { outcomes[i] = drive(i); });
    for (std::thread &t : threads) t.join();
    const double all_ms = ms_since(start);

    for (int i = 0; i < kBridges; ++i) {
        EXPECT_EQ(outcomes[i].good_rounds, kRounds)
            << "bridge " << i << ": " << outcomes[i].first_problem;
    }
    // One after the other would take about eight times as long.
    EXPECT_LT(all_ms, 3.0 * one_ms) << "one instrument " << one_ms << " ms";
    EXPECT_EQ(orvsim_open_handle_count(), 0);
}

TEST(SimThreads, AWaitingReadHoldsUpNoOtherHandle) {
    load(R"({"time_scale": 0.01, "bridges": [{"serial": "SILENT"},
        {"serial": "UV", "instrument": {"model": "SIM-UV1024"}}]})");
    FT_HANDLE silent = nullptr;
    ASSERT_EQ(FT_Open(0, &silent), FT_OK);
    ASSERT_EQ(FT_SetTimeouts(silent, 1500, 1000), FT_OK);
    std::atomic<double> waited_ms{0};
    auto start = std::chrono::steady_clock::now();
    std::thread reader([&] {
        uint8_t byte = 0;
        DWORD n = 0;
        FT_Read(silent, &byte, 1, &n);
        waited_ms = ms_since(start);
    });
    Port port(1, 500);
    int answered = 0;
    for (int i = 0; i < 20; ++i)
        answered += parse(port.exchange(read_request(0xC1, 0x10, 1))).crc_ok;
    const double exchanges_ms = ms_since(start);
    reader.join();
    EXPECT_EQ(answered, 20);
    EXPECT_LT(exchanges_ms, 1000.0);  // done while the other read still waits
    EXPECT_GE(waited_ms.load(), 1400.0);
    FT_Close(silent);
}

TEST(SimThreads, ALoadedScenarioWakesEveryWaitingRead) {
    load(R"({"bridges": [{"serial": "A"}, {"serial": "B"}, {"serial": "C"}, {"serial": "D"}]})");
    std::vector<FT_HANDLE> handles(4);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(FT_Open(i, &handles[i]), FT_OK);
        ASSERT_EQ(FT_SetTimeouts(handles[i], 10000, 1000), FT_OK);
    }
    std::vector<FT_STATUS> status(4, FT_OK);
    std::vector<std::thread> readers;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&, i] {
            uint8_t byte = 0;
            DWORD n = 0;
            status[i] = FT_Read(handles[i], &byte, 1, &n);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    load(R"({"bridges": []})");
    for (std::thread &t : readers) t.join();
    EXPECT_LT(ms_since(start), 5000.0);
    for (FT_STATUS s : status) EXPECT_EQ(s, FT_INVALID_HANDLE);
}

}  // namespace
