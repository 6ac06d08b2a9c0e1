// The eleven D2XX calls over the simulated bridges. The list calls and
// FT_Open/FT_Close work under the provider lock; the calls on a handle look
// the bridge up under it and then hold only that bridge's lock, which
// FT_Read releases while it waits (simulator.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ftd2xx.h"
#include "simulator.h"

using orvsim::Bridge;
using orvsim::Clock;
using orvsim::LockedBridge;
using orvsim::Simulator;

namespace {

std::string dev_field(const Bridge *b) { return "dev=" + std::to_string(b ? b->index : -1); }

// Looks up the handle and logs the call; for the calls that only configure.
template <typename Action>
FT_STATUS with_bridge(const char *call, FT_HANDLE handle, const std::string &fields,
                      Action action) {
    Simulator &sim = orvsim::simulator();
    LockedBridge b(sim, handle);
    FT_STATUS status = b ? action(*b) : FT_STATUS{FT_INVALID_HANDLE};
    sim.transcript.line(call, status,
                        dev_field(b ? &*b : nullptr) + (fields.empty() ? "" : " " + fields));
    return status;
}

void copy_text(char *dest, size_t size, const std::string &text) {
    size_t n = std::min(size - 1, text.size());
    std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, size - n);
}

// Under the provider lock, which suffices for the handle.
void fill_node(FT_DEVICE_LIST_INFO_NODE &node, const Bridge &b) {
    node.Flags = b.config.flags | (b.open() ? FT_FLAGS_OPENED : 0u);
    node.Type = b.config.type;
    node.ID = b.config.id;
    node.LocId = b.config.loc_id;
    copy_text(node.SerialNumber, sizeof node.SerialNumber, b.config.serial);
    copy_text(node.Description, sizeof node.Description, b.config.description);
    node.ftHandle = reinterpret_cast<FT_HANDLE>(b.handle);
}

// Whether this FT_Open attempt of the bridge fails by the scenario's wish.
bool open_refused(Bridge &b) {
    ++b.open_attempts;
    return b.config.open_status != FT_OK &&
           (b.config.open_fails_from == 0 || b.open_attempts >= b.config.open_fails_from);
}

// Hands the written bytes to the instrument and schedules its answers; the
// requests it refused are added to `refusals`. The instrument's work (a
// spectrum) is done under the bridge's lock alone.
FT_STATUS deliver(Bridge &b, const uint8_t *data, DWORD len, DWORD &written,
                  std::vector<orvsim::Refusal> &refusals) {
    // The request ends when the host's write does. The time the simulator
    // then spends computing the answer (a spectrum takes tens of
    // microseconds) is not the instrument's: it overlaps the modelled latency
    // instead of delaying the answer.
    const Clock::time_point request_end = Clock::now();
    orvsim::WriteResult result;
    if (b.instrument) b.instrument->receive(data, len, result);
    for (const orvsim::Reply &reply : result.replies) {
        b.last_reply_ms =
            orvsim::to_ms(b.link.schedule(reply, request_end, b.config.timing) - request_end);
    }
    refusals = std::move(result.refusals);
    b.fail_next_read = b.fail_next_read || result.fail_next_read;
    b.unplugged = b.unplugged || result.unplug;
    written = result.failed ? 0 : result.short_write ? result.written : len;
    b.changed.notify_all();
    return result.failed ? FT_STATUS{FT_IO_ERROR} : FT_STATUS{FT_OK};
}

// Waits (asleep, the bridge's lock released) until `wanted` bytes are
// readable or the read timeout expires, then hands over what has arrived.
// False when the handle was closed, or the scenario replaced, meanwhile.
bool wait_and_take(LockedBridge &b, uint8_t *out, DWORD wanted, DWORD &got) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(b->read_timeout_ms);
    for (;;) {
        // A read woken late (a loaded host) still ends at its deadline, as a
        // driver's timed read does: bytes that came after it stay queued.
        const Clock::time_point now = std::min(Clock::now(), deadline);
        if (b->link.readable(now) >= wanted || now >= deadline) {
            got = static_cast<DWORD>(b->link.take(out, wanted, now));
            return true;
        }
        Clock::time_point wake = deadline;
        if (auto t = b->link.ready_time(wanted)) wake = std::min(wake, *t);
        b->changed.wait_until(b.lock(), wake);
        if (!b.still_open()) return false;
    }
}

