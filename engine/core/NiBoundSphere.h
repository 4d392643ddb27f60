#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>

class NiByteStream;
class NiXform;

// Bounding sphere: centre and radius.
class NiBoundSphere
{
public:
    NiVec3 m_kCenter;
    float m_fRadius = 0.0f;

    constexpr NiBoundSphere() = default;
    constexpr NiBoundSphere(const NiVec3& kCenter, float fRadius) : m_kCenter(kCenter), m_fRadius(fRadius) {}

    // Radius and centre exactly equal.
    [[nodiscard]] bool IsEqual(const NiBoundSphere& kOther) const
    {
        return m_fRadius == kOther.m_fRadius && m_kCenter == kOther.m_kCenter;
    }
    bool operator==(const NiBoundSphere& kOther) const { return IsEqual(kOther); }
    bool operator!=(const NiBoundSphere& kOther) const { return !IsEqual(kOther); }

    // Centre of the points' axis-aligned box, radius the distance to the
    // farthest point; no points give centre (0, 0, 0) and radius 0. Not the
    // smallest sphere, but cheap and stable.
    void ComputeFromPoints(std::uint32_t uiCount, const NiVec3* pkPoints);
    // Grows this sphere to contain kOther too.
    void Merge(const NiBoundSphere& kOther);
    // This becomes kSphere moved through kXform: centre T + s (R c), radius
    // r s.
    void Transform(const NiBoundSphere& kSphere, const NiXform& kXform);

    // Scene-file encoding: centre x, y, z, radius.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream) const;
};

// Viewer string "%s = (%g, %g, %g) , %g" (centre, radius); a new heap string
// the caller frees with delete[].
[[nodiscard]] char* NiViewerBoundSphere(const char* pcName, const NiBoundSphere& kValue);
