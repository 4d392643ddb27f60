#include "engine/scene/NiSkinInstance.h"

#include "engine/core/NiBatch.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiParticles.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

NiImplementTypeInfo(NiSkinInstance, NiObject)

namespace
{
NiVec3& At(void* pvBase, std::uint32_t uiIndex, std::uint32_t uiStride)
{
    return *reinterpret_cast<NiVec3*>(static_cast<unsigned char*>(pvBase) + static_cast<std::size_t>(uiIndex) * uiStride);
}

void ZeroAtStride(void* pvBase, std::uint32_t uiCount, std::uint32_t uiStride)
{
    if (pvBase == nullptr)
        return;
    if (uiStride == sizeof(NiVec3))
    {
        std::memset(pvBase, 0, static_cast<std::size_t>(uiCount) * sizeof(NiVec3));
        return;
    }
    for (std::uint32_t i = 0; i < uiCount; ++i)
        At(pvBase, i, uiStride) = NiVec3::ZERO;
}

// Removes from the list the objects a top-level object of the file reaches
// through the counted links of the scene: children and the containers of
// particle meshes. What is left hangs on the stream's table alone. (A count
// held by anything else proves nothing: that holder may itself hang on the
// table alone.)
void DropReachedFromTops(NiObjectStream& kStream, std::vector<NiAVObject*>& kTargets)
{
    std::vector<NiAVObject*> kStack;
    for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
    {
        NiObject* pkTop = kStream.GetObjectAt(i);
        if (auto* pkObject = NiDynamicCast<NiAVObject>(pkTop))
            kStack.push_back(pkObject);
        else if (auto* pkData = NiDynamicCast<NiParticleMeshesData>(pkTop))
            kStack.push_back(pkData->GetContainerNode());
    }
    std::unordered_set<const NiAVObject*> kSeen;
    while (!kStack.empty() && !kTargets.empty())
    {
        NiAVObject* pkObject = kStack.back();
        kStack.pop_back();
        if (pkObject == nullptr || !kSeen.insert(pkObject).second)
            continue;
        kTargets.erase(std::remove(kTargets.begin(), kTargets.end(), pkObject), kTargets.end());
        if (kSeen.size() > kStream.GetFileObjectCount() + 1)
            return;
        if (auto* pkMeshes = NiDynamicCast<NiParticleMeshes>(pkObject))
        {
            if (auto* pkData = NiDynamicCast<NiParticleMeshesData>(pkMeshes->GetModelData()))
                kStack.push_back(pkData->GetContainerNode());
        }
        pkObject->CollectChildren(kStack);
    }
}

// The topmost ancestor of a loaded object.
NiAVObject* TopOf(NiObjectStream& kStream, NiAVObject* pkObject)
{
    NiAVObject* pkTop = pkObject;
    for (std::uint32_t uiSteps = 0; pkTop->GetParent() != nullptr && uiSteps <= kStream.GetFileObjectCount(); ++uiSteps)
        pkTop = pkTop->GetParent();
    return pkTop;
}

// Whether the skin instance is reached from the object through counted
// links: children, the skins of geometry and the containers of particle
// meshes.
bool LeadsTo(NiAVObject* pkStart, const NiSkinInstance* pkSkin, std::uint32_t uiBound)
{
    std::vector<NiAVObject*> kStack{pkStart};
    std::unordered_set<const NiAVObject*> kSeen;
    while (!kStack.empty())
    {
        NiAVObject* pkObject = kStack.back();
        kStack.pop_back();
        if (pkObject == nullptr || !kSeen.insert(pkObject).second)
            continue;
        if (kSeen.size() > uiBound + 1)
            return true; // more objects than the file holds: a loop
        if (auto* pkGeometry = NiDynamicCast<NiGeometry>(pkObject))
        {
            if (pkGeometry->GetSkinInstance() == pkSkin)
                return true;
        }
        if (auto* pkMeshes = NiDynamicCast<NiParticleMeshes>(pkObject))
        {
            if (auto* pkData = NiDynamicCast<NiParticleMeshesData>(pkMeshes->GetModelData()))
                kStack.push_back(pkData->GetContainerNode());
        }
        pkObject->CollectChildren(kStack);
    }
    return false;
}
} // namespace

