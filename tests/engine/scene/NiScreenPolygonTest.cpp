#include "engine/scene/NiScreenPolygon.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "tests/engine/scene/RenderPathTestSupport.h"

#include <gtest/gtest.h>

namespace scene_test
{
namespace
{
class NiScreenPolygonTest : public RenderPathTest
{
protected:
    const NiVec3 m_akVertex[3] = {{10, 20, 0}, {30, 20, 0}, {30, 40, 0.5f}};
    const NiVec2 m_akTexture[3] = {{0, 0}, {1, 0}, {1, 1}};
    const NiColorRGBA m_akColor[3] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 0.5f}};
};

// The body of a polygon record: three vertices, the arrays as asked, then
// the property links.
Bytes PolygonBody(std::uint32_t uiVersion, bool bTexture, bool bColor, const std::vector<std::uint32_t>& kLinks)
{
    Bytes k;
    k.U16(3);
    for (int i = 0; i < 3; ++i)
        k.F32(static_cast<float>(i)).F32(static_cast<float>(2 * i)).F32(0.5f);
    auto Flag = [&](bool b) {
        if (uiVersion >= V(4, 1, 0, 0))
            k.U8(b ? 1 : 0);
        else
            k.U32(b ? 1 : 0);
    };
    Flag(bTexture);
    for (int i = 0; bTexture && i < 3; ++i)
        k.F32(0.25f * static_cast<float>(i)).F32(1.0f);
    Flag(bColor);
    for (int i = 0; bColor && i < 3; ++i)
        k.F32(1).F32(0.5f).F32(0).F32(1);
    k.U32(static_cast<std::uint32_t>(kLinks.size()));
    for (std::uint32_t ui : kLinks)
        k.U32(ui);
    return k;
}

Bytes PropertyRecord(std::uint32_t uiVersion, std::uint16_t usFlags)
{
    return NETBody(uiVersion, "prop", {}, NONE).Append(Bytes().U16(usFlags));
}
} // namespace

TEST_F(NiScreenPolygonTest, ConstructionCopiesTheArraysAndTakesTheDefaults)
{
    NiRefPtr<NiScreenPolygon> sp = new NiScreenPolygon(3, m_akVertex, m_akTexture, nullptr);
    ASSERT_EQ(sp->GetVertexCount(), 3);
    EXPECT_NE(sp->GetVertices(), m_akVertex);
    EXPECT_EQ(sp->GetVertices()[2], m_akVertex[2]);
    ASSERT_NE(sp->GetTextures(), nullptr);
    EXPECT_EQ(sp->GetTextures()[1].x, 1.0f);
    EXPECT_EQ(sp->GetColors(), nullptr);
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        EXPECT_EQ(sp->GetPropertyState()->GetProperty(i), NiPropertySet::GetDefault(i)) << i;

    // Without positions there is nothing to hold the other arrays.
    NiRefPtr<NiScreenPolygon> spEmpty = new NiScreenPolygon(3, nullptr, m_akTexture, m_akColor);
    EXPECT_EQ(spEmpty->GetVertexCount(), 0);
    EXPECT_EQ(spEmpty->GetTextures(), nullptr);
}

TEST_F(NiScreenPolygonTest, DrawMakesItsSetCurrentWithoutEffectsAndPurgesOnDestruction)
{
    FrameRenderer kRenderer;
    NiRefPtr<NiScreenPolygon> sp = new NiScreenPolygon(3, m_akVertex, nullptr, nullptr);
    NiEffectSetPtr spEffects = new NiEffectSet;
    kRenderer.SetEffectState(spEffects);
    sp->Draw(&kRenderer);
    sp->Draw(nullptr);
    ASSERT_EQ(kRenderer.m_kCalls, std::vector<std::string>{"polygon"});
    EXPECT_EQ(kRenderer.m_kPolygonSets[0], sp->GetPropertyState());
    EXPECT_FALSE(kRenderer.m_kPolygonHadEffects[0]);

    const void* pvPolygon = sp.Get();
    kRenderer.SetPropertyState(nullptr);
    sp = nullptr;
    EXPECT_EQ(kRenderer.m_kPurgedPolygons, std::vector<const void*>{pvPolygon});
    NiRenderer::ResetRenderer();
}

TEST_F(NiScreenPolygonTest, EqualityNeedsTheVeryPropertyObjects)
{
    NiRefPtr<NiScreenPolygon> spA = new NiScreenPolygon(3, m_akVertex, m_akTexture, m_akColor);
    NiRefPtr<NiScreenPolygon> spB = new NiScreenPolygon(3, m_akVertex, m_akTexture, m_akColor);
    EXPECT_TRUE(spA->IsEqual(spB));

    // Equal but distinct alpha properties.
    spA->SetProperty(new NiAlphaProperty);
    spB->SetProperty(new NiAlphaProperty);
    EXPECT_FALSE(spA->IsEqual(spB));
    spB->SetProperty(spA->GetPropertyState()->GetProperty(NiProperty::ALPHA));
    EXPECT_TRUE(spA->IsEqual(spB));

    NiRefPtr<NiScreenPolygon> spNoColor = new NiScreenPolygon(3, m_akVertex, m_akTexture, nullptr);
    spNoColor->SetProperty(spA->GetPropertyState()->GetProperty(NiProperty::ALPHA));
    EXPECT_FALSE(spA->IsEqual(spNoColor));
    NiVec3 akMoved[3] = {m_akVertex[0], m_akVertex[1], {30, 40, 0.25f}};
    NiRefPtr<NiScreenPolygon> spMoved = new NiScreenPolygon(3, akMoved, m_akTexture, m_akColor);
    spMoved->SetProperty(spA->GetPropertyState()->GetProperty(NiProperty::ALPHA));
    EXPECT_FALSE(spA->IsEqual(spMoved));
}

