#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9GeometryDataManager.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriStrips.h"
#include "tests/engine/render/BufferTestSupport.h"

namespace
{
using buffertest::BufferTest;

class NiDX9GeometryBufferGroupTest : public BufferTest
{
public:
    NiDX9GeometryDataManager* Manager() { return m_spRenderer->GetGeometryGroupManager(); }

    // A record of n vertices at the stride, in a group, with the streams asked.
    static NiDX9GeometryBufferData* Record(NiGeometryData* pkData, NiDX9GeometryBufferGroup* pkGroup,
                                           std::uint32_t uiVertices, std::uint32_t uiStride, std::uint32_t uiFVF,
                                           std::uint32_t uiStreams = 1)
    {
        pkGroup->CreateGeometryData(pkData, nullptr, nullptr, 0);
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
        pkRecord->m_uiVertCount = uiVertices;
        pkRecord->m_uiFVF = uiFVF;
        pkRecord->SetStreamCount(uiStreams);
        for (std::uint32_t i = 0; i < uiStreams; ++i)
            pkRecord->SetStride(i, uiStride);
        return pkRecord;
    }
};

TEST_P(NiDX9GeometryBufferGroupTest, KindsAndProcessWideInstances)
{
    // The renderer made kinds 1 and 2 with its device.
    ASSERT_EQ(Manager()->GetGroupCount(), 2u);
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    EXPECT_EQ(Manager()->CreateGroup(1, 5), pkStatic);
    EXPECT_EQ(Manager()->CreateGroup(2, 5), pkDynamic);
    EXPECT_EQ(Manager()->GetGroupCount(), 2u);
    EXPECT_EQ(pkStatic->GetIdentifierBits(), 0u);
    EXPECT_FALSE(pkStatic->IsDynamic());
    EXPECT_TRUE(pkDynamic->IsDynamic());
    EXPECT_EQ(Manager()->CreateGroup(3, 0), nullptr);

    NiDX9GeometryBufferGroup* pkPooledA = Manager()->CreateGroup(0, 0);
    NiDX9GeometryBufferGroup* pkPooledB = Manager()->CreateGroup(0, 0);
    EXPECT_NE(pkPooledA, pkPooledB);
    EXPECT_FALSE(pkPooledA->IsDynamic());
    EXPECT_EQ(pkPooledA->GetDevice(), m_pkDevice);
    EXPECT_EQ(Manager()->GetGroupCount(), 4u);
    EXPECT_TRUE(Manager()->DestroyGroup(pkPooledA));
    EXPECT_FALSE(Manager()->DestroyGroup(pkPooledA));
    EXPECT_FALSE(Manager()->DestroyGroup(nullptr));
    EXPECT_EQ(Manager()->GetGroup(2), pkPooledB);
}

TEST_P(NiDX9GeometryBufferGroupTest, RecordsKeysAndPrimitiveTypes)
{
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    NiRefPtr<NiTriShapeData> spData = MakeData(4, true, false, 2);
    EXPECT_TRUE(Manager()->CreateGeometryData(pkStatic, spData, nullptr, 0x7FFFFF | 0x800000));
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spData->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_uiKey, 0x7FFFFFu | 0x800000u | (2u << 24)); // caller bits cut to 0-22
    EXPECT_EQ(pkRecord->m_uiType, gfx::D3DPT_TRIANGLELIST);
    EXPECT_EQ(pkRecord->m_pkGroup, pkStatic);
    EXPECT_EQ(pkStatic->GetGeometryCount(), 1u);
    // A second record for the object changes nothing.
    EXPECT_FALSE(Manager()->CreateGeometryData(pkStatic, spData, nullptr, 0));
    EXPECT_EQ(spData->GetRendererData(), pkRecord);
    EXPECT_EQ(pkStatic->GetGeometryCount(), 1u);

