// Writing capture lines. Hand-made rather than through a JSON library: the
// recorder formats one line per D2XX call and must stay cheap.
#include "capture.h"

namespace orvcapture {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The two hex digits of every byte value: the data of a read or write is
// most of a capture, and one table look-up per byte keeps its text cheap.
struct HexPairs {
    char digits[256][2];
    constexpr HexPairs() : digits{} {
        for (int b = 0; b < 256; ++b) {
            digits[b][0] = kHexDigits[b >> 4];
            digits[b][1] = kHexDigits[b & 15];
        }
    }
};
constexpr HexPairs kHexPairs;

void append_number(std::string &out, uint64_t value) {
    char digits[20];  // 2^64 - 1 has 20 digits
    char *first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    out.append(first, static_cast<size_t>(digits + sizeof digits - first));
}

void append_signed(std::string &out, int64_t value) {
    if (value < 0) {
        out += '-';
        append_number(out, static_cast<uint64_t>(-(value + 1)) + 1);
    } else {
        append_number(out, static_cast<uint64_t>(value));
    }
}

// A JSON string whose every byte outside printable ASCII is a \u00XX escape,
// so the line stays ASCII and a reader gets the same bytes back.
void append_text(std::string &out, const std::string &text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            out += "\\u00";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void append_hex(std::string &out, const std::vector<uint8_t> &bytes) {
    const size_t at = out.size();
    out.resize(at + 2 * bytes.size() + 2);
    char *text = &out[at];
    *text++ = '"';
    for (const uint8_t b : bytes) {
        *text++ = kHexPairs.digits[b][0];
        *text++ = kHexPairs.digits[b][1];
    }
    *text = '"';
}

void key(std::string &out, const char *name) {
    out += ",\"";
    out += name;
    out += "\":";
}

void field(std::string &out, const char *name, uint64_t value) {
    key(out, name);
    append_number(out, value);
}

void append_node(std::string &out, const Node &node) {
    out += "{\"flags\":";
    append_number(out, node.flags);
    field(out, "type", node.type);
    field(out, "id", node.id);
    field(out, "loc_id", node.loc_id);
    key(out, "serial");
    append_text(out, node.serial);
    key(out, "description");
    append_text(out, node.description);
    out += '}';
}

void append_list_fields(std::string &out, const Record &r) {
    if (r.capacity) field(out, "capacity", *r.capacity);
    if (r.count) field(out, "count", *r.count);
    if (r.call != Call::GetDeviceInfoList) return;
    key(out, "devices");
    out += '[';
    for (size_t i = 0; i < r.devices.size(); ++i) {
        if (i) out += ',';
        append_node(out, r.devices[i]);
    }
    out += ']';
}

}  // namespace

void append_header_line(std::string &out, const Header &header) {
    out += "{\"format\":";
    append_text(out, kFormatName);
    field(out, "version", static_cast<uint64_t>(header.version));
    key(out, "provider");
    append_text(out, header.provider);
    out += "}\n";
}

void append_record_line(std::string &out, const Record &r) {
    out += "{\"n\":";
    append_number(out, r.n);
    field(out, "t_us", r.t_us);
    field(out, "dur_us", r.dur_us);
    key(out, "call");
    append_text(out, call_name(r.call));
    field(out, "status", r.status);
    switch (r.call) {
    case Call::CreateDeviceInfoList:
    case Call::GetDeviceInfoList: append_list_fields(out, r); break;
    case Call::Open:
        key(out, "index");
        append_signed(out, r.index);
        break;
    default: break;
    }
    if (r.call != Call::CreateDeviceInfoList && r.call != Call::GetDeviceInfoList) {
        key(out, "dev");
        append_signed(out, r.dev);
    }
    switch (r.call) {
    case Call::Read:
    case Call::Write:
        field(out, "req", r.req);
        field(out, "done", r.done);
        key(out, "data");
        append_hex(out, r.data);
        break;
    case Call::Purge: field(out, "mask", r.mask); break;
    case Call::SetTimeouts:
        field(out, "read_ms", r.read_ms);
        field(out, "write_ms", r.write_ms);
        break;
    case Call::SetLatencyTimer: field(out, "latency_ms", r.latency_ms); break;
    case Call::SetUSBParameters:
        field(out, "in_size", r.in_size);
        field(out, "out_size", r.out_size);
        break;
    default: break;
    }
    out += "}\n";
}

}  // namespace orvcapture
