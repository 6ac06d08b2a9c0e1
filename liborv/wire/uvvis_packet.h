// The UVVIS_ORV packet format beyond what orv.h exports (the decoder and the
// CRC): the preamble, the request builders, the packet length a header
// announces and what a reply code means.
//
// Layout (big-endian): preamble (8), VER, TA (2), SA (2), SRV, FSN,
// FileLen (2), DataLen (2), Packets, Index, Reg, Addr (3), ANS (3),
// data (4 * DataLen), CRC-32 over everything between preamble and CRC.
#pragma once

#include <cstdint>

#include "orv.h"

// The eight preamble bytes that open every packet.
inline constexpr uint8_t ORV_PREAMBLE[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};

// The largest request liborv builds: 2048 bytes, so a write carries at most
// 2016 data bytes.
inline constexpr int ORV_REQUEST_BUFFER_SIZE = 2048;
inline constexpr int ORV_MAX_WRITE_DATA = ORV_REQUEST_BUFFER_SIZE - ORV_PACKET_MIN_SIZE;

// Builds a 32-byte read request for `words` 32-bit words of register `reg`
// at the 24-bit address `addr` into out (>= 32 bytes). Returns 32.
int uvvis_build_query(uint8_t reg, uint32_t addr, int words, uint8_t *out);

// Builds a write request carrying len data bytes, padded with zeros to whole
// words, into out (>= 32 + len rounded up to 4). Returns the packet length,
// 32 + 4 * ((len + 3) / 4).
int uvvis_build_write(uint8_t reg, uint32_t addr, const uint8_t *data, int len, uint8_t *out);

// The length of the whole packet whose first ORV_PACKET_HEADER_SIZE bytes
// are `header`, from its DataLen: header, data and CRC. Up to 262,172 bytes:
// the caller bounds it.
uint32_t uvvis_packet_length(const uint8_t *header);

// What a response's reply code (ANS byte 27) means for the caller: ORV_OK for
// an ACK, else the error code it maps to (unknown codes: ORV_ERR_TRANSPORT).
int reply_code_result(uint8_t reply);

// Where the data of a checked response are: inside the packet, not copied.
struct uvvis_response_data {
    const uint8_t *bytes;
    int size;  // len - ORV_PACKET_MIN_SIZE, at most ORV_PACKET_MAX_DATA
};

// Whether a packet of len bytes is whole and unbroken: its length within
// ORV_PACKET_MIN_SIZE..ORV_PACKET_MAX_SIZE, its preamble and its CRC-32 right.
bool uvvis_packet_intact(const uint8_t *packet, int len);

// Whether an intact response of len bytes is the answer to `request`, a
// packet of uvvis_build_query or uvvis_build_write: it echoes the request's
// register, address and FSN (when the request set one). The service byte is
// not validated (firmware answers with other values too); it only tells two
// requests to the same place apart where the packet would otherwise pass as
// the success of the wrong kind: an ACK under EAh (write ACK) for a read, an
// ACK under E0h with data for a write. Error replies are always the answer.
// Anything else is the late answer to an earlier request. Reads the header
// fields only: both need ORV_PACKET_HEADER_SIZE bytes.
bool uvvis_answers_request(const uint8_t *response, int len, const uint8_t *request);

// Checks a whole response of len bytes in place, in this order: a wrong
// preamble (or a length outside ORV_PACKET_MIN_SIZE..ORV_PACKET_MAX_SIZE) is
// ORV_ERR_INVALID_PACKET, a wrong CRC-32 ORV_ERR_CRC_MISMATCH, then the reply
// code's result. On ORV_OK *data points at the data bytes the packet carries.
// The verdict is the one orv_parse_response's record leads to, without the
// record.
int uvvis_check_response(const uint8_t *packet, int len, uvvis_response_data *data);
