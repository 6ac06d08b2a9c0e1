// The UVVIS_ORV instrument is at least as strict as a real one: a request
// that breaks a header field the protocol fixes, or does not fit its
// register, is refused with E2h and changes nothing; reply bytes that carry
// nothing hold filler; a flash commit's CRC must leave out the pad bytes.
#include "sim_support.h"

using namespace simtest;

namespace {

const char *kStrictScenario = R"({
  "time_scale": 0.01,
  "bridges": [
    { "serial": "STRICT", "instrument": { "model": "SIM-UV1024" } },
    { "serial": "LENIENT", "instrument": { "model": "SIM-UV1024", "filler": 0,
                                           "lenient_commit_crc": true } }
  ]
})";

class SimUvvisStrict : public ::testing::Test {
protected:
    void SetUp() override { load(kStrictScenario); }

    void expect_refused(Port &port, const Bytes &request) {
        Packet p = parse(port.exchange(request));
        EXPECT_TRUE(p.crc_ok);
        EXPECT_EQ(p.reply, 0xE2);
        EXPECT_EQ(p.status, 0xB);
    }
};

TEST_F(SimUvvisStrict, RequestsBreakingAFixedHeaderFieldAreRefusedAndChangeNothing) {
    Port port(0);
    const Bytes set_average = write_request(0xC1, 0x10, {0, 0, 0, 7});
    struct Case {
        const char *field;
        size_t offset;
        Bytes bytes;
    };
    const Case cases[] = {
        {"VER", 8, {0xCD}},
        {"TA: the host's address", 9, {0x00, 0x02}},
        {"SA: the instrument's address", 11, {0x00, 0x01}},
        {"FSN", 14, {0xEF}},
        {"FileLen other than DataLen in a write", 15, {0x00, 0x02}},
        {"SN: two packets", 19, {0x02}},
        {"SN: index 0", 20, {0x00}},
        {"ANS", 25, {0x00, 0x00, 0xAC}},
        {"DataLen in a read (service 0Dh)", 13, {0x0D}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.field);
        expect_refused(port, with_field(set_average, c.offset, c.bytes));
    }
    EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data, with_filler({0, 0, 0, 1}, 3));
    // With the fixed values the same request is carried out.
    EXPECT_EQ(parse(port.exchange(set_average)).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data, with_filler({0, 0, 0, 7}, 3));
}

TEST_F(SimUvvisStrict, WritesMustFitTheirRegister) {
    Port port(0);
    struct Case {
        const char *what;
        uint8_t reg, addr;
        Bytes data;
    };
    const Case cases[] = {
        {"byte in word with a free byte set", 0xC1, 0x10, {0, 1, 0, 7}},
        {"half in word with a free byte set", 0xC1, 0x43, {1, 0, 0x12, 0x34}},
        {"two words for a one-word register", 0xC1, 0x00, {0, 0, 0x4E, 0x20, 0, 0, 0, 0}},
        {"two words for the three-word serial number", 0xC2, 0x04, Bytes(8, 'X')},
        {"flash read request with its tail set", 0xC1, 0x4A, {0xC0, 0xDD, 1, 0, 0, 0, 0, 1}},
        {"external start with its tail set", 0xC1, 0x4C, {0xC0, 0xDD, 0, 7, 1, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_refused(port, write_request(c.reg, c.addr, c.data));
    }
    EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data[3], 1);
    EXPECT_EQ(read_reg(port, 0xC1, 0x43, 1).data, with_filler({0, 0, 0, 0}, 2));
    EXPECT_EQ(read_reg(port, 0xC1, 0x00, 1).data, (Bytes{0, 0, 0x27, 0x10}));
    EXPECT_EQ(read_reg(port, 0xC2, 0x04, 3).data[0], 'S');
    EXPECT_EQ(read_reg(port, 0xC1, 0x4C, 2).data[1], 0x00);  // never started
}

TEST_F(SimUvvisStrict, FreeReplyBytesCarryFillerUnlessTheScenarioAsksForZeros) {
    for (int index : {0, 1}) {
        SCOPED_TRACE(index);
        Port port(index);
        const uint8_t f = index == 0 ? kFiller : 0;
        EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data, (Bytes{f, f, f, 1}));        // average
        EXPECT_EQ(read_reg(port, 0xC1, 0x50, 1).data, (Bytes{f, f, f, 0xAA}));     // USB status
        EXPECT_EQ(read_reg(port, 0xC2, 0x03, 1).data, (Bytes{f, f, f, 50}));       // slit width
        EXPECT_EQ(read_reg(port, 0xC1, 0x40, 1).data, (Bytes{f, f, 0x01, 0xA4}));  // temperature
        EXPECT_EQ(read_reg(port, 0xC2, 0x0B, 1).data, (Bytes{f, f, 0x04, 0x00}));  // 1024 pixels
        EXPECT_EQ(read_reg(port, 0xC1, 0x4A, 2).data, (Bytes{0, 0, 0, 0, f, f, f, f}));
        // The spectrum words after the last of the 1024 pixels.
        const Bytes spectrum = read_reg(port, 0xC6, 0, 1024).data;
        ASSERT_EQ(spectrum.size(), 4096u);
        EXPECT_EQ(std::count(spectrum.begin() + 2048, spectrum.end(), f), 2048);
    }
}

TEST_F(SimUvvisStrict, CommitCrcMustLeaveOutThePadBytes) {
    // Writes the block, commits it with a CRC over `crc_over` and waits for
    // the outcome: AAh written, EEh refused.
    auto commit = [](Port &port, const Bytes &block, const Bytes &crc_over) {
        EXPECT_EQ(write_reg(port, 0xC7, 0, block).reply, 0xAC);
        EXPECT_EQ(write_reg(port, 0xC1, 0x4A, commit_request(0x0100, crc_over)).reply, 0xAC);
        uint8_t status = 0x55;
        for (int poll = 0; poll < 10 && status == 0x55; ++poll)
            status = read_reg(port, 0xC1, 0x4A, 2).data[1];
        return status;
    };
    const Bytes five = {1, 2, 3, 4, 5};                  // three pad bytes in the packet
    const Bytes padded = {1, 2, 3, 4, 5, 0, 0, 0};       // what the packet carries
    const Bytes ends_in_zero = {1, 2, 3, 4, 5, 0};       // a block whose last byte is 00h
    const Bytes whole_words = {9, 8, 7, 6, 5, 4, 3, 2};  // no pad at all
    for (int index : {0, 1}) {
        SCOPED_TRACE(index == 0 ? "strict" : "lenient");
        Port port(index);
        ASSERT_EQ(write_reg(port, 0xC1, 0x12, {0, 0, 0, 0xEA}).reply, 0xAC);
        EXPECT_EQ(commit(port, five, five), 0xAA);
        EXPECT_EQ(commit(port, five, padded), index == 0 ? 0xEE : 0xAA);
        EXPECT_EQ(commit(port, ends_in_zero, ends_in_zero), 0xAA);
        EXPECT_EQ(commit(port, whole_words, whole_words), 0xAA);
        EXPECT_EQ(commit(port, five, {1, 2, 3}), 0xEE);
    }
}

}  // namespace
