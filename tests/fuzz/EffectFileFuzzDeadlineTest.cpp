// The effect target held to its own deadline: a reading that runs out of the
// time the input was given is no finding, however the time went (a loaded
// machine, here a test that waits between the readings).

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "tests/fuzz/EffectFileFuzz.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace
{
// A child's exit status when the first reading did not end in time, so the
// second was never reached.
constexpr int kNotReached = 3;

bool g_bReached = false;

void WaitPastTheDeadline()
{
    g_bReached = true;
    const gfx::HlslCompileScope* pkScope = gfx::HlslCompileScope::Current();
    while (pkScope && !pkScope->Expired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The target's work on `kText` in a child process, under a scope of
// `kTime`; the child's exit status (the target's abort is a signal).
int ReadInChild(const std::string& kText, std::chrono::milliseconds kTime)
{
    const pid_t iChild = ::fork();
    if (iChild == 0)
    {
        int iArgs = 0;
        char** ppcArgs = nullptr;
        LLVMFuzzerInitialize(&iArgs, &ppcArgs);
        gfx::HlslCompileLimits kLimits;
        kLimits.time = kTime;
        const gfx::HlslCompileScope kScope(kLimits);
        const int iResult = fuzz::ReadEffectTwice(reinterpret_cast<const std::uint8_t*>(kText.data()), kText.size(),
                                                  &WaitPastTheDeadline);
        std::_Exit(!g_bReached ? kNotReached : iResult);
    }
    int iStatus = 0;
    if (iChild < 0 || ::waitpid(iChild, &iStatus, 0) != iChild)
        return -1;
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
}
} // namespace

// The compiler's reading ends within the scope (200 ms, doubled while a slow
// build needs more), the device's starts past it and is refused: the target
// returns as from any input.
TEST(EffectFileFuzzDeadline, ASecondReadingPastTheDeadlineIsNoFinding)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // Long enough that the preprocessor looks at the deadline on the way.
    std::string kText = "float4 Tint;\n"
                        "float4 Ps(float4 c : COLOR0) : COLOR { return c * Tint; }\n"
                        "technique T { pass P { PixelShader = compile ps_2_0 Ps(); } }\n";
    for (int i = 0; i < 4096; ++i)
        kText += "// a line of the effect's notes\n";
    int iStatus = kNotReached;
    for (auto kTime = std::chrono::milliseconds(200); iStatus == kNotReached && kTime <= std::chrono::minutes(2);
         kTime *= 2)
        iStatus = ReadInChild(kText, kTime);
    EXPECT_EQ(iStatus, 0) << "exit status (128 + a signal: the target stopped)";
}
