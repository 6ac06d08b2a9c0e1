// liborv against an instrument that answers badly: replies too short for
// what was asked, every exchange failing with one code, counts no wavelength
// table can have, and a completion poll that never completes. Whatever
// arrives, each export answers with its documented code and a failed getter
// leaves the caller's output as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "export_table.h"
#include "sim_session.h"

using orvtest::Block;
using orvtest::device_exports;
using orvtest::export_named;
using orvtest::ExportCall;

namespace {

// A UVVIS_ORV getter and the register read whose reply is cut to `bytes`
// data bytes, below the minimum the getter needs.
struct ShortRegister {
    const char *name;
    const char *reg;
    const char *addr;
    int bytes;
};

// A NIR_LEGACY getter and the reply data its command gets instead.
struct ShortNirReply {
    const char *name;
    const char *command;
    const char *data;
};

class HostileReplies : public SimSession {
protected:
    void open_uvvis(const std::string &faults) {
        open(one_bridge(with_faults(UV2048, faults)), 0, ORV_PREFER_UVVIS);
    }
    void open_nir(const std::string &faults) {
        open(one_bridge(with_faults(NIR256, faults)), 0, ORV_PREFER_NIR);
    }
};

TEST_F(HostileReplies, UvvisRepliesShorterThanTheValueAreTransportErrors) {
    const ShortRegister rows[] = {
        {"get_wavelength_count", "C2", "0B", 0},
        {"get_full_wavelength_range", "C2", "0D", 12},
        {"get_integration_time", "C1", "00", 0},
        {"get_xenon_pulse", "C1", "01", 4},
        {"get_xenon_mode", "C1", "03", 0},
        {"get_average_number", "C1", "10", 0},
        {"get_level_output", "C1", "11", 0},
        {"get_usb_baud_rate", "C1", "43", 0},
        {"get_usb_status", "C1", "50", 0},
        {"get_external_trigger_config", "C1", "51", 0},
        {"get_spectrum_capture_status", "C1", "52", 4},
        {"get_dac_voltage", "C1", "64", 0},
        {"get_calibration_coefficients", "C1", "20", 28},
        {"get_temperature", "C1", "40", 0},
        {"get_hardware_version", "C1", "41", 4},
        {"get_detector_serial_number", "C1", "44", 4},
        {"get_device_model", "C1", "46", 12},
        {"get_slit_width", "C2", "03", 0},
        {"get_serial_number", "C2", "04", 8},
        {"get_flash_write_protect", "C1", "12", 0},
        {"get_stored_integration_time", "C2", "00", 0},
        {"get_stored_average_number", "C2", "01", 0},
        {"get_stored_smoothing_width", "C2", "02", 0},
        // The completion polls of flash read and external spectrum need 8 bytes.
        {"flash_read", "C1", "4A", 4},
        {"external_spectrum_control", "C1", "4C", 4},
    };
    for (const ShortRegister &row : rows) {
        SCOPED_TRACE(row.name);
        open_uvvis(std::string(R"({"kind": "short_data", "access": "read", "bytes": )") +
                   std::to_string(row.bytes) + R"(, "register": ")" + row.reg +
                   R"(", "address": ")" + row.addr + "\"}");
        Block block;
        EXPECT_EQ(export_named(row.name).call(block.data()), ORV_ERR_TRANSPORT);
        EXPECT_TRUE(block.untouched());
    }
}

TEST_F(HostileReplies, NirRepliesShorterThanTheValueAreTransportErrors) {
    const ShortNirReply rows[] = {
        {"get_integration_time", "3F 69", "00 01 02"},
        {"get_average_number", "3F 41", "00"},
        {"get_level_output", "3F 40", ""},
        {"get_flash_write_protect", "3F A5", ""},
        {"get_temperature", "74", "01"},
        {"get_calibration_coefficients", "78",
         "3F F0 00 00 00 00 00 00 40 00 00 00 00 00 00 00 "
         "40 08 00 00 00 00 00 00 40 10 00 00 00 00 00"},
        // A wavelength table is whole singles, and at least one.
        {"get_wavelength_count", "3F 53", ""},
        {"get_wavelength_count", "3F 53", "00 00 C8 43 00 00"},
        {"get_full_wavelength_data", "3F 53", "00 00 C8 43 00 00"},
        {"get_full_wavelength_range", "3F 53", ""},
    };
    for (const ShortNirReply &row : rows) {
        SCOPED_TRACE(std::string(row.name) + " <- " + row.data);
        open_nir(std::string(R"({"kind": "data", "command": ")") + row.command +
                 R"(", "bytes": ")" + row.data + "\"}");
        Block block;
        EXPECT_EQ(export_named(row.name).call(block.data()), ORV_ERR_TRANSPORT);
        EXPECT_TRUE(block.untouched());
    }
    // The model is the exception: an instrument that cannot tell is "NIR".
    open_nir(R"({"kind": "data", "command": "BB", "bytes": "13 00 00 12"})");
    char model[16];
    ASSERT_EQ(DEVICE_CALL(get_device_model, model, sizeof model), ORV_OK);
    EXPECT_STREQ(model, "NIR");
}

