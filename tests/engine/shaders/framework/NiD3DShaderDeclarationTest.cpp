#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9GeometryDataManager.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace shader_test;

namespace
{
using Entry = NiDX9ShaderDeclaration::ShaderRegisterEntry;
constexpr std::uint32_t FLOAT2 = 1, FLOAT3 = 2, FLOAT4 = 3, D3DCOLOR = 4, UBYTE4 = 5, SHORT2 = 6, SHORT4 = 7;

template <class T>
T ReadAt(const std::uint8_t* puc, std::size_t uiOffset)
{
    T t{};
    std::memcpy(&t, puc + uiOffset, sizeof(T));
    return t;
}

// n vertices at (i, 2i, 3i), normals (0, 1, i), one colour and one texture set (i, -i).
NiRefPtr<NiTriShapeData> MakeData(std::uint16_t usVertices)
{
    auto* pkVerts = new NiVec3[usVertices];
    auto* pkNormals = new NiVec3[usVertices];
    auto* pkColors = new NiColorRGBA[usVertices];
    auto* pkTex = new NiVec2[usVertices];
    for (std::uint16_t i = 0; i < usVertices; ++i)
    {
        pkVerts[i] = NiVec3(float(i), float(2 * i), float(3 * i));
        pkNormals[i] = NiVec3(0.0f, 1.0f, float(i));
        pkColors[i] = NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f);
        pkTex[i] = NiVec2(float(i), -float(i));
    }
    return new NiTriShapeData(usVertices, pkVerts, pkNormals, pkColors, pkTex, 1, 0, 0, nullptr);
}

std::vector<std::uint8_t> Bytes(gfx::IDirect3DVertexBuffer9* pkVB, std::uint32_t uiOffset, std::uint32_t uiSize)
{
    void* pv = nullptr;
    if (pkVB == nullptr || gfx::FAILED(pkVB->Lock(uiOffset, uiSize, &pv, gfx::D3DLOCK_READONLY)) || pv == nullptr)
        return {};
    const auto* puc = static_cast<const std::uint8_t*>(pv);
    std::vector<std::uint8_t> k(puc, puc + uiSize);
    pkVB->Unlock();
    return k;
}

class NiD3DShaderDeclarationTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        ASSERT_NE(m_spRenderer, nullptr);
    }
    void TearDown() override
    {
        m_spDecl = nullptr;
        ShaderTest::TearDown();
    }
    // Position FLOAT3, colour D3DCOLOR, coordinates 0 FLOAT2: stride 24.
    void MakeThreeEntries()
    {
        m_spDecl = NiD3DShaderDeclaration::Create(m_spRenderer, 4, 1);
        ASSERT_NE(m_spDecl, nullptr);
        ASSERT_TRUE(m_spDecl->SetEntry(0, 0, NiDX9ShaderDeclaration::SPTYPE_POSITION, FLOAT3, 0));
        ASSERT_TRUE(m_spDecl->SetEntry(1, 1, NiDX9ShaderDeclaration::SPTYPE_COLOR, D3DCOLOR, 0));
        ASSERT_TRUE(m_spDecl->SetEntry(2, 2, NiDX9ShaderDeclaration::SPTYPE_TEXCOORD0, FLOAT2, 0));
    }
    NiDX9GeometryBufferData* Record(NiGeometryData* pkData)
    {
        EXPECT_TRUE(m_spRenderer->GetGeometryGroupManager()->CreateGeometryData(
            NiDX9GeometryBufferGroup::GetStaticInstance(), pkData, nullptr, 0));
        return static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
    }

    NiD3DShaderDeclarationPtr m_spDecl;
};

// Runs the registered function of (type, kind) over n vertices of a
// 16-byte destination stride pre-filled with 0xAB; the bytes written.
std::uint32_t Pack(std::uint32_t uiType, std::uint32_t uiKind, const void* pvSource, std::uint32_t uiSourceStride,
                   std::uint32_t uiVertices, std::vector<std::uint8_t>& kDest,
                   const std::uint16_t* pusMap = nullptr)
{
    kDest.assign(std::size_t(uiVertices) * 16, 0xAB);
    NiDX9PackingRecord kRecord;
    kRecord.m_uiType = uiType;
    kRecord.m_uiKind = uiKind;
    kRecord.m_uiVertexCount = uiVertices;
    kRecord.m_pusVertexMap = pusMap;
    kRecord.m_pvSource = pvSource;
    kRecord.m_uiSourceSize = uiSourceStride;
    kRecord.m_uiSourceStride = uiSourceStride;
    kRecord.m_uiDestSize = NiDX9PackingRegistry::GetTypeSize(uiType);
    kRecord.m_uiDestStride = 16;
    kRecord.m_pvDest = kDest.data();
    const NiDX9PackingFunction pfn = NiDX9PackingRegistry::GetFunction(uiType, uiKind);
    EXPECT_NE(pfn, nullptr) << uiType << "/" << uiKind;
    return pfn ? pfn(kRecord) : 0;
}
} // namespace

