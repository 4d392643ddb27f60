#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneBase.h"

#include <cstdint>

class COrvaneObject;

// The animated model every object and character holds. This form keeps only
// what walking needs, a position (with a pending one applied by Update) and
// the accumulated heading; the scene model, sequences and attachments come
// with the model loader.
class COrvaneComposite : public COrvaneBase
{
public:
    COrvaneComposite();
    ~COrvaneComposite() override;

    void Destroy() override;
    virtual void Reset();

    virtual int SetUserValue(std::uint32_t uiValue);
    [[nodiscard]] virtual std::uint32_t GetUserValue() const;
    [[nodiscard]] virtual COrvaneObject* GetOwner() const;
    virtual void SetOwner(COrvaneObject* pkOwner);
    // Mode 0 sets the pending position; any other mode adds the offset to
    // the pending position, or to the current one when none is pending.
    virtual void SetPosition(const NiVec3& kPoint, int iMode);
    // Mode 0 sets the accumulated angle (degrees); other modes add to it.
    virtual void Rotate(const NiVec3& kAxis, float fAngle, int iMode);
    virtual void Hook();
    // Applies the pending position.
    virtual void Update(float fArgument);

    // The pending position when one is set, else the current one.
    [[nodiscard]] const NiVec3* GetPosition() const;
    [[nodiscard]] float GetAccumulatedAngle() const { return m_fAccumulatedAngle; }

private:
    COrvaneObject* m_pkOwner = nullptr; // link
    float m_fAccumulatedAngle = 0.0f;
    std::uint32_t m_uiUserValue = 0;
    NiVec3 m_kPosition;
    NiVec3 m_kPendingPosition;
    bool m_bPending = false;
};
