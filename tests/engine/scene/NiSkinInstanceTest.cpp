#include "engine/scene/NiSkinInstance.h"

#include "engine/core/NiBatch.h"
#include "engine/scene/NiTriShape.h"
#include "tests/engine/scene/GeometryTestSupport.h"

#include <cmath>
#include <cstring>

namespace scene_test
{
namespace
{
// Skin data of the bones, each with the given weights and an identity
// bind transform, and a unit bound about its origin.
NiRefPtr<NiSkinData> SkinData(const std::vector<std::vector<NiSkinData::SkinWeight>>& kWeights)
{
    NiRefPtr<NiSkinData> spData = new NiSkinData;
    const auto uiBones = static_cast<std::uint32_t>(kWeights.size());
    std::unique_ptr<NiSkinData::BoneData[]> spBones(new NiSkinData::BoneData[uiBones == 0 ? 1 : uiBones]);
    for (std::uint32_t b = 0; b < uiBones; ++b)
    {
        spBones[b].m_kBound = NiBoundSphere(NiVec3::ZERO, 1.0f);
        if (kWeights[b].empty())
            continue;
        spBones[b].m_spWeights.reset(new NiSkinData::SkinWeight[kWeights[b].size()]);
        std::copy(kWeights[b].begin(), kWeights[b].end(), spBones[b].m_spWeights.get());
        spBones[b].m_usVerts = static_cast<std::uint16_t>(kWeights[b].size());
    }
    spData->SetBones(uiBones, std::move(spBones));
    return spData;
}

// One partition of the square over bones 0 and 1.
NiRefPtr<NiSkinPartition> Partition(std::uint16_t usMappedVertex = 3)
{
    std::unique_ptr<NiSkinPartition::Partition[]> sp(new NiSkinPartition::Partition[1]);
    NiSkinPartition::Partition& k = sp[0];
    k.m_usVertices = 4;
    k.m_usTriangles = 2;
    k.m_usBones = 2;
    k.m_usBonesPerVertex = 1;
    k.m_pusBones.reset(new std::uint16_t[2]{0, 1});
    k.m_pusVertexMap.reset(new std::uint16_t[4]{0, 1, 2, usMappedVertex});
    k.m_pfWeights.reset(new float[4]{1, 1, 1, 1});
    k.m_pucBonePalette.reset(new std::uint8_t[4]{0, 0, 1, 1});
    k.m_pusTriList.reset(new std::uint16_t[6]{0, 1, 2, 0, 2, 3});
    NiRefPtr<NiSkinPartition> spPartition = new NiSkinPartition;
    spPartition->SetPartitions(1, std::move(sp));
    return spPartition;
}

// root -> (bone0, bone1, shape); the shape's skin binds the square's
// vertices 0, 1 to bone 0 and 2, 3 to bone 1.
struct SkinnedScene
{
    NiNodePtr m_spRoot = new NiNode;
    NiNodePtr m_aspBone[2] = {new NiNode, new NiNode};
    NiRefPtr<NiTriShape> m_spShape;
    NiRefPtr<NiSkinInstance> m_spSkin = new NiSkinInstance;

