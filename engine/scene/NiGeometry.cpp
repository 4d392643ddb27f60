#include "engine/scene/NiGeometry.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/shaders/framework/NiShaderFactory.h"

#include <cstdio>
#include <memory>

NiImplementTypeInfo(NiGeometry, NiAVObject)

// Set by renderers whose software skinning leaves the vertex data untouched.
static constexpr std::uint32_t RENDERER_STATIC_SKINNING = 0x200;

NiGeometry::NiGeometry() = default;

NiGeometry::NiGeometry(NiGeometryData* pkData) : m_spModelData(pkData), m_uiPlaneMask(ALL_PLANES) {}

NiGeometry::~NiGeometry()
{
    NiShaderFactory::ReleaseGeometry(this);
    m_spShader = nullptr;
    m_spSkinInstance = nullptr;
    m_spModelData = nullptr;
    m_spEffectSet = nullptr;
    m_spPropertySet = nullptr;
}

NiSkinInstance* NiGeometry::GetSkinInstance() const
{
    return m_spSkinInstance;
}

void NiGeometry::SetSkinInstance(NiSkinInstance* pkSkin)
{
    // The bound the last pass gave stays until the next one.
    UpdateStaleWorldData();
    m_spSkinInstance = pkSkin;
    MarkOnDemandOrderDirty();
}

void NiGeometry::SetModelData(NiGeometryData* pkData)
{
    if (pkData == nullptr)
        return;
    UpdateStaleWorldData();
    m_spModelData = pkData;
}

bool NiGeometry::CanDeferWorldData() const
{
    // A skin's bound follows its bones (and writes the shared data's bound).
    return m_spSkinInstance == nullptr && m_spCollisionObject == nullptr;
}

void NiGeometry::CalculateNormals()
{
    if (m_spModelData != nullptr)
        m_spModelData->CalculateNormals();
}

void NiGeometry::SetConsistency(bool bHardwareSkinning)
{
    if (m_spModelData == nullptr)
        return;
    std::uint16_t usValue = NiGeometryData::STATIC;
    for (NiTimeController* pkController = GetControllers(); pkController != nullptr;
         pkController = pkController->GetNext())
    {
        if (pkController->IsVertexController())
            usValue = NiGeometryData::VOLATILE;
    }
    if (m_spSkinInstance != nullptr)
    {
        bool bPartition = m_spSkinInstance->GetSkinPartition() != nullptr;
        bool bStands = bPartition;
        if (!bHardwareSkinning)
        {
            NiRenderer* pkRenderer = NiRenderer::GetRenderer();
            bStands = bPartition && pkRenderer != nullptr && (pkRenderer->GetFlags() & RENDERER_STATIC_SKINNING) != 0;
        }
        if (!bStands)
            usValue = NiGeometryData::VOLATILE;
    }
    m_spModelData->SetConsistency(usValue);
}

void NiGeometry::MarkDataVolatile(NiObjectNET* pkTarget)
{
    NiGeometry* pkGeometry = NiDynamicCast<NiGeometry>(pkTarget);
    if (pkGeometry != nullptr && pkGeometry->m_spModelData != nullptr)
        pkGeometry->m_spModelData->SetConsistency(NiGeometryData::VOLATILE);
}

void NiGeometry::ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft)
{
    if (m_spModelData == nullptr)
        return;
    UpdateStaleWorldData();
    if (!bOnLeft)
    {
        m_spModelData->TransformVertices(kRotate, kTranslate);
        return;
    }
    // The transform given in the parent's frame, seen from this object's
    // own frame.
    const NiMatrix3x3& kR = m_kLocal.m_kRotate;
    const NiVec3& kL = m_kLocal.m_kTranslate;
    float fScale = m_kLocal.m_fScale != 0.0f ? m_kLocal.m_fScale : 1.0f;
    NiMatrix3x3 kM = kR.TransposeMultiply(kRotate * kR);
    NiVec3 kT = kR.TransposeMultiplyVector(kRotate * kL + kTranslate - kL) / fScale;
    m_spModelData->TransformVertices(kM, kT);
}

