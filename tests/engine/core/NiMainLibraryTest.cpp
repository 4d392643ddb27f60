#include "engine/core/NiMainLibrary.h"

#include "engine/core/NiBatch.h"
#include "engine/core/NiListNodePool.h"
#include "engine/core/NiLog.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiProcessorInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_kEvents;

// Each stand-in step records itself and whether the stream tables (a core
// step of its own) exist at that point.
void Note(const char* pcWhat)
{
    g_kEvents.emplace_back(std::string(pcWhat) + (NiObjectStream::IsStaticInitialized() ? " +tables" : ""));
}

void PropertiesUp()
{
    Note("properties up");
}
void PropertiesDown()
{
    Note("properties down");
}
void ImageConverterUp()
{
    Note("image converter up");
}
void RendererDown()
{
    Note("current renderer down");
}
void ScreenGeometryUp()
{
    Note("screen geometry up");
}
void ScreenGeometryDown()
{
    Note("screen geometry down");
}
// What the core's own later steps have done when a hook runs.
void NoteBatchState()
{
    g_kEvents.emplace_back(std::string(NiGetSqrtTable() ? "table" : "no table") +
                           (NiIsProcessorDetected() ? ", detected" : ", undetected"));
}

void SceneFirstUp()
{
    Note("scene first up");
}
void SceneSecondUp()
{
    Note("scene second up");
}

class Created : public NiObject
{
};
NiObject* CreateStandIn()
{
    return new Created;
}

// A stand-in for the libraries that give the core's class names their
// create functions; its shut-down takes back exactly what it gave.
void RegisterAllNames()
{
    Note("create functions up");
    for (const char* pcName : NiMainLibrary::CREATE_FUNCTION_NAMES)
        NiObjectStream::RegisterCreateFunction(pcName, CreateStandIn);
}
void UnregisterAllNames()
{
    Note("create functions down");
    for (const char* pcName : NiMainLibrary::CREATE_FUNCTION_NAMES)
        NiObjectStream::UnregisterCreateFunction(pcName);
}

std::size_t CountLines(const std::string& kText)
{
    return static_cast<std::size_t>(std::count(kText.begin(), kText.end(), '\n'));
}

class NiMainLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiMainLibrary::Reset();
        NiLibraryRegistry::Reset();
        NiObjectStream::StaticShutdown();
        NiLogReset();
        NiResetBatchRoutines();
        ASSERT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
        g_kEvents.clear();
    }
    void TearDown() override
    {
        NiMainLibrary::Reset();
        NiObjectStream::StaticShutdown();
        NiResetBatchRoutines();
        NiListNodePool::FreeAll();
    }

    // Start-up reports every class name still without a create function.
    static std::string InitCapturingStderr()
    {
        ::testing::internal::CaptureStderr();
        NiMainLibrary::Init();
        return ::testing::internal::GetCapturedStderr();
    }
};
} // namespace

TEST_F(NiMainLibraryTest, HooksRunAtTheirStepsOnStartUpAndShutDown)
{
    // Added out of order on purpose.
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, RegisterAllNames, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                             UnregisterAllNames));
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_SCREEN_GEOMETRY, ScreenGeometryUp, NI_SHUTDOWN_SCREEN_GEOMETRY,
                                             ScreenGeometryDown));
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_IMAGE_CONVERTER, ImageConverterUp,
                                             NI_SHUTDOWN_CURRENT_RENDERER, RendererDown));
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, PropertiesUp, NI_SHUTDOWN_DEFAULT_PROPERTIES,
                                             PropertiesDown));

    InitCapturingStderr();
    EXPECT_TRUE(NiMainLibrary::IsStarted());
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"properties up", "image converter up", "screen geometry up +tables",
                                                   "create functions up +tables"}));

    g_kEvents.clear();
    NiMainLibrary::Shutdown();
    EXPECT_FALSE(NiMainLibrary::IsStarted());
    // Not the reverse of start-up: names first, then the properties, then
    // the tables, then the renderer and the screen geometry.
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"create functions down +tables", "properties down +tables",
                                                   "current renderer down", "screen geometry down"}));
}

