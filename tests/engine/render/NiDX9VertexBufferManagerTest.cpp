#include "engine/render/NiDX9GeometryDataManager.h"
#include "engine/render/NiDX9IndexBufferManager.h"
#include "engine/render/NiDX9VertexBufferManager.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "tests/engine/render/BufferTestSupport.h"

#include <cstring>
#include <vector>

namespace
{
using buffertest::BufferTest;
using buffertest::ReadAt;

class NiDX9VertexBufferManagerTest : public BufferTest
{
public:
    void SetUp() override
    {
        BufferTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        NiD3DPass::SetMaxTextureBlendStages(8);
    }
    void TearDown() override
    {
        NiD3DPass::ResetStageLimits();
        BufferTest::TearDown();
    }
    NiDX9VertexBufferManager* VB() { return m_spRenderer->GetVBManager(); }
    NiDX9IndexBufferManager* IB() { return m_spRenderer->GetIBManager(); }
    NiDX9GeometryDataManager* Groups() { return m_spRenderer->GetGeometryGroupManager(); }

    // The bytes of a vertex buffer from an offset, read back through a lock.
    static std::vector<std::uint8_t> Bytes(gfx::IDirect3DVertexBuffer9* pkVB, std::uint32_t uiOffset,
                                           std::uint32_t uiSize)
    {
        void* pv = nullptr;
        EXPECT_EQ(pkVB->Lock(uiOffset, uiSize, &pv, gfx::D3DLOCK_READONLY), gfx::D3D_OK);
        std::vector<std::uint8_t> k(static_cast<std::uint8_t*>(pv), static_cast<std::uint8_t*>(pv) + uiSize);
        pkVB->Unlock();
        return k;
    }
};

TEST_P(NiDX9VertexBufferManagerTest, LayoutsOfGeometryAndSkinPartitions)
{
    NiRefPtr<NiTriShapeData> spFull = MakeData(3, true, true, 2);
    NiDX9VertexLayout k = NiDX9VertexBufferManager::ComputeVertexLayout(spFull, nullptr);
    EXPECT_EQ(k.m_uiFVF, 0x252u);
    EXPECT_EQ(k.m_uiStride, 44u);
    NiSkinPartition::Partition kPart;
    kPart.m_usBonesPerVertex = 4;
    k = NiDX9VertexBufferManager::ComputeVertexLayout(spFull, &kPart);
    EXPECT_EQ(k.m_uiFVF, 0x25Au);
    EXPECT_EQ(k.m_uiStride, 56u);
    EXPECT_EQ(k.m_iWeights, 12);
    EXPECT_EQ(k.m_iNormal, 24);

    NiRefPtr<NiTriShapeData> spBare = MakeData(3, false, false, 0);
    k = NiDX9VertexBufferManager::ComputeVertexLayout(spBare, nullptr);
    EXPECT_EQ(k.m_uiFVF, 0x102u);
    EXPECT_EQ(k.m_uiStride, 20u);

    NiRefPtr<NiTriShapeData> spSets = MakeData(3, false, false, 2);
    k = NiDX9VertexBufferManager::ComputeVertexLayout(spSets, nullptr);
    EXPECT_EQ(k.m_uiFVF, 0x202u);
    EXPECT_EQ(k.m_uiStride, 28u);
    EXPECT_EQ(k.m_iTexture, 12);
    NiD3DPass::SetMaxTextureBlendStages(1); // more sets than stages in use are cut
    k = NiDX9VertexBufferManager::ComputeVertexLayout(spSets, nullptr);
    EXPECT_EQ(k.m_uiFVF, 0x102u);
    EXPECT_EQ(k.m_uiStride, 20u);
}

TEST_P(NiDX9VertexBufferManagerTest, ColoursRoundToEvenAndClamp)
{
    EXPECT_EQ(NiDX9VertexBufferManager::PackColor(0.2f, 0.4f, 0.6f, 1.0f), 0xFF336699u);
    EXPECT_EQ(NiDX9VertexBufferManager::PackColor(1.0f, 0.0f, 0.0f, 0.5f), 0x80FF0000u);
    // Out-of-range channels are clamped instead of spilling into their neighbours.
    EXPECT_EQ(NiDX9VertexBufferManager::PackColor(2.0f, -1.0f, 0.0f, 1.0f), 0xFFFF0000u);
}

TEST_P(NiDX9VertexBufferManagerTest, StagingKeepsOldBytesOnlyWithoutDiscardOrNoOverwrite)
{
    gfx::IDirect3DVertexBuffer9* pkVB = nullptr;
    ASSERT_EQ(m_pkDevice->CreateVertexBuffer(64, gfx::D3DUSAGE_DYNAMIC | gfx::D3DUSAGE_WRITEONLY, 0x002,
                                             gfx::D3DPOOL_DEFAULT, &pkVB, nullptr),
              gfx::D3D_OK);
    auto* puc = static_cast<std::uint8_t*>(VB()->LockBuffer(pkVB, 0, 64, 0));
    ASSERT_NE(puc, nullptr);
    EXPECT_EQ(VB()->GetLockDepth(), 1u);
    std::memset(puc, 0x11, 64);
    EXPECT_TRUE(VB()->UnlockBuffer(pkVB));
    EXPECT_EQ(VB()->GetLockDepth(), 0u);
    EXPECT_EQ(VB()->GetStagingCapacity(), 64u);

    puc = static_cast<std::uint8_t*>(VB()->LockBuffer(pkVB, 16, 8, 0));
    EXPECT_EQ(puc[0], 0x11); // partial update: the old bytes came in
    puc[0] = 0x22;
    EXPECT_TRUE(VB()->UnlockBuffer(pkVB));
    EXPECT_EQ(Bytes(pkVB, 16, 2), (std::vector<std::uint8_t>{0x22, 0x11}));

    std::memset(puc, 0x77, 8); // the staging block itself
    puc = static_cast<std::uint8_t*>(VB()->LockBuffer(pkVB, 0, 8, gfx::D3DLOCK_NOOVERWRITE));
    EXPECT_EQ(puc[0], 0x77); // not read back
    EXPECT_TRUE(VB()->UnlockBuffer(pkVB));
    EXPECT_EQ(VB()->GetStagingCapacity(), 64u); // it only grows
    EXPECT_EQ(VB()->LockBuffer(pkVB, 60, 8, 0), nullptr); // the device refuses: nothing held
    EXPECT_EQ(VB()->GetLockDepth(), 0u);
    pkVB->Release();
}

TEST_P(NiDX9VertexBufferManagerTest, IndexBuffersAndTemporaryConnectivity)
{
    const std::uint16_t ausIndices[3] = {2, 1, 0};
    std::uint32_t uiSize = 0;
    gfx::IDirect3DIndexBuffer9* pkIB = IB()->PackBuffer(ausIndices, 3, nullptr, uiSize, gfx::D3DPOOL_MANAGED, 8);
    ASSERT_NE(pkIB, nullptr);
    EXPECT_EQ(uiSize, 6u);
    gfx::D3DINDEXBUFFER_DESC kDesc{};
    pkIB->GetDesc(&kDesc);
    EXPECT_EQ(kDesc.Format, gfx::D3DFMT_INDEX16);
    EXPECT_EQ(std::memcmp(pkIB->Bytes(), ausIndices, 6), 0);
    uiSize = 99;
    EXPECT_EQ(IB()->PackBuffer(ausIndices, 2, pkIB, uiSize, gfx::D3DPOOL_MANAGED, 8), pkIB); // fits: reused
    EXPECT_EQ(uiSize, 99u);
    gfx::IDirect3DIndexBuffer9* pkBigger = IB()->PackBuffer(ausIndices, 3, nullptr, uiSize, gfx::D3DPOOL_MANAGED, 8);
    const std::uint16_t ausMore[4] = {0, 1, 2, 3};
    gfx::IDirect3DIndexBuffer9* pkNew = IB()->PackBuffer(ausMore, 4, pkBigger, uiSize, gfx::D3DPOOL_MANAGED, 8);
    EXPECT_NE(pkNew, pkBigger); // too small: a new one, its size reported
    EXPECT_EQ(uiSize, 8u);
    gfx::IDirect3DIndexBuffer9* pkDefault = IB()->PackBuffer(ausMore, 4, pkIB, uiSize, gfx::D3DPOOL_DEFAULT, 8);
    EXPECT_NE(pkDefault, pkIB); // another pool is another buffer
    for (auto* pk : {pkIB, pkBigger, pkNew, pkDefault})
        pk->Release();

    gfx::IDirect3DIndexBuffer9* pkPoints = IB()->ResizeTempPointConnectivity(2, true, 8, gfx::D3DPOOL_MANAGED);
    ASSERT_NE(pkPoints, nullptr);
    const std::uint16_t ausQuads[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    EXPECT_EQ(std::memcmp(pkPoints->Bytes(), ausQuads, sizeof(ausQuads)), 0);
    EXPECT_EQ(IB()->ResizeTempPointConnectivity(1, false, 8, gfx::D3DPOOL_MANAGED), pkPoints);
    EXPECT_EQ(IB()->ResizeTempPointConnectivity(0, true, 8, gfx::D3DPOOL_MANAGED), nullptr);
    // More points than 16-bit indices reach is refused, not wrapped.
    EXPECT_NE(IB()->ResizeTempPointConnectivity(16384, true, 8, gfx::D3DPOOL_MANAGED), nullptr);
    EXPECT_EQ(IB()->ResizeTempPointConnectivity(16385, true, 8, gfx::D3DPOOL_MANAGED), nullptr);

    const std::uint8_t aucFlags[3] = {1, 0, 1};
    std::uint32_t uiCount = 0;
    gfx::IDirect3DIndexBuffer9* pkLines = IB()->ResizeTempLineConnectivity(3, aucFlags, uiCount, 8, gfx::D3DPOOL_MANAGED);
    ASSERT_NE(pkLines, nullptr);
    EXPECT_EQ(uiCount, 4u);
    const std::uint16_t ausPairs[4] = {0, 1, 2, 0};
    EXPECT_EQ(std::memcmp(pkLines->Bytes(), ausPairs, sizeof(ausPairs)), 0);
    std::vector<std::uint8_t> kMany(65537, 1);
    EXPECT_NE(IB()->ResizeTempLineConnectivity(65536, kMany.data(), uiCount, 8, gfx::D3DPOOL_MANAGED), nullptr);
    EXPECT_EQ(uiCount, 2u * 65536u);
    EXPECT_EQ(IB()->ResizeTempLineConnectivity(65537, kMany.data(), uiCount, 8, gfx::D3DPOOL_MANAGED), nullptr);
    EXPECT_EQ(IB()->ResizeTempLineConnectivity(3, nullptr, uiCount, 8, gfx::D3DPOOL_MANAGED), nullptr);
}

TEST_P(NiDX9VertexBufferManagerTest, PackGeometryWritesTheLayoutAndOnlyTheFlaggedParts)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(3, false, true, 2);
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    ASSERT_TRUE(Groups()->CreateGeometryData(pkStatic, spData, nullptr, 0));
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spData->GetRendererData());
    NiDX9VertexBufferRange* pkRange = VB()->PackGeometry(spData, nullptr, 0, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(pkRecord->m_uiFVF, 0x242u); // XYZ, DIFFUSE, two sets
    const std::uint32_t uiStride = pkRecord->GetStride(0);
    EXPECT_EQ(uiStride, 32u);
    std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 3 * uiStride);
    // A new stream is written whole whatever the flags said.
    EXPECT_EQ(ReadAt<float>(k.data(), uiStride + 4), 2.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 12), 0xFF336699u);
    EXPECT_EQ(ReadAt<float>(k.data(), 16), 0.0f);               // set 0, vertex 0
    EXPECT_EQ(ReadAt<float>(k.data(), 24), 3.0f);               // set 1, vertex 0 (entry 3)
    EXPECT_EQ(ReadAt<float>(k.data(), 2 * uiStride + 24), 5.0f);

    // Reused, flags 4: only the colours change.
    spData->GetVertices()[0] = NiVec3(9, 9, 9);
    spData->GetColors()[0] = NiColorRGBA(1.0f, 0.0f, 0.0f, 0.5f);
    EXPECT_EQ(VB()->PackGeometry(spData, nullptr, 4, pkRange, nullptr), pkRange);
    k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 3 * uiStride);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 0.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 12), 0x80FF0000u);

    // A destination pointer locks nothing and gets everything flagged.
    std::vector<std::uint8_t> kDest(3 * uiStride, 0);
    EXPECT_EQ(VB()->PackGeometry(spData, nullptr, 1, pkRange, kDest.data()), pkRange);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 0), 9.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(kDest.data(), 12), 0u);

    // A buffer 10 bytes short is not reused: a new stream, written whole.
    gfx::IDirect3DVertexBuffer9* pkShort = nullptr;
    ASSERT_EQ(m_pkDevice->CreateVertexBuffer(3 * uiStride - 10, 8, 0x242, gfx::D3DPOOL_MANAGED, &pkShort, nullptr),
              gfx::D3D_OK);
    NiDX9VertexBufferRange kShort;
    kShort.m_pkVB = pkShort;
    kShort.m_uiSize = 3 * uiStride - 10;
    NiDX9VertexBufferRange* pkOther = VB()->PackGeometry(spData, nullptr, 4, &kShort, nullptr);
    ASSERT_NE(pkOther, nullptr);
    EXPECT_NE(pkOther->m_pkVB, pkShort);
    k = Bytes(pkOther->m_pkVB, pkOther->m_uiOffset, 3 * uiStride);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 9.0f);
    pkShort->Release();

    NiRefPtr<NiTriShapeData> spEmpty = MakeData(1, false, false, 0);
    spEmpty->SetActiveVertexCount(0);
    EXPECT_EQ(VB()->PackGeometry(nullptr, nullptr, 0xFFF, nullptr, nullptr), nullptr);
}

