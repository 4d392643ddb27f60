#pragma once
// Buffer tests run on a renderer of the null back end unless they draw:
// every creation, lock and description is the device's own.

#include "tests/engine/render/RendererTestSupport.h"

#include "engine/scene/NiTriShape.h"

namespace buffertest
{
class BufferTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        rendertest::RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_spRenderer = CreateWindowed();
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkDevice = m_spRenderer->GetD3DDevice();
    }

    // A triangle-list data of n vertices: positions (i, 2i, 3i), normals,
    // colours and texture sets as asked.
    static NiRefPtr<NiTriShapeData> MakeData(std::uint16_t usVertices, bool bNormals, bool bColors,
                                             std::uint16_t usSets)
    {
        auto* pkVerts = new NiVec3[usVertices];
        for (std::uint16_t i = 0; i < usVertices; ++i)
            pkVerts[i] = NiVec3(float(i), float(2 * i), float(3 * i));
        NiVec3* pkNormals = nullptr;
        if (bNormals)
        {
            pkNormals = new NiVec3[usVertices];
            for (std::uint16_t i = 0; i < usVertices; ++i)
                pkNormals[i] = NiVec3(0.0f, 1.0f, float(i));
        }
        NiColorRGBA* pkColors = nullptr;
        if (bColors)
        {
            pkColors = new NiColorRGBA[usVertices];
            for (std::uint16_t i = 0; i < usVertices; ++i)
                pkColors[i] = NiColorRGBA(0.2f, 0.4f, 0.6f, 1.0f);
        }
        NiVec2* pkTex = nullptr;
        if (usSets)
        {
            pkTex = new NiVec2[std::size_t(usVertices) * usSets];
            for (std::uint32_t i = 0; i < std::uint32_t(usVertices) * usSets; ++i)
                pkTex[i] = NiVec2(float(i), -float(i));
        }
        return new NiTriShapeData(usVertices, pkVerts, pkNormals, pkColors, pkTex, usSets, 0, 0, nullptr);
    }

    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
};

inline gfx::D3DVERTEXBUFFER_DESC Describe(gfx::IDirect3DVertexBuffer9* pkVB)
{
    gfx::D3DVERTEXBUFFER_DESC kDesc{};
    EXPECT_TRUE(pkVB != nullptr && gfx::SUCCEEDED(pkVB->GetDesc(&kDesc)));
    return kDesc;
}

template <class T>
T ReadAt(const std::uint8_t* puc, std::size_t uiOffset)
{
    T t{};
    std::memcpy(&t, puc + uiOffset, sizeof(T));
    return t;
}
} // namespace buffertest

#define BUFFER_NULL_BACKEND(Suite)                                                                              \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(gfx::BackendKind::Null), rendertest::BackendName)
