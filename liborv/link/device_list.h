// The D2XX device list, read once per call, and the opening of a bridge by
// its list position. The list is process-wide: every use of it (building it,
// reading it, opening by position) holds one short lock, never while an
// instrument is awaited. Library-internal.
#pragma once

#include <cstddef>

#include "ftd2xx.h"

inline constexpr int MAX_LISTED_DEVICES = 64;

// At most 64 records, positions equal to the indexes FT_Open takes.
struct listed_devices {
    FT_DEVICE_LIST_INFO_NODE nodes[MAX_LISTED_DEVICES];
    int count;
};

// ORV_OK with at least one record, else ORV_ERR_DEVICE_NOT_FOUND (the list
// cannot be built, is empty, or the records cannot be read).
int read_device_list(listed_devices &list);

// Length of a record's serial number, which the driver may fill without a
// terminator.
size_t serial_length(const FT_DEVICE_LIST_INFO_NODE &node);

// The list position of the first bridge whose chip serial equals chip_serial
// exactly. ORV_ERR_INVALID_PARAM (NULL or empty), ORV_ERR_DEVICE_NOT_FOUND.
int find_chip_serial(const char *chip_serial, int *index);

// FT_Open of list position index. The D2XX status.
FT_STATUS open_listed_bridge(int index, FT_HANDLE *bridge);
