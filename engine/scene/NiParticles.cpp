#include "engine/scene/NiParticles.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiDynamicEffect.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_set>

NiImplementTypeInfo(NiParticlesData, NiGeometryData)
NiImplementTypeInfo(NiParticleMeshesData, NiParticlesData)
NiImplementTypeInfo(NiParticles, NiGeometry)
NiImplementTypeInfo(NiParticleMeshes, NiParticles)

static_assert(sizeof(NiQuat) == 16, "rotations are read and written as four floats");

namespace
{
bool FloatArraysEqual(const float* pfA, const float* pfB, std::uint32_t uiCount)
{
    if ((pfA == nullptr) != (pfB == nullptr))
        return false;
    return pfA == nullptr || std::equal(pfA, pfA + uiCount, pfB);
}

float* FilledArray(std::uint16_t usCount, float fValue)
{
    if (usCount == 0)
        return nullptr;
    auto* pf = new float[usCount];
    std::fill(pf, pf + usCount, fValue);
    return pf;
}
} // namespace

// ---- NiParticlesData ----

NiParticlesData::NiParticlesData()
{
    SetConsistency(VOLATILE);
}

NiParticlesData::NiParticlesData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                                 NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod)
    : NiGeometryData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod),
      m_usActive(usVertices)
{
    SetConsistency(VOLATILE);
    FillDefaults();
}

NiParticlesData::~NiParticlesData()
{
    delete[] m_pfRadii;
    delete[] m_pfSizes;
    delete[] m_pkRotations;
}

NiObject* NiParticlesData::CreateObject()
{
    return new NiParticlesData;
}

NiObject* NiParticlesData::CreateRotatingObject()
{
    auto* pkData = new NiParticlesData;
    pkData->m_uiRotationsFlag = 1;
    return pkData;
}

void NiParticlesData::FillDefaults()
{
    if (m_pfRadii == nullptr)
        m_pfRadii = FilledArray(m_usVertices, 1.0f);
    if (m_pfSizes == nullptr)
        m_pfSizes = FilledArray(m_usVertices, 1.0f);
}

void NiParticlesData::SetRotations(NiQuat* pkRotations)
{
    if (pkRotations != m_pkRotations)
        delete[] m_pkRotations;
    m_pkRotations = pkRotations;
}

void NiParticlesData::SetActiveVertexCount(std::uint16_t usActive)
{
    m_usActive = std::min(usActive, m_usVertices);
}

void NiParticlesData::RemoveParticle(std::uint16_t usParticle)
{
    if (m_usActive == 0 || usParticle >= m_usActive)
        return;
    const std::uint16_t usLast = static_cast<std::uint16_t>(m_usActive - 1);
    if (usParticle != usLast)
    {
        if (m_pkVertex != nullptr)
            m_pkVertex[usParticle] = m_pkVertex[usLast];
        if (m_pkNormal != nullptr)
            m_pkNormal[usParticle] = m_pkNormal[usLast];
        if (m_pkColor != nullptr)
            m_pkColor[usParticle] = m_pkColor[usLast];
        if (m_pfRadii != nullptr)
            m_pfRadii[usParticle] = m_pfRadii[usLast];
        if (m_pfSizes != nullptr)
            m_pfSizes[usParticle] = m_pfSizes[usLast];
        if (m_pkRotations != nullptr)
            m_pkRotations[usParticle] = m_pkRotations[usLast];
    }
    m_usActive = usLast;
}

