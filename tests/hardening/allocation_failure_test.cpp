// The scratch buffers liborv allocates for one call, and the record of a new
// handle: when an allocation fails, the export reports ORV_ERR_INVALID_PARAM
// instead of crashing, and the caller's output stays as it was (a handle
// stays null, nothing is left open).
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "export_table.h"
#include "sim_session.h"

namespace {

// While set, every nothrow array allocation of the process fails (the form
// liborv's scratch buffers use), or every nothrow allocation of one object
// (the form of a handle's record); the others are untouched.
bool g_fail_nothrow_arrays = false;
bool g_fail_nothrow_objects = false;

}  // namespace

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    if (g_fail_nothrow_arrays) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (g_fail_nothrow_objects) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using orvtest::Block;
using orvtest::ExportCall;

// Arms the failing allocator for the duration of one call.
int with_failing_allocation(const ExportCall &c, void *block) {
    g_fail_nothrow_arrays = true;
    const int rc = c.call(block);
    g_fail_nothrow_arrays = false;
    return rc;
}

class AllocationFailure : public SimSession, public ::testing::WithParamInterface<bool> {};

TEST_P(AllocationFailure, GettersReportInvalidParamAndLeaveOutputsAlone) {
    const bool nir = GetParam();
    open(one_bridge(nir ? NIR256 : UV2048), 0, nir ? ORV_PREFER_NIR : ORV_PREFER_UVVIS);
    for (const ExportCall &c : orvtest::device_exports()) {
        const std::string name = c.name;
        // Setters build their requests on the stack. On NIR_LEGACY the serial
        // number needs no traffic, the model falls back to "NIR", and a flash
        // read lands in the caller's buffer directly.
        const bool no_scratch_on_nir =
            name == "get_serial_number" || name == "get_device_model" || name == "flash_read";
        if (!c.reads || !c.exchanges || (nir && (c.uvvis_only || no_scratch_on_nir))) continue;
        SCOPED_TRACE(name);
        Block block;
        EXPECT_EQ(with_failing_allocation(c, block.data()), ORV_ERR_INVALID_PARAM);
        EXPECT_TRUE(block.untouched());
    }
    // Selecting needs a copy of the whole table, and a NIR flash write a frame.
    g_fail_nothrow_arrays = true;
    EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 400.0, 500.0), ORV_ERR_INVALID_PARAM);
    const uint8_t data[8] = {};
    const int write_rc = DEVICE_CALL(flash_write, 0, data, sizeof data);
    g_fail_nothrow_arrays = false;
    if (nir) {
        EXPECT_EQ(write_rc, ORV_ERR_INVALID_PARAM);
    }

    // The model of a NIR instrument falls back to "NIR"; the summary record
    // is delivered with the texts that could not be read left empty.
    orv_device_info info;
    g_fail_nothrow_arrays = true;
    const int info_rc = DEVICE_CALL(get_device_info, &info);
    g_fail_nothrow_arrays = false;
    ASSERT_EQ(info_rc, ORV_OK);
    EXPECT_STREQ(info.model, nir ? "NIR" : "");
    EXPECT_STREQ(info.hardware_version, "");

    // Nothing was left behind: with memory back, the device works.
    uint16_t count = 0;
    EXPECT_EQ(DEVICE_CALL(get_wavelength_count, &count), ORV_OK);
}

class HandleAllocation : public SimSession {};

TEST_F(HandleAllocation, AHandleWithoutMemoryIsNotOpened) {
    load_scenario(one_bridge(UV2048));
    orv_device *device = nullptr;
    g_fail_nothrow_objects = true;
    const int by_index = orv_device_open(0, &device);
    const int by_serial = orv_device_open_by_chip_serial("ORVTEST1", &device);
    g_fail_nothrow_objects = false;
    EXPECT_EQ(by_index, ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(by_serial, ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(orvsim_open_handle_count(), 0);
    // With memory back, the bridge opens.
    ASSERT_EQ(orv_device_open(0, &device), ORV_OK);
    orv_device_close(device);
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, AllocationFailure, ::testing::Values(false, true),
                         [](const auto &p) { return p.param ? "nir" : "uvvis"; });

}  // namespace
