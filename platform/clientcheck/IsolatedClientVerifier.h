#pragma once

#include <chrono>
#include <memory>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/clientcheck/VerifierProcess.h"

namespace mavu::clientcheck {

// Checks clients without reading their programs: each check runs on a thread of its own,
// which opens a path handle on the client's program and hands it to the verifier
// program, a short-lived process without privileges that parses the signature and is
// killed at the deadline. Verdicts are kept by the version of the file, so a program
// already checked is not checked again.
class IsolatedClientVerifier final : public ClientVerifier {
  public:
    struct Setup {
        VerifierProgram program;
        // The longest a check may take.
        std::chrono::milliseconds limit{2000};
        // A file changed this recently may still be changing: its verdict is not kept.
        std::chrono::milliseconds settle{2000};
        // Verifiers running at once; further checks wait for one to finish.
        int maxRunning = 4;
    };

    explicit IsolatedClientVerifier(Setup setup);

    void checkClient(const ProcessIdentity& process, Answer answer) override;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace mavu::clientcheck