// One failure on every exchange: each export passes the exchange's code on
// unchanged, except the ones that need no exchange or have a fallback.
struct Sweep {
    const char *name;
    bool nir;
    const char *fault;
    int code;
};

void PrintTo(const Sweep &s, std::ostream *os) { *os << s.name; }

class ExchangeFailureSweep : public HostileReplies, public ::testing::WithParamInterface<Sweep> {};

TEST_P(ExchangeFailureSweep, EveryExportPassesTheCodeOn) {
    const Sweep &sweep = GetParam();
    if (sweep.nir)
        open_nir(sweep.fault);
    else
        open_uvvis(sweep.fault);
    for (const ExportCall &c : device_exports()) {
        if (!c.exchanges) continue;
        SCOPED_TRACE(c.name);
        Block block;
        const int rc = c.call(block.data());
        const std::string name = c.name;
        if (sweep.nir && c.uvvis_only) {
            EXPECT_EQ(rc, ORV_ERR_UNSUPPORTED);
        } else if (sweep.nir && (name == "get_device_model" || name == "get_serial_number" ||
                                 name == "set_stored_smoothing_width")) {
            EXPECT_EQ(rc, ORV_OK);  // "NIR" without a usable reply; no traffic; no effect
            continue;
        } else {
            EXPECT_EQ(rc, sweep.code);
        }
        if (c.reads) {
            EXPECT_TRUE(block.untouched());
        }
    }
    // The summary record is delivered all the same, its unreadable texts empty.
    orv_device_info info;
    std::memset(&info, 'x', sizeof info);
    ASSERT_EQ(DEVICE_CALL(get_device_info, &info), ORV_OK);
    EXPECT_STREQ(info.hardware_version, "");
    EXPECT_STREQ(info.model, sweep.nir ? "NIR" : "");
    EXPECT_STREQ(info.serial_number, sweep.nir ? "NIR" : "");
    int32_t protocol = 0;  // no failure closes the device
    EXPECT_EQ(DEVICE_CALL(get_device_protocol, &protocol), ORV_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, ExchangeFailureSweep,
    ::testing::Values(Sweep{"UvvisCommandTimeout", false, R"({"kind": "reply_code", "code": "E0"})",
                            ORV_ERR_TIMEOUT},
                      Sweep{"UvvisWriteProtect", false, R"({"kind": "reply_code", "code": "E3"})",
                            ORV_ERR_WRITE_PROTECTED},
                      Sweep{"UvvisBadPreamble", false, R"({"kind": "bad_preamble"})",
                            ORV_ERR_INVALID_PACKET},
                      Sweep{"NirBadCrc", true, R"({"kind": "bad_crc"})", ORV_ERR_CRC_MISMATCH}),
    [](const auto &s) { return std::string(s.param.name); });

TEST_F(HostileReplies, SelectionRefusesCountsNoTableCanHave) {
    // Each selection reads the count once: the 2nd says 0, the 3rd 2049.
    open_uvvis(
        R"({"kind": "data", "register": "C2", "address": "0B", "bytes": "00 00 00 00", "occurrence": 2},
                  {"kind": "data", "register": "C2", "address": "0B", "bytes": "00 00 08 01", "occurrence": 3})");
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 400.0, 500.0), ORV_OK);
    orv_wavelength_range before{};
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_range, &before), ORV_OK);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 450.0, 550.0), ORV_ERR_TRANSPORT);
        orv_wavelength_range after{};
        ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_range, &after), ORV_OK);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);  // the earlier selection holds
    }
}

TEST_F(HostileReplies, ExternalSpectrumPollGivesUpAfter200Polls) {
    open(one_bridge(UV2048 + R"(, "external_busy_polls": 250)"), 0, ORV_PREFER_UVVIS);
    Block block;
    EXPECT_EQ(export_named("external_spectrum_control").call(block.data()), ORV_ERR_TIMEOUT);
    EXPECT_EQ(writes(), 1 + 200);  // the start, then every poll
    EXPECT_TRUE(block.untouched());
}

}  // namespace
