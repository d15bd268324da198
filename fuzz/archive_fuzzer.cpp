// libFuzzer entry of the archive check (fuzz/fuzz_checks.h).

#include "fuzz/libfuzzer_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return quillet::fuzz::runCheck(quillet::fuzz::checkArchive, data, size);
}