void NiGeometry::ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid)
{
    NiAVObject::ComputeSelectiveUpdateFlags(bSelectiveUpdate, bSelectiveUpdateTransforms, bRigid);
    if (m_spSkinInstance != nullptr)
    {
        // Bones move the skin every frame whatever its own controllers do.
        bSelectiveUpdate = true;
        bRigid = false;
        m_uFlags = static_cast<std::uint16_t>((m_uFlags | SELECTIVE_UPDATE | SELECTIVE_XFORMS) & ~SELECTIVE_RIGID);
    }
}

void NiGeometry::UpdatePropertiesDownward(NiPropertySet* pkParentState)
{
    m_spPropertySet = PushLocalProperties(pkParentState, true);
}

void NiGeometry::UpdateEffectsDownward(NiEffectSet* pkParentEffects)
{
    m_spEffectSet = pkParentEffects;
}

void NiGeometry::UpdateWorldBound()
{
    if (m_spModelData == nullptr)
        return;
    if (m_spSkinInstance != nullptr)
        m_spSkinInstance->UpdateModelBound(m_spModelData->GetBound());
    m_kWorldBound.Transform(m_spModelData->GetBound(), m_kWorld);
}

void NiGeometry::OnVisible(NiCamera* pkCamera)
{
    if (pkCamera == nullptr)
        return;
    m_uiPlaneMask = pkCamera->GetActivePlaneMask();
    NiRenderer* pkRenderer = pkCamera->GetRenderer();
    NiAccumulator* pkSorter = pkRenderer != nullptr ? pkRenderer->GetAccumulator() : nullptr;
    if (pkSorter == nullptr || !pkSorter->RegisterGeometry(this))
        RenderImmediate(pkRenderer);
}

void NiGeometry::PrepareDraw(NiRenderer* pkRenderer)
{
    for (NiTimeController* pkController = GetControllers(); pkController != nullptr;
         pkController = pkController->GetNext())
        pkController->ApplyDeferredUpdate();
    if (pkRenderer != nullptr)
        pkRenderer->SetGeometryDrawState(m_spPropertySet, m_spEffectSet, m_uiPlaneMask);
}

void NiGeometry::RenderImmediate(NiRenderer* pkRenderer)
{
    PrepareDraw(pkRenderer);
}

void NiGeometry::PurgeRendererData(NiRenderer* pkRenderer)
{
    NiAVObject::PurgeRendererData(pkRenderer);
    if (pkRenderer == nullptr)
        return;
    if (m_spModelData != nullptr)
        pkRenderer->PurgeGeometryRendererData(m_spModelData);
    if (m_spSkinInstance != nullptr)
    {
        pkRenderer->PurgeSkinInstanceRendererData(m_spSkinInstance);
        if (NiSkinPartition* pkPartition = m_spSkinInstance->GetSkinPartition())
            pkRenderer->PurgeSkinPartitionRendererData(pkPartition);
    }
}

bool NiGeometry::IsDataClassValid(const NiGeometryData* pkData) const
{
    (void)pkData;
    return true;
}

// ---- Cloning ----

void NiGeometry::CopyMembers(NiGeometry* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
    pkDest->m_spModelData = m_spModelData;
    pkDest->m_uiPlaneMask = m_uiPlaneMask;
}

void NiGeometry::FinishClone(NiCloneContext& kCloning)
{
    NiAVObject::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    if (!kCloning.m_kCloneMap.GetAt(this, pkCopy) || pkCopy == nullptr)
        return;
    auto* pkClone = static_cast<NiGeometry*>(pkCopy);
    if (m_spSkinInstance != nullptr)
    {
        NiObject* pkSkinCopy = nullptr;
        if (!kCloning.m_kCloneMap.GetAt(m_spSkinInstance, pkSkinCopy) || pkSkinCopy == nullptr)
        {
            pkSkinCopy = m_spSkinInstance->CreateClone(kCloning);
            // The map remembers it for the other geometry sharing the skin.
            kCloning.m_kCloneMap.SetAt(m_spSkinInstance, pkSkinCopy);
            m_spSkinInstance->FinishClone(kCloning);
        }
        pkClone->m_spSkinInstance = static_cast<NiSkinInstance*>(pkSkinCopy);
    }
    // An unbound placeholder is copied; a bound shader binds the clone by
    // name, as loading does.
    if (m_spShader == nullptr)
        return;
    if (NiIsExactKindOf(NiShader::TypeInfo(), m_spShader.Get()))
        pkClone->m_spShader = new NiShader(m_spShader->GetName(), m_spShader->GetImplementation());
    else
        NiShaderFactory::AttachShaderByNameToGeometry(pkClone, m_spShader->GetName(), m_spShader->GetImplementation());
}

