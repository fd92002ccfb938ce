#include "tests/system/attacks/RawBus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace mavu::attacks {

namespace {

void call(sd_bus* bus, const char* member) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* destination = "group.com.norvel.mavu.helper";
    const char* path = "/group/com/norvel/mavu/helper";
    const char* interface = "group.com.norvel.mavu.helper.MAVUHelperProtocol";
    const int r =
        std::strcmp(member, "Arm") == 0
            ? sd_bus_call_method(bus, destination, path, interface, member, &error, &reply, "db",
                                 3600.0, 0)
            : sd_bus_call_method(bus, destination, path, interface, member, &error, &reply, "");
    if (r >= 0) {
        std::printf("%s ok\n", member);
    } else {
        std::printf("%s error %s\n", member, error.name ? error.name : "none");
    }
    std::fflush(stdout);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
}

}  // namespace

bool connectToBus(int fd) {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string prefix = "unix:path=";
    if (address == nullptr || std::strncmp(address, prefix.c_str(), prefix.size()) != 0) {
        return false;
    }
    std::string path = address + prefix.size();
    path = path.substr(0, path.find(','));
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::strncpy(where.sun_path, path.c_str(), sizeof where.sun_path - 1);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
}

void callHelper(int fd, const char* member) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        std::printf("%s error no-connection\n", member);
        return;
    }
    call(bus, member);
    sd_bus_flush_close_unref(bus);
}

}  // namespace mavu::attacks
