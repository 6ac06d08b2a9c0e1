// A liborv without orv_close_device: the scan's probes and the benchmark's
// visits ignore the missing close and carry on (the library closes a device
// itself when the next one opens).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "bench.h"
#include "fake_orv.h"
#include "scan.h"

using namespace velmar;

namespace {

TEST(MissingClose, ScanAndReportCompleteWithoutIt) {
    fake::state = fake::State{};
    fake::state.devices["FT1"] = fake::device("SIM-UV", "SN1");
    fake::state.devices["FT2"] = fake::device("SIM-NIR", "NIR");
    auto library = std::make_shared<fake::Library>();
    library->remove("orv_close_device");

    std::ostringstream diagnostics;
    const std::vector<DeviceEntry> entries =
        entries_from_descriptors(*library,
                                 {{"FT1", "SIMULATED FT1", kVelmarUsbId, 0, 5, 0x21},
                                  {"FT2", "SIMULATED FT2", kVelmarUsbId, 0, 5, 0x22}},
                                 diagnostics);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(diagnostics.str().find("ignored"), std::string::npos);

    std::ostringstream report;
    ASSERT_TRUE(report_devices(VelmarSdk("liborv", library), entries, report));
    EXPECT_NE(report.str().find("=== device 1 chip_serial=FT2 ==="), std::string::npos);
    EXPECT_EQ(fake::state.close_calls, 0);
}

}  // namespace
