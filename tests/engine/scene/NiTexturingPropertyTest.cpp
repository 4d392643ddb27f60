#include "engine/scene/NiTexturingProperty.h"

#include "engine/render/NiSourceTexture.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiTexturingPropertyTest : public SceneGraphTest
{
};

// One map record: texture link, clamp, filter, set, L, K (+ old u16, + the
// has-transform byte from 10.1.0.10).
Bytes MapBody(std::uint32_t uiVersion, std::uint32_t uiTexture, std::uint32_t uiClamp)
{
    Bytes k;
    k.U32(uiTexture).U32(uiClamp).U32(2).U32(1).U16(5).U16(static_cast<std::uint16_t>(-75));
    if (uiVersion < V(4, 1, 0, 16))
        k.U16(0xBEEF);
    if (uiVersion >= V(10, 1, 0, 10))
        k.U8(0);
    return k;
}

Bytes HasMap(std::uint32_t uiVersion, bool bHas)
{
    return uiVersion >= V(4, 1, 0, 0) ? Bytes().U8(bHas ? 1 : 0) : Bytes().U32(bHas ? 1 : 0);
}

Record TextureRecord(std::uint32_t uiValue)
{
    return {"TestTexture", Bytes().U32(uiValue)};
}

TEST_F(NiTexturingPropertyTest, OldStreamsHaveNoBumpSlot)
{
    const std::uint32_t uiVersion = V(3, 3, 0, 12);
    Bytes k = NETBody(uiVersion, "t", {}, NONE).U16(0).U32(2).U32(7);
    std::vector<Record> kRecords(1);
    for (std::uint32_t i = 0; i < 7; ++i)
    {
        k.Append(HasMap(uiVersion, true)).Append(MapBody(uiVersion, i + 1, i % 4));
        kRecords.push_back(TextureRecord(100 + i));
    }
    kRecords[0] = {"NiTexturingProperty", k};
    ASSERT_TRUE(LoadFile(uiVersion, kRecords, {0})) << m_kStream.GetLastErrorMessage();
    auto* pk = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetMapArrayCount(), 8u);
    EXPECT_EQ(pk->GetMap(NiTexturingProperty::BUMP_INDEX), nullptr);
    for (std::uint32_t uiSlot : {0u, 1u, 2u, 3u, 4u, 6u, 7u})
    {
        SCOPED_TRACE(uiSlot);
        ASSERT_NE(pk->GetMap(uiSlot), nullptr);
        EXPECT_EQ(dynamic_cast<NiBumpMap*>(pk->GetMap(uiSlot)), nullptr);
        std::uint32_t uiEntry = uiSlot > 5 ? uiSlot - 1 : uiSlot;
        EXPECT_EQ(static_cast<TestTexture*>(pk->GetMap(uiSlot)->GetTexture())->m_uiValue, 100 + uiEntry);
        EXPECT_EQ(pk->GetMap(uiSlot)->GetClampMode(), uiEntry % 4);
        EXPECT_EQ(pk->GetMap(uiSlot)->GetL(), 5);
    }
    EXPECT_EQ(pk->GetDecalMapCount(), 2u);
    EXPECT_TRUE(pk->IsMultiTexture());
    EXPECT_EQ(pk->GetShaderMapCount(), 0u);
}

TEST_F(NiTexturingPropertyTest, CurrentRecordsBumpSlotShaderMapsAndTheMultiTextureFlag)
{
    NiRefPtr<NiTexturingProperty> sp = new NiTexturingProperty;
    NiRefPtr<TestTexture> spTexture = new TestTexture;
    spTexture->m_uiValue = 42;
    sp->SetMap(0, new NiTextureMap(spTexture));
    EXPECT_FALSE(sp->IsMultiTexture()) << "only the base map";
    auto* pkBump = new NiBumpMap;
    pkBump->SetTexture(spTexture);
    pkBump->m_fLumaScale = 3.0f;
    pkBump->m_fBumpMat01 = -1.0f;
    sp->SetMap(NiTexturingProperty::BUMP_INDEX, pkBump);
    auto* pkDecal = new NiTextureMap(spTexture);
    auto spTransform = std::make_unique<NiTextureTransform>();
    spTransform->SetRotate(0.5f);
    spTransform->SetCenter(NiVec2(0.25f, 0.75f));
    pkDecal->SetTextureTransform(std::move(spTransform));
    sp->SetMap(7, pkDecal);
    sp->SetShaderMap(1, new NiShaderMap(9));
    sp->GetArrayMapAt(1)->SetTexture(spTexture);
    EXPECT_TRUE(sp->IsMultiTexture());

    ASSERT_TRUE(RoundTrip({sp}));
    auto* pk = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_TRUE(sp->IsEqual(pk));
    auto* pkLoadedBump = dynamic_cast<NiBumpMap*>(pk->GetMap(5));
    ASSERT_NE(pkLoadedBump, nullptr);
    EXPECT_EQ(pkLoadedBump->m_fLumaScale, 3.0f);
    ASSERT_NE(pk->GetMap(7)->GetTextureTransform(), nullptr);
    EXPECT_EQ(pk->GetMap(7)->GetTextureTransform()->GetCenter(), NiVec2(0.25f, 0.75f));
    EXPECT_EQ(pk->GetDecalMapCount(), 1u);
    EXPECT_EQ(pk->GetArrayMapAt(0), nullptr);
    ASSERT_NE(pk->GetArrayMapAt(1), nullptr);
    EXPECT_EQ(pk->GetArrayMapAt(1)->GetID(), 9u);
    EXPECT_EQ(pk->GetArrayMapAt(2), nullptr);
    EXPECT_EQ(pk->GetMap(0)->GetTexture(), pk->GetArrayMapAt(1)->GetTexture()) << "one texture object";

    // A plain map in the bump slot is written with the bump defaults.
    NiRefPtr<NiTexturingProperty> spPlain = new NiTexturingProperty;
    spPlain->SetMap(5, new NiTextureMap);
    ASSERT_TRUE(RoundTrip({spPlain}));
    auto* pkPlain = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkPlain, nullptr);
    ASSERT_NE(dynamic_cast<NiBumpMap*>(pkPlain->GetMap(5)), nullptr);
    EXPECT_EQ(static_cast<NiBumpMap*>(pkPlain->GetMap(5))->m_fBumpMat11, 0.5f);
    EXPECT_EQ(pkPlain->GetShaderMapCount(), 0u);
}