TEST_F(NiD3DShaderDeclarationTest, EntriesBuildTheDeviceDeclaration)
{
    // The null device has 16 streams.
    EXPECT_EQ(NiD3DShaderDeclaration::Create(m_spRenderer, 4, 17), nullptr);
    NiD3DShaderDeclarationPtr spTwoStreams = NiD3DShaderDeclaration::Create(m_spRenderer, 4, 2);
    ASSERT_NE(spTwoStreams, nullptr);
    EXPECT_EQ(spTwoStreams->GetStreamCount(), 2u);
    EXPECT_EQ(NiD3DShaderDeclaration::Create(nullptr, 4, 1), nullptr);
    m_spDecl = NiD3DShaderDeclaration::Create(m_spRenderer, 4, 1);
    ASSERT_NE(m_spDecl, nullptr);
    const Entry* pkFresh = m_spDecl->GetEntry(3, 0);
    ASSERT_NE(pkFresh, nullptr);
    EXPECT_EQ(pkFresh->m_uiOffset, 0u);
    EXPECT_EQ(pkFresh->m_iParameter, -1);
    EXPECT_EQ(pkFresh->m_uiType, 17u);
    EXPECT_EQ(pkFresh->m_uiMethod + pkFresh->m_uiUsage + pkFresh->m_uiUsageIndex, 0u);
    EXPECT_EQ(m_spDecl->GetEntry(4, 0), nullptr);

    // Nothing used: no device declaration, every time.
    for (int i = 0; i < 2; ++i)
    {
        gfx::IDirect3DVertexDeclaration9* pkDecl = nullptr;
        std::uint32_t uiStreams = 99;
        EXPECT_FALSE(m_spDecl->GetDeclaration(pkDecl, uiStreams));
        EXPECT_EQ(pkDecl, nullptr);
        EXPECT_EQ(uiStreams, 1u);
        EXPECT_TRUE(m_spDecl->IsDirty());
    }

    // Position and coordinates 0 with an unused entry between them.
    ASSERT_TRUE(m_spDecl->SetEntry(0, 0, NiDX9ShaderDeclaration::SPTYPE_POSITION, FLOAT3, 0));
    ASSERT_TRUE(m_spDecl->SetEntry(2, 1, NiDX9ShaderDeclaration::SPTYPE_TEXCOORD0 + 3, FLOAT2, 0));
    EXPECT_EQ(m_spDecl->GetVertexStride(0), 20u);
    EXPECT_EQ(m_spDecl->GetVertexStride(1), 0u);
    EXPECT_EQ(m_spDecl->GetEntry(2, 0)->m_uiOffset, 12u);
    gfx::IDirect3DVertexDeclaration9* pkFirst = m_spDecl->GetD3DDeclaration();
    ASSERT_NE(pkFirst, nullptr);
    EXPECT_FALSE(m_spDecl->IsDirty());
    EXPECT_EQ(m_spDecl->GetElementCount(), 3u);
    const std::vector<gfx::D3DVERTEXELEMENT9>& kElements = pkFirst->Elements();
    ASSERT_EQ(kElements.size(), 2u);
    EXPECT_EQ(kElements[0].Offset, 0);
    EXPECT_EQ(kElements[0].Type, FLOAT3);
    EXPECT_EQ(kElements[0].Usage, gfx::D3DDECLUSAGE_POSITION);
    EXPECT_EQ(kElements[1].Offset, 12);
    EXPECT_EQ(kElements[1].Usage, gfx::D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(kElements[1].UsageIndex, 3);

    // The same values again keep the device declaration.
    EXPECT_TRUE(m_spDecl->SetEntry(0, 7, NiDX9ShaderDeclaration::SPTYPE_POSITION, FLOAT3, 0));
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), pkFirst);
    // Blend weights are three floats whatever is asked, so asking again changes nothing.
    ASSERT_TRUE(m_spDecl->SetEntry(1, 0, NiDX9ShaderDeclaration::SPTYPE_BLENDWEIGHT, FLOAT4, 0));
    EXPECT_EQ(m_spDecl->GetEntry(1, 0)->m_uiType, FLOAT3);
    EXPECT_EQ(m_spDecl->GetVertexStride(0), 32u);
    gfx::IDirect3DVertexDeclaration9* pkSecond = m_spDecl->GetD3DDeclaration();
    EXPECT_TRUE(m_spDecl->SetEntry(1, 0, NiDX9ShaderDeclaration::SPTYPE_BLENDWEIGHT, FLOAT2, 0));
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), pkSecond);

    // Out of range, unknown inputs and types past UNUSED: refused, nothing stored.
    EXPECT_FALSE(m_spDecl->SetEntry(4, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, 0));
    EXPECT_FALSE(m_spDecl->SetEntry(3, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, 1));
    EXPECT_FALSE(m_spDecl->SetEntry(3, 0, 15, FLOAT3, 0));
    EXPECT_FALSE(m_spDecl->SetEntry(3, 0, -1, FLOAT3, 0));
    EXPECT_FALSE(m_spDecl->SetEntry(0, 3, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, 18, 3, 0, 0));
    EXPECT_FALSE(m_spDecl->SetEntry(0, 3, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, 0xFFFFFFFFu, 3, 0, 0));
    EXPECT_EQ(m_spDecl->GetEntry(3, 0)->m_uiType, 17u);
    EXPECT_FALSE(m_spDecl->RemoveEntry(4, 0));
    EXPECT_FALSE(m_spDecl->ClearAllEntries(1));
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), pkSecond);

    // A repeated (usage, index) is refused by the device: null, still dirty,
    // and the next build after the mend succeeds.
    ASSERT_TRUE(m_spDecl->SetEntry(0, 3, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, gfx::D3DDECLUSAGE_POSITION,
                                   0, 0));
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), nullptr);
    EXPECT_TRUE(m_spDecl->IsDirty());
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), nullptr);
    ASSERT_TRUE(m_spDecl->SetEntry(3, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, 0));
    EXPECT_NE(m_spDecl->GetD3DDeclaration(), nullptr);
    EXPECT_EQ(m_spDecl->GetVertexStride(0), 44u);

    EXPECT_TRUE(m_spDecl->RemoveEntry(1, 0));
    EXPECT_EQ(m_spDecl->GetVertexStride(0), 32u);
    EXPECT_EQ(m_spDecl->GetEntry(3, 0)->m_uiOffset, 20u);
    EXPECT_TRUE(m_spDecl->ClearAllEntries(0));
    EXPECT_EQ(m_spDecl->GetD3DDeclaration(), nullptr);
    EXPECT_EQ(m_spDecl->GetElementCapacity(), 0u);

    m_spDecl->SetSoftwareVertexProcessing(true);
    EXPECT_TRUE(m_spDecl->GetSoftwareVertexProcessing());
}

