#include "engine/core/NiLibraryRegistry.h"
#include "engine/render/NiDX9ErrorString.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiDX9ShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "tests/engine/render/BufferTestSupport.h"

#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
using buffertest::BufferTest;
using buffertest::ReadAt;
using Entry = NiDX9ShaderDeclaration::ShaderRegisterEntry;

// The declaration the shader framework will derive; here only to reach the base.
class TestDeclaration final : public NiDX9ShaderDeclaration
{
public:
    gfx::IDirect3DVertexDeclaration9* GetD3DDeclaration() override { return nullptr; }
};

constexpr std::uint32_t FLOAT1 = 0, FLOAT2 = 1, FLOAT3 = 2, FLOAT4 = 3, D3DCOLOR = 4, FLOAT16_2 = 15;

Entry MakeEntry(std::int32_t iParameter, std::uint32_t uiType)
{
    Entry k;
    k.m_iParameter = iParameter;
    k.m_uiType = uiType;
    return k;
}

class NiDX9ShaderDeclarationTest : public BufferTest
{
public:
    void SetUp() override
    {
        BufferTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        NiDX9RendererLibraryStartup();
        ASSERT_TRUE(m_spDecl->Initialize(m_spRenderer, 4, 2));
    }
    void TearDown() override
    {
        m_spDecl.reset();
        NiDX9PackingRegistry::Destroy();
        NiDX9RendererLibraryReset();
        BufferTest::TearDown();
    }

    // Packs one entry of n vertices into a 16-byte stride, pre-filled with 0xAB.
    std::vector<std::uint8_t> Pack(const Entry& kEntry, NiGeometryData* pkData, std::uint16_t usVertices,
                                   const NiSkinPartition::Partition* pkPart = nullptr,
                                   NiDX9ExtraDataSource* pkExtra = nullptr, std::uint32_t* puiBytes = nullptr)
    {
        std::vector<std::uint8_t> k(std::size_t(usVertices) * 16, 0xAB);
        const std::uint32_t ui = m_spDecl->PackEntry(usVertices, pkData, 0, pkPart, pkExtra, kEntry, 16, k.data());
        if (puiBytes)
            *puiBytes = ui;
        return k;
    }

    // Made per test and gone before the renderer, which it holds the device of.
    std::unique_ptr<TestDeclaration> m_spDecl = std::make_unique<TestDeclaration>();
};

// Extra-data answers from a fixed array.
class ArraySource final : public NiDX9ExtraDataSource
{
public:
    ArraySource(const void* pv, std::uint32_t uiSize, std::uint32_t uiKind) : m_pv(pv), m_uiSize(uiSize), m_uiKind(uiKind) {}
    const void* GetData(std::uint32_t) override { return m_pv; }
    std::uint32_t GetElementSize(std::uint32_t) override { return m_uiSize; }
    std::uint32_t GetStride(std::uint32_t) override { return m_uiSize; }
    std::uint32_t GetKind(std::uint32_t) override { return m_uiKind; }

private:
    const void* m_pv;
    std::uint32_t m_uiSize, m_uiKind;
};

TEST_P(NiDX9ShaderDeclarationTest, RegistryHoldsTheTypeSizesAndIsFilledOnce)
{
    const std::uint32_t auiSizes[17] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
    for (std::uint32_t t = 0; t < 17; ++t)
        EXPECT_EQ(NiDX9PackingRegistry::GetTypeSize(t), auiSizes[t]) << t;
    EXPECT_EQ(NiDX9PackingRegistry::GetTypeSize(17), 0u);
    for (std::uint32_t t = 0; t < 18; ++t)
        EXPECT_NE(NiDX9PackingRegistry::GetFunction(t, 0), nullptr) << t; // kind 0: the no-op
    EXPECT_EQ(NiDX9PackingRegistry::GetFunction(FLOAT16_2, 3), nullptr);
    EXPECT_NE(NiDX9PackingRegistry::GetFunction(5, 3), nullptr); // UBYTE4 from floats
    EXPECT_EQ(NiDX9PackingRegistry::GetFunction(8, 3), nullptr); // UBYTE4N: none
    EXPECT_EQ(NiDX9PackingRegistry::GetFunction(D3DCOLOR, 1), nullptr);
    NiDX9PackingRegistry::SetFunction(FLOAT1, 1, nullptr);
    NiDX9RendererLibraryStartup(); // a second start-up changes nothing
    EXPECT_EQ(NiDX9PackingRegistry::GetFunction(FLOAT1, 1), nullptr);
    EXPECT_EQ(NiDX9RendererLibraryIdentifiers(), (std::vector<std::uint32_t>{22, 23, 24}));
}

