#pragma once

#include "engine/scene/NiObjectNET.h"

// Top object of animation files older than 4.1.0.3: a name, text keys and
// object names in its extra data, the animation in its controller chain.
class NiSequenceStreamHelper : public NiObjectNET
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiSequenceStreamHelper)

public:
    NiSequenceStreamHelper() = default;
    ~NiSequenceStreamHelper() override = default;

    [[nodiscard]] static NiObject* CreateObject() { return new NiSequenceStreamHelper; }
};
