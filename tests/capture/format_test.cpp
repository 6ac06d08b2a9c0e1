// The capture format: what the writer writes the reader gives back, and
// every kind of bad capture is refused with its line and a reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "capture.h"

namespace {

using orvcapture::Call;
using orvcapture::CaptureError;
using orvcapture::Record;

const std::string kHeader = R"({"format":"orv-d2xx-capture","version":1,"provider":"p"})"
                            "\n";

Record call(Call kind, uint64_t n) {
    Record r;
    r.call = kind;
    r.n = n;
    r.t_us = 1000 * n;
    r.dur_us = n;
    r.dev = 0;
    return r;
}

std::vector<Record> one_of_each() {
    std::vector<Record> calls;
    Record list = call(Call::CreateDeviceInfoList, 1);
    list.dev = -1;
    list.count = 2;
    calls.push_back(list);
    Record nodes = call(Call::GetDeviceInfoList, 2);
    nodes.dev = -1;
    nodes.capacity = 4;
    nodes.count = 2;
    // texts are bytes: quotes, backslashes, control and non-ASCII bytes survive
    nodes.devices = {{1, 5, 0x04036001, 0x1001, "A\"B\\C", std::string("\x01\xE9\xFFz", 4)},
                     {0, 8, 0x04036015, 0x2002, "", ""}};
    calls.push_back(nodes);
    Record open = call(Call::Open, 3);
    open.index = 1;
    open.dev = 1;
    calls.push_back(open);
    Record write = call(Call::Write, 4);
    write.req = 3;
    write.done = 2;
    write.data = {0xAA, 0x00, 0xFF};
    calls.push_back(write);
    Record read = call(Call::Read, 5);
    read.req = 28;
    read.done = 2;
    read.data = {0x06, 0x15};
    read.status = 4;
    calls.push_back(read);
    Record purge = call(Call::Purge, 6);
    purge.mask = 3;
    calls.push_back(purge);
    Record timeouts = call(Call::SetTimeouts, 7);
    timeouts.read_ms = 200;
    timeouts.write_ms = 5000;
    calls.push_back(timeouts);
    Record latency = call(Call::SetLatencyTimer, 8);
    latency.latency_ms = 2;
    calls.push_back(latency);
    Record usb = call(Call::SetUSBParameters, 9);
    usb.in_size = 65536;
    usb.out_size = 4096;
    calls.push_back(usb);
    calls.push_back(call(Call::ResetDevice, 10));
    Record close = call(Call::Close, 11);
    close.dev = -1;  // a handle no recorded open returned
    calls.push_back(close);
    Record no_pointer = call(Call::CreateDeviceInfoList, 12);
    no_pointer.status = 6;
    calls.push_back(no_pointer);
    return calls;
}

TEST(CaptureFormat, WhatIsWrittenIsReadBack) {
    std::string text;
    orvcapture::Header header;
    header.provider = "/opt/d2xx/libftd2xx.so";
    orvcapture::append_header_line(text, header);
    const std::vector<Record> calls = one_of_each();
    for (const Record &r : calls) orvcapture::append_record_line(text, r);

    const orvcapture::Capture capture = orvcapture::read_capture_text(text);
    EXPECT_EQ(capture.header.provider, header.provider);
    ASSERT_EQ(capture.calls.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const Record &want = calls[i];
        const Record &got = capture.calls[i];
        SCOPED_TRACE(orvcapture::call_name(want.call));
        EXPECT_EQ(got.call, want.call);
        EXPECT_EQ(got.n, want.n);
        EXPECT_EQ(got.t_us, want.t_us);
        EXPECT_EQ(got.dur_us, want.dur_us);
        EXPECT_EQ(got.status, want.status);
        EXPECT_EQ(got.count, want.count);
        EXPECT_EQ(got.capacity, want.capacity);
        EXPECT_EQ(got.data, want.data);
        EXPECT_EQ(got.req, want.req);
        EXPECT_EQ(got.done, want.done);
        EXPECT_EQ(
            got.mask + got.read_ms + got.write_ms + got.latency_ms + got.in_size + got.out_size,
            want.mask + want.read_ms + want.write_ms + want.latency_ms + want.in_size +
                want.out_size);
        if (want.call != Call::CreateDeviceInfoList && want.call != Call::GetDeviceInfoList) {
            EXPECT_EQ(got.dev, want.dev);
        }
        if (want.call == Call::Open) {
            EXPECT_EQ(got.index, want.index);
        }
        ASSERT_EQ(got.devices.size(), want.devices.size());
        for (size_t d = 0; d < want.devices.size(); ++d) {
            EXPECT_EQ(got.devices[d].serial, want.devices[d].serial);
            EXPECT_EQ(got.devices[d].description, want.devices[d].description);
            EXPECT_EQ(got.devices[d].id, want.devices[d].id);
            EXPECT_EQ(got.devices[d].loc_id, want.devices[d].loc_id);
            EXPECT_EQ(got.devices[d].flags, want.devices[d].flags);
            EXPECT_EQ(got.devices[d].type, want.devices[d].type);
        }
    }
    // a person reading it sees plain ASCII
    for (const char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F));
}

struct BadCapture {
    const char *name;
    std::string text;
    uint64_t line;
    const char *reason;
};

const std::string kWrite =
    R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Write","status":0,"dev":0,"req":2,"done":2,"data":"AABB"})";

