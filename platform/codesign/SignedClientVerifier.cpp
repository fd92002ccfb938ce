#include "platform/codesign/SignedClientVerifier.h"

#include <fcntl.h>

#include <variant>

#include "platform/clientcheck/ProcessExecutable.h"
#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/Requirement.h"

namespace mavu::codesign {

SignedClientVerifier::SignedClientVerifier(std::string anchorPemPath, std::string requirementText)
    : anchorPemPath_(std::move(anchorPemPath)), requirementText_(std::move(requirementText)) {}

bool SignedClientVerifier::isAuthorizedClient(const clientcheck::ProcessIdentity& process) const {
    return static_cast<bool>(check(process));
}

Result<SigningIdentity> SignedClientVerifier::check(
    const clientcheck::ProcessIdentity& process) const {
    using R = Result<SigningIdentity>;
    auto opened = clientcheck::openExecutable(process);
    if (const auto* why = std::get_if<std::string>(&opened)) {
        return R::failure(*why);
    }
    const std::string handle =
        "/proc/self/fd/" + std::to_string(std::get<clientcheck::UniqueFd>(opened).get());
    clientcheck::UniqueFd program(::open(handle.c_str(), O_RDONLY | O_CLOEXEC));
    if (!program) {
        return R::failure("The program of process " + std::to_string(process.pid) +
                          " cannot be read.");
    }
    auto requirement = createRequirement(requirementText_);
    if (!requirement) {
        return requirement.forward<SigningIdentity>();
    }
    auto anchors = AnchorStore::load(anchorPemPath_);
    if (!anchors) {
        return anchors.forward<SigningIdentity>();
    }
    return checkExecutable(program.get(), requirement.value(), anchors.value());
}

}  // namespace mavu::codesign
