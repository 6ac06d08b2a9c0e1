#include "bridge_list.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>

#include "failure.h"
#include "fixed_field.h"
#include "ftd2xx.h"
#include "platform.h"

namespace orvcli {
namespace {

using CreateList = FT_STATUS(FTD2XX_CALL *)(DWORD *);
using GetList = FT_STATUS(FTD2XX_CALL *)(FT_DEVICE_LIST_INFO_NODE *, DWORD *);

struct ListCalls {
    CreateList create = nullptr;
    GetList get = nullptr;
};

// The provider liborv uses: the library ORV_D2XX_LIBRARY names, else the
// default name, which resolves to the copy liborv has loaded already.
ListCalls provider_list_calls() {
    const char *chosen = std::getenv("ORV_D2XX_LIBRARY");
    const std::string path =
        chosen != nullptr && *chosen != '\0' ? chosen : platform::kDefaultProviderName;
    const platform::LoadedLibrary library = platform::load_library(path);
    if (library.module == nullptr)
        throw Failure(ExitStatus::device,
                      fmt::format("load the D2XX provider {}: {}", path, library.error));
    ListCalls calls{
        reinterpret_cast<CreateList>(
            platform::find_function(library.module, "FT_CreateDeviceInfoList")),
        reinterpret_cast<GetList>(platform::find_function(library.module, "FT_GetDeviceInfoList"))};
    if (calls.create == nullptr || calls.get == nullptr)
        throw Failure(ExitStatus::device,
                      fmt::format("load the D2XX provider {}: it has no device list calls", path));
    return calls;
}

// More than any USB host holds: a list this long is a broken provider.
constexpr DWORD kMaxAnnouncedBridges = 4096;

}  // namespace

std::string format_usb_id(std::uint32_t usb_id) {
    return fmt::format("{:04x}:{:04x}", usb_id >> 16, usb_id & 0xFFFFu);
}

std::string bridge_name(const Bridge &bridge) {
    return bridge.chip_serial.empty() ? fmt::format("device {}", bridge.index) : bridge.chip_serial;
}

std::vector<Bridge> bridges_from_nodes(const FT_DEVICE_LIST_INFO_NODE *nodes, std::size_t count) {
    std::vector<Bridge> bridges;
    bridges.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[i];
        bridges.push_back({static_cast<int>(i), text_of_field(node.SerialNumber),
                           text_of_field(node.Description), node.ID,
                           (node.Flags & FT_FLAGS_OPENED) != 0});
    }
    return bridges;
}

std::vector<Bridge> list_bridges() {
    static const ListCalls calls = provider_list_calls();
    DWORD listed = 0;
    FT_STATUS status = calls.create(&listed);
    if (status != FT_OK)
        throw Failure(
            ExitStatus::device,
            fmt::format("list the D2XX devices: FT_CreateDeviceInfoList status {}", status));
    // The provider writes as many nodes as it announced here: bound that before
    // making room for them.
    if (listed > kMaxAnnouncedBridges)
        throw Failure(
            ExitStatus::device,
            fmt::format("list the D2XX devices: the provider announces {} devices", listed));
    if (listed > kMaxBridges)
        fmt::print(stderr, "orv: the D2XX provider lists {} devices; only the first {} are used\n",
                   listed, kMaxBridges);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(listed > 0 ? listed : 1);
    DWORD filled = static_cast<DWORD>(nodes.size());
    if (listed > 0) {
        status = calls.get(nodes.data(), &filled);
        if (status != FT_OK)
            throw Failure(
                ExitStatus::device,
                fmt::format("list the D2XX devices: FT_GetDeviceInfoList status {}", status));
    } else {
        filled = 0;
    }
    std::size_t count = std::min<std::size_t>(filled, nodes.size());
    count = std::min(count, kMaxBridges);
    return bridges_from_nodes(nodes.data(), count);
}

}  // namespace orvcli