    SkinnedScene()
    {
        m_spRoot->SetName("root");
        m_aspBone[0]->SetName("upper");
        m_aspBone[1]->SetName("lower");
        m_aspBone[1]->SetTranslate(NiVec3(0, 0, 2));
        m_spShape = new NiTriShape(SquareData());
        m_spSkin->SetSkinData(SkinData({{{0, 1.0f}, {1, 1.0f}}, {{2, 1.0f}, {3, 1.0f}}}));
        m_spSkin->SetSkinPartition(Partition());
        m_spSkin->SetRootParent(m_spRoot);
        m_spSkin->SetBone(0, m_aspBone[0]);
        m_spSkin->SetBone(1, m_aspBone[1]);
        m_spShape->SetSkinInstance(m_spSkin);
        m_spRoot->AttachChild(m_aspBone[0]);
        m_spRoot->AttachChild(m_aspBone[1]);
        m_spRoot->AttachChild(m_spShape);
        m_spRoot->Update(0.0f);
    }
};

// A skin-data record of the version: identity skin transform, the bones'
// weights (vertex, weight) and bounds, and the partition link of old files.
Bytes SkinDataBody(std::uint32_t uiVersion, const std::vector<std::vector<std::pair<std::uint16_t, float>>>& kBones,
                   std::uint32_t uiPartition = NONE)
{
    auto Xf = [](Bytes& k) {
        for (int i = 0; i < 9; ++i)
            k.F32(i % 4 == 0 ? 1.0f : 0.0f);
        k.F32(0).F32(0).F32(0).F32(1);
    };
    Bytes k;
    Xf(k);
    k.U32(static_cast<std::uint32_t>(kBones.size()));
    if (uiVersion >= V(4, 0, 0, 1) && uiVersion < V(10, 1, 0, 101))
        k.U32(uiPartition);
    if (uiVersion >= V(4, 1, 0, 13))
        k.U8(1);
    for (const auto& kWeights : kBones)
    {
        Xf(k);
        k.F32(0).F32(0).F32(0).F32(1);
        k.U16(static_cast<std::uint16_t>(kWeights.size()));
        for (const auto& kPair : kWeights)
            k.U16(kPair.first).F32(kPair.second);
    }
    if (uiVersion == V(4, 1, 0, 9))
        k.U8(0);
    return k;
}

Bytes SkinInstanceBody(std::uint32_t uiVersion, std::uint32_t uiData, std::uint32_t uiPartition, std::uint32_t uiRoot,
                       const std::vector<std::uint32_t>& kBones)
{
    Bytes k;
    k.U32(uiData);
    if (uiVersion >= V(10, 1, 0, 101))
        k.U32(uiPartition);
    k.U32(uiRoot).U32(static_cast<std::uint32_t>(kBones.size()));
    for (std::uint32_t ui : kBones)
        k.U32(ui);
    return k;
}

// A one-partition record over the square's four vertices.
Bytes PartitionBody(std::uint32_t uiVersion, std::uint16_t usBoneIndex = 1)
{
    Bytes k;
    k.U32(1).U16(4).U16(2).U16(2).U16(0).U16(1).U16(0).U16(1);
    if (uiVersion >= V(10, 0, 1, 18))
        k.U8(1);
    k.U16(0).U16(1).U16(2).U16(3);
    if (uiVersion >= V(10, 0, 1, 18))
        k.U8(1);
    k.F32(1).F32(1).F32(1).F32(1);
    if (uiVersion >= V(10, 0, 1, 18))
        k.U8(1);
    k.U16(0).U16(1).U16(2).U16(0).U16(2).U16(3);
    k.U8(1).U8(0).U8(0).U8(static_cast<std::uint8_t>(usBoneIndex)).U8(1);
    return k;
}

// The square's shape data record.
Bytes SquareShapeData(std::uint32_t uiVersion)
{
    DataRecord kData;
    kData.m_kVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    Bytes k = DataBody(uiVersion, kData).U16(2).U32(6);
    if (uiVersion >= V(10, 0, 1, 17))
        k.U8(1);
    for (std::uint16_t us : {0, 1, 2, 0, 2, 3})
        k.U16(us);
    return k.U16(0);
}

// A whole skinned file: 0 root node (bones 1, 2 and the shape 3 below it),
// 4 shape data, 5 skin instance, 6 skin data, 7 partition.
std::vector<Record> SkinnedFile(std::uint32_t v, const Bytes& kSkin, const Bytes& kSkinData, const Bytes& kPartition,
                                const std::vector<std::uint32_t>& kRootChildren = {1, 2, 3})
{
    return {{"NiNode", NodeRecord(v, "root", kRootChildren)},
            {"NiNode", NodeRecord(v, "upper", {})},
            {"NiNode", NodeRecord(v, "lower", {})},
            {"NiTriShape", GeometryRecord(v, 4, 5)},
            {"NiTriShapeData", SquareShapeData(v)},
            {"NiSkinInstance", kSkin},
            {"NiSkinData", kSkinData},
            {"NiSkinPartition", kPartition}};
}

const std::vector<std::vector<std::pair<std::uint16_t, float>>> SQUARE_WEIGHTS = {{{0, 1.0f}, {1, 1.0f}},
                                                                                  {{2, 1.0f}, {3, 1.0f}}};
} // namespace

using NiSkinInstanceTest = GeometryTest;

TEST_F(NiSkinInstanceTest, RoundTripKeepsBindingAndBones)
{
    SkinnedScene kScene;
    ASSERT_TRUE(RoundTrip({kScene.m_spRoot}));
    auto* pkRoot = NiDynamicCast<NiNode>(m_kLoaded[0].Get());
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_TRUE(pkRoot->IsEqual(kScene.m_spRoot));
    auto* pkShape = static_cast<NiTriShape*>(pkRoot->GetAt(2));
    NiSkinInstance* pkSkin = pkShape->GetSkinInstance();
    ASSERT_NE(pkSkin, nullptr);
    EXPECT_EQ(pkSkin->GetRootParent(), pkRoot);
    EXPECT_EQ(pkSkin->GetBones()[1], pkRoot->GetAt(1));
    EXPECT_EQ(pkSkin->GetHeldCount(), 0u);
    ASSERT_NE(pkSkin->GetSkinPartition(), nullptr);

    kScene.m_spSkin->GetSkinData()->GetBoneData()[1].m_spWeights[0].m_fWeight = 0.5f;
    EXPECT_FALSE(pkRoot->IsEqual(kScene.m_spRoot));
}

TEST_F(NiSkinInstanceTest, WeightsSurviveWhenTheFirstBoneHasNone)
{
    NiRefPtr<NiSkinData> spData = SkinData({{}, {{1, 0.25f}}});
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spData);
    NiRefPtr<NiObject> spCopy = spData->DeepCopy();
    ASSERT_NE(spCopy, nullptr);
    auto* pkCopy = static_cast<NiSkinData*>(spCopy.Get());
    ASSERT_EQ(pkCopy->GetBoneData()[1].m_usVerts, 1);
    EXPECT_EQ(pkCopy->GetBoneData()[1].m_spWeights[0].m_fWeight, 0.25f);
}