TEST_P(NiDX9VertexBufferManagerTest, VolatileDataTakesAFreshDynamicRangeEachPack)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(10, true, false, 0);
    ASSERT_TRUE(Groups()->CreateGeometryData(NiDX9GeometryBufferGroup::GetDynamicInstance(), spData, nullptr, 0));
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spData->GetRendererData());
    NiDX9VertexBufferRange* pkRange = VB()->PackGeometry(spData, nullptr, 0xFFF, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(pkRange->m_uiLockFlags, gfx::D3DLOCK_DISCARD);
    EXPECT_EQ(pkRecord->m_uiBaseVertexIndex, 0u);
    pkRange = VB()->PackGeometry(spData, nullptr, 0xFFF, pkRange, nullptr);
    EXPECT_EQ(pkRange->m_uiLockFlags, gfx::D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(pkRecord->m_uiBaseVertexIndex, 10u);
    const std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 10 * 32);
    EXPECT_EQ(ReadAt<float>(k.data(), 32 * 4 + 8), 12.0f);
}

TEST_P(NiDX9VertexBufferManagerTest, SkinPartitionsCopyThroughTheVertexMap)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(6, true, true, 1);
    NiSkinPartition::Partition kPart;
    kPart.m_usVertices = 2;
    kPart.m_usBonesPerVertex = 4;
    kPart.m_pusVertexMap.reset(new std::uint16_t[2]{5, 2});
    kPart.m_pfWeights.reset(new float[8]{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.5f, 0.0f, 0.0f});
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    pkStatic->CreateGeometryData(spData, nullptr, &kPart, 0);
    gfx::IDirect3DVertexBuffer9* pkVB = VB()->PackSkinPartition(spData, &kPart, 1, nullptr, nullptr);
    ASSERT_NE(pkVB, nullptr);
    EXPECT_EQ(buffertest::Describe(pkVB).FVF, 0x15Au);
    std::vector<std::uint8_t> k = Bytes(pkVB, 0, 2 * 48);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 5.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 12), 0.1f);
    EXPECT_EQ(ReadAt<float>(k.data(), 20), 0.3f);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 4), 4.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 28), 1.0f); // normal y of vertex 2
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 36), 0xFF336699u);

    // Reused by its description: only positions rewritten.
    spData->GetColors()[5] = NiColorRGBA(1, 0, 0, 0.5f);
    spData->GetVertices()[5] = NiVec3(7, 7, 7);
    EXPECT_EQ(VB()->PackSkinPartition(spData, &kPart, 1, pkVB, nullptr), pkVB);
    k = Bytes(pkVB, 0, 48);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 7.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 36), 0xFF336699u);

    // Two bones: one slot written, the rest zero; a map past the data reads nothing.
    kPart.m_usBonesPerVertex = 2;
    kPart.m_pusVertexMap[1] = 60000;
    std::vector<std::uint8_t> kDest(2 * 48, 0xAB);
    EXPECT_EQ(VB()->PackSkinPartition(spData, &kPart, 0xF, pkVB, kDest.data()), pkVB);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 12), 0.1f);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 16), 0.0f);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 48), 0.0f);
    // Nine bones per vertex (hostile): at most three stored, nothing read past a vertex's weights.
    kPart.m_usBonesPerVertex = 9;
    kPart.m_pfWeights.reset(new float[18]{});
    EXPECT_EQ(VB()->PackSkinPartition(spData, &kPart, 0xF, pkVB, kDest.data()), pkVB);
    pkStatic->ReleasePartitionData(&kPart);
}

