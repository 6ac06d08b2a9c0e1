// The scripted D2XX provider (see scripted_bridge.h).
#include "scripted_bridge.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "crc_reference.h"
#include "ftd2xx.h"
#include "orv.h"
#include "virtual_clock.h"
#include "wire/uvvis_packet.h"

namespace fuzz {
namespace {

constexpr uint32_t MAX_ANSWER = 0xFFFF;
constexpr uint32_t UVVIS_CRC_FIRST_BYTE = 8;

struct Bridge {
    AnswerSource *source = nullptr;
    BridgeSetup setup;
    int open_handles = 0;
    uint32_t read_timeout_ms = 0;
    // The answer being read.
    std::array<uint8_t, MAX_ANSWER> answer{};
    uint32_t answer_len = 0;
    uint32_t answer_pos = 0;
    uint8_t mode = FAULT_NONE;
    uint8_t chunk = 0;
    bool pause_next = false;
    bool overrun_claimed = false;
};

Bridge g_bridge;
// The one handle the bridge hands out; its address is the handle value.
char g_handle_token;

bool valid(FT_HANDLE h) { return h == &g_handle_token && g_bridge.open_handles > 0; }

// Status of a configuration call on a valid handle.
FT_STATUS config_status(FT_HANDLE h) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    return g_bridge.setup.config_fails ? FT_IO_ERROR : FT_OK;
}

uint32_t get_be16(const uint8_t *p) { return uint32_t{p[0]} << 8 | p[1]; }

void put_be32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

bool is_uvvis_request(const uint8_t *request, uint32_t len) {
    return len >= sizeof ORV_PREAMBLE &&
           std::memcmp(request, ORV_PREAMBLE, sizeof ORV_PREAMBLE) == 0;
}

// Makes the checksum of the pending answer right for the protocol of the
// request: the CRC-32 of a packet whose DataLen fits the answer, or the
// CRC-16 in the last two bytes of a byte-command reply.
void fix_checksum(bool uvvis) {
    uint8_t *a = g_bridge.answer.data();
    const uint32_t len = g_bridge.answer_len;
    if (uvvis) {
        if (len < ORV_PACKET_MIN_SIZE) return;
        const uint32_t packet_len = (get_be16(a + 17) + 8) * 4;
        if (packet_len > len) return;
        const uint32_t covered = packet_len - UVVIS_CRC_FIRST_BYTE - 4;
        put_be32(a + packet_len - 4,
                 crc_of_reference<crc_model::crc32_iso_hdlc>(a + UVVIS_CRC_FIRST_BYTE, covered));
    } else {
        if (len < 3) return;
        const uint32_t crc = crc_of_reference<crc_model::crc16_modbus>(a, len - 2);
        a[len - 2] = static_cast<uint8_t>(crc >> 8);
        a[len - 1] = static_cast<uint8_t>(crc);
    }
}

void drop_pending() { g_bridge.answer_pos = g_bridge.answer_len; }

}  // namespace

bool ScriptedAnswers::next(const uint8_t *, uint32_t, Answer &out) {
    if (end_ - pos_ < static_cast<std::ptrdiff_t>(ANSWER_RECORD_HEADER)) return false;
    out.mode = pos_[0];
    out.chunk = pos_[1];
    const size_t wanted = get_be16(pos_ + 2);
    pos_ += ANSWER_RECORD_HEADER;
    const size_t len = std::min(wanted, static_cast<size_t>(end_ - pos_));
    out.bytes = pos_;
    out.len = static_cast<uint32_t>(len);
    pos_ += len;
    return true;
}

void append_answer_record(std::vector<uint8_t> &script, const Answer &answer) {
    script.push_back(answer.mode);
    script.push_back(answer.chunk);
    script.push_back(static_cast<uint8_t>(answer.len >> 8));
    script.push_back(static_cast<uint8_t>(answer.len));
    script.insert(script.end(), answer.bytes, answer.bytes + answer.len);
}

void scripted_bridge_reset(AnswerSource *source, const BridgeSetup &setup) {
    g_bridge.source = source;
    g_bridge.setup = setup;
    g_bridge.open_handles = 0;
    g_bridge.read_timeout_ms = 0;
    g_bridge.answer_len = 0;
    g_bridge.answer_pos = 0;
    g_bridge.mode = FAULT_NONE;
}

int scripted_bridge_open_handles() { return g_bridge.open_handles; }

}  // namespace fuzz

using fuzz::g_bridge;