TEST_F(NiD3DShaderDeclarationTest, ParametersForUsages)
{
    struct Case
    {
        std::uint32_t m_uiUsage, m_uiIndex;
        std::int32_t m_iParameter;
        std::uint32_t m_uiType, m_uiOutIndex;
    };
    const Case akCases[] = {
        {gfx::D3DDECLUSAGE_POSITION, 2, 0, FLOAT3, 0},     {gfx::D3DDECLUSAGE_BLENDWEIGHT, 0, 1, FLOAT3, 0},
        {gfx::D3DDECLUSAGE_BLENDINDICES, 0, 2, D3DCOLOR, 0}, {gfx::D3DDECLUSAGE_NORMAL, 0, 3, FLOAT3, 0},
        {gfx::D3DDECLUSAGE_TEXCOORD, 0, 5, FLOAT2, 0},     {gfx::D3DDECLUSAGE_TEXCOORD, 7, 12, FLOAT2, 7},
        {gfx::D3DDECLUSAGE_TANGENT, 0, 13, FLOAT3, 0},     {gfx::D3DDECLUSAGE_BINORMAL, 0, 14, FLOAT3, 0},
        {gfx::D3DDECLUSAGE_COLOR, 1, 4, D3DCOLOR, 0},
    };
    for (const Case& k : akCases)
    {
        std::int32_t iParameter = -5;
        std::uint32_t uiType = 99, uiUsage = 99, uiIndex = 99;
        ASSERT_TRUE(NiD3DShaderDeclaration::GetParameterForUsage(k.m_uiUsage, k.m_uiIndex, iParameter, uiType,
                                                                 uiUsage, uiIndex))
            << k.m_uiUsage;
        EXPECT_EQ(iParameter, k.m_iParameter);
        EXPECT_EQ(uiType, k.m_uiType);
        EXPECT_EQ(uiUsage, k.m_uiUsage);
        EXPECT_EQ(uiIndex, k.m_uiOutIndex);
    }
    std::int32_t iParameter = 0;
    std::uint32_t uiType = 0, uiUsage = 0, uiIndex = 0;
    EXPECT_FALSE(NiD3DShaderDeclaration::GetParameterForUsage(gfx::D3DDECLUSAGE_TEXCOORD, 8, iParameter, uiType,
                                                              uiUsage, uiIndex));
    EXPECT_FALSE(NiD3DShaderDeclaration::GetParameterForUsage(gfx::D3DDECLUSAGE_PSIZE, 0, iParameter, uiType,
                                                              uiUsage, uiIndex));
    EXPECT_FALSE(NiD3DShaderDeclaration::GetParameterForUsage(gfx::D3DDECLUSAGE_FOG, 0, iParameter, uiType,
                                                              uiUsage, uiIndex));

    // Two coordinate inputs make a declaration the device takes.
    m_spDecl = NiD3DShaderDeclaration::Create(m_spRenderer, 2, 1);
    ASSERT_NE(m_spDecl, nullptr);
    for (std::uint32_t i = 0; i < 2; ++i)
    {
        ASSERT_TRUE(NiD3DShaderDeclaration::GetParameterForUsage(gfx::D3DDECLUSAGE_TEXCOORD, i, iParameter, uiType,
                                                                 uiUsage, uiIndex));
        ASSERT_TRUE(m_spDecl->SetEntry(0, i, i, iParameter, uiType, uiUsage, uiIndex, 0));
    }
    EXPECT_NE(m_spDecl->GetD3DDeclaration(), nullptr);
}