TEST_F(NiSkinInstanceTest, OldSkinRecords)
{
    // Skin data carried the partition before the instance did; one version
    // had a stray byte.
    for (std::uint32_t v : {V(4, 1, 0, 8), V(4, 1, 0, 9), V(4, 1, 0, 10), V(10, 0, 1, 18), V(10, 1, 0, 100)})
    {
        SCOPED_TRACE(v);
        ASSERT_TRUE(LoadFile(v,
                             SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 2}), SkinDataBody(v, SQUARE_WEIGHTS, 7),
                                         PartitionBody(v)),
                             {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pkShape = static_cast<NiTriShape*>(static_cast<NiNode*>(m_kLoaded[0].Get())->GetAt(2));
        NiSkinInstance* pkSkin = pkShape->GetSkinInstance();
        EXPECT_NE(pkSkin->GetSkinPartition(), nullptr);
        EXPECT_EQ(pkSkin->GetSkinData()->GetOldPartition(), nullptr);
        EXPECT_EQ(pkSkin->GetSkinData()->GetBoneData()[1].m_spWeights[1].m_usVertex, 3);
    }
    EXPECT_EQ(SkinDataBody(V(4, 1, 0, 9), SQUARE_WEIGHTS).Size(), SkinDataBody(V(4, 1, 0, 8), SQUARE_WEIGHTS).Size() + 1);
    EXPECT_EQ(SkinDataBody(V(4, 1, 0, 10), SQUARE_WEIGHTS).Size(), SkinDataBody(V(4, 1, 0, 8), SQUARE_WEIGHTS).Size());
}

TEST_F(NiSkinInstanceTest, HostileSkinRecordsFail)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    const Bytes kData = SkinDataBody(v, SQUARE_WEIGHTS);
    const Bytes kPartition = PartitionBody(v);
    struct Case
    {
        const char* m_pcWhy;
        std::vector<Record> m_kRecords;
    };
    std::vector<Case> kCases = {
        {"null skin data", SkinnedFile(v, SkinInstanceBody(v, NONE, 7, 0, {1, 2}), kData, kPartition)},
        {"bone link to the geometry data", SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 4}), kData, kPartition)},
        {"bone link to a property", SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 8}), kData, kPartition)},
        {"partition link to the skin data", SkinnedFile(v, SkinInstanceBody(v, 6, 6, 0, {1, 2}), kData, kPartition)},
        {"skin data link to a node", SkinnedFile(v, SkinInstanceBody(v, 1, 7, 0, {1, 2}), kData, kPartition)},
        {"fewer bones than bone records", SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1}), kData, kPartition)},
        {"weight index at the vertex count",
         SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 2}), SkinDataBody(v, {{{0, 1.0f}}, {{4, 1.0f}}}),
                     kPartition)},
        {"bone count beyond the bytes",
         SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 2}), Bytes(kData).U32(0), kPartition)},
    };
    // The bone count field follows the 13 floats of the skin transform.
    kCases.back().m_kRecords[6].m_kBody.m_kBytes[13 * 4 + 3] = 0x40;
    for (Case& k : kCases)
        k.m_kRecords.push_back({"TestProperty", NETBody(v, "", {}, NONE).U16(0)});
    for (const Case& k : kCases)
    {
        SCOPED_TRACE(k.m_pcWhy);
        EXPECT_FALSE(LoadFile(v, k.m_kRecords, {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }

    SkinnedScene kScene;
    std::vector<std::uint8_t> kBytes = Save({kScene.m_spRoot});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
}

TEST_F(NiSkinInstanceTest, BadPartitionIsDroppedAndTheSkinStays)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    // Bone index 2 of a two-bone partition.
    ASSERT_TRUE(LoadFile(
        v, SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 2}), SkinDataBody(v, SQUARE_WEIGHTS), PartitionBody(v, 2)),
        {0}));
    auto* pkShape = static_cast<NiTriShape*>(static_cast<NiNode*>(m_kLoaded[0].Get())->GetAt(2));
    ASSERT_NE(pkShape->GetSkinInstance(), nullptr);
    EXPECT_EQ(pkShape->GetSkinInstance()->GetSkinPartition(), nullptr);

    const char* pcWhy = nullptr;
    EXPECT_FALSE(Partition(4)->IsValidFor(4, 2, pcWhy)); // vertex map at the count
    EXPECT_FALSE(Partition()->IsValidFor(4, 1, pcWhy));  // bone beyond the skin's
    EXPECT_TRUE(Partition()->IsValidFor(4, 2, pcWhy));
}

TEST_F(NiSkinInstanceTest, StripPartitionsCarryTheSumOfTheirLengths)
{
    NiRefPtr<NiSkinPartition> spPartition = Partition();
    NiSkinPartition::Partition& k = spPartition->GetPartitions()[0];
    EXPECT_EQ(k.GetIndexCount(), 6u); // three per triangle
    k.m_usStrips = 2;
    k.m_pusStripLengths.reset(new std::uint16_t[2]{4, 3});
    k.m_pusTriList.reset(new std::uint16_t[7]{0, 1, 2, 3, 3, 2, 1});
    EXPECT_EQ(k.GetIndexCount(), 7u);
    NiRefPtr<NiObject> spCopy = spPartition->DeepCopy();
    ASSERT_NE(spCopy, nullptr);
    EXPECT_TRUE(spCopy->IsEqual(spPartition));
    auto* pkCopy = static_cast<NiSkinPartition*>(spCopy.Get());
    EXPECT_EQ(pkCopy->GetPartitions()[0].m_pusTriList[6], 1);

    const char* pcWhy = nullptr;
    EXPECT_TRUE(spPartition->IsValidFor(4, 2, pcWhy));
    k.m_pusTriList[6] = 4; // the partition's vertex count
    EXPECT_FALSE(spPartition->IsValidFor(4, 2, pcWhy));
    EXPECT_FALSE(spCopy->IsEqual(spPartition));
}

