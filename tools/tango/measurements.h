// The measurement side of a spectrometer device: the stored dark and
// reference, the mode, and each new spectrum processed in that mode with the
// one implementation of the measurement modes (tools/processing). Tango-free;
// the device calls it from client requests and from the worker's
// spectrum_ready, so every member function takes the object's own lock.
#ifndef ORV_TANGO_MEASUREMENTS_H
#define ORV_TANGO_MEASUREMENTS_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument.h"
#include "measurement.h"

namespace orv_tango {

// One spectrum in the current mode.
struct ProcessedSpectrum {
    std::vector<double> values;  // NaN where undefined; empty when `problem` is set
    std::size_t undefined = 0;   // pixels NaN, all causes
    std::string status;          // "absorbance: 3 pixels undefined (...)" or the problem
    std::string problem;         // why there are no values (a missing or unfit dark...)
    std::int64_t counter = 0;    // the spectrum's
    std::chrono::system_clock::time_point ended;
};

class Measurements {
public:
    enum class Kind { dark, reference };

    // Stores `spectrum`, taken with `identity`, `wavelengths`, as the dark or
    // the reference; an empty string when stored, else why not.
    std::string store(Kind kind, const std::shared_ptr<const Spectrum> &spectrum,
                      const Identity &identity, const std::vector<double> &wavelengths);
    // Sets the mode by its word ("absorbance"); an empty string when set,
    // else why not (the words that are).
    std::string set_mode(std::string_view word);
    orvproc::Mode mode() const;

    // Processes a new spectrum in the current mode and keeps the result.
    std::shared_ptr<const ProcessedSpectrum> process(
        const std::shared_ptr<const Spectrum> &spectrum, const Identity &identity,
        const std::vector<double> &wavelengths);
    // The last result of process(); null before the first.
    std::shared_ptr<const ProcessedSpectrum> last() const;
    // "dark: 10000 us x 1 at 2026-12-10T22:00:00Z" or "none".
    std::string stored_text(Kind kind) const;

private:
    std::shared_ptr<const ProcessedSpectrum> compute(const orvproc::Capture &sample,
                                                     const Spectrum &spectrum) const;

    mutable std::mutex lock_;
    orvproc::Mode mode_ = orvproc::Mode::counts;
    std::optional<orvproc::Capture> dark_;
    std::optional<orvproc::Capture> reference_;
    std::shared_ptr<const ProcessedSpectrum> last_;
};

}  // namespace orv_tango

#endif
