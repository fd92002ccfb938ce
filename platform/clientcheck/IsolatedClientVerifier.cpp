#include "platform/clientcheck/IsolatedClientVerifier.h"

#include <semaphore>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "platform/clientcheck/FileKey.h"
#include "platform/clientcheck/ProcessExecutable.h"
#include "platform/clientcheck/VerdictCache.h"

namespace mavu::clientcheck {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool settled(const FileKey& key, std::chrono::milliseconds settle) {
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(key.changeSeconds) +
            std::chrono::nanoseconds(key.changeNanoseconds)));
    return changed + settle <= std::chrono::system_clock::now();
}

}  // namespace

// Lives as long as the longest check, which may outlast the verifier object.
struct IsolatedClientVerifier::Shared {
    explicit Shared(Setup s) : setup(std::move(s)), running(setup.maxRunning) {}

    bool check(const ProcessIdentity& process) {
        const auto deadline = SteadyClock::now() + setup.limit;
        auto opened = openExecutable(process);
        const auto* exe = std::get_if<UniqueFd>(&opened);
        const auto before = exe ? fileFacts(exe->get()) : std::nullopt;
        if (!before || !before->regular) {
            return false;
        }
        if (const auto known = cache.find(before->key)) {
            return *known;
        }
        if (!running.try_acquire_until(deadline)) {
            return false;
        }
        const Verdict verdict = runVerifier(setup.program, exe->get(), deadline);
        running.release();
        if (verdict == Verdict::unknown) {
            return false;
        }
        const bool accepted = verdict == Verdict::accepted;
        // Kept only for a file that did not change while it was read.
        const auto after = fileFacts(exe->get());
        if (after && after->key == before->key && settled(before->key, setup.settle)) {
            cache.remember(before->key, accepted);
        }
        return accepted;
    }

    const Setup setup;
    std::counting_semaphore<> running;
    VerdictCache cache;
};

IsolatedClientVerifier::IsolatedClientVerifier(Setup setup)
    : shared_(std::make_shared<Shared>(std::move(setup))) {}

void IsolatedClientVerifier::checkClient(const ProcessIdentity& process, Answer answer) {
    try {
        std::thread([shared = shared_, process, answer] {
            answer(shared->check(process));
        }).detach();
    } catch (const std::system_error&) {
        answer(false);
    }
}

}  // namespace mavu::clientcheck