TEST_P(NiDX9VertexBufferManagerTest, SoftwareSkinnedPartitionsBlendThroughThePaletteWithoutWeights)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(6, true, true, 1);
    NiSkinPartition::Partition kPart;
    kPart.m_usVertices = 2;
    kPart.m_usBones = 6;
    kPart.m_usBonesPerVertex = 2;
    kPart.m_pusBones.reset(new std::uint16_t[6]{0, 1, 2, 3, 4, 5});
    kPart.m_pusVertexMap.reset(new std::uint16_t[2]{1, 4});
    kPart.m_pfWeights.reset(new float[4]{0.25f, 0.75f, 1.0f, 0.5f});
    // The second vertex's second place names a bone past the partition's (hostile): it adds nothing.
    kPart.m_pucBonePalette.reset(new std::uint8_t[4]{5, 2, 3, 9});
    // Bone b moves 10 b along x.
    std::vector<gfx::D3DMATRIX> kBones(6);
    for (std::size_t b = 0; b < kBones.size(); ++b)
    {
        kBones[b] = gfx::D3DMATRIX{};
        for (int i = 0; i < 4; ++i)
            kBones[b].m[i][i] = 1.0f;
        kBones[b].m[3][0] = 10.0f * static_cast<float>(b);
    }
    NiDX9VertexBufferManager::SoftwareBones kSoftware{kBones.data(), 6};
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    pkStatic->CreateGeometryData(spData, nullptr, &kPart, 0);
    gfx::IDirect3DVertexBuffer9* pkVB = VB()->PackSkinPartition(spData, &kPart, 0xF, nullptr, nullptr, &kSoftware);
    ASSERT_NE(pkVB, nullptr);
    // Plain positions: no weights in the layout.
    EXPECT_EQ(buffertest::Describe(pkVB).FVF, 0x152u);
    std::vector<std::uint8_t> k = Bytes(pkVB, 0, 2 * 36);
    // Vertex 1 (1, 2, 3): a quarter through bone 5, three quarters through bone 2.
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 0), 28.5f);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 4), 2.0f);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 8), 3.0f);
    // Normals take no translation: (0, 1, 1) stays.
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 12), 0.0f);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 16), 1.0f);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 20), 1.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 24), 0xFF336699u);
    // Vertex 4 (4, 8, 12): all through bone 3.
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 36), 34.0f);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 40), 8.0f);

    // Fewer matrices than the skin's bones: the missing ones add nothing.
    kSoftware.m_uiCount = 4;
    EXPECT_EQ(VB()->PackSkinPartition(spData, &kPart, 1, pkVB, nullptr, &kSoftware), pkVB);
    k = Bytes(pkVB, 0, 36);
    EXPECT_FLOAT_EQ(ReadAt<float>(k.data(), 0), 15.75f);
    pkStatic->ReleasePartitionData(&kPart);
}