namespace
{
#if defined(__SSE2__)
// One bone's transform for the vertex loop, column by column in the low
// three lanes: its scaled rotation for positions, its rotation for normals,
// its translation.
struct BoneColumns
{
    __m128 m_akS[3];
    __m128 m_akR[3];
    __m128 m_kT;
};

__m128 Lanes(float x, float y, float z) { return _mm_set_ps(0.0f, z, y, x); }

BoneColumns Columns(const NiXform& kB)
{
    const NiMatrix3x3& kR = kB.m_kRotate;
    const NiMatrix3x3 kS = kR.ScaleBy(kB.m_fScale);
    BoneColumns k;
    for (int c = 0; c < 3; ++c)
    {
        k.m_akS[c] = Lanes(kS.GetEntry(0, c), kS.GetEntry(1, c), kS.GetEntry(2, c));
        k.m_akR[c] = Lanes(kR.GetEntry(0, c), kR.GetEntry(1, c), kR.GetEntry(2, c));
    }
    k.m_kT = Lanes(kB.m_kTranslate.x, kB.m_kTranslate.y, kB.m_kTranslate.z);
    return k;
}

// m v, lane by lane in the order the matrix-vector product adds, so every
// lane equals that product's component.
__m128 Product(const __m128* pkColumns, const NiVec3& v)
{
    __m128 k = _mm_add_ps(_mm_mul_ps(pkColumns[0], _mm_set1_ps(v.x)), _mm_mul_ps(pkColumns[1], _mm_set1_ps(v.y)));
    return _mm_add_ps(k, _mm_mul_ps(pkColumns[2], _mm_set1_ps(v.z)));
}

void Store(void* pvBase, std::uint32_t uiIndex, std::uint32_t uiStride, __m128 k)
{
    alignas(16) float af[4];
    _mm_store_ps(af, k);
    std::memcpy(static_cast<unsigned char*>(pvBase) + static_cast<std::size_t>(uiIndex) * uiStride, af, 12);
}

// Unit length as UnitizeArray makes it.
void StoreUnit(void* pvBase, std::uint32_t uiIndex, std::uint32_t uiStride, __m128 k, const std::uint32_t* puiTable)
{
    alignas(16) float af[4];
    _mm_store_ps(af, k);
    const float fFactor = NiTableInverseLength(af[0], af[1], af[2], puiTable);
    af[0] *= fFactor;
    af[1] *= fFactor;
    af[2] *= fFactor;
    std::memcpy(static_cast<unsigned char*>(pvBase) + static_cast<std::size_t>(uiIndex) * uiStride, af, 12);
}

struct DeformTarget
{
    const NiVec3* m_pkSrcVertex;
    const NiVec3* m_apkSrcVector[3]; // normal, binormal, tangent
    void* m_pvDstVertex;
    void* m_apvDstVector[3];
    std::uint32_t m_uiStride;
};

// One pass, one vertex at a time: the weighted sum of its four bones'
// transforms, added in bone order (the bone-by-bone sum's order, so the
// values are the same), the vectors then made unit length.
template <int VECTORS>
void DeformVertexMajor(const DeformTarget& k, const NiSkinData::VertexWeights* pkWeights, std::uint32_t uiWeighted,
                       std::uint32_t uiVertexCount, const BoneColumns* pkBones)
{
    const std::uint32_t* puiTable = NiGetSqrtTable();
    const std::uint32_t uiStride = k.m_uiStride;
    for (std::uint32_t i = 0; i < uiWeighted; ++i)
    {
        const NiSkinData::VertexWeights& kW = pkWeights[i];
        const NiVec3 kV = k.m_pkSrcVertex[i];
        NiVec3 akVector[VECTORS > 0 ? VECTORS : 1];
        for (int c = 0; c < VECTORS; ++c)
            akVector[c] = k.m_apkSrcVector[c][i];
        __m128 kPos = _mm_setzero_ps();
        __m128 akSum[VECTORS > 0 ? VECTORS : 1];
        for (int c = 0; c < VECTORS; ++c)
            akSum[c] = _mm_setzero_ps();
        for (int w = 0; w < 4; ++w)
        {
            const BoneColumns& kB = pkBones[kW.m_ausBone[w]];
            const __m128 kWeight = _mm_set1_ps(kW.m_afWeight[w]);
            kPos = _mm_add_ps(kPos, _mm_mul_ps(_mm_add_ps(Product(kB.m_akS, kV), kB.m_kT), kWeight));
            for (int c = 0; c < VECTORS; ++c)
                akSum[c] = _mm_add_ps(akSum[c], _mm_mul_ps(Product(kB.m_akR, akVector[c]), kWeight));
        }
        Store(k.m_pvDstVertex, i, uiStride, kPos);
        for (int c = 0; c < VECTORS; ++c)
            StoreUnit(k.m_apvDstVector[c], i, uiStride, akSum[c], puiTable);
    }
    // Vertices no weight names end at zero.
    for (std::uint32_t i = uiWeighted; i < uiVertexCount; ++i)
    {
        Store(k.m_pvDstVertex, i, uiStride, _mm_setzero_ps());
        for (int c = 0; c < VECTORS; ++c)
            Store(k.m_apvDstVector[c], i, uiStride, _mm_setzero_ps());
    }
}
#endif
} // namespace

