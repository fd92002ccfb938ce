#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace mavu::hardware {

// One lid switch of the machine.
class LidSwitch {
  public:
    virtual ~LidSwitch() = default;

    // True when the lid is closed; nothing when the state cannot be read.
    virtual std::optional<bool> closed() = 0;
    // A descriptor that becomes readable when the switch changes, or -1 when the switch
    // gives no change signal.
    virtual int changeFd() const { return -1; }
    // Consumes the pending change events. False once the device has gone away, after
    // which changeFd() stays readable for ever and must no longer be watched.
    virtual bool drainChanges() { return true; }
};

// Asks an open input device whether it has a lid switch: its state (true = closed), or
// nothing when it has none. Injectable so the event path can be tried without one.
using EvdevLidProbe = std::function<std::optional<bool>(int fd)>;

// The kernel's answer through the input ioctls; the only place they are used.
std::optional<bool> probeEvdevLid(int fd);

// The machine's lid switch under hardwareRoot: an input device with a lid switch
// (dev/input/event*), otherwise the ACPI button (proc/acpi/button/lid/*/state), otherwise
// none.
std::shared_ptr<LidSwitch> findLidSwitch(const std::filesystem::path& hardwareRoot,
                                         const EvdevLidProbe& probe);

}  // namespace mavu::hardware