TEST_F(NiSkinInstanceTest, BonesHeldByNothingElseAreKeptByTheSkin)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    // Only the shape is a top-level object; root and bones hang nowhere.
    ASSERT_TRUE(LoadFile(v,
                         SkinnedFile(v, SkinInstanceBody(v, 6, 7, 0, {1, 2}), SkinDataBody(v, SQUARE_WEIGHTS),
                                     PartitionBody(v), {1, 2}),
                         {3}));
    auto* pkShape = static_cast<NiTriShape*>(m_kLoaded[0].Get());
    NiSkinInstance* pkSkin = pkShape->GetSkinInstance();
    EXPECT_EQ(pkSkin->GetHeldCount(), 1u); // the root; it holds the bones
    ASSERT_EQ(pkSkin->GetBones()[1]->GetParent(), pkSkin->GetRootParent());
    pkSkin->GetRootParent()->Update(0.0f);
    NiVec3 akOut[4];
    NiGeometryData* pkData = pkShape->GetModelData();
    pkSkin->NiDeformSkinnedVertices(pkData->GetVertices(), nullptr, 4, akOut, nullptr, nullptr, nullptr, 12);
    // Root and bones sit at (1, 2, 3) of their parents: bone 1 is (1, 2, 3)
    // away from the root.
    EXPECT_EQ(akOut[3], NiVec3(1, 3, 3));

    // A clone keeping the same bones keeps them alive too.
    NiRefPtr<NiObject> spClone;
    {
        NiCloneContext kCloning;
        NiRefPtr<NiNode> spExtra = new NiNode;
        kCloning.m_kCloneMap.SetAt(pkSkin->GetBones()[0], spExtra.Get());
        spClone = pkSkin->CreateClone(kCloning);
        ASSERT_NE(spClone.Get(), pkSkin);
        EXPECT_EQ(static_cast<NiSkinInstance*>(spClone.Get())->GetHeldCount(), 1u);
    }

    // Bones held by nothing whose subtree holds the skinned shape itself
    // would be a loop of references.
    EXPECT_FALSE(LoadFile(v,
                          {{"NiNode", NodeRecord(v, "bone", {1})},
                           {"NiTriShape", GeometryRecord(v, 2, 3)},
                           {"NiTriShapeData", SquareShapeData(v)},
                           {"NiSkinInstance", SkinInstanceBody(v, 4, NONE, NONE, {0})},
                           {"NiSkinData", SkinDataBody(v, {{{0, 1.0f}}})}},
                          {4}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}

TEST_F(NiSkinInstanceTest, BoneUnderAnUnreachableContainerIsKeptByTheSkin)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    DataRecord kOne;
    kOne.m_kVertices = {{0, 0, 0}};
    // The bone hangs below the container of mesh data no geometry uses: only
    // the stream's table reaches that data, so the bone dies with the table
    // unless the skin keeps it.
    ASSERT_TRUE(LoadFile(v,
                         {{"NiTriShape", GeometryRecord(v, 1, 2)},
                          {"NiTriShapeData", SquareShapeData(v)},
                          {"NiSkinInstance", SkinInstanceBody(v, 3, NONE, NONE, {6})},
                          {"NiSkinData", SkinDataBody(v, {{{0, 1.0f}, {3, 1.0f}}})},
                          {"NiParticleMeshesData", DataBody(v, kOne).U8(0).U16(1).U8(0).U8(0).U32(5)},
                          {"NiNode", NodeRecord(v, "container", {6})},
                          {"NiNode", NodeRecord(v, "bone", {})}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pkShape = static_cast<NiTriShape*>(m_kLoaded[0].Get());
    NiSkinInstance* pkSkin = pkShape->GetSkinInstance();
    ASSERT_NE(pkSkin, nullptr);
    EXPECT_EQ(pkSkin->GetHeldCount(), 1u);
    ASSERT_NE(pkSkin->GetBones()[0], nullptr);
    EXPECT_STREQ(pkSkin->GetBones()[0]->GetParent()->GetName(), "container");
    pkSkin->GetBones()[0]->GetParent()->Update(0.0f);
    NiVec3 akOut[4];
    pkSkin->NiDeformSkinnedVertices(pkShape->GetModelData()->GetVertices(), nullptr, 4, akOut, nullptr, nullptr,
                                    nullptr, 12);
    // Container and bone each sit at (1, 2, 3) of their parents; there is
    // no root parent.
    EXPECT_EQ(akOut[3], NiVec3(2, 5, 6));

    // The geometry's skin link takes only skin instances.
    EXPECT_FALSE(LoadFile(v,
                          {{"NiTriShape", GeometryRecord(v, 1, 2)},
                           {"NiTriShapeData", SquareShapeData(v)},
                           {"NiNode", NodeRecord(v, "not a skin", {})}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}

TEST_F(NiSkinInstanceTest, ClonesShareOrRebindTheSkin)
{
    SkinnedScene kScene;
    // The shape alone: bones are not cloned, so the skin is shared.
    NiRefPtr<NiTriShape> spShapeClone = static_cast<NiTriShape*>(kScene.m_spShape->Clone());
    EXPECT_EQ(spShapeClone->GetSkinInstance(), kScene.m_spSkin.Get());

    // Two shapes on one skin, cloned with their bones in one pass.
    NiRefPtr<NiTriShape> spTwin = new NiTriShape(static_cast<NiTriShapeData*>(kScene.m_spShape->GetModelData()));
    spTwin->SetSkinInstance(kScene.m_spSkin);
    kScene.m_spRoot->AttachChild(spTwin);
    NiRefPtr<NiNode> spRootClone = static_cast<NiNode*>(kScene.m_spRoot->Clone());
    auto* pkA = static_cast<NiTriShape*>(spRootClone->GetAt(2));
    auto* pkB = static_cast<NiTriShape*>(spRootClone->GetAt(3));
    ASSERT_NE(pkA->GetSkinInstance(), kScene.m_spSkin.Get());
    EXPECT_EQ(pkA->GetSkinInstance(), pkB->GetSkinInstance());
    EXPECT_EQ(pkA->GetSkinInstance()->GetBones()[1], spRootClone->GetAt(1));
    EXPECT_EQ(pkA->GetSkinInstance()->GetRootParent(), spRootClone.Get());
    EXPECT_EQ(pkA->GetSkinInstance()->GetSkinData(), kScene.m_spSkin->GetSkinData());
}

TEST_F(NiSkinInstanceTest, ModelBoundComesFromTheBones)
{
    SkinnedScene kScene;
    kScene.m_spRoot->SetTranslate(NiVec3(5, 0, 0));
    kScene.m_spRoot->Update(0.0f);
    NiBoundSphere kBound;
    kScene.m_spSkin->UpdateModelBound(kBound);
    // Unit spheres at 0 and (0, 0, 2) in the root's frame.
    ExpectNear(kBound.m_kCenter, NiVec3(0, 0, 1));
    EXPECT_NEAR(kBound.m_fRadius, 2.0f, 1e-5f);
    ExpectNear(kScene.m_spShape->GetWorldBound().m_kCenter, NiVec3(5, 0, 1));

    NiRefPtr<NiSkinInstance> spEmpty = new NiSkinInstance;
    spEmpty->SetSkinData(SkinData({}));
    NiBoundSphere kUnchanged(NiVec3(1, 2, 3), 4);
    spEmpty->UpdateModelBound(kUnchanged);
    EXPECT_EQ(kUnchanged, NiBoundSphere(NiVec3(1, 2, 3), 4));
}

TEST_F(NiSkinInstanceTest, ViewerStringsListBonesByName)
{
    SkinnedScene kScene;
    NiRefPtr<NiNode> spUnnamed = new NiNode;
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(SkinData({{}, {}, {}}));
    spSkin->SetBone(0, spUnnamed);
    spSkin->SetBone(1, kScene.m_aspBone[0]);
    spSkin->SetBone(2, kScene.m_aspBone[1]);
    spSkin->SetRootParent(kScene.m_spRoot);
    NiViewerStringArray kStrings;
    spSkin->AppendViewerStrings(kStrings);
    std::vector<std::string> kLines;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        if (char* pc = kStrings.GetAt(i))
        {
            kLines.emplace_back(pc);
            delete[] pc;
        }
    }
    ASSERT_GE(kLines.size(), 4u);
    EXPECT_EQ(kLines[kLines.size() - 3], "    0 = lower");
    EXPECT_EQ(kLines[kLines.size() - 2], "    1 = upper");
    EXPECT_EQ(kLines[kLines.size() - 1], "    2 = <noname>");
}

// ---- Deformation ----

class NiDeformTest : public NiSkinInstanceTest
{
protected:
    void SetUp() override
    {
        NiSkinInstanceTest::SetUp();
        NiBuildSqrtTable();
    }
    void TearDown() override
    {
        NiFreeSqrtTable();
        NiSkinInstanceTest::TearDown();
    }
};

TEST_F(NiDeformTest, VerticesWithoutWeightsEndAtZero)
{
    SkinnedScene kScene;
    kScene.m_spSkin->SetSkinData(SkinData({{{0, 1.0f}}, {}}));
    const NiVec3 akSource[2] = {{1, 2, 3}, {4, 5, 6}};
    NiVec3 akOut[2] = {{9, 9, 9}, {9, 9, 9}};
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 2, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[0], NiVec3(1, 2, 3));
    EXPECT_EQ(akOut[1], NiVec3::ZERO);
}

TEST_F(NiDeformTest, EqualBonesReproduceTheirTransform)
{
    SkinnedScene kScene;
    // Weights 0.25 and 0.75 over two bones at the same place.
    kScene.m_spSkin->SetSkinData(SkinData({{{0, 0.25f}}, {{0, 0.75f}}}));
    const NiXform kBone(QuarterTurnZ(), NiVec3(1, 2, 3), 2.0f);
    for (auto& spBone : kScene.m_aspBone)
        spBone->SetLocalTransform(kBone);
    kScene.m_spRoot->SetTranslate(NiVec3(10, 0, 0)); // the skin is relative to the root
    kScene.m_spRoot->Update(0.0f);
    const NiVec3 kSource(1, 0, 0);
    const NiVec3 kNormal(1, 0, 0);
    NiVec3 kOut;
    NiVec3 kOutNormal;
    kScene.m_spSkin->NiDeformSkinnedVertices(&kSource, &kNormal, 1, &kOut, &kOutNormal, nullptr, nullptr, 12);
    ExpectNear(kOut, kBone * kSource);
    ExpectNear(kOutNormal, NiVec3(0, 1, 0), 1e-3f);
}

TEST_F(NiDeformTest, StrideLeavesTheBytesBetweenVectorsAndNormalsAreUnit)
{
    SkinnedScene kScene;
    kScene.m_spSkin->SetSkinData(SkinData({{{0, 0.5f}, {1, 1.0f}, {7, 1.0f}}, {{0, 0.5f}}}));
    kScene.m_aspBone[1]->SetRotate(QuarterTurnZ());
    kScene.m_aspBone[1]->SetTranslate(NiVec3::ZERO);
    kScene.m_spRoot->Update(0.0f);
    // Position, normal, binormal, tangent: 48 bytes, plus 16 sentinel bytes.
    constexpr std::uint32_t STRIDE = 64;
    alignas(16) std::uint8_t aucBuffer[2 * STRIDE];
    std::memset(aucBuffer, 0xAB, sizeof(aucBuffer));
    const NiVec3 akSource[2] = {{1, 0, 0}, {0, 1, 0}};
    const NiVec3 akNormals[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}};
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, akNormals, 2, aucBuffer, aucBuffer + 12, aucBuffer + 24,
                                             aucBuffer + 36, STRIDE);
    for (std::uint32_t v = 0; v < 2; ++v)
    {
        for (std::uint32_t b = 48; b < STRIDE; ++b)
            EXPECT_EQ(aucBuffer[v * STRIDE + b], 0xAB) << v << " " << b;
        for (std::uint32_t c = 1; c < 4; ++c)
        {
            NiVec3 kVector;
            std::memcpy(&kVector, aucBuffer + v * STRIDE + 12 * c, 12);
            EXPECT_NEAR(kVector.Length(), 1.0f, 1e-3f);
        }
    }
    NiVec3 kFirst;
    std::memcpy(&kFirst, aucBuffer, 12);
    ExpectNear(kFirst, NiVec3(0.5f, 0.5f, 0)); // half unturned, half turned
    NiVec3 kTangent;
    std::memcpy(&kTangent, aucBuffer + STRIDE + 36, 12);
    ExpectNear(kTangent, NiVec3(0, 0, 1), 1e-3f);

    // Normals without binormal and tangent outputs; positions alone.
    NiVec3 akPacked[2];
    NiVec3 akPackedNormals[2];
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, akNormals, 2, akPacked, akPackedNormals, nullptr, nullptr, 12);
    ExpectNear(akPacked[0], NiVec3(0.5f, 0.5f, 0));
    EXPECT_NEAR(akPackedNormals[1].Length(), 1.0f, 1e-3f);
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 2, akPacked, akPackedNormals, nullptr, nullptr, 12);
    ExpectNear(akPacked[1], NiVec3(0, 1, 0));
}
TEST_F(NiDeformTest, PositionsAndNormalsAtStride32KeepTheSentinels)
{
    SkinnedScene kScene;
    // Vertex 1 has no weight; vertex 0 is half on each bone.
    kScene.m_spSkin->SetSkinData(SkinData({{{0, 0.5f}}, {{0, 0.5f}}}));
    kScene.m_aspBone[1]->SetTranslate(NiVec3(0, 0, 4));
    kScene.m_spRoot->Update(0.0f);
    constexpr std::uint32_t STRIDE = 32;
    alignas(16) std::uint8_t aucBuffer[2 * STRIDE];
    std::memset(aucBuffer, 0xCD, sizeof(aucBuffer));
    const NiVec3 akSource[2] = {{1, 0, 0}, {5, 5, 5}};
    const NiVec3 akNormals[2] = {{0, 3, 0}, {0, 0, 1}};
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, akNormals, 2, aucBuffer, aucBuffer + 12, nullptr, nullptr,
                                             STRIDE);
    for (std::uint32_t v = 0; v < 2; ++v)
    {
        for (std::uint32_t b = 24; b < STRIDE; ++b)
            EXPECT_EQ(aucBuffer[v * STRIDE + b], 0xCD) << v << " " << b;
    }
    NiVec3 kVector;
    std::memcpy(&kVector, aucBuffer, 12);
    ExpectNear(kVector, NiVec3(1, 0, 2));
    std::memcpy(&kVector, aucBuffer + 12, 12);
    ExpectNear(kVector, NiVec3(0, 1, 0), 1e-3f);
    std::memcpy(&kVector, aucBuffer + STRIDE, 12);
    EXPECT_EQ(kVector, NiVec3::ZERO);
    std::memcpy(&kVector, aucBuffer + STRIDE + 12, 12);
    EXPECT_EQ(kVector, NiVec3::ZERO);
}