NiSkinInstance::NiSkinInstance() = default;

NiSkinInstance::~NiSkinInstance()
{
    m_kBones.clear();
    NiRenderer::PurgeSkinInstanceData(this);
    m_spSkinPartition = nullptr;
    m_spSkinData = nullptr;
}

NiObject* NiSkinInstance::CreateObject()
{
    return new NiSkinInstance;
}

void NiSkinInstance::SetSkinData(NiSkinData* pkData)
{
    m_spSkinData = pkData;
    m_kBones.resize(pkData != nullptr ? pkData->GetBoneCount() : 0, nullptr);
}

void NiSkinInstance::SetBone(std::uint32_t uiIndex, NiAVObject* pkBone)
{
    if (uiIndex < m_kBones.size())
        m_kBones[uiIndex] = pkBone;
}

void NiSkinInstance::TakeOldPartition()
{
    if (m_spSkinData == nullptr || m_spSkinData->GetOldPartition() == nullptr)
        return;
    NiSkinPartitionPtr spPartition = m_spSkinData->TakeOldPartition();
    if (m_spSkinPartition == nullptr)
        m_spSkinPartition = spPartition;
}

void NiSkinInstance::Hold(NiObject* pkObject)
{
    for (const NiObjectPtr& sp : m_kHeld)
    {
        if (sp == pkObject)
            return;
    }
    m_kHeld.emplace_back(pkObject);
}

NiXform NiSkinInstance::SkinFromWorld() const
{
    NiXform kRootWorld;
    if (m_pkRootParent != nullptr)
        kRootWorld = m_pkRootParent->GetWorldTransform();
    return m_spSkinData->GetRootParentToSkin().Multiply(kRootWorld.Invert());
}

void NiSkinInstance::UpdateModelBound(NiBoundSphere& kBound)
{
    if (m_spSkinData == nullptr)
        return;
    const NiSkinData::BoneData* pkBoneData = m_spSkinData->GetBoneData();
    std::uint32_t uiBones = std::min<std::uint32_t>(m_spSkinData->GetBoneCount(), GetBoneCount());
    bool bAny = false;
    NiBoundSphere kSum;
    for (std::uint32_t b = 0; b < uiBones; ++b)
    {
        if (m_kBones[b] == nullptr)
            continue;
        NiBoundSphere kWorld;
        kWorld.Transform(pkBoneData[b].m_kBound, m_kBones[b]->GetWorldTransform());
        if (!bAny)
            kSum = kWorld;
        else
            kSum.Merge(kWorld);
        bAny = true;
    }
    if (!bAny)
        return;
    kBound.Transform(kSum, SkinFromWorld());
}

