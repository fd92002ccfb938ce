#pragma once

#include <filesystem>

#include "platform/hardware/ThermalSource.h"

namespace mavu::hardware {

// The thermal state from the kernel's thermal zones: each zone's temperature against its
// trip points, the hottest verdict over all zones. Reads the files afresh on every call.
class SysfsThermalSource final : public ThermalSource {
  public:
    // hardwareRoot is "/" on a real machine, a fake tree in tests and the demo.
    explicit SysfsThermalSource(std::filesystem::path hardwareRoot = "/");

    ThermalState thermalState() const override;

  private:
    std::filesystem::path zonesDir_;
};

}  // namespace mavu::hardware