TEST_F(NiScreenPolygonTest, CloneCopiesArraysAndSharesThePropertyObjects)
{
    NiRefPtr<NiScreenPolygon> sp = new NiScreenPolygon(3, m_akVertex, nullptr, m_akColor);
    sp->SetProperty(new NiZBufferProperty);
    NiRefPtr<NiScreenPolygon> spCopy = static_cast<NiScreenPolygon*>(sp->Clone());
    ASSERT_NE(spCopy, nullptr);
    EXPECT_NE(spCopy->GetVertices(), sp->GetVertices());
    EXPECT_NE(spCopy->GetPropertyState(), sp->GetPropertyState());
    EXPECT_TRUE(sp->IsEqual(spCopy));
    EXPECT_EQ(spCopy->GetPropertyState()->GetProperty(NiProperty::ZBUFFER),
              sp->GetPropertyState()->GetProperty(NiProperty::ZBUFFER));
}

TEST_F(NiScreenPolygonTest, RoundTripSavesAllTwelvePropertiesDefaultsIncluded)
{
    for (bool bArrays : {false, true})
    {
        SCOPED_TRACE(bArrays);
        NiRefPtr<NiScreenPolygon> sp =
            new NiScreenPolygon(3, m_akVertex, bArrays ? m_akTexture : nullptr, bArrays ? m_akColor : nullptr);
        std::vector<std::uint8_t> kBytes = Save({sp});
        // Both presence bytes are single bytes: 0 without the arrays.
        ASSERT_TRUE(Load(kBytes));
        auto* pkLoaded = NiDynamicCast<NiScreenPolygon>(m_kLoaded.at(0).Get());
        ASSERT_NE(pkLoaded, nullptr);
        ASSERT_EQ(pkLoaded->GetVertexCount(), 3);
        EXPECT_EQ(pkLoaded->GetVertices()[2], m_akVertex[2]);
        EXPECT_EQ(pkLoaded->GetTextures() != nullptr, bArrays);
        EXPECT_EQ(pkLoaded->GetColors() != nullptr, bArrays);
        if (bArrays)
        {
            EXPECT_EQ(pkLoaded->GetTextures()[2].y, 1.0f);
            EXPECT_EQ(pkLoaded->GetColors()[2].a, 0.5f);
        }
        for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        {
            NiProperty* pkProperty = pkLoaded->GetPropertyState()->GetProperty(i);
            ASSERT_NE(pkProperty, nullptr) << i;
            EXPECT_NE(pkProperty, NiPropertySet::GetDefault(i)) << i;
            EXPECT_EQ(pkProperty->GetTypeInfo(), NiPropertySet::GetDefault(i)->GetTypeInfo()) << i;
        }
        m_kLoaded.clear();
    }
}

TEST_F(NiScreenPolygonTest, OldAndCurrentFixturesPutLinksInTheirTypeSlot)
{
    for (std::uint32_t uiVersion : {V(4, 0, 0, 2), V(10, 2, 0, 0)})
    {
        SCOPED_TRACE(uiVersion);
        // Two links: a property (an alpha-type test property) and a null.
        ASSERT_TRUE(LoadFile(uiVersion,
                             {{"NiScreenPolygon", PolygonBody(uiVersion, true, true, {1, NONE})},
                              {"TestProperty", PropertyRecord(uiVersion, 7)}},
                             {0}));
        auto* pkLoaded = NiDynamicCast<NiScreenPolygon>(m_kLoaded.at(0).Get());
        ASSERT_NE(pkLoaded, nullptr);
        EXPECT_EQ(pkLoaded->GetVertices()[2], NiVec3(2, 4, 0.5f));
        EXPECT_EQ(pkLoaded->GetTextures()[1].x, 0.25f);
        EXPECT_EQ(pkLoaded->GetColors()[0].g, 0.5f);
        auto* pkTest = NiDynamicCast<TestProperty>(pkLoaded->GetPropertyState()->GetProperty(NiProperty::ALPHA));
        ASSERT_NE(pkTest, nullptr);
        EXPECT_EQ(pkTest->m_uFlags, 7);
        EXPECT_EQ(pkLoaded->GetPropertyState()->GetProperty(NiProperty::ZBUFFER),
                  NiPropertySet::GetDefault(NiProperty::ZBUFFER));
        m_kLoaded.clear();
    }
}

TEST_F(NiScreenPolygonTest, HostileFilesFailCleanly)
{
    const std::uint32_t uiVersion = V(10, 2, 0, 0);
    std::vector<std::uint8_t> kFile = BuildFile(
        uiVersion,
        {{"NiScreenPolygon", PolygonBody(uiVersion, true, true, {1})}, {"TestProperty", PropertyRecord(uiVersion, 1)}},
        {0});
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    ASSERT_TRUE(Load(kFile));
    m_kLoaded.clear();

    // A link to something that is no property.
    ASSERT_FALSE(LoadFile(uiVersion,
                          {{"NiScreenPolygon", PolygonBody(uiVersion, false, false, {1})},
                           {"TestAVObject", NETBody(uiVersion, "x", {}, NONE).Append(AVBody(uiVersion, 0, {}))}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    // A vertex count far beyond the bytes of the file.
    Bytes kHuge;
    kHuge.U16(0xFFFF).F32(0);
    ASSERT_FALSE(LoadFile(uiVersion, {{"NiScreenPolygon", kHuge}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace scene_test