TEST_F(NiD3DShaderDeclarationTest, IntegerTypesAreFilledByteExact)
{
    std::vector<std::uint8_t> k;
    // Floats toward zero, low 8 bits: 1.9, -1.9, 300 -> 1, 255, 44, and 0 for the missing fourth.
    const float afThree[3] = {1.9f, -1.9f, 300.0f};
    EXPECT_EQ(Pack(UBYTE4, 3, afThree, 12, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x002CFF01u);
    EXPECT_EQ(k[4], 0xAB);
    // Two 16-bit values into SHORT4: both, then two zeros.
    const std::uint16_t ausTwo[4] = {0x1234, 0xFEDC, 0x7777, 0x7777};
    EXPECT_EQ(Pack(SHORT4, 14, ausTwo, 8, 1, k), 8u);
    EXPECT_EQ(ReadAt<std::uint64_t>(k.data(), 0), 0x00000000FEDC1234ull);
    // Four into SHORT2: the first two.
    EXPECT_EQ(Pack(SHORT2, 16, ausTwo, 8, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0xFEDC1234u);
    EXPECT_EQ(k[4], 0xAB);
    // Floats without an integer give 0; big ones keep their low bits.
    const float afOdd[4] = {std::numeric_limits<float>::quiet_NaN(), 2147483648.0f, -70000.7f,
                            -std::numeric_limits<float>::infinity()};
    EXPECT_EQ(Pack(SHORT4, 4, afOdd, 16, 1, k), 8u);
    EXPECT_EQ(ReadAt<std::uint16_t>(k.data(), 0), 0u);
    EXPECT_EQ(ReadAt<std::uint16_t>(k.data(), 2), 0u);
    EXPECT_EQ(ReadAt<std::uint16_t>(k.data(), 4), std::uint16_t(-70000));
    EXPECT_EQ(ReadAt<std::uint16_t>(k.data(), 6), 0u);
    // 32-bit integers: low bits; bytes zero-extended into shorts, copied into UBYTE4.
    const std::int32_t aiInts[2] = {0x12345678, -2};
    EXPECT_EQ(Pack(UBYTE4, 6, aiInts, 8, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x0000FE78u);
    EXPECT_EQ(Pack(SHORT2, 10, aiInts, 8, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0xFFFE5678u);
    const std::uint8_t aucBytes[4] = {200, 1, 2, 255};
    EXPECT_EQ(Pack(SHORT4, 28, aucBytes, 4, 1, k), 8u);
    EXPECT_EQ(ReadAt<std::uint64_t>(k.data(), 0), 0x00FF0002000100C8ull);
    EXPECT_EQ(Pack(UBYTE4, 23, aucBytes, 4, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x000201C8u);
    // 16-bit into UBYTE4: low bytes.
    EXPECT_EQ(Pack(UBYTE4, 16, ausTwo, 8, 1, k), 4u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x7777DC34u);

    // No source: zeros; group 7 and kind 0 write nothing.
    EXPECT_EQ(Pack(SHORT4, 14, nullptr, 8, 2, k), 16u);
    EXPECT_EQ(ReadAt<std::uint64_t>(k.data(), 16), 0u);
    for (std::uint32_t uiType : {UBYTE4, SHORT2, SHORT4})
    {
        EXPECT_EQ(Pack(uiType, 30, afThree, 12, 1, k), 0u);
        EXPECT_EQ(k[0], 0xAB);
        EXPECT_EQ(Pack(uiType, 0, afThree, 12, 1, k), 0u);
        EXPECT_EQ(k[0], 0xAB);
    }
    // Types from UBYTE4N on have no conversions.
    EXPECT_EQ(NiDX9PackingRegistry::GetFunction(8, 3), nullptr);
    EXPECT_NE(NiDX9PackingRegistry::GetFunction(8, 0), nullptr);

    // With a vertex map, vertex i reads element map[i].
    const float afRows[3][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const std::uint16_t ausMap[2] = {2, 0};
    EXPECT_EQ(Pack(UBYTE4, 3, afRows, 12, 2, k, ausMap), 8u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x00090807u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 16), 0x00030201u);
}

TEST_F(NiD3DShaderDeclarationTest, PackingIntoAGivenPlace)
{
    MakeThreeEntries();
    NiRefPtr<NiTriShapeData> spData = MakeData(2);
    NiDX9GeometryBufferData* pkRecord = Record(spData);
    ASSERT_NE(pkRecord, nullptr);
    pkRecord->SetStreamCount(1);
    pkRecord->m_uiFVF = 0x112;
    std::vector<std::uint8_t> kDest(48, 0xAB);
    NiDX9VertexBufferRange kGiven;
    EXPECT_EQ(m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, NiD3DShaderDeclaration::DIRTY_ALL, &kGiven,
                                            0, kDest.data()),
              &kGiven);
    const std::uint8_t aucVertex1[24] = {
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40, // 1, 2, 3
        0x00, 0x00, 0xFF, 0xFF,                                                 // opaque red
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0xBF,                         // 1, -1
    };
    EXPECT_EQ(std::memcmp(kDest.data() + 24, aucVertex1, 24), 0);
    EXPECT_EQ(pkRecord->m_pkDeclaration, m_spDecl->GetD3DDeclaration());
    EXPECT_EQ(pkRecord->m_uiFVF, 0u);
    EXPECT_EQ(pkRecord->GetStride(0), 24u);

    // Only the inputs whose bits are set are written.
    std::vector<std::uint8_t> kColours(48, 0xAB);
    m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, NiD3DShaderDeclaration::DIRTY_COLORS, nullptr, 0,
                                  kColours.data());
    EXPECT_EQ(kColours[0], 0xAB);
    EXPECT_EQ(ReadAt<std::uint32_t>(kColours.data(), 12), 0xFFFF0000u);
    EXPECT_EQ(kColours[16], 0xAB);

    // Nothing to pack, no stream, no declaration: null.
    EXPECT_EQ(m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, 0xFFF, nullptr, 1, kDest.data()), nullptr);
    NiSkinPartition::Partition kEmpty;
    EXPECT_EQ(m_spDecl->PackUntransformedVB(spData, nullptr, &kEmpty, 0, 0xFFF, nullptr, 0, kDest.data()), nullptr);
    ASSERT_TRUE(m_spDecl->ClearAllEntries(0));
    EXPECT_EQ(m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, 0xFFF, nullptr, 0, kDest.data()), nullptr);
}

TEST_F(NiD3DShaderDeclarationTest, StreamBuffersAreReusedOnlyWhenTheyFit)
{
    MakeThreeEntries();
    NiRefPtr<NiTriShapeData> spData = MakeData(3);
    NiDX9GeometryBufferData* pkRecord = Record(spData);
    ASSERT_NE(pkRecord, nullptr);

    // No buffer yet: one is made and everything written, whatever the bits.
    NiDX9VertexBufferRange* pkRange = m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, 0, nullptr, 0, nullptr);
    ASSERT_NE(pkRange, nullptr);
    ASSERT_NE(pkRange->m_pkVB, nullptr);
    EXPECT_EQ(pkRecord->GetStream(0), pkRange);
    std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 72);
    ASSERT_EQ(k.size(), 72u);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 8), 6.0f);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 48 + 12), 0xFFFF0000u);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 20), -2.0f);
    gfx::IDirect3DVertexBuffer9* pkVB = pkRange->m_pkVB;

    // It fits: kept, and only the positions asked for are written again.
    spData->GetVertices()[2] = NiVec3(7.0f, 8.0f, 9.0f);
    spData->GetTextures()[2] = NiVec2(5.0f, 5.0f);
    EXPECT_EQ(m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, NiD3DShaderDeclaration::DIRTY_POSITIONS,
                                            pkRange, 0, nullptr),
              pkRange);
    EXPECT_EQ(pkRange->m_pkVB, pkVB);
    k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 72);
    EXPECT_EQ(ReadAt<float>(k.data(), 48), 7.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 16), 2.0f); // coordinates untouched

    // Volatile data never reuses: remade, and every input written.
    spData->SetConsistency(NiGeometryData::VOLATILE);
    NiDX9VertexBufferRange* pkVolatile = m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, 0, pkRange, 0,
                                                                       nullptr);
    ASSERT_NE(pkVolatile, nullptr);
    k = Bytes(pkVolatile->m_pkVB, pkVolatile->m_uiOffset, 72);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 16), 5.0f);
    spData->SetConsistency(NiGeometryData::MUTABLE);

    // A stride grown past the buffer: remade at the new size.
    ASSERT_TRUE(m_spDecl->SetEntry(3, 3, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, 0));
    NiDX9VertexBufferRange* pkGrown = m_spDecl->PackUntransformedVB(spData, nullptr, nullptr, 0, 0,
                                                                    pkRecord->GetStream(0), 0, nullptr);
    ASSERT_NE(pkGrown, nullptr);
    gfx::D3DVERTEXBUFFER_DESC kDesc{};
    ASSERT_EQ(pkGrown->m_pkVB->GetDesc(&kDesc), gfx::D3D_OK);
    EXPECT_EQ(kDesc.Format, gfx::D3DFMT_VERTEXDATA);
    EXPECT_GE(kDesc.Size, 3u * 36u);
    k = Bytes(pkGrown->m_pkVB, pkGrown->m_uiOffset, 108);
    EXPECT_EQ(ReadAt<float>(k.data(), 72 + 24 + 8), 2.0f); // normal z of vertex 2
}