TEST_F(NiMainLibraryTest, HooksOfOneStepRunInTheOrderAddedAndDuplicatesAreIgnored)
{
    const std::uint32_t uiBuiltIn = NiMainLibrary::GetModuleHookCount();
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, SceneSecondUp, NI_SHUTDOWN_DEFAULT_PROPERTIES,
                                             nullptr));
    EXPECT_TRUE(NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, SceneFirstUp, NI_SHUTDOWN_DEFAULT_PROPERTIES,
                                             nullptr));
    EXPECT_FALSE(NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, SceneSecondUp,
                                              NI_SHUTDOWN_DEFAULT_PROPERTIES, nullptr));
    EXPECT_EQ(NiMainLibrary::GetModuleHookCount(), uiBuiltIn + 2);

    InitCapturingStderr();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"scene second up", "scene first up"}));
    NiMainLibrary::Shutdown();

    // Reset drops every added hook and keeps the core's own.
    NiMainLibrary::Reset();
    EXPECT_EQ(NiMainLibrary::GetModuleHookCount(), uiBuiltIn);
}

TEST_F(NiMainLibraryTest, StartsOnceAndStopsOnlyAfterAStart)
{
    NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, PropertiesUp, NI_SHUTDOWN_DEFAULT_PROPERTIES,
                                 PropertiesDown);

    NiMainLibrary::Shutdown(); // without a start-up: nothing
    EXPECT_TRUE(g_kEvents.empty());
    EXPECT_FALSE(NiMainLibrary::IsStarted());

    InitCapturingStderr();
    ASSERT_TRUE(NiObjectStream::IsStaticInitialized());
    NiObjectStream::RegisterCreateFunction("NiNode", CreateStandIn);
    EXPECT_TRUE(InitCapturingStderr().empty()) << "a second start-up reports nothing either";
    EXPECT_NE(NiObjectStream::GetCreateFunction("NiNode"), nullptr) << "a second start-up rebuilt nothing";
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"properties up"}));

    NiMainLibrary::Shutdown();
    NiMainLibrary::Shutdown();
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"properties up", "properties down +tables"}));
    EXPECT_FALSE(NiObjectStream::IsStaticInitialized());

    // A new cycle after a complete one works again.
    InitCapturingStderr();
    EXPECT_TRUE(NiMainLibrary::IsStarted());
    EXPECT_EQ(g_kEvents.size(), 3u);
}

TEST_F(NiMainLibraryTest, EveryListedNameIsCreatableUntilShutDown)
{
    ASSERT_EQ(NiMainLibrary::CREATE_FUNCTION_NAME_COUNT, 71u);
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, RegisterAllNames, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 UnregisterAllNames);
    EXPECT_TRUE(InitCapturingStderr().empty()) << "nothing missing";
    EXPECT_EQ(NiMainLibrary::CountMissingCreateFunctions(false), 0u);
    for (const char* pcName : NiMainLibrary::CREATE_FUNCTION_NAMES)
    {
        SCOPED_TRACE(pcName);
        NiRefPtr<NiObject> spObject = NiObjectStream::CreateObjectByName(pcName);
        EXPECT_NE(spObject.Get(), nullptr);
    }

    NiMainLibrary::Shutdown();
    for (const char* pcName : NiMainLibrary::CREATE_FUNCTION_NAMES)
    {
        SCOPED_TRACE(pcName);
        EXPECT_EQ(NiObjectStream::CreateObjectByName(pcName), nullptr);
    }
    EXPECT_EQ(NiMainLibrary::CountMissingCreateFunctions(false), 71u);
}

