#pragma once

#include "engine/animation/NiQuatTransform.h"
#include "engine/core/NiColor.h"
#include "engine/core/NiMathConstants.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

#include <cstdint>

class NiObjectNET;

// A source of one animated value for a key time. Each Update answers true
// when the out value is valid; invalid values carry the markers (-FLT_MAX in
// every component, 2 for a bool).
class NiInterpolator : public NiObject
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint8_t INVALID_BOOL = 2;
    static const NiVec3 INVALID_POINT3;
    static const NiColorRGBA INVALID_COLOR;

    ~NiInterpolator() override = default;

    virtual bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue);
    virtual bool UpdateColor(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue);
    virtual bool UpdatePoint3(float fTime, NiObjectNET* pkTarget, NiVec3& kValue);
    virtual bool UpdateQuaternion(float fTime, NiObjectNET* pkTarget, NiQuat& kValue);
    virtual bool UpdateFloat(float fTime, NiObjectNET* pkTarget, float& fValue);
    virtual bool UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& bValue);

    [[nodiscard]] virtual bool IsBoolValueSupported() const { return false; }
    [[nodiscard]] virtual bool IsFloatValueSupported() const { return false; }
    [[nodiscard]] virtual bool IsQuaternionValueSupported() const { return false; }
    [[nodiscard]] virtual bool IsPoint3ValueSupported() const { return false; }
    [[nodiscard]] virtual bool IsColorValueSupported() const { return false; }
    [[nodiscard]] virtual bool IsTransformValueSupported() const { return false; }

    // Replaces key data that cannot change the value by a constant pose.
    virtual void Collapse() {}
    virtual void GetActiveTimeRange(float& fBegin, float& fEnd) const;
    virtual void GuaranteeTimeRange(float, float) {}
    // A new interpolator for the time range (a clone here); null on failure.
    [[nodiscard]] virtual NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd);
    virtual bool ResolveDependencies(void*) { return true; }
    virtual bool SetUpDependencies() { return true; }
    [[nodiscard]] virtual bool AlwaysUpdate() const { return false; }

    [[nodiscard]] float GetLastTime() const { return m_fLastTime; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    [[nodiscard]] static bool IsPoint3Valid(const NiVec3& k) { return k != INVALID_POINT3; }
    [[nodiscard]] static bool IsColorValid(const NiColorRGBA& k) { return k != INVALID_COLOR; }

protected:
    NiInterpolator() = default;
    void CopyMembers(NiInterpolator* pkDest, NiCloneContext& kCloning);

    // Time of the last successful update; -FLT_MAX = never.
    float m_fLastTime = NI_MIN_FLOAT;
};

using NiInterpolatorPtr = NiRefPtr<NiInterpolator>;
