#pragma once

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiPosData.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <memory>

class NiCloneContext;
class NiObjectStream;

// Motion along a curve of position keys (the path) at a speed given by float
// keys (the percent keys), with an optional frame that follows the curve and
// banks into bends. The path interpolator and the old path controller both
// move their objects with one of these.
class NiPathCurve
{
public:
    enum Flags : std::uint16_t
    {
        DIRTY_MASK = 0x0001,
        OPEN_MASK = 0x0002,
        CURVE_FRAME_MASK = 0x0004,
        BANK_MASK = 0x0008,
        CONSTANT_VELOCITY_MASK = 0x0010,
        FOLLOW_MASK = 0x0020,
        FLIP_MASK = 0x0040,
        // The settings a copy takes: everything but the dirty bit.
        SETTINGS_MASK = 0x007E,
    };

    NiPathCurve() = default;
    NiPathCurve(const NiPathCurve&) = delete;
    NiPathCurve& operator=(const NiPathCurve&) = delete;

    // A place on the curve: between path keys i and j at parameter t.
    struct Segment
    {
        std::uint32_t i = 0;
        std::uint32_t j = 1;
        float t = 0.0f;
    };

    [[nodiscard]] bool HasData() const;
    // The percent keys at the time (hint kept here).
    [[nodiscard]] float EvaluatePercent(float fTime);
    // The segment for a percent, by key times or (constant velocity) by
    // length; needs at least two path keys.
    [[nodiscard]] Segment FindSegment(float fPercent);
    [[nodiscard]] Segment FindSegmentByPercent(float fPercent);
    [[nodiscard]] Segment FindSegmentByLength(float fPercent);
    [[nodiscard]] NiVec3 ComputePosition(const Segment& kSegment) const;
    // Orthonormal; the identity with fewer than two path keys.
    [[nodiscard]] NiMatrix3x3 ComputeOrientation(const Segment& kSegment) const;
    // The position and (when following) rotation at a time; false without
    // data. One path key gives that key and the identity.
    bool Evaluate(float fTime, NiVec3& kPosition, NiMatrix3x3& kRotate);

    // Curve length from key 0 to every key; when the total is not known yet.
    void ComputePathLengths();
    [[nodiscard]] float GetSegmentLength(std::uint32_t i, std::uint32_t j, float t) const;
    [[nodiscard]] float GetTotalLength() const { return m_fTotalLength; }
    [[nodiscard]] float GetMaxCurvature() const { return m_fMaxCurvature; }
    void ResetPercentHint() { m_uiLastPercentIdx = 0; }
    // After the data changed: lengths again when moving at constant
    // velocity, the curvature bound from the keys.
    void Prepare();

    [[nodiscard]] std::uint16_t GetFlags() const { return m_usFlags; }
    void SetFlags(std::uint16_t us) { m_usFlags = us; }
    void SetBit(std::uint16_t usMask, bool bOn)
    {
        m_usFlags = static_cast<std::uint16_t>(bOn ? (m_usFlags | usMask) : (m_usFlags & ~usMask));
    }
    [[nodiscard]] bool GetBit(std::uint16_t usMask) const { return (m_usFlags & usMask) != 0; }
    // Turns constant velocity on (with the lengths it needs) or off.
    void SetConstantVelocity(bool bOn);

    NiPosDataPtr m_spPathData;
    NiFloatDataPtr m_spPercentData;
    float m_fMaxBankAngle = 0.0f;
    float m_fSmoothing = 0.0f;
    std::uint16_t m_usFollowAxis = 0;
    std::int32_t m_iBankDir = 1;

    // Settings: flags bits 1-6, bank, smoothing, axis; data cloned; the
    // length table copied (or built when it is needed and missing).
    void CopyFrom(const NiPathCurve& kSource, NiCloneContext& kCloning);
    // Settings only, data shared (conversion of the old controller).
    void CopySettingsFrom(const NiPathCurve& kSource);
    // u16 flags (or the old controller's given flags), u32 bank direction,
    // f32 maximum bank angle, f32 smoothing, u16 follow axis, path and
    // percent links.
    void Read(NiObjectStream& kStream, bool bReadFlags, std::uint16_t usOldFlags);
    void ResolveLinks(NiObjectStream& kStream);
    void Write(NiObjectStream& kStream) const;
    void RegisterForSave(NiObjectStream& kStream) const;
    [[nodiscard]] bool IsEqual(const NiPathCurve& kOther) const;
    void DropCountedLinks();

private:
    struct Frame
    {
        NiVec3 m_kTangent;
        NiVec3 m_kNormal;
        NiVec3 m_kBinormal;
        float m_fCurvature = 0.0f;
    };
    [[nodiscard]] std::uint32_t GetPathKeyCount() const;
    [[nodiscard]] NiVec3 Curve(std::uint32_t uiOp, std::uint32_t i, std::uint32_t j, float t) const;
    [[nodiscard]] Frame ComputeFrame(std::uint32_t i, std::uint32_t j, float t) const;

    std::uint16_t m_usFlags = DIRTY_MASK | OPEN_MASK;
    std::uint32_t m_uiLastPathIdx = 0;
    std::uint32_t m_uiLastPercentIdx = 0;
    std::unique_ptr<float[]> m_spLengths; // one per path key when built
    std::uint32_t m_uiLengthCount = 0;
    float m_fTotalLength = -1.0f;
    float m_fMaxCurvature = 0.0f;
};
