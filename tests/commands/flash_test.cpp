// Flash memory (gate, read and write handshakes, completion poll), reset,
// external spectrum control and the stored settings.
#include <chrono>
#include <numeric>

#include "device_record.h"
#include "sim_session.h"
#include "wire/byte_order.h"

namespace {

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), uint8_t{7});
    return v;
}

class Flash : public SimSession {};

TEST_F(Flash, WriteThenReadRoundTripOnBothProtocols) {
    const std::vector<uint8_t> block = pattern(200);
    for (const std::string &base : {UV2048, NIR256}) {
        SCOPED_TRACE(base);
        open_instrument(base);
        ASSERT_EQ(DEVICE_CALL(set_flash_write_protect), ORV_OK);  // NIR writes need the gate opened
        int32_t open = 0;
        ASSERT_EQ(DEVICE_CALL(get_flash_write_protect, &open), ORV_OK);
        EXPECT_EQ(open, 1);
        ASSERT_EQ(DEVICE_CALL(flash_write, 0x0100, block.data(), 200), ORV_OK);
        std::vector<uint8_t> back(200);
        ASSERT_EQ(DEVICE_CALL(flash_read, 0x0100, back.data(), 200), 200);
        EXPECT_EQ(back, block);
        // A reset closes the gate again.
        ASSERT_EQ(DEVICE_CALL(reset_device), ORV_OK);
        ASSERT_EQ(DEVICE_CALL(get_flash_write_protect, &open), ORV_OK);
        EXPECT_EQ(open, 0);
    }
}

TEST_F(Flash, UvvisReadsWholeWordsButStoresOnlyTheLengthAskedFor) {
    open_instrument(UV2048);
    std::vector<uint8_t> buf(2000, 0x5A);
    EXPECT_EQ(DEVICE_CALL(flash_read, 0, buf.data(), 5), 8);  // two words arrived
    EXPECT_EQ(buf[4], 0xFF);                                  // erased flash
    EXPECT_EQ(buf[5], 0x5A);
    EXPECT_EQ(DEVICE_CALL(flash_read, 0, buf.data(), 2000), 1024);  // at most 256 words per call
}

TEST_F(Flash, WriteIsRefusedWhileTheGateStaysClosed) {
    // The gate-opening write is answered but not carried out.
    open_instrument(with_faults(
        UV2048,
        R"({"kind": "reply_code", "code": "AC", "register": "C1", "address": "12", "access": "write"})"));
    const std::vector<uint8_t> block = pattern(16);
    EXPECT_EQ(DEVICE_CALL(flash_write, 0, block.data(), 16), ORV_ERR_WRITE_PROTECTED);
}

TEST_F(Flash, CompletionPollOutcomes) {
    const std::vector<uint8_t> block = pattern(16);
    // Busy three times, then done: gate, data, commit and four polls.
    open_instrument(UV2048 + R"(, "flash_busy_polls": 3)");
    EXPECT_EQ(DEVICE_CALL(flash_write, 0, block.data(), 16), ORV_OK);
    EXPECT_EQ(writes(), 7);

    // Failed status (the block does not fit the end of flash): no further polls.
    open_instrument(UV2048 + R"(, "flash_busy_polls": 0)");
    EXPECT_EQ(DEVICE_CALL(flash_write, 0xFFF8, block.data(), 16), ORV_ERR_TRANSPORT);
    EXPECT_EQ(writes(), 4);

    // Busy beyond the limit: 50 polls 50 ms apart, then a timeout.
    open_instrument(UV2048 + R"(, "flash_busy_polls": 60)");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DEVICE_CALL(flash_write, 0, block.data(), 16), ORV_ERR_TIMEOUT);
    EXPECT_EQ(writes(), 3 + 50);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2400));
}

TEST_F(Flash, CommitCrcCoversTheBlockWithoutPadBytes) {
    // Refusing the commit makes it the last request the instrument saw.
    open_instrument(with_faults(
        UV2048,
        R"({"kind": "reply_code", "code": "E2", "register": "C1", "address": "4A", "access": "write"})"));
    const uint8_t block[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(DEVICE_CALL(flash_write, 0x1234, block, 5), ORV_ERR_TRANSPORT);
    std::vector<uint8_t> commit = last_request_data();
    ASSERT_EQ(commit.size(), 8u);
    EXPECT_EQ(commit[0], 0xCF);
    EXPECT_EQ(commit[1], 0xDD);
    EXPECT_EQ(commit[2], 0x12);
    EXPECT_EQ(commit[3], 0x34);
    EXPECT_EQ(get_be32(commit.data() + 4), static_cast<uint32_t>(orv_crc32(block, 5)));
}

TEST_F(Flash, ExternalSpectrumReturnsBytesStored) {
    open_instrument(UV2048);
    std::vector<uint16_t> samples(2048);
    EXPECT_EQ(DEVICE_CALL(external_spectrum_control, 0x0102, samples.data(), 2048), 4096);
    EXPECT_EQ(DEVICE_CALL(external_spectrum_control, 0x0102, samples.data(), 100), 200);
}

TEST_F(Flash, StoredSettingsAreKeptApartFromTheLiveOnes) {
    open_instrument(UV2048 + R"(, "integration_us": 12000)");
    orvtest::session_device().current_integration_us = 10000;
    ASSERT_EQ(DEVICE_CALL(set_stored_integration_time, 500000), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(set_stored_average_number, 9), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(set_stored_smoothing_width, 4), ORV_OK);
    uint32_t us = 0;
    uint8_t average = 0, smoothing = 0;
    ASSERT_EQ(DEVICE_CALL(get_stored_integration_time, &us), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_stored_average_number, &average), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_stored_smoothing_width, &smoothing), ORV_OK);
    EXPECT_EQ(us, 500000u);
    EXPECT_EQ(average, 9);
    EXPECT_EQ(smoothing, 4);
    EXPECT_EQ(orvtest::session_device().current_integration_us, 10000u);
    ASSERT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_OK);
    EXPECT_EQ(us, 12000u);

    // A reset brings the live settings back to their power-up values.
    ASSERT_EQ(DEVICE_CALL(set_integration_time, 30000), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(reset_device), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_OK);
    EXPECT_EQ(us, 12000u);
    orvtest::restore_builtin_settings();
}

}  // namespace
