#include <gtest/gtest.h>

#include <string>

#include "platform/hardware/SysfsThermalSource.h"
#include "tests/support/TempTree.h"

namespace mavu::hardware {
namespace {

class ThermalZones : public ::testing::Test {
  protected:
    // A zone shaped like a laptop's ACPI zone: fan at 60 °C, throttling at 90 °C,
    // power-off at 105 °C.
    void addLaptopZone(int index, const std::string& temp) {
        const std::string zone = "sys/class/thermal/thermal_zone" + std::to_string(index) + "/";
        tree.write(zone + "type", "acpitz\n");
        tree.write(zone + "temp", temp);
        tree.write(zone + "trip_point_0_type", "critical\n");
        tree.write(zone + "trip_point_0_temp", "105000\n");
        tree.write(zone + "trip_point_1_type", "passive\n");
        tree.write(zone + "trip_point_1_temp", "90000\n");
        tree.write(zone + "trip_point_2_type", "active\n");
        tree.write(zone + "trip_point_2_temp", "60000\n");
    }
    ThermalState state() const { return SysfsThermalSource(tree.root()).thermalState(); }

    testing::TempTree tree;
};

TEST_F(ThermalZones, EachTripGivesItsLevel) {
    addLaptopZone(0, "45000\n");
    EXPECT_EQ(state(), ThermalState::nominal);
    tree.write("sys/class/thermal/thermal_zone0/temp", "60000\n");
    EXPECT_EQ(state(), ThermalState::fair);
    tree.write("sys/class/thermal/thermal_zone0/temp", "90000\n");
    EXPECT_EQ(state(), ThermalState::serious);
    // Within five degrees of the power-off point counts as critical already.
    tree.write("sys/class/thermal/thermal_zone0/temp", "99999\n");
    EXPECT_EQ(state(), ThermalState::serious);
    tree.write("sys/class/thermal/thermal_zone0/temp", "100000\n");
    EXPECT_EQ(state(), ThermalState::critical);
    tree.write("sys/class/thermal/thermal_zone0/temp", "110000\n");
    EXPECT_EQ(state(), ThermalState::critical);
}

TEST_F(ThermalZones, TheHottestZoneDecides) {
    EXPECT_EQ(state(), ThermalState::nominal);  // no zones at all
    addLaptopZone(0, "40000\n");
    addLaptopZone(1, "92000\n");
    addLaptopZone(2, "61000\n");
    EXPECT_EQ(state(), ThermalState::serious);
    // A hot trip is critical once reached, without the margin.
    tree.write("sys/class/thermal/thermal_zone3/trip_point_0_type", "hot\n");
    tree.write("sys/class/thermal/thermal_zone3/trip_point_0_temp", "95000\n");
    tree.write("sys/class/thermal/thermal_zone3/temp", "94000\n");
    EXPECT_EQ(state(), ThermalState::serious);
    tree.write("sys/class/thermal/thermal_zone3/temp", "95000\n");
    EXPECT_EQ(state(), ThermalState::critical);
}

TEST_F(ThermalZones, UnreadableZonesAndTripsAreSkipped) {
    addLaptopZone(0, "garbage\n");
    addLaptopZone(1, "");
    addLaptopZone(2, "70000\n");
    // Zone 3 has no temperature at all.
    tree.write("sys/class/thermal/thermal_zone3/trip_point_0_type", "critical\n");
    tree.write("sys/class/thermal/thermal_zone3/trip_point_0_temp", "1000\n");
    // Zone 4 is hot enough for its critical trip, but the trip's temperature is garbage,
    // missing, or an unused slot reported as zero.
    tree.write("sys/class/thermal/thermal_zone4/temp", "104000\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_0_type", "critical\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_0_temp", "105 C\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_1_type", "critical\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_2_type", "critical\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_2_temp", "0\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_3_type", "sizzling\n");
    tree.write("sys/class/thermal/thermal_zone4/trip_point_3_temp", "50000\n");
    EXPECT_EQ(state(), ThermalState::fair);
}

}  // namespace
}  // namespace mavu::hardware
