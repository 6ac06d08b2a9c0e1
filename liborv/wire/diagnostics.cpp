// Readable forms of UVVIS_ORV packets on stdout: a hex dump, the names of
// service and reply codes, and a field-by-field listing of a decoded packet;
// and the names of liborv's result codes.
#include <cstdio>

#include "orv.h"

namespace {

constexpr int DUMP_BYTES_PER_LINE = 16;
constexpr int LISTED_DATA_BYTES = 32;

const char *status_name(unsigned status) {
    switch (status) {
    case 0: return "Normal";
    case 11: return "Failed";
    case 14: return "Forbidden";
    default: return "Unknown";
    }
}

unsigned hi_byte(uint16_t v) { return static_cast<unsigned>(v >> 8); }
unsigned lo_byte(uint16_t v) { return static_cast<unsigned>(v & 0xFFu); }

}  // namespace

ORV_API void orv_dump_hex(const uint8_t *data, int size) {
    if (data != nullptr) {
        for (int i = 0; i < size; ++i) {
            std::printf(" %02X", static_cast<unsigned>(data[i]));
            if ((i + 1) % DUMP_BYTES_PER_LINE == 0 && i + 1 < size) std::printf("\n       ");
        }
    }
    std::printf("\n");
}

ORV_API const char *orv_srv_name(uint8_t code) {
    switch (code) {
    case ORV_SRV_READ: return "Read Memory (Query)";
    case ORV_SRV_WRITE_NO_ACK: return "Write Memory (No ACK)";
    case ORV_SRV_WRITE_ACK: return "Write Memory (With ACK)";
    case ORV_SRV_RESP_DATA: return "Response (With Data)";
    case ORV_SRV_RESP_WRITE_ACK: return "Response (Write ACK)";
    default: return "Unknown Service";
    }
}

ORV_API const char *orv_ans_reply_name(uint8_t code) {
    switch (code) {
    case ORV_REPLY_ACK: return "Normal ACK";
    case ORV_REPLY_CMD_TIMEOUT: return "Command Timeout";
    case ORV_REPLY_CRC_MISMATCH: return "CRC Mismatch";
    case ORV_REPLY_INVALID_CMD: return "Invalid Command";
    case ORV_REPLY_WRITE_PROTECT: return "Write Protect Not Open";
    default: return "Unknown Reply";
    }
}

ORV_API const char *orv_result_name(int code) {
    // Each name is its macro's own spelling.
#define RESULT_NAME(result) \
    case result: return #result
    switch (code) {
        RESULT_NAME(ORV_OK);
        RESULT_NAME(ORV_ERR_GENERIC);
        RESULT_NAME(ORV_ERR_DEVICE_NOT_FOUND);
        RESULT_NAME(ORV_ERR_NOT_OPEN);
        RESULT_NAME(ORV_ERR_TRANSPORT);
        RESULT_NAME(ORV_ERR_INVALID_PARAM);
        RESULT_NAME(ORV_ERR_OPEN_FAILED);
        RESULT_NAME(ORV_ERR_CRC_MISMATCH);
        RESULT_NAME(ORV_ERR_INVALID_PACKET);
        RESULT_NAME(ORV_ERR_TIMEOUT);
        RESULT_NAME(ORV_ERR_WRITE_PROTECTED);
        RESULT_NAME(ORV_ERR_UNSUPPORTED);
    default: return "unknown";
    }
#undef RESULT_NAME
}

ORV_API void orv_print_parsed(const orv_parsed_packet *p) {
    if (p == nullptr) return;
    if (!p->pre_ok) {
        std::printf("  [ERROR] Preamble mismatch, not a valid ORV packet\n");
        return;
    }
    std::printf("  ├─ PRE:  ");
    for (uint8_t b : p->pre) std::printf("%02X ", static_cast<unsigned>(b));
    std::printf(" (Preamble)\n");
    std::printf("  ├─ VER:  %02X                    (Protocol v%u.%u)\n",
                static_cast<unsigned>(p->ver), static_cast<unsigned>(p->ver >> 4),
                static_cast<unsigned>(p->ver & 0x0Fu));
    std::printf("  ├─ TA:   %02X %02X                  (Target: %02Xh)\n", hi_byte(p->ta),
                lo_byte(p->ta), lo_byte(p->ta));
    std::printf("  ├─ SA:   %02X %02X                  (Source: %02Xh)\n", hi_byte(p->sa),
                lo_byte(p->sa), lo_byte(p->sa));
    std::printf("  ├─ SRV:  %02X                    (%s)\n", static_cast<unsigned>(p->srv),
                orv_srv_name(p->srv));
    std::printf("  ├─ FSN:  %02X                    (File SN: %d)\n", static_cast<unsigned>(p->fsn),
                static_cast<int>(p->fsn));
    std::printf("  ├─ LN:   %04X %04X            (FileLen=%d, DataLen=%d)\n",
                static_cast<unsigned>(p->file_len), static_cast<unsigned>(p->data_len),
                static_cast<int>(p->file_len), static_cast<int>(p->data_len));
    std::printf("  ├─ SN:   %02X %02X                  (Packets=%d, Index=%d)\n",
                static_cast<unsigned>(p->packets), static_cast<unsigned>(p->index),
                static_cast<int>(p->packets), static_cast<int>(p->index));
    // addr is 32 bits wide; unsigned int prints it identically where long is 32 or 64 bits.
    std::printf("  ├─ PIO:  %02X %06X             (Reg=%02Xh, Addr=%06Xh)\n",
                static_cast<unsigned>(p->reg), static_cast<unsigned>(p->addr),
                static_cast<unsigned>(p->reg), static_cast<unsigned>(p->addr));
    std::printf("  ├─ ANS:  %01X %02X %02X               (Status=%d=%s, Reply=%02Xh=%s)\n",
                static_cast<unsigned>(p->ans_status), 0u, static_cast<unsigned>(p->ans_reply),
                static_cast<int>(p->ans_status), status_name(p->ans_status),
                static_cast<unsigned>(p->ans_reply), orv_ans_reply_name(p->ans_reply));
    std::printf("  ├─ DATA: ");
    if (p->data_size <= 0) {
        std::printf(" (no data)\n");
    } else {
        const int shown = p->data_size < LISTED_DATA_BYTES ? p->data_size : LISTED_DATA_BYTES;
        for (int i = 0; i < shown; ++i) std::printf("%02X ", static_cast<unsigned>(p->data[i]));
        if (p->data_size > LISTED_DATA_BYTES) std::printf("...");
        std::printf(" (%d bytes)\n", static_cast<int>(p->data_size));
    }
    std::printf("  └─ CRC:  %08X              (%s)\n", static_cast<unsigned>(p->crc),
                p->crc_ok == 1 ? "CRC OK" : "CRC FAIL");
}
