#include "engine/scene/NiLines.h"

#include "engine/scene/NiLight.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTextureEffect.h"
#include "tests/engine/scene/RenderPathTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace scene_test
{
namespace
{
class NiLinesTest : public RenderPathTest
{
};

NiRefPtr<NiLines> ThreePointLines()
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    std::uint8_t* pucFlags = NewArray<std::uint8_t>({1, 1, 0});
    NiRefPtr<NiLines> sp = new NiLines(3, pkVertex, nullptr, nullptr, 0, 0, pucFlags);
    sp->SetName("lines");
    return sp;
}
} // namespace

TEST_F(NiLinesTest, LinesUnderAProjectedLightKeepOnlyTheLights)
{
    NiNodePtr spNode = new NiNode;
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    NiRefPtr<NiTextureEffect> spProjector = new NiTextureEffect;
    spProjector->SetTextureType(NiTextureEffect::PROJECTED_LIGHT);
    spNode->AttachEffect(spLight);
    spNode->AttachEffect(spProjector);
    NiRefPtr<NiLines> spLines = ThreePointLines();
    spNode->AttachChild(spLines);
    spNode->UpdateEffects();

    NiEffectSet* pkKept = spLines->GetEffectState();
    ASSERT_NE(pkKept, nullptr);
    EXPECT_EQ(pkKept->GetLights().GetSize(), 1u);
    EXPECT_TRUE(pkKept->GetProjectedLights().IsEmpty());

    spNode->DetachAllEffects();
    spLines->UpdateEffectsDownward(nullptr);
    EXPECT_EQ(spLines->GetEffectState(), nullptr);
}

TEST_F(NiLinesTest, DrawsThroughTheRenderersLineDrawingWithItsState)
{
    NiRefPtr<FrameRenderer> spRenderer = new FrameRenderer;
    NiRefPtr<NiLines> spLines = ThreePointLines();
    NiEffectSetPtr spEffects = new NiEffectSet;
    spLines->UpdateEffectsDownward(spEffects);
    spLines->UpdateProperties();
    spLines->RenderImmediate(spRenderer);
    spLines->RenderImmediate(nullptr);
    EXPECT_EQ(spRenderer->m_kCalls, std::vector<std::string>{"lines:lines"});
    EXPECT_EQ(spRenderer->m_kLineEffects, std::vector<NiEffectSet*>{spEffects.Get()});
    EXPECT_EQ(spRenderer->GetPropertyState(), spLines->GetPropertyState());
    spRenderer->SetPropertyState(nullptr);
    spRenderer->SetEffectState(nullptr);
    NiRenderer::ResetRenderer();
}

TEST_F(NiLinesTest, RecordIsTheGeometrysAndTakesOnlyLineData)
{
    NiRefPtr<NiLines> spLines = ThreePointLines();
    ASSERT_TRUE(RoundTrip({spLines}));
    auto* pkLoaded = NiDynamicCast<NiLines>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(spLines));
    ASSERT_NE(NiDynamicCast<NiLinesData>(pkLoaded->GetModelData()), nullptr);
    EXPECT_EQ(pkLoaded->GetModelData()->GetVertices()[2], NiVec3(1, 1, 0));

    NiRefPtr<NiLines> spCopy = NiDynamicCast<NiLines>(spLines->Clone());
    ASSERT_NE(spCopy, nullptr);
    EXPECT_EQ(spCopy->GetModelData(), spLines->GetModelData());

    // Triangle data behind a lines object is damage.
    NiRefPtr<NiTriShape> spShape = new NiTriShape(SquareData());
    std::vector<std::uint8_t> kBytes = Save({spShape});
    const std::string kFrom = "NiTriShape";
    const std::string kTo = "NiLines";
    // The class table names the shape; renaming it makes a lines object over
    // the triangle data.
    auto it = std::search(kBytes.begin(), kBytes.end(), kFrom.begin(), kFrom.end());
    ASSERT_NE(it, kBytes.end());
    std::size_t uiAt = static_cast<std::size_t>(it - kBytes.begin());
    ASSERT_GE(uiAt, 4u);
    ASSERT_EQ(kBytes[uiAt - 4], kFrom.size()); // the name itself, not a longer one
    kBytes.erase(kBytes.begin() + static_cast<std::ptrdiff_t>(uiAt),
                 kBytes.begin() + static_cast<std::ptrdiff_t>(uiAt + kFrom.size()));
    kBytes.insert(kBytes.begin() + static_cast<std::ptrdiff_t>(uiAt), kTo.begin(), kTo.end());
    kBytes[uiAt - 4] = static_cast<std::uint8_t>(kTo.size());
    EXPECT_FALSE(Load(kBytes));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace scene_test
