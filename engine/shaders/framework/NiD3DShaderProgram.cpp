#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "platform/gfx/Gfx.h"

#include <algorithm>

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

void NiD3DVertexShader::DestroyRendererData()
{
    // The framework's renderer, not the one the program was made with: that
    // one may be gone, and then nothing can still have the shader bound.
    if (ms_pkRenderer != nullptr)
        ms_pkRenderer->PurgeVertexShader(this);
    else
        SetVertexShader(nullptr);
}

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

void NiD3DPixelShader::DestroyRendererData()
{
    if (ms_pkRenderer != nullptr)
        ms_pkRenderer->PurgePixelShader(this);
    else
        SetPixelShader(nullptr);
}

bool NiD3DPixelShader::RecreateRendererData()
{
    if (m_pkShader)
        return true;
    if (NiD3DShaderProgramFactory::GetInstance() == nullptr || m_pkCreator == nullptr)
        return false;
    return m_pkCreator->RecreatePixelShader(this);
}

bool NiD3DShaderProgram::SetVertexShaderConstant(NiD3DShaderConstantMapEntry*, const void*, std::uint32_t,
                                                 std::uint32_t)
{
    return false;
}

bool NiD3DShaderProgram::SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry*, const void*, std::uint32_t,
                                                      std::uint32_t, const std::uint16_t*)
{
    return false;
}

bool NiD3DShaderProgram::SetPixelShaderConstant(NiD3DShaderConstantMapEntry*, const void*, std::uint32_t,
                                                std::uint32_t)
{
    return false;
}

bool NiD3DShaderProgram::SetPixelShaderConstantArray(NiD3DShaderConstantMapEntry*, const void*, std::uint32_t,
                                                     std::uint32_t, const std::uint16_t*)
{
    return false;
}

NiD3DShaderConstantCache* NiD3DShaderProgram::GetConstantCache() const
{
    return m_pkRenderState != nullptr ? m_pkRenderState->GetShaderConstantCache() : nullptr;
}

bool NiD3DShaderProgram::SetRegisterConstant(std::uint32_t uiStage, NiD3DShaderConstantMapEntry* pkEntry,
                                             const void* pvValues, std::uint32_t uiCount,
                                             std::uint32_t uiValueRegisters)
{
    NiD3DShaderConstantCache* pkCache = GetConstantCache();
    if (pkCache == nullptr || pkEntry == nullptr)
        return false;
    const bool bBool = pkEntry->IsBool();
    const bool bInt = pkEntry->IsUnsignedInt();
    if (pvValues == nullptr)
    {
        // The entry's own data: as many whole registers as it holds.
        pvValues = pkEntry->GetDataSource();
        uiValueRegisters = bBool ? pkEntry->GetDataSize() / 4 : pkEntry->GetDataSize() / 16;
    }
    if (pvValues == nullptr)
        return false;
    if (uiCount == 0)
        uiCount = pkEntry->GetRegisterCount() != 0 ? pkEntry->GetRegisterCount() : 1;
    const std::uint32_t uiFirst = pkEntry->GetShaderRegister();
    auto Set = [&](std::uint32_t uiRegister, std::uint32_t uiRegisters) {
        // Never past the values given.
        if (uiRegisters > uiValueRegisters)
            return false;
        if (bBool)
            return uiStage == 0 ? pkCache->SetVertexConstantsB(uiRegister, static_cast<const std::int32_t*>(pvValues),
                                                               uiRegisters, false)
                                : pkCache->SetPixelConstantsB(uiRegister, static_cast<const std::int32_t*>(pvValues),
                                                              uiRegisters, false);
        if (bInt)
            return uiStage == 0 ? pkCache->SetVertexConstantsI(uiRegister, static_cast<const std::int32_t*>(pvValues),
                                                               uiRegisters, false)
                                : pkCache->SetPixelConstantsI(uiRegister, static_cast<const std::int32_t*>(pvValues),
                                                              uiRegisters, false);
        return uiStage == 0
                   ? pkCache->SetVertexConstantsF(uiRegister, static_cast<const float*>(pvValues), uiRegisters, false)
                   : pkCache->SetPixelConstantsF(uiRegister, static_cast<const float*>(pvValues), uiRegisters, false);
    };
    // The registers run on from the entry's first, each taking the next
    // register of values (a matrix, an array of vectors).
    return Set(uiFirst, uiCount);
}

bool NiD3DShaderProgram::SetRegisterConstantArray(std::uint32_t uiStage, NiD3DShaderConstantMapEntry* pkEntry,
                                                  const void* pvValues, std::uint32_t uiElements,
                                                  std::uint32_t uiRegistersPerElement,
                                                  const std::uint16_t* puiIndices)
{
    NiD3DShaderConstantCache* pkCache = GetConstantCache();
    if (pkCache == nullptr || pkEntry == nullptr || pvValues == nullptr || puiIndices == nullptr ||
        !(pkEntry->IsMatrix3() || pkEntry->IsMatrix4()))
        return false;
    const float* pfValues = static_cast<const float*>(pvValues);
    const std::uint64_t uiFirst = pkEntry->GetShaderRegister();
    for (std::uint32_t ui = 0; ui < uiElements; ++ui)
    {
        const std::uint64_t uiRegister = uiFirst + std::uint64_t(ui) * uiRegistersPerElement;
        if (uiRegister > 0xFFFFFFFFu)
            return false;
        const float* pfElement = pfValues + std::size_t(puiIndices[ui]) * uiRegistersPerElement * 4;
        const bool bSet = uiStage == 0 ? pkCache->SetVertexConstantsF(static_cast<std::uint32_t>(uiRegister),
                                                                      pfElement, uiRegistersPerElement, false)
                                       : pkCache->SetPixelConstantsF(static_cast<std::uint32_t>(uiRegister),
                                                                     pfElement, uiRegistersPerElement, false);
        if (!bSet)
            return false;
    }
    return true;
}
