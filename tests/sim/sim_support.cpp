#include "sim_support.h"

#include <algorithm>
#include <cstring>

#include "crc.h"

namespace simtest {

void load(const std::string &json) {
    ASSERT_EQ(orvsim_load_scenario_json(json.c_str()), 0) << orvsim_last_error();
}

Port::Port(int index, uint32_t read_timeout_ms) {
    EXPECT_EQ(FT_Open(index, &handle_), FT_OK) << "bridge " << index;
    set_read_timeout(read_timeout_ms);
}

Port::~Port() {
    if (handle_) FT_Close(handle_);
}

void Port::set_read_timeout(uint32_t ms) { EXPECT_EQ(FT_SetTimeouts(handle_, ms, 1000), FT_OK); }

void Port::write(const Bytes &bytes) {
    DWORD written = 0;
    Bytes copy = bytes;
    EXPECT_EQ(FT_Write(handle_, copy.data(), static_cast<DWORD>(copy.size()), &written), FT_OK);
    EXPECT_EQ(written, copy.size());
}

Bytes Port::read(size_t n) {
    Bytes out(n);
    DWORD got = 0;
    EXPECT_EQ(FT_Read(handle_, out.data(), static_cast<DWORD>(n), &got), FT_OK);
    out.resize(got);
    return out;
}

Bytes Port::exchange(const Bytes &request) {
    FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX);
    write(request);
    Bytes packet = read(28);
    if (packet.size() < 28) return packet;
    Bytes rest = read((uint32_t{packet[17]} << 8 | packet[18]) * 4u + 4u);
    packet.insert(packet.end(), rest.begin(), rest.end());
    return packet;
}

namespace {

Bytes header(uint8_t srv, uint8_t reg, uint32_t addr, uint16_t file_len, uint16_t data_len) {
    Bytes p = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB,
               0xCC, 0x00, 0x01, 0x00, 0x02, srv,  0xEE};
    for (uint16_t v : {file_len, data_len}) {
        p.push_back(static_cast<uint8_t>(v >> 8));
        p.push_back(static_cast<uint8_t>(v));
    }
    p.insert(p.end(), {0x01, 0x01, reg, static_cast<uint8_t>(addr >> 16),
                       static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), 0, 0, 0});
    return p;
}

void append_crc32(Bytes &p) {
    uint32_t crc = orvsim::crc32(p.data() + 8, p.size() - 8);
    for (int shift = 24; shift >= 0; shift -= 8) p.push_back(static_cast<uint8_t>(crc >> shift));
}

}  // namespace

Bytes read_request(uint8_t reg, uint32_t addr, uint16_t words) {
    Bytes p = header(0x0D, reg, addr, words, 0);
    append_crc32(p);
    return p;
}

Bytes write_request(uint8_t reg, uint32_t addr, const Bytes &data) {
    const uint16_t words = static_cast<uint16_t>((data.size() + 3) / 4);
    Bytes p = header(0xAD, reg, addr, words, words);
    p.insert(p.end(), data.begin(), data.end());
    p.resize(28 + 4u * words, 0);
    append_crc32(p);
    return p;
}

Bytes with_filler(Bytes value, size_t free_bytes) {
    std::fill_n(value.begin(), std::min(free_bytes, value.size()), kFiller);
    return value;
}

Bytes commit_request(uint16_t address, const Bytes &crc_over) {
    const uint32_t crc = orvsim::crc32(crc_over.data(), crc_over.size());
    Bytes data = {0xCF, 0xDD, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<uint8_t>(crc >> shift));
    return data;
}

Bytes with_field(Bytes request, size_t offset, const Bytes &bytes) {
    std::copy(bytes.begin(), bytes.end(), request.begin() + static_cast<std::ptrdiff_t>(offset));
    request.resize(request.size() - 4);
    append_crc32(request);
    return request;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> device_list() {
    DWORD n = 0;
    EXPECT_EQ(FT_CreateDeviceInfoList(&n), FT_OK);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(n);
    EXPECT_EQ(FT_GetDeviceInfoList(nodes.data(), &n), FT_OK);
    nodes.resize(n);
    return nodes;
}

uint32_t be32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

double be64_double(const uint8_t *p) {
    uint64_t bits = uint64_t{be32(p)} << 32 | be32(p + 4);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float le_float(const uint8_t *p) {
    uint32_t bits = uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

Packet parse(const Bytes &b) {
    Packet p;
    if (b.size() < 32) return p;
    static const uint8_t pre[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};
    p.preamble_ok = std::memcmp(b.data(), pre, 8) == 0;
    p.srv = b[13];
    p.fsn = b[14];
    p.data_len = static_cast<uint16_t>(b[17] << 8 | b[18]);
    p.reg = b[21];
    p.addr = uint32_t{b[22]} << 16 | uint32_t{b[23]} << 8 | b[24];
    p.status = b[25] >> 4;
    p.reply = b[27];
    p.data.assign(b.begin() + 28, b.end() - 4);
    p.crc_ok = orvsim::crc32(b.data() + 8, b.size() - 12) == be32(&b[b.size() - 4]);
    return p;
}

Packet read_reg(Port &port, uint8_t reg, uint32_t addr, uint16_t words) {
    return parse(port.exchange(read_request(reg, addr, words)));
}

Packet write_reg(Port &port, uint8_t reg, uint32_t addr, const Bytes &data) {
    return parse(port.exchange(write_request(reg, addr, data)));
}

Bytes nir_frame(const Bytes &command) {
    Bytes f = command;
    uint16_t crc = orvsim::crc16_modbus(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}

Bytes nir_reply(uint8_t first, const Bytes &data) {
    Bytes f = {first};
    f.insert(f.end(), data.begin(), data.end());
    return nir_frame(f);
}

}  // namespace simtest