    NiRefPtr<NiTriStripsData> spStrips =
        new NiTriStripsData(3, new NiVec3[3], nullptr, nullptr, nullptr, 0, 0, 1, 1, new std::uint16_t[1]{3},
                            new std::uint16_t[3]{0, 1, 2});
    pkStatic->CreateGeometryData(spStrips, nullptr, nullptr, 1);
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(spStrips->GetRendererData())->m_uiType, gfx::D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(spStrips->GetRendererData())->m_uiKey, 1u);

    const NiVec3 akVerts[3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const NiVec2 akTex[3] = {{0, 0}, {1, 0}, {1, 1}};
    NiRefPtr<NiScreenPolygon> spPolygon = new NiScreenPolygon(3, akVerts, akTex, nullptr);
    NiRefPtr<NiScreenPolygon> spPlain = new NiScreenPolygon(3, akVerts, nullptr, nullptr);
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    EXPECT_TRUE(Manager()->CreateScreenPolygonData(pkDynamic, spPolygon, 6));
    EXPECT_TRUE(Manager()->CreateScreenPolygonData(pkDynamic, spPlain, 6));
    auto* pkPolyRecord = static_cast<NiDX9GeometryBufferData*>(spPolygon->GetRendererData());
    EXPECT_EQ(pkPolyRecord->m_uiType, gfx::D3DPT_TRIANGLEFAN);
    EXPECT_EQ(pkPolyRecord->m_uiKey, 6u | (1u << 24));
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(spPlain->GetRendererData())->m_uiKey, 6u);
    EXPECT_EQ(spPolygon->GetRendererFlags(), 0xFFFF); // the dynamic kind marks everything changed

    NiRefPtr<NiScreenTexture> spTexture = new NiScreenTexture(nullptr);
    spTexture->ClearChangeFlags();
    EXPECT_TRUE(Manager()->CreateScreenTextureData(pkStatic, spTexture, 2));
    auto* pkTexRecord = static_cast<NiDX9GeometryBufferData*>(spTexture->GetRendererData());
    EXPECT_EQ(pkTexRecord->m_uiKey, 2u | (1u << 24));
    EXPECT_EQ(spTexture->GetChangeFlags(), 0); // only the dynamic kind marks it

    EXPECT_TRUE(Manager()->ReleaseScreenTextureData(spTexture));
    EXPECT_EQ(spTexture->GetRendererData(), nullptr);
    EXPECT_FALSE(Manager()->ReleaseScreenTextureData(spTexture));
    EXPECT_TRUE(Manager()->ReleaseScreenPolygonData(spPolygon));
    EXPECT_TRUE(Manager()->ReleaseScreenPolygonData(spPlain));
    EXPECT_EQ(pkDynamic->GetGeometryCount(), 0u);
    EXPECT_TRUE(Manager()->ReleaseGeometryData(spData, nullptr));
    EXPECT_EQ(spData->GetRendererData(), nullptr);
    EXPECT_EQ(pkStatic->GetGeometryCount(), 1u); // the strips data, purged with its destructor
}

TEST_P(NiDX9GeometryBufferGroupTest, StaticStreamIsOneManagedBufferOfExactlyItsSize)
{
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    NiRefPtr<NiTriShapeData> spData = MakeData(100, false, false, 0);
    NiDX9GeometryBufferData* pkRecord = Record(spData, pkStatic, 100, 32, 0x242);
    pkRecord->m_uiBaseVertexIndex = 7;
    NiDX9VertexBufferRange* pkRange = pkStatic->CreateStream(pkRecord, 0);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(pkRange->m_uiOffset, 0u);
    EXPECT_EQ(pkRange->m_uiLockFlags, 0u);
    const gfx::D3DVERTEXBUFFER_DESC kDesc = buffertest::Describe(pkRange->m_pkVB);
    EXPECT_EQ(kDesc.Size, 3200u);
    EXPECT_EQ(kDesc.Pool, gfx::D3DPOOL_MANAGED);
    EXPECT_EQ(kDesc.Usage, gfx::D3DUSAGE_WRITEONLY);
    EXPECT_EQ(kDesc.FVF, 0x242u);
    EXPECT_EQ(pkRecord->m_uiBaseVertexIndex, 7u);
    EXPECT_TRUE(pkRecord->HasAllStreams());
    gfx::IDirect3DVertexBuffer9* pkVB = pkRange->m_pkVB;
    pkVB->AddRef();
    pkStatic->ReleaseStream(pkRecord, 0);
    EXPECT_EQ(pkRecord->GetStream(0), nullptr);
    EXPECT_EQ(pkVB->Release(), 0u); // the stream's buffer was released
}

