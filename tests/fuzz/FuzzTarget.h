#pragma once

// One fuzz target per parser of input that reaches MAVU from outside its process. A
// target is written once and built two ways:
//   - with clang's libFuzzer (MAVU_LIBFUZZER), as the program `make fuzz` runs;
//   - into mavu_fuzz_replay with the normal compiler, which feeds it every file of its
//     corpus once, so an input that once crashed a parser keeps being tried by `make test`.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mavu::fuzz {

using Target = void (*)(std::string_view input);

// Reports a broken invariant and aborts, which both drivers take as a crash.
[[noreturn]] void invariantBroken(const char* condition, const char* file, int line);

// Makes a target known to the replay driver by name.
struct Registration {
    Registration(const char* name, Target target);
};

}  // namespace mavu::fuzz

#define MAVU_FUZZ_CHECK(condition)      \
    ((condition) ? static_cast<void>(0) \
                 : ::mavu::fuzz::invariantBroken(#condition, __FILE__, __LINE__))

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
