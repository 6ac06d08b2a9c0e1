// The UVVIS_ORV instrument answered byte for byte through FT_Write/FT_Read.
#include <cmath>
#include <string>

#include "sim_support.h"

using namespace simtest;

namespace {

const char *kUvvisScenario = R"({
  "time_scale": 0.01,
  "bridges": [
    { "serial": "UV1", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV2048", "flash_busy_polls": 2,
                      "stored": { "integration_us": 5000, "average": 3, "smoothing": 2 } } },
    { "serial": "UV2", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV1024", "order": "descending", "full_scale": 4000 } }
  ]
})";

class SimUvvis : public ::testing::Test {
protected:
    void SetUp() override { load(kUvvisScenario); }
};

TEST_F(SimUvvis, AnswersAHandMadeModelQuery) {
    Port port(0);
    // Read C1h/000046h, 4 words; the CRC-32 of bytes 8..27 computed outside this code base.
    const Bytes request = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB, 0xCC, 0x00, 0x01,
                           0x00, 0x02, 0x0D, 0xEE, 0x00, 0x04, 0x00, 0x00, 0x01, 0x01, 0xC1,
                           0x00, 0x00, 0x46, 0x00, 0x00, 0x00, 0xDE, 0xE1, 0x2E, 0xE5};
    ASSERT_EQ(request, read_request(0xC1, 0x46, 4));
    Bytes answer = port.exchange(request);
    ASSERT_EQ(answer.size(), 48u);
    Packet p = parse(answer);
    EXPECT_TRUE(p.preamble_ok);
    EXPECT_TRUE(p.crc_ok);
    EXPECT_EQ(p.srv, 0xE0);
    EXPECT_EQ(p.fsn, 0xEE);
    EXPECT_EQ(p.reg, 0xC1);
    EXPECT_EQ(p.addr, 0x46u);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.reply, 0xAC);
    EXPECT_EQ(p.data_len, 4);
    EXPECT_EQ(std::string(p.data.begin(), p.data.end()), std::string("SIM-UV2048\0\0\0\0\0\0", 16));
}

TEST_F(SimUvvis, WritesAreAcknowledgedAndReadBack) {
    Port port(0);
    struct Case {
        uint8_t reg;
        uint32_t addr;
        Bytes value;
        size_t free_bytes;  // leading bytes that carry nothing
    };
    const Case cases[] = {
        {0xC1, 0x00, {0x00, 0x03, 0xD0, 0x90}, 0},        // integration 250000 us
        {0xC1, 0x01, {0, 0, 0, 5, 0, 0, 0x01, 0x00}, 0},  // xenon pulse
        {0xC1, 0x03, {0, 0, 0, 2}, 3},                    // xenon mode
        {0xC1, 0x10, {0, 0, 0, 0}, 3},                    // average 0 is taken as given
        {0xC1, 0x11, {0, 0, 0, 1}, 3},                    // level
        {0xC1, 0x43, {0, 0, 0x12, 0x34}, 2},              // baud code
        {0xC1, 0x51, {0x81, 0x02, 0x00, 0x07}, 0},        // trigger
        {0xC1, 0x64, {0xFF, 0xF0, 0x00, 0x00}, 0},        // DAC
        {0xC2, 0x02, {0, 0, 0, 9}, 3},                    // stored smoothing
        {0xC2,
         0x04,
         {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'},
         0},  // serial number
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.reg) << "/" << c.addr);
        Packet ack = write_reg(port, c.reg, c.addr, c.value);
        EXPECT_EQ(ack.srv, 0xEA);
        EXPECT_EQ(ack.reply, 0xAC);
        EXPECT_EQ(ack.data_len, 0);
        EXPECT_EQ(ack.reg, c.reg);
        EXPECT_EQ(ack.addr, c.addr);
        Packet back = read_reg(port, c.reg, c.addr, static_cast<uint16_t>(c.value.size() / 4));
        EXPECT_EQ(back.reply, 0xAC);
        EXPECT_EQ(back.data, with_filler(c.value, c.free_bytes));
    }
    // Live and stored integration times are separate registers.
    EXPECT_EQ(be32(read_reg(port, 0xC2, 0x00, 1).data.data()), 5000u);
    EXPECT_EQ(read_reg(port, 0xC2, 0x01, 1).data, with_filler({0, 0, 0, 3}, 3));
}