void NiParticlesData::ReadFromStream(NiObjectStream& kStream)
{
    NiGeometryData::ReadFromStream(kStream);
    if (kStream.IsCorrupt())
        return;
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion < NiStreamVersion(4, 1, 0, 7))
    {
        std::uint16_t usIgnored = 0;
        if (!kStream.ReadLE(usIgnored))
            return;
    }
    if (uiVersion >= NiStreamVersion(10, 0, 1, 13))
    {
        std::uint8_t ucHasRadii = 0;
        if (!kStream.ReadLE(ucHasRadii))
            return;
        if (ucHasRadii != 0 && m_usVertices != 0 && (m_pfRadii = ReadFloatArray(kStream, m_usVertices)) == nullptr)
            return;
    }
    else
    {
        float fRadius = 1.0f;
        if (!kStream.ReadLE(fRadius))
            return;
        m_pfRadii = FilledArray(m_usVertices, fRadius);
    }
    std::uint16_t usActive = 0;
    if (!kStream.ReadLE(usActive))
        return;
    // The renderer and the controllers index the arrays with it.
    m_usActive = std::min(usActive, m_usVertices);

    bool bHas = false;
    if (!ReadBool(kStream, bHas, NiStreamVersion(4, 1, 0, 7)))
        return;
    if (bHas && m_usVertices != 0 && (m_pfSizes = ReadFloatArray(kStream, m_usVertices)) == nullptr)
        return;

    bHas = false;
    if (m_uiRotationsFlag != 0)
    {
        if (!ReadBool(kStream, bHas, NiStreamVersion(4, 1, 0, 0)))
            return;
    }
    else if (uiVersion >= NiStreamVersion(5, 0, 0, 8))
    {
        std::uint8_t uc = 0;
        if (!kStream.ReadLE(uc))
            return;
        bHas = uc != 0;
    }
    if (bHas && m_usVertices != 0)
    {
        float* pf = ReadFloatArray(kStream, 4ull * m_usVertices);
        if (pf == nullptr)
            return;
        m_pkRotations = new (std::nothrow) NiQuat[m_usVertices];
        if (m_pkRotations == nullptr)
        {
            delete[] pf;
            kStream.SetCorrupt();
            return;
        }
        for (std::uint16_t i = 0; i < m_usVertices; ++i)
            m_pkRotations[i] = NiQuat(pf[4 * i], pf[4 * i + 1], pf[4 * i + 2], pf[4 * i + 3]);
        delete[] pf;
    }
    else if (m_uiRotationsFlag != 0 && m_usVertices != 0)
    {
        m_pkRotations = new NiQuat[m_usVertices]; // identity rotations
    }
    FillDefaults();
    if (uiVersion < NiStreamVersion(10, 0, 1, 16))
        SetConsistency(VOLATILE);
}

void NiParticlesData::WriteToStream(NiObjectStream& kStream)
{
    NiGeometryData::WriteToStream(kStream);
    bool bRadii = m_pfRadii != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bRadii ? 1 : 0));
    if (bRadii)
        kStream.WriteLE(m_pfRadii, m_usVertices);
    kStream.WriteLE(m_usActive);
    bool bSizes = m_pfSizes != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bSizes ? 1 : 0));
    if (bSizes)
        kStream.WriteLE(m_pfSizes, m_usVertices);
    bool bRotations = m_pkRotations != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bRotations ? 1 : 0));
    if (bRotations)
    {
        for (std::uint16_t i = 0; i < m_usVertices; ++i)
        {
            kStream.WriteLE(m_pkRotations[i].w);
            kStream.WriteLE(m_pkRotations[i].x);
            kStream.WriteLE(m_pkRotations[i].y);
            kStream.WriteLE(m_pkRotations[i].z);
        }
    }
}

bool NiParticlesData::IsEqual(NiObject* pkOther)
{
    if (!NiGeometryData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiParticlesData*>(pkOther);
    if (!FloatArraysEqual(m_pfRadii, pkData->m_pfRadii, m_usVertices) || m_usActive != pkData->m_usActive ||
        !FloatArraysEqual(m_pfSizes, pkData->m_pfSizes, m_usVertices))
        return false;
    if ((m_pkRotations == nullptr) != (pkData->m_pkRotations == nullptr))
        return false;
    return m_pkRotations == nullptr || std::equal(m_pkRotations, m_pkRotations + m_usVertices, pkData->m_pkRotations);
}

void NiParticlesData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometryData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiParticlesData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerPointer("m_pfRadii", m_pfRadii));
    kStrings.AddTail(NiViewerUShort("m_usActive", m_usActive));
    kStrings.AddTail(NiViewerPointer("m_pfSizes", m_pfSizes));
}