TEST_F(NiD3DShaderDeclarationTest, SkinnedDataIsDeformedIntoItsElements)
{
    // One bone 10 along x from the skin; every vertex fully on it.
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiNode> spBone = new NiNode;
    spRoot->AttachChild(spBone);
    spRoot->Update(0.0f);
    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(1);
    spBones[0].m_kSkinToBone.m_kTranslate = NiVec3(10.0f, 0.0f, 0.0f);
    spSkinData->SetBones(1, std::move(spBones));
    auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(2);
    for (std::uint16_t i = 0; i < 2; ++i)
        spWeights[i] = {i, 1.0f};
    spSkinData->SetBoneWeights(0, 2, std::move(spWeights));
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spSkinData);
    spSkin->SetRootParent(spRoot);
    spSkin->SetBone(0, spBone);

    m_spDecl = NiD3DShaderDeclaration::Create(m_spRenderer, 3, 1);
    ASSERT_NE(m_spDecl, nullptr);
    ASSERT_TRUE(m_spDecl->SetEntry(0, 0, NiDX9ShaderDeclaration::SPTYPE_TEXCOORD0, FLOAT2, 0));
    ASSERT_TRUE(m_spDecl->SetEntry(1, 0, NiDX9ShaderDeclaration::SPTYPE_POSITION, FLOAT3, 0));
    ASSERT_TRUE(m_spDecl->SetEntry(2, 0, NiDX9ShaderDeclaration::SPTYPE_NORMAL, FLOAT3, 0));
    NiRefPtr<NiTriShapeData> spData = MakeData(2);
    std::vector<std::uint8_t> kDest(64, 0xAB);
    NiDX9VertexBufferRange kGiven;
    ASSERT_EQ(m_spDecl->PackUntransformedVB(spData, spSkin, nullptr, 0, 0xFFF, &kGiven, 0, kDest.data()), &kGiven);
    EXPECT_EQ(ReadAt<float>(kDest.data(), 32 + 0), 1.0f);      // coordinates packed as they are
    EXPECT_EQ(ReadAt<float>(kDest.data(), 32 + 8), 11.0f);     // position (1, 2, 3) moved by the bone
    EXPECT_EQ(ReadAt<float>(kDest.data(), 32 + 12), 2.0f);
    // The normal (0, 1, 1), not turned, comes out of skinning unit length.
    EXPECT_NEAR(ReadAt<float>(kDest.data(), 32 + 20 + 4), std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(ReadAt<float>(kDest.data(), 32 + 20 + 8), std::sqrt(0.5f), 1e-6f);

    // Positions in a two-float element are not skinned into (they would run over).
    ASSERT_TRUE(m_spDecl->SetEntry(1, 0, NiDX9ShaderDeclaration::SPTYPE_POSITION, FLOAT2, 0));
    ASSERT_TRUE(m_spDecl->RemoveEntry(2, 0));
    std::vector<std::uint8_t> kSmall(32, 0xAB);
    ASSERT_NE(m_spDecl->PackUntransformedVB(spData, spSkin, nullptr, 0, 0xFFF, &kGiven, 0, kSmall.data()), nullptr);
    EXPECT_EQ(ReadAt<float>(kSmall.data(), 16 + 8), 1.0f); // undeformed x
    EXPECT_EQ(ReadAt<float>(kSmall.data(), 16 + 12), 2.0f);
}

