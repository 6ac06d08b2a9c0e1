// Finding the attached instruments: the FTDI device list read through D2XX
// (or liborv's own listing when D2XX is unusable), each candidate confirmed
// by opening it. Diagnostics go to the given stream, tagged "[velmar:scan]".
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "orv.h"
#include "result.h"
#include "sdk.h"

struct _ft_device_list_info_node;

namespace velmar {

// USB vendor and product id of the instruments' bridge (0403h, 6001h).
inline constexpr std::uint32_t kVelmarUsbId = ORV_INSTRUMENT_USB_ID;
// A probed device must report at least this many wavelengths.
inline constexpr std::uint16_t kMinimumWavelengthCount = 16;

// One node of the FTDI device list.
struct FtdiDescriptor {
    std::string serial;
    std::string description;
    std::uint32_t id = 0;  // vendor id << 16 | product id
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::uint32_t loc_id = 0;
};

// A confirmed instrument.
struct DeviceEntry {
    std::string id;  // chip serial of its bridge, untrimmed: the key to open it
    std::string label;
    std::optional<std::string> serial;
};

// A probe that made no library call because the chip serial was blank.
struct ProbeSkipped {};
using ProbeOutcome = std::variant<ProbeSkipped, DeviceEntry, SdkError>;

// The confirmed instruments in the order found. Fails only when D2XX is
// unusable and liborv's own listing fails too.
Result<std::vector<DeviceEntry>> scan_devices(const VelmarSdk &sdk, std::ostream &diagnostics);

// The FTDI device list from the D2XX library liborv uses (d2xx_library_path).
Result<std::vector<FtdiDescriptor>> enumerate_ftdi_descriptors(const VelmarSdk &sdk);

// Path of the D2XX library to load: the one liborv is told to load
// (platform::d2xx_library_override), else beside liborv when present there,
// else the bare file name for the system's search.
std::string d2xx_library_path(std::string_view sdk_library_path);

// Converts the first `count` nodes; TransportError when a text is not UTF-8.
Result<std::vector<FtdiDescriptor>> descriptors_from_nodes(const _ft_device_list_info_node *nodes,
                                                           std::size_t count);

// Probes the descriptors with the instruments' USB id, in list order.
std::vector<DeviceEntry> entries_from_descriptors(const Library &library,
                                                  const std::vector<FtdiDescriptor> &descriptors,
                                                  std::ostream &diagnostics);

// Probes every device of liborv's own listing, after reporting why the FTDI
// list could not be used.
Result<std::vector<DeviceEntry>> entries_from_library_scan(const Library &library,
                                                           SdkError why_not_d2xx,
                                                           std::ostream &diagnostics);

// Opens the device, checks its identity and wavelength count, closes it again.
ProbeOutcome probe_device(const Library &library, const std::string &chip_serial);

// "Velmar <model> (<chip serial>)" when the reported serial number is blank,
// the chip serial itself or the placeholder "nir"; else "Velmar <model> <serial>".
std::string device_label(std::string_view model, const std::optional<std::string> &serial,
                         std::string_view chip_serial);

}  // namespace velmar