// ---- NiParticleMeshesData ----

NiParticleMeshesData::NiParticleMeshesData() : m_spContainer(new NiNode)
{
    m_uiRotationsFlag = 1;
}

NiParticleMeshesData::NiParticleMeshesData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal,
                                           NiColorRGBA* pkColor, NiVec2* pkTexture, std::uint16_t usTextureSets,
                                           std::uint16_t usNBTMethod)
    : NiParticlesData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod),
      m_spContainer(new NiNode)
{
}

NiObject* NiParticleMeshesData::CreateObject()
{
    return new NiParticleMeshesData;
}

void NiParticleMeshesData::SetActiveVertexCount(std::uint16_t usActive)
{
    if (m_spContainer != nullptr)
    {
        for (std::uint32_t i = usActive; i < m_usActive && i < m_spContainer->GetArrayCount(); ++i)
            (void)m_spContainer->DetachChildAt(i);
    }
    NiParticlesData::SetActiveVertexCount(usActive);
}

void NiParticleMeshesData::RemoveParticle(std::uint16_t usParticle)
{
    if (m_usActive == 0 || usParticle >= m_usActive)
        return;
    const std::uint16_t usLast = static_cast<std::uint16_t>(m_usActive - 1);
    if (m_spContainer != nullptr && usLast < m_spContainer->GetArrayCount())
    {
        NiAVObjectPtr spLast = m_spContainer->DetachChildAt(usLast);
        if (usParticle != usLast && usParticle < m_spContainer->GetArrayCount())
        {
            (void)m_spContainer->DetachChildAt(usParticle);
            if (spLast != nullptr)
                (void)m_spContainer->SetAt(usParticle, spLast);
        }
    }
    NiParticlesData::RemoveParticle(usParticle);
}

void NiParticleMeshesData::ReadFromStream(NiObjectStream& kStream)
{
    NiParticlesData::ReadFromStream(kStream);
    kStream.ReadLinkID();
}

void NiParticleMeshesData::ResolveLinks(NiObjectStream& kStream)
{
    NiParticlesData::ResolveLinks(kStream);
    m_spContainer = kStream.GetLinkedObjectAs<NiNode>();
}

void NiParticleMeshesData::DropCountedLinks()
{
    NiParticlesData::DropCountedLinks();
    m_spContainer = nullptr;
}

bool NiParticleMeshesData::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiParticlesData::RegisterForSave(kStream))
        return false;
    if (m_spContainer != nullptr)
        m_spContainer->RegisterForSave(kStream);
    return true;
}

void NiParticleMeshesData::WriteToStream(NiObjectStream& kStream)
{
    NiParticlesData::WriteToStream(kStream);
    kStream.WriteLinkID(m_spContainer);
}

