#include "engine/scene/NiCollisionData.h"

#include "tests/engine/scene/SceneTestSupport.h"

#include <cmath>
#include <limits>

using namespace scene_test;

namespace
{
class NiCollisionDataTest : public SceneTest
{
};

using Volume = NiCollisionData::Volume;

Volume Sphere(const NiVec3& kCenter, float fRadius)
{
    Volume k;
    k.m_uiKind = NiCollisionData::VOLUME_SPHERE;
    k.m_kCenter = kCenter;
    k.m_fRadius = fRadius;
    return k;
}

Volume Box(const NiVec3& kCenter, float fX, float fY, float fZ)
{
    Volume k;
    k.m_uiKind = NiCollisionData::VOLUME_BOX;
    k.m_kCenter = kCenter;
    k.m_afExtent[0] = fX;
    k.m_afExtent[1] = fY;
    k.m_afExtent[2] = fZ;
    return k;
}

Volume Union(std::vector<Volume> kParts)
{
    Volume k;
    k.m_uiKind = NiCollisionData::VOLUME_UNION;
    k.m_kParts = std::move(kParts);
    return k;
}

Bytes SphereBytes(float fX, float fY, float fZ, float fRadius)
{
    return Bytes().U32(1).F32(fX).F32(fY).F32(fZ).F32(fRadius);
}

// A box on the model axes.
Bytes BoxBytes(float fX, float fY, float fZ, float fEx, float fEy, float fEz)
{
    Bytes k = Bytes().U32(2).F32(fX).F32(fY).F32(fZ);
    for (int i = 0; i < 9; ++i)
        k.F32(i % 4 == 0 ? 1.0f : 0.0f);
    return k.F32(fEx).F32(fEy).F32(fEz);
}

// A current file: a positioned object linking one collision data record.
std::vector<std::uint8_t> LinkingFile(const Bytes& kData)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    Bytes kObject = NETBody(v, "", {}, NONE).Append(AVBody(v, 0x10, {}));
    kObject.m_kBytes.resize(kObject.Size() - 4);
    return BuildFile(v, {{"TestAVObject", kObject.U32(1)}, {"NiCollisionData", kData}}, {0});
}

NiRefPtr<TestAVObject> WithData(std::uint32_t uiMode, const Volume& kVolume)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    NiRefPtr<NiCollisionData> spData = new NiCollisionData;
    spData->SetPropagationMode(uiMode);
    EXPECT_TRUE(spData->SetModelVolume(kVolume));
    sp->SetCollisionObject(spData);
    return sp;
}

NiCollisionData* DataOf(NiObject* pkObject)
{
    auto* pkAV = NiDynamicCast<NiAVObject>(pkObject);
    return pkAV ? NiDynamicCast<NiCollisionData>(pkAV->GetCollisionObject()) : nullptr;
}
} // namespace

TEST_F(NiCollisionDataTest, RecordIsByteExactAndAFileLinkingItResavesByteForByte)
{
    NiRefPtr<TestAVObject> sp = WithData(5, Union({Sphere(NiVec3(1, 2, 3), 4), Box(NiVec3(5, 6, 7), 1, 2, 3)}));
    sp->SetTranslate(NiVec3(1, 2, 3));
    std::vector<std::uint8_t> kSaved = Save({sp});
    Bytes kData = Bytes().U8(5).U32(3).U32(2).Append(SphereBytes(1, 2, 3, 4)).Append(BoxBytes(5, 6, 7, 1, 2, 3));
    EXPECT_EQ(kSaved, LinkingFile(kData));

    ASSERT_TRUE(Load(kSaved));
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(sp));
    NiCollisionData* pkData = DataOf(m_kLoaded[0]);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetSceneGraphObject(), m_kLoaded[0].Get());
    EXPECT_EQ(Save({m_kLoaded[0]}), kSaved);

    // Files written by hand, each kind alone.
    for (const Bytes& kOne : {Bytes().U8(0).U32(0), Bytes().U8(7).Append(SphereBytes(0, 0, 0, 0)),
                              Bytes().U8(3).Append(BoxBytes(-1, 0, 1, 0.5f, 0, 2))})
    {
        std::vector<std::uint8_t> kFile = LinkingFile(kOne);
        m_kLoaded.clear();
        ASSERT_TRUE(Load(kFile));
        EXPECT_EQ(Save({m_kLoaded[0]}), kFile);
    }
}

TEST_F(NiCollisionDataTest, CloneCopiesTheDataAndEqualityComparesModeAndVolume)
{
    NiRefPtr<TestAVObject> sp = WithData(1, Box(NiVec3(0, 1, 0), 1, 1, 1));
    NiRefPtr<TestAVObject> spClone = static_cast<TestAVObject*>(sp->Clone());
    NiCollisionData* pkCopy = DataOf(spClone);
    ASSERT_NE(pkCopy, nullptr);
    EXPECT_NE(pkCopy, DataOf(sp));
    EXPECT_EQ(pkCopy->GetSceneGraphObject(), spClone.Get()) << "the copy belongs to the copied owner";
    EXPECT_TRUE(spClone->IsEqual(sp));

    pkCopy->SetPropagationMode(2);
    EXPECT_FALSE(spClone->IsEqual(sp));
    pkCopy->SetPropagationMode(8);
    EXPECT_EQ(pkCopy->GetPropagationMode(), 2u) << "no such mode";
    pkCopy->SetPropagationMode(1);
    EXPECT_TRUE(spClone->IsEqual(sp));

    Volume kTurned = pkCopy->GetModelVolume();
    kTurned.m_akAxis[0] = NiVec3(0, 1, 0);
    kTurned.m_akAxis[1] = NiVec3(1, 0, 0);
    ASSERT_TRUE(pkCopy->SetModelVolume(kTurned));
    EXPECT_FALSE(spClone->IsEqual(sp));
    ASSERT_TRUE(pkCopy->SetModelVolume(Sphere(NiVec3(0, 1, 0), 1)));
    EXPECT_FALSE(spClone->IsEqual(sp)) << "another kind";
    EXPECT_FALSE(Union({Sphere(NiVec3(), 1)}) == Union({Sphere(NiVec3(), 2)}));

    // Volumes no record could hold are refused and change nothing.
    Volume kNaN = Box(NiVec3(), 1, std::numeric_limits<float>::quiet_NaN(), 1);
    Volume kOdd;
    kOdd.m_uiKind = 7;
    for (const Volume& kBad : {Sphere(NiVec3(), -1), kNaN, Union({}), Union({Union({Sphere(NiVec3(), 1)})}),
                               Union({Volume()}), kOdd})
        EXPECT_FALSE(pkCopy->SetModelVolume(kBad));
    EXPECT_EQ(pkCopy->GetModelVolume(), Sphere(NiVec3(0, 1, 0), 1));

    NiRefPtr<TestAVObject> spBare = new TestAVObject;
    EXPECT_FALSE(spBare->IsEqual(sp));
    EXPECT_FALSE(sp->IsEqual(spBare));
}

