#pragma once

#include "framework/COrvaneSplineBase.h"

#include <memory>
#include <vector>

class COrvanePathSplineImpl;

// A cubic B-spline through points made from grid cells.
class COrvanePathSpline : public COrvaneSplineBase
{
public:
    COrvanePathSpline();
    ~COrvanePathSpline() override;

    void Destroy() override;
    void Reset() override;

    [[nodiscard]] bool IsFixedPath() const override;
    [[nodiscard]] float MapParameter(float fT) const override;
    float Advance(float fT, COrvaneComposite* pkModel, float fDt, float fSpeed, const NiVec3* pkOffset,
                  bool bUseLength) override;
    // The index of the point at t, one further unless rounding down, never
    // past the last point.
    [[nodiscard]] std::int32_t SegmentIndex(float fT, bool bRoundDown) const override;
    [[nodiscard]] std::uint32_t GetPointCount() const override;
    [[nodiscard]] bool GetStartPosition(NiVec3& kOut) const override;
    [[nodiscard]] bool GetEndPosition(NiVec3& kOut) const override;
    [[nodiscard]] float GetEndHeading() const override;
    void SetPoint(std::int32_t iIndex, const NiVec3& kPoint) override;
    // Drawn once the scene's line objects exist.
    void CreateDebugLines() override;
    [[nodiscard]] std::unique_ptr<COrvaneSplineBase> Clone() const override;
    [[nodiscard]] float SegmentLength(float fT) const override;
    virtual void Unused4() {}
    // Copies the points (one to three are padded to four with the last);
    // names the spline when a name is given.
    virtual void SetPoints(const NiVec3* pkPoints, std::uint32_t uiCount, const char* pcName);

    // The point at t.
    [[nodiscard]] NiVec3 Evaluate(float fT) const;
    [[nodiscard]] const std::vector<NiVec3>& GetPoints() const { return m_kPoints; }

private:
    std::unique_ptr<COrvanePathSplineImpl> m_pkImpl;
    std::vector<NiVec3> m_kPoints;
};
