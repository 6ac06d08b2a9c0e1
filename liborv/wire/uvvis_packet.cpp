// Building UVVIS_ORV request packets and decoding responses (layout in
// uvvis_packet.h).
#include "wire/uvvis_packet.h"

#include <cstring>

#include "wire/byte_order.h"

namespace {

constexpr uint8_t REQUEST_VERSION = 0xCC;
constexpr uint16_t REQUEST_TARGET = 0x0001;
constexpr uint16_t REQUEST_SOURCE = 0x0002;
constexpr uint8_t REQUEST_FILE_SN = 0xEE;
constexpr int CRC_FIRST_BYTE = 8;  // the CRC covers everything after the preamble
constexpr int CRC_SIZE = 4;
constexpr int SERVICE_OFFSET = 13;
constexpr int FILE_SN_OFFSET = 14;
constexpr int DATA_LEN_OFFSET = 17;
constexpr int REGISTER_OFFSET = 21;
constexpr int ADDRESS_SIZE = 3;
constexpr int REPLY_CODE_OFFSET = 27;

// Writes the 28 header bytes shared by both requests.
void put_request_header(uint8_t *out, uint8_t srv, uint16_t file_len, uint16_t data_len,
                        uint8_t reg, uint32_t addr) {
    std::memcpy(out, ORV_PREAMBLE, sizeof ORV_PREAMBLE);
    out[8] = REQUEST_VERSION;
    put_be16(out + 9, REQUEST_TARGET);
    put_be16(out + 11, REQUEST_SOURCE);
    out[SERVICE_OFFSET] = srv;
    out[FILE_SN_OFFSET] = REQUEST_FILE_SN;
    put_be16(out + 15, file_len);
    put_be16(out + DATA_LEN_OFFSET, data_len);
    out[19] = 1;  // one packet in the transfer
    out[20] = 1;  // and this is it
    out[REGISTER_OFFSET] = reg;
    out[22] = static_cast<uint8_t>(addr >> 16);
    out[23] = static_cast<uint8_t>(addr >> 8);
    out[24] = static_cast<uint8_t>(addr);
    out[25] = out[26] = out[27] = 0;
}

// Appends the CRC of bytes 8 .. body_len-1 at body_len; returns the packet length.
int put_crc(uint8_t *out, int body_len) {
    put_be32(out + body_len,
             static_cast<uint32_t>(orv_crc32(out + CRC_FIRST_BYTE, body_len - CRC_FIRST_BYTE)));
    return body_len + CRC_SIZE;
}

bool preamble_ok(const uint8_t *packet) {
    return std::memcmp(packet, ORV_PREAMBLE, sizeof ORV_PREAMBLE) == 0;
}

// A packet of a length a response may have, opening with the preamble.
bool framing_ok(const uint8_t *packet, int len) {
    return packet != nullptr && len >= ORV_PACKET_MIN_SIZE && len <= ORV_PACKET_MAX_SIZE &&
           preamble_ok(packet);
}

// The CRC field (the last four bytes) as received, and whether it is the
// CRC of everything between preamble and CRC.
uint32_t received_crc(const uint8_t *packet, int len) { return get_be32(packet + len - CRC_SIZE); }

bool crc_ok(const uint8_t *packet, int len) {
    const int covered = len - CRC_FIRST_BYTE - CRC_SIZE;
    return static_cast<uint32_t>(orv_crc32(packet + CRC_FIRST_BYTE, covered)) ==
           received_crc(packet, len);
}

// The data follow the header; their size comes from the length received,
// not from DataLen, and no more than the record's data field are taken.
int data_size(int len) {
    if (len <= ORV_PACKET_MIN_SIZE) return 0;
    const int size = len - ORV_PACKET_MIN_SIZE;
    return size > ORV_PACKET_MAX_DATA ? ORV_PACKET_MAX_DATA : size;
}

// Whether a response would be taken as the success of another kind of
// request than `request_service`: a write ACK (EAh) for a read, or a data
// response (E0h with data) for a write. Only an ACK can be mistaken for
// success; error replies and services of other values are the answer.
bool success_of_other_kind(const uint8_t *response, int len, uint8_t request_service) {
    if (response[REPLY_CODE_OFFSET] != ORV_REPLY_ACK) return false;
    const uint8_t service = response[SERVICE_OFFSET];
    switch (request_service) {
    case ORV_SRV_READ: return service == ORV_SRV_RESP_WRITE_ACK;
    case ORV_SRV_WRITE_ACK: return service == ORV_SRV_RESP_DATA && data_size(len) > 0;
    default: return false;
    }
}

}  // namespace

