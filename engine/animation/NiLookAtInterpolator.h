#pragma once

#include "engine/animation/NiInterpolator.h"
#include "engine/animation/NiQuatTransform.h"
#include "engine/core/NiMatrix3x3.h"

#include <cstdint>
#include <memory>

class NiAVObject;

// Turns an object so that one of its axes points at another object, with
// an optional roll about that axis; translation and scale come from
// optional sub-interpolators.
class NiLookAtInterpolator : public NiInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiLookAtInterpolator)

public:
    enum Axis : std::uint16_t
    {
        X = 0,
        Y = 1,
        Z = 2,
    };
    enum : std::uint16_t
    {
        FLIP_MASK = 0x0001,
        AXIS_MASK = 0x0006,
        AXIS_POS = 1,
    };
    enum SubInterpolator : std::uint32_t
    {
        TRANSLATE = 0,
        ROLL = 1,
        SCALE = 2,
        SUB_COUNT = 3,
    };

    NiLookAtInterpolator() = default;
    NiLookAtInterpolator(NiAVObject* pkLookAt, Axis eAxis, bool bFlip);
    ~NiLookAtInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }
    void Collapse() override;
    void GetActiveTimeRange(float& fBegin, float& fEnd) const override;
    void GuaranteeTimeRange(float fBegin, float fEnd) override;
    // A clone without the object pointer but with its name, holding the
    // sub-interpolators' copies for the range.
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;
    // pvPalette: an NiAVObjectPalette.
    bool ResolveDependencies(void* pvPalette) override;
    bool SetUpDependencies() override;
    [[nodiscard]] bool AlwaysUpdate() const override { return true; }

    // The look-at rotation of an object at local position kPosition under
    // kParent (null: none) towards kLookAt's world position, in the parent's
    // space. Axis 3 counts as X. Shared with the old controller.
    [[nodiscard]] static NiMatrix3x3 ComputeLookAt(const NiVec3& kPosition, const NiAVObject* pkParent,
                                                   const NiVec3& kLookAt, std::uint16_t usAxis, bool bFlip);

    [[nodiscard]] NiAVObject* GetLookAt() const { return m_pkLookAt; }
    void SetLookAt(NiAVObject* pk) { m_pkLookAt = pk; }
    [[nodiscard]] const char* GetLookAtName() const { return m_spLookAtName.get(); }
    [[nodiscard]] std::uint16_t GetFlags() const { return m_usFlags; }
    void SetFlags(std::uint16_t us) { m_usFlags = us; }
    [[nodiscard]] bool GetFlip() const { return (m_usFlags & FLIP_MASK) != 0; }
    [[nodiscard]] std::uint16_t GetAxis() const
    {
        return static_cast<std::uint16_t>((m_usFlags & AXIS_MASK) >> AXIS_POS);
    }
    [[nodiscard]] NiInterpolator* GetSub(SubInterpolator e) const { return m_aspSub[e]; }
    void SetSub(SubInterpolator e, NiInterpolator* pk) { m_aspSub[e] = pk; }
    [[nodiscard]] const NiQuatTransform& GetPose() const { return m_kTransformValue; }

    // Record: u16 flags, look-at link, look-at name, the pose, three
    // sub-interpolator links.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // A sub-interpolator chain that leads back here fails the load (code 6).
    void PostLink(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

private:
    void SetLookAtName(const char* pcName);
    // True when a sub-interpolator chain from here reaches pkTarget within
    // uiSteps look-at interpolators.
    [[nodiscard]] bool SubsReach(const NiLookAtInterpolator* pkTarget, std::uint32_t& uiSteps) const;

    std::uint16_t m_usFlags = 0;
    NiAVObject* m_pkLookAt = nullptr; // the scene graph's
    std::unique_ptr<char[]> m_spLookAtName;
    NiQuatTransform m_kTransformValue;
    NiInterpolatorPtr m_aspSub[SUB_COUNT];
};

using NiLookAtInterpolatorPtr = NiRefPtr<NiLookAtInterpolator>;
