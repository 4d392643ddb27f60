#pragma once

#include "engine/animation/NiBoolInterpolator.h"

#include <cstdint>

// A bool interpolator that does not miss a switch lying wholly between two
// updates: a key of the opposite value passed over flips the answer once.
class NiBoolTimelineInterpolator : public NiBoolInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoolTimelineInterpolator)

public:
    NiBoolTimelineInterpolator() = default;
    explicit NiBoolTimelineInterpolator(std::uint8_t bPose) : NiBoolInterpolator(bPose) {}
    explicit NiBoolTimelineInterpolator(NiBoolData* pkData) : NiBoolInterpolator(pkData) {}
    ~NiBoolTimelineInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& bValue) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiPreviousIdx = 0;
    std::uint8_t m_bPreviousValue = 0;
};
