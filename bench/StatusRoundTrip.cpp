// How much the helper adds to a bus round trip: Status from a signed client against a
// bare Peer.Ping answered by the same daemon's bus library, measured alternately over
// one connection on a private bus. Not a test: it prints medians and their ratio.
#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/HelperProtocol.h"
#include "tests/system/harness/HelperBed.h"

namespace {

using namespace mavu;
using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> samples, double fraction) {
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    return samples[index];
}

template <class Call>
double timeMs(Call&& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    testing::HelperBed bed({MAVU_BENCH_HELPER, MAVU_BENCH_ANCHOR, MAVU_BENCH_POLICY});
    if (!bed.bus().running()) {
        std::fprintf(stderr, "could not start a private bus:\n%s", bed.log().c_str());
        return 1;
    }
    try {
        auto connection = sdbus::createSessionBusConnectionWithAddress(bed.bus().address());
        auto proxy = sdbus::createProxy(*connection, protocol::kBusName, protocol::kObjectPath);
        auto status = [&] {
            auto call = proxy->createMethodCall(protocol::kInterface, "Status");
            proxy->callMethod(call, 10'000'000);
        };
        auto ping = [&] {
            auto call = proxy->createMethodCall("org.freedesktop.DBus.Peer", "Ping");
            proxy->callMethod(call, 10'000'000);
        };
        // Activation and the signature check happen on the first call; warm both paths.
        for (int i = 0; i < 100; ++i) {
            status();
            ping();
        }
        std::vector<double> statusMs, pingMs;
        for (int i = 0; i < rounds; ++i) {
            statusMs.push_back(timeMs(status));
            pingMs.push_back(timeMs(ping));
        }
        const double statusP50 = percentile(statusMs, 0.5);
        const double pingP50 = percentile(pingMs, 0.5);
        std::printf("rounds          %d\n", rounds);
        std::printf("Status    p50 %.3f ms   p90 %.3f ms\n", statusP50, percentile(statusMs, 0.9));
        std::printf("Peer.Ping p50 %.3f ms   p90 %.3f ms\n", pingP50, percentile(pingMs, 0.9));
        std::printf("ratio of medians %.2f (goal <= 2.00, Status p50 <= 2 ms): %s\n",
                    statusP50 / pingP50,
                    statusP50 <= 2 * pingP50 && statusP50 <= 2.0 ? "met" : "missed");
    } catch (const sdbus::Error& error) {
        std::fprintf(stderr, "bus call failed: %s\n%s", error.what(), bed.log().c_str());
        return 1;
    }
    return 0;
}
