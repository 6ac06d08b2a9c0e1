// The eleven D2XX calls: each is forwarded unchanged to the real provider,
// timed, and written to the capture with its arguments and results. The
// capture never changes what a call returns.
#include <algorithm>
#include <cstring>

#include "recorder.h"

using orvcapture::Call;
using orvcapture::Record;
using orvrecord::Provider;
using orvrecord::Recorder;

namespace {

// Forwards `forward(provider)` and, when recording, writes the call: `fill`
// adds its arguments and results to the record.
template <typename Forward, typename Fill>
FT_STATUS recorded(Call call, FT_HANDLE handle, Forward forward, Fill fill) noexcept {
    Recorder &recorder = Recorder::instance();
    const Provider *provider = recorder.provider();
    if (!recorder.recording())
        return provider ? forward(*provider) : FT_STATUS{FT_DEVICE_NOT_FOUND};
    // One record per thread, reused: its data buffer keeps its room.
    thread_local Record record;
    std::vector<uint8_t> data = std::move(record.data);
    data.clear();
    record = Record{};
    record.data = std::move(data);
    record.call = call;
    record.t_us = recorder.now_us();
    const FT_STATUS status = provider ? forward(*provider) : FT_STATUS{FT_DEVICE_NOT_FOUND};
    record.dur_us = recorder.now_us() - record.t_us;
    record.status = status;
    try {
        fill(record);
        recorder.write(record, handle);
    } catch (...) {
        // Out of memory for the record: the call's result stands.
    }
    return status;
}

template <typename Forward>
FT_STATUS recorded(Call call, FT_HANDLE handle, Forward forward) noexcept {
    return recorded(call, handle, forward, [](Record &) {});
}

void copy_bytes(std::vector<uint8_t> &out, const void *data, DWORD count) {
    const auto *bytes = static_cast<const uint8_t *>(data);
    if (bytes) out.assign(bytes, bytes + count);
}

}  // namespace

extern "C" {

FTD2XX_API FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *lpdwNumDevs) {
    return recorded(
        Call::CreateDeviceInfoList, nullptr,
        [&](const Provider &p) { return p.FT_CreateDeviceInfoList(lpdwNumDevs); },
        [&](Record &r) {
            if (lpdwNumDevs) r.count = *lpdwNumDevs;
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest,
                                                      DWORD *lpdwNumDevs) {
    const std::optional<uint32_t> capacity =
        lpdwNumDevs ? std::optional<uint32_t>(*lpdwNumDevs) : std::nullopt;
    return recorded(
        Call::GetDeviceInfoList, nullptr,
        [&](const Provider &p) { return p.FT_GetDeviceInfoList(pDest, lpdwNumDevs); },
        [&](Record &r) {
            r.capacity = capacity;
            if (lpdwNumDevs) r.count = *lpdwNumDevs;
            if (r.status != FT_OK || !pDest || !r.count) return;
            // The provider's count is not trusted beyond the array's size.
            const uint32_t filled =
                std::min({*r.count, capacity.value_or(0), orvcapture::kMaxDevices});
            r.count = filled;
            for (uint32_t i = 0; i < filled; ++i) {
                const FT_DEVICE_LIST_INFO_NODE &node = pDest[i];
                r.devices.push_back(
                    {node.Flags, node.Type, node.ID, node.LocId,
                     std::string(node.SerialNumber,
                                 strnlen(node.SerialNumber, sizeof node.SerialNumber)),
                     std::string(node.Description,
                                 strnlen(node.Description, sizeof node.Description))});
            }
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Open(int deviceNumber, FT_HANDLE *pHandle) {
    return recorded(
        Call::Open, nullptr, [&](const Provider &p) { return p.FT_Open(deviceNumber, pHandle); },
        [&](Record &r) {
            r.index = deviceNumber;
            if (r.status != FT_OK || !pHandle) return;
            r.dev = deviceNumber;
            Recorder::instance().opened(*pHandle, deviceNumber);
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE ftHandle) {
    const FT_STATUS status =
        recorded(Call::Close, ftHandle, [&](const Provider &p) { return p.FT_Close(ftHandle); });
    if (status == FT_OK) Recorder::instance().closed(ftHandle);
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead,
                                         DWORD *lpBytesReturned) {
    return recorded(
        Call::Read, ftHandle,
        [&](const Provider &p) {
            return p.FT_Read(ftHandle, lpBuffer, dwBytesToRead, lpBytesReturned);
        },
        [&](Record &r) {
            r.req = dwBytesToRead;
            // A provider's count beyond what was asked is not trusted.
            r.done = lpBytesReturned ? std::min(*lpBytesReturned, dwBytesToRead) : 0;
            copy_bytes(r.data, lpBuffer, r.done);
            if (!lpBuffer) r.done = 0;
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                                          DWORD *lpBytesWritten) {
    return recorded(
        Call::Write, ftHandle,
        [&](const Provider &p) {
            return p.FT_Write(ftHandle, lpBuffer, dwBytesToWrite, lpBytesWritten);
        },
        [&](Record &r) {
            r.req = lpBuffer ? dwBytesToWrite : 0;
            r.done = lpBytesWritten ? std::min(*lpBytesWritten, r.req) : 0;
            copy_bytes(r.data, lpBuffer, r.req);
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE ftHandle) {
    return recorded(Call::ResetDevice, ftHandle,
                    [&](const Provider &p) { return p.FT_ResetDevice(ftHandle); });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    return recorded(
        Call::Purge, ftHandle, [&](const Provider &p) { return p.FT_Purge(ftHandle, Mask); },
        [&](Record &r) { r.mask = Mask; });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                                ULONG WriteTimeout) {
    return recorded(
        Call::SetTimeouts, ftHandle,
        [&](const Provider &p) { return p.FT_SetTimeouts(ftHandle, ReadTimeout, WriteTimeout); },
        [&](Record &r) {
            r.read_ms = ReadTimeout;
            r.write_ms = WriteTimeout;
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
    return recorded(
        Call::SetLatencyTimer, ftHandle,
        [&](const Provider &p) { return p.FT_SetLatencyTimer(ftHandle, ucLatency); },
        [&](Record &r) { r.latency_ms = ucLatency; });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                     ULONG ulOutTransferSize) {
    return recorded(
        Call::SetUSBParameters, ftHandle,
        [&](const Provider &p) {
            return p.FT_SetUSBParameters(ftHandle, ulInTransferSize, ulOutTransferSize);
        },
        [&](Record &r) {
            r.in_size = ulInTransferSize;
            r.out_size = ulOutTransferSize;
        });
}

}  // extern "C"
