#include "scan.h"

#include <algorithm>
#include <array>
#include <new>
#include <ostream>
#include <stdexcept>
#include <vector>

#define FTD2XX_API  // declarations are used for their types only
#include "device_ops.h"
#include "format.h"
#include "ftd2xx.h"
#include "orv_exports.h"
#include "paths.h"
#include "text.h"

namespace velmar {
namespace {

constexpr std::string_view kTag = "[velmar:scan] ";
constexpr std::size_t kChipSerialBufferSize = 128;

// Closes whatever device liborv has open; a missing export is ignored.
void close_quietly(const Library &library) {
    if (auto close = VELMAR_FIND_EXPORT(library, orv_close_device)) close.value()();
}

void write_descriptor_fields(std::ostream &out, std::size_t index, const FtdiDescriptor &d) {
    out << "index=" << index << " chip_serial=" << d.serial << " description=" << d.description
        << " id=" << format_hex32(d.id) << " flags=" << format_hex32(d.flags)
        << " type=" << format_hex32(d.type) << " loc=" << format_hex32(d.loc_id) << '\n';
}

// The checks of a probe once the device is open.
ProbeOutcome confirm_open_device(const Library &library, const std::string &chip_serial) {
    auto info = read_device_info(library);
    if (!info) return info.error();
    const std::string_view model = trim_white_space(info.value().model);
    if (model.empty()) return SdkError::DeviceNotFound;

    auto get_count = VELMAR_FIND_EXPORT(library, orv_get_wavelength_count);
    if (!get_count) return get_count.error();
    std::uint16_t count = 0;
    if (Status s = map_result_code(get_count.value()(&count)); !s) return s.error();
    if (count < kMinimumWavelengthCount) return SdkError::DeviceNotFound;

    return DeviceEntry{chip_serial, device_label(model, info.value().serial, chip_serial),
                       chip_serial};
}

// Chip serial of liborv's list position `index`.
Result<std::string> chip_serial_by_index(const Library &library, int index) {
    auto get_serial = VELMAR_FIND_EXPORT(library, orv_get_chip_serial_by_index);
    if (!get_serial) return get_serial.error();
    std::array<char, kChipSerialBufferSize> buffer{};
    const int code = get_serial.value()(index, buffer.data(), static_cast<int>(buffer.size()));
    if (code < 0) return map_result_code(code).error();
    return text_from_buffer(buffer.data(), buffer.size());
}

// Probes one candidate and records the outcome: an entry is appended, a
// failure reported with `ignored_prefix`, a skipped probe passes silently.
void probe_into(const Library &library, const std::string &chip_serial,
                std::string_view ignored_prefix, std::vector<DeviceEntry> &entries,
                std::ostream &diagnostics) {
    ProbeOutcome outcome = probe_device(library, chip_serial);
    if (auto *entry = std::get_if<DeviceEntry>(&outcome)) {
        entries.push_back(std::move(*entry));
    } else if (auto *kind = std::get_if<SdkError>(&outcome)) {
        diagnostics << kTag << ignored_prefix << " chip_serial=" << chip_serial << ": "
                    << error_name(*kind) << '\n';
    }
}

}  // namespace

std::string device_label(std::string_view model, const std::optional<std::string> &serial,
                         std::string_view chip_serial) {
    const std::string_view reported = serial ? trim_white_space(*serial) : std::string_view();
    const bool named_by_chip = reported.empty() ||
                               equals_ignore_ascii_case(reported, chip_serial) ||
                               equals_ignore_ascii_case(reported, "nir");
    std::string label = "Velmar ";
    label.append(model);
    if (named_by_chip) {
        label.append(" (").append(chip_serial).append(")");
    } else {
        label.append(" ").append(reported);
    }
    return label;
}

ProbeOutcome probe_device(const Library &library, const std::string &chip_serial) {
    if (trim_white_space(chip_serial).empty()) return ProbeSkipped{};
    close_quietly(library);
    if (Status opened = open_device_by_chip_serial(library, chip_serial); !opened) {
        close_quietly(library);
        return opened.error();
    }
    ProbeOutcome outcome = confirm_open_device(library, chip_serial);
    close_quietly(library);
    return outcome;
}

std::string d2xx_library_path(std::string_view sdk_library_path) {
    if (auto named = platform::d2xx_library_override()) return *named;
    if (auto directory = parent_directory(sdk_library_path)) {
        std::string beside_sdk = join_path(*directory, platform::kD2xxLibraryName);
        if (platform::path_exists(beside_sdk)) return beside_sdk;
    }
    return platform::kD2xxLibraryName;
}

Result<std::vector<FtdiDescriptor>> descriptors_from_nodes(const FT_DEVICE_LIST_INFO_NODE *nodes,
                                                           std::size_t count) {
    std::vector<FtdiDescriptor> descriptors;
    descriptors.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[i];
        auto serial = text_from_buffer(node.SerialNumber, sizeof node.SerialNumber);
        if (!serial) return serial.error();
        auto description = text_from_buffer(node.Description, sizeof node.Description);
        if (!description) return description.error();
        descriptors.push_back(FtdiDescriptor{std::move(serial).value(),
                                             std::move(description).value(), node.ID, node.Flags,
                                             node.Type, node.LocId});
    }
    return descriptors;
}

