#include "engine/render/NiScreenTexture.h"

#include "engine/render/NiPixelData.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiTexturingProperty.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <algorithm>

using namespace texture_test;

namespace
{
class NiScreenTextureTest : public TextureTest
{
protected:
    NiRefPtr<NiTexture> MakeTexture()
    {
        NiPixelDataPtr spImage = new NiPixelData(4, 4, NiPixelFormat::RGBA32, 1);
        return NiSourceTexture::CreateFromPixelData(spImage, NiTexture::FormatPrefs());
    }
};

bool Contains(const std::vector<std::uint8_t>& kHaystack, const std::vector<std::uint8_t>& kNeedle)
{
    return std::search(kHaystack.begin(), kHaystack.end(), kNeedle.begin(), kNeedle.end()) != kHaystack.end();
}
} // namespace

TEST_F(NiScreenTextureTest, DrawsItsTextureUnblendedAndClamped)
{
    NiRefPtr<NiTexture> spTexture = MakeTexture();
    NiScreenTexturePtr sp = new NiScreenTexture(spTexture);
    NiTexturingProperty* pkProperty = sp->GetTexturingProperty();
    ASSERT_NE(pkProperty, nullptr);
    EXPECT_EQ(pkProperty->GetApplyMode(), 0u) << "replaces, where a new property would modulate";
    EXPECT_EQ(NiTexturingProperty().GetApplyMode(), 2u);
    NiTextureMap* pkBase = pkProperty->GetMap(NiTexturingProperty::BASE_INDEX);
    ASSERT_NE(pkBase, nullptr);
    EXPECT_EQ(pkBase->GetTexture(), spTexture.Get());
    EXPECT_EQ(pkBase->GetClampMode(), NiTextureMap::CLAMP_S_CLAMP_T);
    EXPECT_EQ(sp->GetTexture(), spTexture.Get());
    EXPECT_EQ(sp->GetNumScreenRects(), 0u);
    EXPECT_EQ(sp->GetCapacity(), 0u);
    EXPECT_EQ(sp->GetChangeFlags(), 0u);
    EXPECT_EQ(sp->GetRendererData(), nullptr);
}

TEST_F(NiScreenTextureTest, CapacityDoublesAndShrinksWithTheCount)
{
    NiScreenTexturePtr sp = new NiScreenTexture(nullptr);
    const NiColorRGBA kWhite(1, 1, 1, 1);
    EXPECT_EQ(sp->AddScreenRect(0, 0, 1, 1, 0, 0, kWhite), 0u);
    EXPECT_EQ(sp->GetCapacity(), 1u);
    EXPECT_EQ(sp->AddScreenRect(1, 0, 1, 1, 0, 0, kWhite), 1u);
    EXPECT_EQ(sp->GetCapacity(), 2u);
    EXPECT_EQ(sp->AddScreenRect(2, 0, 1, 1, 0, 0, kWhite), 2u);
    EXPECT_EQ(sp->GetCapacity(), 4u) << "the third rectangle doubles 2 to 4";
    EXPECT_EQ(sp->GetScreenRect(2).m_sPixTop, 2);
    EXPECT_EQ(sp->GetScreenRect(0).m_sPixTop, 0) << "kept across the growth";
    EXPECT_EQ(sp->GetChangeFlags(), 0u) << "adding does not touch the change bits";

    sp->SetCapacity(2);
    EXPECT_EQ(sp->GetCapacity(), 2u);
    EXPECT_EQ(sp->GetNumScreenRects(), 2u) << "the count never claims rectangles past the array";
    EXPECT_EQ(sp->GetScreenRect(1).m_sPixTop, 1);
    sp->RemoveAllScreenRects();
    EXPECT_EQ(sp->GetNumScreenRects(), 0u);
    EXPECT_EQ(sp->GetCapacity(), 2u);
    sp->AddScreenRect(5, 0, 1, 1, 0, 0, kWhite);
    sp->SetCapacity(0);
    EXPECT_EQ(sp->GetCapacity(), 0u);
    EXPECT_EQ(sp->GetNumScreenRects(), 0u);
    EXPECT_EQ(sp->GetScreenRects(), nullptr);
    EXPECT_EQ(sp->AddScreenRect(7, 0, 1, 1, 0, 0, kWhite), 0u);

    sp->MarkAsChanged(NiScreenTexture::COLOR_MASK);
    sp->MarkAsChanged(0x8);
    EXPECT_EQ(sp->GetChangeFlags(), 0xAu);
    sp->ClearChangeFlags();
    EXPECT_EQ(sp->GetChangeFlags(), 0u);
}

