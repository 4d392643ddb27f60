#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec3.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <memory>
#include <vector>

class COrvaneComposite;
class NiLines;

// A route a walker follows by a parameter t in [0, 1]: each frame the spline
// places and turns the walker's model at t and hands back the advanced t.
class COrvaneSplineBase : public COrvaneBase
{
public:
    // Degrees per radian as the facing rule uses it.
    static constexpr float DEGREES_PER_RADIAN = 57.2957763671875f;

    COrvaneSplineBase();
    ~COrvaneSplineBase() override;

    virtual void Reset() {}

    [[nodiscard]] virtual bool IsFixedPath() const = 0;
    virtual void Unused1(std::int32_t) {}
    virtual void Unused2(std::int32_t, std::int32_t) {}
    [[nodiscard]] virtual float MapParameter(float fT) const = 0;
    // Places and turns the model at t; returns the new t. A negative speed
    // walks toward the start.
    virtual float Advance(float fT, COrvaneComposite* pkModel, float fDt, float fSpeed, const NiVec3* pkOffset,
                          bool bUseLength) = 0;
    [[nodiscard]] virtual std::int32_t SegmentIndex(float fT, bool bRoundDown) const = 0;
    [[nodiscard]] virtual std::uint32_t GetPointCount() const = 0;
    // False when the route has no such point.
    [[nodiscard]] virtual bool GetStartPosition(NiVec3& kOut) const = 0;
    [[nodiscard]] virtual bool GetEndPosition(NiVec3& kOut) const = 0;
    [[nodiscard]] virtual float GetEndHeading() const = 0;
    virtual void SetPoint(std::int32_t iIndex, const NiVec3& kPoint) = 0;
    virtual void CreateDebugLines() = 0;
    virtual void Unused3() {}
    [[nodiscard]] virtual std::unique_ptr<COrvaneSplineBase> Clone() const = 0;
    [[nodiscard]] virtual float SegmentLength(float fT) const = 0;

    // The facing rule: turns the model from its position toward kTarget
    // (away from it for a negative speed) and places it there. Equal points
    // give no direction; the model keeps its heading then.
    static void FaceAndPlace(COrvaneComposite& kModel, const NiVec3& kTarget, float fSpeed);
    // The yaw (degrees) of the step from kFrom to kTo by the facing rule;
    // false when the step has no horizontal direction.
    [[nodiscard]] static bool FacingYaw(const NiVec3& kFrom, const NiVec3& kTo, float fSpeed, float& fYaw);

    // The route's debug lines leave the world's scene and are let go.
    void ClearDebugLines();
    [[nodiscard]] NiLines* GetDebugLines() const;

protected:
    // Once: lines through the points raised 1.0, each joined to the next,
    // under the scene root of the game's world (none without one).
    void MakeDebugLines(const std::vector<NiVec3>& kPoints);

private:
    NiRefPtr<NiLines> m_spDebugLines;
};
