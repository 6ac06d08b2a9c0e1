// Request builders and the response decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "response_packet.h"
#include "wire/uvvis_packet.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t SENTINEL = 0x5A;

uint32_t crc_of(const Bytes &b, size_t from, size_t to) {
    return static_cast<uint32_t>(orv_crc32(b.data() + from, static_cast<int>(to - from)));
}

uint32_t be32_at(const Bytes &b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

// A response as an instrument sends it, with header fields liborv does not
// look at set to values of their own.
Bytes make_response(uint8_t srv, uint8_t reg, uint32_t addr, uint8_t ans_byte25, uint8_t reply,
                    const Bytes &data) {
    return orvtest::make_response({.srv = srv,
                                   .reg = reg,
                                   .addr = addr,
                                   .fsn = 0x07,
                                   .reply = reply,
                                   .ans_byte25 = ans_byte25,
                                   .packets = 3,
                                   .index = 2},
                                  data);
}

// The record is 24 KiB: keep it off the stack.
std::unique_ptr<orv_parsed_packet> fresh_record() {
    auto rec = std::make_unique<orv_parsed_packet>();
    std::memset(rec.get(), 0xFF, sizeof *rec);  // so "zeroed" is observable
    return rec;
}

bool all_zero(const orv_parsed_packet &rec) {
    const auto *b = reinterpret_cast<const uint8_t *>(&rec);
    return std::all_of(b, b + sizeof rec, [](uint8_t v) { return v == 0; });
}

int parse(const Bytes &b, orv_parsed_packet *out) {
    return orv_parse_response(b.data(), static_cast<int>(b.size()), out);
}

TEST(BuildQuery, ProducesTheDocumentedReadRequest) {
    Bytes out(64, SENTINEL);
    ASSERT_EQ(uvvis_build_query(ORV_REG_PARAMS, 0x000046, 4, out.data()), 32);
    const Bytes expected = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB, 0xCC, 0x00, 0x01, 0x00,
                            0x02, 0x0D, 0xEE, 0x00, 0x04, 0x00, 0x00, 0x01, 0x01, 0xC1, 0x00, 0x00,
                            0x46, 0x00, 0x00, 0x00,
                            // CRC-32 of bytes 8..27, most significant byte first
                            0xDE, 0xE1, 0x2E, 0xE5};
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), expected);
    EXPECT_TRUE(std::all_of(out.begin() + 32, out.end(), [](uint8_t v) { return v == SENTINEL; }));
}

TEST(BuildQuery, UsesOnlyTheLow24AddressBitsAndLow16WordBits) {
    Bytes out(32);
    uvvis_build_query(ORV_REG_SPECTRUM, 0xAB123456u, 0x12345, out.data());
    EXPECT_EQ(out[15], 0x23);
    EXPECT_EQ(out[16], 0x45);
    EXPECT_EQ(out[17], 0x00);
    EXPECT_EQ(out[18], 0x00);
    EXPECT_EQ(out[21], ORV_REG_SPECTRUM);
    EXPECT_EQ(out[22], 0x12);
    EXPECT_EQ(out[23], 0x34);
    EXPECT_EQ(out[24], 0x56);
    EXPECT_EQ(be32_at(out, 28), crc_of(out, 8, 28));
}

// len data bytes -> packet length and word count; the padding is zero even
// when the output buffer held other bytes, and nothing past the packet is written.
TEST(BuildWrite, PadsDataToWholeWords) {
    struct Case {
        int len;
        int packet;
        uint8_t words;
    };
    for (const Case c :
         {Case{5, 40, 2}, Case{4, 36, 1}, Case{0, 32, 0}, Case{1, 36, 1}, Case{8, 40, 2}}) {
        SCOPED_TRACE(c.len);
        const Bytes data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
        Bytes out(64, SENTINEL);
        ASSERT_EQ(uvvis_build_write(ORV_REG_STORED, 0x000010, data.data(), c.len, out.data()),
                  c.packet);
        EXPECT_EQ(out[13], ORV_SRV_WRITE_ACK);
        EXPECT_EQ(out[15], 0);
        EXPECT_EQ(out[16], c.words);  // FileLen
        EXPECT_EQ(out[17], 0);
        EXPECT_EQ(out[18], c.words);  // DataLen
        EXPECT_EQ(out[21], ORV_REG_STORED);
        EXPECT_EQ(out[24], 0x10);
        const auto payload = out.begin() + ORV_PACKET_HEADER_SIZE;
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.len, payload));
        EXPECT_TRUE(std::all_of(payload + c.len, out.begin() + c.packet - 4,
                                [](uint8_t v) { return v == 0; }));
        EXPECT_EQ(be32_at(out, static_cast<size_t>(c.packet - 4)),
                  crc_of(out, 8, static_cast<size_t>(c.packet - 4)));
        EXPECT_TRUE(std::all_of(out.begin() + c.packet, out.end(),
                                [](uint8_t v) { return v == SENTINEL; }));
    }
}

