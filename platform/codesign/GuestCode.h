#pragma once

#include <string>

#include "platform/clientcheck/ClientCheck.h"

namespace mavu::codesign {

// The program a process runs, read while the process was pinned.
struct GuestCode {
    clientcheck::ProcessIdentity process;
    std::string image;  // the bytes of its executable file
};

}  // namespace mavu::codesign