void NiSkinInstance::NiDeformSkinnedVertices(const NiVec3* pkSrcVertex, const NiVec3* pkSrcNormal,
                                             std::uint32_t uiVertexCount, void* pvDstVertex, void* pvDstNormal,
                                             void* pvDstBinormal, void* pvDstTangent, std::uint32_t uiStride) const
{
    if (m_spSkinData == nullptr || pkSrcVertex == nullptr || pvDstVertex == nullptr)
        return;
    const bool bNormals = pkSrcNormal != nullptr && pvDstNormal != nullptr;
    const bool bTangents = bNormals && pvDstBinormal != nullptr && pvDstTangent != nullptr;

#if defined(__SSE2__)
    // Vertex by vertex when the skin has its vertex-major weights and every
    // bone is there; otherwise bone by bone.
    const NiSkinData::VertexWeights* pkWeights = m_spSkinData->GetVertexWeights();
    const std::uint32_t uiBones = m_spSkinData->GetBoneCount();
    bool bVertexMajor = pkWeights != nullptr && GetBoneCount() >= uiBones;
    for (std::uint32_t b = 0; bVertexMajor && b < uiBones; ++b)
        bVertexMajor = m_kBones[b] != nullptr;
    if (bVertexMajor)
    {
        const NiXform kW = SkinFromWorld();
        const NiSkinData::BoneData* pkBoneData = m_spSkinData->GetBoneData();
        // The extra last bone is all zero: the unused places' bone.
        std::vector<BoneColumns> kBones(uiBones + 1);
        for (std::uint32_t b = 0; b < uiBones; ++b)
            kBones[b] = Columns(kW.Multiply(m_kBones[b]->GetWorldTransform()).Multiply(pkBoneData[b].m_kSkinToBone));
        kBones[uiBones] = BoneColumns{{_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()},
                                      {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()},
                                      _mm_setzero_ps()};
        DeformTarget kTarget{pkSrcVertex,
                             {pkSrcNormal, bTangents ? pkSrcNormal + uiVertexCount : nullptr,
                              bTangents ? pkSrcNormal + 2 * static_cast<std::size_t>(uiVertexCount) : nullptr},
                             pvDstVertex,
                             {pvDstNormal, pvDstBinormal, pvDstTangent},
                             uiStride};
        const std::uint32_t uiWeighted = std::min(uiVertexCount, m_spSkinData->GetVertexWeightCount());
        if (bTangents)
            DeformVertexMajor<3>(kTarget, pkWeights, uiWeighted, uiVertexCount, kBones.data());
        else if (bNormals)
            DeformVertexMajor<1>(kTarget, pkWeights, uiWeighted, uiVertexCount, kBones.data());
        else
            DeformVertexMajor<0>(kTarget, pkWeights, uiWeighted, uiVertexCount, kBones.data());
        return;
    }
#endif
    DeformBoneMajor(pkSrcVertex, pkSrcNormal, uiVertexCount, pvDstVertex, pvDstNormal, pvDstBinormal, pvDstTangent,
                    uiStride);
}

void NiSkinInstance::DeformBoneMajor(const NiVec3* pkSrcVertex, const NiVec3* pkSrcNormal,
                                     std::uint32_t uiVertexCount, void* pvDstVertex, void* pvDstNormal,
                                     void* pvDstBinormal, void* pvDstTangent, std::uint32_t uiStride) const
{
    const bool bNormals = pkSrcNormal != nullptr && pvDstNormal != nullptr;
    const bool bTangents = bNormals && pvDstBinormal != nullptr && pvDstTangent != nullptr;

    const NiXform kW = SkinFromWorld();
    ZeroAtStride(pvDstVertex, uiVertexCount, uiStride);
    if (bNormals)
        ZeroAtStride(pvDstNormal, uiVertexCount, uiStride);
    if (bTangents)
    {
        ZeroAtStride(pvDstBinormal, uiVertexCount, uiStride);
        ZeroAtStride(pvDstTangent, uiVertexCount, uiStride);
    }

    const NiSkinData::BoneData* pkBoneData = m_spSkinData->GetBoneData();
    const std::uint32_t uiBones = std::min<std::uint32_t>(m_spSkinData->GetBoneCount(), GetBoneCount());
    const NiVec3* pkSrcBinormal = bTangents ? pkSrcNormal + uiVertexCount : nullptr;
    const NiVec3* pkSrcTangent = bTangents ? pkSrcNormal + 2 * static_cast<std::size_t>(uiVertexCount) : nullptr;
    for (std::uint32_t b = 0; b < uiBones; ++b)
    {
        if (m_kBones[b] == nullptr)
            continue;
        const NiSkinData::BoneData& kBone = pkBoneData[b];
        const NiXform kB = kW.Multiply(m_kBones[b]->GetWorldTransform()).Multiply(kBone.m_kSkinToBone);
        const NiMatrix3x3& kR = kB.m_kRotate;
        const NiMatrix3x3 kS = kR.ScaleBy(kB.m_fScale);
        const NiVec3& kT = kB.m_kTranslate;
        for (std::uint16_t w = 0; w < kBone.m_usVerts; ++w)
        {
            const std::uint32_t i = kBone.m_spWeights[w].m_usVertex;
            // The weights may name vertices the caller's buffer lacks.
            if (i >= uiVertexCount)
                continue;
            const float fWeight = kBone.m_spWeights[w].m_fWeight;
            At(pvDstVertex, i, uiStride) += (kS * pkSrcVertex[i] + kT) * fWeight;
            if (!bNormals)
                continue;
            At(pvDstNormal, i, uiStride) += (kR * pkSrcNormal[i]) * fWeight;
            if (!bTangents)
                continue;
            At(pvDstBinormal, i, uiStride) += (kR * pkSrcBinormal[i]) * fWeight;
            At(pvDstTangent, i, uiStride) += (kR * pkSrcTangent[i]) * fWeight;
        }
    }
    if (bNormals)
        NiVec3::UnitizeArray(static_cast<NiVec3*>(pvDstNormal), uiVertexCount, uiStride);
    if (bTangents)
    {
        NiVec3::UnitizeArray(static_cast<NiVec3*>(pvDstBinormal), uiVertexCount, uiStride);
        NiVec3::UnitizeArray(static_cast<NiVec3*>(pvDstTangent), uiVertexCount, uiStride);
    }
}

