// Packet diagnostics: dump and listing output byte for byte, and the names
// of service, reply and result codes.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <numeric>
#include <vector>

#include "header_declarations.h"
#include "orv.h"
#include "stdout_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string dump(const Bytes &b) {
    return capture_stdout([&] { orv_dump_hex(b.data(), static_cast<int>(b.size())); });
}

Bytes counting(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{0});
    return b;
}

std::string listing(const Bytes &pkt) {
    auto rec = std::make_unique<orv_parsed_packet>();
    orv_parse_response(pkt.data(), static_cast<int>(pkt.size()), rec.get());
    return capture_stdout([&] { orv_print_parsed(rec.get()); });
}

// Response: VER 12h, TA 2, SA 1, SRV E0h, FSN EEh, FileLen = DataLen = 10,
// SN 1/1, Reg C6h, Addr 000100h, status 14, reply E3h, data 00h..27h, CRC.
Bytes forbidden_response() {
    Bytes p = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB, 0x12, 0x00, 0x02, 0x00, 0x01, 0xE0,
               0xEE, 0x00, 0x0A, 0x00, 0x0A, 0x01, 0x01, 0xC6, 0x00, 0x01, 0x00, 0xE0, 0x00, 0xE3};
    const Bytes data = counting(40);
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0x63, 0x40, 0xD1, 0xC9});
    return p;
}

TEST(DumpHex, WrapsAfterEvery16BytesWithSevenSpaceIndent) {
    EXPECT_EQ(dump(counting(3)), " 00 01 02\n");
    EXPECT_EQ(dump(counting(16)), " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n");
    EXPECT_EQ(dump(counting(17)),
              " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
              "        10\n");
    EXPECT_EQ(dump(counting(32)),
              " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
              "        10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n");
    EXPECT_EQ(dump({0xAB, 0xFF}), " AB FF\n");
}

TEST(DumpHex, EmptyOrNullInputWritesOnlyTheNewline) {
    EXPECT_EQ(dump({}), "\n");
    EXPECT_EQ(capture_stdout([] { orv_dump_hex(nullptr, 8); }), "\n");
    EXPECT_EQ(capture_stdout([] { orv_dump_hex(nullptr, -1); }), "\n");
}

TEST(Names, ResultCodesAsTheHeaderDefinesThem) {
    const auto codes = orvtest::header_result_codes();
    ASSERT_EQ(codes.size(), 12u) << "orv.h not read, or result codes added: update this count";
    for (const auto &[name, value] : codes) {
        EXPECT_STREQ(orv_result_name(value), name.c_str()) << value;
    }
    for (int other : {1, -12, 255, INT_MIN, INT_MAX}) {
        EXPECT_STREQ(orv_result_name(other), "unknown") << other;
    }
}

TEST(Names, ServiceAndReplyCodes) {
    EXPECT_STREQ(orv_srv_name(0x0D), "Read Memory (Query)");
    EXPECT_STREQ(orv_srv_name(0x3D), "Write Memory (No ACK)");
    EXPECT_STREQ(orv_srv_name(0xAD), "Write Memory (With ACK)");
    EXPECT_STREQ(orv_srv_name(0xE0), "Response (With Data)");
    EXPECT_STREQ(orv_srv_name(0xEA), "Response (Write ACK)");
    EXPECT_STREQ(orv_srv_name(0xAC), "Unknown Service");
    EXPECT_STREQ(orv_srv_name(0x00), "Unknown Service");

    EXPECT_STREQ(orv_ans_reply_name(0xAC), "Normal ACK");
    EXPECT_STREQ(orv_ans_reply_name(0xE0), "Command Timeout");
    EXPECT_STREQ(orv_ans_reply_name(0xE1), "CRC Mismatch");
    EXPECT_STREQ(orv_ans_reply_name(0xE2), "Invalid Command");
    EXPECT_STREQ(orv_ans_reply_name(0xE3), "Write Protect Not Open");
    EXPECT_STREQ(orv_ans_reply_name(0x0D), "Unknown Reply");
    EXPECT_STREQ(orv_ans_reply_name(0xFF), "Unknown Reply");
}

TEST(PrintParsed, ListsEveryFieldAndCutsDataAfter32Bytes) {
    EXPECT_EQ(
        listing(forbidden_response()),
        "  ├─ PRE:  AA AA AA AA AA AA AA AB  (Preamble)\n"
        "  ├─ VER:  12                    (Protocol v1.2)\n"
        "  ├─ TA:   00 02                  (Target: 02h)\n"
        "  ├─ SA:   00 01                  (Source: 01h)\n"
        "  ├─ SRV:  E0                    (Response (With Data))\n"
        "  ├─ FSN:  EE                    (File SN: 238)\n"
        "  ├─ LN:   000A 000A            (FileLen=10, DataLen=10)\n"
        "  ├─ SN:   01 01                  (Packets=1, Index=1)\n"
        "  ├─ PIO:  C6 000100             (Reg=C6h, Addr=000100h)\n"
        "  ├─ ANS:  E 00 E3               (Status=14=Forbidden, Reply=E3h=Write Protect Not Open)\n"
        "  ├─ DATA: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 "
        "1A 1B 1C "
        "1D 1E 1F ... (40 bytes)\n"
        "  └─ CRC:  6340D1C9              (CRC OK)\n");
}

TEST(PrintParsed, NoDataFailedCrcAndUnknownNames) {
    // The query packet parsed as if it were a response: no data; one CRC byte flipped.
    Bytes pkt = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB, 0xCC, 0x00, 0x01,
                 0x00, 0x02, 0x0D, 0xEE, 0x00, 0x04, 0x00, 0x00, 0x01, 0x01, 0xC1,
                 0x00, 0x00, 0x46, 0x70, 0x00, 0x00, 0xDE, 0xE1, 0x2E, 0xE4};
    const std::string out = listing(pkt);
    EXPECT_NE(out.find("  ├─ SRV:  0D                    (Read Memory (Query))\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  ├─ DATA:  (no data)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  └─ CRC:  DEE12EE4              (CRC FAIL)\n"), std::string::npos) << out;
}

TEST(PrintParsed, AnsLineNamesStatusAndReply) {
    struct Case {
        uint8_t byte25;
        uint8_t reply;
        const char *line;
    };
    for (const Case c :
         {Case{0x00, 0xAC,
               "  ├─ ANS:  0 00 AC               (Status=0=Normal, Reply=ACh=Normal ACK)\n"},
          Case{0xB0, 0xE1,
               "  ├─ ANS:  B 00 E1               (Status=11=Failed, Reply=E1h=CRC Mismatch)\n"},
          Case{0x7F, 0x00,
               "  ├─ ANS:  7 00 00               (Status=7=Unknown, Reply=00h=Unknown Reply)\n"}}) {
        Bytes pkt = forbidden_response();
        pkt[25] = c.byte25;
        pkt[26] = 0x55;  // the middle answer byte always lists as 00
        pkt[27] = c.reply;
        const std::string out = listing(pkt);
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
    }
}

TEST(PrintParsed, WrongPreamblePrintsOnlyTheErrorLine) {
    Bytes pkt = forbidden_response();
    pkt[0] = 0x55;
    EXPECT_EQ(listing(pkt), "  [ERROR] Preamble mismatch, not a valid ORV packet\n");
    EXPECT_EQ(capture_stdout([] { orv_print_parsed(nullptr); }), "");
}

}  // namespace
