// Every seed of the fuzz corpus and every input that once made a fuzz target fail, through the
// checks the fuzz targets run, without a fuzzing engine: a finding that was fixed stays fixed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"

namespace {

namespace fs = std::filesystem;
using namespace quillet::fuzz;

struct Target {
    const char* name;  // its folder under fuzz/corpus and fuzz/crashes
    void (*check)(const uint8_t*, size_t);
};

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void replay(const Target& target, const fs::path& file) {
    const std::string bytes = bytesOf(file);
    try {
        target.check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } catch (const Violation& v) {
        ADD_FAILURE() << file << ": " << v.what;
    } catch (const std::exception& e) {
        ADD_FAILURE() << file << ": an exception escaped: " << e.what();
    }
}

class CorpusReplay : public testing::TestWithParam<Target> {
protected:
    static void TearDownTestSuite() { stopReceiver(); }
};

TEST_P(CorpusReplay, EverySeedHoldsItsProperties) {
    const fs::path folder = fs::path(QUILLET_FUZZ_DIR) / "corpus" / GetParam().name;
    const auto seeds = filesIn(folder);
    ASSERT_FALSE(seeds.empty()) << "no seed corpus in " << folder;
    for (const auto& file : seeds) replay(GetParam(), file);
}

TEST_P(CorpusReplay, EveryEarlierFindingStaysFixed) {
    for (const auto& file : filesIn(fs::path(QUILLET_FUZZ_DIR) / "crashes" / GetParam().name))
        replay(GetParam(), file);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay,
                         testing::Values(Target{"archive", checkArchive},
                                         Target{"data_file", checkDataFile},
                                         Target{"receiver", checkReceiver}),
                         [](const testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
