#include "engine/scene/NiAlphaAccumulator.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiRenderPathLibrary.h"
#include "tests/engine/scene/RenderPathTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>

namespace scene_test
{
namespace
{
class NiAlphaAccumulatorTest : public RenderPathTest
{
protected:
    void SetUp() override
    {
        RenderPathTest::SetUp();
        m_spRenderer = new FrameRenderer;
        m_spCamera = new NiCamera; // at the origin, looking along +x
        m_spCamera->SetRenderer(m_spRenderer);
    }
    void TearDown() override
    {
        m_kShapes.clear();
        m_spCamera = nullptr;
        m_spRenderer = nullptr;
        RenderPathTest::TearDown();
    }

    // A property set whose alpha property blends (and, when asked, says not
    // to be sorted).
    static NiPropertySetPtr AlphaSet(bool bBlend, bool bNoSorter = false)
    {
        NiRefPtr<NiAlphaProperty> spAlpha = new NiAlphaProperty;
        spAlpha->SetAlphaBlending(bBlend);
        spAlpha->SetNoSorter(bNoSorter);
        NiPropertySetPtr spSet = new NiPropertySet;
        spSet->SetProperty(spAlpha);
        return spSet;
    }

    // A square at depth fDepth along +x with its world bound set by hand.
    NiRefPtr<NiTriShape> Shape(const char* pcName, float fDepth, NiPropertySet* pkSet, float fRadius = 1.0f)
    {
        NiRefPtr<NiTriShape> sp = BoundSquare(pcName, NiVec3(fDepth, 0, 0), fRadius);
        if (pkSet != nullptr)
            sp->UpdatePropertiesDownward(pkSet);
        m_kShapes.push_back(sp);
        return sp;
    }

    NiRefPtr<FrameRenderer> m_spRenderer;
    NiCameraPtr m_spCamera;
    std::vector<NiRefPtr<NiTriShape>> m_kShapes;
};
} // namespace

TEST_F(NiAlphaAccumulatorTest, BlendedObjectsDrawFarthestFirstAfterEveryOpaqueOne)
{
    NiAlphaAccumulatorPtr spAccumulator = new NiAlphaAccumulator;
    m_spRenderer->SetAccumulator(spAccumulator);
    NiPropertySetPtr spBlend = AlphaSet(true);
    NiPropertySetPtr spOpaque = AlphaSet(false);

    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    EXPECT_FALSE(spAccumulator->StartAccumulating(m_spCamera)); // a pass is in progress
    for (auto [pcName, fDepth, pkSet] : {std::tuple<const char*, float, NiPropertySet*>{"5", 5.0f, spBlend},
                                         {"opaque", 2.0f, spOpaque},
                                         {"1", 1.0f, spBlend},
                                         {"3", 3.0f, spBlend}})
        Shape(pcName, fDepth, pkSet)->OnVisible(m_spCamera);
    EXPECT_EQ(spAccumulator->GetPendingCount(), 3u);
    spAccumulator->FinishAccumulating();

    EXPECT_EQ(m_spRenderer->m_kCalls, (std::vector<std::string>{"shape:opaque", "shape:5", "shape:3", "shape:1"}));
    EXPECT_EQ(spAccumulator->GetPendingCount(), 0u);
    EXPECT_EQ(spAccumulator->GetCamera(), nullptr);
    EXPECT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    spAccumulator->FinishAccumulating();
    m_spRenderer->SetAccumulator(nullptr);
}

TEST_F(NiAlphaAccumulatorTest, WhatTheAlphaAccumulatorRefuses)
{
    NiAlphaAccumulatorPtr spAccumulator = new NiAlphaAccumulator;
    NiPropertySetPtr spNoSort = AlphaSet(true, true);
    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));

    EXPECT_FALSE(spAccumulator->RegisterGeometry(Shape("opaque", 1, AlphaSet(false))));
    EXPECT_FALSE(spAccumulator->RegisterGeometry(Shape("nosort", 1, spNoSort)));
    spAccumulator->SetObserveNoSortHint(false);
    EXPECT_TRUE(spAccumulator->RegisterGeometry(Shape("nosort", 1, spNoSort)));
    // No property pass yet: the default alpha property (no blending) holds.
    EXPECT_FALSE(spAccumulator->RegisterGeometry(Shape("unset", 1, nullptr)));
    EXPECT_FALSE(spAccumulator->RegisterGeometry(nullptr));
    NiRefPtr<TestAVObject> spNotGeometry = new TestAVObject;
    EXPECT_FALSE(spAccumulator->RegisterGeometry(spNotGeometry));
    // An alpha slot holding something that is no alpha property.
    NiPropertySetPtr spOdd = new NiPropertySet;
    NiRefPtr<TestProperty> spTest = new TestProperty;
    spOdd->SetProperty(spTest);
    EXPECT_FALSE(spAccumulator->RegisterGeometry(Shape("odd", 1, spOdd)));

    // The back-to-front accumulator takes any geometry.
    NiBackToFrontAccumulatorPtr spAll = new NiBackToFrontAccumulator;
    EXPECT_TRUE(spAll->RegisterGeometry(Shape("opaque", 1, AlphaSet(false))));
    EXPECT_FALSE(spAll->RegisterGeometry(spNotGeometry));
    spAll->FinishAccumulating(); // no pass: nothing drawn, nothing dropped
    EXPECT_EQ(spAll->GetPendingCount(), 1u);
    EXPECT_TRUE(m_spRenderer->m_kCalls.empty());
    spAccumulator->FinishAccumulating();
}

