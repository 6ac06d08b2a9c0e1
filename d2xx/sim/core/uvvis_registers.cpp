// The register table of the simulated UVVIS_ORV instrument. Adding a register
// means adding a row (and, when it needs one, a handler).
#include <algorithm>
#include <optional>

#include "crc.h"
#include "uvvis_instrument.h"

namespace orvsim {
namespace {

using uvvis::Request;

RegisterResult ok(Bytes data = {}) { return RegisterResult{uvvis::kReplyAck, std::move(data), 0}; }
// A write the instrument cannot carry out: a value it does not take.
RegisterResult refuse(const char *why = "value") {
    return RegisterResult{uvvis::kReplyInvalid, {}, 0, why};
}

Bytes word(uint32_t v) {
    Bytes b;
    append_be32(b, v);
    return b;
}

Bytes text_field(const std::string &text, size_t width) {
    Bytes b(text.begin(), text.end());
    b.resize(width, 0);
    return b;
}

// Writes reach the handlers with the number of words the table gives.
uint8_t byte3(const Request &r) { return r.data[3]; }

// --- live parameters (C1h) ---

RegisterResult read_integration(UvvisState &s, const Request &) {
    return ok(word(s.live.integration_us));
}
RegisterResult write_integration(UvvisState &s, const Request &r) {
    uint32_t us = read_be32(r.data.data());
    if (us < s.config.integration_min_us || us > s.config.integration_max_us)
        return refuse("range");
    s.live.integration_us = us;
    return ok();
}

RegisterResult read_xenon_pulse(UvvisState &s, const Request &) {
    Bytes b = word(s.live.xenon_pulse[0]);
    append_be32(b, s.live.xenon_pulse[1]);
    return ok(b);
}
RegisterResult write_xenon_pulse(UvvisState &s, const Request &r) {
    s.live.xenon_pulse = {read_be32(r.data.data()), read_be32(r.data.data() + 4)};
    return ok();
}

// Settings carried as one byte in a word (00 00 00 value): the byte `Field`
// of the settings `Group` (the live or the stored ones).
template <auto Group, auto Field>
RegisterResult read_byte(UvvisState &s, const Request &) {
    return ok(word((s.*Group).*Field));
}
template <auto Group, auto Field>
RegisterResult write_byte(UvvisState &s, const Request &r) {
    (s.*Group).*Field = byte3(r);
    return ok();
}

RegisterResult read_gate(UvvisState &s, const Request &) {
    return ok(word(s.gate_open ? 0xEA : 0x00));
}
RegisterResult write_gate(UvvisState &s, const Request &r) {
    s.gate_open = byte3(r) == 0xEA;
    return ok();
}

RegisterResult write_reset(UvvisState &s, const Request &r) {
    if (byte3(r) != 0xAA) return refuse();
    s.reset();
    return ok();
}

RegisterResult read_calibration(UvvisState &s, const Request &) {
    Bytes b;
    for (double c : s.config.calibration) append_be64_double(b, c);
    return ok(b);
}

RegisterResult read_temperature(UvvisState &s, const Request &) {
    return ok(word(s.config.temperature_raw));
}
RegisterResult read_hardware_version(UvvisState &s, const Request &) {
    return ok(s.config.hardware_version);
}

RegisterResult read_baud(UvvisState &s, const Request &) { return ok(word(s.live.baud)); }
RegisterResult write_baud(UvvisState &s, const Request &r) {
    s.live.baud = static_cast<uint16_t>(read_be16(r.data.data() + 2));
    return ok();
}

RegisterResult read_detector_serial(UvvisState &s, const Request &) {
    return ok(text_field(s.config.detector_serial, 8));
}

RegisterResult read_model(UvvisState &s, const Request &) {
    Bytes b = text_field(s.config.model_text, 16);
    b.resize(s.config.model_reply_bytes, 0);
    return ok(b);
}

// The handshake request word: op DDh AH AL, then a tail that is a CRC-32
// for a commit and reserved (zero) for the other requests.
bool handshake_mark(const Request &r) { return r.data[1] == 0xDD; }
bool tail_is_zero(const Request &r) { return read_be32(r.data.data() + 4) == 0; }

// The block a commit's CRC covers, or nullopt when it covers none the
// instrument accepts. The pending block arrived padded with zero bytes to
// whole words, and the instrument cannot see where it ended: the zero bytes
// that end its last word (at most three) may be pad. The CRC must leave at
// least one of them out (a CRC over the padded data covers pad bytes); with
// none, it covers the whole data. `lenient_commit_crc` also takes the CRC
// over the padded data.
std::optional<Bytes> committed_block(const UvvisState &s, uint32_t crc) {
    Bytes block = s.pending_block;
    size_t pad = 0;
    while (pad < 3 && pad < block.size() && block[block.size() - 1 - pad] == 0) ++pad;
    for (size_t cut = 0; cut <= pad; ++cut) {
        const bool allowed = s.config.lenient_commit_crc || pad == 0 || cut > 0;
        if (allowed && crc32(block.data(), block.size() - cut) == crc) {
            block.resize(block.size() - cut);
            return block;
        }
    }
    return std::nullopt;
}

// Flash transfer control: C0 DD AH AL 00 00 00 00 requests a read, CF DD AH
// AL + CRC-32 commits the pending block.
RegisterResult read_flash_control(UvvisState &s, const Request &) {
    return ok(s.flash_control.poll());
}
RegisterResult write_flash_control(UvvisState &s, const Request &r) {
    if (!handshake_mark(r)) return refuse();
    const uint16_t address = static_cast<uint16_t>(read_be16(r.data.data() + 2));
    if (r.data[0] == 0xC0) {
        if (!tail_is_zero(r)) return refuse("reserved");
        s.read_block = s.flash.read(address, 1024);
        s.flash_control.start(0xC0, address, !s.read_block.empty());
        return ok();
    }
    if (r.data[0] != 0xCF) return refuse();
    if (!s.gate_open) return RegisterResult{uvvis::kReplyWriteProtect, {}, 0, "gate"};
    std::optional<Bytes> block = committed_block(s, read_be32(r.data.data() + 4));
    const bool written = block && !s.pending_block.empty() && s.flash.write(address, *block);
    s.flash_control.start(0xCF, address, written);
    return ok();
}

RegisterResult read_external_control(UvvisState &s, const Request &) {
    return ok(s.external_control.poll());
}
RegisterResult write_external_control(UvvisState &s, const Request &r) {
    if (r.data[0] != 0xC0 || !handshake_mark(r)) return refuse();
    if (!tail_is_zero(r)) return refuse("reserved");
    s.external_control.start(0xC0, static_cast<uint16_t>(read_be16(r.data.data() + 2)), true);
    return ok();
}

RegisterResult read_usb_status(UvvisState &s, const Request &) {
    return ok(word(s.live.usb_status));
}

RegisterResult read_trigger(UvvisState &s, const Request &) {
    return ok(Bytes(s.live.trigger.begin(), s.live.trigger.end()));
}
RegisterResult write_trigger(UvvisState &s, const Request &r) {
    std::copy_n(r.data.begin(), 4, s.live.trigger.begin());
    return ok();
}

RegisterResult read_capture_status(UvvisState &s, const Request &) {
    return ok(s.config.capture_status);
}

RegisterResult read_dac(UvvisState &s, const Request &) { return ok(word(s.live.dac)); }
RegisterResult write_dac(UvvisState &s, const Request &r) {
    s.live.dac = read_be32(r.data.data());
    return ok();
}

// --- stored settings and factory data (C2h) ---

RegisterResult read_stored_integration(UvvisState &s, const Request &) {
    return ok(word(s.stored.integration_us));
}
RegisterResult write_stored_integration(UvvisState &s, const Request &r) {
    s.stored.integration_us = read_be32(r.data.data());
    return ok();
}

RegisterResult read_slit_width(UvvisState &s, const Request &) {
    return ok(word(s.config.slit_width));
}

RegisterResult read_serial(UvvisState &s, const Request &) { return ok(s.serial_number); }
RegisterResult write_serial(UvvisState &s, const Request &r) {
    s.serial_number.assign(r.data.begin(), r.data.begin() + 12);
    return ok();
}

RegisterResult read_wavelength_count(UvvisState &s, const Request &) {
    return ok(word(static_cast<uint32_t>(s.spectrum.pixels())));
}

RegisterResult read_wavelength_range(UvvisState &s, const Request &) {
    const auto &w = s.spectrum.wavelengths();
    Bytes b;
    append_be64_double(b, w.front());
    append_be64_double(b, w.back());
    return ok(b);
}

// --- data registers ---

// Wavelength table from the start index in the address, as many entries as
// asked for, up to the end of the table.
RegisterResult read_wavelengths(UvvisState &s, const Request &r) {
    const auto &w = s.spectrum.wavelengths();
    if (r.address >= w.size()) return refuse();
    size_t end = std::min(w.size(), static_cast<size_t>(r.address) + r.file_len);
    Bytes b;
    for (size_t i = r.address; i < end; ++i) append_le_float(b, w[i]);
    return ok(b);
}

// One spectrum: 1024 words, padded with filler when the detector has fewer
// pixels.
RegisterResult read_spectrum(UvvisState &s, const Request &) {
    const uint32_t scans = std::max<uint32_t>(s.live.average, 1);
    Bytes b;
    for (uint16_t v : s.spectrum.acquire(s.live.integration_us, scans)) append_be16(b, v);
    b.resize(4096, s.config.filler);
    RegisterResult result = ok(b);
    result.work_ms = s.live.integration_us / 1000.0 * scans;
    return result;
}

RegisterResult read_flash_data(UvvisState &s, const Request &) { return ok(s.read_block); }
RegisterResult write_flash_data(UvvisState &s, const Request &r) {
    s.pending_block = r.data;
    return ok();
}

constexpr uint8_t P = 0xC1, S = 0xC2;
constexpr Layout D = Layout::Data, B = Layout::ByteInWord, H = Layout::HalfInWord;

constexpr auto Live = &UvvisState::live;
constexpr auto Stored = &UvvisState::stored;

// register, address, any address, name, layout, read, write, words a write
// carries (0: any), write-protected
const RegisterRow kRegisters[] = {
    {P, 0x00, false, "integration time", D, read_integration, write_integration, 1, false},
    {P, 0x01, false, "xenon pulse", D, read_xenon_pulse, write_xenon_pulse, 2, false},
    {P, 0x03, false, "xenon mode", B, read_byte<Live, &LiveSettings::xenon_mode>,
     write_byte<Live, &LiveSettings::xenon_mode>, 1, false},
    {P, 0x10, false, "average number", B, read_byte<Live, &LiveSettings::average>,
     write_byte<Live, &LiveSettings::average>, 1, false},
    {P, 0x11, false, "level output", B, read_byte<Live, &LiveSettings::level>,
     write_byte<Live, &LiveSettings::level>, 1, false},
    {P, 0x12, false, "write-protect gate", B, read_gate, write_gate, 1, false},
    {P, 0x13, false, "reset", B, nullptr, write_reset, 1, false},
    {P, 0x20, false, "calibration", D, read_calibration, nullptr, 0, false},
    {P, 0x40, false, "temperature", H, read_temperature, nullptr, 0, false},
    {P, 0x41, false, "hardware version", D, read_hardware_version, nullptr, 0, false},
    {P, 0x43, false, "baud rate", H, read_baud, write_baud, 1, false},
    {P, 0x44, false, "detector serial", D, read_detector_serial, nullptr, 0, false},
    {P, 0x46, false, "model", D, read_model, nullptr, 0, false},
    {P, 0x4A, false, "flash control", Layout::Status, read_flash_control, write_flash_control, 2,
     false},
    {P, 0x4C, false, "external acquisition", Layout::Status, read_external_control,
     write_external_control, 2, false},
    {P, 0x50, false, "USB status", B, read_usb_status, nullptr, 0, false},
    {P, 0x51, false, "trigger", D, read_trigger, write_trigger, 1, false},
    {P, 0x52, false, "capture status", D, read_capture_status, nullptr, 0, false},
    {P, 0x64, false, "DAC", D, read_dac, write_dac, 1, false},
    {S, 0x00, false, "stored integration time", D, read_stored_integration,
     write_stored_integration, 1, false},
    {S, 0x01, false, "stored average number", B, read_byte<Stored, &StoredSettings::average>,
     write_byte<Stored, &StoredSettings::average>, 1, false},
    {S, 0x02, false, "stored smoothing width", B, read_byte<Stored, &StoredSettings::smoothing>,
     write_byte<Stored, &StoredSettings::smoothing>, 1, false},
    {S, 0x03, false, "slit width", B, read_slit_width, nullptr, 0, false},
    {S, 0x04, false, "serial number", D, read_serial, write_serial, 3, false},
    {S, 0x0B, false, "wavelength count", H, read_wavelength_count, nullptr, 0, false},
    {S, 0x0D, false, "wavelength range", D, read_wavelength_range, nullptr, 0, false},
    {0xC5, 0, true, "wavelength table", D, read_wavelengths, nullptr, 0, false},
    {0xC6, 0, false, "spectrum", D, read_spectrum, nullptr, 0, false},
    {0xC7, 0, false, "flash data", D, read_flash_data, write_flash_data, 0, true},
};

}  // namespace

const RegisterRow *find_register(uint8_t reg, uint32_t address) {
    for (const RegisterRow &row : kRegisters) {
        if (row.reg == reg && (row.any_address || row.address == address)) return &row;
    }
    return nullptr;
}

}  // namespace orvsim
