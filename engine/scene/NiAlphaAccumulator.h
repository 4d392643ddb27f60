#pragma once

#include "engine/scene/NiBackToFrontAccumulator.h"

// Takes only alpha-blended geometry, so transparent objects are drawn back
// to front after every opaque one.
class NiAlphaAccumulator : public NiBackToFrontAccumulator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiAlphaAccumulator)

public:
    NiAlphaAccumulator() = default;
    ~NiAlphaAccumulator() override = default;

    static NiObject* CreateObject();

    // Refuses geometry whose alpha property does not blend, and (while
    // no-sort properties are observed) geometry whose property asks not to
    // be sorted.
    bool RegisterGeometry(NiAVObject* pkObject) override;

    [[nodiscard]] bool GetObserveNoSortHint() const { return m_bObserveNoSortHint; }
    void SetObserveNoSortHint(bool b) { m_bObserveNoSortHint = b; }
    [[nodiscard]] bool GetSortByClosestPoint() const { return m_bSortByClosestPoint; }
    void SetSortByClosestPoint(bool b) { m_bSortByClosestPoint = b; }

protected:
    // With sort-by-closest-point, the nearest point of the bound: the
    // centre's depth less the radius.
    [[nodiscard]] float DepthOf(const NiGeometry* pkGeometry) const override;

private:
    bool m_bObserveNoSortHint = true;
    bool m_bSortByClosestPoint = false;
};

using NiAlphaAccumulatorPtr = NiRefPtr<NiAlphaAccumulator>;
