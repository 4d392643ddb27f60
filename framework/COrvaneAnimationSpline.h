#pragma once

#include "framework/COrvaneSplineBase.h"

#include <memory>

class COrvaneAnimationSplineImpl;
class NiAVObject;
class NiTimeController;

// A fixed route of a level: its points are an engine node's world
// positions under the node's first time controller, from its begin to its
// end key time.
class COrvaneAnimationSpline : public COrvaneSplineBase
{
public:
    COrvaneAnimationSpline();
    ~COrvaneAnimationSpline() override;

    void Destroy() override;

    // Holds the node (culled from drawing, its controller driven by this
    // spline); names the spline when a name is given.
    void CreateFromFile(NiAVObject* pkNode, const char* pcName);

    [[nodiscard]] bool IsFixedPath() const override;
    [[nodiscard]] float MapParameter(float fT) const override;
    // Without a controller nothing moves. A route of no time length puts
    // the model at its point and answers arrival in the walking direction.
    float Advance(float fT, COrvaneComposite* pkModel, float fDt, float fSpeed, const NiVec3* pkOffset,
                  bool bUseLength) override;
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

    [[nodiscard]] NiAVObject* GetNode() const;
    [[nodiscard]] NiTimeController* GetController() const;

private:
    std::unique_ptr<COrvaneAnimationSplineImpl> m_pkImpl;
};
