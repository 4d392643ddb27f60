#pragma once

#include "engine/animation/NiTimeController.h"

// Base of the shader system's controllers: their key range is the whole
// float range, so the time they pass on is never clamped.
class NiD3DController : public NiTimeController
{
    NiDeclareTypeInfo()

public:
    NiD3DController();
    ~NiD3DController() override = default;
};

using NiD3DControllerPtr = NiRefPtr<NiD3DController>;
