#pragma once

#include "engine/scene/NiExtraData.h"

// Vertex weights of old files: read past and dropped; owners remove the
// entry after a load, and nothing of it is written.
class NiVertWeightsExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiVertWeightsExtraData)

public:
    NiVertWeightsExtraData() = default;

    void ReadFromStream(NiObjectStream& kStream) override;
};