TEST_F(NiDeformTest, NullBonesAreSkippedAndANullRootIsTheIdentity)
{
    SkinnedScene kScene;
    kScene.m_spRoot->SetTranslate(NiVec3(10, 0, 0));
    kScene.m_spRoot->Update(0.0f);
    const NiVec3 akSource[4] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}};
    NiVec3 akOut[4];
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 4, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[0], NiVec3(1, 0, 0)); // relative to the root

    // Without a root parent the bones' world frames are used as they are.
    kScene.m_spSkin->SetRootParent(nullptr);
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 4, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[0], NiVec3(11, 0, 0));
    EXPECT_EQ(akOut[3], NiVec3(10, 0, 3));

    // A missing bone moves nothing: its vertices stay at zero.
    kScene.m_spSkin->SetBone(1, nullptr);
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 4, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[1], NiVec3(10, 1, 0));
    EXPECT_EQ(akOut[2], NiVec3::ZERO);
    NiBoundSphere kBound;
    kScene.m_spSkin->UpdateModelBound(kBound);
    ExpectNear(kBound.m_kCenter, NiVec3(10, 0, 0));
}

// A skin of many vertices on six moved, turned and scaled bones, one to four
// weights per vertex (unnormalised, some zero), some vertices without any;
// deformed vertex by vertex and, forced by a fifth zero weight on one vertex,
// bone by bone. Every component of positions, normals, binormals and
// tangents agrees within 1e-5, and the positions with their own sums.
TEST_F(NiDeformTest, VertexMajorSkinningEqualsBoneByBone)
{
    constexpr std::uint32_t VERTICES = 500;
    constexpr std::uint32_t BONES = 6;
    std::uint32_t uiState = 12345;
    auto fnRandom = [&uiState](float a, float b) {
        uiState = uiState * 1664525u + 1013904223u;
        return a + (b - a) * static_cast<float>(uiState >> 8) / 16777216.0f;
    };
    std::vector<std::vector<NiSkinData::SkinWeight>> kWeights(BONES);
    for (std::uint32_t v = 0; v + 7 < VERTICES; ++v) // the last seven have no weight
    {
        const auto uiCount = static_cast<std::uint32_t>(fnRandom(1.0f, 4.999f));
        const auto uiFirst = static_cast<std::uint32_t>(fnRandom(0.0f, 5.999f));
        for (std::uint32_t w = 0; w < uiCount; ++w)
        {
            float fWeight = v % 11 == 0 && w == 1 ? 0.0f : fnRandom(0.05f, 0.6f);
            kWeights[(uiFirst + w) % BONES].push_back({static_cast<std::uint16_t>(v), fWeight});
        }
    }
    std::vector<std::vector<NiSkinData::SkinWeight>> kFive = kWeights;
    // Vertex 3 gets a fifth bone's weight of zero; whichever five bones it
    // has, one of them now holds two of its weights or a new one.
    for (std::uint32_t b = 0; b < BONES; ++b)
        kFive[b].push_back({3, 0.0f});

    NiNodePtr spRoot = new NiNode;
    spRoot->SetTranslate(NiVec3(3, -1, 2));
    std::vector<NiNodePtr> kBones;
    NiRefPtr<NiSkinInstance> spFast = new NiSkinInstance;
    NiRefPtr<NiSkinInstance> spSlow = new NiSkinInstance;
    spFast->SetSkinData(SkinData(kWeights));
    spSlow->SetSkinData(SkinData(kFive));
    ASSERT_NE(spFast->GetSkinData()->GetVertexWeights(), nullptr);
    ASSERT_EQ(spSlow->GetSkinData()->GetVertexWeights(), nullptr);
    for (NiSkinInstance* pkSkin : {spFast.Get(), spSlow.Get()})
    {
        NiXform kSkinToRoot(NiMatrix3x3(), NiVec3(0.5f, 0, 0), 1.5f);
        pkSkin->GetSkinData()->SetRootParentToSkin(kSkinToRoot);
        pkSkin->SetRootParent(spRoot);
    }
    for (std::uint32_t b = 0; b < BONES; ++b)
    {
        NiNodePtr spBone = new NiNode;
        NiMatrix3x3 kTurn;
        kTurn.MakeZRotation(0.4f * static_cast<float>(b));
        NiMatrix3x3 kTilt;
        kTilt.MakeXRotation(-0.3f * static_cast<float>(b));
        spBone->SetRotate(kTurn * kTilt);
        spBone->SetTranslate(NiVec3(fnRandom(-4, 4), fnRandom(-4, 4), fnRandom(-4, 4)));
        spBone->SetScale(fnRandom(0.5f, 2.0f));
        spRoot->AttachChild(spBone);
        spFast->SetBone(b, spBone);
        spSlow->SetBone(b, spBone);
        kBones.push_back(spBone);
        for (NiSkinInstance* pkSkin : {spFast.Get(), spSlow.Get()})
        {
            NiSkinData::BoneData& kData = pkSkin->GetSkinData()->GetBoneData()[b];
            kData.m_kSkinToBone = NiXform(kTilt, NiVec3(0, 0.25f * static_cast<float>(b), 0), 1.0f);
        }
    }
    spRoot->Update(0.0f);

    std::vector<NiVec3> kSource(VERTICES);
    std::vector<NiVec3> kVectors(3 * VERTICES); // normals, binormals, tangents
    for (NiVec3& k : kSource)
        k = NiVec3(fnRandom(-5, 5), fnRandom(-5, 5), fnRandom(-5, 5));
    for (NiVec3& k : kVectors)
    {
        k = NiVec3(fnRandom(-1, 1), fnRandom(-1, 1), fnRandom(-1, 1));
        k.Normalize();
    }
    constexpr std::uint32_t STRIDE = 52; // position, three vectors, a sentinel word
    std::vector<std::uint8_t> kFast(VERTICES * STRIDE, 0xCD);
    std::vector<std::uint8_t> kSlow(VERTICES * STRIDE, 0xCD);
    for (int iOutputs = 0; iOutputs < 3; ++iOutputs)
    {
        SCOPED_TRACE(iOutputs);
        const NiVec3* pkNormals = iOutputs > 0 ? kVectors.data() : nullptr;
        auto fnDeform = [&](const NiSkinInstance& kSkin, std::vector<std::uint8_t>& kOut) {
            std::uint8_t* p = kOut.data();
            kSkin.NiDeformSkinnedVertices(kSource.data(), pkNormals, VERTICES, p, p + 12, iOutputs > 1 ? p + 24 : nullptr,
                                          iOutputs > 1 ? p + 36 : nullptr, STRIDE);
        };
        fnDeform(*spFast, kFast);
        fnDeform(*spSlow, kSlow);
        const int iVectors = iOutputs == 0 ? 0 : (iOutputs == 1 ? 1 : 3);
        for (std::uint32_t v = 0; v < VERTICES; ++v)
        {
            SCOPED_TRACE(v);
            for (int c = 0; c < 1 + iVectors; ++c)
            {
                float afFast[3], afSlow[3];
                std::memcpy(afFast, kFast.data() + v * STRIDE + 12 * c, 12);
                std::memcpy(afSlow, kSlow.data() + v * STRIDE + 12 * c, 12);
                for (int i = 0; i < 3; ++i)
                    ASSERT_NEAR(afFast[i], afSlow[i], 1e-5f) << "vector " << c;
            }
            EXPECT_EQ(kFast[v * STRIDE + 48], 0xCD);
            if (v + 7 >= VERTICES)
            {
                NiVec3 kPos;
                std::memcpy(&kPos, kFast.data() + v * STRIDE, 12);
                EXPECT_EQ(kPos, NiVec3::ZERO);
            }
        }
    }

    // The positions are the weighted sums of the bones' transforms.
    const NiXform kW = spFast->GetSkinData()->GetRootParentToSkin().Multiply(spRoot->GetWorldTransform().Invert());
    std::vector<NiVec3> kExpected(VERTICES, NiVec3::ZERO);
    for (std::uint32_t b = 0; b < BONES; ++b)
    {
        NiXform kB = kW.Multiply(kBones[b]->GetWorldTransform()).Multiply(spFast->GetSkinData()->GetBoneData()[b].m_kSkinToBone);
        for (const NiSkinData::SkinWeight& kWeight : kWeights[b])
            kExpected[kWeight.m_usVertex] += (kB * kSource[kWeight.m_usVertex]) * kWeight.m_fWeight;
    }
    for (std::uint32_t v = 0; v < VERTICES; ++v)
    {
        NiVec3 kPos;
        std::memcpy(&kPos, kFast.data() + v * STRIDE, 12);
        ExpectNear(kPos, kExpected[v], 1e-4f);
    }
}

