#include "instrument.h"

#include <algorithm>

#include "nir_instrument.h"
#include "replay.h"
#include "uvvis_instrument.h"

namespace orvsim {
namespace {

// Takes everything, answers nothing: an instrument that is switched off or
// speaks neither protocol.
class SilentInstrument : public Instrument {
public:
    void receive(const uint8_t *, size_t, WriteResult &) override {}
};

// An instrument whose bridge is pulled out after it has answered a number
// of requests: from the next request on, the request is lost and the host's
// reads and writes fail, as after a persistent read error.
class UnpluggedAfter : public Instrument {
public:
    UnpluggedAfter(std::unique_ptr<Instrument> inner, uint32_t answers)
        : inner_(std::move(inner)), left_(answers) {}

    void receive(const uint8_t *data, size_t len, WriteResult &result) override {
        if (left_ == 0) {
            result.fail_next_read = true;
            result.unplug = true;
            return;
        }
        inner_->receive(data, len, result);
        left_ -= static_cast<uint32_t>(std::min<size_t>(left_, result.replies.size()));
    }
    void clear_input() override { inner_->clear_input(); }
    bool set_light_path(const LightPath &path) override { return inner_->set_light_path(path); }

private:
    std::unique_ptr<Instrument> inner_;
    uint32_t left_;
};

std::unique_ptr<Instrument> make_protocol_instrument(const InstrumentConfig &config) {
    switch (config.protocol) {
    case Protocol::Uvvis: return std::make_unique<UvvisInstrument>(config);
    case Protocol::Nir: return std::make_unique<NirInstrument>(config);
    case Protocol::Silent: break;
    }
    return std::make_unique<SilentInstrument>();
}

}  // namespace

std::unique_ptr<Instrument> make_instrument(const InstrumentConfig &config) {
    if (config.replay) return make_replay_instrument(config.replay);
    std::unique_ptr<Instrument> instrument = make_protocol_instrument(config);
    if (config.unplug_after == 0) return instrument;
    return std::make_unique<UnpluggedAfter>(std::move(instrument), config.unplug_after);
}

}  // namespace orvsim
