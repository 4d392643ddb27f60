#include "tests/framework/TestRenderer.h"

#include <sstream>

void TestRenderer::SetBackgroundColor(const NiColorRGBA& kColor)
{
    m_kBackground = kColor;
    m_kCalls.push_back("SetBackgroundColor");
}

bool TestRenderer::BeginScene()
{
    m_kCalls.push_back("BeginScene");
    return true;
}

void TestRenderer::EndScene()
{
    m_kCalls.push_back("EndScene");
}

void TestRenderer::ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags)
{
    std::ostringstream kText;
    kText << "ClearBuffer " << (pkViewport != nullptr ? "rect " : "all ") << uiFlags;
    m_kCalls.push_back(kText.str());
}

void TestRenderer::RenderScreenTexture(NiScreenTexture* pkTexture)
{
    m_kScreenTextures.push_back(pkTexture);
    m_kScreenRects.emplace_back(pkTexture->GetScreenRects(), pkTexture->GetScreenRects() + pkTexture->GetNumScreenRects());
}

void TestRenderer::DisplayFrame()
{
    m_kCalls.push_back("DisplayFrame");
}

TestRendererFactory::TestRendererFactory()
{
    // Adapter 0 lists a mode FindMode turns down (format 99).
    m_kAdapters.push_back({"Test Adapter", {{800, 600, 32, 22}, {1280, 1024, 32, 22}, {640, 480, 16, 99}}});
    m_kAdapters.push_back({"Second Adapter", {{1024, 768, 32, 22}}});
}

NiRendererPtr TestRendererFactory::Create(const COrvaneRendererParams& kParams)
{
    const int iNumber = static_cast<int>(m_kCreated.size());
    m_kCreated.push_back(kParams);
    if (m_iFailFrom >= 0 && iNumber >= m_iFailFrom)
        return nullptr;
    m_pkLast = new TestRenderer(kParams);
    return NiRendererPtr(m_pkLast);
}

bool TestRendererFactory::FindMode(std::uint32_t, std::uint32_t uiFormat, std::uint32_t, std::uint32_t)
{
    return uiFormat != 99;
}

std::uint32_t TestRendererFactory::GetCreationFlags(const NiRenderer* pkRenderer) const
{
    const auto* pkTest = dynamic_cast<const TestRenderer*>(pkRenderer);
    return pkTest != nullptr ? pkTest->m_kParams.m_uiFlags : 0;
}
