#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace mavu::clientcheck {

// The program that reads and verifies a client's signature (mavu-verify), and the user it
// becomes before it reads a byte of the client's file.
struct VerifierProgram {
    std::string path;
    // The anchor certificates, handed over opened: the verifier cannot open files once it
    // has given up its privileges.
    std::string anchorPath;
    uid_t uid = 65534;
    gid_t gid = 65534;
};

enum class Verdict { accepted, refused, unknown };

// The verifier's answer from what it printed and how it ended: "accepted" with status 0,
// "refused" with status 1; anything else (a crash, a kill, a stray line) is unknown.
Verdict parseVerdict(std::string_view output, std::optional<int> exitStatus);

// Runs the verifier with executable (any descriptor of the client's program file, a path
// handle will do) as descriptor 3 and the anchor file as descriptor 4, and waits for its
// verdict until deadline. A verifier still running then is killed: the verdict is unknown.
Verdict runVerifier(const VerifierProgram& program, int executable,
                    std::chrono::steady_clock::time_point deadline);

}  // namespace mavu::clientcheck
