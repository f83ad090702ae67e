// Replays every fuzz target over its committed seed corpus and over the inputs
// that once broke it, so a fault the fuzzer found stays fixed in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/FuzzCheck.h"

namespace {

namespace fs = std::filesystem;

fs::path FuzzFolder()
{
    return ZOP5_FUZZ_FOLDER;
}

std::vector<fs::path> InputsOf(const std::string& target)
{
    std::vector<fs::path> inputs;
    for (const char* kind : { "corpus", "regressions" }) {
        const fs::path folder = FuzzFolder() / kind / target;
        if (!fs::is_directory(folder))
            continue;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    }
    return inputs;
}

TEST(FuzzReplay, EveryTargetHasASeedCorpus)
{
    ASSERT_FALSE(zop::fuzz::Targets().empty());
    for (const auto& [name, function] : zop::fuzz::Targets()) {
        const fs::path corpus = FuzzFolder() / "corpus" / name;
        ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
        EXPECT_GE(std::distance(fs::directory_iterator(corpus), fs::directory_iterator {}), 3) << name;
    }
}

// A broken invariant aborts the process with its reason on stderr; the test
// then fails as a crash, naming the input it was replaying.
TEST(FuzzReplay, CorpusAndRegressionsKeepEveryInvariant)
{
    for (const auto& [name, function] : zop::fuzz::Targets()) {
        for (const fs::path& input : InputsOf(name)) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> bytes { std::istreambuf_iterator<char>(file), {} };
            std::fprintf(stderr, "replaying %s\n", input.c_str());
            // A copy of exactly the input's size, so ASan sees any read past its end.
            auto* copy = new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)];
            std::copy(bytes.begin(), bytes.end(), copy);
            EXPECT_EQ(function(copy, bytes.size()), 0) << input;
            delete[] copy;
        }
    }
}

} // namespace