TEST_F(SimUvvis, RefusesWhatItCannotDo) {
    Port port(0);
    Packet unknown = read_reg(port, 0xC1, 0x99, 1);
    EXPECT_EQ(unknown.reply, 0xE2);
    EXPECT_EQ(unknown.status, 0xB);
    EXPECT_EQ(unknown.data_len, 0);
    EXPECT_EQ(read_reg(port, 0xC1, 0x13, 1).reply, 0xE2);                 // reset is write-only
    EXPECT_EQ(write_reg(port, 0xC1, 0x46, Bytes(16, 'x')).reply, 0xE2);   // model is read-only
    EXPECT_EQ(write_reg(port, 0xC1, 0x00, {0, 0, 0, 0}).reply, 0xE2);     // integration 0
    EXPECT_EQ(write_reg(port, 0xC1, 0x00, {0xFF, 0, 0, 0}).reply, 0xE2);  // beyond the range

    Bytes corrupt = read_request(0xC1, 0x00, 1);
    corrupt[30] ^= 0x01;
    Packet crc = parse(port.exchange(corrupt));
    EXPECT_EQ(crc.reply, 0xE1);
    EXPECT_TRUE(crc.crc_ok);  // the answer itself is sound
}

TEST_F(SimUvvis, IgnoresBytesThatAreNoPacketAndResynchronises) {
    Port port(0, 50);
    port.write(nir_frame({0x56}));
    EXPECT_TRUE(port.read(1).empty());
    Bytes noise_then_packet = {0x00, 0xAA, 0x13, 0xAA, 0xAA};
    Bytes request = read_request(0xC1, 0x10, 1);
    noise_then_packet.insert(noise_then_packet.end(), request.begin(), request.end());
    port.write(noise_then_packet);
    EXPECT_EQ(parse(port.read(36)).data, with_filler({0, 0, 0, 1}, 3));
}

TEST_F(SimUvvis, DescribesItsWavelengthTable) {
    for (int index : {0, 1}) {
        SCOPED_TRACE(index);
        Port port(index);
        const uint32_t pixels = index == 0 ? 2048 : 1024;
        Packet count = read_reg(port, 0xC2, 0x0B, 1);
        EXPECT_EQ(count.data,
                  with_filler(
                      {0, 0, static_cast<uint8_t>(pixels >> 8), static_cast<uint8_t>(pixels)}, 2));

        Packet table = read_reg(port, 0xC5, 0, 2048);
        ASSERT_EQ(table.data.size(), pixels * 4);
        Packet range = read_reg(port, 0xC2, 0x0D, 4);
        ASSERT_EQ(range.data.size(), 16u);
        const double first = be64_double(range.data.data()),
                     last = be64_double(range.data.data() + 8);
        EXPECT_EQ(first, le_float(&table.data[0]));
        EXPECT_EQ(last, le_float(&table.data[(pixels - 1) * 4]));
        EXPECT_EQ(first < last, index == 0);  // the second instrument reports a descending table

        // A slice from a start index, cut at the end of the table.
        Packet slice = read_reg(port, 0xC5, pixels - 3, 10);
        EXPECT_EQ(slice.data, Bytes(table.data.end() - 12, table.data.end()));
        EXPECT_EQ(read_reg(port, 0xC5, pixels, 1).reply, 0xE2);
    }
}

TEST_F(SimUvvis, SpectraLookRealAndRepeatForTheSameSeed) {
    auto spectrum = [&](Port &port) {
        Packet p = read_reg(port, 0xC6, 0, 1024);
        EXPECT_EQ(p.data.size(), 4096u);
        std::vector<uint16_t> s;
        for (size_t i = 0; i + 1 < p.data.size(); i += 2)
            s.push_back(static_cast<uint16_t>(p.data[i] << 8 | p.data[i + 1]));
        return s;
    };
    std::vector<uint16_t> first, second;
    {
        Port port(0);
        first = spectrum(port);
        std::vector<uint16_t> next = spectrum(port);
        EXPECT_NE(first, next);  // fresh noise for every spectrum
        uint16_t lo = 65535, hi = 0;
        for (uint16_t v : first) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        EXPECT_GT(lo, 100);
        EXPECT_GT(hi, 20000);
        EXPECT_LT(hi, 65535);
        // Twice the integration time, about twice the signal above the dark level.
        write_reg(port, 0xC1, 0x00, {0x00, 0x00, 0x4E, 0x20});  // 20000 us
        std::vector<uint16_t> doubled = spectrum(port);
        const size_t mid = static_cast<size_t>(std::min_element(first.begin(), first.end(),
                                                                [](uint16_t a, uint16_t b) {
                                                                    return std::abs(a - 15000) <
                                                                           std::abs(b - 15000);
                                                                }) -
                                               first.begin());
        EXPECT_NEAR((doubled[mid] - 800.0) / (first[mid] - 800.0), 2.0, 0.05);
    }
    load(kUvvisScenario);
    {
        Port port(0);
        second = spectrum(port);
    }
    EXPECT_EQ(first, second);

    Port small(1);  // 1024 pixels, 4000 counts full scale: zero padding, clipping
    write_reg(small, 0xC1, 0x00, {0x00, 0x0F, 0x42, 0x40});  // 1 s
    std::vector<uint16_t> clipped = spectrum(small);
    EXPECT_EQ(*std::max_element(clipped.begin(), clipped.begin() + 1024), 4000);
    EXPECT_EQ(std::count(clipped.begin() + 1024, clipped.end(), kFiller << 8 | kFiller), 1024);
}

}  // namespace

