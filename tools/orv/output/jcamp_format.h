// JCAMP-DX 5.01: one spectrum per file, as (XY..XY) pairs of wavelength and
// value in a one-page NTUPLES block, the instrument and its settings in ##$ORV labels. What the writer
// (jcamp_format.cpp) and the reader (spectrum_table_reader.cpp) share; the
// layout is described in docs/orv-command.md.
#pragma once

#include <optional>
#include <string_view>

#include "measurement.h"

namespace orvcli {

// The Y axis of a mode: the unit's JCAMP name and the factor that turns the
// values as written (orv's units, those of the CSV) into that unit. Percent
// values are written as they are, with YFACTOR 0.01 making them the
// fractions JCAMP-DX means by TRANSMITTANCE and REFLECTANCE.
struct JcampYAxis {
    std::string_view name;  // ##VAR_NAME
    std::string_view units;
    std::string_view factor;  // as written after ##YFACTOR=
    double factor_value;
};

// Plain counts without a mode.
const JcampYAxis &jcamp_y_axis(std::optional<orvproc::Mode> mode);

// The first label of every file: how the reader tells the format apart.
inline constexpr std::string_view kJcampTitle = "##TITLE=";

// The text of an undefined (NaN) value.
inline constexpr std::string_view kJcampUndefined = "?";

// orv's own labels, read back by orv: ##$ORV <name>=<value>.
namespace jcamp_label {
inline constexpr std::string_view chip_serial = "$ORV CHIP SERIAL";
inline constexpr std::string_view bridge = "$ORV BRIDGE";
inline constexpr std::string_view protocol = "$ORV PROTOCOL";
inline constexpr std::string_view model = "$ORV MODEL";
inline constexpr std::string_view serial = "$ORV SERIAL";
inline constexpr std::string_view hardware_version = "$ORV HARDWARE VERSION";
inline constexpr std::string_view simulated = "$ORV SIMULATED";
inline constexpr std::string_view integration_us = "$ORV INTEGRATION TIME US";
inline constexpr std::string_view average = "$ORV AVERAGE";
inline constexpr std::string_view range_nm = "$ORV RANGE NM";
inline constexpr std::string_view spectrum = "$ORV SPECTRUM";
inline constexpr std::string_view time_utc = "$ORV TIME UTC";
inline constexpr std::string_view mode = "$ORV MODE";
}  // namespace jcamp_label

}  // namespace orvcli