// Skins the vertex loop cannot take go bone by bone with the same result:
// a missing bone, fewer bones on the instance than in the data, weights
// naming vertices past the caller's count.
TEST_F(NiDeformTest, SkinsWithGapsStillDeform)
{
    SkinnedScene kScene;
    kScene.m_spSkin->SetSkinData(SkinData({{{0, 1.0f}, {5, 1.0f}}, {{1, 0.5f}}}));
    kScene.m_spSkin->SetBone(0, kScene.m_aspBone[0]);
    kScene.m_spSkin->SetBone(1, kScene.m_aspBone[1]);
    ASSERT_NE(kScene.m_spSkin->GetSkinData()->GetVertexWeights(), nullptr);
    const NiVec3 akSource[2] = {{1, 2, 3}, {4, 5, 6}};
    NiVec3 akOut[2];
    // Vertex 5 is past the count: ignored.
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 2, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[0], NiVec3(1, 2, 3));
    ExpectNear(akOut[1], (kScene.m_aspBone[1]->GetWorldTransform() * akSource[1]) * 0.5f);

    // Without bone 1 its weights count for nothing.
    kScene.m_spSkin->SetBone(1, nullptr);
    kScene.m_spSkin->NiDeformSkinnedVertices(akSource, nullptr, 2, akOut, nullptr, nullptr, nullptr, 12);
    EXPECT_EQ(akOut[0], NiVec3(1, 2, 3));
    EXPECT_EQ(akOut[1], NiVec3::ZERO);
}

