#include "engine/scene/NiCollisionData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiCollisionData, NiCollisionObject)
NiImplementCreateClone(NiCollisionData)

namespace
{
// The smallest volume a union part can be: its kind and a sphere.
constexpr std::uint32_t MIN_PART_BYTES = 4 + 4 * 4;

const char* KindName(std::uint32_t uiKind)
{
    switch (uiKind)
    {
    case NiCollisionData::VOLUME_SPHERE:
        return "VOLUME_SPHERE";
    case NiCollisionData::VOLUME_BOX:
        return "VOLUME_BOX";
    case NiCollisionData::VOLUME_UNION:
        return "VOLUME_UNION";
    default:
        return "VOLUME_NONE";
    }
}

void ReadVec3(NiObjectStream& kStream, NiVec3& k)
{
    kStream.ReadLE(k.x);
    kStream.ReadLE(k.y);
    kStream.ReadLE(k.z);
}

void WriteVec3(NiObjectStream& kStream, const NiVec3& k)
{
    kStream.WriteLE(k.x);
    kStream.WriteLE(k.y);
    kStream.WriteLE(k.z);
}

// The volume where the transform puts it.
NiCollisionData::Volume Place(const NiCollisionData::Volume& kModel, const NiXform& kXform)
{
    NiCollisionData::Volume kWorld;
    kWorld.m_uiKind = kModel.m_uiKind;
    kWorld.m_kCenter = kXform.m_kTranslate + kXform.m_kRotate.MultiplyVector(kModel.m_kCenter * kXform.m_fScale);
    kWorld.m_fRadius = kModel.m_fRadius * kXform.m_fScale;
    for (int i = 0; i < 3; ++i)
    {
        kWorld.m_akAxis[i] = kXform.m_kRotate.MultiplyVector(kModel.m_akAxis[i]);
        kWorld.m_afExtent[i] = kModel.m_afExtent[i] * kXform.m_fScale;
    }
    kWorld.m_kParts.reserve(kModel.m_kParts.size());
    for (const NiCollisionData::Volume& kPart : kModel.m_kParts)
        kWorld.m_kParts.push_back(Place(kPart, kXform));
    return kWorld;
}
} // namespace

bool NiCollisionData::Volume::operator==(const Volume& kOther) const
{
    if (m_uiKind != kOther.m_uiKind)
        return false;
    switch (m_uiKind)
    {
    case VOLUME_SPHERE:
        return m_kCenter == kOther.m_kCenter && m_fRadius == kOther.m_fRadius;
    case VOLUME_BOX:
        for (int i = 0; i < 3; ++i)
        {
            if (m_akAxis[i] != kOther.m_akAxis[i] || m_afExtent[i] != kOther.m_afExtent[i])
                return false;
        }
        return m_kCenter == kOther.m_kCenter;
    case VOLUME_UNION:
        return m_kParts == kOther.m_kParts;
    default:
        return true;
    }
}

void NiCollisionData::SetPropagationMode(std::uint32_t uiMode)
{
    if (uiMode <= MAX_PROPAGATION_MODE)
        m_uiPropagationMode = uiMode;
}

bool NiCollisionData::IsValid(const Volume& kVolume, bool bInUnion)
{
    switch (kVolume.m_uiKind)
    {
    case VOLUME_NONE:
        return !bInUnion;
    case VOLUME_SPHERE:
        return kVolume.m_fRadius >= 0.0f;
    case VOLUME_BOX:
        return kVolume.m_afExtent[0] >= 0.0f && kVolume.m_afExtent[1] >= 0.0f && kVolume.m_afExtent[2] >= 0.0f;
    case VOLUME_UNION:
        if (bInUnion || kVolume.m_kParts.empty())
            return false;
        for (const Volume& kPart : kVolume.m_kParts)
        {
            if (!IsValid(kPart, true))
                return false;
        }
        return true;
    default:
        return false;
    }
}

bool NiCollisionData::SetModelVolume(const Volume& kVolume)
{
    if (!IsValid(kVolume, false))
        return false;
    m_kModel = kVolume;
    return true;
}

void NiCollisionData::UpdateWorldData()
{
    if (m_pkSceneObject != nullptr)
        m_kWorld = Place(m_kModel, m_pkSceneObject->GetWorldTransform());
    else
        m_kWorld = m_kModel;
}

// ---- Scene-file record ----

