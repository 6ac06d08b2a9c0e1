// A series of spectra from one or more instruments at once, one thread per
// instrument: `count` spectra each, `interval` apart (start to start; the
// next starts at once when a read takes longer). A stop request ends every
// thread after the spectrum it is reading.
#pragma once

#include <functional>
#include <vector>

#include "device/instrument.h"
#include "stop_signal.h"

namespace orvcli {

struct SeriesPlan {
    unsigned count = 1;
    Microseconds interval{0};
};

// Receives every finished spectrum, one call at a time from one thread of its
// own (so writing overlaps the next reads), in the order they finish.
using SpectrumSink = std::function<void(const Spectrum &)>;

// Runs the series; the wavelength table of each instrument is read first.
// Returns normally when every instrument finished or `stop` was requested.
// The first failure (of an instrument or of the sink) requests `stop`, so the
// others end too, and is thrown after every thread has ended.
void run_series(const std::vector<Instrument *> &instruments, const SeriesPlan &plan,
                StopSignal &stop, const SpectrumSink &sink);

}  // namespace orvcli
