#pragma once

namespace mavu::hardware {

// The machine's thermal pressure in four levels; only critical ends a hold.
enum class ThermalState { nominal = 0, fair = 1, serious = 2, critical = 3 };

class ThermalSource {
  public:
    virtual ~ThermalSource() = default;
    virtual ThermalState thermalState() const = 0;
};

}  // namespace mavu::hardware