void NiCollisionData::ReadVolume(NiObjectStream& kStream, Volume& kVolume, bool bInUnion)
{
    kVolume = Volume();
    if (!kStream.ReadLE(kVolume.m_uiKind))
        return;
    switch (kVolume.m_uiKind)
    {
    case VOLUME_SPHERE:
        ReadVec3(kStream, kVolume.m_kCenter);
        kStream.ReadLE(kVolume.m_fRadius);
        break;
    case VOLUME_BOX:
        ReadVec3(kStream, kVolume.m_kCenter);
        for (NiVec3& kAxis : kVolume.m_akAxis)
            ReadVec3(kStream, kAxis);
        kStream.ReadLE(kVolume.m_afExtent, 3);
        break;
    case VOLUME_UNION:
    {
        // Parts never hold unions, so this goes one level deep at most.
        std::uint32_t uiCount = 0;
        if (bInUnion || !kStream.ReadCount(uiCount, MIN_PART_BYTES))
            break;
        kVolume.m_kParts.resize(uiCount);
        for (Volume& kPart : kVolume.m_kParts)
        {
            ReadVolume(kStream, kPart, true);
            if (kStream.IsCorrupt())
                return;
        }
        break;
    }
    default:
        break;
    }
    if (!IsValid(kVolume, bInUnion))
    {
        kStream.SetCorrupt();
        kVolume = Volume();
    }
}

void NiCollisionData::WriteVolume(NiObjectStream& kStream, const Volume& kVolume)
{
    kStream.WriteLE(kVolume.m_uiKind);
    switch (kVolume.m_uiKind)
    {
    case VOLUME_SPHERE:
        WriteVec3(kStream, kVolume.m_kCenter);
        kStream.WriteLE(kVolume.m_fRadius);
        break;
    case VOLUME_BOX:
        WriteVec3(kStream, kVolume.m_kCenter);
        for (const NiVec3& kAxis : kVolume.m_akAxis)
            WriteVec3(kStream, kAxis);
        kStream.WriteLE(kVolume.m_afExtent, 3);
        break;
    case VOLUME_UNION:
        kStream.WriteLE(static_cast<std::uint32_t>(kVolume.m_kParts.size()));
        for (const Volume& kPart : kVolume.m_kParts)
            WriteVolume(kStream, kPart);
        break;
    default:
        break;
    }
}

void NiCollisionData::LoadOldFormat(NiAVObject* pkOwner, std::uint32_t uiPropagationMode, bool bHasVolume,
                                    NiObjectStream& kStream)
{
    if (GetSceneGraphObject() != pkOwner)
        SetSceneGraphObject(pkOwner);
    // The old flags give three bits: never out of range.
    m_uiPropagationMode = uiPropagationMode & MAX_PROPAGATION_MODE;
    if (bHasVolume)
        ReadVolume(kStream, m_kModel, false);
    else
        m_kModel = Volume();
}

void NiCollisionData::ReadFromStream(NiObjectStream& kStream)
{
    NiCollisionObject::ReadFromStream(kStream);
    std::uint8_t ucMode = 0;
    if (kStream.ReadLE(ucMode) && ucMode > MAX_PROPAGATION_MODE)
        kStream.SetCorrupt();
    m_uiPropagationMode = ucMode & MAX_PROPAGATION_MODE;
    ReadVolume(kStream, m_kModel, false);
}

void NiCollisionData::WriteToStream(NiObjectStream& kStream)
{
    NiCollisionObject::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_uiPropagationMode));
    WriteVolume(kStream, m_kModel);
}

bool NiCollisionData::IsEqual(NiObject* pkOther)
{
    if (!NiCollisionObject::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiCollisionData*>(pkOther);
    return m_uiPropagationMode == pk->m_uiPropagationMode && m_kModel == pk->m_kModel;
}

void NiCollisionData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiCollisionObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiCollisionData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiPropagationMode", m_uiPropagationMode));
    kStrings.AddTail(NiViewerString("m_kModelVolume", KindName(m_kModel.m_uiKind)));
    kStrings.AddTail(NiViewerUInt("m_uiParts", static_cast<std::uint32_t>(m_kModel.m_kParts.size())));
}

// ---- Cloning ----

void NiCollisionData::CopyMembers(NiCollisionData* pkDest, NiCloneContext& kCloning)
{
    NiCollisionObject::CopyMembers(pkDest, kCloning);
    pkDest->m_uiPropagationMode = m_uiPropagationMode;
    pkDest->m_kModel = m_kModel;
    pkDest->m_kWorld = m_kWorld;
}
