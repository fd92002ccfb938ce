#include "platform/hardware/LidSwitch.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/hardware/AcpiLidSwitch.h"
#include "platform/hardware/EvdevLidSwitch.h"
#include "platform/hardware/SysfsValue.h"

namespace mavu::hardware {

std::shared_ptr<LidSwitch> findLidSwitch(const std::filesystem::path& hardwareRoot,
                                         const EvdevLidProbe& probe) {
    for (const auto& device : listEntries(hardwareRoot / "dev/input", "event")) {
        const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (probe(fd)) {
            return std::make_shared<EvdevLidSwitch>(fd, probe);
        }
        ::close(fd);
    }
    for (const auto& lid : listEntries(hardwareRoot / "proc/acpi/button/lid", "")) {
        std::error_code error;
        if (std::filesystem::exists(lid / "state", error)) {
            return std::make_shared<AcpiLidSwitch>(lid / "state");
        }
    }
    return nullptr;
}

}  // namespace mavu::hardware
