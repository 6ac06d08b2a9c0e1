// The D2XX device list, read once per call, and the opening of a bridge by
// its list position. The list is process-wide: every use of it (building it,
// reading it, opening by position) holds one short lock, never while an
// instrument is awaited. Library-internal.
#pragma once

#include <cstddef>
#include <memory>

#include "ftd2xx.h"
#include "orv.h"

// More than any USB host holds: a provider that announces more bridges is
// broken, and its list is not read.
inline constexpr DWORD MAX_ANNOUNCED_BRIDGES = 4096;

// The records of the first ORV_MAX_BRIDGES bridges, positions equal to the
// indexes FT_Open takes.
struct listed_devices {
    // Room for every bridge the provider announced, however many of them it is
    // asked for: a driver may fill as many as it announced.
    std::unique_ptr<FT_DEVICE_LIST_INFO_NODE[]> nodes;
    int count = 0;      // valid records, at most ORV_MAX_BRIDGES
    int announced = 0;  // the bridges the provider lists
};

// ORV_OK with the list (maybe empty), else ORV_ERR_DEVICE_NOT_FOUND (the list
// cannot be built, its records cannot be read or had, or the provider
// announces more than MAX_ANNOUNCED_BRIDGES).
int read_device_list(listed_devices &list);

// Length of a record's serial number, which the driver may fill without a
// terminator.
size_t serial_length(const FT_DEVICE_LIST_INFO_NODE &node);

// The list position of the first bridge whose chip serial equals chip_serial
// exactly. ORV_ERR_INVALID_PARAM (NULL or empty), ORV_ERR_DEVICE_NOT_FOUND.
int find_chip_serial(const char *chip_serial, int *index);

// FT_Open of list position index. The D2XX status.
FT_STATUS open_listed_bridge(int index, FT_HANDLE *bridge);
