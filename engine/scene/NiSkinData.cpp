#include "engine/scene/NiSkinData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiSkinPartition.h"

#include <algorithm>
#include <new>

NiImplementTypeInfo(NiSkinData, NiObject)

namespace
{
// Rotation row by row, translation, scale: 13 floats.
bool ReadXform(NiObjectStream& kStream, NiXform& kXform)
{
    float af[13] = {};
    if (!kStream.ReadLE(af, 13))
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kXform.m_kRotate.SetEntry(r, c, af[3 * r + c]);
    kXform.m_kTranslate = NiVec3(af[9], af[10], af[11]);
    kXform.m_fScale = af[12];
    return true;
}

void WriteXform(NiObjectStream& kStream, const NiXform& kXform)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kStream.WriteLE(kXform.m_kRotate.GetEntry(r, c));
    kStream.WriteLE(kXform.m_kTranslate.x);
    kStream.WriteLE(kXform.m_kTranslate.y);
    kStream.WriteLE(kXform.m_kTranslate.z);
    kStream.WriteLE(kXform.m_fScale);
}

// Bind transform, bound and weight count: the least a bone record holds.
constexpr std::uint32_t BONE_RECORD_BYTES = 13 * 4 + 4 * 4 + 2;
constexpr std::uint32_t WEIGHT_BYTES = 6;
} // namespace

NiSkinData::NiSkinData() = default;

NiSkinData::~NiSkinData() = default;

NiObject* NiSkinData::CreateObject()
{
    return new NiSkinData;
}

void NiSkinData::SetBones(std::uint32_t uiBones, std::unique_ptr<BoneData[]> spBones)
{
    m_uiBones = spBones ? uiBones : 0;
    m_spBoneData = std::move(spBones);
    PrepareVertexWeights();
}

void NiSkinData::SetBoneWeights(std::uint32_t uiBone, std::uint16_t usCount, std::unique_ptr<SkinWeight[]> spWeights)
{
    if (uiBone >= m_uiBones)
        return;
    m_spBoneData[uiBone].m_spWeights = std::move(spWeights);
    m_spBoneData[uiBone].m_usVerts = m_spBoneData[uiBone].m_spWeights ? usCount : 0;
    PrepareVertexWeights();
}

void NiSkinData::PrepareVertexWeights()
{
    m_kVertexWeights.clear();
    if (m_uiBones == 0 || m_uiBones >= 0xFFFFu)
        return;
    std::uint32_t uiVertices = 0;
    std::uint64_t uiWeights = 0;
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
    {
        const BoneData& kBone = m_spBoneData[b];
        uiWeights += kBone.m_usVerts;
        for (std::uint16_t w = 0; w < kBone.m_usVerts; ++w)
            uiVertices = std::max<std::uint32_t>(uiVertices, kBone.m_spWeights[w].m_usVertex + 1u);
    }
    // A table is one record per vertex up to the highest one named: a few
    // weights naming far vertices (as a hostile file may) would make it far
    // larger than the data. Such skins go bone by bone.
    if (uiVertices > 2 * uiWeights + 16)
        return;
    const auto usUnused = static_cast<std::uint16_t>(m_uiBones);
    std::vector<VertexWeights> kTable(uiVertices, VertexWeights{{usUnused, usUnused, usUnused, usUnused}, {}});
    std::vector<std::uint8_t> kUsed(uiVertices, 0);
    // Bone order is the order the bone-by-bone sum adds them in.
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
    {
        const BoneData& kBone = m_spBoneData[b];
        for (std::uint16_t w = 0; w < kBone.m_usVerts; ++w)
        {
            const std::uint16_t v = kBone.m_spWeights[w].m_usVertex;
            if (kUsed[v] == 4)
                return; // more than four: no table
            kTable[v].m_ausBone[kUsed[v]] = static_cast<std::uint16_t>(b);
            kTable[v].m_afWeight[kUsed[v]] = kBone.m_spWeights[w].m_fWeight;
            ++kUsed[v];
        }
    }
    m_kVertexWeights = std::move(kTable);
}

NiSkinPartition* NiSkinData::GetOldPartition() const
{
    return m_spOldPartition;
}

NiRefPtr<NiSkinPartition> NiSkinData::TakeOldPartition()
{
    NiRefPtr<NiSkinPartition> sp = m_spOldPartition;
    m_spOldPartition = nullptr;
    return sp;
}

bool NiSkinData::WeightsBelow(std::uint32_t uiVertexCount) const
{
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
    {
        const BoneData& kBone = m_spBoneData[b];
        for (std::uint16_t w = 0; w < kBone.m_usVerts; ++w)
        {
            if (kBone.m_spWeights[w].m_usVertex >= uiVertexCount)
                return false;
        }
    }
    return true;
}