std::string hex_field(const uint8_t *data, DWORD len) {
    return " data=" + (data ? orvsim::to_hex(data, len) : std::string());
}

}  // namespace

extern "C" {

FTD2XX_API FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *lpdwNumDevs) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    FT_STATUS status = FT_OK;
    DWORD count = 0;
    if (!lpdwNumDevs) {
        status = FT_INVALID_PARAMETER;
    } else if (!sim.ready()) {
        status = FT_OTHER_ERROR;
    } else if (sim.create_list_status != FT_OK) {
        status = sim.create_list_status;
    } else {
        count = static_cast<DWORD>(sim.bridges.size());
    }
    if (lpdwNumDevs) *lpdwNumDevs = count;
    sim.transcript.line("FT_CreateDeviceInfoList", status, "count=" + std::to_string(count));
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest,
                                                      DWORD *lpdwNumDevs) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    FT_STATUS status = FT_OK;
    DWORD filled = 0;
    if (!lpdwNumDevs || (!pDest && *lpdwNumDevs > 0)) {
        status = FT_INVALID_PARAMETER;
    } else if (!sim.ready()) {
        status = FT_OTHER_ERROR;
    } else if (sim.get_list_status != FT_OK) {
        status = sim.get_list_status;
    } else {
        filled = static_cast<DWORD>(std::min<size_t>(*lpdwNumDevs, sim.bridges.size()));
        for (DWORD i = 0; i < filled; ++i) fill_node(pDest[i], *sim.bridges[i]);
    }
    if (lpdwNumDevs && status == FT_OK) *lpdwNumDevs = filled;
    sim.transcript.line("FT_GetDeviceInfoList", status, "count=" + std::to_string(filled));
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Open(int deviceNumber, FT_HANDLE *pHandle) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    FT_STATUS status = FT_OK;
    Bridge *b = nullptr;
    if (!pHandle) {
        status = FT_INVALID_PARAMETER;
    } else if (!sim.ready() || !(b = sim.at(deviceNumber))) {
        status = FT_DEVICE_NOT_FOUND;
    } else if (open_refused(*b)) {
        status = b->config.open_status;
    } else if (b->open()) {
        status = FT_DEVICE_NOT_OPENED;  // one handle per bridge, as with the real driver
    } else {
        std::lock_guard<std::mutex> bridge_lock(b->mutex);
        b->start_session(sim.new_handle(), Clock::now());
    }
    if (pHandle) *pHandle = status == FT_OK ? reinterpret_cast<FT_HANDLE>(b->handle) : nullptr;
    sim.transcript.line(
        "FT_Open", status,
        "index=" + std::to_string(deviceNumber) + " " + dev_field(status == FT_OK ? b : nullptr));
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE ftHandle) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);  // the handle changes: both locks
    std::shared_ptr<Bridge> b = sim.find(ftHandle);
    if (b) {
        std::lock_guard<std::mutex> bridge_lock(b->mutex);
        b->end_session(Clock::now());
    }
    const FT_STATUS status = b ? FT_OK : FT_INVALID_HANDLE;
    sim.transcript.line("FT_Close", status, dev_field(b.get()));
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                                          DWORD *lpBytesWritten) {
    Simulator &sim = orvsim::simulator();
    LockedBridge b(sim, ftHandle);
    const auto *data = static_cast<const uint8_t *>(lpBuffer);
    FT_STATUS status = FT_OK;
    DWORD written = 0;
    std::vector<orvsim::Refusal> refusals;
    if (!b) {
        status = FT_INVALID_HANDLE;
    } else if (!lpBytesWritten || (!data && dwBytesToWrite > 0)) {
        status = FT_INVALID_PARAMETER;
    } else {
        ++b->write_count;
        b->last_write.assign(data, data + dwBytesToWrite);
        status = b->unplugged ? FT_STATUS{FT_IO_ERROR}
                              : deliver(*b, data, dwBytesToWrite, written, refusals);
    }
    if (lpBytesWritten) *lpBytesWritten = written;
    // The hex text of the bytes is built only when a transcript is written.
    if (!sim.transcript.active()) return status;
    const std::string dev = dev_field(b ? &*b : nullptr);
    sim.transcript.line("FT_Write", status,
                        dev + " req=" + std::to_string(dwBytesToWrite) +
                            " done=" + std::to_string(written) + hex_field(data, written));
    // The instrument's verdict on what it received follows the write.
    for (const orvsim::Refusal &r : refusals)
        sim.transcript.line("refused", r.code, dev + " " + r.fields);
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead,
                                         DWORD *lpBytesReturned) {
    Simulator &sim = orvsim::simulator();
    LockedBridge b(sim, ftHandle);
    auto *out = static_cast<uint8_t *>(lpBuffer);
    FT_STATUS status = FT_OK;
    DWORD got = 0;
    const uint32_t timeout_ms = b ? b->read_timeout_ms : 0;
    bool closed = !b;
    if (!b) {
        status = FT_INVALID_HANDLE;
    } else if (!lpBytesReturned || (!out && dwBytesToRead > 0)) {
        status = FT_INVALID_PARAMETER;
    } else if (b->unplugged || b->fail_next_read) {
        b->fail_next_read = false;
        status = FT_IO_ERROR;
    } else if (!wait_and_take(b, out, dwBytesToRead, got)) {
        closed = true;
        status = FT_INVALID_HANDLE;
    }
    if (lpBytesReturned) *lpBytesReturned = got;
    if (sim.transcript.active())
        sim.transcript.line("FT_Read", status,
                            dev_field(closed ? nullptr : &*b) + " req=" +
                                std::to_string(dwBytesToRead) + " done=" + std::to_string(got) +
                                " timeout=" + std::to_string(timeout_ms) + hex_field(out, got));
    return status;
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE ftHandle) {
    return with_bridge("FT_ResetDevice", ftHandle, "", [](Bridge &b) {
        b.link.purge(Clock::now());
        if (b.instrument) b.instrument->clear_input();
        return FT_STATUS{FT_OK};
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    return with_bridge("FT_Purge", ftHandle, "mask=" + std::to_string(Mask), [Mask](Bridge &b) {
        if (Mask & FT_PURGE_RX) b.link.purge(Clock::now());
        if ((Mask & FT_PURGE_TX) && b.instrument) b.instrument->clear_input();
        return FT_STATUS{FT_OK};
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                                ULONG WriteTimeout) {
    return with_bridge(
        "FT_SetTimeouts", ftHandle,
        "read=" + std::to_string(ReadTimeout) + " write=" + std::to_string(WriteTimeout),
        [=](Bridge &b) {
            b.read_timeout_ms = ReadTimeout;
            b.write_timeout_ms = WriteTimeout;
            return FT_STATUS{FT_OK};
        });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
    return with_bridge("FT_SetLatencyTimer", ftHandle, "ms=" + std::to_string(ucLatency),
                       [=](Bridge &b) {
                           if (ucLatency < 1) return FT_STATUS{FT_INVALID_PARAMETER};
                           b.latency_timer_ms = ucLatency;
                           return FT_STATUS{FT_OK};
                       });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                     ULONG ulOutTransferSize) {
    return with_bridge(
        "FT_SetUSBParameters", ftHandle,
        "in=" + std::to_string(ulInTransferSize) + " out=" + std::to_string(ulOutTransferSize),
        [=](Bridge &b) {
            if (ulInTransferSize < 64 || ulInTransferSize > 65536 || ulInTransferSize % 64 != 0) {
                return FT_STATUS{FT_INVALID_PARAMETER};
            }
            b.in_transfer_size = ulInTransferSize;
            b.link.purge(Clock::now());  // buffered data is lost on a change
            return FT_STATUS{FT_OK};
        });
}

}  // extern "C"