TEST_F(NiD3DShaderDeclarationTest, AShaderWithADeclarationDrawsFromTheStreamItLaysOut)
{
    MakeThreeEntries();
    auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    auto* pkColors = new NiColorRGBA[4]{};
    for (int i = 0; i < 4; ++i)
        pkColors[i] = NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f);
    auto* pkTex = new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spQuad = new NiTriShape(4, pkVerts, nullptr, pkColors, pkTex, 1, 0, 2, pusTris);
    spQuad->Update(0.0f);
    NiRefPtr<NiD3DDefaultShader> spShader = new NiD3DDefaultShader;
    ASSERT_TRUE(spShader->Initialize(m_spRenderer));
    spShader->SetShaderDecl(m_spDecl);
    spQuad->SetShader(spShader);
    NiRefPtr<NiPropertySet> spProperties = new NiPropertySet;
    m_spRenderer->SetPropertyState(spProperties);

    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->DrawTriShape(spQuad);
    m_spRenderer->EndScene();

    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spQuad->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_uiFVF, 0u);
    EXPECT_EQ(pkRecord->m_pkDeclaration, m_spDecl->GetD3DDeclaration());
    EXPECT_EQ(pkRecord->GetStride(0), 24u);
    NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
    ASSERT_NE(pkRange, nullptr);
    const std::vector<std::uint8_t> k = Bytes(pkRange->m_pkVB, pkRange->m_uiOffset, 96);
    ASSERT_EQ(k.size(), 96u);
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 0), 1.0f);             // vertex 2 at (1, 1, 0)
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 48 + 12), 0xFF0000FFu); // opaque blue
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 16), 1.0f);            // coordinates (1, 0)
    EXPECT_EQ(ReadAt<float>(k.data(), 48 + 20), 0.0f);
    // Drawn with the declaration, not a fixed-function layout.
    bool bDeclared = false, bDrawn = false;
    for (const gfx::StateCall& kCall : m_spRenderer->GetD3DDevice()->StateCalls())
        bDeclared = bDeclared || (kCall.kind == gfx::StateCall::Kind::SetVertexDeclaration &&
                                  kCall.object == m_spDecl->GetD3DDeclaration());
    for (const gfx::RecordedCall& kCall : m_spRenderer->GetD3DDevice()->RecordedCalls())
        bDrawn = bDrawn || kCall.kind == gfx::RecordedCall::Kind::DrawIndexedPrimitive;
    EXPECT_TRUE(bDeclared);
    EXPECT_TRUE(bDrawn);
}