TEST_P(NiDX9VertexBufferManagerTest, SkinnedDataIsDeformedStraightIntoTheStream)
{
    // One bone, every vertex fully on it, the bone 10 along x from the skin.
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiNode> spBone = new NiNode;
    spRoot->AttachChild(spBone);
    spRoot->Update(0.0f);
    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(1);
    spBones[0].m_kSkinToBone.m_kTranslate = NiVec3(10.0f, 0.0f, 0.0f);
    spSkinData->SetBones(1, std::move(spBones));
    auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(3);
    for (std::uint16_t i = 0; i < 3; ++i)
        spWeights[i] = {i, 1.0f};
    spSkinData->SetBoneWeights(0, 3, std::move(spWeights));
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spSkinData);
    spSkin->SetRootParent(spRoot);
    spSkin->SetBone(0, spBone);

    NiRefPtr<NiTriShapeData> spData = MakeData(3, false, false, 0);
    ASSERT_TRUE(Groups()->CreateGeometryData(NiDX9GeometryBufferGroup::GetStaticInstance(), spData, nullptr, 0));
    NiDX9VertexBufferRange* pkRange = VB()->PackGeometry(spData, spSkin, 1, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    const std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 3 * 20);
    EXPECT_EQ(ReadAt<float>(k.data(), 20), 11.0f); // vertex 1 (1, 2, 3) moved by the bone
    EXPECT_EQ(ReadAt<float>(k.data(), 24), 2.0f);
    // Straight into a given destination too; nothing locked, no stream to give back.
    std::vector<std::uint8_t> kDest(3 * 20, 0xAB);
    EXPECT_EQ(VB()->PackGeometry(spData, spSkin, 1, nullptr, kDest.data()), nullptr);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 40), 12.0f);
}