TEST_F(NiAlphaAccumulatorTest, NearestPointKeysSubtractTheRadius)
{
    NiAlphaAccumulatorPtr spAccumulator = new NiAlphaAccumulator;
    spAccumulator->SetSortByClosestPoint(true);
    NiPropertySetPtr spBlend = AlphaSet(true);
    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    ASSERT_TRUE(spAccumulator->RegisterGeometry(Shape("big", 10, spBlend, 8)));
    ASSERT_TRUE(spAccumulator->RegisterGeometry(Shape("small", 4, spBlend, 1)));
    spAccumulator->Sort();
    EXPECT_EQ(spAccumulator->GetSortedDepth(0), 2.0f);
    EXPECT_EQ(spAccumulator->GetSortedDepth(1), 3.0f);
    spAccumulator->FinishAccumulating();
    EXPECT_EQ(m_spRenderer->m_kCalls, (std::vector<std::string>{"shape:small", "shape:big"}));

    // Centres only: the big one is farther and goes first.
    spAccumulator->SetSortByClosestPoint(false);
    m_spRenderer->m_kCalls.clear();
    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    spAccumulator->RegisterGeometry(m_kShapes[0]);
    spAccumulator->RegisterGeometry(m_kShapes[1]);
    spAccumulator->FinishAccumulating();
    EXPECT_EQ(m_spRenderer->m_kCalls, (std::vector<std::string>{"shape:big", "shape:small"}));
}

