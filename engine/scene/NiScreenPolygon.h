#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiVec2.h"
#include "engine/core/NiVec3.h"
#include "engine/scene/NiPropertySet.h"

#include <cstdint>
#include <memory>

class NiRenderer;

// A flat polygon given in screen space, drawn over the scene by the camera
// that lists it, with optional texture coordinates and vertex colours and a
// complete property set of its own. Not part of the scene graph.
class NiScreenPolygon : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiScreenPolygon)

public:
    // Copies each given array (absent arrays stay absent); the property set
    // starts with the global defaults.
    NiScreenPolygon(std::uint16_t usVertices, const NiVec3* pkVertex, const NiVec2* pkTexture,
                    const NiColorRGBA* pkColor);
    // The current renderer drops its data for the polygon first.
    ~NiScreenPolygon() override;
    NiScreenPolygon(const NiScreenPolygon&) = delete;
    NiScreenPolygon& operator=(const NiScreenPolygon&) = delete;

    // For loading: no vertices, and a default property set the links fill.
    static NiObject* CreateObject();

    // Makes the polygon's set the renderer's current one, with no effects,
    // and has the renderer draw the polygon.
    void Draw(NiRenderer* pkRenderer);

    [[nodiscard]] std::uint16_t GetVertexCount() const { return m_usVertices; }
    [[nodiscard]] const NiVec3* GetVertices() const { return m_pkVertex.get(); }
    [[nodiscard]] const NiVec2* GetTextures() const { return m_pkTexture.get(); }
    [[nodiscard]] const NiColorRGBA* GetColors() const { return m_pkColor.get(); }
    // Edited in place by their owner, who then sets renderer flag bit 0 so
    // the renderer repacks them.
    [[nodiscard]] NiVec3* GetVertices() { return m_pkVertex.get(); }
    [[nodiscard]] NiColorRGBA* GetColors() { return m_pkColor.get(); }
    [[nodiscard]] NiPropertySet* GetPropertyState() const { return m_spPropertySet; }
    // Into the slot of the property's type; null is ignored.
    void SetProperty(NiProperty* pkProperty);

    // Kept for the renderer: a flags word (cameras set bit 0 to have every
    // polygon repacked) and its own data.
    [[nodiscard]] std::uint16_t GetRendererFlags() const { return m_usRendererFlags; }
    void SetRendererFlags(std::uint16_t us) { m_usRendererFlags = us; }
    [[nodiscard]] void* GetRendererData() const { return m_pvRendererData; }
    void SetRendererData(void* pv) { m_pvRendererData = pv; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    NiScreenPolygon();

private:
    NiPropertySetPtr m_spPropertySet;
    std::uint16_t m_usVertices = 0;
    std::unique_ptr<NiVec3[]> m_pkVertex;
    std::unique_ptr<NiVec2[]> m_pkTexture;
    std::unique_ptr<NiColorRGBA[]> m_pkColor;
    std::uint16_t m_usRendererFlags = 0;
    void* m_pvRendererData = nullptr;
};

using NiScreenPolygonPtr = NiRefPtr<NiScreenPolygon>;
