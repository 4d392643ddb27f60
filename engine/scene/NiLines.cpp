#include "engine/scene/NiLines.h"

#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiParticles.h"

NiImplementTypeInfo(NiLines, NiGeometry)

NiLines::NiLines(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColor, NiVec2* pkTexture,
                 std::uint16_t usTextureSets, std::uint16_t usNBTMethod, std::uint8_t* pucFlags)
    : NiGeometry(new NiLinesData(usVertices, pkVertex, pkColor, pkTexture, usTextureSets, usNBTMethod, pucFlags))
{
}

NiObject* NiLines::CreateObject()
{
    return new NiLines;
}

NiImplementCreateClone(NiLines)

void NiLines::CopyMembers(NiLines* pkDest, NiCloneContext& kCloning)
{
    NiGeometry::CopyMembers(pkDest, kCloning);
}

void NiLines::RenderImmediate(NiRenderer* pkRenderer)
{
    NiGeometry::RenderImmediate(pkRenderer);
    if (pkRenderer != nullptr)
        pkRenderer->DrawLines(this, m_spPropertySet, m_spEffectSet);
}

void NiLines::UpdateEffectsDownward(NiEffectSet* pkParentEffects)
{
    // Shared with particles: texture effects never apply to either.
    m_spEffectSet = NiParticles::KeepLightsOnly(pkParentEffects);
}

bool NiLines::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiLinesData>(pkData);
}

void NiLines::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometry::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLines::TypeInfo()->GetName()));
}
