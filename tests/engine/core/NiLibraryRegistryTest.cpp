#include "engine/core/NiLibraryRegistry.h"

#include "engine/core/NiLog.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_kEvents;

// Shut-down steps note whether the log table is still up: the log shuts
// down after every library.
void Record(const char* pcWhat)
{
    g_kEvents.emplace_back(std::string(pcWhat) + (NiGetLogCount() > 0 ? "" : " (logs gone)"));
}

// Stands in for the log setup: its start-up takes one log slot (mode 2
// opens no file), so the log shut-down shows as the slot going away.
class RecordingLogSetup : public NiLogSetup
{
public:
    void Initialize() override
    {
        g_kEvents.emplace_back("log start-up");
        NiOpenLog("unused.log", 2, false, false);
    }
};
RecordingLogSetup g_kLogSetup;

void MainInit()
{
    Record("main up");
}
void MainShutdown()
{
    Record("main down");
}
void OtherMainInit()
{
    Record("other main up");
}
void OtherMainShutdown()
{
    Record("other main down");
}
void AnimationInit()
{
    Record("animation up");
}
void AnimationShutdown()
{
    Record("animation down");
}
void ShadersInit()
{
    Record("shaders up");
}
void ShadersShutdown()
{
    Record("shaders down");
}
void RendererInit()
{
    Record("renderer up");
}
void RendererShutdown()
{
    Record("renderer down");
}
void Overflow()
{
    Record("17th");
}

// A library's registration as each of its compilation units would make it.
NiLibraryRegistrationCounter g_kAnimationCounter;
struct AnimationRegistration
{
    AnimationRegistration()
    {
        if (g_kAnimationCounter.Count())
            NiLibraryRegistry::RegisterLibrary(AnimationInit, AnimationShutdown);
    }
};

class NiLibraryRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAll();
        NiSetLogSetup(&g_kLogSetup);
    }
    void TearDown() override { ResetAll(); }

    static void ResetAll()
    {
        NiLibraryRegistry::Reset();
        NiMainLibrary::Reset();
        NiObjectStream::StaticShutdown();
        NiLogReset();
        g_kAnimationCounter.Reset();
        g_kEvents.clear();
    }
};
} // namespace

TEST_F(NiLibraryRegistryTest, StartsLogMainThenLibrariesAndStopsLibrariesInTheSameOrder)
{
    NiLibraryRegistry::RegisterMainLibrary(MainInit, MainShutdown);
    EXPECT_TRUE(NiLibraryRegistry::RegisterLibrary(AnimationInit, AnimationShutdown));
    EXPECT_TRUE(NiLibraryRegistry::RegisterLibrary(ShadersInit, ShadersShutdown));
    EXPECT_TRUE(NiLibraryRegistry::RegisterLibrary(RendererInit, RendererShutdown));

    NiLibraryRegistry::InitLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up", "main up", "animation up", "shaders up",
                                                   "renderer up"}));
    g_kEvents.clear();
    NiLibraryRegistry::ShutdownLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"animation down", "shaders down", "renderer down", "main down"}));
    EXPECT_EQ(NiGetLogCount(), 0u) << "log shut down last";
}

TEST_F(NiLibraryRegistryTest, RunsLibrariesWithoutAMainLibraryAndSkipsMissingFunctions)
{
    NiLibraryRegistry::RegisterLibrary(nullptr, AnimationShutdown);
    NiLibraryRegistry::RegisterLibrary(RendererInit, nullptr);
    NiLibraryRegistry::InitLibraries();
    NiLibraryRegistry::ShutdownLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up", "renderer up", "animation down"}));
}

TEST_F(NiLibraryRegistryTest, ALaterMainLibraryReplacesTheEarlierOne)
{
    NiLibraryRegistry::RegisterMainLibrary(MainInit, MainShutdown);
    NiLibraryRegistry::RegisterMainLibrary(OtherMainInit, OtherMainShutdown);
    NiLibraryRegistry::InitLibraries();
    NiLibraryRegistry::ShutdownLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up", "other main up", "other main down"}));
}

TEST_F(NiLibraryRegistryTest, SeveralRegistrationObjectsOfOneLibraryRegisterItOnce)
{
    {
        AnimationRegistration kFirstUnit;
        AnimationRegistration kSecondUnit;
        AnimationRegistration kThirdUnit;
    }
    EXPECT_EQ(g_kAnimationCounter.Get(), 3u);
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 1u);
    NiLibraryRegistry::InitLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up", "animation up"}));
    NiLibraryRegistry::ShutdownLibraries();
}

TEST_F(NiLibraryRegistryTest, CoreRegistersItselfAsMainLibraryOnlyOnce)
{
    NiMainLibrary::RegisterOnce();
    NiLibraryRegistry::InitLibraries();
    EXPECT_TRUE(NiMainLibrary::IsStarted());
    NiLibraryRegistry::ShutdownLibraries();
    EXPECT_FALSE(NiMainLibrary::IsStarted());
    g_kEvents.clear();

    // A later call finds its counter above zero and registers nothing, so
    // a main library set in between stays.
    NiLibraryRegistry::RegisterMainLibrary(MainInit, MainShutdown);
    NiMainLibrary::RegisterOnce();
    NiLibraryRegistry::InitLibraries();
    EXPECT_FALSE(NiMainLibrary::IsStarted());
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up", "main up"}));
    NiLibraryRegistry::ShutdownLibraries();
}

TEST_F(NiLibraryRegistryTest, TheSeventeenthLibraryIsRefusedWithAMessage)
{
    for (std::uint32_t i = 0; i < NiLibraryRegistry::MAX_LIBRARIES; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(NiLibraryRegistry::RegisterLibrary(RendererInit, nullptr));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(NiLibraryRegistry::RegisterLibrary(Overflow, Overflow));
    const std::string kError = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(kError.find('\n'), std::string::npos) << "one line on standard error";
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 16u);

    NiLibraryRegistry::InitLibraries();
    NiLibraryRegistry::ShutdownLibraries();
    std::vector<std::string> kExpected(17, "renderer up");
    kExpected[0] = "log start-up";
    EXPECT_EQ(g_kEvents, kExpected);
}

TEST_F(NiLibraryRegistryTest, ResetForgetsEveryRegistration)
{
    NiLibraryRegistry::RegisterMainLibrary(MainInit, MainShutdown);
    NiLibraryRegistry::RegisterLibrary(RendererInit, RendererShutdown);
    NiLibraryRegistry::Reset();
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 0u);
    NiLibraryRegistry::InitLibraries();
    NiLibraryRegistry::ShutdownLibraries();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"log start-up"}));
}
