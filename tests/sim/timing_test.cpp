// Real-time behaviour: when answers become readable, read timeouts, purge.
#include <chrono>
#include <ctime>
#include <thread>

#include "sim_support.h"

using namespace simtest;
using Ms = std::chrono::duration<double, std::milli>;

namespace {

double elapsed_ms(std::chrono::steady_clock::time_point since) {
    return Ms(std::chrono::steady_clock::now() - since).count();
}

class SimTiming : public ::testing::Test {
protected:
    void SetUp() override {
        load(R"({"time_scale": 1.0, "bridges": [
            {"serial": "UV", "instrument": {"model": "SIM-UV1024"}},
            {"serial": "NOTHING"},
            {"serial": "SLOW", "throughput_bytes_per_s": 20000, "latency_ms": 5,
             "instrument": {"model": "SIM-UV1024"}},
            {"serial": "LATE", "latency_ms": 300, "instrument": {"model": "SIM-UV1024"}},
            {"serial": "CRAWL", "throughput_bytes_per_s": 5000,
             "instrument": {"model": "SIM-UV1024"}}]})");
    }
};

TEST_F(SimTiming, AReadWithNothingToReadReturnsAtItsTimeout) {
    Port port(1, 200);
    auto start = std::chrono::steady_clock::now();
#ifndef _WIN32
    const std::clock_t cpu_start = std::clock();
#endif
    port.write(read_request(0xC1, 0x46, 4));
    EXPECT_TRUE(port.read(28).empty());
    const double waited = elapsed_ms(start);
    EXPECT_GE(waited, 195.0);
    EXPECT_LT(waited, 600.0);
#ifndef _WIN32
    // The wait sleeps: far less processor time than wall time.
    EXPECT_LT(double(std::clock() - cpu_start) * 1000.0 / CLOCKS_PER_SEC, 50.0);
#endif
    port.set_read_timeout(0);  // no timeout: whatever is there, at once
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.read(28).empty());
    EXPECT_LT(elapsed_ms(start), 50.0);
}

TEST_F(SimTiming, ASpectrumIsReadableAfterIntegrationTimesAverages) {
    Port port(0, 3000);
    port.exchange(write_request(0xC1, 0x00, {0x00, 0x00, 0xC3, 0x50}));  // 50 ms
    port.exchange(write_request(0xC1, 0x10, {0x00, 0x00, 0x00, 0x02}));  // 2 scans
    auto start = std::chrono::steady_clock::now();
    Bytes answer = port.exchange(read_request(0xC6, 0, 1024));
    const double took = elapsed_ms(start);
    EXPECT_EQ(answer.size(), 4128u);
    EXPECT_GE(took, 100.0);
    EXPECT_LT(took, 1000.0);  // returned when the data were there, not at the 3 s timeout
    // latency 1 ms + 2 x 50 ms + 4128 bytes at 1 MB/s
    EXPECT_NEAR(orvsim_last_modeled_reply_ms(0), 1.0 + 100.0 + 4.128, 0.01);
}

TEST_F(SimTiming, BytesArriveAtTheLinkThroughput) {
    Port port(2, 2000);
    // 4096 + 32 bytes at 20 kB/s: about 206 ms after a 5 ms latency.
    port.write(read_request(0xC5, 0, 2048));
    port.set_read_timeout(100);
    Bytes early = port.read(4128);
    EXPECT_GT(early.size(), 1000u);
    EXPECT_LT(early.size(), 3900u);  // a loaded machine may return late
    port.set_read_timeout(2000);
    auto start = std::chrono::steady_clock::now();
    Bytes rest = port.read(4128 - early.size());
    EXPECT_EQ(early.size() + rest.size(), 4128u);
    EXPECT_GT(elapsed_ms(start), 50.0);
    EXPECT_NEAR(orvsim_last_modeled_reply_ms(2), 5.0 + 4128 / 20.0, 0.01);
}

TEST_F(SimTiming, TimeScaleShortensModelledDurations) {
    load(
        R"({"time_scale": 0.1, "bridges": [{"serial": "UV", "instrument": {"model": "SIM-UV1024"}}]})");
    Port port(0, 1000);
    port.exchange(read_request(0xC6, 0, 1024));
    EXPECT_NEAR(orvsim_last_modeled_reply_ms(0), (1.0 + 10.0 + 4.128) * 0.1, 0.01);
}

TEST_F(SimTiming, PurgeDropsWhatHasArrivedAndPartialRequests) {
    Port port(0, 100);
    port.write(read_request(0xC1, 0x10, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the answer has arrived
    EXPECT_EQ(FT_Purge(port.handle(), FT_PURGE_RX), FT_OK);
    EXPECT_TRUE(port.read(36).empty());

    // The start of a request left in the instrument spoils the next one (CRC
    // mismatch) unless the transmit side is purged.
    const Bytes request = read_request(0xC1, 0x10, 1);
    const Bytes half(request.begin(), request.begin() + 24);
    port.write(half);
    EXPECT_EQ(parse(port.exchange(request)).reply, 0xAC);  // exchange purges both sides
    port.write(half);
    port.write(request);
    EXPECT_EQ(parse(port.read(32)).reply, 0xE1);
}

TEST_F(SimTiming, AnAnswerStillOnItsWaySurvivesAPurge) {
    Port late(3, 1000);  // 300 ms from the request to the first answer byte
    late.write(read_request(0xC1, 0x10, 1));
    EXPECT_EQ(FT_Purge(late.handle(), FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(parse(late.read(36)).addr, 0x10u);

    // Part of a spectrum has arrived at 5 kB/s: only that part is dropped.
    Port crawl(4, 2000);
    crawl.write(read_request(0xC6, 0, 1024));  // 4128 bytes in about 840 ms
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(FT_Purge(crawl.handle(), FT_PURGE_RX), FT_OK);
    const Bytes rest = crawl.read(4128);
    EXPECT_GT(rest.size(), 1000u);
    EXPECT_LT(rest.size(), 4128u - 400u);  // at least 80 ms worth went
}

TEST_F(SimTiming, ALateAnswerArrivesDuringTheNextExchange) {
    load(R"({"bridges": [{"serial": "D", "instrument": {"model": "SIM-UV1024", "faults": [
        {"kind": "delay", "register": "C1", "address": "10", "ms": 400, "occurrence": 1}]}}]})");
    Port port(0, 100);
    EXPECT_TRUE(port.exchange(read_request(0xC1, 0x10, 1)).empty());  // gave up at 100 ms
    port.set_read_timeout(1000);
    // The next exchange purges before the late answer has arrived, so what it
    // reads first is the answer to the request before.
    EXPECT_EQ(parse(port.exchange(read_request(0xC1, 0x11, 1))).addr, 0x10u);
    EXPECT_EQ(parse(port.read(36)).addr, 0x11u);
}

TEST_F(SimTiming, CloseWakesABlockedRead) {
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_Open(1, &h), FT_OK);
    ASSERT_EQ(FT_SetTimeouts(h, 5000, 5000), FT_OK);
    auto start = std::chrono::steady_clock::now();
    std::thread closer([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        FT_Close(h);
    });
    uint8_t buf[4];
    DWORD got = 0;
    EXPECT_EQ(FT_Read(h, buf, 4, &got), FT_INVALID_HANDLE);
    closer.join();
    EXPECT_LT(elapsed_ms(start), 2000.0);
}

}  // namespace
