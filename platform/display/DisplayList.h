#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace mavu::display {

struct ActiveDisplay {
    // Stable while the display stays attached; none when the system cannot name it.
    std::optional<std::uint32_t> id;
    // The panel built into the laptop.
    bool builtIn = false;
};

// The displays currently in use, in the system's order. Read fresh at every call, on the
// main thread.
class DisplayList {
  public:
    virtual ~DisplayList() = default;
    virtual std::vector<ActiveDisplay> activeDisplays() const = 0;
};

}  // namespace mavu::display