bool NiParticleMeshesData::IsEqual(NiObject* pkOther)
{
    if (!NiParticlesData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiParticleMeshesData*>(pkOther);
    if ((m_spContainer == nullptr) != (pkData->m_spContainer == nullptr))
        return false;
    return m_spContainer == nullptr || m_spContainer->IsEqual(pkData->m_spContainer);
}

// ---- NiParticles ----

NiObject* NiParticles::CreateObject()
{
    return new NiParticles;
}

NiImplementCreateClone(NiParticles)

void NiParticles::CopyMembers(NiParticles* pkDest, NiCloneContext& kCloning)
{
    NiGeometry::CopyMembers(pkDest, kCloning);
}

void NiParticles::RenderImmediate(NiRenderer* pkRenderer)
{
    PrepareDraw(pkRenderer);
    if (pkRenderer != nullptr)
        pkRenderer->DrawPoints(this);
}

void NiParticles::SetConsistency(bool bHardwareSkinning)
{
    (void)bHardwareSkinning;
    if (m_spModelData != nullptr)
        m_spModelData->SetConsistency(NiGeometryData::VOLATILE);
}

NiEffectSetPtr NiParticles::KeepLightsOnly(NiEffectSet* pkEffects)
{
    if (pkEffects == nullptr)
        return nullptr;
    if (!pkEffects->HasTextureEffects())
        return pkEffects;
    NiEffectSetPtr spLights = new NiEffectSet;
    const NiEffectSet::EffectList& kLights = pkEffects->GetLights();
    for (NiListPos kPos = kLights.GetHeadPos(); kPos != nullptr;)
        spLights->AddEffect(NiEffectSet::EffectList::GetNext(kPos));
    return spLights;
}

void NiParticles::UpdateEffectsDownward(NiEffectSet* pkParentEffects)
{
    m_spEffectSet = KeepLightsOnly(pkParentEffects);
}

void NiParticles::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometry::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiParticles::TypeInfo()->GetName()));
}

bool NiParticles::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiParticlesData>(pkData);
}

// ---- NiParticleMeshes ----

NiObject* NiParticleMeshes::CreateObject()
{
    return new NiParticleMeshes;
}

NiImplementCreateClone(NiParticleMeshes)

void NiParticleMeshes::CopyMembers(NiParticleMeshes* pkDest, NiCloneContext& kCloning)
{
    NiParticles::CopyMembers(pkDest, kCloning);
    pkDest->m_fUpdateTime = m_fUpdateTime;
    pkDest->m_uiUpdateFlag = m_uiUpdateFlag;
}

NiNode* NiParticleMeshes::GetContainer() const
{
    auto* pkData = static_cast<NiParticleMeshesData*>(m_spModelData.Get());
    return pkData != nullptr ? pkData->GetContainerNode() : nullptr;
}

bool NiParticleMeshes::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiParticleMeshesData>(pkData);
}

void NiParticleMeshes::UpdateDownwardPass(float fTime, bool bUpdateControllers)
{
    m_fUpdateTime = fTime;
    m_uiUpdateFlag = bUpdateControllers ? 1 : 0;
    NiParticles::UpdateDownwardPass(fTime, bUpdateControllers);
}

void NiParticleMeshes::UpdateSelectedDownwardPass(float fTime)
{
    m_fUpdateTime = fTime;
    NiParticles::UpdateSelectedDownwardPass(fTime);
}

void NiParticleMeshes::UpdateRigidDownwardPass(float fTime)
{
    m_fUpdateTime = fTime;
    NiParticles::UpdateRigidDownwardPass(fTime);
}

void NiParticleMeshes::ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms,
                                                   bool& bRigid)
{
    NiParticles::ComputeSelectiveUpdateFlags(bSelectiveUpdate, bSelectiveUpdateTransforms, bRigid);
    NiNode* pkContainer = GetContainer();
    if (pkContainer == nullptr)
        return;
    // The meshes follow the particles every frame.
    bool bNodeSelective = false;
    bool bNodeRigid = false;
    pkContainer->ComputeSelectiveUpdateFlags(bNodeSelective, true, bNodeRigid);
    pkContainer->SetFlags(static_cast<std::uint16_t>(pkContainer->GetFlags() & ~SELECTIVE_RIGID));
    bSelectiveUpdate = true;
    bRigid = false;
    m_uFlags = static_cast<std::uint16_t>((m_uFlags | SELECTIVE_UPDATE | SELECTIVE_XFORMS) & ~SELECTIVE_RIGID);
}

void NiParticleMeshes::UpdatePropertiesDownward(NiPropertySet* pkParentState)
{
    NiParticles::UpdatePropertiesDownward(pkParentState);
    if (NiNode* pkContainer = GetContainer())
        pkContainer->UpdatePropertiesDownward(m_spPropertySet);
}

