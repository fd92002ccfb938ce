#include "platform/updater/VersionComparison.h"

#include <gtest/gtest.h>

namespace mavu::updater {
namespace {

TEST(VersionComparison, OrdersReleasesAsPeopleRead) {
    // Each pair in ascending order; equal pairs are spellings of one release.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"1.9", "1.10", false},
        {"1.2.3", "1.3", false},
        {"1.0", "1.0.1", false},
        {"1.0b1", "1.0b2", false},
        {"1.0b2", "1.0", false},
        {"1.0rc1", "1.0.1", false},
        {"", "0.1", false},
        {"99999999999999999999", "100000000000000000000", false},
        {"1.0", "1.0.0", true},
        {"1.02", "1.2", true},
        {"1.0B1", "1.0b1", true},
    };
    for (const auto& [lower, higher, equal] : cases) {
        SCOPED_TRACE(std::string(lower) + " vs " + higher);
        EXPECT_EQ(compareVersions(lower, higher) == 0, equal);
        EXPECT_EQ(compareVersions(lower, higher) < 0, !equal);
        EXPECT_EQ(compareVersions(higher, lower) > 0, !equal);
    }
}

}  // namespace
}  // namespace mavu::updater
