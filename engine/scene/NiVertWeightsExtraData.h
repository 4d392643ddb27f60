#pragma once

#include "engine/scene/NiExtraData.h"

// Vertex weights of old files: read past and dropped; owners remove the
// entry after a load, and nothing of it is written.
class NiVertWeightsExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiVertWeightsExtraData)

public:
    NiVertWeightsExtraData();
    ~NiVertWeightsExtraData() override;

    // Whether any such entry exists: owners look for one after a load only
    // then.
    [[nodiscard]] static bool AnyAlive();

    void ReadFromStream(NiObjectStream& kStream) override;
};