TEST_F(NiScreenTextureTest, RecordRoundTripWithoutTheChangeWord)
{
    NiRefPtr<NiTexture> spTexture = MakeTexture();
    NiScreenTexturePtr sp = new NiScreenTexture(spTexture);
    sp->AddScreenRect(10, 20, 8, 16, 0, 32, NiColorRGBA(0.25f, 0.5f, 0.75f, 1.0f));
    sp->AddScreenRect(-3, 700, 1, 2, 3, 4, NiColorRGBA());
    sp->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);

    const std::vector<std::uint8_t> kSaved = Save({sp});
    // The rectangle as six 16-bit values and its colour, after the count.
    Bytes kRect;
    kRect.U32(2).U16(10).U16(20).U16(8).U16(16).U16(0).U16(32).F32(0.25f).F32(0.5f).F32(0.75f).F32(1.0f);
    kRect.U16(0xFFFD).U16(700).U16(1).U16(2).U16(3).U16(4).F32(0).F32(0).F32(0).F32(0);
    EXPECT_TRUE(Contains(kSaved, kRect.m_kBytes));

    auto* pkLoaded = static_cast<NiScreenTexture*>(RoundTrip(sp));
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_EQ(pkLoaded->GetNumScreenRects(), 2u);
    EXPECT_EQ(pkLoaded->GetScreenRect(1).m_sPixTop, -3);
    EXPECT_EQ(pkLoaded->GetChangeFlags(), 0u) << "the change word is not streamed";
    ASSERT_NE(pkLoaded->GetTexturingProperty(), nullptr);
    EXPECT_EQ(pkLoaded->GetTexturingProperty()->GetApplyMode(), 0u);

    // Equality looks at every field of every rectangle.
    NiScreenTexturePtr spOther = new NiScreenTexture(spTexture);
    spOther->AddScreenRect(10, 20, 8, 16, 0, 32, NiColorRGBA(0.25f, 0.5f, 0.75f, 1.0f));
    spOther->AddScreenRect(-3, 700, 1, 2, 3, 5, NiColorRGBA());
    EXPECT_FALSE(spOther->IsEqual(sp));
    spOther->GetScreenRect(1).m_usTexLeft = 4;
    EXPECT_TRUE(spOther->IsEqual(sp));
    spOther->GetScreenRect(1).m_kColor.a = 0.5f;
    EXPECT_FALSE(spOther->IsEqual(sp));
}

TEST_F(NiScreenTextureTest, CloneCopiesRectanglesPropertyAndChangeWord)
{
    NiScreenTexturePtr sp = new NiScreenTexture(nullptr);
    sp->AddScreenRect(1, 2, 3, 4, 5, 6, NiColorRGBA(1, 0, 0, 1));
    sp->MarkAsChanged(NiScreenTexture::COLOR_MASK);
    NiObjectPtr spClone = sp->Clone();
    auto* pkClone = NiDynamicCast<NiScreenTexture>(spClone.Get());
    ASSERT_NE(pkClone, nullptr);
    ASSERT_NE(pkClone, sp.Get());
    EXPECT_EQ(pkClone->GetNumScreenRects(), 1u);
    EXPECT_NE(pkClone->GetScreenRects(), sp->GetScreenRects());
    EXPECT_TRUE(pkClone->GetScreenRect(0) == sp->GetScreenRect(0));
    EXPECT_EQ(pkClone->GetTexturingProperty(), sp->GetTexturingProperty());
    EXPECT_EQ(pkClone->GetChangeFlags(), NiScreenTexture::COLOR_MASK);
    EXPECT_TRUE(pkClone->IsEqual(sp));
}

TEST_F(NiScreenTextureTest, DrawAndPurgeGoThroughTheRenderer)
{
    NiScreenTexturePtr sp = new NiScreenTexture(nullptr);
    sp->Draw(nullptr); // nothing to draw with: nothing happens
    {
        NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
        sp->Draw(spRenderer);
        ASSERT_EQ(spRenderer->m_kDrawn.size(), 1u);
        EXPECT_EQ(spRenderer->m_kDrawn[0], sp.Get());
        const void* pvGone = sp.Get();
        sp.Clear();
        ASSERT_EQ(spRenderer->m_kPurgedScreenTextures.size(), 1u);
        EXPECT_EQ(spRenderer->m_kPurgedScreenTextures[0], pvGone);
    }
    // Without a current renderer a screen texture just goes.
    NiScreenTexturePtr spAlone = new NiScreenTexture(nullptr);
    spAlone.Clear();
}

TEST_F(NiScreenTextureTest, HostileRecordsFailAsCorrupt)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    // A count the file cannot hold.
    std::vector<std::uint8_t> kFile = BuildFile(uiVersion, {{"NiScreenTexture", Bytes().U32(0xFFFFFFFF).U32(0xFFFFFFFF)}}, {0});
    EXPECT_FALSE(Load(kFile));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    kFile = BuildFile(uiVersion, {{"NiScreenTexture", Bytes().U32(2).U32(0xFFFFFFFF)}}, {0});
    EXPECT_FALSE(Load(kFile));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    // The property link names an object of another class (the screen
    // texture itself).
    kFile = BuildFile(uiVersion, {{"NiScreenTexture", Bytes().U32(0).U32(0)}}, {0});
    EXPECT_FALSE(Load(kFile));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    kFile = BuildFile(uiVersion, {{"NiScreenTexture", Bytes().U32(0).U32(0xFFFFFFFF)}}, {0});
    ASSERT_TRUE(Load(kFile));
    EXPECT_EQ(static_cast<NiScreenTexture*>(m_kLoaded[0].Get())->GetTexturingProperty(), nullptr);

    NiScreenTexturePtr sp = new NiScreenTexture(MakeTexture());
    sp->AddScreenRect(1, 2, 3, 4, 5, 6, NiColorRGBA(1, 1, 1, 1));
    ExpectEveryTruncationFails(Save({sp}));
}
