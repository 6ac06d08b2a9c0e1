// A whole session with one instrument, as the exchange fuzz target and its
// seed generator run it: open the built-in device or a handle with a protocol
// preference, then a fixed run of
// exports (device info, wavelength count, table and range, full spectrum,
// range selection and the selected reads, flash read, external spectrum,
// stored settings), optionally followed by groups of the other exports
// (identity and health, acquisition parameters, flash write and reset), then
// close. Every result is checked against the codes the export documents and
// every caller buffer against its canaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

// The caller's side of a session, taken from the head of the input.
struct SessionConfig {
    int preference = 0;         // ORV_PREFER_*
    bool open_fails = false;    // FT_Open refuses the bridge
    bool handle = false;        // drive a handle (orv_device_*) instead of the built-in device
    bool identity = false;      // run the identity and health exports
    bool acquisition = false;   // run the acquisition parameter exports
    bool maintenance = false;   // run write protect, flash write and reset
    int32_t capacity = 2048;    // elements of the wavelength and spectrum buffers
    int32_t flash_length = 64;  // bytes asked of orv_flash_read
    uint16_t flash_address = 0;
    uint8_t select_start = 64;   // selection start, in 1/255 of the instrument's range
    uint8_t select_width = 128;  // selection width, in 1/255 of what is left above start
    uint16_t external_parameter = 0;
    int32_t external_capacity = 2048;
    int32_t text_size = 64;  // bytes of the text buffers of the identity group

    static constexpr size_t ENCODED_SIZE = 15;
    // Decodes the first ENCODED_SIZE bytes (missing bytes count as zero) and
    // advances data/size past them.
    static SessionConfig decode(const uint8_t *&data, size_t &size);
    void encode(std::vector<uint8_t> &out) const;
};

// Runs the session on the scripted bridge (already reset by the caller) and
// closes the device at the end. Traps on any broken expectation.
void run_session(const SessionConfig &config);

}  // namespace fuzz
