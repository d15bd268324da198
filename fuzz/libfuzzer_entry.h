#pragma once

// What every libFuzzer target does with one input: run its check and turn a violated property
// into a crash that libFuzzer records. Other exceptions escape to std::terminate on purpose.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"

namespace quillet::fuzz {

inline int runCheck(void (*check)(const uint8_t*, size_t), const uint8_t* data, size_t size) {
    try {
        check(data, size);
    } catch (const Violation& v) {
        std::fprintf(stderr, "property violated: %s\n", v.what.c_str());
        std::abort();
    }
    return 0;
}

}  // namespace quillet::fuzz