std::vector<BadCapture> bad_captures() {
    auto with = [](const std::string &line) { return kHeader + line + "\n"; };
    return {
        {"empty", "", 1, "empty, not a capture"},
        {"other JSON", "{\"bridges\": []}\n", 1, "not a capture"},
        {"not JSON", "hello\n", 1, "not a capture"},
        {"newer version",
         R"({"format":"orv-d2xx-capture","version":2,"provider":""})"
         "\n",
         1, "version 2 is not supported"},
        {"header without end", kHeader.substr(0, kHeader.size() - 1), 1, "truncated"},
        {"last line cut", kHeader + kWrite.substr(0, 40), 2, "truncated"},
        {"cut at the line end", kHeader + kWrite, 2, "truncated"},
        {"broken line", with(kWrite.substr(0, 40)), 2, "not a JSON line"},
        {"array line", with("[1,2]"), 2, "not a JSON object"},
        {"numbered out of turn", with(kWrite) + kWrite + "\n", 3, "call number 1 where 2 was due"},
        {"first call not 1",
         with(R"({"n":2,"t_us":5,"dur_us":1,"call":"FT_Close","status":0,"dev":0})"), 2,
         "call number 2 where 1 was due"},
        {"unknown call", with(R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Erase","status":0})"), 2,
         "is no D2XX call"},
        {"unknown key",
         with(R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Close","status":0,"dev":0,"x":1})"), 2,
         "unknown key x"},
        {"missing key", with(R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Purge","status":0,"dev":0})"),
         2, "FT_Purge: missing mask"},
        {"negative count",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_CreateDeviceInfoList","status":0,"count":-1})"),
         2, "count must be a whole number"},
        {"device out of range",
         with(R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Close","status":0,"dev":5000})"), 2,
         "dev must be a whole number"},
        {"data longer than req",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Write","status":0,"dev":0,"req":1,"done":1,"data":"AABB"})"),
         2, "data holds 2 bytes, not 1"},
        {"done beyond req",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Read","status":0,"dev":0,"req":1,"done":2,"data":"AABB"})"),
         2, "done 2 is more than req 1"},
        {"not hex",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_Read","status":0,"dev":0,"req":2,"done":2,"data":"AAXB"})"),
         2, "no hex digit"},
        {"more devices than the count",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_GetDeviceInfoList","status":0,"capacity":2,"count":0,"devices":[{"flags":0,"type":5,"id":1,"loc_id":1,"serial":"A","description":""}]})"),
         2, "1 devices for a count of 0"},
        {"serial beyond a byte",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_GetDeviceInfoList","status":0,"capacity":1,"count":1,"devices":[{"flags":0,"type":5,"id":1,"loc_id":1,"serial":"\u0100","description":""}]})"),
         2, "serial holds a character beyond"},
        {"serial too long",
         with(
             R"({"n":1,"t_us":5,"dur_us":1,"call":"FT_GetDeviceInfoList","status":0,"capacity":1,"count":1,"devices":[{"flags":0,"type":5,"id":1,"loc_id":1,"serial":"0123456789ABCDEF","description":""}]})"),
         2, "longer than 15 bytes"},
        {"huge line", with(std::string(orvcapture::kMaxLineBytes + 10, ' ')), 2, "longer than"},
    };
}

// The writer's own number and hex formatting, as text: zero, the extremes
// of each width, every byte value; a line is appended to what is there.
TEST(CaptureFormat, NumbersAndBytesAreWrittenExactly) {
    Record write = call(Call::Write, 1);
    write.t_us = 0;
    write.dur_us = UINT64_MAX;
    write.status = UINT32_MAX;
    write.dev = -1;
    std::string hex;
    for (int b = 0; b < 256; ++b) {
        write.data.push_back(static_cast<uint8_t>(b));
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        hex += digits;
    }
    write.req = write.done = 256;
    Record open = call(Call::Open, 2);
    open.index = INT64_MIN;
    open.dev = 0;
    Record later = call(Call::Open, 3);
    later.index = INT64_MAX;

    std::string text = "before\n";
    orvcapture::append_record_line(text, write);
    orvcapture::append_record_line(text, open);
    orvcapture::append_record_line(text, later);
    EXPECT_EQ(text,
              "before\n"
              R"({"n":1,"t_us":0,"dur_us":18446744073709551615,"call":"FT_Write",)"
              R"("status":4294967295,"dev":-1,"req":256,"done":256,"data":")" +
                  hex +
                  "\"}\n"
                  R"({"n":2,"t_us":2000,"dur_us":2,"call":"FT_Open","status":0,)"
                  R"("index":-9223372036854775808,"dev":0})"
                  "\n"
                  R"({"n":3,"t_us":3000,"dur_us":3,"call":"FT_Open","status":0,)"
                  R"("index":9223372036854775807,"dev":0})"
                  "\n");
}

TEST(CaptureFormat, BadCapturesAreRefusedWithLineAndReason) {
    for (const BadCapture &c : bad_captures()) {
        SCOPED_TRACE(c.name);
        try {
            orvcapture::read_capture_text(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const CaptureError &e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
                << e.what();
        }
    }
}

TEST(CaptureFormat, AFileThatCannotBeReadIsRefused) {
    EXPECT_THROW(orvcapture::read_capture_file("/no/such/folder/capture.jsonl"), CaptureError);
}

}  // namespace