extern "C" {

FT_STATUS FTD2XX_CALL FT_Open(int deviceNumber, FT_HANDLE *pHandle) {
    if (pHandle == nullptr) return FT_INVALID_PARAMETER;
    if (deviceNumber != 0 || g_bridge.setup.open_fails || g_bridge.open_handles > 0)
        return FT_DEVICE_NOT_FOUND;
    ++g_bridge.open_handles;
    *pHandle = &fuzz::g_handle_token;
    return FT_OK;
}

FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE ftHandle) {
    if (!fuzz::valid(ftHandle)) return FT_INVALID_HANDLE;
    --g_bridge.open_handles;
    return g_bridge.setup.close_fails ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                               DWORD *lpBytesWritten) {
    if (!fuzz::valid(ftHandle) || lpBuffer == nullptr || lpBytesWritten == nullptr)
        return FT_INVALID_HANDLE;
    *lpBytesWritten = 0;
    const auto *request = static_cast<const uint8_t *>(lpBuffer);
    fuzz::Answer answer;
    fuzz::drop_pending();
    if (g_bridge.source == nullptr || !g_bridge.source->next(request, dwBytesToWrite, answer)) {
        *lpBytesWritten = dwBytesToWrite;  // accepted, never answered
        return FT_OK;
    }
    g_bridge.mode = answer.mode;
    g_bridge.chunk = answer.chunk;
    g_bridge.pause_next = false;
    g_bridge.overrun_claimed = false;
    switch (answer.mode & fuzz::ANSWER_FAULT_MASK) {
    case fuzz::FAULT_WRITE_ERROR: return FT_IO_ERROR;
    case fuzz::FAULT_SHORT_WRITE: *lpBytesWritten = dwBytesToWrite / 2; return FT_OK;
    default: break;
    }
    *lpBytesWritten = dwBytesToWrite;
    g_bridge.answer_len = std::min(answer.len, fuzz::MAX_ANSWER);
    g_bridge.answer_pos = 0;
    if (g_bridge.answer_len > 0)
        std::memcpy(g_bridge.answer.data(), answer.bytes, g_bridge.answer_len);
    if (answer.mode & fuzz::ANSWER_FIX_CHECKSUM)
        fuzz::fix_checksum(fuzz::is_uvvis_request(request, dwBytesToWrite));
    return FT_OK;
}

FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead,
                              DWORD *lpBytesReturned) {
    if (!fuzz::valid(ftHandle) || lpBuffer == nullptr || lpBytesReturned == nullptr)
        return FT_INVALID_HANDLE;
    *lpBytesReturned = 0;
    const uint32_t left = g_bridge.answer_len - g_bridge.answer_pos;
    const bool pause = (g_bridge.mode & fuzz::ANSWER_PAUSES) != 0 && g_bridge.pause_next;
    if (left == 0 || pause) {
        if (left == 0 && (g_bridge.mode & fuzz::ANSWER_FAULT_MASK) == fuzz::FAULT_READ_ERROR)
            return FT_IO_ERROR;
        g_bridge.pause_next = false;
        fuzz::virtual_advance_ms(g_bridge.read_timeout_ms);
        return FT_OK;
    }
    uint32_t n = std::min<uint32_t>(dwBytesToRead, left);
    if (g_bridge.chunk != 0) n = std::min<uint32_t>(n, g_bridge.chunk);
    std::memcpy(lpBuffer, g_bridge.answer.data() + g_bridge.answer_pos, n);
    g_bridge.answer_pos += n;
    g_bridge.pause_next = true;
    *lpBytesReturned = n;
    if ((g_bridge.mode & fuzz::ANSWER_OVERRUN_CLAIM) != 0 && !g_bridge.overrun_claimed) {
        // A driver that reports more bytes than it was asked for.
        g_bridge.overrun_claimed = true;
        *lpBytesReturned = dwBytesToRead + 1;
    }
    return FT_OK;
}

FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE ftHandle) { return fuzz::config_status(ftHandle); }

FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    if (!fuzz::valid(ftHandle)) return FT_INVALID_HANDLE;
    if (Mask & FT_PURGE_RX) fuzz::drop_pending();
    return fuzz::config_status(ftHandle);
}

FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG) {
    if (!fuzz::valid(ftHandle)) return FT_INVALID_HANDLE;
    g_bridge.read_timeout_ms = ReadTimeout;
    return fuzz::config_status(ftHandle);
}

FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR) {
    return fuzz::config_status(ftHandle);
}

FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG, ULONG) {
    return fuzz::config_status(ftHandle);
}

FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *lpdwNumDevs) {
    if (lpdwNumDevs == nullptr) return FT_INVALID_PARAMETER;
    *lpdwNumDevs = 1;
    return FT_OK;
}

FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest, DWORD *lpdwNumDevs) {
    if (pDest == nullptr || lpdwNumDevs == nullptr) return FT_INVALID_PARAMETER;
    if (*lpdwNumDevs < 1) return FT_INVALID_PARAMETER;
    std::memset(pDest, 0, sizeof *pDest);
    pDest->ID = 0x04036001;
    std::strcpy(pDest->SerialNumber, "FUZZ0001");
    std::strcpy(pDest->Description, "FUZZ scripted bridge");
    pDest->Flags = g_bridge.open_handles > 0 ? FT_FLAGS_OPENED : 0;
    *lpdwNumDevs = 1;
    return FT_OK;
}

}  // extern "C"