namespace {

// Flash transfers: write-protect gate, busy polls, read back.
TEST_F(SimUvvis, FlashHandshakeAndWriteProtectGate) {
    Port port(0);
    auto poll = [&] { return read_reg(port, 0xC1, 0x4A, 2).data; };
    const Bytes block = {1, 2, 3, 4, 5};  // padded to 8 bytes by the packet
    const Bytes gate_closed = with_filler({0, 0, 0, 0}, 3);

    EXPECT_EQ(read_reg(port, 0xC1, 0x12, 1).data, gate_closed);  // closed at power-up
    Packet refused = write_reg(port, 0xC7, 0, block);
    EXPECT_EQ(refused.reply, 0xE3);
    EXPECT_EQ(refused.status, 0xE);
    EXPECT_EQ(write_reg(port, 0xC1, 0x4A, commit_request(0x0100, block)).reply, 0xE3);

    EXPECT_EQ(write_reg(port, 0xC1, 0x12, {0, 0, 0, 0xEA}).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x12, 1).data, with_filler({0, 0, 0, 0xEA}, 3));
    EXPECT_EQ(write_reg(port, 0xC7, 0, block).reply, 0xAC);
    EXPECT_EQ(write_reg(port, 0xC1, 0x4A, commit_request(0x0100, block)).reply, 0xAC);
    EXPECT_EQ(poll()[1], 0x55);  // busy twice, then done
    EXPECT_EQ(poll()[1], 0x55);
    EXPECT_EQ(poll(), (Bytes{0xCF, 0xAA, 0x01, 0x00, kFiller, kFiller, kFiller, kFiller}));

    // Read back: request, poll, data register.
    EXPECT_EQ(write_reg(port, 0xC1, 0x4A, {0xC0, 0xDD, 0x01, 0x00, 0, 0, 0, 0}).reply, 0xAC);
    poll();
    poll();
    EXPECT_EQ(poll()[1], 0xAA);
    Packet data = read_reg(port, 0xC7, 0, 2);
    EXPECT_EQ(data.data,
              (Bytes{1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF}));  // the pad bytes were not stored
    Packet data_whole = read_reg(port, 0xC7, 0, 256);
    EXPECT_EQ(data_whole.data.size(), 1024u);
    EXPECT_EQ(data_whole.data[8], 0xFF);

    // Reset closes the gate again.
    EXPECT_EQ(write_reg(port, 0xC1, 0x13, {0, 0, 0, 0xAA}).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x12, 1).data, gate_closed);
}

TEST_F(SimUvvis, ResetRestoresThePowerUpSettingsOnly) {
    Port port(0);
    write_reg(port, 0xC1, 0x00, {0, 0, 0x4E, 0x20});
    write_reg(port, 0xC2, 0x00, {0, 0, 0x4E, 0x20});
    EXPECT_EQ(write_reg(port, 0xC1, 0x13, {0, 0, 0, 0x55}).reply, 0xE2);
    EXPECT_EQ(write_reg(port, 0xC1, 0x13, {0, 0, 0, 0xAA}).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x00, 1).data, (Bytes{0, 0, 0x27, 0x10}));
    EXPECT_EQ(read_reg(port, 0xC2, 0x00, 1).data, (Bytes{0, 0, 0x4E, 0x20}));
}

TEST_F(SimUvvis, ExternalAcquisitionHandshake) {
    Port port(0);
    EXPECT_EQ(read_reg(port, 0xC1, 0x4C, 2).data[1], 0x00);  // idle
    EXPECT_EQ(write_reg(port, 0xC1, 0x4C, {0xC0, 0xDD, 0x00, 0x07, 0, 0, 0, 0}).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x4C, 2).data[1], 0x55);
    EXPECT_EQ(read_reg(port, 0xC1, 0x4C, 2).data,
              (Bytes{0xC0, 0xAA, 0x00, 0x07, kFiller, kFiller, kFiller, kFiller}));
    EXPECT_EQ(read_reg(port, 0xC6, 0, 1024).data.size(), 4096u);
}

}  // namespace
