#pragma once

#include "platform/hardware/LidSwitch.h"

namespace mavu::hardware {

// A lid switch reported by an input device: the state comes from the device, and every
// switch event makes its descriptor readable.
class EvdevLidSwitch final : public LidSwitch {
  public:
    // Takes ownership of fd (opened non-blocking).
    EvdevLidSwitch(int fd, EvdevLidProbe probe);
    ~EvdevLidSwitch() override;
    EvdevLidSwitch(const EvdevLidSwitch&) = delete;
    EvdevLidSwitch& operator=(const EvdevLidSwitch&) = delete;

    std::optional<bool> closed() override { return probe_(fd_); }
    int changeFd() const override { return fd_; }
    bool drainChanges() override;

  private:
    int fd_;
    EvdevLidProbe probe_;
};

}  // namespace mavu::hardware
