#include "engine/render/NiTextureTransform.h"

#include "engine/scene/NiTexturingProperty.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <algorithm>
#include <cmath>

using namespace texture_test;

namespace
{
class NiTextureTransformTest : public TextureTest
{
};

void ExpectRow(const NiMatrix3x3& k, int iRow, float f0, float f1, float f2)
{
    SCOPED_TRACE(iRow);
    EXPECT_FLOAT_EQ(k.GetEntry(iRow, 0), f0);
    EXPECT_FLOAT_EQ(k.GetEntry(iRow, 1), f1);
    EXPECT_FLOAT_EQ(k.GetEntry(iRow, 2), f2);
}
} // namespace

TEST_F(NiTextureTransformTest, DefaultsAndTheTwoMethods)
{
    NiTextureTransform k;
    EXPECT_TRUE(k.IsEqual(NiTextureTransform(NiVec2(0, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 0)));
    EXPECT_TRUE(k.IsMatrixDirty());
    EXPECT_EQ(k.GetMatrix(), NiMatrix3x3());
    EXPECT_TRUE(NiTextureTransform::GetDefault().IsEqual(k));
    EXPECT_FALSE(NiTextureTransform::GetDefault().IsMatrixDirty()) << "built with its matrix";
    EXPECT_EQ(NiTextureTransform::GetDefault().GetMatrix(), NiMatrix3x3());

    NiTextureTransform k0(NiVec2(0.25f, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 0);
    ExpectRow(k0.GetMatrix(), 0, 1, 0, 0.25f);
    ExpectRow(k0.GetMatrix(), 1, 0, 1, 0);
    ExpectRow(k0.GetMatrix(), 2, 0, 0, 1);
    NiTextureTransform k1(NiVec2(0.25f, 0), 0, NiVec2(2, 1), NiVec2(0, 0), 1);
    ExpectRow(k1.GetMatrix(), 0, 2, 0, -0.5f);
    ExpectRow(k1.GetMatrix(), 1, 0, 1, 0);

    // A quarter turn, cosine and sine taken as floats.
    const float fTurn = 1.5707964f;
    const auto c = static_cast<float>(std::cos(static_cast<double>(fTurn)));
    const auto s = static_cast<float>(std::sin(static_cast<double>(fTurn)));
    NiTextureTransform kTurn(NiVec2(0.1f, 0.2f), fTurn, NiVec2(2, 3), NiVec2(0.5f, 0.25f), 0);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(0, 1), -s * 3);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(0, 2), (0.1f - 0.5f) * c - (0.2f - 0.25f) * s + 0.5f);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(1, 2), (0.1f - 0.5f) * s + (0.2f - 0.25f) * c + 0.25f);
    kTurn.SetTransformMethod(1);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(0, 2), 2 * (-(0.5f + 0.1f) * c + (0.2f - 0.25f) * s) + 0.5f);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(1, 0), -s * 3);
    EXPECT_EQ(kTurn.GetMatrix().GetEntry(1, 2), 3 * ((0.2f - 0.25f) * c + (0.5f + 0.1f) * s) + 0.25f);
}

TEST_F(NiTextureTransformTest, AnotherMethodBuildsNothing)
{
    NiTextureTransform kNew(NiVec2(0.25f, 0), 0.5f, NiVec2(2, 2), NiVec2(0, 0), 2);
    EXPECT_EQ(kNew.GetMatrix(), NiMatrix3x3()) << "a new matrix starts as the identity";
    NiTextureTransform k(NiVec2(0.25f, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 0);
    const NiMatrix3x3 kBuilt = k.GetMatrix();
    k.SetTransformMethod(2);
    k.SetTranslate(NiVec2(0.75f, 0.75f));
    EXPECT_TRUE(k.IsMatrixDirty());
    EXPECT_EQ(k.GetMatrix(), kBuilt) << "the previous matrix stays";
    EXPECT_FALSE(k.IsMatrixDirty());
}

TEST_F(NiTextureTransformTest, RecordAndEquality)
{
    NiTextureTransform k(NiVec2(1, 2), 3, NiVec2(4, 5), NiVec2(6, 7), 1);
    NiPixelDataPtr spImage = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    NiRefPtr<NiTexturingProperty> spProperty = new NiTexturingProperty(spImage);
    spProperty->GetMap(0)->SetTextureTransform(std::make_unique<NiTextureTransform>(k));
    const std::vector<std::uint8_t> kSaved = Save({spProperty});
    // The map's has-transform byte, then translation, scale, rotation,
    // method, centre: 32 bytes.
    const Bytes kRecord = Bytes().U8(1).F32(1).F32(2).F32(4).F32(5).F32(3).U32(1).F32(6).F32(7);
    EXPECT_EQ(kRecord.Size(), 1 + NiTextureTransform::RECORD_SIZE);
    EXPECT_NE(std::search(kSaved.begin(), kSaved.end(), kRecord.m_kBytes.begin(), kRecord.m_kBytes.end()),
              kSaved.end());
    auto* pkLoaded = NiDynamicCast<NiTexturingProperty>(RoundTrip(spProperty));
    ASSERT_NE(pkLoaded, nullptr);
    NiTextureTransform* pkTransform = pkLoaded->GetMap(0)->GetTextureTransform();
    ASSERT_NE(pkTransform, nullptr);
    EXPECT_TRUE(pkTransform->IsMatrixDirty()) << "reading marks the matrix stale";
    EXPECT_EQ(pkTransform->GetMatrix(), k.GetMatrix());

    // Equality compares the values, not the matrix built from them.
    NiTextureTransform kA(NiVec2(0.25f, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 2);
    NiTextureTransform kB;
    kB.SetTranslate(NiVec2(0.25f, 0));
    kB.SetTransformMethod(2);
    EXPECT_TRUE(kA.IsEqual(kB));
    kB.SetCenter(NiVec2(0.5f, 0.25f));
    EXPECT_FALSE(kA.IsEqual(kB));
    kB.SetCenter(NiVec2(0.5f, 0.5f));
    kB.SetRotate(0.1f);
    EXPECT_TRUE(kA != kB);
    kB.SetRotate(0);
    kB.SetScale(NiVec2(1, 2));
    EXPECT_FALSE(kA == kB);
}

TEST_F(NiTextureTransformTest, EqualityIgnoresTheCachedMatrix)
{
    // Same values, different matrices: one keeps the method-0 matrix it
    // built before switching to a method that builds nothing, the other
    // was new with that method and holds the identity.
    NiTextureTransform kBuilt(NiVec2(0.25f, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 0);
    kBuilt.SetTransformMethod(2);
    NiTextureTransform kNew(NiVec2(0.25f, 0), 0, NiVec2(1, 1), NiVec2(0.5f, 0.5f), 2);
    ASSERT_NE(kBuilt.GetMatrix(), kNew.GetMatrix());
    EXPECT_TRUE(kBuilt.IsEqual(kNew));
    EXPECT_TRUE(kNew.IsEqual(kBuilt));
    kNew.SetTranslate(NiVec2(0.25f, 0.125f));
    EXPECT_FALSE(kBuilt.IsEqual(kNew)) << "translation v counts";
}
