#include "tests/game/data/CoplanarFaces.h"

#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriBasedGeom.h"

#include <algorithm>
#include <cmath>

namespace coplanar
{
namespace
{
// Two triangles of one plane (given by its normal) overlap with some area:
// no edge of either separates them, projected on the plane, by more than a
// hair (faces that only touch along an edge do not fight).
bool Overlap(const Triangle& kA, const Triangle& kB, const NiVec3& kNormal)
{
    const NiVec3 kHelp = std::fabs(kNormal.x) < 0.9f ? NiVec3(1.0f, 0.0f, 0.0f) : NiVec3(0.0f, 1.0f, 0.0f);
    const NiVec3 kU = kNormal.UnitCross(kHelp);
    const NiVec3 kV = kNormal.Cross(kU);
    float afA[3][2];
    float afB[3][2];
    for (int i = 0; i < 3; ++i)
    {
        afA[i][0] = kA.akCorner[i].Dot(kU);
        afA[i][1] = kA.akCorner[i].Dot(kV);
        afB[i][0] = kB.akCorner[i].Dot(kU);
        afB[i][1] = kB.akCorner[i].Dot(kV);
    }
    constexpr float HAIR = 1e-3f;
    for (const auto* pfEdges : {&afA, &afB})
    {
        for (int e = 0; e < 3; ++e)
        {
            const float* pfFrom = (*pfEdges)[e];
            const float* pfTo = (*pfEdges)[(e + 1) % 3];
            float fAxisX = -(pfTo[1] - pfFrom[1]);
            float fAxisY = pfTo[0] - pfFrom[0];
            const float fLength = std::sqrt(fAxisX * fAxisX + fAxisY * fAxisY);
            if (fLength <= 0.0f)
                continue;
            fAxisX /= fLength;
            fAxisY /= fLength;
            float fMinA = 1e30f, fMaxA = -1e30f, fMinB = 1e30f, fMaxB = -1e30f;
            for (int i = 0; i < 3; ++i)
            {
                const float fOnA = afA[i][0] * fAxisX + afA[i][1] * fAxisY;
                const float fOnB = afB[i][0] * fAxisX + afB[i][1] * fAxisY;
                fMinA = std::min(fMinA, fOnA);
                fMaxA = std::max(fMaxA, fOnA);
                fMinB = std::min(fMinB, fOnB);
                fMaxB = std::max(fMaxB, fOnB);
            }
            if (fMaxA <= fMinB + HAIR || fMaxB <= fMinA + HAIR)
                return false;
        }
    }
    return true;
}
} // namespace

float DepthStep(float fDistance, float fNear, float fFar, std::uint32_t uiBits)
{
    // The stored depth runs as f / (f - n) * (1 - n / z); one step of it
    // spans this much of z.
    const float fLevels = std::ldexp(1.0f, static_cast<int>(uiBits));
    return fDistance * fDistance * (fFar - fNear) / (fFar * fNear * fLevels);
}

void Collect(const NiAVObject& kObject, std::vector<Triangle>& kOut)
{
    if (kObject.GetAppCulled())
        return;
    if (const auto* pkNode = NiDynamicCast<NiNode>(const_cast<NiAVObject*>(&kObject)))
    {
        for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
            if (const NiAVObject* pkChild = pkNode->GetAt(i))
                Collect(*pkChild, kOut);
        return;
    }
    const auto* pkShape = NiDynamicCast<NiGeometry>(const_cast<NiAVObject*>(&kObject));
    const auto* pkData =
        pkShape != nullptr ? NiDynamicCast<NiTriBasedGeomData>(pkShape->GetModelData()) : nullptr;
    // A skinned shape is drawn where its bones put its vertices, not where
    // they stand in its data: it is left out.
    if (pkData == nullptr || pkData->GetVertices() == nullptr || pkShape->GetSkinInstance() != nullptr)
        return;
    const NiVec3* pkVertices = pkData->GetVertices();
    for (std::uint16_t t = 0; t < pkData->GetActiveTriangleCount(); ++t)
    {
        std::uint16_t ausIndex[3] = {0, 0, 0};
        if (!pkData->GetTriangleIndices(t, ausIndex[0], ausIndex[1], ausIndex[2]))
            continue;
        Triangle kTriangle;
        for (int i = 0; i < 3; ++i)
        {
            if (ausIndex[i] >= pkData->GetVertexCount())
                return;
            kTriangle.akCorner[i] = pkShape->GetWorldTransform() * pkVertices[ausIndex[i]];
        }
        const NiVec3 kCross =
            (kTriangle.akCorner[1] - kTriangle.akCorner[0]).Cross(kTriangle.akCorner[2] - kTriangle.akCorner[0]);
        const float fArea = kCross.Length();
        if (fArea <= 1e-6f)
            continue;
        kTriangle.kNormal = kCross / fArea;
        kTriangle.kOwner = pkShape->GetName() != nullptr ? pkShape->GetName() : "";
        kTriangle.pvShape = pkShape;
        kOut.push_back(kTriangle);
    }
}

std::vector<Fight> FindFights(const std::vector<Triangle>& kShown, const std::vector<Triangle>& kAround,
                              const NiVec3& kEye, float fNear, float fFar, std::uint32_t uiBits, float fMargin)
{
    std::vector<Fight> kFights;
    const auto Check = [&](const Triangle& kA, const Triangle& kB) {
        if (kA.pvShape == kB.pvShape || std::fabs(kA.kNormal.Dot(kB.kNormal)) < 0.999f)
            return;
        const float fGap = std::fabs(kA.kNormal.Dot(kB.akCorner[0] - kA.akCorner[0]));
        float fDistance = 0.0f;
        for (const Triangle* pk : {&kA, &kB})
            for (const NiVec3& kCorner : pk->akCorner)
                fDistance = std::max(fDistance, (kCorner - kEye).Length());
        const float fStep = DepthStep(fDistance, fNear, fFar, uiBits);
        if (fGap >= fMargin * fStep || !Overlap(kA, kB, kA.kNormal))
            return;
        kFights.push_back({kA.kOwner, kB.kOwner, fGap, fStep});
    };
    for (std::size_t i = 0; i < kShown.size(); ++i)
    {
        for (std::size_t j = i + 1; j < kShown.size(); ++j)
            Check(kShown[i], kShown[j]);
        for (const Triangle& kOther : kAround)
            Check(kShown[i], kOther);
    }
    return kFights;
}
} // namespace coplanar