void NiParticleMeshes::UpdateEffectsDownward(NiEffectSet* pkParentEffects)
{
    NiParticles::UpdateEffectsDownward(pkParentEffects);
    // The meshes are ordinary geometry: every effect applies to them.
    if (NiNode* pkContainer = GetContainer())
        pkContainer->UpdateEffectsDownward(pkParentEffects);
}

void NiParticleMeshes::UpdateWorldData()
{
    NiParticles::UpdateWorldData();
    auto* pkData = static_cast<NiParticleMeshesData*>(m_spModelData.Get());
    NiNode* pkContainer = GetContainer();
    if (pkData == nullptr || pkContainer == nullptr)
        return;
    const NiVec3* pkPositions = pkData->GetVertices();
    const float* pfRadii = pkData->GetRadii();
    const float* pfSizes = pkData->GetSizes();
    const NiQuat* pkRotations = pkData->GetRotations();
    const std::uint32_t uiActive = std::min<std::uint32_t>(pkData->GetActiveVertexCount(), pkContainer->GetArrayCount());
    for (std::uint32_t i = 0; i < uiActive; ++i)
    {
        NiAVObject* pkMesh = pkContainer->GetAt(i);
        if (pkMesh == nullptr)
            continue;
        if (pkPositions != nullptr)
            pkMesh->SetTranslate(pkPositions[i]);
        if (pkRotations != nullptr)
        {
            NiMatrix3x3 kRotate;
            pkRotations[i].ToRotation(kRotate);
            pkMesh->SetRotate(kRotate);
        }
        float fSize = pfSizes != nullptr ? pfSizes[i] : 1.0f;
        float fRadius = pfRadii != nullptr ? pfRadii[i] : 1.0f;
        pkMesh->SetScale(std::fabs(fSize * fRadius));
    }
    pkContainer->SetRotate(m_kWorld.m_kRotate);
    pkContainer->SetTranslate(m_kWorld.m_kTranslate);
    pkContainer->SetScale(std::fabs(m_kWorld.m_fScale));
    pkContainer->UpdateDownwardPass(m_fUpdateTime, false);
    if (pkData->GetPropertiesChanged())
    {
        pkContainer->UpdatePropertiesDownward(m_spPropertySet);
        pkContainer->UpdateEffectsDownward(m_spEffectSet);
        pkData->SetPropertiesChanged(false);
    }
}

void NiParticleMeshes::OnVisible(NiCamera* pkCamera)
{
    if (NiNode* pkContainer = GetContainer())
        NiNode::CullChild(pkContainer, pkCamera);
}

void NiParticleMeshes::PurgeRendererData(NiRenderer* pkRenderer)
{
    NiParticles::PurgeRendererData(pkRenderer);
    if (NiNode* pkContainer = GetContainer())
        pkContainer->PurgeRendererData(pkRenderer);
}

void NiParticleMeshes::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiParticles::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiParticleMeshes::TypeInfo()->GetName()));
}

bool NiParticleMeshes::IsBelowOwnContainer(std::uint32_t uiBound) const
{
    std::vector<NiAVObject*> kStack;
    if (NiNode* pkContainer = GetContainer())
        kStack.push_back(pkContainer);
    std::unordered_set<const NiAVObject*> kSeen;
    while (!kStack.empty())
    {
        NiAVObject* pkObject = kStack.back();
        kStack.pop_back();
        if (pkObject == nullptr || !kSeen.insert(pkObject).second)
            continue;
        if (pkObject == this || kSeen.size() > uiBound + 1)
            return true;
        if (auto* pkMeshes = NiDynamicCast<NiParticleMeshes>(pkObject))
            kStack.push_back(pkMeshes->GetContainer());
        pkObject->CollectChildren(kStack);
    }
    return false;
}

void NiParticleMeshes::PostLink(NiObjectStream& kStream)
{
    NiParticles::PostLink(kStream);
    // The failed load has the data let go of its container, which breaks
    // the loop.
    if (IsBelowOwnContainer(kStream.GetFileObjectCount()))
        kStream.SetCorrupt();
}
