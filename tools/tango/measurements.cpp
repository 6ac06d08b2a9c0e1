// Dark, reference and the mode of a spectrometer device (see measurements.h).
#include "measurements.h"

#include <cstdint>

#include "utc_time.h"

namespace orv_tango {

namespace {

orvproc::Capture capture_of(const Spectrum &spectrum, const Identity &identity,
                            const std::vector<double> &wavelengths) {
    orvproc::Conditions conditions;
    conditions.instrument = identity.model + " " + identity.serial_number;
    conditions.wavelengths_nm = wavelengths;
    conditions.integration_us = spectrum.integration_us;
    conditions.average = spectrum.average;
    conditions.taken_utc = utc_text(spectrum.ended);
    std::vector<std::uint16_t> counts;
    counts.reserve(spectrum.counts.size());
    for (double value : spectrum.counts) counts.push_back(static_cast<std::uint16_t>(value));
    return orvproc::capture_of(std::move(conditions), counts);
}

const char *name_of(Measurements::Kind kind) {
    return kind == Measurements::Kind::dark ? "dark" : "reference";
}

}  // namespace

std::string Measurements::store(Kind kind, const std::shared_ptr<const Spectrum> &spectrum,
                                const Identity &identity, const std::vector<double> &wavelengths) {
    if (!spectrum)
        return std::string("no spectrum to store as the ") + name_of(kind) +
               " yet: acquire one first";
    if (spectrum->counts.size() != wavelengths.size())
        return std::string("the last spectrum does not fit the wavelength table; acquire again");
    orvproc::Capture capture = capture_of(*spectrum, identity, wavelengths);
    std::lock_guard guard(lock_);
    (kind == Kind::dark ? dark_ : reference_) = std::move(capture);
    return {};
}

std::string Measurements::set_mode(std::string_view word) {
    const std::optional<orvproc::Mode> mode = orvproc::mode_named(word);
    if (!mode) return "unknown mode \"" + std::string(word) + "\": " + orvproc::mode_names();
    std::lock_guard guard(lock_);
    mode_ = *mode;
    return {};
}

orvproc::Mode Measurements::mode() const {
    std::lock_guard guard(lock_);
    return mode_;
}

std::shared_ptr<const ProcessedSpectrum> Measurements::process(
    const std::shared_ptr<const Spectrum> &spectrum, const Identity &identity,
    const std::vector<double> &wavelengths) {
    if (!spectrum) return last();
    orvproc::Capture sample = capture_of(*spectrum, identity, wavelengths);
    std::lock_guard guard(lock_);
    last_ = compute(sample, *spectrum);
    return last_;
}

std::shared_ptr<const ProcessedSpectrum> Measurements::compute(const orvproc::Capture &sample,
                                                               const Spectrum &spectrum) const {
    auto result = std::make_shared<ProcessedSpectrum>();
    result->counter = spectrum.counter;
    result->ended = spectrum.ended;
    const orvproc::ModeInfo &info = orvproc::mode_info(mode_);
    const std::string mode_name(info.name);
    if (info.needs_dark && !dark_) {
        result->problem = mode_name + " needs a stored dark (command StoreDark)";
    } else if (info.needs_reference && !reference_) {
        result->problem = mode_name + " needs a stored reference (command StoreReference)";
    } else {
        try {
            orvproc::Processed processed = orvproc::process(
                mode_, sample, dark_ ? &*dark_ : nullptr, reference_ ? &*reference_ : nullptr);
            result->values = std::move(processed.values);
            result->undefined = processed.undefined.total();
            result->status = mode_name + " (" + std::string(info.unit) + ")";
            if (result->undefined != 0)
                result->status += ": " + std::to_string(result->undefined) + " pixels undefined (" +
                                  orvproc::describe(processed.undefined) + ")";
        } catch (const orvproc::MeasurementError &error) {
            result->problem = error.what();
        }
    }
    if (!result->problem.empty()) result->status = result->problem;
    return result;
}

std::shared_ptr<const ProcessedSpectrum> Measurements::last() const {
    std::lock_guard guard(lock_);
    return last_;
}

std::string Measurements::stored_text(Kind kind) const {
    std::lock_guard guard(lock_);
    const std::optional<orvproc::Capture> &stored = kind == Kind::dark ? dark_ : reference_;
    if (!stored) return "none";
    return std::to_string(stored->conditions.integration_us) + " us x " +
           std::to_string(stored->conditions.average) + ", taken " + stored->conditions.taken_utc;
}

}  // namespace orv_tango
