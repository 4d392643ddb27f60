#include "engine/shaders/nsb/NSBTextureStage.h"

#include "engine/core/NiEndian.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/nsb/NSBStream.h"

#include <cstring>

NSBTextureStage::NSBTextureStage()
{
    for (std::uint32_t ui = 0; ui < 16; ++ui)
        m_auiTransform[ui] = NiFloatBits(ui % 5 == 0 ? 1.0f : 0.0f);
}

NSBStateGroup* NSBTextureStage::GetTextureStageGroup()
{
    if (!m_spTextureStageGroup)
        m_spTextureStageGroup = std::make_unique<NSBStateGroup>();
    return m_spTextureStageGroup.get();
}

NSBStateGroup* NSBTextureStage::GetSamplerStageGroup()
{
    if (!m_spSamplerStageGroup)
        m_spSamplerStageGroup = std::make_unique<NSBStateGroup>();
    return m_spSamplerStageGroup.get();
}

void NSBTextureStage::GetTextureTransformation(float* pfMatrix) const
{
    for (std::uint32_t ui = 0; ui < 16; ++ui)
        pfMatrix[ui] = NiBitsFloat(m_auiTransform[ui]);
}

void NSBTextureStage::SetTextureTransformation(const float* pfMatrix)
{
    for (std::uint32_t ui = 0; ui < 16; ++ui)
        m_auiTransform[ui] = NiFloatBits(pfMatrix[ui]);
}

bool NSBTextureStage::SaveBinary(NiByteStream& kStream) const
{
    return NSBStream::WriteString(kStream, m_kName) && NSBStream::WriteU32(kStream, m_uiStage) &&
           NSBStream::WriteU32(kStream, m_uiTextureFlags) &&
           NSBStateGroup::SaveOptional(kStream, m_spTextureStageGroup.get()) &&
           NSBStateGroup::SaveOptional(kStream, m_spSamplerStageGroup.get()) &&
           NSBStream::WriteBool(kStream, m_bUseTextureTransform) &&
           NSBStream::WriteU32Array(kStream, m_auiTransform, 16) &&
           NSBStream::WriteU32(kStream, m_uiTextureTransformFlags) && NSBStream::WriteString(kStream, m_kGlobalName);
}

bool NSBTextureStage::LoadBinary(NiByteStream& kStream)
{
    if (!NSBStream::ReadString(kStream, m_kName) || !NSBStream::ReadU32(kStream, m_uiStage) ||
        !NSBStream::ReadU32(kStream, m_uiTextureFlags))
        return false;
    m_spTextureStageGroup.reset();
    m_spSamplerStageGroup.reset();
    std::uint32_t uiUse = 0;
    if (!NSBStateGroup::LoadOptional(kStream, m_spTextureStageGroup) ||
        !NSBStateGroup::LoadOptional(kStream, m_spSamplerStageGroup) || !NSBStream::ReadU32(kStream, uiUse))
        return false;
    // Only 1 turns the transform on.
    m_bUseTextureTransform = uiUse == 1;
    return NSBStream::ReadU32Array(kStream, m_auiTransform, 16) &&
           NSBStream::ReadU32(kStream, m_uiTextureTransformFlags) && NSBStream::ReadString(kStream, m_kGlobalName);
}

bool NSBTextureStage::SetupNiD3DTextureStage(NiD3DTextureStage& kStage)
{
    kStage.SetStage(m_uiStage);
    kStage.SetTextureSelector(m_uiTextureFlags);
    kStage.SetTextureTransformation(m_uiTextureTransformFlags, GetGlobalName());
    NiD3DTextureStageGroup* pkGroup = kStage.GetStageGroup();
    if (m_spTextureStageGroup != nullptr && m_spTextureStageGroup->GetStateCount() != 0 &&
        (pkGroup == nullptr || !m_spTextureStageGroup->SetupTextureStageGroup(*pkGroup)))
        return false;
    if (m_spSamplerStageGroup != nullptr && m_spSamplerStageGroup->GetStateCount() != 0 &&
        (pkGroup == nullptr || !m_spSamplerStageGroup->SetupSamplerGroup(*pkGroup)))
        return false;
    float afMatrix[16];
    GetTextureTransformation(afMatrix);
    gfx::D3DMATRIX kMatrix;
    std::memcpy(&kMatrix, afMatrix, sizeof(kMatrix));
    kStage.SetTextureMatrix(kMatrix);
    return true;
}