TEST(BuildWrite, DecodesAsAValidPacket) {
    const Bytes data = {1, 2, 3, 4, 5, 6};
    Bytes out(40);
    const int n = uvvis_build_write(ORV_REG_FLASH_DATA, 0x000200, data.data(), 6, out.data());
    auto rec = fresh_record();
    ASSERT_EQ(orv_parse_response(out.data(), n, rec.get()), ORV_OK);
    EXPECT_EQ(rec->pre_ok, 1);
    EXPECT_EQ(rec->crc_ok, 1);
    EXPECT_EQ(rec->ver, 0xCC);
    EXPECT_EQ(rec->ta, 0x0001);
    EXPECT_EQ(rec->sa, 0x0002);
    EXPECT_EQ(rec->fsn, 0xEE);
    EXPECT_EQ(rec->packets, 1);
    EXPECT_EQ(rec->index, 1);
    EXPECT_EQ(rec->data_len, 2);
    EXPECT_EQ(rec->data_size, 8);
    EXPECT_EQ(rec->addr, 0x000200u);
}

TEST(ParseResponse, DecodesEveryField) {
    const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    const Bytes pkt =
        make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0x123456, 0xB0, ORV_REPLY_ACK, data);
    auto rec = fresh_record();
    ASSERT_EQ(parse(pkt, rec.get()), ORV_OK);
    EXPECT_EQ(rec->raw_len, 40);
    EXPECT_EQ(0, std::memcmp(rec->raw, pkt.data(), pkt.size()));
    EXPECT_EQ(rec->raw[40], 0);  // the rest of raw was zeroed
    EXPECT_EQ(0, std::memcmp(rec->pre, ORV_PREAMBLE, 8));
    EXPECT_EQ(rec->ver, 0xCC);
    EXPECT_EQ(rec->ta, 0x0002);
    EXPECT_EQ(rec->sa, 0x0001);
    EXPECT_EQ(rec->srv, ORV_SRV_RESP_DATA);
    EXPECT_EQ(rec->fsn, 0x07);
    EXPECT_EQ(rec->file_len, 2);
    EXPECT_EQ(rec->data_len, 2);
    EXPECT_EQ(rec->packets, 3);
    EXPECT_EQ(rec->index, 2);
    EXPECT_EQ(rec->reg, ORV_REG_SPECTRUM);
    EXPECT_EQ(rec->addr, 0x123456u);
    EXPECT_EQ(rec->ans_status, 11);
    EXPECT_EQ(rec->ans_reply, ORV_REPLY_ACK);
    ASSERT_EQ(rec->data_size, 8);
    EXPECT_EQ(0, std::memcmp(rec->data, Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0, 0, 0}.data(), 8));
    EXPECT_EQ(rec->crc, be32_at(pkt, 36));
    EXPECT_EQ(rec->crc_ok, 1);
}

TEST(ParseResponse, DataSizeFollowsTheReceivedLength) {
    auto rec = fresh_record();
    const Bytes empty =
        make_response(ORV_SRV_RESP_WRITE_ACK, ORV_REG_PARAMS, 0, 0, ORV_REPLY_ACK, {});
    ASSERT_EQ(parse(empty, rec.get()), ORV_OK);
    EXPECT_EQ(rec->data_size, 0);
    EXPECT_EQ(rec->crc_ok, 1);

    const Bytes one_word =
        make_response(ORV_SRV_RESP_DATA, ORV_REG_PARAMS, 0, 0, ORV_REPLY_ACK, {9, 8, 7, 6});
    ASSERT_EQ(parse(one_word, rec.get()), ORV_OK);
    EXPECT_EQ(rec->data_size, 4);

    // DataLen claims 2 words but only one arrived: the received bytes count.
    Bytes lying = one_word;
    lying[18] = 2;
    ASSERT_EQ(parse(lying, rec.get()), ORV_OK);
    EXPECT_EQ(rec->data_size, 4);
    EXPECT_EQ(rec->crc_ok, 0);
}

