// Measurements from counts: a sample spectrum S, a dark spectrum D (light
// blocked) and a reference spectrum R (blank cuvette or white standard).
//
//   counts          S
//   dark-corrected  S - D                     (counts)
//   transmittance   100 (S - D) / (R - D)     (%)
//   reflectance     100 (S - D) / (R - D)     (%, R against a white standard)
//   absorbance      -log10((S - D) / (R - D)) (AU)
//
// Where the arithmetic has no meaning the value is NaN, never infinite and
// never clipped, and the pixel is counted by cause (see process()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvproc {

enum class Mode { counts, dark_corrected, transmittance, reflectance, absorbance };

struct ModeInfo {
    Mode mode;
    std::string_view name;    // "absorbance": the command-line word
    std::string_view unit;    // "AU"
    std::string_view column;  // "absorbance_au": the column of a table
    std::string_view label;   // "Absorbance (AU)": an axis label
    bool needs_dark;
    bool needs_reference;
};

const ModeInfo &mode_info(Mode mode);
// The mode of a command-line word or of a table column; nothing otherwise.
std::optional<Mode> mode_named(std::string_view name);
std::optional<Mode> mode_of_column(std::string_view column);
// "counts, dark-corrected, transmittance, reflectance or absorbance".
std::string mode_names();

// A refusal: dark or reference do not fit the sample, a width out of range,
// spectra that cannot be averaged. The message names the difference.
class MeasurementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a spectrum was taken with. Two spectra can be combined only when all
// of it is equal; `taken_utc` is kept for the record and never compared.
struct Conditions {
    std::string instrument;  // the instrument's identity, as one text
    std::vector<double> wavelengths_nm;
    std::uint32_t integration_us = 0;
    unsigned average = 1;  // the instrument's own averaging
    std::string taken_utc;
};

// Refuses (MeasurementError) a `what` ("dark", "reference") taken under other
// conditions than the sample: "the dark was taken with integration 20000 us,
// the sample with 10000 us".
void check_same_conditions(const Conditions &sample, const Conditions &stored,
                           std::string_view what);

// A spectrum as counts, with its pixels at or above full scale marked.
struct Capture {
    Conditions conditions;
    std::vector<double> counts;
    std::vector<std::uint8_t> saturated;  // one per pixel: 1 at full scale, else 0
    unsigned scans = 1;                   // spectra averaged on the host into this one
};

// The detector's full scale of 16-bit counts.
inline constexpr double kFullScale = 65535;

Capture capture_of(Conditions conditions, const std::vector<std::uint16_t> &counts,
                   double full_scale = kFullScale);

// The mean of captures taken under the same conditions (refused otherwise, or
// when there are none); a pixel saturated in any of them is saturated.
Capture host_average(const std::vector<Capture> &captures);

// Boxcar smoothing over `width` pixels (odd, 1 to kMaxBoxcar; 1 changes
// nothing). Pixel i is the mean of pixels i-h..i+h, h = (width-1)/2. At the
// ends the window shrinks symmetrically to the pixels there are: pixel 0 and
// the last pixel stay as they are, pixel 1 is the mean of pixels 0..2, and so
// on, so the smoothing never shifts a slope or a peak near the edges.
// A smoothed pixel is saturated when any pixel of its window is.
inline constexpr unsigned kMaxBoxcar = 1001;
void check_boxcar_width(unsigned width);
Capture boxcar(const Capture &capture, unsigned width);

// Pixels whose value is NaN, by cause (a pixel counts once, under the first
// cause that applies in this order).
struct Undefined {
    std::size_t saturated = 0;            // S, D or R at full scale
    std::size_t reference_not_above = 0;  // R - D <= 0
    std::size_t sample_not_above = 0;     // S - D <= 0
    std::size_t total() const { return saturated + reference_not_above + sample_not_above; }
    Undefined &operator+=(const Undefined &other);
};

// "2 saturated, 1 reference not above dark, 0 sample not above dark"
std::string describe(const Undefined &undefined);

struct Processed {
    std::vector<double> values;
    Undefined undefined;
};

// The values of `mode` for `sample`. The dark (and reference) must be given
// when the mode needs them and are then checked against the sample's
// conditions; the ones the mode does not use are ignored. The rules: a
// saturated pixel is NaN in every mode; R - D <= 0 is NaN in transmittance,
// reflectance and absorbance; S - D <= 0 is NaN in absorbance (no logarithm)
// and in transmittance and reflectance too, so that the three ratio modes
// leave the same pixels undefined.
Processed process(Mode mode, const Capture &sample, const Capture *dark, const Capture *reference);
// The same into `result`, whose storage is reused: a caller processing one
// spectrum after another allocates nothing after the first. A refusal
// (thrown) leaves `result` as it was, but for wavelengths that differ in a
// ratio mode (found while the values are computed): its values are then
// unspecified.
void process(Mode mode, const Capture &sample, const Capture *dark, const Capture *reference,
             Processed &result);

}  // namespace orvproc
