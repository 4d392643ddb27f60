// A program fuzzer's seeds replayed as a test of the test configuration:
// each seed through the target's own LLVMFuzzerTestOneInput, with the gl
// device where SDL gives OpenGL (the offscreen driver unless the caller chose
// one). A seed whose program is made and then does not compile, link or
// draw stops the target, and with it this test.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace
{
TEST(FuzzSeedReplay, EverySeedRunsToItsEnd)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // 0: keep the caller's choice
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int iArgs = 0;
    char** ppcArgs = nullptr;
    LLVMFuzzerInitialize(&iArgs, &ppcArgs);
    std::size_t uiSeeds = 0;
    for (const auto& kEntry : std::filesystem::directory_iterator(ORVANE_FUZZ_SEED_FOLDER))
    {
        if (!kEntry.is_regular_file())
            continue;
        SCOPED_TRACE(kEntry.path().string());
        std::ifstream kFile(kEntry.path(), std::ios::binary);
        const std::vector<std::uint8_t> kBytes((std::istreambuf_iterator<char>(kFile)), std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(kBytes.data(), kBytes.size()), 0);
        ++uiSeeds;
    }
    EXPECT_GT(uiSeeds, 0u) << ORVANE_FUZZ_SEED_FOLDER;
}
} // namespace