TEST(ParseResponse, ShortInputsDecodeOnlyWhatArrived) {
    const Bytes full = make_response(ORV_SRV_RESP_DATA, ORV_REG_STORED, 0x0A0B0C, 0xE0,
                                     ORV_REPLY_WRITE_PROTECT, {});
    auto rec = fresh_record();

    ASSERT_EQ(orv_parse_response(full.data(), 23, rec.get()), ORV_ERR_GENERIC);
    EXPECT_TRUE(all_zero(*rec));

    ASSERT_EQ(orv_parse_response(full.data(), 24, rec.get()), ORV_OK);
    EXPECT_EQ(rec->raw_len, 24);
    EXPECT_EQ(rec->index, 2);
    EXPECT_EQ(rec->reg, 0);
    EXPECT_EQ(rec->addr, 0u);
    EXPECT_EQ(rec->ans_reply, 0);
    EXPECT_EQ(rec->data_size, 0);
    EXPECT_EQ(rec->crc, be32_at(full, 20));

    ASSERT_EQ(orv_parse_response(full.data(), 27, rec.get()), ORV_OK);
    EXPECT_EQ(rec->reg, ORV_REG_STORED);
    EXPECT_EQ(rec->addr, 0x0A0B0Cu);
    EXPECT_EQ(rec->ans_status, 0);

    ASSERT_EQ(orv_parse_response(full.data(), 28, rec.get()), ORV_OK);
    EXPECT_EQ(rec->ans_status, 14);
    EXPECT_EQ(rec->ans_reply, ORV_REPLY_WRITE_PROTECT);
    EXPECT_EQ(rec->data_size, 0);
}

TEST(ParseResponse, CorruptDataIsReportedInCrcOkOnly) {
    Bytes pkt = make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0, 0, ORV_REPLY_ACK,
                              {1, 2, 3, 4, 5, 6, 7, 8});
    pkt[30] ^= 0x01;
    auto rec = fresh_record();
    EXPECT_EQ(parse(pkt, rec.get()), ORV_OK);
    EXPECT_EQ(rec->pre_ok, 1);
    EXPECT_EQ(rec->crc_ok, 0);
}

TEST(ParseResponse, WrongPreambleFailsButStillDecodes) {
    Bytes pkt = make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0x000102, 0, ORV_REPLY_ACK,
                              {1, 2, 3, 4});
    pkt[7] = 0xAA;
    auto rec = fresh_record();
    EXPECT_EQ(parse(pkt, rec.get()), ORV_ERR_GENERIC);
    EXPECT_EQ(rec->pre_ok, 0);
    EXPECT_EQ(rec->pre[7], 0xAA);
    EXPECT_EQ(rec->srv, ORV_SRV_RESP_DATA);
    EXPECT_EQ(rec->addr, 0x000102u);
    EXPECT_EQ(rec->data_size, 4);
    EXPECT_EQ(rec->crc_ok, 1);  // the CRC does not cover the preamble
}

TEST(ParseResponse, LargestInputKeepsAllRawBytesAndAtMost8192DataBytes) {
    Bytes pkt(ORV_PACKET_MAX_SIZE);
    for (size_t i = 0; i < pkt.size(); ++i) pkt[i] = static_cast<uint8_t>(i * 7);
    std::copy(ORV_PREAMBLE, ORV_PREAMBLE + 8, pkt.begin());
    auto rec = fresh_record();
    ASSERT_EQ(parse(pkt, rec.get()), ORV_OK);
    EXPECT_EQ(rec->raw_len, ORV_PACKET_MAX_SIZE);
    EXPECT_EQ(0, std::memcmp(rec->raw, pkt.data(), pkt.size()));
    ASSERT_EQ(rec->data_size, ORV_PACKET_MAX_DATA);
    EXPECT_EQ(0, std::memcmp(rec->data, pkt.data() + 28, ORV_PACKET_MAX_DATA));
    EXPECT_EQ(rec->crc, be32_at(pkt, pkt.size() - 4));
}

TEST(ParseResponse, RefusesOversizedOrNullInputWithAZeroedRecord) {
    Bytes pkt = make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0, 0, ORV_REPLY_ACK, {});
    pkt.resize(ORV_PACKET_MAX_SIZE + 1, 0);
    auto rec = fresh_record();
    EXPECT_EQ(parse(pkt, rec.get()), ORV_ERR_GENERIC);
    EXPECT_TRUE(all_zero(*rec));

    rec = fresh_record();
    EXPECT_EQ(orv_parse_response(nullptr, 32, rec.get()), ORV_ERR_GENERIC);
    EXPECT_TRUE(all_zero(*rec));
    EXPECT_EQ(orv_parse_response(pkt.data(), -1, rec.get()), ORV_ERR_GENERIC);
    EXPECT_EQ(orv_parse_response(pkt.data(), 32, nullptr), ORV_ERR_GENERIC);
}

