// The options' display modes: one per host refresh rate, and stale indices land on the first.
#include "platform/display_modes.h"

#include <gtest/gtest.h>

namespace orvet {
namespace {

TEST(DisplayModesTest, OneModePerRateAndStaleIndicesAreSafe) {
    const std::vector<int> rates = DistinctRefreshRates({60, 0, 75, 60, 144, 75});
    EXPECT_EQ(rates, (std::vector<int>{60, 75, 144}));
    EXPECT_EQ(DisplayModeLabel(rates[1]), "800x600 16 bit 75Hz");
    EXPECT_EQ(RefreshRateAt(rates, 2), 144);
    EXPECT_EQ(RefreshRateAt(rates, 7), 60) << "a setting from another display";
    EXPECT_EQ(RefreshRateAt({}, 0), 60);
    EXPECT_TRUE(DistinctRefreshRates({0, 0}).empty()) << "a display that reports no rate";
}

}  // namespace
}  // namespace orvet