// ---- Cloning ----

NiObject* NiSkinInstance::CreateClone(NiCloneContext& kCloning)
{
    auto CloneOf = [&kCloning](NiAVObject* pkObject) -> NiAVObject* {
        NiObject* pkCopy = nullptr;
        if (pkObject != nullptr && kCloning.m_kCloneMap.GetAt(pkObject, pkCopy) && pkCopy != nullptr)
            return static_cast<NiAVObject*>(pkCopy);
        return nullptr;
    };
    bool bAnyCloned = CloneOf(m_pkRootParent) != nullptr;
    for (NiAVObject* pkBone : m_kBones)
        bAnyCloned = bAnyCloned || CloneOf(pkBone) != nullptr;
    if (!bAnyCloned)
        return this;

    auto* pkClone = new NiSkinInstance;
    NiObject::CopyMembers(pkClone, kCloning);
    pkClone->m_spSkinData = m_spSkinData;
    pkClone->m_spSkinPartition = m_spSkinPartition;
    NiAVObject* pkRoot = CloneOf(m_pkRootParent);
    pkClone->m_pkRootParent = pkRoot != nullptr ? pkRoot : m_pkRootParent;
    pkClone->m_kBones.resize(m_kBones.size());
    for (std::size_t b = 0; b < m_kBones.size(); ++b)
    {
        NiAVObject* pkBone = CloneOf(m_kBones[b]);
        pkClone->m_kBones[b] = pkBone != nullptr ? pkBone : m_kBones[b];
    }
    // What this instance keeps alive, the clone keeps too while one of its
    // links still leads into it.
    std::vector<NiAVObject*> kLinked(pkClone->m_kBones);
    kLinked.push_back(pkClone->m_pkRootParent);
    for (const NiObjectPtr& sp : m_kHeld)
    {
        bool bLinked = false;
        for (NiAVObject* pkObject : kLinked)
        {
            for (NiAVObject* p = pkObject; p != nullptr && !bLinked; p = p->GetParent())
                bLinked = p == sp.Get();
        }
        if (bLinked)
            pkClone->Hold(sp);
    }
    return pkClone;
}

// ---- Scene-file record ----

void NiSkinInstance::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    kStream.ReadLinkID(); // skin data
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 1, 0, 101))
        kStream.ReadLinkID(); // partition
    kStream.ReadLinkID();     // root parent
    kStream.ReadLinkIDList(); // bones
}

void NiSkinInstance::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    m_spSkinData = kStream.GetLinkedObjectAs<NiSkinData>();
    if (m_spSkinData == nullptr)
        kStream.SetCorrupt();
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 1, 0, 101))
        m_spSkinPartition = kStream.GetLinkedObjectAs<NiSkinPartition>();
    m_pkRootParent = kStream.GetLinkedObjectAs<NiAVObject>();
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    // Bones and bone records are matched by index: every bone needs its own.
    if (m_spSkinData != nullptr && uiCount != m_spSkinData->GetBoneCount())
        kStream.SetCorrupt();
    m_kBones.assign(uiCount, nullptr);
    for (std::uint32_t b = 0; b < uiCount; ++b)
        m_kBones[b] = kStream.GetLinkedObjectAs<NiAVObject>();
}

