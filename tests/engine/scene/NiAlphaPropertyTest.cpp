// The rendering property family: flag conversions of old records and the
// equality rules that ignore some bits.

#include "engine/scene/NiAlphaProperty.h"

#include "engine/scene/NiFlagProperty.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiRendererSpecificProperty.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiAlphaPropertyTest : public SceneGraphTest
{
protected:
    // A property record of an old file: name, extra data, controller, then
    // the base's old flags word and the class's fields.
    template <class T>
    NiRefPtr<T> LoadOld(const char* pcClass, std::uint32_t uiVersion, std::uint16_t usOldFlags, const Bytes& kFields)
    {
        Bytes k = NETBody(uiVersion, "p", {}, NONE);
        if (uiVersion < V(10, 0, 1, 2))
            k.U16(usOldFlags);
        k.Append(kFields);
        EXPECT_TRUE(LoadFile(uiVersion, {{pcClass, k}}, {0})) << m_kStream.GetLastErrorMessage();
        return m_kLoaded.empty() ? nullptr : NiDynamicCast<T>(m_kLoaded[0].Get());
    }
};

TEST_F(NiAlphaPropertyTest, FreshAlphaIsBlendingOffSrcAlphaInvSrcAlphaAlways)
{
    NiRefPtr<NiAlphaProperty> sp = new NiAlphaProperty;
    EXPECT_EQ(sp->GetFlags(), 236);
    EXPECT_FALSE(sp->GetAlphaBlending());
    EXPECT_EQ(sp->GetSrcBlendMode(), NiAlphaProperty::ALPHA_SRCALPHA);
    EXPECT_EQ(sp->GetDestBlendMode(), NiAlphaProperty::ALPHA_INVSRCALPHA);
    EXPECT_FALSE(sp->GetAlphaTesting());
    EXPECT_EQ(sp->GetTestMode(), NiAlphaProperty::TEST_ALWAYS);

    NiViewerStringArray kStrings;
    sp->AppendViewerStrings(kStrings);
    bool bFound = false;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        bFound = bFound || std::string(kStrings.GetAt(i)).find("ALPHA_INVSRCALPHA") != std::string::npos;
        delete[] kStrings.GetAt(i);
    }
    EXPECT_TRUE(bFound);
}

TEST_F(NiAlphaPropertyTest, OldFlagsComeFromThePropertyBase)
{
    const std::uint32_t uiOld = V(4, 1, 0, 4);
    auto spAlpha = LoadOld<NiAlphaProperty>("NiAlphaProperty", V(10, 0, 1, 0), 0xFFFF, Bytes().U8(7));
    ASSERT_NE(spAlpha, nullptr);
    EXPECT_EQ(spAlpha->GetFlags(), 0x3FFF);
    EXPECT_EQ(spAlpha->GetTestRef(), 7);

    auto spVertex = LoadOld<NiVertexColorProperty>("NiVertexColorProperty", uiOld, 0xFFFF, Bytes().U32(2).U32(0));
    ASSERT_NE(spVertex, nullptr);
    EXPECT_EQ(spVertex->GetFlags(), 7);
    EXPECT_EQ(spVertex->GetSourceMode(), NiVertexColorProperty::SOURCE_AMB_DIFF);

    auto spShade = LoadOld<NiShadeProperty>("NiShadeProperty", uiOld, 0x0006, Bytes());
    ASSERT_NE(spShade, nullptr);
    EXPECT_EQ(spShade->GetFlags(), 0);

    // No test function before 4.1.0.5: LESSEQUAL. 0x0006: test off, write on.
    auto spZ = LoadOld<NiZBufferProperty>("NiZBufferProperty", uiOld, 0x0006, Bytes());
    ASSERT_NE(spZ, nullptr);
    EXPECT_FALSE(spZ->GetZBufferTest());
    EXPECT_TRUE(spZ->GetZBufferWrite());
    EXPECT_EQ(spZ->GetTestFunction(), NiZBufferProperty::TEST_LESSEQUAL);
    spZ = LoadOld<NiZBufferProperty>("NiZBufferProperty", V(4, 1, 0, 5), 1, Bytes().U32(NiZBufferProperty::TEST_NEVER));
    ASSERT_NE(spZ, nullptr);
    EXPECT_EQ(spZ->GetTestFunction(), NiZBufferProperty::TEST_NEVER);

    // Fog: the oldest layout (on = bit 1, function = bits 3-4), then AND 7.
    Bytes kFog = Bytes().F32(2).F32(0.25f).F32(0.5f).F32(1);
    auto spFog = LoadOld<NiFogProperty>("NiFogProperty", uiOld, 0x000A, kFog);
    ASSERT_NE(spFog, nullptr);
    EXPECT_TRUE(spFog->GetFog());
    EXPECT_EQ(spFog->GetFogFunction(), NiFogProperty::FOG_RANGE_SQ);
    EXPECT_EQ(spFog->GetDepth(), 2.0f);
    spFog = LoadOld<NiFogProperty>("NiFogProperty", V(5, 0, 0, 22), 0x000A, kFog);
    ASSERT_NE(spFog, nullptr);
    EXPECT_FALSE(spFog->GetFog());
    EXPECT_EQ(spFog->GetFogFunction(), 1);

    // Material and stencil ignore the old word.
    auto spMaterial = LoadOld<NiMaterialProperty>(
        "NiMaterialProperty", uiOld, 0xFFFF,
        Bytes().F32(1).F32(1).F32(1).F32(0).F32(0).F32(0).F32(0).F32(0).F32(0).F32(0).F32(0).F32(0).F32(9).F32(0.5f));
    ASSERT_NE(spMaterial, nullptr);
    EXPECT_EQ(spMaterial->GetShineness(), 9.0f);
    EXPECT_EQ(spMaterial->GetAlpha(), 0.5f);
}

