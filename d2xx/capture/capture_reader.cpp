// Reading captures: line by line, each line bounded before it is parsed,
// every key checked for its type and range, unknown keys refused.
#include <array>
#include <fstream>
#include <istream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "capture.h"

namespace orvcapture {
namespace {

using nlohmann::json;

struct CallName {
    Call call;
    const char *name;
};

constexpr std::array<CallName, 11> kCallNames{{
    {Call::CreateDeviceInfoList, "FT_CreateDeviceInfoList"},
    {Call::GetDeviceInfoList, "FT_GetDeviceInfoList"},
    {Call::Open, "FT_Open"},
    {Call::Close, "FT_Close"},
    {Call::Read, "FT_Read"},
    {Call::Write, "FT_Write"},
    {Call::ResetDevice, "FT_ResetDevice"},
    {Call::Purge, "FT_Purge"},
    {Call::SetTimeouts, "FT_SetTimeouts"},
    {Call::SetLatencyTimer, "FT_SetLatencyTimer"},
    {Call::SetUSBParameters, "FT_SetUSBParameters"},
}};

// The keys of one JSON object, each read at most once with its type and
// range checked; finish() refuses the keys nobody read.
class Fields {
public:
    Fields(const json &object, uint64_t line, std::string where)
        : object_(object), line_(line), where_(std::move(where)) {}

    bool has(const char *key) const { return object_.contains(key); }

    uint64_t unsigned_value(const char *key, uint64_t max) {
        const json &v = take(key);
        if (!v.is_number_unsigned() || v.get<uint64_t>() > max)
            fail(std::string(key) + " must be a whole number from 0 to " + std::to_string(max));
        return v.get<uint64_t>();
    }

    int64_t signed_value(const char *key, int64_t min, int64_t max) {
        const json &v = take(key);
        if (!v.is_number_integer() || v.get<int64_t>() < min || v.get<int64_t>() > max)
            fail(std::string(key) + " must be a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max));
        return v.get<int64_t>();
    }

    uint32_t u32(const char *key) { return static_cast<uint32_t>(unsigned_value(key, UINT32_MAX)); }

    // A text whose characters are bytes (U+0000 to U+00FF), at most max_len.
    std::string bytes_text(const char *key, size_t max_len) {
        const json &v = take(key);
        if (!v.is_string()) fail(std::string(key) + " must be a string");
        std::string out;
        const std::string &utf8 = v.get_ref<const std::string &>();
        for (size_t i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
                const auto next = static_cast<unsigned char>(utf8[++i]);
                out += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
            } else {
                fail(std::string(key) + " holds a character beyond \\u00FF");
            }
        }
        if (out.size() > max_len)
            fail(std::string(key) + " is longer than " + std::to_string(max_len) + " bytes");
        return out;
    }

    std::vector<uint8_t> hex(const char *key) {
        const json &v = take(key);
        if (!v.is_string()) fail(std::string(key) + " must be a string of hex digit pairs");
        const std::string &text = v.get_ref<const std::string &>();
        if (text.size() % 2 != 0) fail(std::string(key) + " has an odd number of hex digits");
        std::vector<uint8_t> out;
        out.reserve(text.size() / 2);
        for (size_t i = 0; i < text.size(); i += 2) {
            const int high = digit(text[i]);
            const int low = digit(text[i + 1]);
            if (high < 0 || low < 0)
                fail(std::string(key) + " holds a character that is no hex digit");
            out.push_back(static_cast<uint8_t>(high << 4 | low));
        }
        return out;
    }

    const json &take(const char *key) {
        const auto it = object_.find(key);
        if (it == object_.end()) fail(std::string("missing ") + key);
        used_.insert(key);
        return *it;
    }

    void finish() const {
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            if (!used_.count(it.key())) fail("unknown key " + it.key());
        }
    }

    [[noreturn]] void fail(const std::string &reason) const {
        throw CaptureError(line_, where_.empty() ? reason : where_ + ": " + reason);
    }

private:
    static int digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }

