// Wavelength table and spectrum reads: the count cache, capacity checks, the
// NIR spectrum frame forms, short and over-long replies, the spectrum timeout.
#include <cstdio>

#include "commands/readout.h"
#include "device_record.h"
#include "sim_session.h"

namespace {

std::string hex(const std::vector<uint8_t> &bytes) {
    std::string s;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X ", v);
        s += b;
    }
    return s;
}

class Spectrum : public SimSession {};

TEST_F(Spectrum, TooSmallBuffersAreRefusedWithoutTrafficOnceTheCountIsKnown) {
    open_instrument(UV1024);
    uint16_t count = 0;
    ASSERT_EQ(DEVICE_CALL(get_wavelength_count, &count), ORV_OK);
    ASSERT_EQ(count, 1024);
    orvsim_reset_counters();
    std::vector<uint16_t> samples(count);
    std::vector<double> wavelengths(count);
    EXPECT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), count - 1),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(DEVICE_CALL(get_full_wavelength_data, wavelengths.data(), count - 1),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(writes(), 0);

    // With the count cached a spectrum is one exchange; after a reset the
    // count is asked for again first.
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), count), ORV_OK);
    EXPECT_EQ(writes(), 1);
    ASSERT_EQ(DEVICE_CALL(reset_device), ORV_OK);
    EXPECT_EQ(orvtest::session_device().wavelength_count_cache, 0);
    orvsim_reset_counters();
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), count), ORV_OK);
    EXPECT_EQ(writes(), 2);
}

TEST_F(Spectrum, NirSpectrumAsksForAnUnknownCountFirst) {
    open_instrument(NIR256);
    std::vector<uint16_t> samples(256);
    // The count sets the reply length: the table query first, then the spectrum.
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), 256), ORV_OK);
    EXPECT_EQ(writes(), 2);
    EXPECT_EQ(orvtest::session_device().wavelength_count_cache, 256);
    orvsim_reset_counters();
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), 256), ORV_OK);
    EXPECT_EQ(writes(), 1);
}

TEST_F(Spectrum, TableValuesAndEndsAsTheProtocolsReportThem) {
    // Little-endian singles (400.0 is 00 00 C8 43); UVVIS_ORV reports its
    // ends in table order, NIR_LEGACY always ascending.
    const std::vector<double> ascending = {400, 410, 420, 430, 440, 450, 460, 470};
    for (const std::string &base : {UV2048, NIR256}) {
        SCOPED_TRACE(base);
        open_instrument(small_instrument(base, "descending"));
        std::vector<double> table(8);
        ASSERT_EQ(DEVICE_CALL(get_full_wavelength_data, table.data(), 8), ORV_OK);
        EXPECT_EQ(table, std::vector<double>(ascending.rbegin(), ascending.rend()));
        double first = 0, last = 0;
        ASSERT_EQ(DEVICE_CALL(get_full_wavelength_range, &first, &last), ORV_OK);
        const bool nir = base == NIR256;
        EXPECT_EQ(first, nir ? 400.0 : 470.0);
        EXPECT_EQ(last, nir ? 470.0 : 400.0);
    }
}

TEST_F(Spectrum, NirFrameFormsAreStripped) {
    // An 8-pixel instrument is expected to send (8 + 6) * 2 = 28 bytes.
    const std::vector<uint8_t> long_header = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
    const std::vector<uint8_t> short_header = {0xAA, 0x55, 0xBB, 0x44};
    const std::vector<uint8_t> trailer = {0xDD, 0xDD, 0xAA, 0xAA};
    auto frame = [](std::vector<uint8_t> head, int samples, const std::vector<uint8_t> &tail) {
        for (int i = 1; i <= samples; ++i)
            head.insert(head.end(), {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Case {
        const char *name;
        std::vector<uint8_t> reply;
        int samples;
    };
    const Case cases[] = {
        {"long header and trailer", frame(long_header, 8, trailer), 8},
        // Starts like the long header but is not: bytes 4-7 are samples 1 and 2.
        {"short header, no trailer", frame(short_header, 12, {}), 12},
        {"short header and trailer", frame(short_header, 10, trailer), 10},
        {"neither", frame({}, 14, {}), 14},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        open_instrument(
            with_faults(small_instrument(NIR256),
                        R"({"kind": "data", "command": "53", "bytes": ")" + hex(c.reply) + "\"}"));
        std::vector<uint16_t> samples(16, 0xFFFF);
        int delivered = 0;
        ASSERT_EQ(read_spectrum(orvtest::session_device(), samples.data(), 16, &delivered), ORV_OK);
        ASSERT_EQ(delivered, c.samples);
        for (int i = 0; i < c.samples; ++i) EXPECT_EQ(samples[i], i + 1) << i;
        EXPECT_EQ(samples[c.samples], 0xFFFF);
        EXPECT_EQ(orvtest::session_device().wavelength_count_cache, c.samples);
    }
}

TEST_F(Spectrum, ShortAndOverlongUvvisRepliesStayInsideTheBuffers) {
    // A spectrum of 8 bytes fills 4 samples and leaves the rest alone.
    open_instrument(with_faults(UV2048, R"({"kind": "short_data", "bytes": 8, "register": "C6"})"));
    std::vector<uint16_t> samples(2048, 0xFFFF);
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), 2048), ORV_OK);
    EXPECT_NE(samples[3], 0xFFFF);
    EXPECT_EQ(samples[4], 0xFFFF);

    // Replies carrying far more than asked: only what was asked for is taken.
    open_instrument(with_faults(UV1024, R"({"kind": "extra_data", "bytes": 16352, "register": "C2"},
                                           {"kind": "extra_data", "bytes": 16352, "register": "C6"})"));
    uint16_t count = 0;
    ASSERT_EQ(DEVICE_CALL(get_wavelength_count, &count), ORV_OK);
    EXPECT_EQ(count, 1024);
    std::vector<uint16_t> exact(1025, 0xFFFF);
    int delivered = 0;
    ASSERT_EQ(read_spectrum(orvtest::session_device(), exact.data(), 1024, &delivered), ORV_OK);
    EXPECT_EQ(delivered, 1024);
    EXPECT_EQ(exact[1024], 0xFFFF);
}

class LongSpectrum : public SimSession, public ::testing::WithParamInterface<std::string> {
protected:
    void TearDown() override {
        SimSession::TearDown();
        orvtest::restore_builtin_settings();
    }
};

TEST_P(LongSpectrum, TimeoutFollowsIntegrationTimesAverages) {
    // 250 ms x 10 scans take 2.5 s: far beyond the 1010 ms of the defaults.
    open(one_bridge(GetParam(), 1.0));
    ASSERT_EQ(DEVICE_CALL(set_integration_time, 250000), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(set_average_number, 10), ORV_OK);
    uint16_t count = 0;
    ASSERT_EQ(DEVICE_CALL(get_wavelength_count, &count), ORV_OK);
    std::vector<uint16_t> samples(count);
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, samples.data(), count), ORV_OK);
    EXPECT_GT(orvsim_last_modeled_reply_ms(0), 2400.0);
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, LongSpectrum, ::testing::Values(UV1024, NIR256),
                         [](const auto &p) { return p.index == 0 ? "uvvis" : "nir"; });

}  // namespace