void NiSkinData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (!ReadXform(kStream, m_kRootParentToSkin))
        return;
    std::uint32_t uiBones = 0;
    if (!kStream.ReadLE(uiBones))
        return;
    bool bOldPartition = uiVersion >= NiStreamVersion(4, 0, 0, 1) && uiVersion < NiStreamVersion(10, 1, 0, 101);
    if (bOldPartition)
        kStream.ReadLinkID();
    std::uint8_t ucHasWeights = 1;
    if (uiVersion >= NiStreamVersion(4, 1, 0, 13) && !kStream.ReadLE(ucHasWeights))
        return;
    if (!NiGeometryData::CheckBytesLeft(kStream, static_cast<std::uint64_t>(uiBones) * BONE_RECORD_BYTES))
        return;
    std::unique_ptr<BoneData[]> spBones(new (std::nothrow) BoneData[uiBones == 0 ? 1 : uiBones]);
    if (spBones == nullptr)
    {
        kStream.SetCorrupt();
        return;
    }
    m_uiBones = uiBones;
    m_spBoneData = std::move(spBones);
    for (std::uint32_t b = 0; b < uiBones; ++b)
    {
        BoneData& kBone = m_spBoneData[b];
        float afBound[4] = {};
        std::uint16_t usVerts = 0;
        if (!ReadXform(kStream, kBone.m_kSkinToBone) || !kStream.ReadLE(afBound, 4) || !kStream.ReadLE(usVerts))
            return;
        kBone.m_kBound = NiBoundSphere(NiVec3(afBound[0], afBound[1], afBound[2]), afBound[3]);
        if (ucHasWeights == 0 || usVerts == 0)
            continue;
        if (!NiGeometryData::CheckBytesLeft(kStream, static_cast<std::uint64_t>(usVerts) * WEIGHT_BYTES))
            return;
        kBone.m_spWeights.reset(new (std::nothrow) SkinWeight[usVerts]);
        if (kBone.m_spWeights == nullptr)
        {
            kStream.SetCorrupt();
            return;
        }
        kBone.m_usVerts = usVerts;
        for (std::uint16_t w = 0; w < usVerts; ++w)
        {
            if (!kStream.ReadLE(kBone.m_spWeights[w].m_usVertex) || !kStream.ReadLE(kBone.m_spWeights[w].m_fWeight))
                return;
        }
    }
    PrepareVertexWeights();
    if (uiVersion == NiStreamVersion(4, 1, 0, 9))
    {
        std::uint8_t ucIgnored = 0;
        (void)kStream.ReadLE(ucIgnored);
    }
}

void NiSkinData::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(4, 0, 0, 1) && uiVersion < NiStreamVersion(10, 1, 0, 101))
        m_spOldPartition = kStream.GetLinkedObjectAs<NiSkinPartition>();
}

bool NiSkinData::RegisterForSave(NiObjectStream& kStream)
{
    return NiObject::RegisterForSave(kStream);
}

void NiSkinData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    WriteXform(kStream, m_kRootParentToSkin);
    kStream.WriteLE(m_uiBones);
    // Any bone with weights makes the file carry them: asking bone 0 alone
    // would lose every weight of a skin whose first bone has none.
    bool bHasWeights = false;
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
        bHasWeights = bHasWeights || m_spBoneData[b].m_usVerts != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bHasWeights ? 1 : 0));
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
    {
        const BoneData& kBone = m_spBoneData[b];
        WriteXform(kStream, kBone.m_kSkinToBone);
        kStream.WriteLE(kBone.m_kBound.m_kCenter.x);
        kStream.WriteLE(kBone.m_kBound.m_kCenter.y);
        kStream.WriteLE(kBone.m_kBound.m_kCenter.z);
        kStream.WriteLE(kBone.m_kBound.m_fRadius);
        kStream.WriteLE(bHasWeights ? kBone.m_usVerts : std::uint16_t{0});
        if (!bHasWeights)
            continue;
        for (std::uint16_t w = 0; w < kBone.m_usVerts; ++w)
        {
            kStream.WriteLE(kBone.m_spWeights[w].m_usVertex);
            kStream.WriteLE(kBone.m_spWeights[w].m_fWeight);
        }
    }
}

bool NiSkinData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiSkinData*>(pkOther);
    if (m_kRootParentToSkin != pkData->m_kRootParentToSkin || m_uiBones != pkData->m_uiBones)
        return false;
    for (std::uint32_t b = 0; b < m_uiBones; ++b)
    {
        const BoneData& kA = m_spBoneData[b];
        const BoneData& kB = pkData->m_spBoneData[b];
        if (kA.m_kSkinToBone != kB.m_kSkinToBone || kA.m_kBound != kB.m_kBound || kA.m_usVerts != kB.m_usVerts)
            return false;
        for (std::uint16_t w = 0; w < kA.m_usVerts; ++w)
        {
            if (kA.m_spWeights[w].m_usVertex != kB.m_spWeights[w].m_usVertex ||
                kA.m_spWeights[w].m_fWeight != kB.m_spWeights[w].m_fWeight)
                return false;
        }
    }
    return true;
}