TEST_F(NiAlphaPropertyTest, EqualityIgnoresNoSorterVertexFlagsAndMaterialIndex)
{
    NiRefPtr<NiAlphaProperty> spA = new NiAlphaProperty, spB = new NiAlphaProperty;
    spB->SetNoSorter(true);
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->SetAlphaTesting(true);
    EXPECT_FALSE(spA->IsEqual(spB));

    NiRefPtr<NiVertexColorProperty> spV1 = new NiVertexColorProperty;
    spV1->SetName("p");
    auto spV2 = LoadOld<NiVertexColorProperty>("NiVertexColorProperty", V(4, 1, 0, 4), 5, Bytes().U32(0).U32(1));
    ASSERT_NE(spV2, nullptr);
    EXPECT_NE(spV1->GetFlags(), spV2->GetFlags());
    EXPECT_TRUE(spV1->IsEqual(spV2));

    NiRefPtr<NiMaterialProperty> spM1 = new NiMaterialProperty, spM2 = new NiMaterialProperty;
    EXPECT_NE(spM1->GetIndex(), spM2->GetIndex());
    EXPECT_TRUE(spM1->IsEqual(spM2));
    spM1->SetShineness(10.0f);
    NiRefPtr<NiMaterialProperty> spClone = static_cast<NiMaterialProperty*>(spM1->Clone());
    EXPECT_NE(spClone->GetIndex(), spM1->GetIndex());
    EXPECT_NE(spClone->GetIndex(), spM2->GetIndex());
    EXPECT_EQ(spClone->GetShineness(), 10.0f);

    NiRefPtr<NiStencilProperty> spS1 = new NiStencilProperty, spS2 = new NiStencilProperty;
    EXPECT_EQ(spS1->GetStencilMask(), 0xFFFFFFFFu);
    spS2->SetDrawMode(NiStencilProperty::DRAW_BOTH);
    EXPECT_FALSE(spS1->IsEqual(spS2));
}

TEST_F(NiAlphaPropertyTest, RendererSpecificDataIsSharedSafelyByClones)
{
    NiRefPtr<NiRendererSpecificProperty> spProperty = new NiRendererSpecificProperty;
    NiRefPtr<TestTexture> spData = new TestTexture; // any engine object without its own clone
    spProperty->SetRendererData(spData);
    NiRefPtr<NiRendererSpecificProperty> spClone = static_cast<NiRendererSpecificProperty*>(spProperty->Clone());
    EXPECT_EQ(spClone->GetRendererData(), spData.Get());
    spProperty = nullptr;
    spClone = nullptr;
    EXPECT_EQ(spData->GetRefCount(), 1u) << "released once by each holder";
}
} // namespace
