// One open instrument: a liborv device handle with its bridge. Every liborv
// result that is not ORV_OK becomes an instrument Failure of one line: what
// was being done, the device and the result's name
// ("read spectrum from ORVSIM01: ORV_ERR_TIMEOUT").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/bridge_list.h"
#include "device/spectrum.h"
#include "orv.h"

namespace orvcli {

class Instrument {
public:
    // Opens the bridge's list position and detects the protocol.
    explicit Instrument(const Bridge &bridge);
    ~Instrument();
    Instrument(const Instrument &) = delete;
    Instrument &operator=(const Instrument &) = delete;

    const Bridge &bridge() const { return bridge_; }
    const std::string &name() const { return name_; }
    orv_device *handle() const { return device_; }

    // Throws unless code is ORV_OK (or a byte count >= 0). `doing` reads
    // with the device name after it: "read spectrum from".
    void check(int code, std::string_view doing) const;
    // As check, but ORV_ERR_UNSUPPORTED gives false instead of a failure.
    bool check_supported(int code, std::string_view doing) const;

    bool is_nir() const { return protocol_ == ORV_PROTOCOL_NIR_LEGACY; }
    std::string protocol_name() const;

    // Identity from liborv's device record; texts it could not read stay empty.
    InstrumentIdentity identity() const;

    // The live settings (read from the instrument).
    AcquisitionSettings settings() const;
    void apply(const AcquisitionSettings &settings);

    // The wavelengths and one fresh spectrum: of the selected range when one
    // was selected by apply(), else of the whole table.
    std::vector<double> wavelengths() const;
    std::vector<std::uint16_t> read_counts() const;

private:
    // Samples per spectrum: the selection's, or the whole table's (asked once).
    std::size_t sample_count() const;

    Bridge bridge_;
    std::string name_;
    orv_device *device_ = nullptr;
    std::int32_t protocol_ = ORV_PROTOCOL_UNKNOWN;
    bool range_selected_ = false;
    mutable std::size_t full_count_ = 0;
};

}  // namespace orvcli
