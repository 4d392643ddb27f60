#pragma once

#include "engine/core/NiObject.h"

class NiCamera;
class NiAVObject;

// Collects the visible geometry of one camera's culling pass that must not
// be drawn at once, and draws it sorted when the pass ends.
class NiAccumulator : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiAccumulator() = default;
    ~NiAccumulator() override = default;

    // False while a pass is in progress; otherwise remembers the camera.
    virtual bool StartAccumulating(NiCamera* pkCamera);
    virtual void FinishAccumulating();
    // True when the accumulator takes the geometry (it draws it later).
    virtual bool RegisterGeometry(NiAVObject* pkGeometry) = 0;

    [[nodiscard]] NiCamera* GetCamera() const { return m_pkCamera; }

protected:
    NiCamera* m_pkCamera = nullptr; // the pass in progress, null when idle
};

using NiAccumulatorPtr = NiRefPtr<NiAccumulator>;
