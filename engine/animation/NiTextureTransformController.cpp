#include "engine/animation/NiTextureTransformController.h"

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiTextureTransform.h"
#include "engine/scene/NiTexturingProperty.h"

#include <memory>

NiImplementTypeInfo(NiTextureTransformController, NiFloatInterpController)
NiImplementCreateClone(NiTextureTransformController)

namespace
{
constexpr std::uint32_t MEMBER_COUNT = 5;
const char* const MEMBER_NAMES[MEMBER_COUNT] = {"TT_TRANSLATE_U", "TT_TRANSLATE_V", "TT_ROTATE", "TT_SCALE_U",
                                                 "TT_SCALE_V"};
} // namespace

NiTextureTransformController::~NiTextureTransformController()
{
    delete[] m_pcCtlrID;
}

NiObject* NiTextureTransformController::CreateObject()
{
    return new NiTextureTransformController;
}

void NiTextureTransformController::CopyMembers(NiTextureTransformController* pkDest, NiCloneContext& kCloning)
{
    NiFloatInterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_bShaderMap = m_bShaderMap;
    pkDest->m_uiMapIndex = m_uiMapIndex;
    pkDest->m_eMember = m_eMember;
}

void NiTextureTransformController::ForgetCache()
{
    m_pkMap = nullptr;
    delete[] m_pcCtlrID;
    m_pcCtlrID = nullptr;
}

void NiTextureTransformController::SetMap(bool bShaderMap, std::uint32_t uiMap, TransformMember eMember)
{
    m_bShaderMap = bShaderMap;
    m_uiMapIndex = uiMap;
    m_eMember = eMember;
    ForgetCache();
}

void NiTextureTransformController::SetTarget(NiObjectNET* pkTarget)
{
    if (pkTarget != m_pkTarget)
        m_pkMap = nullptr;
    NiFloatInterpController::SetTarget(pkTarget);
}

bool NiTextureTransformController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiTexturingProperty>(pkTarget);
}

const char* NiTextureTransformController::GetCtlrID()
{
    if (m_pcCtlrID == nullptr)
    {
        const char* pcMember = static_cast<std::uint32_t>(m_eMember) < MEMBER_COUNT ? MEMBER_NAMES[m_eMember] : "";
        m_pcCtlrID = NiViewerFormat("%d-%d-%s", m_bShaderMap ? 1 : 0, static_cast<int>(m_uiMapIndex), pcMember);
    }
    return m_pcCtlrID;
}

bool NiTextureTransformController::FindTextureMap()
{
    if (m_pkMap != nullptr)
        return true;
    auto* pkProperty = NiDynamicCast<NiTexturingProperty>(m_pkTarget);
    if (pkProperty == nullptr)
        return false;
    // A map index the property does not have is simply not found.
    if (!m_bShaderMap)
        m_pkMap = m_uiMapIndex < pkProperty->GetMapArrayCount() ? pkProperty->GetMap(m_uiMapIndex) : nullptr;
    else
        m_pkMap = m_uiMapIndex < pkProperty->GetShaderMapCount() ? pkProperty->GetArrayMapAt(m_uiMapIndex) : nullptr;
    return m_pkMap != nullptr;
}

void NiTextureTransformController::GetTargetFloatValue(float& fValue)
{
    if (!FindTextureMap())
        return;
    const NiTextureTransform* pkTransform = m_pkMap->GetTextureTransform();
    if (pkTransform == nullptr)
    {
        fValue = 0.0f;
        return;
    }
    switch (m_eMember)
    {
    case TT_TRANSLATE_U:
        fValue = pkTransform->GetTranslate().x;
        break;
    case TT_TRANSLATE_V:
        fValue = pkTransform->GetTranslate().y;
        break;
    case TT_ROTATE:
        fValue = pkTransform->GetRotate();
        break;
    case TT_SCALE_U:
        fValue = pkTransform->GetScale().x;
        break;
    case TT_SCALE_V:
        fValue = pkTransform->GetScale().y;
        break;
    }
}

void NiTextureTransformController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    float fValue = 0.0f;
    if (!m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, fValue) || !FindTextureMap())
        return;
    NiTextureTransform* pkTransform = m_pkMap->GetTextureTransform();
    if (pkTransform == nullptr)
    {
        m_pkMap->SetTextureTransform(std::make_unique<NiTextureTransform>());
        pkTransform = m_pkMap->GetTextureTransform();
    }
    // A setter only dirties the matrix when a value changes.
    NiVec2 kTranslate = pkTransform->GetTranslate();
    NiVec2 kScale = pkTransform->GetScale();
    switch (m_eMember)
    {
    case TT_TRANSLATE_U:
        if (kTranslate.x != fValue)
            pkTransform->SetTranslate(NiVec2(fValue, kTranslate.y));
        break;
    case TT_TRANSLATE_V:
        if (kTranslate.y != fValue)
            pkTransform->SetTranslate(NiVec2(kTranslate.x, fValue));
        break;
    case TT_ROTATE:
        if (pkTransform->GetRotate() != fValue)
            pkTransform->SetRotate(fValue);
        break;
    case TT_SCALE_U:
        if (kScale.x != fValue)
            pkTransform->SetScale(NiVec2(fValue, kScale.y));
        break;
    case TT_SCALE_V:
        if (kScale.y != fValue)
            pkTransform->SetScale(NiVec2(kScale.x, fValue));
        break;
    }
}

// ---- Records ----

void NiTextureTransformController::ReadFromStream(NiObjectStream& kStream)
{
    NiFloatInterpController::ReadFromStream(kStream);
    std::uint8_t ucShader = 0;
    std::uint32_t uiMember = 0;
    kStream.ReadLE(ucShader);
    kStream.ReadLE(m_uiMapIndex);
    kStream.ReadLE(uiMember);
    m_bShaderMap = ucShader != 0;
    if (uiMember >= MEMBER_COUNT)
        kStream.SetCorrupt();
    else
        m_eMember = static_cast<TransformMember>(uiMember);
    ReadOldKeyDataLink(kStream);
}

void NiTextureTransformController::ResolveLinks(NiObjectStream& kStream)
{
    NiFloatInterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiFloatInterpolator, NiFloatData>(kStream);
}

void NiTextureTransformController::WriteToStream(NiObjectStream& kStream)
{
    NiFloatInterpController::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bShaderMap ? 1 : 0));
    kStream.WriteLE(m_uiMapIndex);
    kStream.WriteLE(static_cast<std::uint32_t>(m_eMember));
}

bool NiTextureTransformController::IsEqual(NiObject* pkOther)
{
    if (!NiFloatInterpController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiTextureTransformController*>(pkOther);
    return m_bShaderMap == pkController->m_bShaderMap && m_uiMapIndex == pkController->m_uiMapIndex &&
           m_eMember == pkController->m_eMember;
}

void NiTextureTransformController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiFloatInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTextureTransformController::TypeInfo()->GetName()));
}