TEST_F(NiAlphaAccumulatorTest, ManyDepthsWithTiesSortAscendingAndNaNDrawsEachOnce)
{
    std::mt19937 kRandom(12345);
    NiRefPtr<NiTriShapeData> spData = SquareData();
    NiBackToFrontAccumulatorPtr spAccumulator = new NiBackToFrontAccumulator;
    const std::uint32_t uiCount = 10000;
    std::vector<NiRefPtr<NiTriShape>> kShapes;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiRefPtr<NiTriShape> sp = new NiTriShape(spData);
        // Few distinct values: many ties.
        sp->SetWorldBound(NiBoundSphere(NiVec3(static_cast<float>(kRandom() % 97u) - 40.0f, 3, 0), 1));
        kShapes.push_back(sp);
    }
    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    for (const auto& sp : kShapes)
        ASSERT_TRUE(spAccumulator->RegisterGeometry(sp));
    spAccumulator->Sort();
    ASSERT_EQ(spAccumulator->GetSortedCount(), uiCount);
    EXPECT_EQ(spAccumulator->GetSortCapacity(), uiCount);
    for (std::uint32_t i = 1; i < uiCount; ++i)
        ASSERT_LE(spAccumulator->GetSortedDepth(i - 1), spAccumulator->GetSortedDepth(i)) << i;
    spAccumulator->FinishAccumulating();
    ASSERT_EQ(m_spRenderer->m_kShapes.size(), uiCount);
    EXPECT_EQ(std::set<const void*>(m_spRenderer->m_kShapes.begin(), m_spRenderer->m_kShapes.end()).size(), uiCount);

    // Already sorted, reversed and all-equal inputs come out sorted too.
    for (int iPattern = 0; iPattern < 3; ++iPattern)
    {
        SCOPED_TRACE(iPattern);
        ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
        for (std::uint32_t i = 0; i < 500; ++i)
        {
            const auto fIndex = static_cast<float>(i);
            const float fDepth = iPattern == 0 ? fIndex : iPattern == 1 ? 500.0f - fIndex : 7.0f;
            kShapes[i]->SetWorldBound(NiBoundSphere(NiVec3(fDepth, 0, 0), 1));
            spAccumulator->RegisterGeometry(kShapes[i]);
        }
        spAccumulator->Sort();
        for (std::uint32_t i = 1; i < 500; ++i)
            ASSERT_LE(spAccumulator->GetSortedDepth(i - 1), spAccumulator->GetSortedDepth(i)) << i;
        spAccumulator->FinishAccumulating();
    }

    // NaN depths compare false every way: the order is unspecified, but every
    // geometry is still drawn exactly once.
    m_spRenderer->m_kShapes.clear();
    ASSERT_TRUE(spAccumulator->StartAccumulating(m_spCamera));
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    for (std::uint32_t i = 0; i < 1000; ++i)
    {
        const float fDepth = (i % 10 == 3 || i == 0 || i == 999) ? fNaN : static_cast<float>(kRandom() % 50u);
        kShapes[i]->SetWorldBound(NiBoundSphere(NiVec3(fDepth, 0, 0), 1));
        spAccumulator->RegisterGeometry(kShapes[i]);
    }
    spAccumulator->FinishAccumulating();
    ASSERT_EQ(m_spRenderer->m_kShapes.size(), 1000u);
    EXPECT_EQ(std::set<const void*>(m_spRenderer->m_kShapes.begin(), m_spRenderer->m_kShapes.end()).size(), 1000u);
}

TEST_F(NiAlphaAccumulatorTest, CloneKeepsFlagsAndBothNamesCreateTheAlphaAccumulator)
{
    NiAlphaAccumulatorPtr spAccumulator = new NiAlphaAccumulator;
    spAccumulator->SetObserveNoSortHint(false);
    spAccumulator->SetSortByClosestPoint(true);
    NiAlphaAccumulatorPtr spCopy = static_cast<NiAlphaAccumulator*>(spAccumulator->Clone());
    ASSERT_NE(spCopy, nullptr);
    EXPECT_FALSE(spCopy->GetObserveNoSortHint());
    EXPECT_TRUE(spCopy->GetSortByClosestPoint());
    EXPECT_TRUE(spCopy->IsEqual(spAccumulator));

    // Every render-path class comes through the library's start-up; the
    // cluster name makes an alpha accumulator.
    for (const char* pcName : NI_RENDER_PATH_CLASS_NAMES)
    {
        NiObjectPtr sp = NiObjectStream::CreateObjectByName(pcName);
        ASSERT_NE(sp, nullptr) << pcName;
        const std::string kName(pcName);
        EXPECT_STREQ(sp->GetTypeInfo()->GetName(),
                     kName == "NiClusterAccumulator" ? "NiAlphaAccumulator" : pcName);
    }

    // The record is the base object's alone.
    ASSERT_TRUE(Load(Save({spAccumulator})));
    auto* pkLoaded = NiDynamicCast<NiAlphaAccumulator>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->GetObserveNoSortHint());
}
} // namespace scene_test
