#pragma once

#include <filesystem>

#include "platform/hardware/LidSwitch.h"

namespace mavu::hardware {

// The ACPI lid button's state file ("state:      open" or "closed"). It gives no change
// signal: changes are only seen by reading it again.
class AcpiLidSwitch final : public LidSwitch {
  public:
    explicit AcpiLidSwitch(std::filesystem::path stateFile) : stateFile_(std::move(stateFile)) {}

    std::optional<bool> closed() override;

  private:
    std::filesystem::path stateFile_;
};

}  // namespace mavu::hardware
