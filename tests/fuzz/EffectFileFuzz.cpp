// Effect texts as the effect library reads them: through the effect reader
// without a device (the compiler object) and on a null device. Whatever is
// read is walked through every reflection call, and each technique that
// validates runs its passes; errors come as NUL-terminated text.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "tests/fuzz/EffectFileFuzz.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
gfx::IDirect3DDevice9* g_pkDevice = nullptr;

void CheckErrors(gfx::ID3DXBuffer* pkErrors)
{
    if (!pkErrors)
        return;
    const auto* pcText = static_cast<const char*>(pkErrors->GetBufferPointer());
    if (pkErrors->GetBufferSize() == 0 || pcText[pkErrors->GetBufferSize() - 1] != '\0')
        std::abort();
    pkErrors->Release();
}

void WalkAnnotations(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hObject)
{
    for (std::uint32_t i = 0;; ++i)
    {
        gfx::D3DXHANDLE hAnnotation = pkEffect->GetAnnotation(hObject, i);
        if (!hAnnotation)
            break;
        gfx::D3DXPARAMETER_DESC kDesc;
        if (gfx::FAILED(pkEffect->GetParameterDesc(hAnnotation, &kDesc)))
            std::abort();
        const char* pcText = nullptr;
        std::int32_t iValue = 0;
        float fValue = 0;
        (void)pkEffect->GetString(hAnnotation, &pcText);
        (void)pkEffect->GetInt(hAnnotation, &iValue);
        (void)pkEffect->GetBool(hAnnotation, &iValue);
        (void)pkEffect->GetFloat(hAnnotation, &fValue);
    }
}

void Walk(gfx::ID3DXBaseEffect* pkEffect)
{
    gfx::D3DXEFFECT_DESC kDesc;
    if (gfx::FAILED(pkEffect->GetDesc(&kDesc)))
        std::abort();
    for (std::uint32_t i = 0; i < kDesc.Parameters; ++i)
    {
        gfx::D3DXHANDLE hParameter = pkEffect->GetParameter(nullptr, i);
        gfx::D3DXPARAMETER_DESC kParameter;
        if (!hParameter || gfx::FAILED(pkEffect->GetParameterDesc(hParameter, &kParameter)))
            std::abort();
        WalkAnnotations(pkEffect, hParameter);
        gfx::D3DXMATRIX kMatrix;
        gfx::D3DXVECTOR4 kVector;
        float afValues[64];
        (void)pkEffect->GetMatrix(hParameter, &kMatrix);
        (void)pkEffect->GetMatrixTranspose(hParameter, &kMatrix);
        (void)pkEffect->GetVector(hParameter, &kVector);
        (void)pkEffect->GetFloatArray(hParameter, afValues, 64);
        (void)pkEffect->SetMatrixTransposeArray(hParameter, &kMatrix, 1);
    }
    for (std::uint32_t i = 0; i < kDesc.Techniques; ++i)
    {
        gfx::D3DXHANDLE hTechnique = pkEffect->GetTechnique(i);
        gfx::D3DXTECHNIQUE_DESC kTechnique;
        if (!hTechnique || gfx::FAILED(pkEffect->GetTechniqueDesc(hTechnique, &kTechnique)))
            std::abort();
        WalkAnnotations(pkEffect, hTechnique);
        for (std::uint32_t p = 0; p < kTechnique.Passes; ++p)
        {
            gfx::D3DXPASS_DESC kPass;
            if (gfx::FAILED(pkEffect->GetPassDesc(pkEffect->GetPass(hTechnique, p), &kPass)))
                std::abort();
            std::uint32_t uiCount = 0;
            if (kPass.pVertexShaderFunction)
                (void)gfx::D3DXGetShaderInputSemantics(kPass.pVertexShaderFunction, nullptr, &uiCount);
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkDevice = fuzz::NullDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    return fuzz::ReadEffectTwice(pucData, uiSize, nullptr);
}

int fuzz::ReadEffectTwice(const std::uint8_t* pucData, std::size_t uiSize, void (*pfnBetween)())
{
    if (uiSize > 0x40000)
        return 0;
    const auto uiBytes = static_cast<std::uint32_t>(uiSize);
    // Both readings compile within one compile's deadline, which the
    // fuzzing script's per-input timeout stays above.
    const gfx::HlslCompileScope kCompiles;

    gfx::ID3DXEffectCompiler* pkCompiler = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCreateEffectCompiler(reinterpret_cast<const char*>(pucData), uiBytes, nullptr,
                                                          nullptr, 0, &pkCompiler, &pkErrors);
    if (gfx::SUCCEEDED(hr) != (pkCompiler != nullptr))
        std::abort();
    CheckErrors(pkErrors);
    if (!pkCompiler)
        return 0;
    Walk(pkCompiler);
    pkCompiler->Release();
    if (pfnBetween)
        pfnBetween();

    gfx::ID3DXEffect* pkEffect = nullptr;
    if (gfx::FAILED(gfx::D3DXCreateEffect(g_pkDevice, pucData, uiBytes, nullptr, nullptr, 0, nullptr, &pkEffect,
                                          nullptr)))
    {
        // What the compiler read, the device reads too; unless the time ran
        // out between them: on a loaded machine the second reading may get
        // less of the deadline than the first took, which says nothing of
        // the reader.
        if (kCompiles.Expired())
            return 0;
        std::abort();
    }
    Walk(pkEffect);
    for (std::uint32_t i = 0; pkEffect->GetTechnique(i); ++i)
    {
        gfx::D3DXHANDLE hTechnique = pkEffect->GetTechnique(i);
        (void)pkEffect->ValidateTechnique(hTechnique);
        for (std::uint32_t p = 0; pkEffect->GetParameter(nullptr, p); ++p)
            (void)pkEffect->IsParameterUsed(pkEffect->GetParameter(nullptr, p), hTechnique);
        if (gfx::FAILED(pkEffect->SetTechnique(hTechnique)))
            std::abort();
        std::uint32_t uiPasses = 0;
        if (gfx::FAILED(pkEffect->Begin(&uiPasses, 0)))
            std::abort();
        for (std::uint32_t p = 0; p < uiPasses; ++p)
        {
            (void)pkEffect->BeginPass(p);
            (void)pkEffect->CommitChanges();
            (void)pkEffect->EndPass();
        }
        (void)pkEffect->End();
    }
    g_pkDevice->SetVertexShader(nullptr);
    g_pkDevice->SetPixelShader(nullptr);
    for (std::uint32_t s = 0; s < 16; ++s)
        g_pkDevice->SetTexture(s, nullptr);
    pkEffect->Release();
    return 0;
}
