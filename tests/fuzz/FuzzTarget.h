#pragma once

// One fuzz target per parser of input that reaches MAVU from outside its process. A
// target is written once and built two ways:
//   - with clang's libFuzzer (MAVU_LIBFUZZER), as the program `make fuzz` runs;
//   - into mavu_fuzz_replay with the normal compiler, which feeds it every file of its
//     corpus once, so an input that once crashed a parser keeps being tried by `make test`.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace mavu::fuzz {

using Target = void (*)(std::string_view input);

// Makes a target known to the replay driver by name.
struct Registration {
    Registration(const char* name, Target target);
};

}  // namespace mavu::fuzz

// A broken invariant aborts, which both drivers take as a crash.
#define MAVU_FUZZ_CHECK(condition)                                                                 \
    ((condition)                                                                                   \
         ? static_cast<void>(0)                                                                    \
         : (std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition), \
            std::abort()))

#if defined(MAVU_LIBFUZZER)
#define MAVU_FUZZ_TARGET(name)                                                          \
    static void mavuFuzz_##name(std::string_view input);                                \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        mavuFuzz_##name(std::string_view(reinterpret_cast<const char*>(data), size));   \
        return 0;                                                                       \
    }                                                                                   \
    static void mavuFuzz_##name(std::string_view input)
#else
#define MAVU_FUZZ_TARGET(name)                                                                   \
    static void mavuFuzz_##name(std::string_view input);                                         \
    static const ::mavu::fuzz::Registration mavuFuzzRegistration_##name(#name, mavuFuzz_##name); \
    static void mavuFuzz_##name(std::string_view input)
#endif