// The in-place check of a whole response, against hand-made packets: the
// preamble is judged before the CRC, the CRC before the reply code, and the
// data are the bytes after the header, at most ORV_PACKET_MAX_DATA of them.
TEST(CheckResponse, JudgesPreambleThenCrcThenReplyCode) {
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes ack = make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0, 0, ORV_REPLY_ACK, data);
    const auto with_reply = [&](uint8_t reply) {
        return make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0, 0, reply, data);
    };
    const auto changed = [](Bytes p, size_t at, uint8_t value) {
        p[at] = value;
        return p;
    };
    struct Case {
        const char *name;
        Bytes packet;
        int expected;
    };
    const Case cases[] = {
        {"ack", ack, ORV_OK},
        {"command timeout", with_reply(ORV_REPLY_CMD_TIMEOUT), ORV_ERR_TIMEOUT},
        {"crc mismatch reply", with_reply(ORV_REPLY_CRC_MISMATCH), ORV_ERR_CRC_MISMATCH},
        {"invalid command", with_reply(ORV_REPLY_INVALID_CMD), ORV_ERR_TRANSPORT},
        {"write protected", with_reply(ORV_REPLY_WRITE_PROTECT), ORV_ERR_WRITE_PROTECTED},
        {"unknown reply", with_reply(0x00), ORV_ERR_TRANSPORT},
        {"first preamble byte", changed(ack, 0, 0xAB), ORV_ERR_INVALID_PACKET},
        {"last preamble byte", changed(ack, 7, 0xAA), ORV_ERR_INVALID_PACKET},
        {"data bit", changed(ack, 30, ack[30] ^ 0x40), ORV_ERR_CRC_MISMATCH},
        {"crc byte", changed(ack, ack.size() - 1, ack.back() ^ 1), ORV_ERR_CRC_MISMATCH},
        {"reply code after the crc", changed(ack, 27, ORV_REPLY_WRITE_PROTECT),
         ORV_ERR_CRC_MISMATCH},
        {"preamble before the crc", changed(changed(ack, 30, 0), 3, 0), ORV_ERR_INVALID_PACKET},
        {"one byte short", Bytes(ack.begin(), ack.begin() + 31), ORV_ERR_INVALID_PACKET},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uvvis_response_data out{nullptr, -1};
        EXPECT_EQ(uvvis_check_response(c.packet.data(), static_cast<int>(c.packet.size()), &out),
                  c.expected);
        if (c.expected != ORV_OK) {
            EXPECT_EQ(out.bytes, nullptr);  // written only on success
            continue;
        }
        EXPECT_EQ(out.bytes, c.packet.data() + ORV_PACKET_HEADER_SIZE);
        EXPECT_EQ(out.size, 8);
    }
}

TEST(CheckResponse, TakesTheDataSizeFromTheLengthAndCapsIt) {
    uvvis_response_data out{};
    const Bytes empty =
        make_response(ORV_SRV_RESP_WRITE_ACK, ORV_REG_PARAMS, 0, 0, ORV_REPLY_ACK, {});
    ASSERT_EQ(uvvis_check_response(empty.data(), static_cast<int>(empty.size()), &out), ORV_OK);
    EXPECT_EQ(out.size, 0);

    const Bytes largest = make_response(ORV_SRV_RESP_DATA, ORV_REG_SPECTRUM, 0, 0, ORV_REPLY_ACK,
                                        Bytes(ORV_PACKET_MAX_SIZE - ORV_PACKET_MIN_SIZE, 0x3C));
    ASSERT_EQ(largest.size(), size_t{ORV_PACKET_MAX_SIZE});
    ASSERT_EQ(uvvis_check_response(largest.data(), ORV_PACKET_MAX_SIZE, &out), ORV_OK);
    EXPECT_EQ(out.size, ORV_PACKET_MAX_DATA);

    Bytes over = largest;
    over.push_back(0);
    EXPECT_EQ(uvvis_check_response(over.data(), static_cast<int>(over.size()), &out),
              ORV_ERR_INVALID_PACKET);
    EXPECT_EQ(uvvis_check_response(nullptr, 32, &out), ORV_ERR_INVALID_PACKET);
}

}  // namespace

