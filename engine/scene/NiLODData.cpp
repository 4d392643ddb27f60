#include "engine/scene/NiLODData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLODNode.h"

#include <cmath>

NiImplementTypeInfo(NiLODData, NiObject)
NiImplementTypeInfo(NiRangeLODData, NiLODData)
NiImplementTypeInfo(NiScreenLODData, NiLODData)

NiObject* NiLODData::CreateClone(NiCloneContext& kCloning)
{
    NiLODData* pkCopy = Copy();
    NiObject::CopyMembers(pkCopy, kCloning);
    return pkCopy;
}

// ---- NiRangeLODData ----

void NiRangeLODData::SetRange(std::uint32_t uiIndex, float fNear, float fFar)
{
    if (uiIndex >= m_kRanges.size())
        return;
    m_kRanges[uiIndex].m_fNear = fNear;
    m_kRanges[uiIndex].m_fFar = fFar;
}

void NiRangeLODData::UpdateWorldExtent(NiLODNode* pkNode)
{
    const NiXform& kWorld = pkNode->GetWorldTransform();
    m_kWorldCenter = kWorld.m_kTranslate + kWorld.m_kRotate.MultiplyVector(m_kCenter * kWorld.m_fScale);
    for (Range& kRange : m_kRanges)
    {
        kRange.m_fWorldNear = kRange.m_fNear * kWorld.m_fScale;
        kRange.m_fWorldFar = kRange.m_fFar * kWorld.m_fScale;
    }
}

int NiRangeLODData::ChooseLevel(NiCamera* pkCamera, NiLODNode*)
{
    if (pkCamera == nullptr)
        return -1;
    float fDistance = std::fabs((m_kWorldCenter - pkCamera->GetWorldLocation()).Dot(pkCamera->GetWorldDirection()) *
                                pkCamera->GetLODAdjust());
    for (std::size_t i = 0; i < m_kRanges.size(); ++i)
    {
        if (m_kRanges[i].m_fWorldNear <= fDistance && fDistance < m_kRanges[i].m_fWorldFar)
            return static_cast<int>(i);
    }
    return -1;
}

int NiRangeLODData::MapOverrideLevel(int iLevel) const
{
    if (m_kRanges.empty())
        return -1;
    int iCount = static_cast<int>(m_kRanges.size());
    iLevel = iLevel < 0 ? 0 : (iLevel >= iCount ? iCount - 1 : iLevel);
    // The (n+1)-th smallest distinct near distance; among equal values the
    // later range wins.
    int iResult = -1;
    bool bHavePrevious = false;
    float fPrevious = 0.0f;
    for (int iPass = 0; iPass <= iLevel; ++iPass)
    {
        int iBest = -1;
        for (int i = 0; i < iCount; ++i)
        {
            float fNear = m_kRanges[static_cast<std::size_t>(i)].m_fNear;
            if (bHavePrevious && !(fNear > fPrevious))
                continue;
            if (iBest < 0 || fNear <= m_kRanges[static_cast<std::size_t>(iBest)].m_fNear)
                iBest = i;
        }
        if (iBest < 0)
            break;
        iResult = iBest;
        fPrevious = m_kRanges[static_cast<std::size_t>(iBest)].m_fNear;
        bHavePrevious = true;
    }
    return iResult;
}

NiLODData* NiRangeLODData::Copy() const
{
    auto* pkCopy = new NiRangeLODData;
    pkCopy->m_kCenter = m_kCenter;
    pkCopy->m_kRanges = m_kRanges;
    return pkCopy;
}

void NiRangeLODData::LoadRanges(NiObjectStream& kStream)
{
    kStream.ReadLE(m_kCenter.x);
    kStream.ReadLE(m_kCenter.y);
    kStream.ReadLE(m_kCenter.z);
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, 8))
        return;
    m_kRanges.assign(uiCount, Range());
    for (Range& kRange : m_kRanges)
    {
        kStream.ReadLE(kRange.m_fNear);
        kStream.ReadLE(kRange.m_fFar);
    }
}

void NiRangeLODData::ReadFromStream(NiObjectStream& kStream)
{
    NiLODData::ReadFromStream(kStream);
    LoadRanges(kStream);
}

void NiRangeLODData::WriteToStream(NiObjectStream& kStream)
{
    NiLODData::WriteToStream(kStream);
    kStream.WriteLE(m_kCenter.x);
    kStream.WriteLE(m_kCenter.y);
    kStream.WriteLE(m_kCenter.z);
    kStream.WriteLE(static_cast<std::uint32_t>(m_kRanges.size()));
    for (const Range& kRange : m_kRanges)
    {
        kStream.WriteLE(kRange.m_fNear);
        kStream.WriteLE(kRange.m_fFar);
    }
}

