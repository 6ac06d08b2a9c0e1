#include "instrument.h"

#include "nir_instrument.h"
#include "uvvis_instrument.h"

namespace orvsim {
namespace {

// Takes everything, answers nothing: an instrument that is switched off or
// speaks neither protocol.
class SilentInstrument : public Instrument {
public:
    void receive(const uint8_t *, size_t, WriteResult &) override {}
};

}  // namespace

std::unique_ptr<Instrument> make_instrument(const InstrumentConfig &config) {
    switch (config.protocol) {
    case Protocol::Uvvis: return std::make_unique<UvvisInstrument>(config);
    case Protocol::Nir: return std::make_unique<NirInstrument>(config);
    case Protocol::Silent: break;
    }
    return std::make_unique<SilentInstrument>();
}

}  // namespace orvsim