int uvvis_build_query(uint8_t reg, uint32_t addr, int words, uint8_t *out) {
    put_request_header(out, ORV_SRV_READ, static_cast<uint16_t>(words), 0, reg, addr);
    return put_crc(out, ORV_PACKET_HEADER_SIZE);
}

int uvvis_build_write(uint8_t reg, uint32_t addr, const uint8_t *data, int len, uint8_t *out) {
    if (len < 0) len = 0;
    const int words = (len + 3) / 4;
    put_request_header(out, ORV_SRV_WRITE_ACK, static_cast<uint16_t>(words),
                       static_cast<uint16_t>(words), reg, addr);
    uint8_t *payload = out + ORV_PACKET_HEADER_SIZE;
    std::memset(payload, 0, static_cast<size_t>(words) * 4);
    if (data != nullptr && len > 0) std::memcpy(payload, data, static_cast<size_t>(len));
    return put_crc(out, ORV_PACKET_HEADER_SIZE + words * 4);
}

uint32_t uvvis_packet_length(const uint8_t *header) {
    return (uint32_t{get_be16(header + DATA_LEN_OFFSET)} + ORV_PACKET_MIN_SIZE / 4) * 4;
}

int reply_code_result(uint8_t reply) {
    switch (reply) {
    case ORV_REPLY_ACK: return ORV_OK;
    case ORV_REPLY_CMD_TIMEOUT: return ORV_ERR_TIMEOUT;
    case ORV_REPLY_CRC_MISMATCH: return ORV_ERR_CRC_MISMATCH;
    case ORV_REPLY_WRITE_PROTECT: return ORV_ERR_WRITE_PROTECTED;
    default: return ORV_ERR_TRANSPORT;  // E2h "Invalid Command" and unknown codes
    }
}

ORV_API int orv_parse_response(const uint8_t *buf, int len, orv_parsed_packet *out) {
    if (out == nullptr) return ORV_ERR_GENERIC;
    std::memset(out, 0, sizeof *out);
    // Shorter than the fields up to Index, or longer than raw can hold: refused whole.
    if (buf == nullptr || len < 24 || len > ORV_PACKET_MAX_SIZE) return ORV_ERR_GENERIC;

    std::memcpy(out->raw, buf, static_cast<size_t>(len));
    out->raw_len = len;
    std::memcpy(out->pre, buf, sizeof out->pre);
    out->pre_ok = preamble_ok(buf) ? 1 : 0;

    out->ver = buf[8];
    out->ta = get_be16(buf + 9);
    out->sa = get_be16(buf + 11);
    out->srv = buf[13];
    out->fsn = buf[14];
    out->file_len = get_be16(buf + 15);
    out->data_len = get_be16(buf + DATA_LEN_OFFSET);
    out->packets = buf[19];
    out->index = buf[20];
    if (len >= 25) {
        out->reg = buf[21];
        out->addr = get_be24(buf + 22);
    }
    if (len >= ORV_PACKET_HEADER_SIZE) {
        out->ans_status = static_cast<uint8_t>(buf[25] >> 4);
        out->ans_reply = buf[REPLY_CODE_OFFSET];
    }
    out->data_size = data_size(len);
    if (out->data_size > 0)
        std::memcpy(out->data, buf + ORV_PACKET_HEADER_SIZE, static_cast<size_t>(out->data_size));
    out->crc = received_crc(buf, len);
    out->crc_ok = crc_ok(buf, len) ? 1 : 0;
    return out->pre_ok ? ORV_OK : ORV_ERR_GENERIC;
}

bool uvvis_packet_intact(const uint8_t *packet, int len) {
    return framing_ok(packet, len) && crc_ok(packet, len);
}

bool uvvis_answers_request(const uint8_t *response, int len, const uint8_t *request) {
    const uint8_t file_sn = request[FILE_SN_OFFSET];
    if (file_sn != 0 && response[FILE_SN_OFFSET] != file_sn) return false;
    // Register and address: four bytes in a row.
    if (std::memcmp(response + REGISTER_OFFSET, request + REGISTER_OFFSET, 1 + ADDRESS_SIZE) != 0)
        return false;
    return !success_of_other_kind(response, len, request[SERVICE_OFFSET]);
}

int uvvis_check_response(const uint8_t *packet, int len, uvvis_response_data *data) {
    if (!framing_ok(packet, len)) return ORV_ERR_INVALID_PACKET;
    if (!crc_ok(packet, len)) return ORV_ERR_CRC_MISMATCH;
    const int rc = reply_code_result(packet[REPLY_CODE_OFFSET]);
    if (rc != ORV_OK) return rc;
    *data = {packet + ORV_PACKET_HEADER_SIZE, data_size(len)};
    return ORV_OK;
}
