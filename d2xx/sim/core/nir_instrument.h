// A simulated NIR_LEGACY instrument: byte commands closed by a CRC-16,
// answered by ACK, reply data and CRC-16, then silence.
#pragma once

#include "config.h"
#include "faults.h"
#include "flash.h"
#include "instrument.h"
#include "intensity_model.h"

namespace orvsim {

class NirInstrument : public Instrument {
public:
    explicit NirInstrument(const InstrumentConfig &config);
    // Each FT_Write carries one command frame; the instrument has no length
    // field to go by, so the end of the write ends the frame.
    void receive(const uint8_t *data, size_t len, WriteResult &result) override;

private:
    struct Outcome {
        bool ack = false;
        Bytes data;
        double work_ms = 0;
    };
    Outcome execute(const Bytes &command);
    Reply apply_frame_fault(const FaultSpec *fault, const Outcome &outcome) const;
    Bytes spectrum_frame(const std::vector<uint16_t> &samples) const;

    InstrumentConfig config_;
    LiveSettings live_;
    bool gate_open_ = false;
    SpectrumModel spectrum_;
    FlashMemory flash_;
    FaultTable faults_;
};

// ACK or NAK, the reply data and the CRC-16 (high byte first).
Bytes nir_frame(uint8_t first, const Bytes &data);

}  // namespace orvsim