TEST_P(NiDX9ShaderDeclarationTest, FloatEntriesCopyCutAndExtend)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(2, true, true, 1);
    std::uint32_t uiBytes = 0;
    std::vector<std::uint8_t> k = Pack(MakeEntry(0, FLOAT4), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 32u);
    EXPECT_EQ(ReadAt<float>(k.data(), 16 + 8), 3.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 16 + 12), 0.0f);
    k = Pack(MakeEntry(3, FLOAT2), spData, 2);
    EXPECT_EQ(ReadAt<float>(k.data(), 16 + 4), 1.0f);   // normal y of vertex 1
    EXPECT_EQ(k[16 + 8], 0xAB);                          // only the element is written
    k = Pack(MakeEntry(5 + 1, FLOAT2), spData, 2, nullptr, nullptr, &uiBytes); // a set the data lacks
    EXPECT_EQ(uiBytes, 16u);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 0.0f);
    // Floats of kinds 29-32 have kind - 28 components, cut or zero-filled.
    const float afSource[4] = {1.5f, 2.5f, 3.5f, 4.5f};
    ArraySource kTwo(afSource, 8, 30);
    k = Pack(MakeEntry(std::int32_t(0x80000000u), FLOAT3), spData, 1, nullptr, &kTwo);
    EXPECT_EQ(ReadAt<float>(k.data(), 4), 2.5f);
    EXPECT_EQ(ReadAt<float>(k.data(), 8), 0.0f);
    ArraySource kFour(afSource, 16, 32);
    k = Pack(MakeEntry(std::int32_t(0x80000000u), FLOAT1), spData, 1, nullptr, &kFour);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 1.5f);
    EXPECT_EQ(k[4], 0xAB);
}

TEST_P(NiDX9ShaderDeclarationTest, IntegerSourcesConvertByTheirGroupsScale)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(1, false, false, 0);
    const std::int16_t asShorts[4] = {32767, -32768, 5, 6};
    ArraySource kShorts(asShorts, 8, 20);
    std::vector<std::uint8_t> k = Pack(MakeEntry(std::int32_t(0x80000001u), FLOAT1), spData, 1, nullptr, &kShorts);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), float(32767) * std::bit_cast<float>(0x37800080u));
    EXPECT_EQ(k[4], 0xAB); // only the first component
    const std::uint8_t aucBytes[4] = {255, 0, 0, 0};
    ArraySource kScaled(aucBytes, 4, 25);
    k = Pack(MakeEntry(std::int32_t(0x80000002u), FLOAT2), spData, 1, nullptr, &kScaled);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 1.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 4), 0.0f); // one component, the rest 0
    ArraySource kBiased(aucBytes, 4, 21);
    k = Pack(MakeEntry(std::int32_t(0x80000002u), FLOAT1), spData, 1, nullptr, &kBiased);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 255.0f * std::bit_cast<float>(0x3C010204u) - 1.0f);
}

TEST_P(NiDX9ShaderDeclarationTest, ColourEntries)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(1, false, true, 0);
    spData->GetColors()[0] = NiColorRGBA(1.0f, 0.0f, 0.0f, 0.5f);
    std::vector<std::uint8_t> k = Pack(MakeEntry(4, D3DCOLOR), spData, 1);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x80FF0000u);
    NiRefPtr<NiTriShapeData> spPlain = MakeData(1, false, false, 0);
    k = Pack(MakeEntry(4, D3DCOLOR), spPlain, 1);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0xFFFFFFFFu);
    // Channels outside 0-1 are clamped, not ORed into their neighbours.
    spData->GetColors()[0] = NiColorRGBA(2.0f, -1.0f, 0.0f, 1.0f);
    k = Pack(MakeEntry(4, D3DCOLOR), spData, 1);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0xFFFF0000u);

    NiSkinPartition::Partition kPart;
    kPart.m_usVertices = 1;
    kPart.m_usBonesPerVertex = 3;
    kPart.m_pucBonePalette.reset(new std::uint8_t[3]{1, 2, 3});
    k = Pack(MakeEntry(2, D3DCOLOR), spData, 1, &kPart);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x00030201u);
    // Sixteen-bit colours: the ARGB word of the high bytes.
    const std::uint16_t ausShorts[4] = {0x1100, 0x2200, 0x3300, 0x4400};
    ArraySource kShorts(ausShorts, 8, 16);
    k = Pack(MakeEntry(std::int32_t(0x80000000u), D3DCOLOR), spData, 1, nullptr, &kShorts);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0x44112233u);
    // A kind without a colour function: the element is zeroed, nothing reported.
    const float afOne[1] = {1.0f};
    ArraySource kOne(afOne, 4, 1);
    std::uint32_t uiBytes = 99;
    k = Pack(MakeEntry(std::int32_t(0x80000000u), D3DCOLOR), spData, 1, nullptr, &kOne, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0u);
}