TEST_P(NiDX9GeometryBufferGroupTest, DynamicStreamsAppendAndMultiStreamRecordsUseTheRing)
{
    auto* pkDynamic = static_cast<NiDX9DynamicGeometryBufferGroup*>(NiDX9GeometryBufferGroup::GetDynamicInstance());
    NiRefPtr<NiTriShapeData> spA = MakeData(10, false, false, 0);
    NiRefPtr<NiTriShapeData> spB = MakeData(5, false, false, 0);
    NiDX9GeometryBufferData* pkA = Record(spA, pkDynamic, 10, 32, 0x242);
    NiDX9GeometryBufferData* pkB = Record(spB, pkDynamic, 5, 32, 0x242);
    EXPECT_EQ(spA->GetConsistency(), NiGeometryData::VOLATILE);
    EXPECT_EQ(spA->GetDirtyFlags() & 0x0FFF, 0x0FFF);

    NiDX9VertexBufferRange* pkRange = pkDynamic->CreateStream(pkA, 0);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_EQ(pkRange->m_uiOffset, 0u);
    EXPECT_EQ(pkRange->m_uiLockFlags, gfx::D3DLOCK_DISCARD);
    EXPECT_EQ(pkA->m_uiBaseVertexIndex, 0u);
    gfx::IDirect3DVertexBuffer9* pkVB = pkRange->m_pkVB;
    pkRange = pkDynamic->CreateStream(pkB, 0);
    EXPECT_EQ(pkRange->m_pkVB, pkVB);
    EXPECT_EQ(pkRange->m_uiOffset, 320u);
    EXPECT_EQ(pkRange->m_uiLockFlags, gfx::D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(pkB->m_uiBaseVertexIndex, 10u);
    EXPECT_EQ(buffertest::Describe(pkVB).Size, 2048u);
    EXPECT_EQ(buffertest::Describe(pkVB).Usage, 0x208u);

    NiRefPtr<NiTriShapeData> spTwo = MakeData(10, false, false, 0);
    NiDX9GeometryBufferData* pkTwo = Record(spTwo, pkDynamic, 10, 16, 0, 2);
    NiDX9VertexBufferRange* pkS0 = pkDynamic->CreateStream(pkTwo, 0);
    NiDX9VertexBufferRange* pkS1 = pkDynamic->CreateStream(pkTwo, 1);
    ASSERT_NE(pkS0, nullptr);
    ASSERT_NE(pkS1, nullptr);
    EXPECT_NE(pkS0->m_pkVB, pkS1->m_pkVB);
    EXPECT_EQ(pkS0->m_uiOffset, 0u);
    EXPECT_EQ(pkS1->m_uiLockFlags, gfx::D3DLOCK_DISCARD);
    EXPECT_EQ(pkTwo->m_uiBaseVertexIndex, 0u);
    EXPECT_EQ(pkDynamic->GetRingCapacity(), 2u);

    // A purge takes every buffer; the records keep their ranges.
    pkA->m_pkIB = nullptr;
    pkDynamic->Purge();
    EXPECT_EQ(pkA->GetStream(0)->m_pkVB, nullptr);
    EXPECT_EQ(pkTwo->GetStream(1)->m_pkVB, nullptr);
    EXPECT_FALSE(pkA->HasAllStreams());
    EXPECT_NE(pkDynamic->CreateStream(pkA, 0)->m_pkVB, nullptr);

    // Releasing a stream also drops the index buffer.
    gfx::IDirect3DIndexBuffer9* pkIB = nullptr;
    ASSERT_EQ(m_pkDevice->CreateIndexBuffer(12, 0, gfx::D3DFMT_INDEX16, gfx::D3DPOOL_MANAGED, &pkIB, nullptr),
              gfx::D3D_OK);
    pkA->m_pkIB = pkIB;
    pkA->m_uiIBSize = 12;
    pkDynamic->ReleaseStream(pkA, 0);
    EXPECT_EQ(pkA->m_pkIB, nullptr);
    EXPECT_EQ(pkA->m_uiIBSize, 0u);
}

TEST_P(NiDX9GeometryBufferGroupTest, PooledStreamsAndSoftwareKeys)
{
    auto* pkPooled = static_cast<NiDX9PooledGeometryBufferGroup*>(Manager()->CreateGroup(0, 0));
    NiRefPtr<NiTriShapeData> spTwo = MakeData(10, false, false, 0);
    NiDX9GeometryBufferData* pkTwo = Record(spTwo, pkPooled, 10, 24, 0, 2);
    NiDX9VertexBufferRange* pkS0 = pkPooled->CreateStream(pkTwo, 0);
    NiDX9VertexBufferRange* pkS1 = pkPooled->CreateStream(pkTwo, 1);
    ASSERT_NE(pkS0, nullptr);
    ASSERT_NE(pkS1, nullptr);
    EXPECT_EQ(pkS0->m_uiOffset, 0u);
    EXPECT_EQ(pkS1->m_uiOffset, 0u);
    EXPECT_NE(pkS0->m_pkChunk, pkS1->m_pkChunk);
    EXPECT_EQ(pkS0->m_pkChunk->m_uiSize, 65536u);
    EXPECT_NE(pkPooled->GetPool(24u | 0x80000000u), nullptr);

    NiRefPtr<NiTriShapeData> spSoft = MakeData(10, false, false, 0);
    NiDX9GeometryBufferData* pkSoft = Record(spSoft, pkPooled, 10, 24, 0);
    pkSoft->m_bSoftwareVP = true;
    ASSERT_NE(pkPooled->CreateStream(pkSoft, 0), nullptr);
    NiDX9VertexBufferPool* pkSoftPool = pkPooled->GetPool(24u | 0xC0000000u);
    ASSERT_NE(pkSoftPool, nullptr);
    EXPECT_EQ(pkSoftPool->GetUsage(), 0x18u);
    EXPECT_NE(pkSoftPool, pkPooled->GetPool(24u | 0x80000000u));

    // Releasing the last record empties and purges the group.
    EXPECT_TRUE(Manager()->ReleaseGeometryData(spTwo, nullptr));
    EXPECT_NE(pkPooled->GetPool(24u | 0x80000000u), nullptr);
    EXPECT_TRUE(Manager()->ReleaseGeometryData(spSoft, nullptr));
    EXPECT_TRUE(Manager()->IsGroupEmpty(pkPooled));
    EXPECT_EQ(pkPooled->GetPool(24u | 0x80000000u), nullptr);
}

TEST_P(NiDX9GeometryBufferGroupTest, HardwareSkinningMakesOneRecordPerPartition)
{
    std::unique_ptr<NiDX9GeometryDataManager> spManager(NiDX9GeometryDataManager::Create(m_pkDevice, true));
    NiDX9GeometryBufferGroup* pkPooled = spManager->CreateGroup(0, 0);
    NiRefPtr<NiTriShapeData> spData = MakeData(4, false, false, 0);
    NiRefPtr<NiSkinPartition> spPartition = new NiSkinPartition;
    auto spParts = std::make_unique<NiSkinPartition::Partition[]>(2);
    spParts[1].m_usStrips = 1;
    spPartition->SetPartitions(2, std::move(spParts));
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinPartition(spPartition);
    EXPECT_TRUE(spManager->CreateGeometryData(pkPooled, spData, spSkin, 0));
    EXPECT_EQ(spData->GetRendererData(), nullptr);
    NiSkinPartition::Partition* pkParts = spPartition->GetPartitions();
    ASSERT_NE(pkParts[0].m_pvRendererData, nullptr);
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(pkParts[0].m_pvRendererData)->m_uiType, gfx::D3DPT_TRIANGLELIST);
    EXPECT_EQ(static_cast<NiDX9GeometryBufferData*>(pkParts[1].m_pvRendererData)->m_uiType, gfx::D3DPT_TRIANGLESTRIP);
    EXPECT_FALSE(spManager->CreateGeometryData(pkPooled, spData, spSkin, 0));
    EXPECT_EQ(pkPooled->GetGeometryCount(), 2u);
    EXPECT_TRUE(spManager->ReleaseGeometryData(spData, spSkin));
    EXPECT_EQ(pkParts[1].m_pvRendererData, nullptr);
    EXPECT_EQ(pkPooled->GetGeometryCount(), 0u);
    EXPECT_FALSE(spManager->ReleaseGeometryData(spData, spSkin));

    // Without the switch the data itself gets the record.
    std::unique_ptr<NiDX9GeometryDataManager> spSoft(NiDX9GeometryDataManager::Create(m_pkDevice, false));
    NiDX9GeometryBufferGroup* pkOther = spSoft->CreateGroup(0, 0);
    EXPECT_TRUE(spSoft->CreateGeometryData(pkOther, spData, spSkin, 0));
    EXPECT_NE(spData->GetRendererData(), nullptr);
    EXPECT_TRUE(spSoft->ReleaseGeometryData(spData, nullptr));
}

