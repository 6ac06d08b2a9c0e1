// The tests every device command makes before anything is sent, in order:
// a device is open, the pointer and size arguments, the protocol (and the
// outputs that are only tested after it). None of them may reach the wire.
#include "commands/device_commands.h"
#include "export_table.h"
#include "header_declarations.h"
#include "sim_session.h"

namespace {

using orvtest::Block;
using orvtest::device_exports;
using orvtest::ExportCall;

// The table drives every device export of orv.h: the rows are the header's
// twins, in the header's order.
TEST(ExportTable, HoldsEveryDeviceExportOfTheHeader) {
    std::vector<std::string> rows;
    for (const ExportCall &c : device_exports()) rows.push_back(c.name);
    EXPECT_EQ(rows, orvtest::header_twin_names());
}

// ... and liborv's table of device exports, which makes both exports of each
// row: a row there without one here (or out of order) fails.
TEST(ExportTable, FollowsLiborvsTableOfDeviceExports) {
#define ORV_TABLE_ROW_NAME(name, params, args) #name,
    const std::vector<std::string> table = {DEVICE_COMMANDS(ORV_TABLE_ROW_NAME)};
#undef ORV_TABLE_ROW_NAME
    std::vector<std::string> rows;
    for (const ExportCall &c : device_exports()) rows.push_back(c.name);
    EXPECT_EQ(rows, table);
}

class Checks : public SimSession {};

// In the run that drives handles, every call goes to a null handle here.
TEST_F(Checks, EveryCommandNeedsAnOpenDeviceFirst) {
    close_device();
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
    EXPECT_EQ(DEVICE_CALL(flash_write, 0, block.data(), 2017), ORV_ERR_INVALID_PARAM);
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
    EXPECT_EQ(DEVICE_CALL(set_stored_smoothing_width, 3), ORV_OK);
    EXPECT_EQ(writes(), 0);
}

}  // namespace
