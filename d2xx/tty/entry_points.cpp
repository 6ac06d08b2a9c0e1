// The eleven D2XX calls over the kernel's ftdi_sio ttys. No C++ exception
// leaves them; no lock is held while a read or write waits.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "device_list.h"
#include "diagnostics.h"
#include "ftd2xx.h"
#include "handle_table.h"
#include "sysfs_files.h"
#include "tty_port.h"

using orvtty::device_list;
using orvtty::handle_table;
using orvtty::ListedBridge;
using orvtty::OpenDevice;

namespace {

template <typename Body>
FT_STATUS guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return FT_INSUFFICIENT_RESOURCES;
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

// Runs `action` on the open device of `handle` (a copy: the table's lock is
// not held while it runs).
template <typename Action>
FT_STATUS with_device(FT_HANDLE handle, Action action) noexcept {
    return guarded([&] {
        const std::optional<OpenDevice> device = handle_table().find(handle);
        return device ? action(*device) : FT_STATUS{FT_INVALID_HANDLE};
    });
}

void copy_text(char *dest, size_t size, const std::string &text) {
    const size_t n = std::min(size - 1, text.size());
    std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, size - n);
}

void fill_node(FT_DEVICE_LIST_INFO_NODE &node, const ListedBridge &b) {
    const FT_HANDLE handle = handle_table().handle_of(orvtty::resolve(b.node));
    node.Flags = b.flags | (handle ? FT_FLAGS_OPENED : 0u);
    node.Type = b.type;
    node.ID = b.id;
    node.LocId = b.loc_id;
    copy_text(node.SerialNumber, sizeof node.SerialNumber, b.serial);
    copy_text(node.Description, sizeof node.Description, b.description);
    node.ftHandle = handle;
}

FT_STATUS open_bridge(const ListedBridge &b, FT_HANDLE *handle) {
    const std::string key = orvtty::resolve(b.node);
    if (key.empty()) {
        orvtty::explain("cannot open " + b.tty + ": " + b.node + " does not exist (unplugged?)");
        return FT_DEVICE_NOT_FOUND;
    }
    if (!handle_table().claim(key)) {
        orvtty::explain("cannot open " + b.tty + ": this program has it open already");
        return FT_DEVICE_NOT_OPENED;
    }
    try {
        orvtty::TtyPort::Opened opened = orvtty::TtyPort::open(b.node);
        if (opened.status != FT_OK) {
            orvtty::explain("cannot open " + b.tty + " (" + b.node + "): " + opened.reason);
            handle_table().unclaim(key);
            return opened.status;
        }
        *handle = handle_table().add(OpenDevice{std::move(opened.port), key, b.port_dir});
        return FT_OK;
    } catch (...) {
        handle_table().unclaim(key);
        throw;
    }
}

}  // namespace

extern "C" {

FTD2XX_API FT_STATUS FTD2XX_CALL FT_CreateDeviceInfoList(DWORD *lpdwNumDevs) {
    return guarded([&] {
        if (!lpdwNumDevs) return FT_STATUS{FT_INVALID_PARAMETER};
        *lpdwNumDevs = 0;
        *lpdwNumDevs = static_cast<DWORD>(device_list().refresh());
        return FT_STATUS{FT_OK};
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *pDest,
                                                      DWORD *lpdwNumDevs) {
    return guarded([&] {
        if (!lpdwNumDevs || (!pDest && *lpdwNumDevs > 0)) return FT_STATUS{FT_INVALID_PARAMETER};
        const std::vector<ListedBridge> bridges = device_list().entries();
        const size_t filled = std::min<size_t>(*lpdwNumDevs, bridges.size());
        for (size_t i = 0; i < filled; ++i) fill_node(pDest[i], bridges[i]);
        *lpdwNumDevs = static_cast<DWORD>(filled);
        return FT_STATUS{FT_OK};
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Open(int deviceNumber, FT_HANDLE *pHandle) {
    return guarded([&] {
        if (!pHandle) return FT_STATUS{FT_INVALID_PARAMETER};
        *pHandle = nullptr;
        const std::vector<ListedBridge> bridges =
            orvtty::list_bridges(orvtty::roots_from_environment());
        if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= bridges.size()) {
            orvtty::explain("no FTDI tty at index " + std::to_string(deviceNumber) + " (" +
                            std::to_string(bridges.size()) + " listed)");
            return FT_STATUS{FT_DEVICE_NOT_FOUND};
        }
        return open_bridge(bridges[static_cast<size_t>(deviceNumber)], pHandle);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Close(FT_HANDLE ftHandle) {
    return guarded([&] {
        const std::optional<OpenDevice> device = handle_table().take(ftHandle);
        if (!device) return FT_STATUS{FT_INVALID_HANDLE};
        device->port->cancel();  // a read or write of another thread ends now
        return FT_STATUS{FT_OK};
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Read(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToRead,
                                         DWORD *lpBytesReturned) {
    return with_device(ftHandle, [&](const OpenDevice &device) {
        if (!lpBytesReturned || (!lpBuffer && dwBytesToRead > 0)) {
            return FT_STATUS{FT_INVALID_PARAMETER};
        }
        return device.port->read(static_cast<uint8_t *>(lpBuffer), dwBytesToRead, lpBytesReturned);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Write(FT_HANDLE ftHandle, void *lpBuffer, DWORD dwBytesToWrite,
                                          DWORD *lpBytesWritten) {
    return with_device(ftHandle, [&](const OpenDevice &device) {
        if (!lpBytesWritten || (!lpBuffer && dwBytesToWrite > 0)) {
            return FT_STATUS{FT_INVALID_PARAMETER};
        }
        return device.port->write(static_cast<const uint8_t *>(lpBuffer), dwBytesToWrite,
                                  lpBytesWritten);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_ResetDevice(FT_HANDLE ftHandle) {
    return with_device(ftHandle,
                       [](const OpenDevice &device) { return device.port->flush(true, true); });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    return with_device(ftHandle, [=](const OpenDevice &device) {
        return device.port->flush((Mask & FT_PURGE_RX) != 0, (Mask & FT_PURGE_TX) != 0);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                                ULONG WriteTimeout) {
    return with_device(ftHandle, [=](const OpenDevice &device) {
        return device.port->set_timeouts(ReadTimeout, WriteTimeout);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
    return with_device(ftHandle, [=](const OpenDevice &device) {
        return device.port->set_latency_timer(ucLatency, device.port_dir);
    });
}

FTD2XX_API FT_STATUS FTD2XX_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                     ULONG ulOutTransferSize) {
    return with_device(ftHandle, [=](const OpenDevice &device) {
        return device.port->check_transfer_sizes(ulInTransferSize, ulOutTransferSize);
    });
}

}  // extern "C"