TEST_F(NiMainLibraryTest, StartUpReportsEachNameWithoutACreateFunction)
{
    const std::string kReport = InitCapturingStderr();
    EXPECT_EQ(CountLines(kReport), 71u);
    EXPECT_NE(kReport.find("\"NiCollisionSwitch\""), std::string::npos);

    NiMainLibrary::Shutdown();
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, RegisterAllNames, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 UnregisterAllNames);
    InitCapturingStderr();
    NiObjectStream::UnregisterCreateFunction("NiTriStrips");
    NiObjectStream::UnregisterCreateFunction("NiAlphaAccumulator");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(NiMainLibrary::CountMissingCreateFunctions(true), 2u);
    const std::string kMissing = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(kMissing), 2u);
    EXPECT_LT(kMissing.find("\"NiAlphaAccumulator\""), kMissing.find("\"NiTriStrips\"")) << "in list order";
}

TEST_F(NiMainLibraryTest, TheNameListIsDistinctAndKeepsItsOrder)
{
    std::set<std::string> kNames(std::begin(NiMainLibrary::CREATE_FUNCTION_NAMES),
                                 std::end(NiMainLibrary::CREATE_FUNCTION_NAMES));
    EXPECT_EQ(kNames.size(), 71u);
    auto fnIndex = [](const char* pcName) {
        const auto* pEnd = std::end(NiMainLibrary::CREATE_FUNCTION_NAMES);
        const auto* p = std::find_if(std::begin(NiMainLibrary::CREATE_FUNCTION_NAMES), pEnd,
                                     [pcName](const char* pc) { return std::string(pc) == pcName; });
        return p - std::begin(NiMainLibrary::CREATE_FUNCTION_NAMES);
    };
    EXPECT_EQ(fnIndex("NiAlphaAccumulator"), 0);
    EXPECT_EQ(fnIndex("NiScreenSpaceCamera"), fnIndex("NiCamera") + 1) << "not alphabetical";
    EXPECT_EQ(fnIndex("NiSourceCubeMap"), fnIndex("NiSourceTexture") + 1);
    EXPECT_EQ(fnIndex("NiZBufferProperty"), 70);
}

TEST_F(NiMainLibraryTest, ShutDownFreesThePoolBlocksLast)
{
    NiListNodePool::Free(NiListNodePool::Allocate());
    ASSERT_EQ(NiListNodePool::GetBlockCount(), 1u);
    InitCapturingStderr();
    NiMainLibrary::Shutdown();
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);

    // A node still out at shut-down keeps its block until it comes back.
    InitCapturingStderr();
    NiListNode* pkNode = NiListNodePool::Allocate();
    NiMainLibrary::Shutdown();
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    NiListNodePool::Free(pkNode);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);
}

TEST_F(NiMainLibraryTest, StartUpBuildsTheSquareRootTableAndPicksBatchRoutines)
{
    NiMainLibrary::AddModuleHook(NI_INIT_TEXTURE_FORMAT, NoteBatchState, NI_SHUTDOWN_SOLID_TEXTURES, NoteBatchState);
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, NoteBatchState, NI_SHUTDOWN_LIST_POOL, NoteBatchState);
    ASSERT_EQ(NiGetSqrtTable(), nullptr);

    InitCapturingStderr();
    EXPECT_NE(NiGetSqrtTable(), nullptr);
    EXPECT_TRUE(NiIsProcessorDetected());
    const bool bTuned = NiGetProcessorClass() >= NI_PROCESSOR_PLAIN;
    EXPECT_EQ(NiGetTransformPointsRoutine(), bTuned ? &NiTransformPointsTuned : &NiTransformPointsGeneric);
    EXPECT_EQ(NiGetRotateVectorsRoutine(), bTuned ? &NiRotateVectorsTuned : &NiRotateVectorsGeneric);

    NiMainLibrary::Shutdown();
    EXPECT_EQ(NiGetSqrtTable(), nullptr);
    EXPECT_EQ(g_kEvents, (std::vector<std::string>{"no table, undetected", "table, detected", "table, detected",
                                                   "no table, detected"}));
}
