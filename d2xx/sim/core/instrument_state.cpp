#include "instrument_state.h"

namespace orvsim {

InstrumentState::InstrumentState(const InstrumentConfig &c)
    : config(c), live(c.power_up), spectrum(c.optics), flash(c.flash_size) {}

void InstrumentState::reset() {
    live = config.power_up;
    gate_open = false;
}

}  // namespace orvsim
