#pragma once
// What every fuzz target shares: an invariant check that stops the run with a
// readable reason (libFuzzer then saves the input as a crash), and the entry
// point. Each target defines one function; built for libFuzzer it becomes
// LLVMFuzzerTestOneInput, built for the test suite it is replayed over the
// committed corpus and the saved crashes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace zop::fuzz {

using TargetFunction = int (*)(const uint8_t* data, size_t size);

// The targets linked into this program, by the name of their corpus folder.
inline std::map<std::string, TargetFunction>& Targets()
{
    static std::map<std::string, TargetFunction> targets;
    return targets;
}

inline bool RegisterTarget(const char* name, TargetFunction function)
{
    Targets()[name] = function;
    return true;
}

[[noreturn]] inline void InvariantBroken(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

} // namespace zop::fuzz

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::zop::fuzz::InvariantBroken(#condition, __FILE__, __LINE__);                                              \
    } while (false)

// FUZZ_TARGET("corpus folder name", function)
#ifdef ZOP5_FUZZ_ENTRY
#define FUZZ_TARGET(name, function)                                                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                            \
    {                                                                                                                  \
        return function(data, size);                                                                                   \
    }
#else
#define FUZZ_TARGET(name, function)                                                                                    \
    [[maybe_unused]] static const bool registered##function = ::zop::fuzz::RegisterTarget(name, function);
#endif
