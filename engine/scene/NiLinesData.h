#pragma once

#include "engine/scene/NiGeometryData.h"

#include <cstdint>

// The vertices of line geometry with one connectivity flag each: a non-zero
// flag joins vertex i to vertex i + 1.
class NiLinesData : public NiGeometryData
{
    NiDeclareTypeInfo()

public:
    NiLinesData() = default;
    // Takes ownership of the arrays; without flags the vertices pair up into
    // separate segments 0-1, 2-3, ...
    NiLinesData(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColor, NiVec2* pkTexture,
                std::uint16_t usTextureSets, std::uint16_t usNBTMethod, std::uint8_t* pucFlags);
    ~NiLinesData() override;

    static NiObject* CreateObject();

    [[nodiscard]] std::uint8_t* GetFlags() const { return m_pucFlags; }
    void CalculateNormals() override {}

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint8_t* m_pucFlags = nullptr;
};