    const json &object_;
    uint64_t line_;
    std::string where_;
    std::set<std::string> used_;
};

enum class LineEnd { Newline, Input, TooLong };

// Reads one line, without its end, in pieces: a line is never held beyond
// kMaxLineBytes. Input: the input ended first (the line is cut, or empty at
// the very end).
LineEnd read_line(std::istream &in, std::string &line) {
    line.clear();
    char piece[4096];
    for (;;) {
        in.getline(piece, sizeof piece);
        const auto got = static_cast<size_t>(in.gcount());
        if (in.eof()) {
            line.append(piece, got);
            return line.size() > kMaxLineBytes ? LineEnd::TooLong : LineEnd::Input;
        }
        if (in.fail()) {  // the piece is full, the line goes on
            line.append(piece, got);
            in.clear();
            if (line.size() > kMaxLineBytes) return LineEnd::TooLong;
            continue;
        }
        line.append(piece, got - 1);  // without the '\n' it counted
        return line.size() > kMaxLineBytes ? LineEnd::TooLong : LineEnd::Newline;
    }
}

json parse_line(const std::string &line, uint64_t line_number) {
    json value = json::parse(line, nullptr, false);
    if (value.is_discarded()) throw CaptureError(line_number, "not a JSON line");
    if (!value.is_object()) throw CaptureError(line_number, "not a JSON object");
    return value;
}

Header read_header(const std::string &line) {
    const json value = json::parse(line, nullptr, false);
    if (value.is_discarded() || !value.is_object() || !value.contains("format") ||
        value["format"] != kFormatName)
        throw CaptureError(1,
                           std::string("not a capture (the first line does not name the format ") +
                               kFormatName + ")");
    Fields f(value, 1, "");
    f.take("format");
    Header header;
    const json &version = f.take("version");
    if (!version.is_number_unsigned() || version.get<uint64_t>() != kFormatVersion) {
        throw CaptureError(1, "version " + version.dump() +
                                  " is not supported (this reader knows " +
                                  std::to_string(kFormatVersion) + ")");
    }
    header.provider = f.bytes_text("provider", 4096);
    f.finish();
    return header;
}

Node read_node(const json &value, uint64_t line, const std::string &where) {
    if (!value.is_object()) throw CaptureError(line, where + ": must be an object");
    Fields f(value, line, where);
    Node node;
    node.flags = f.u32("flags");
    node.type = f.u32("type");
    node.id = f.u32("id");
    node.loc_id = f.u32("loc_id");
    node.serial = f.bytes_text("serial", 15);
    node.description = f.bytes_text("description", 63);
    f.finish();
    return node;
}

void read_list(Fields &f, Record &r, uint64_t line) {
    if (f.has("capacity")) r.capacity = f.u32("capacity");
    if (f.has("count")) r.count = f.u32("count");
    if (r.call != Call::GetDeviceInfoList) return;
    const json &devices = f.take("devices");
    if (!devices.is_array()) f.fail("devices must be an array");
    if (devices.size() > kMaxDevices)
        f.fail("more than " + std::to_string(kMaxDevices) + " devices");
    for (size_t i = 0; i < devices.size(); ++i)
        r.devices.push_back(read_node(devices[i], line, "devices[" + std::to_string(i) + "]"));
    // A program may list without an array: a count, no devices.
    const size_t most = r.status == 0 && r.count ? *r.count : 0;
    if (r.devices.size() > most)
        f.fail(std::to_string(r.devices.size()) + " devices for a count of " +
               std::to_string(most));
    if (r.count && r.capacity && *r.count > *r.capacity) f.fail("count is more than capacity");
}

void read_transfer(Fields &f, Record &r) {
    r.req = f.u32("req");
    r.done = f.u32("done");
    if (r.done > r.req)
        f.fail("done " + std::to_string(r.done) + " is more than req " + std::to_string(r.req));
    r.data = f.hex("data");
    const uint32_t expected = r.call == Call::Write ? r.req : r.done;
    if (r.data.size() != expected)
        f.fail("data holds " + std::to_string(r.data.size()) + " bytes, not " +
               std::to_string(expected));
}