bool NiRangeLODData::IsEqual(NiObject* pkOther)
{
    if (!NiLODData::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiRangeLODData*>(pkOther);
    if (m_kRanges.size() != pk->m_kRanges.size())
        return false;
    for (std::size_t i = 0; i < m_kRanges.size(); ++i)
    {
        if (m_kRanges[i].m_fNear != pk->m_kRanges[i].m_fNear || m_kRanges[i].m_fFar != pk->m_kRanges[i].m_fFar)
            return false;
    }
    return true;
}

void NiRangeLODData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiLODData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiRangeLODData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerVec3("m_kCenter", m_kCenter));
    kStrings.AddTail(NiViewerVec3("m_kWorldCenter", m_kWorldCenter));
    for (std::size_t i = 0; i < m_kRanges.size(); ++i)
        kStrings.AddTail(NiViewerFormat("range[%d] = %g   %g", static_cast<int>(i), m_kRanges[i].m_fNear,
                                        m_kRanges[i].m_fFar));
}

// ---- NiScreenLODData ----

void NiScreenLODData::UpdateWorldExtent(NiLODNode* pkNode)
{
    pkNode->UpdateMissedChildren();
    m_kWorldBound = NiBoundSphere();
    bool bFirst = true;
    for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
    {
        NiAVObject* pkChild = pkNode->GetAt(i);
        if (pkChild == nullptr)
            continue;
        if (bFirst)
            m_kWorldBound = pkChild->GetWorldBound();
        else
            m_kWorldBound.Merge(pkChild->GetWorldBound());
        bFirst = false;
    }
    m_kBound.Transform(m_kWorldBound, pkNode->GetWorldTransform().Invert());
}

int NiScreenLODData::ChooseLevel(NiCamera* pkCamera, NiLODNode*)
{
    if (pkCamera == nullptr)
        return 0;
    float fDistance = (pkCamera->GetWorldLocation() - m_kWorldBound.m_kCenter).Length();
    float fRadius = m_kWorldBound.m_fRadius;
    if (fDistance < fRadius || fDistance < 1e-6f)
        return 0;
    const NiViewFrustum& kFrustum = pkCamera->GetViewFrustum();
    float fWidth = 2.0f / (kFrustum.m_fRight - kFrustum.m_fLeft);
    float fHeight = 2.0f / (kFrustum.m_fTop - kFrustum.m_fBottom);
    float fProportion = (fWidth > fHeight ? fWidth : fHeight) * pkCamera->GetLODAdjust() *
                        (kFrustum.m_bOrtho ? fRadius : fRadius / fDistance);
    for (std::size_t i = 0; i < m_kProportions.size(); ++i)
    {
        if (fProportion >= m_kProportions[i])
            return static_cast<int>(i);
    }
    return static_cast<int>(m_kProportions.size());
}

int NiScreenLODData::MapOverrideLevel(int iLevel) const
{
    int iCount = static_cast<int>(m_kProportions.size());
    return iLevel < 0 ? 0 : (iLevel > iCount ? iCount : iLevel);
}

NiLODData* NiScreenLODData::Copy() const
{
    auto* pkCopy = new NiScreenLODData;
    pkCopy->m_kBound = m_kBound;
    pkCopy->m_kWorldBound = m_kWorldBound;
    pkCopy->m_kProportions = m_kProportions;
    return pkCopy;
}

namespace
{
void ReadBound(NiObjectStream& kStream, NiBoundSphere& kBound)
{
    kStream.ReadLE(kBound.m_kCenter.x);
    kStream.ReadLE(kBound.m_kCenter.y);
    kStream.ReadLE(kBound.m_kCenter.z);
    kStream.ReadLE(kBound.m_fRadius);
}

void WriteBound(NiObjectStream& kStream, const NiBoundSphere& kBound)
{
    kStream.WriteLE(kBound.m_kCenter.x);
    kStream.WriteLE(kBound.m_kCenter.y);
    kStream.WriteLE(kBound.m_kCenter.z);
    kStream.WriteLE(kBound.m_fRadius);
}
} // namespace

void NiScreenLODData::ReadFromStream(NiObjectStream& kStream)
{
    NiLODData::ReadFromStream(kStream);
    ReadBound(kStream, m_kBound);
    ReadBound(kStream, m_kWorldBound);
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, 4))
        return;
    m_kProportions.assign(uiCount, 0.0f);
    for (float& f : m_kProportions)
        kStream.ReadLE(f);
}

void NiScreenLODData::WriteToStream(NiObjectStream& kStream)
{
    NiLODData::WriteToStream(kStream);
    WriteBound(kStream, m_kBound);
    WriteBound(kStream, m_kWorldBound);
    kStream.WriteLE(static_cast<std::uint32_t>(m_kProportions.size()));
    for (float f : m_kProportions)
        kStream.WriteLE(f);
}

bool NiScreenLODData::IsEqual(NiObject* pkOther)
{
    if (!NiLODData::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiScreenLODData*>(pkOther);
    return m_kBound == pk->m_kBound && m_kWorldBound == pk->m_kWorldBound && m_kProportions == pk->m_kProportions;
}

void NiScreenLODData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiLODData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiScreenLODData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBoundSphere("Bound", m_kBound));
    kStrings.AddTail(NiViewerBoundSphere("World Bound", m_kWorldBound));
    for (std::size_t i = 0; i < m_kProportions.size(); ++i)
        kStrings.AddTail(NiViewerFormat("Proportion[%d] = %g", static_cast<int>(i), m_kProportions[i]));
}
