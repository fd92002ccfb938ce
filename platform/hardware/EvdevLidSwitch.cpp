#include "platform/hardware/EvdevLidSwitch.h"

#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace mavu::hardware {

namespace {

constexpr std::size_t kBitsPerWord = sizeof(unsigned long) * CHAR_BIT;

constexpr std::size_t wordsFor(std::size_t maxBit) {
    return maxBit / kBitsPerWord + 1;
}

bool testBit(const unsigned long* words, std::size_t bit) {
    return (words[bit / kBitsPerWord] >> (bit % kBitsPerWord)) & 1UL;
}

}  // namespace

std::optional<bool> probeEvdevLid(int fd) {
    unsigned long types[wordsFor(EV_MAX)] = {};
    unsigned long switches[wordsFor(SW_MAX)] = {};
    unsigned long states[wordsFor(SW_MAX)] = {};
    if (::ioctl(fd, EVIOCGBIT(0, sizeof types), types) < 0 || !testBit(types, EV_SW)) {
        return std::nullopt;
    }
    if (::ioctl(fd, EVIOCGBIT(EV_SW, sizeof switches), switches) < 0 ||
        !testBit(switches, SW_LID)) {
        return std::nullopt;
    }
    if (::ioctl(fd, EVIOCGSW(sizeof states), states) < 0) {
        return std::nullopt;
    }
    return testBit(states, SW_LID);
}

EvdevLidSwitch::EvdevLidSwitch(int fd, EvdevLidProbe probe) : fd_(fd), probe_(std::move(probe)) {}

EvdevLidSwitch::~EvdevLidSwitch() {
    ::close(fd_);
}

bool EvdevLidSwitch::drainChanges() {
    // The events themselves do not matter: the state is read afresh afterwards.
    input_event events[16];
    for (;;) {
        const ssize_t got = ::read(fd_, events, sizeof events);
        if (got > 0) {
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

}  // namespace mavu::hardware
