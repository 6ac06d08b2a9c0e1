// The UVVIS_ORV wire format as the instrument sees it: request framing out of
// a byte stream, and response packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "bytes.h"

namespace orvsim::uvvis {

inline constexpr uint8_t kPreamble[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};
inline constexpr size_t kHeaderSize = 28;
inline constexpr uint32_t kMaxDataWords = 4088;  // 16384-byte packets

inline constexpr uint8_t kSrvRead = 0x0D;
inline constexpr uint8_t kSrvWriteAck = 0xAD;
inline constexpr uint8_t kSrvWriteNoAck = 0x3D;
inline constexpr uint8_t kSrvRespData = 0xE0;
inline constexpr uint8_t kSrvRespWriteAck = 0xEA;

// Header fields every packet carries with fixed values: the protocol
// version, the addresses of the host and the instrument (TA/SA: a request
// goes from the host to the instrument, a response back), the file serial
// number of a request and the packet count and index of a one-packet file.
inline constexpr uint8_t kVersion = 0xCC;
inline constexpr uint16_t kHostAddress = 0x0002;
inline constexpr uint16_t kInstrumentAddress = 0x0001;
inline constexpr uint8_t kRequestFileSn = 0xEE;
inline constexpr uint8_t kPackets = 0x01;
inline constexpr uint8_t kPacketIndex = 0x01;

inline constexpr uint8_t kReplyAck = 0xAC;
inline constexpr uint8_t kReplyCrcMismatch = 0xE1;
inline constexpr uint8_t kReplyInvalid = 0xE2;
inline constexpr uint8_t kReplyWriteProtect = 0xE3;

struct Request {
    uint8_t version = 0;
    uint16_t target = 0;
    uint16_t source = 0;
    uint8_t srv = 0;
    uint8_t fsn = 0;
    uint16_t file_len = 0;  // words asked for (read)
    uint16_t data_len = 0;  // words carried
    uint8_t packets = 0;
    uint8_t index = 0;
    uint8_t reg = 0;
    uint32_t address = 0;
    uint32_t ans = 0;  // the three reply bytes, zero in a request
    Bytes data;        // DataLen words
    bool crc_ok = false;
    size_t wire_size = 0;
};

// The name of the first header field of a request that breaks the values
// the protocol fixes (VER, TA, SA, FSN, SN, ANS; DataLen 0 in a read,
// FileLen = DataLen in a write), or null when there is none.
const char *broken_fixed_field(const Request &request);

// Collects written bytes and cuts them into request packets. Bytes that cannot
// start a packet are dropped, so foreign traffic (a NIR_LEGACY command) is
// ignored rather than answered.
class RequestParser {
public:
    void feed(const uint8_t *data, size_t len) { buffer_.insert(buffer_.end(), data, data + len); }
    std::optional<Request> next();
    void clear() { buffer_.clear(); }

private:
    Request take(size_t total);
    Bytes buffer_;
};

struct Response {
    uint8_t srv = kSrvRespData;
    uint8_t fsn = 0;
    uint8_t reg = 0;
    uint32_t address = 0;
    uint8_t reply = kReplyAck;
    Bytes data;  // padded to whole words when built
};

// Status nibble that goes with a reply code: 0 "Normal", Eh "Forbidden"
// (write protect), Bh "Failed".
uint8_t status_for_reply(uint8_t reply);

Bytes build_response(const Response &r);

// Replaces the DataLen field of a built packet and fixes its CRC.
void set_data_len(Bytes &packet, uint16_t words);
// Recomputes the CRC of a built packet.
void refresh_crc(Bytes &packet);

}  // namespace orvsim::uvvis
