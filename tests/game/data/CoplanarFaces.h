#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <string>
#include <vector>

class NiAVObject;

// Faces of drawn shapes in world space, and the pairs of them that a depth
// buffer cannot tell apart: parallel, overlapping where they lie, and closer
// to each other than the buffer's step at their distance from the eye. Such
// a pair shows as a dotted stripe where either face wins by chance.
namespace coplanar
{
struct Triangle
{
    NiVec3 akCorner[3];
    NiVec3 kNormal;
    std::string kOwner;
    const void* pvShape = nullptr;
};

struct Fight
{
    std::string kFirst;
    std::string kSecond;
    float fGap = 0.0f;
    float fStep = 0.0f;
};

// The smallest difference in depth a buffer of the bits resolves at the
// distance, with the near and far planes given (a perspective depth).
[[nodiscard]] float DepthStep(float fDistance, float fNear, float fFar, std::uint32_t uiBits);

// Every triangle of the drawn shapes under the object (those not culled by
// the application, skinned ones left out), at their world places; the
// object's world transforms must be up to date.
void Collect(const NiAVObject& kObject, std::vector<Triangle>& kOut);

// The pairs of triangles of different shapes, one of the first list and
// one of the first or the second, that are parallel, overlap with some area
// and lie apart by less than fMargin steps of the buffer at the farther
// corner's distance from the eye.
[[nodiscard]] std::vector<Fight> FindFights(const std::vector<Triangle>& kShown, const std::vector<Triangle>& kAround,
                                            const NiVec3& kEye, float fNear, float fFar, std::uint32_t uiBits,
                                            float fMargin);
} // namespace coplanar