TEST_P(NiDX9GeometryBufferGroupTest, EveryDeviceObjectIsReleasedOnceTheManagersAreGone)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(10, false, false, 0);
    NiDX9GeometryBufferData* pkRecord = Record(spData, NiDX9GeometryBufferGroup::GetDynamicInstance(), 10, 32, 0x242);
    ASSERT_NE(NiDX9GeometryBufferGroup::GetDynamicInstance()->CreateStream(pkRecord, 0), nullptr);
    NiDX9GeometryBufferGroup* pkPooled = Manager()->CreateGroup(0, 0);
    NiRefPtr<NiTriShapeData> spPooled = MakeData(10, false, false, 0);
    ASSERT_NE(pkPooled->CreateStream(Record(spPooled, pkPooled, 10, 32, 0x242), 0), nullptr);
    EXPECT_GT(m_pkDevice->LiveDefaultPoolResources(), 0u);
    spData = nullptr; // purged through the renderer
    spPooled = nullptr;
    m_pkDevice->AddRef();
    m_spRenderer = nullptr;
    EXPECT_EQ(NiDX9GeometryBufferGroup::GetStaticInstance(), nullptr);
    EXPECT_EQ(NiDX9GeometryBufferGroup::GetDynamicInstance(), nullptr);
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeRangeNodes(), 0u);
    EXPECT_EQ(m_pkDevice->LiveDefaultPoolResources(), 0u);
    EXPECT_EQ(m_pkDevice->Release(), 0u); // nothing else holds the device
}

BUFFER_NULL_BACKEND(NiDX9GeometryBufferGroupTest);
} // namespace
