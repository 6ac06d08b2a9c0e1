// What every simulated instrument keeps, whatever its protocol: its
// configuration, the live settings, the write-protect gate, the spectrum
// model and the flash memory.
#pragma once

#include "config.h"
#include "flash.h"
#include "intensity_model.h"

namespace orvsim {

struct InstrumentState {
    explicit InstrumentState(const InstrumentConfig &c);
    void reset();  // live settings back to power-up, write-protect gate closed

    InstrumentConfig config;
    LiveSettings live;
    bool gate_open = false;
    SpectrumModel spectrum;
    FlashMemory flash;
};

}  // namespace orvsim
