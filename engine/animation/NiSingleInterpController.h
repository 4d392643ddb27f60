#pragma once

#include "engine/animation/NiInterpController.h"
#include "engine/animation/NiInterpolator.h"
#include "engine/core/NiVec3.h"

#include <cstdint>

// A controller with exactly one interpolator, copied into one member of its
// target each frame. Streaming, cloning and time ranges live here; the typed
// bases below add what a manager needs to take such a controller over.
class NiSingleInterpController : public NiInterpController
{
    NiDeclareTypeInfo()

public:
    ~NiSingleInterpController() override = default;

    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override
    {
        return InterpTargetIsCorrectType(pkTarget);
    }
    [[nodiscard]] std::uint16_t GetInterpolatorCount() const override { return 1; }
    [[nodiscard]] const char* GetInterpolatorID(std::uint16_t) const override { return nullptr; }
    [[nodiscard]] std::uint16_t GetInterpolatorIndex(const char*) const override { return 0; }
    [[nodiscard]] NiInterpolator* GetInterpolator(std::uint16_t = 0) const override { return m_spInterpolator; }
    void SetInterpolator(NiInterpolator* pkInterpolator, std::uint16_t = 0) override
    {
        m_spInterpolator = pkInterpolator;
    }
    void ResetTimeExtrema() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] virtual bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const = 0;

    // From 10.1.0.104 on the interpolator's link; older files give none
    // (their controllers read old key data instead).
    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

protected:
    NiSingleInterpController() = default;
    void CopyMembers(NiSingleInterpController* pkDest, NiCloneContext& kCloning);

    // The common start of an Update: false when nothing is to be written.
    // A manager-controlled controller asks at -FLT_MAX (the blend's items
    // carry their times); otherwise the skip test decides, unless the
    // interpolator always updates. The time to ask at is m_fScaledTime.
    [[nodiscard]] bool BeginUpdate(float fTime);

    NiInterpolatorPtr m_spInterpolator;
};

// Typed bases: a constant pose from the target's current value, a blend of
// the same kind, and the value-kind check.
class NiFloatInterpController : public NiSingleInterpController
{
    NiDeclareTypeInfo()

public:
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsFloatValueSupported();
    }
    virtual void GetTargetFloatValue(float& fValue) = 0;

protected:
    NiFloatInterpController() = default;
};

class NiPoint3InterpController : public NiSingleInterpController
{
    NiDeclareTypeInfo()

public:
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsPoint3ValueSupported();
    }
    virtual void GetTargetPoint3Value(NiVec3& kValue) = 0;

protected:
    NiPoint3InterpController() = default;
};

class NiBoolInterpController : public NiSingleInterpController
{
    NiDeclareTypeInfo()

public:
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsBoolValueSupported();
    }
    virtual void GetTargetBoolValue(bool& bValue) = 0;

protected:
    NiBoolInterpController() = default;
};
