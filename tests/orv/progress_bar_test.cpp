// The progress bar's text: a bar of constant width, the count, and the time
// left rounded up to whole seconds.
#include <gtest/gtest.h>

#include "progress_bar.h"

namespace orvcli {
namespace {

using std::chrono::milliseconds;

TEST(ProgressText, FillsInProportionAndEstimatesTheRest) {
    EXPECT_EQ(progress_text(0, 100, milliseconds(0)), "[                              ] 0/100");
    EXPECT_EQ(progress_text(50, 100, milliseconds(10000)),
              "[###############               ] 50/100, 10 s left");
    EXPECT_EQ(progress_text(1, 3, milliseconds(1400)),
              "[##########                    ] 1/3, 3 s left");
    EXPECT_EQ(progress_text(100, 100, milliseconds(20000)),
              "[##############################] 100/100");
}

TEST(ProgressText, KeepsItsWidthWhateverTheCounts) {
    const std::size_t width = progress_text(0, 7, milliseconds(0)).find(']');
    for (std::size_t done = 0; done <= 9; ++done)
        EXPECT_EQ(progress_text(done, 7, milliseconds(500)).find(']'), width) << done;
    EXPECT_EQ(progress_text(0, 0, milliseconds(0)).find(']'), width);
}

}  // namespace
}  // namespace orvcli