TEST(NiSkinDataTest, VertexWeightsAreVertexMajorInBoneOrder)
{
    NiRefPtr<NiSkinData> spData = SkinData({{{2, 0.5f}}, {{0, 1.0f}, {2, 0.25f}}, {}, {{2, 0.125f}}});
    const NiSkinData::VertexWeights* pk = spData->GetVertexWeights();
    ASSERT_NE(pk, nullptr);
    ASSERT_EQ(spData->GetVertexWeightCount(), 3u);
    EXPECT_EQ(pk[0].m_ausBone[0], 1);
    EXPECT_EQ(pk[0].m_afWeight[0], 1.0f);
    EXPECT_EQ(pk[0].m_ausBone[1], 4); // unused: the bone count, weight 0
    EXPECT_EQ(pk[0].m_afWeight[1], 0.0f);
    EXPECT_EQ(pk[1].m_ausBone[0], 4);
    EXPECT_EQ(pk[2].m_ausBone[0], 0);
    EXPECT_EQ(pk[2].m_ausBone[1], 1);
    EXPECT_EQ(pk[2].m_ausBone[2], 3);
    EXPECT_EQ(pk[2].m_afWeight[2], 0.125f);

    // Setting weights prepares them again.
    std::unique_ptr<NiSkinData::SkinWeight[]> spWeights(new NiSkinData::SkinWeight[1]{{1, 2.0f}});
    spData->SetBoneWeights(2, 1, std::move(spWeights));
    ASSERT_NE(spData->GetVertexWeights(), nullptr);
    EXPECT_EQ(spData->GetVertexWeights()[1].m_ausBone[0], 2);

    // A lone weight on vertex 65535 would make a table of 65,536 records
    // from six bytes of a file: such skins keep none.
    EXPECT_EQ(SkinData({{{65535, 1.0f}}})->GetVertexWeights(), nullptr);
    // Five weights on one vertex: none either.
    EXPECT_EQ(SkinData({{{0, 1}}, {{0, 1}}, {{0, 1}}, {{0, 1}}, {{0, 1}}})->GetVertexWeights(), nullptr);
}
} // namespace scene_test
