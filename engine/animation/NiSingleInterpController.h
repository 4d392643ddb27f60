#pragma once

#include "engine/animation/NiInterpController.h"
#include "engine/animation/NiInterpolator.h"
#include "engine/core/NiColor.h"
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

    // The usual Update: pkOwner is what the frame's value is written to (the
    // target or a part of it, found by the caller). Nothing is written when
    // BeginUpdate says so, without an owner, or when the interpolator gives
    // no value; otherwise kWrite(*pkOwner, value), the value starting as kValue.
    template <class TOwner, class TValue, class TWrite>
    void UpdateOwner(float fTime, TOwner* pkOwner, TValue kValue, TWrite&& kWrite)
    {
        if (!BeginUpdate(fTime) || pkOwner == nullptr)
            return;
        if (InterpolatedValue(kValue))
            kWrite(*pkOwner, kValue);
    }
    // The interpolator's value at m_fScaledTime, by kind.
    bool InterpolatedValue(float& fValue);
    bool InterpolatedValue(NiVec3& kValue);
    bool InterpolatedValue(NiColorRGBA& kValue);
    bool InterpolatedValue(std::uint8_t& ucValue);
    bool InterpolatedValue(NiQuatTransform& kValue);

    // Files from before the interpolator link give a link to old key data in
    // its place: ReadOldKeyDataLink reads it, and once links resolve
    // ResolveOldKeyDataLink makes the data a collapsed interpolator.
    static void ReadOldKeyDataLink(NiObjectStream& kStream);
    template <class TInterpolator, class TData>
    void ResolveOldKeyDataLink(NiObjectStream& kStream)
    {
        if (NiObject* pkData = LinkedOldKeyData(kStream, TData::TypeInfo()))
        {
            m_spInterpolator = new TInterpolator(static_cast<TData*>(pkData));
            m_spInterpolator->Collapse();
        }
    }
    // The old key data of an old file when it is of the kind given; null in
    // newer files or without a link, and null with the stream marked corrupt
    // for data of another kind.
    [[nodiscard]] static NiObject* LinkedOldKeyData(NiObjectStream& kStream, const NiTypeInfo* pkDataType);

    NiInterpolatorPtr m_spInterpolator;
};

// What a controller of one value kind hands a manager: a constant pose of
// its target's current value, that pose brought up to date, a blend of the
// kind, and the kind check. TValue is float, NiVec3, NiColorRGBA or bool;
// the controller gives its target's current value through GetPoseValue.
template <class TBase, class TValue>
class NiValueInterpController : public TBase
{
public:
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t usIndex) const override;

protected:
    NiValueInterpController() = default;
    // Left as it is when the target has no such value.
    virtual void GetPoseValue(TValue& kValue) = 0;
};

extern template class NiValueInterpController<NiSingleInterpController, float>;
extern template class NiValueInterpController<NiSingleInterpController, NiVec3>;
extern template class NiValueInterpController<NiSingleInterpController, bool>;

// Typed bases, each with its own name for the target's current value.
class NiFloatInterpController : public NiValueInterpController<NiSingleInterpController, float>
{
    NiDeclareTypeInfo()

public:
    virtual void GetTargetFloatValue(float& fValue) = 0;

protected:
    NiFloatInterpController() = default;
    void GetPoseValue(float& fValue) override { GetTargetFloatValue(fValue); }
};

class NiPoint3InterpController : public NiValueInterpController<NiSingleInterpController, NiVec3>
{
    NiDeclareTypeInfo()

public:
    virtual void GetTargetPoint3Value(NiVec3& kValue) = 0;

protected:
    NiPoint3InterpController() = default;
    void GetPoseValue(NiVec3& kValue) override { GetTargetPoint3Value(kValue); }
};

class NiBoolInterpController : public NiValueInterpController<NiSingleInterpController, bool>
{
    NiDeclareTypeInfo()

public:
    virtual void GetTargetBoolValue(bool& bValue) = 0;

protected:
    NiBoolInterpController() = default;
    void GetPoseValue(bool& bValue) override { GetTargetBoolValue(bValue); }
};
