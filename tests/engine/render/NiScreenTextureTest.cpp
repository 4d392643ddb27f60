#include "engine/render/NiScreenTexture.h"

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
    static NiRefPtr<NiTexture> MakeTexture()
    {
        return NiSourceTexture::CreateFromPixelData(NiPixelDataPtr(new NiPixelData(4, 4, NiPixelFormat::RGBA32, 1)),
                                                    NiTexture::FormatPrefs());
    }
    const NiColorRGBA m_kWhite{1, 1, 1, 1};
};
} // namespace

TEST_F(NiScreenTextureTest, PropertyCapacityAndChangeBits)
{
    NiRefPtr<NiTexture> spTexture = MakeTexture();
    NiScreenTexturePtr sp = new NiScreenTexture(spTexture);
    NiTexturingProperty* pkProperty = sp->GetTexturingProperty();
    ASSERT_NE(pkProperty, nullptr);
    EXPECT_EQ(pkProperty->GetApplyMode(), 0u) << "replaces, where a new property modulates (2)";
    ASSERT_NE(pkProperty->GetMap(NiTexturingProperty::BASE_INDEX), nullptr);
    EXPECT_EQ(pkProperty->GetMap(NiTexturingProperty::BASE_INDEX)->GetClampMode(), NiTextureMap::CLAMP_S_CLAMP_T);
    EXPECT_EQ(sp->GetTexture(), spTexture.Get());
    EXPECT_EQ(sp->GetCapacity(), 0u);
    EXPECT_EQ(sp->GetRendererData(), nullptr);

    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(sp->AddScreenRect(static_cast<std::int16_t>(i), 0, 1, 1, 0, 0, m_kWhite), i);
    EXPECT_EQ(sp->GetCapacity(), 4u) << "the third rectangle doubles 2 to 4";
    EXPECT_EQ(sp->GetScreenRect(0).m_sPixTop, 0) << "kept across the growth";
    EXPECT_EQ(sp->GetChangeFlags(), 0u) << "adding does not touch the change bits";
    sp->SetCapacity(2);
    EXPECT_EQ(sp->GetNumScreenRects(), 2u) << "the count never claims rectangles past the array";
    sp->RemoveAllScreenRects();
    EXPECT_EQ(sp->GetNumScreenRects(), 0u);
    EXPECT_EQ(sp->GetCapacity(), 2u);
    sp->SetCapacity(0);
    EXPECT_EQ(sp->GetScreenRects(), nullptr);
    EXPECT_EQ(sp->AddScreenRect(7, 0, 1, 1, 0, 0, m_kWhite), 0u);
    sp->MarkAsChanged(NiScreenTexture::COLOR_MASK);
    sp->MarkAsChanged(0x8);
    EXPECT_EQ(sp->GetChangeFlags(), 0xAu);
    sp->ClearChangeFlags();
    EXPECT_EQ(sp->GetChangeFlags(), 0u);

    const std::vector<std::string> kLines = ViewerLines(sp);
    ASSERT_FALSE(kLines.empty());
    EXPECT_EQ(kLines.back(), "--- NiScreenTexture ---");
}

TEST_F(NiScreenTextureTest, RecordRoundTripCloneAndEquality)
{
    NiRefPtr<NiTexture> spTexture = MakeTexture();
    NiScreenTexturePtr sp = new NiScreenTexture(spTexture);
    sp->AddScreenRect(10, 20, 8, 16, 0, 32, NiColorRGBA(0.25f, 0.5f, 0.75f, 1.0f));
    sp->AddScreenRect(-3, 700, 1, 2, 3, 4, NiColorRGBA());
    sp->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);
    const std::vector<std::uint8_t> kSaved = Save({sp});
    Bytes kRects; // the count, then six 16-bit values and the colour each
    kRects.U32(2).U16(10).U16(20).U16(8).U16(16).U16(0).U16(32).F32(0.25f).F32(0.5f).F32(0.75f).F32(1.0f);
    kRects.U16(0xFFFD).U16(700).U16(1).U16(2).U16(3).U16(4).F32(0).F32(0).F32(0).F32(0);
    EXPECT_NE(std::search(kSaved.begin(), kSaved.end(), kRects.m_kBytes.begin(), kRects.m_kBytes.end()),
              kSaved.end());
    auto* pkLoaded = static_cast<NiScreenTexture*>(RoundTrip(sp));
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_EQ(pkLoaded->GetScreenRect(1).m_sPixTop, -3);
    EXPECT_EQ(pkLoaded->GetChangeFlags(), 0u) << "the change word is not streamed";
    EXPECT_EQ(pkLoaded->GetTexturingProperty()->GetApplyMode(), 0u);
    ExpectEveryTruncationFails(kSaved);

    NiObjectPtr spClone = sp->Clone();
    auto* pkClone = NiDynamicCast<NiScreenTexture>(spClone.Get());
    ASSERT_NE(pkClone, nullptr);
    EXPECT_NE(pkClone->GetScreenRects(), sp->GetScreenRects());
    EXPECT_EQ(pkClone->GetTexturingProperty(), sp->GetTexturingProperty());
    EXPECT_EQ(pkClone->GetChangeFlags(), NiScreenTexture::EVERYTHING_MASK) << "cloned, not streamed";
    EXPECT_TRUE(pkClone->IsEqual(sp));
    pkClone->GetScreenRect(1).m_usTexLeft = 5;
    EXPECT_FALSE(pkClone->IsEqual(sp));
    pkClone->GetScreenRect(1).m_usTexLeft = 4;
    pkClone->GetScreenRect(1).m_kColor.a = 0.5f;
    EXPECT_FALSE(pkClone->IsEqual(sp));
}

TEST_F(NiScreenTextureTest, DrawAndPurgeGoThroughTheRenderer)
{
    NiScreenTexturePtr sp = new NiScreenTexture(nullptr);
    sp->Draw(nullptr); // nothing to draw with: nothing happens
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    sp->Draw(spRenderer);
    EXPECT_EQ(spRenderer->m_kDrawn, (std::vector<const void*>{sp.Get()}));
    const void* pvGone = sp.Get();
    sp.Clear();
    EXPECT_EQ(spRenderer->m_kPurged, (std::vector<const void*>{pvGone}));
}

TEST_F(NiScreenTextureTest, HostileRecordsFailAsCorrupt)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    // Counts the file cannot hold, and a property link to the screen
    // texture itself.
    for (const Bytes& kBody : {Bytes().U32(0xFFFFFFFF).U32(NiObjectStream::NULL_LINK), Bytes().U32(2).U32(0),
                               Bytes().U32(0).U32(0)})
    {
        EXPECT_FALSE(Load(BuildFile(uiVersion, {{"NiScreenTexture", kBody}}, {0})));
        EXPECT_EQ(Stream().GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
    ASSERT_TRUE(Load(BuildFile(uiVersion, {{"NiScreenTexture", Bytes().U32(0).U32(NiObjectStream::NULL_LINK)}}, {0})));
    EXPECT_EQ(static_cast<NiScreenTexture*>(m_kLoaded[0].Get())->GetTexturingProperty(), nullptr);
}
