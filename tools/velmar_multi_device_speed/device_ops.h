// Typed operations over liborv's exports: result codes become error kinds,
// text buffers owned UTF-8 text, sample buffers owned arrays. Every export is
// looked up by name immediately before it is called; nothing is cached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "result.h"
#include "sdk.h"

namespace velmar {

// Result code of liborv to outcome: 0 is success, known codes map to their
// kind, everything else (including positive values) is SdkInternalError.
Status map_result_code(std::int32_t code);

struct SdkDeviceInfo {
    std::string model;
    std::optional<std::string> serial;    // the instrument's own serial number
    std::optional<std::string> firmware;  // trimmed hardware version, absent when blank
};

// How open_device chooses the instrument.
struct DeviceIndex {
    std::uint32_t value;
};
struct ChipSerial {
    std::string value;
};
struct DeviceId {
    std::string value;  // id of a scanned device entry: its chip serial
};
using DeviceSelector = std::variant<DeviceIndex, ChipSerial, DeviceId>;

// Lower-level operations on the loaded library.

// Calls a text getter (buffer, size) with a zero-filled 128-byte buffer.
Result<std::string> read_text(const Library &library, std::string_view export_name);
// One orv_get_device_info call; UnsupportedFeature when the export is missing.
Result<SdkDeviceInfo> read_device_info(const Library &library);
// InvalidParameter for a text holding a NUL byte, without calling the library.
Status open_device_by_chip_serial(const Library &library, std::string_view chip_serial);

// Operations on the SDK handle.

// Returns the opened device's name: its serial number (or "velmar-usb-<i>")
// for an index, the given text for a chip serial or id.
Result<std::string> open_device(const VelmarSdk &sdk, const DeviceSelector &selector);
Status close_device(const VelmarSdk &sdk);
// Requires an open device; falls back to separate model and serial reads.
Result<SdkDeviceInfo> device_info(const VelmarSdk &sdk);
Result<std::vector<double>> read_wavelengths(const VelmarSdk &sdk);
Result<std::vector<double>> read_spectrum(const VelmarSdk &sdk, std::size_t expected);

Status set_integration_time_us(const VelmarSdk &sdk, std::uint32_t microseconds);
Result<std::uint32_t> integration_time_us(const VelmarSdk &sdk);
Status set_average_number(const VelmarSdk &sdk, std::uint32_t count);
Result<std::uint8_t> average_number(const VelmarSdk &sdk);
Status set_stored_smoothing_width(const VelmarSdk &sdk, std::uint32_t width);

}  // namespace velmar