TEST_P(NiDX9VertexBufferManagerTest, ScreenTexturesAndPolygons)
{
    NiRefPtr<NiScreenTexture> spTexture = new NiScreenTexture(nullptr);
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    ASSERT_TRUE(Groups()->CreateScreenTextureData(pkDynamic, spTexture, 0));
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spTexture->GetRendererData());
    const float afPos[2] = {10, 20};
    const float afColor[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    const float afTex[2] = {0.25f, 0.75f};
    const struct { const float* c; const float* t; std::uint32_t fvf, stride; } akCases[] = {
        {nullptr, nullptr, 0x004, 16}, {afColor, nullptr, 0x044, 20}, {nullptr, afTex, 0x104, 24},
        {afColor, afTex, 0x144, 28}};
    for (const auto& kCase : akCases)
    {
        std::vector<std::uint8_t> kDest(kCase.stride, 0xAB);
        // A new stream is written whole even when the caller's flags name less.
        NiDX9VertexBufferRange* pkRange = VB()->PackScreenTextureVertices(pkRecord, 1, afPos, kCase.c, kCase.t, 0,
                                                                          nullptr, nullptr);
        ASSERT_NE(pkRange, nullptr);
        EXPECT_EQ(pkRecord->m_uiFVF, kCase.fvf);
        const std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, kCase.stride);
        EXPECT_EQ(ReadAt<float>(k.data(), 0), 10.0f);
        EXPECT_EQ(ReadAt<float>(k.data(), 4), 20.0f);
        EXPECT_EQ(ReadAt<float>(k.data(), 8), 0.0f);
        EXPECT_EQ(ReadAt<float>(k.data(), 12), 1.0f);
        if (kCase.c)
        {
            EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 16), 0xFF336699u);
        }
        if (kCase.t)
        {
            EXPECT_EQ(ReadAt<float>(k.data(), kCase.stride - 4), 0.75f);
        }
        pkRecord->SetStream(0, nullptr);
    }
    EXPECT_EQ(VB()->PackScreenTextureVertices(pkRecord, 0, afPos, nullptr, nullptr, 1, nullptr, nullptr), nullptr);

    const NiVec3 akVerts[2] = {{0.5f, 0.5f, 0.0f}, {0.5f, 0.5f, 1.0f}};
    const NiColorRGBA akColors[2] = {{1, 0, 0, 0.5f}, {1, 0, 0, 0.5f}};
    const NiVec2 akTex[2] = {{1, 2}, {3, 4}};
    NiRefPtr<NiScreenPolygon> spPolygon = new NiScreenPolygon(2, akVerts, akTex, akColors);
    ASSERT_TRUE(Groups()->CreateScreenPolygonData(pkDynamic, spPolygon, 0));
    NiDX9VertexBufferRange* pkRange = VB()->PackScreenPolygon(spPolygon, 1.0f, 99.0f, 0x7, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(spPolygon->GetRendererData())->m_uiFVF, 0x142u);
    const std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 48);
    EXPECT_EQ(ReadAt<float>(k.data(), 8), 1.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 24), 50.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 32), 100.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 12), 0x80FF0000u);
    EXPECT_EQ(ReadAt<float>(k.data(), 24 + 20), 4.0f);
    NiRefPtr<NiScreenPolygon> spPlain = new NiScreenPolygon(2, akVerts, nullptr, nullptr);
    std::vector<std::uint8_t> kDest(24, 0);
    EXPECT_EQ(VB()->PackScreenPolygon(spPlain, 1.0f, 99.0f, 1, nullptr, kDest.data()), nullptr);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 12 + 8), 100.0f);
    Groups()->ReleaseScreenPolygonData(spPolygon);
    Groups()->ReleaseScreenTextureData(spTexture);
}

