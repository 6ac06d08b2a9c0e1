// The tests every device command makes before anything is sent, in order:
// a device is open, the pointer and size arguments, the protocol (and the
// outputs that are only tested after it). None of them may reach the wire.
#include "export_table.h"
#include "sim_session.h"

namespace {

using orvtest::Block;
using orvtest::device_exports;
using orvtest::ExportCall;

class Checks : public SimSession {};

TEST_F(Checks, EveryCommandNeedsAnOpenDeviceFirst) {
    orv_close_device();
    for (const ExportCall &c : device_exports()) {
        SCOPED_TRACE(c.name);
        Block block;
        EXPECT_EQ(c.call(block.data()), ORV_ERR_NOT_OPEN);
        if (c.refused) {
            EXPECT_EQ(c.refused(block.data()), ORV_ERR_NOT_OPEN);
        }
        EXPECT_TRUE(block.untouched());
    }
}

TEST_F(Checks, BadArgumentsAreRefusedWithoutTrafficOnUvvis) {
    open_instrument(UV2048);
    for (const ExportCall &c : device_exports()) {
        if (!c.refused) continue;
        SCOPED_TRACE(c.name);
        Block block;
        EXPECT_EQ(c.refused(block.data()), ORV_ERR_INVALID_PARAM);
        EXPECT_TRUE(block.untouched());
    }
    // A block that does not fit one write packet is refused before anything is sent.
    std::vector<uint8_t> block(2017);
    EXPECT_EQ(orv_flash_write(0, block.data(), 2017), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(writes(), 0);
}

TEST_F(Checks, UvvisOnlyCommandsOnNirAreUnsupportedWhateverTheirArguments) {
    open_instrument(NIR256);
    for (const ExportCall &c : device_exports()) {
        SCOPED_TRACE(c.name);
        Block block;
        if (c.refused) {
            EXPECT_EQ(c.refused(block.data()),
                      c.uvvis_only ? ORV_ERR_UNSUPPORTED : ORV_ERR_INVALID_PARAM);
        }
        if (c.uvvis_only) {
            EXPECT_EQ(c.call(block.data()), ORV_ERR_UNSUPPORTED);
        }
        EXPECT_TRUE(block.untouched());
    }
    // NIR instruments keep no smoothing width: accepted without a word sent.
    EXPECT_EQ(orv_set_stored_smoothing_width(3), ORV_OK);
    EXPECT_EQ(writes(), 0);
}

}  // namespace