TEST_F(NiCollisionDataTest, TheWorldVolumeFollowsTheOwner)
{
    NiRefPtr<TestAVObject> sp = WithData(0, Union({Sphere(NiVec3(1, 0, 0), 1), Box(NiVec3(0, 0, 1), 1, 2, 3)}));
    NiMatrix3x3 kQuarter;
    kQuarter.MakeZRotation(static_cast<float>(M_PI / 2));
    sp->SetRotate(kQuarter);
    sp->SetTranslate(NiVec3(10, 0, 0));
    sp->SetScale(2.0f);
    sp->Update(0.0f);

    const Volume& kWorld = DataOf(sp)->GetWorldVolume();
    ASSERT_EQ(kWorld.m_kParts.size(), 2u);
    const NiVec3 kExpected = NiVec3(10, 0, 0) + kQuarter.MultiplyVector(NiVec3(2, 0, 0));
    EXPECT_NEAR(kWorld.m_kParts[0].m_kCenter.x, kExpected.x, 1e-5f);
    EXPECT_NEAR(kWorld.m_kParts[0].m_kCenter.y, kExpected.y, 1e-5f);
    EXPECT_EQ(kWorld.m_kParts[0].m_fRadius, 2.0f);
    EXPECT_EQ(kWorld.m_kParts[1].m_kCenter, NiVec3(10, 0, 2));
    EXPECT_EQ(kWorld.m_kParts[1].m_afExtent[2], 6.0f);
    EXPECT_NEAR(std::fabs(kWorld.m_kParts[1].m_akAxis[0].y), 1.0f, 1e-6f) << "x turned onto y";
    EXPECT_EQ(DataOf(sp)->GetModelVolume().m_kParts[0].m_kCenter, NiVec3(1, 0, 0)) << "the model stays";
}

TEST_F(NiCollisionDataTest, HostileRecordsAreRefusedAsMalformed)
{
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    const Bytes akBad[] = {
        Bytes().U8(8).U32(0),                                           // no such mode
        Bytes().U8(0).U32(4),                                           // no such kind
        Bytes().U8(0).U32(0xFFFFFFFF),                                  //
        Bytes().U8(0).U32(3).U32(0),                                    // an empty union
        Bytes().U8(0).U32(3).U32(0xFFFFFFFF).Append(SphereBytes(0, 0, 0, 1)), // more parts than bytes
        Bytes().U8(0).U32(3).U32(1).U32(3).U32(1).Append(SphereBytes(0, 0, 0, 1)), // a union in a union
        Bytes().U8(0).U32(3).U32(2).U32(0).Append(SphereBytes(0, 0, 0, 1)).U32(0), // nothing as a part
        Bytes().U8(0).Append(SphereBytes(0, 0, 0, -1)),                 // negative radius
        Bytes().U8(0).Append(SphereBytes(0, 0, 0, fNaN)),               //
        Bytes().U8(0).Append(BoxBytes(0, 0, 0, 1, -2, 1)),              // negative extent
    };
    for (std::size_t i = 0; i < std::size(akBad); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_FALSE(Load(LinkingFile(akBad[i])));
        EXPECT_EQ(m_kStream.GetLastError(), 6u);
    }
}

TEST_F(NiCollisionDataTest, EveryTruncationFailsCleanly)
{
    const std::uint32_t v = V(4, 1, 0, 0);
    Bytes kOld = NETBody(v, "o", {}, NONE).Append(AVBody(v, 0x0006, {}, true));
    kOld.U32(3).U32(2).Append(BoxBytes(0, 0, 0, 1, 1, 1)).Append(SphereBytes(0, 0, 0, 1));
    const std::vector<std::uint8_t> akFiles[] = {
        LinkingFile(Bytes().U8(1).U32(3).U32(2).Append(SphereBytes(1, 2, 3, 4)).Append(BoxBytes(0, 0, 0, 1, 1, 1))),
        BuildFile(v, {{"TestAVObject", kOld}}, {0}),
    };
    for (const std::vector<std::uint8_t>& kFile : akFiles)
    {
        ASSERT_TRUE(Load(kFile));
        m_kLoaded.clear();
        for (std::size_t n = 0; n < kFile.size(); ++n)
        {
            SCOPED_TRACE(n);
            EXPECT_FALSE(Load(std::vector<std::uint8_t>(kFile.begin(), kFile.begin() + static_cast<long>(n))));
            EXPECT_NE(m_kStream.GetLastError(), 0u);
        }
    }
}