// ---- Scene-file record ----

void NiGeometry::ReadFromStream(NiObjectStream& kStream)
{
    NiAVObject::ReadFromStream(kStream);
    kStream.ReadLinkID(); // model data
    kStream.ReadLinkID(); // skin instance
    if (kStream.GetFileVersion() < NiStreamVersion(5, 0, 0, 21))
        return;
    std::uint8_t ucHasShader = 0;
    if (!kStream.ReadLE(ucHasShader) || ucHasShader == 0)
        return;
    m_spShader = new NiShader;
    m_spShader->LoadBinary(kStream);
}

void NiGeometry::ResolveLinks(NiObjectStream& kStream)
{
    NiAVObject::ResolveLinks(kStream);
    NiGeometryData* pkData = kStream.GetLinkedObjectAs<NiGeometryData>();
    if (pkData != nullptr && !IsDataClassValid(pkData))
    {
        kStream.SetCorrupt();
        pkData = nullptr;
    }
    m_spModelData = pkData;
    m_spSkinInstance = kStream.GetLinkedObjectAs<NiSkinInstance>();
}

void NiGeometry::PostLink(NiObjectStream& kStream)
{
    NiAVObject::PostLink(kStream);
    // The loaded placeholder gives way to the shader of its name, when the
    // shader system knows one.
    if (m_spShader != nullptr && m_spShader->GetName() != nullptr)
        NiShaderFactory::AttachShaderByNameToGeometry(this, m_spShader->GetName(), m_spShader->GetImplementation());
    if (m_spSkinInstance == nullptr)
        return;
    m_spSkinInstance->TakeOldPartition();
    NiSkinData* pkSkinData = m_spSkinInstance->GetSkinData();
    if (pkSkinData == nullptr || m_spModelData == nullptr)
        return;
    const std::uint32_t uiVertices = m_spModelData->GetVertexCount();
    if (!pkSkinData->WeightsBelow(uiVertices))
    {
        kStream.SetCorrupt();
        return;
    }
    // A partition that does not fit is left out: the skin is then deformed
    // in software, which needs none.
    const char* pcWhy = nullptr;
    NiSkinPartition* pkPartition = m_spSkinInstance->GetSkinPartition();
    if (pkPartition != nullptr && !pkPartition->IsValidFor(uiVertices, m_spSkinInstance->GetBoneCount(), pcWhy))
    {
        std::fprintf(stderr, "Skin partition dropped: %s.\n", pcWhy ? pcWhy : "invalid");
        m_spSkinInstance->SetSkinPartition(nullptr);
    }
}

bool NiGeometry::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiAVObject::RegisterForSave(kStream))
        return false;
    if (m_spModelData != nullptr)
        m_spModelData->RegisterForSave(kStream);
    if (m_spSkinInstance != nullptr)
        m_spSkinInstance->RegisterForSave(kStream);
    return true;
}

void NiGeometry::WriteToStream(NiObjectStream& kStream)
{
    NiAVObject::WriteToStream(kStream);
    kStream.WriteLinkID(m_spModelData);
    kStream.WriteLinkID(m_spSkinInstance);
    const char* pcShader = m_spShader != nullptr ? m_spShader->GetName() : nullptr;
    kStream.WriteLE(static_cast<std::uint8_t>(pcShader != nullptr ? 1 : 0));
    if (pcShader != nullptr)
        m_spShader->SaveBinary(kStream);
}

bool NiGeometry::IsEqual(NiObject* pkOther)
{
    if (!NiAVObject::IsEqual(pkOther))
        return false;
    auto* pkGeometry = static_cast<NiGeometry*>(pkOther);
    if ((m_spSkinInstance == nullptr) != (pkGeometry->m_spSkinInstance == nullptr))
        return false;
    if (m_spSkinInstance != nullptr && !m_spSkinInstance->IsEqual(pkGeometry->m_spSkinInstance))
        return false;
    if ((m_spModelData == nullptr) != (pkGeometry->m_spModelData == nullptr))
        return false;
    return m_spModelData == nullptr || m_spModelData->IsEqual(pkGeometry->m_spModelData);
}

void NiGeometry::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiAVObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiGeometry::TypeInfo()->GetName()));
}