// Whose answer a response is: the register, address and FSN it echo. The
// service byte is firmware's and is not validated; it only keeps an ACK of
// the other kind of request (a write ACK for a read, a data answer for a
// write) from passing as this request's success.
TEST(AnswersRequest, EchoedFieldsDecideTheServiceOnlySeparatesKinds) {
    Bytes read(32), write(36);
    uvvis_build_query(ORV_REG_PARAMS, 0x000046, 4, read.data());
    const uint8_t word[4] = {0, 0, 0, 7};
    uvvis_build_write(ORV_REG_PARAMS, 0x000046, word, 4, write.data());
    const orvtest::ResponseFields model_answer{.srv = ORV_SRV_RESP_DATA, .addr = 0x46};
    const Bytes data = {1, 2, 3, 4};
    const Bytes none;
    struct Case {
        const char *name;
        orvtest::ResponseFields fields;
        const Bytes &payload;
        const Bytes &request;
        bool answers;
    };
    const auto with = [&](auto change) {
        orvtest::ResponseFields f = model_answer;
        change(f);
        return f;
    };
    const auto srv = [&](uint8_t service, uint8_t reply = ORV_REPLY_ACK) {
        return with([=](auto &f) {
            f.srv = service;
            f.reply = reply;
        });
    };
    const Case cases[] = {
        {"its answer", model_answer, data, read, true},
        {"error replies echo too", with([](auto &f) { f.reply = ORV_REPLY_INVALID_CMD; }), none,
         read, true},
        {"other register", with([](auto &f) { f.reg = ORV_REG_STORED; }), data, read, false},
        {"other address", with([](auto &f) { f.addr = 0x40; }), data, read, false},
        {"address high byte", with([](auto &f) { f.addr = 0x010046; }), data, read, false},
        {"other FSN", with([](auto &f) { f.fsn = 0xED; }), data, read, false},
        // Services other firmware answers a read with.
        {"read answered under 00h", srv(0x00), data, read, true},
        {"read answered under 0Dh", srv(ORV_SRV_READ), data, read, true},
        {"read answered under an unknown service", srv(0x5A), data, read, true},
        {"write ACK to a read", srv(ORV_SRV_RESP_WRITE_ACK), none, read, false},
        {"write ACK with data to a read", srv(ORV_SRV_RESP_WRITE_ACK), data, read, false},
        {"refusal under EAh to a read", srv(ORV_SRV_RESP_WRITE_ACK, ORV_REPLY_INVALID_CMD), none,
         read, true},
        // A write's answers.
        {"write ACK to the write", srv(ORV_SRV_RESP_WRITE_ACK), none, write, true},
        {"write ACK under E0h", srv(ORV_SRV_RESP_DATA), none, write, true},
        {"write ACK under an unknown service", srv(0x00), none, write, true},
        {"refusal under E0h", srv(ORV_SRV_RESP_DATA, ORV_REPLY_INVALID_CMD), none, write, true},
        {"write protected under E0h", srv(ORV_SRV_RESP_DATA, ORV_REPLY_WRITE_PROTECT), none, write,
         true},
        {"data answer to the write", srv(ORV_SRV_RESP_DATA), data, write, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes response = orvtest::make_response(c.fields, c.payload);
        const int len = static_cast<int>(response.size());
        ASSERT_TRUE(uvvis_packet_intact(response.data(), len));
        EXPECT_EQ(uvvis_answers_request(response.data(), len, c.request.data()), c.answers);
    }

    // A request without a file serial number takes any.
    Bytes unnumbered = read;
    unnumbered[14] = 0;
    const Bytes other_fsn = orvtest::make_response(with([](auto &f) { f.fsn = 0x31; }), {});
    EXPECT_TRUE(uvvis_answers_request(other_fsn.data(), static_cast<int>(other_fsn.size()),
                                      unnumbered.data()));
}

TEST(AnswersRequest, OnlyWholeUnbrokenPacketsAreIntact) {
    const Bytes ack = orvtest::make_response({.reply = ORV_REPLY_CMD_TIMEOUT}, {1, 2, 3, 4});
    const int len = static_cast<int>(ack.size());
    EXPECT_TRUE(uvvis_packet_intact(ack.data(), len));  // whatever its reply code
    Bytes broken = ack;
    broken[30] ^= 1;
    EXPECT_FALSE(uvvis_packet_intact(broken.data(), len));
    broken = ack;
    broken[7] = 0xAA;
    EXPECT_FALSE(uvvis_packet_intact(broken.data(), len));
    EXPECT_FALSE(uvvis_packet_intact(ack.data(), len - 1));
    EXPECT_FALSE(uvvis_packet_intact(nullptr, len));
}