TEST_F(NiTexturingPropertyTest, OldMapRecordsAndEmptyRecords)
{
    // 4.1.0.15: has-map bytes, a dropped u16 per map, no transform byte.
    const std::uint32_t uiVersion = V(4, 1, 0, 15);
    Bytes k = NETBody(uiVersion, "t", {}, NONE).U16(0).U32(3).U32(2);
    k.Append(HasMap(uiVersion, false)).Append(HasMap(uiVersion, true)).Append(MapBody(uiVersion, 1, 0));
    ASSERT_TRUE(LoadFile(uiVersion, {{"NiTexturingProperty", k}, TextureRecord(5)}, {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pk = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetApplyMode(), 3u);
    EXPECT_EQ(pk->GetMap(0), nullptr);
    ASSERT_NE(pk->GetMap(1), nullptr);
    EXPECT_EQ(pk->GetMap(1)->GetFilterMode(), 2u);
    EXPECT_TRUE(pk->IsMultiTexture());

    // The has-transform byte starts at 10.1.0.10.
    for (std::uint32_t uiTransformVersion : {V(10, 1, 0, 9), V(10, 1, 0, 10)})
    {
        SCOPED_TRACE(uiTransformVersion);
        Bytes kMap = NETBody(uiTransformVersion, "t", {}, NONE).U32(2).U32(1);
        kMap.Append(HasMap(uiTransformVersion, true)).Append(MapBody(uiTransformVersion, 1, 1)).U32(0);
        ASSERT_TRUE(LoadFile(uiTransformVersion, {{"NiTexturingProperty", kMap}, TextureRecord(6)}, {0}))
            << m_kStream.GetLastErrorMessage();
        pk = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
        ASSERT_NE(pk, nullptr);
        ASSERT_NE(pk->GetMap(0), nullptr);
        EXPECT_EQ(pk->GetMap(0)->GetClampMode(), 1u);
        EXPECT_EQ(pk->GetMap(0)->GetTextureTransform(), nullptr);
    }

    // N = 0: nothing filled, no multi-texture.
    const std::uint32_t uiCurrent = NiObjectStream::CURRENT_VERSION;
    ASSERT_TRUE(LoadFile(uiCurrent, {{"NiTexturingProperty", NETBody(uiCurrent, "t", {}, NONE).U32(2).U32(0).U32(0)}},
                         {0}));
    pk = NiDynamicCast<NiTexturingProperty>(m_kLoaded.at(0).Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetMapArrayCount(), 0u);
    EXPECT_FALSE(pk->IsMultiTexture());
}

TEST_F(NiTexturingPropertyTest, MapTextureMustBeATexture)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    Bytes k = NETBody(uiVersion, "t", {}, NONE).U32(2).U32(1);
    k.Append(HasMap(uiVersion, true)).Append(MapBody(uiVersion, 1, 0)).U32(0);
    EXPECT_FALSE(LoadFile(uiVersion, {{"NiTexturingProperty", k}, {"NiNode", NodeRecord(uiVersion, "n", {})}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // A slot count the bytes cannot hold.
    EXPECT_FALSE(LoadFile(uiVersion,
                          {{"NiTexturingProperty", NETBody(uiVersion, "t", {}, NONE).U32(2).U32(0xFFFFFFFF)}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}

TEST_F(NiTexturingPropertyTest, CloneSharesTexturesAndCopiesTransforms)
{
    NiRefPtr<NiTexturingProperty> sp = new NiTexturingProperty("wall.tga");
    auto* pkSource = NiDynamicCast<NiSourceTexture>(sp->GetMap(0)->GetTexture());
    ASSERT_NE(pkSource, nullptr);
    EXPECT_EQ(pkSource->GetFileName(), "wall.tga");
    sp->GetMap(0)->SetTextureTransform(std::make_unique<NiTextureTransform>());
    std::uint32_t uiRefs = pkSource->GetRefCount();

    NiRefPtr<NiTexturingProperty> spClone = static_cast<NiTexturingProperty*>(sp->Clone());
    EXPECT_EQ(spClone->GetMap(0)->GetTexture(), pkSource);
    EXPECT_EQ(pkSource->GetRefCount(), uiRefs + 1);
    ASSERT_NE(spClone->GetMap(0)->GetTextureTransform(), nullptr);
    EXPECT_NE(spClone->GetMap(0)->GetTextureTransform(), sp->GetMap(0)->GetTextureTransform());
    EXPECT_TRUE(sp->IsEqual(spClone));
}
} // namespace
