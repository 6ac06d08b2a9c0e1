// orv capture's work on a capture: serials replaced consistently in device
// lists and in UVVIS_ORV replies split over several reads, with the replies'
// CRCs kept right (or kept wrong), and the summary's exchanges.
#include <gtest/gtest.h>

#include "capture/capture_tools.h"
#include "orv.h"

namespace orvcli {
namespace {

using orvcapture::Call;
using orvcapture::Record;

std::vector<uint8_t> packet(uint8_t srv, uint8_t reg, uint32_t addr, const std::string &data) {
    const auto words = static_cast<uint8_t>((data.size() + 3) / 4);
    std::vector<uint8_t> bytes(28 + 4 * size_t{words} + 4, 0);
    const uint8_t header[] = {0xAA,
                              0xAA,
                              0xAA,
                              0xAA,
                              0xAA,
                              0xAA,
                              0xAA,
                              0xAB,
                              0xCC,
                              0,
                              1,
                              0,
                              2,
                              srv,
                              0xEE,
                              0,
                              words,
                              0,
                              words,
                              1,
                              1,
                              reg,
                              static_cast<uint8_t>(addr >> 16),
                              static_cast<uint8_t>(addr >> 8),
                              static_cast<uint8_t>(addr),
                              0,
                              0,
                              0};
    for (size_t i = 0; i < sizeof header; ++i) bytes[i] = header[i];
    for (size_t i = 0; i < data.size(); ++i) bytes[28 + i] = static_cast<uint8_t>(data[i]);
    const size_t crc_at = bytes.size() - 4;
    const auto crc =
        static_cast<uint32_t>(orv_crc32(bytes.data() + 8, static_cast<int>(crc_at - 8)));
    for (size_t i = 0; i < 4; ++i) bytes[crc_at + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return bytes;
}

Record call(Call kind, int dev, std::vector<uint8_t> data = {}, uint32_t status = 0) {
    Record record;
    record.call = kind;
    record.dev = dev;
    record.status = status;
    record.req = record.done = static_cast<uint32_t>(data.size());
    record.data = std::move(data);
    return record;
}

// The reply of a serial request as a program reads it: header, then the rest.
void add_exchange(orvcapture::Capture &capture, int dev, uint8_t reg, uint32_t addr,
                  const std::string &reply_text, bool spoil_crc = false) {
    capture.calls.push_back(call(Call::Write, dev, packet(ORV_SRV_READ, reg, addr, "")));
    std::vector<uint8_t> reply = packet(ORV_SRV_RESP_DATA, reg, addr, reply_text);
    if (spoil_crc) reply.back() ^= 1;
    capture.calls.push_back(call(Call::Read, dev, {reply.begin(), reply.begin() + 28}));
    capture.calls.push_back(call(Call::Read, dev, {reply.begin() + 28, reply.end()}));
}

std::vector<uint8_t> reply_of(const orvcapture::Capture &capture, size_t write_at) {
    std::vector<uint8_t> reply = capture.calls[write_at + 1].data;
    const auto &rest = capture.calls[write_at + 2].data;
    reply.insert(reply.end(), rest.begin(), rest.end());
    return reply;
}

std::string text_of(const std::vector<uint8_t> &reply, size_t width) {
    std::string text(reply.begin() + 28, reply.begin() + 28 + static_cast<long>(width));
    return text.substr(0, text.find('\0'));
}

bool crc_ok(const std::vector<uint8_t> &reply) {
    auto parsed = std::make_unique<orv_parsed_packet>();
    EXPECT_EQ(orv_parse_response(reply.data(), static_cast<int>(reply.size()), parsed.get()),
              ORV_OK);
    return parsed->crc_ok == 1;
}

TEST(CaptureAnonymize, SerialsGetOnePseudonymEachWhereverTheyAppear) {
    orvcapture::Capture capture;
    Record list = call(Call::GetDeviceInfoList, -1);
    list.devices.resize(3);
    list.devices[0].serial = "FT1234AB";
    list.devices[1].serial = "FT9999ZZ";
    list.devices[2].serial = "";  // nothing to hide
    capture.calls.push_back(list);
    capture.calls.push_back(list);                                   // 1: listed again
    add_exchange(capture, 0, ORV_REG_STORED, 0x04, "SN-000123456");  // 2
    add_exchange(capture, 1, ORV_REG_PARAMS, 0x44, "DET77");         // 5: shorter than its field
    add_exchange(capture, 0, ORV_REG_STORED, 0x04, "SN-000123456");  // 8: the same serial
    add_exchange(capture, 1, ORV_REG_STORED, 0x04, "SN-000999999", true);  // 11: CRC wrong
    add_exchange(capture, 0, ORV_REG_STORED, 0x10, "SN-000123456");        // 14: not a serial field
    const orvcapture::Capture original = capture;

    const Anonymized counts = anonymize_capture(capture);
    EXPECT_EQ(counts.chip_serials, 2u);
    EXPECT_EQ(counts.instrument_serials, 3u);

    const auto &nodes = capture.calls[0].devices;
    EXPECT_EQ(nodes[0].serial.size(), 8u);
    EXPECT_NE(nodes[0].serial, "FT1234AB");
    EXPECT_NE(nodes[0].serial, nodes[1].serial);
    EXPECT_EQ(nodes[2].serial, "");
    EXPECT_EQ(capture.calls[1].devices[0].serial, nodes[0].serial);

    const std::string first = text_of(reply_of(capture, 2), 12);
    EXPECT_EQ(first.size(), 12u);
    EXPECT_NE(first, "SN-000123456");
    EXPECT_EQ(text_of(reply_of(capture, 8), 12), first);
    EXPECT_TRUE(crc_ok(reply_of(capture, 2)));
    EXPECT_EQ(text_of(reply_of(capture, 5), 8).size(), 5u);
    EXPECT_NE(text_of(reply_of(capture, 5), 8), "DET77");
    EXPECT_TRUE(crc_ok(reply_of(capture, 5)));
    EXPECT_NE(text_of(reply_of(capture, 11), 12), "SN-000999999");
    EXPECT_FALSE(crc_ok(reply_of(capture, 11)));
    EXPECT_EQ(reply_of(capture, 14), reply_of(original, 14));
    // Requests and the split of each reply over its reads stay as recorded.
    for (size_t i = 0; i < capture.calls.size(); ++i) {
        if (capture.calls[i].call == Call::Write) {
            EXPECT_EQ(capture.calls[i].data, original.calls[i].data);
        }
        EXPECT_EQ(capture.calls[i].data.size(), original.calls[i].data.size());
    }
}

TEST(CaptureAnonymize, RepliesThatAreNoPacketStayAsRecorded) {
    orvcapture::Capture capture;
    add_exchange(capture, 0, ORV_REG_STORED, 0x04, "SN-000123456");
    capture.calls[2].data.resize(3);  // cut short: no whole reply
    capture.calls.push_back(call(Call::Write, 0, packet(ORV_SRV_READ, ORV_REG_STORED, 0x04, "")));
    capture.calls.push_back(call(Call::Read, 0, {0x01, 0x02}));  // garbage
    const orvcapture::Capture original = capture;
    EXPECT_EQ(anonymize_capture(capture).instrument_serials, 0u);
    for (size_t i = 0; i < capture.calls.size(); ++i)
        EXPECT_EQ(capture.calls[i].data, original.calls[i].data);
}

TEST(CaptureSummary, ExchangesGroupEachDevicesReadsAfterItsWrite) {
    orvcapture::Capture capture;
    capture.calls.push_back(call(Call::Read, 1, {9}));  // before any write: an exchange of its own
    add_exchange(capture, 0, ORV_REG_STORED, 0x04, "SN-000123456");
    capture.calls.push_back(call(Call::Write, 1, std::vector<uint8_t>(7)));
    capture.calls.push_back(call(Call::Read, 0, {1, 2}));  // device 0 still answers its write
    Record short_read = call(Call::Read, 1, {1});
    short_read.req = 4;
    capture.calls.push_back(short_read);
    capture.calls.push_back(call(Call::Purge, 1, {}, 4));
    for (size_t i = 0; i < capture.calls.size(); ++i) {
        capture.calls[i].n = i + 1;
        capture.calls[i].t_us = 100 * i;
        capture.calls[i].dur_us = 10;
    }
    const std::string summary = capture_summary(capture, "x.jsonl");
    EXPECT_NE(summary.find("8 calls in 0.000710 s, 1 failed; 39 bytes written, 48 bytes read"),
              std::string::npos)
        << summary;
    // WRITE_CALL DEVICE WRITTEN READ READS SHORT FAILED TIME_US
    EXPECT_NE(
        summary.find("\n         -      1        0        1      1      0      0         10\n"),
        std::string::npos)
        << summary;
    EXPECT_NE(
        summary.find("\n         2      0       32       46      3      0      0        410\n"),
        std::string::npos)
        << summary;
    EXPECT_NE(
        summary.find("\n         5      1        7        1      1      1      0        210\n"),
        std::string::npos)
        << summary;
    EXPECT_NE(summary.find("FT_Read                         5       0       1         48"),
              std::string::npos)
        << summary;
}

}  // namespace
}  // namespace orvcli
