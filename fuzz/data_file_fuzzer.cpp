// libFuzzer entry of the data file check (fuzz/fuzz_checks.h).

#include "fuzz/libfuzzer_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return quillet::fuzz::runCheck(quillet::fuzz::checkDataFile, data, size);
}
