// The UVVIS_ORV instrument is at least as strict as a real one: a request
// that breaks a header field the protocol fixes, or does not fit its
// register, is refused with E2h and changes nothing.
#include "sim_support.h"

using namespace simtest;

namespace {

const char *kScenario = R"({
  "time_scale": 0.01,
  "bridges": [ { "serial": "STRICT", "instrument": { "model": "SIM-UV1024" } } ]
})";

class SimUvvisStrict : public ::testing::Test {
protected:
    void SetUp() override { load(kScenario); }

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
    EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data, (Bytes{0, 0, 0, 1}));
    // With the fixed values the same request is carried out.
    EXPECT_EQ(parse(port.exchange(set_average)).reply, 0xAC);
    EXPECT_EQ(read_reg(port, 0xC1, 0x10, 1).data, (Bytes{0, 0, 0, 7}));
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
    EXPECT_EQ(read_reg(port, 0xC1, 0x43, 1).data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(read_reg(port, 0xC1, 0x00, 1).data, (Bytes{0, 0, 0x27, 0x10}));
    EXPECT_EQ(read_reg(port, 0xC2, 0x04, 3).data[0], 'S');
    EXPECT_EQ(read_reg(port, 0xC1, 0x4C, 2).data[1], 0x00);  // never started
}

}  // namespace