void NiSkinInstance::PostLink(NiObjectStream& kStream)
{
    NiObject::PostLink(kStream);
    if (kStream.GetFileVersion() < NiStreamVersion(10, 1, 0, 101))
        TakeOldPartition();
    // Bones and the root are links only; one that nothing of the scene
    // holds would die with the stream's table and leave them dangling.
    // Held from the top, a bone keeps its parents and so its place in the
    // hierarchy that moves it.
    std::vector<NiAVObject*> kUnheld;
    for (NiAVObject* pkObject : m_kBones)
    {
        if (pkObject != nullptr)
            kUnheld.push_back(TopOf(kStream, pkObject));
    }
    if (m_pkRootParent != nullptr)
        kUnheld.push_back(TopOf(kStream, m_pkRootParent));
    std::sort(kUnheld.begin(), kUnheld.end());
    kUnheld.erase(std::unique(kUnheld.begin(), kUnheld.end()), kUnheld.end());
    DropReachedFromTops(kStream, kUnheld);
    for (NiAVObject* pkRoot : kUnheld)
    {
        // Holding what leads back here would make a loop of references
        // that is never freed.
        if (LeadsTo(pkRoot, this, kStream.GetFileObjectCount()))
        {
            kStream.SetCorrupt();
            return;
        }
        Hold(pkRoot);
    }
}

bool NiSkinInstance::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spSkinData != nullptr)
        m_spSkinData->RegisterForSave(kStream);
    if (m_spSkinPartition != nullptr)
        m_spSkinPartition->RegisterForSave(kStream);
    if (m_pkRootParent != nullptr)
        m_pkRootParent->RegisterForSave(kStream);
    for (NiAVObject* pkBone : m_kBones)
    {
        if (pkBone != nullptr)
            pkBone->RegisterForSave(kStream);
    }
    return true;
}

void NiSkinInstance::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLinkID(m_spSkinData);
    kStream.WriteLinkID(m_spSkinPartition);
    kStream.WriteLinkID(m_pkRootParent);
    std::uint32_t uiBones = m_spSkinData != nullptr ? m_spSkinData->GetBoneCount() : 0;
    kStream.WriteLE(uiBones);
    for (std::uint32_t b = 0; b < uiBones; ++b)
        kStream.WriteLinkID(b < m_kBones.size() ? m_kBones[b] : nullptr);
}

bool NiSkinInstance::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkSkin = static_cast<NiSkinInstance*>(pkOther);
    if ((m_spSkinData == nullptr) != (pkSkin->m_spSkinData == nullptr))
        return false;
    if (m_spSkinData != nullptr && !m_spSkinData->IsEqual(pkSkin->m_spSkinData))
        return false;
    if ((m_spSkinPartition == nullptr) != (pkSkin->m_spSkinPartition == nullptr))
        return false;
    return m_spSkinPartition == nullptr || m_spSkinPartition->IsEqual(pkSkin->m_spSkinPartition);
}

void NiSkinInstance::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSkinInstance::TypeInfo()->GetName()));
    if (m_pkRootParent != nullptr)
        kStrings.AddTail(NiViewerString("Root Parent", m_pkRootParent->GetName()));
    if (m_spSkinData == nullptr)
        return;
    kStrings.AddTail(NiViewerUInt("Hardware partitions",
                                  m_spSkinPartition != nullptr ? m_spSkinPartition->GetPartitionCount() : 0));
    kStrings.AddTail(NiViewerUInt("Bone Count", m_spSkinData->GetBoneCount()));
    std::vector<std::string> kNamed;
    std::uint32_t uiUnnamed = 0;
    for (NiAVObject* pkBone : m_kBones)
    {
        if (pkBone != nullptr && pkBone->GetName() != nullptr)
            kNamed.emplace_back(pkBone->GetName());
        else
            ++uiUnnamed;
    }
    std::sort(kNamed.begin(), kNamed.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
    int i = 0;
    for (const std::string& kName : kNamed)
        kStrings.AddTail(NiViewerFormat("  %3d = %s", i++, kName.c_str()));
    for (std::uint32_t u = 0; u < uiUnnamed; ++u)
        kStrings.AddTail(NiViewerFormat("  %3d = %s", i++, "<noname>"));
}
