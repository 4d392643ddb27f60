#include "tools/COrvaneDemoShapes.h"

#include "engine/scene/NiMaterialProperty.h"

NiTriShape* MakeDemoBox(const NiVec3& kMin, const NiVec3& kMax, bool bInward, const char* pcName)
{
    static const float NORMALS[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    static const int FACES[6][4][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
    };
    auto* pkVertex = new NiVec3[24];
    auto* pkTexture = new NiVec2[24];
    auto* pkNormal = new NiVec3[24];
    auto* pusTriangles = new std::uint16_t[36];
    for (int f = 0; f < 6; ++f)
    {
        for (int v = 0; v < 4; ++v)
        {
            const int* piCorner = FACES[f][v];
            pkVertex[f * 4 + v] = NiVec3(piCorner[0] != 0 ? kMax.x : kMin.x, piCorner[1] != 0 ? kMax.y : kMin.y,
                                         piCorner[2] != 0 ? kMax.z : kMin.z);
            // v climbs with the height, so a picture on the sides stands
            // upright and the top takes its upper edge, the bottom its lower.
            pkTexture[f * 4 + v] = NiVec2(static_cast<float>(f < 4 ? piCorner[0] : piCorner[1]), static_cast<float>(piCorner[2]));
            const float fSide = bInward ? -1.0f : 1.0f;
            pkNormal[f * 4 + v] = NiVec3(NORMALS[f][0] * fSide, NORMALS[f][1] * fSide, NORMALS[f][2] * fSide);
        }
        const auto usBase = static_cast<std::uint16_t>(f * 4);
        const std::uint16_t ausOut[6] = {usBase, static_cast<std::uint16_t>(usBase + 1),
                                         static_cast<std::uint16_t>(usBase + 2), usBase,
                                         static_cast<std::uint16_t>(usBase + 2), static_cast<std::uint16_t>(usBase + 3)};
        for (int i = 0; i < 6; ++i)
            pusTriangles[f * 6 + i] = bInward ? ausOut[5 - i] : ausOut[i];
    }
    auto* pkBox = new NiTriShape(24, pkVertex, pkNormal, nullptr, pkTexture, 1, 0, 12, pusTriangles);
    pkBox->SetName(pcName);
    return pkBox;
}

NiTriShape* MakeDemoColouredBox(const NiVec3& kMin, const NiVec3& kMax, const std::uint8_t (&aucColour)[3],
                                const char* pcName)
{
    NiTriShape* pkBox = MakeDemoBox(kMin, kMax, false, pcName);
    auto* pkMaterial = new NiMaterialProperty;
    const NiColorRGB kColour{aucColour[0] / 255.0f, aucColour[1] / 255.0f, aucColour[2] / 255.0f};
    pkMaterial->SetAmbientColor(kColour);
    pkMaterial->SetDiffuseColor(kColour);
    pkBox->AttachProperty(pkMaterial);
    return pkBox;
}
