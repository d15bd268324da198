// libFuzzer entry of the receiver check (fuzz/fuzz_checks.h).

#include <cstdlib>

#include "fuzz/libfuzzer_entry.h"

// The server's thread must not outlive the objects it serves when the process ends.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit([] { quillet::fuzz::stopReceiver(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return quillet::fuzz::runCheck(quillet::fuzz::checkReceiver, data, size);
}