Result<std::vector<FtdiDescriptor>> enumerate_ftdi_descriptors(const VelmarSdk &sdk) {
    auto d2xx = SystemLibrary::open(d2xx_library_path(sdk.library_path()));
    if (!d2xx) return SdkError::SdkInternalError;
    // The D2XX module is unloaded when `d2xx` goes out of scope, on every path.
    const Library &library = *d2xx.value();
    auto create_list =
        library.function<decltype(&::FT_CreateDeviceInfoList)>("FT_CreateDeviceInfoList");
    auto get_list = library.function<decltype(&::FT_GetDeviceInfoList)>("FT_GetDeviceInfoList");
    if (!create_list || !get_list) return SdkError::SdkInternalError;

    DWORD count = 0;
    if (create_list.value()(&count) != FT_OK || count == 0) return std::vector<FtdiDescriptor>{};

    // The count comes from the driver: a list too large to allocate is a
    // driver failure like any other, not a reason to crash.
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
    try {
        nodes.assign(count, FT_DEVICE_LIST_INFO_NODE{});
    } catch (const std::bad_alloc &) {
        return SdkError::SdkInternalError;
    } catch (const std::length_error &) {
        return SdkError::SdkInternalError;
    }
    DWORD filled = count;
    if (get_list.value()(nodes.data(), &filled) != FT_OK) return SdkError::SdkInternalError;
    return descriptors_from_nodes(nodes.data(), std::min<std::size_t>(filled, nodes.size()));
}

std::vector<DeviceEntry> entries_from_descriptors(const Library &library,
                                                  const std::vector<FtdiDescriptor> &descriptors,
                                                  std::ostream &diagnostics) {
    std::vector<DeviceEntry> entries;
    for (std::size_t index = 0; index < descriptors.size(); ++index) {
        const FtdiDescriptor &descriptor = descriptors[index];
        if (descriptor.id != kVelmarUsbId) {
            diagnostics << kTag << "skip non-Velmar FTDI device ";
            write_descriptor_fields(diagnostics, index, descriptor);
            continue;
        }
        diagnostics << kTag << "probe Velmar FTDI device ";
        write_descriptor_fields(diagnostics, index, descriptor);
        probe_into(library, descriptor.serial, "ignored Velmar VID/PID device", entries,
                   diagnostics);
    }
    close_quietly(library);
    return entries;
}

Result<std::vector<DeviceEntry>> entries_from_library_scan(const Library &library,
                                                           SdkError why_not_d2xx,
                                                           std::ostream &diagnostics) {
    diagnostics << kTag << "FTDI descriptor enumeration unavailable, falling back to SDK probes: "
                << error_name(why_not_d2xx) << '\n';
    auto scan = VELMAR_FIND_EXPORT(library, orv_scan_devices);
    if (!scan) return scan.error();
    const int count = scan.value()();
    if (count < 0) return map_result_code(count).error();

    std::vector<DeviceEntry> entries;
    for (int index = 0; index < count; ++index) {
        auto chip_serial = chip_serial_by_index(library, index);
        if (!chip_serial) {
            diagnostics << kTag << "skip SDK index=" << index
                        << " because chip serial read failed: " << error_name(chip_serial.error())
                        << '\n';
            continue;
        }
        diagnostics << kTag << "fallback SDK probe index=" << index
                    << " chip_serial=" << chip_serial.value() << '\n';
        probe_into(library, chip_serial.value(), "ignored SDK-scanned FTDI device", entries,
                   diagnostics);
    }
    close_quietly(library);
    return entries;
}

Result<std::vector<DeviceEntry>> scan_devices(const VelmarSdk &sdk, std::ostream &diagnostics) {
    auto descriptors = enumerate_ftdi_descriptors(sdk);
    if (!descriptors)
        return entries_from_library_scan(sdk.library(), descriptors.error(), diagnostics);
    return entries_from_descriptors(sdk.library(), descriptors.value(), diagnostics);
}

}  // namespace velmar