TEST_P(NiDX9VertexBufferManagerTest, HostileSizesStayInBounds)
{
    NiRefPtr<NiTriShapeData> spBig = MakeData(65535, true, true, 2);
    ASSERT_TRUE(Groups()->CreateGeometryData(NiDX9GeometryBufferGroup::GetDynamicInstance(), spBig, nullptr, 0));
    NiDX9VertexBufferRange* pkRange = VB()->PackGeometry(spBig, nullptr, 0xFFF, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_GE(buffertest::Describe(pkRange->m_pkVB).Size, 65535u * 40u);
    NiRefPtr<NiTriShapeData> spNone = MakeData(1, false, false, 0);
    spNone->SetActiveVertexCount(0);
    NiSkinPartition::Partition kEmpty;
    EXPECT_EQ(VB()->PackSkinPartition(spNone, &kEmpty, 0xF, nullptr, nullptr), nullptr);
}

BUFFER_NULL_BACKEND(NiDX9VertexBufferManagerTest);

// Packed streams drawn on the device, with the strict buffer checks on.
class NiDX9DynamicDrawTest : public NiDX9VertexBufferManagerTest
{
public:
    // Packs the data through the dynamic group and draws it from its record.
    gfx::HRESULT Draw(NiGeometryData* pkData)
    {
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
        NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
        m_pkDevice->SetFVF(pkRecord->m_uiFVF);
        m_pkDevice->SetStreamSource(0, pkRange->m_pkVB, 0, pkRecord->GetStride(0));
        return m_pkDevice->DrawPrimitive(gfx::D3DPT_TRIANGLELIST, pkRecord->m_uiBaseVertexIndex,
                                         pkData->GetVertexCount() / 3);
    }
};

TEST_P(NiDX9DynamicDrawTest, DrawingARecordPackedBeforeADiscardCountsOneViolation)
{
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    NiRefPtr<NiTriShapeData> spFirst = MakeData(9, false, true, 0);
    NiRefPtr<NiTriShapeData> spSecond = MakeData(9, false, true, 0);
    ASSERT_TRUE(Groups()->CreateGeometryData(pkDynamic, spFirst, nullptr, 0));
    ASSERT_TRUE(Groups()->CreateGeometryData(pkDynamic, spSecond, nullptr, 0));
    // Pack then draw, twice, appending: nothing to count.
    ASSERT_NE(VB()->PackGeometry(spFirst, nullptr, 0xFFF, nullptr, nullptr), nullptr);
    EXPECT_EQ(Draw(spFirst), gfx::D3D_OK);
    NiDX9VertexBufferRange* pkRange = VB()->PackGeometry(spSecond, nullptr, 0xFFF, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(pkRange->m_uiLockFlags, gfx::D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(Draw(spSecond), gfx::D3D_OK);
    EXPECT_EQ(gfx::StrictBufferViolations(), 0u);

    // The buffer starts again with DISCARD; the second record, packed before it, is drawn after it.
    auto* pkGroup = static_cast<NiDX9DynamicGeometryBufferGroup*>(pkDynamic);
    NiDX9DynamicVertexBuffer* pkBuffer = pkGroup->GetBuffer(0x142);
    ASSERT_NE(pkBuffer, nullptr);
    std::uint32_t uiOffset = 0, uiFlags = 0;
    gfx::IDirect3DVertexBuffer9* pkVB = pkBuffer->ReserveBuffer(20, uiOffset, uiFlags, true, false);
    ASSERT_NE(VB()->LockBuffer(pkVB, uiOffset, 20, uiFlags), nullptr);
    VB()->UnlockBuffer(pkVB);
    EXPECT_EQ(Draw(spSecond), gfx::D3D_OK);
    EXPECT_EQ(gfx::StrictBufferViolations(), 1u);
    m_uiExpectedViolations = 1;
}

RENDERER_BOTH_BACKENDS(NiDX9DynamicDrawTest);
} // namespace