Record read_record(const std::string &line, uint64_t line_number, uint64_t expected_n) {
    const json value = parse_line(line, line_number);
    Fields f(value, line_number, "");
    Record r;
    r.n = f.unsigned_value("n", kMaxCalls);
    if (r.n != expected_n)
        f.fail("call number " + std::to_string(r.n) + " where " + std::to_string(expected_n) +
               " was due (a line is missing or out of place)");
    const json &name = f.take("call");
    const std::optional<Call> call =
        name.is_string() ? call_from_name(name.get<std::string>()) : std::nullopt;
    if (!call) f.fail("call " + name.dump() + " is no D2XX call");
    r.call = *call;
    Fields g(value, line_number, call_name(r.call));
    g.take("n");
    g.take("call");
    r.t_us = g.unsigned_value("t_us", UINT64_MAX / 4);
    r.dur_us = g.unsigned_value("dur_us", UINT64_MAX / 4);
    r.status = g.u32("status");
    if (r.call == Call::CreateDeviceInfoList || r.call == Call::GetDeviceInfoList) {
        read_list(g, r, line_number);
    } else {
        r.dev = static_cast<int>(g.signed_value("dev", -1, kMaxDevices - 1));
    }
    switch (r.call) {
    case Call::Open: r.index = g.signed_value("index", INT32_MIN, INT32_MAX); break;
    case Call::Read:
    case Call::Write: read_transfer(g, r); break;
    case Call::Purge: r.mask = g.u32("mask"); break;
    case Call::SetTimeouts:
        r.read_ms = g.u32("read_ms");
        r.write_ms = g.u32("write_ms");
        break;
    case Call::SetLatencyTimer: r.latency_ms = g.u32("latency_ms"); break;
    case Call::SetUSBParameters:
        r.in_size = g.u32("in_size");
        r.out_size = g.u32("out_size");
        break;
    default: break;
    }
    g.finish();
    return r;
}

}  // namespace

const char *call_name(Call call) {
    for (const CallName &c : kCallNames) {
        if (c.call == call) return c.name;
    }
    return "?";
}

std::optional<Call> call_from_name(const std::string &name) {
    for (const CallName &c : kCallNames) {
        if (name == c.name) return c.call;
    }
    return std::nullopt;
}

CaptureError::CaptureError(uint64_t line_number, const std::string &reason)
    : std::runtime_error("line " + std::to_string(line_number) + ": " + reason),
      line_(line_number) {}

Capture read_capture(std::istream &in) {
    Capture capture;
    std::string line;
    uint64_t line_number = 0;
    for (;;) {
        const LineEnd end = read_line(in, line);
        if (end == LineEnd::Input && line.empty()) break;
        ++line_number;
        if (end == LineEnd::TooLong)
            throw CaptureError(line_number,
                               "longer than " + std::to_string(kMaxLineBytes) + " bytes");
        if (end == LineEnd::Input) {
            // What is not a capture at all says so before it is called cut.
            if (line_number == 1) read_header(line);
            throw CaptureError(line_number, "truncated (the line has no end)");
        }
        if (line_number == 1) {
            capture.header = read_header(line);
        } else {
            if (capture.calls.size() >= kMaxCalls)
                throw CaptureError(line_number,
                                   "more than " + std::to_string(kMaxCalls) + " calls");
            capture.calls.push_back(read_record(line, line_number, capture.calls.size() + 1));
        }
    }
    if (line_number == 0) throw CaptureError(1, "empty, not a capture");
    return capture;
}

Capture read_capture_text(const std::string &text) {
    std::istringstream in(text);
    return read_capture(in);
}

Capture read_capture_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CaptureError(0, "cannot be read");
    return read_capture(in);
}

}  // namespace orvcapture