TEST_P(NiDX9ShaderDeclarationTest, SkinEntriesAndVertexMaps)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(6, false, true, 0);
    spData->GetColors()[5] = NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f);
    NiSkinPartition::Partition kPart;
    kPart.m_usVertices = 2;
    kPart.m_usBonesPerVertex = 4;
    kPart.m_pusVertexMap.reset(new std::uint16_t[2]{5, 2});
    kPart.m_pfWeights.reset(new float[8]{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
    std::vector<std::uint8_t> k = Pack(MakeEntry(0, FLOAT3), spData, 2, &kPart);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 5.0f);
    EXPECT_EQ(ReadAt<float>(k.data(), 16), 2.0f);
    // Colours follow the map too.
    k = Pack(MakeEntry(4, D3DCOLOR), spData, 2, &kPart);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 0), 0xFFFF0000u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 16), 0xFF336699u);
    // Weights: three of four, stepping 16 source bytes, never through the map.
    k = Pack(MakeEntry(1, FLOAT3), spData, 2, &kPart);
    EXPECT_EQ(ReadAt<float>(k.data(), 16), 0.5f);
    EXPECT_EQ(ReadAt<float>(k.data(), 24), 0.7f);
    std::uint32_t uiBytes = 99;
    Pack(MakeEntry(1, FLOAT3), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u); // no partition
    // Hostile: a map past the data and a bone count outside 1-4 read nothing.
    kPart.m_pusVertexMap[1] = 60000;
    k = Pack(MakeEntry(0, FLOAT3), spData, 2, &kPart);
    EXPECT_EQ(ReadAt<float>(k.data(), 16), 0.0f);
    kPart.m_usBonesPerVertex = 9;
    k = Pack(MakeEntry(1, FLOAT3), spData, 2, &kPart, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 0.0f);
    kPart.m_usBonesPerVertex = 0;
    Pack(MakeEntry(2, D3DCOLOR), spData, 2, &kPart, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
}

TEST_P(NiDX9ShaderDeclarationTest, EntriesThatPackNothing)
{
    NiRefPtr<NiTriShapeData> spData = MakeData(2, false, false, 0);
    std::uint32_t uiBytes = 99;
    NiDX9PackingRegistry::Destroy(); // type 17 returns before any look-up
    std::vector<std::uint8_t> k = Pack(MakeEntry(0, 17), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    EXPECT_EQ(k[0], 0xAB);
    NiDX9PackingRegistry::Create();
    k = Pack(MakeEntry(0, FLOAT16_2), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    EXPECT_EQ(ReadAt<std::uint32_t>(k.data(), 16), 0u); // zeroed, not left stale
    Pack(MakeEntry(-1, FLOAT3), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    k = Pack(MakeEntry(15, FLOAT3), spData, 2, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
    EXPECT_EQ(ReadAt<float>(k.data(), 0), 0.0f);
    // More vertices than the data has: nothing is read past its arrays.
    k = Pack(MakeEntry(0, FLOAT3), spData, 3, nullptr, nullptr, &uiBytes);
    EXPECT_EQ(uiBytes, 0u);
}

TEST_P(NiDX9ShaderDeclarationTest, InitializeKeepsTheRendererAndItsStreams)
{
    EXPECT_EQ(m_spDecl->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(m_spDecl->GetDevice(), m_pkDevice);
    ASSERT_EQ(m_spDecl->GetStreamCount(), 2u);
    const Entry& kEntry = m_spDecl->GetStream(1)->m_spEntries[3];
    EXPECT_EQ(kEntry.m_iParameter, -1);
    EXPECT_EQ(kEntry.m_uiType, 17u);
    EXPECT_EQ(m_spDecl->GetStream(2), nullptr);
}

TEST(NiDX9ErrorStringTest, NamesTheDeviceResults)
{
    EXPECT_STREQ(NiDX9ErrorString(gfx::E_FAIL), "E_FAIL");
    EXPECT_STREQ(NiDX9ErrorString(gfx::D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(NiDX9ErrorString(gfx::D3DERR_CONFLICTINGTEXTUREPALETTE), "D3DERR_CONFLICTINGTEXTUREPALETTE");
    EXPECT_STREQ(NiDX9ErrorString(gfx::D3DERR_OUTOFVIDEOMEMORY), "D3DERR_OUTOFVIDEOMEMORY");
    EXPECT_STREQ(NiDX9ErrorString(0), "UNKNOWN!");
    EXPECT_STREQ(NiDX9ErrorString(gfx::HRESULT(0x88760820u)), "UNKNOWN!");
}

TEST(NiDX9RendererLibraryTest, StartsOnceAndShutsDownOnlyAfterStartUp)
{
    NiDX9RendererLibraryReset();
    NiDX9RendererLibraryShutdown(); // without start-up: nothing
    EXPECT_FALSE(NiDX9RendererLibraryIsStarted());
    NiDX9RendererLibraryStartup();
    NiDX9RendererLibraryStartup();
    EXPECT_TRUE(NiDX9RendererLibraryIsStarted());
    EXPECT_TRUE(NiDX9PackingRegistry::IsCreated());
    EXPECT_EQ(NiDX9RendererLibraryIdentifiers().size(), 3u);
    NiDX9RendererLibraryShutdown();
    EXPECT_FALSE(NiDX9PackingRegistry::IsCreated());
    EXPECT_TRUE(NiDX9RendererLibraryIdentifiers().empty());
    EXPECT_EQ(NiDX9Renderer::GetDirect3D(), nullptr);

    NiLibraryRegistry::Reset();
    NiDX9RendererLibraryInit();
    NiDX9RendererLibraryInit();
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 1u);
    NiLibraryRegistry::Reset();
    NiDX9RendererLibraryReset();
}

BUFFER_NULL_BACKEND(NiDX9ShaderDeclarationTest);
} // namespace
