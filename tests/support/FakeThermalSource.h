#pragma once

#include "platform/hardware/ThermalSource.h"

namespace mavu::testing {

struct FakeThermalSource final : hardware::ThermalSource {
    hardware::ThermalState level = hardware::ThermalState::nominal;
    hardware::ThermalState thermalState() const override { return level; }
};

}  // namespace mavu::testing
