#pragma once

#include "engine/animation/NiTimeController.h"

#include <cstdint>

class NiBlendInterpolator;
class NiInterpolator;

// A time controller fed by interpolators. A controller manager finds an
// interpolator by ID, replaces it with a blend interpolator and then marks
// the controller as manager-controlled (flag bit 5): the blend's items carry
// their own key times.
class NiInterpController : public NiTimeController
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint16_t INVALID_INDEX = 0xFFFF;

    ~NiInterpController() override = default;

    [[nodiscard]] virtual std::uint16_t GetInterpolatorCount() const = 0;
    [[nodiscard]] virtual const char* GetInterpolatorID(std::uint16_t usIndex) const = 0;
    // INVALID_INDEX when the controller has no interpolator of that ID.
    [[nodiscard]] virtual std::uint16_t GetInterpolatorIndex(const char* pcID) const = 0;
    [[nodiscard]] virtual NiInterpolator* GetInterpolator(std::uint16_t usIndex) const = 0;
    virtual void SetInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) = 0;
    virtual void ResetTimeExtrema();
    // Tells controllers of one class on one target apart; null: no ID.
    [[nodiscard]] virtual const char* GetCtlrID() { return nullptr; }
    [[nodiscard]] virtual NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) = 0;
    virtual void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) = 0;
    [[nodiscard]] virtual NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                                       bool bAccumulate, float fWeightThreshold,
                                                                       std::uint8_t ucArraySize) const = 0;
    virtual void GuaranteeTimeRange(float fStart, float fEnd) = 0;
    [[nodiscard]] virtual bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator,
                                                         std::uint16_t usIndex) const = 0;

    // Files from 10.1.0.104 to 10.1.0.108 carry the manager-controlled flag
    // in a byte of its own after the time-controller part.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    NiInterpController() = default;
    void CopyMembers(NiInterpController* pkDest, NiCloneContext& kCloning);
};

using NiInterpControllerPtr = NiRefPtr<NiInterpController>;
