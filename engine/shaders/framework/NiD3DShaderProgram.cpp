#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "platform/gfx/Gfx.h"

NiDX9Renderer* NiD3DShaderProgram::ms_pkRenderer = nullptr;
gfx::IDirect3DDevice9* NiD3DShaderProgram::ms_pkDevice = nullptr;
NiDX9RenderState* NiD3DShaderProgram::ms_pkRenderState = nullptr;

void NiD3DShaderProgram::SetRenderer(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice)
        pkDevice->AddRef();
    if (ms_pkDevice)
        ms_pkDevice->Release();
    ms_pkDevice = pkDevice;
    ms_pkRenderer = pkRenderer;
    ms_pkRenderState = pkRenderer ? pkRenderer->GetRenderState() : nullptr;
}

NiD3DShaderProgram::NiD3DShaderProgram()
    : m_pkDevice(ms_pkDevice), m_pkRenderer(ms_pkRenderer), m_pkRenderState(ms_pkRenderState)
{
    if (m_pkDevice)
        m_pkDevice->AddRef();
}

NiD3DShaderProgram::~NiD3DShaderProgram()
{
    if (m_pkDevice)
        m_pkDevice->Release();
}

void NiD3DShaderProgram::SetCode(std::uint32_t uiSize, std::unique_ptr<std::uint8_t[]> spCode)
{
    m_uiCodeSize = spCode ? uiSize : 0;
    m_spCode = std::move(spCode);
}

NiD3DVertexShader::~NiD3DVertexShader()
{
    if (NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance())
        pkFactory->RemoveVertexShader(this);
    DestroyRendererData();
}

void NiD3DVertexShader::SetVertexShader(gfx::IDirect3DVertexShader9* pkShader)
{
    if (m_pkShader && m_pkShader != pkShader)
        m_pkShader->Release();
    m_pkShader = pkShader;
}

void NiD3DVertexShader::DestroyRendererData() { SetVertexShader(nullptr); }

bool NiD3DVertexShader::RecreateRendererData()
{
    if (m_pkShader)
        return true;
    if (NiD3DShaderProgramFactory::GetInstance() == nullptr || m_pkCreator == nullptr)
        return false;
    return m_pkCreator->RecreateVertexShader(this);
}

NiD3DPixelShader::~NiD3DPixelShader()
{
    if (NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance())
        pkFactory->RemovePixelShader(this);
    DestroyRendererData();
}

void NiD3DPixelShader::SetPixelShader(gfx::IDirect3DPixelShader9* pkShader)
{
    if (m_pkShader && m_pkShader != pkShader)
        m_pkShader->Release();
    m_pkShader = pkShader;
}

void NiD3DPixelShader::DestroyRendererData() { SetPixelShader(nullptr); }

bool NiD3DPixelShader::RecreateRendererData()
{
    if (m_pkShader)
        return true;
    if (NiD3DShaderProgramFactory::GetInstance() == nullptr || m_pkCreator == nullptr)
        return false;
    return m_pkCreator->RecreatePixelShader(this);
}
