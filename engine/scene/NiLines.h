#pragma once

#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiLinesData.h"

#include <cstdint>

// Line-segment geometry over a NiLinesData, drawn through the renderer's
// line drawing. Lines are lit but never take texture effects.
class NiLines : public NiGeometry
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiLines)

public:
    NiLines() = default;
    explicit NiLines(NiLinesData* pkData) : NiGeometry(pkData) {}
    // Makes the data from the arrays (the data owns them); a non-zero
    // connect flag joins vertex i to vertex i + 1.
    NiLines(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColor, NiVec2* pkTexture,
            std::uint16_t usTextureSets, std::uint16_t usNBTMethod, std::uint8_t* pucFlags);

    static NiObject* CreateObject();

    void RenderImmediate(NiRenderer* pkRenderer) override;
    // Keeps only the lights of the set.
    void UpdateEffectsDownward(NiEffectSet* pkParentEffects) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
};

using NiLinesPtr = NiRefPtr<NiLines>;
