#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>
#include <memory>

class NiRenderer;
class NiTexture;
class NiTexturingProperty;

// Screen-space textured rectangles drawn over the scene with one texture.
class NiScreenTexture : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiScreenTexture)

public:
    // One rectangle: pixels of the render target (a position outside it
    // wraps around when drawn) and texels of the texture. The record is the
    // six 16-bit values in this order, then the colour.
    struct NiScreenRect
    {
        std::int16_t m_sPixTop = 0;
        std::int16_t m_sPixLeft = 0;
        std::uint16_t m_usPixWidth = 0;
        std::uint16_t m_usPixHeight = 0;
        std::uint16_t m_usTexTop = 0;
        std::uint16_t m_usTexLeft = 0;
        NiColorRGBA m_kColor;

        bool operator==(const NiScreenRect& k) const
        {
            return m_sPixTop == k.m_sPixTop && m_sPixLeft == k.m_sPixLeft && m_usPixWidth == k.m_usPixWidth &&
                   m_usPixHeight == k.m_usPixHeight && m_usTexTop == k.m_usTexTop && m_usTexLeft == k.m_usTexLeft &&
                   m_kColor == k.m_kColor;
        }
        bool operator!=(const NiScreenRect& k) const { return !(*this == k); }
    };

    // Bytes of one rectangle in a scene file.
    static constexpr std::uint32_t RECT_RECORD_SIZE = 28;

    // Change bits: the renderer repacks the rectangles when any is set.
    enum ChangeBits : std::uint16_t
    {
        COLOR_MASK = 0x2,
        EVERYTHING_MASK = 0xF,
    };

    // Whatever a renderer keeps for a screen texture; deleted with it.
    class RendererData
    {
    public:
        virtual ~RendererData() = default;
    };

    // Rectangles over the texture, drawn with a texturing property that
    // replaces the colour below (apply mode 0) and clamps both ways.
    explicit NiScreenTexture(NiTexture* pkTexture);
    ~NiScreenTexture() override;

    // Index of the new rectangle. A full array doubles its capacity.
    std::uint32_t AddScreenRect(std::int16_t sTop, std::int16_t sLeft, std::uint16_t usWidth, std::uint16_t usHeight,
                                std::uint16_t usTexTop, std::uint16_t usTexLeft, const NiColorRGBA& kColor);
    // Count 0; the capacity stays.
    void RemoveAllScreenRects() { m_uiNumRects = 0; }
    // Room for uiCapacity rectangles, keeping the first ones that fit; 0
    // frees the array.
    void SetCapacity(std::uint32_t uiCapacity);

    [[nodiscard]] std::uint32_t GetNumScreenRects() const { return m_uiNumRects; }
    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiCapacity; }
    // The array itself: the bitmap-font text writes its rectangles straight
    // into it. Valid up to the capacity.
    [[nodiscard]] NiScreenRect* GetScreenRects() { return m_pkScreenRects.get(); }
    [[nodiscard]] const NiScreenRect* GetScreenRects() const { return m_pkScreenRects.get(); }
    [[nodiscard]] NiScreenRect& GetScreenRect(std::uint32_t uiIndex) { return m_pkScreenRects[uiIndex]; }

    [[nodiscard]] NiTexturingProperty* GetTexturingProperty() const;
    // The base map's texture, or null.
    [[nodiscard]] NiTexture* GetTexture() const;

    [[nodiscard]] std::uint16_t GetChangeFlags() const { return m_usDirtyFlags; }
    void MarkAsChanged(std::uint16_t usBits) { m_usDirtyFlags = static_cast<std::uint16_t>(m_usDirtyFlags | usBits); }
    void ClearChangeFlags() { m_usDirtyFlags = 0; }

    [[nodiscard]] RendererData* GetRendererData() const { return m_spRendererData.get(); }
    void SetRendererData(std::unique_ptr<RendererData> spData) { m_spRendererData = std::move(spData); }

    // Hands this screen texture to the renderer to draw; nothing without one.
    void Draw(NiRenderer* pkRenderer);

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    [[nodiscard]] static NiObject* CreateObject();

protected:
    // Streaming: the record brings the rectangles and the property.
    NiScreenTexture();

private:
    std::unique_ptr<NiScreenRect[]> m_pkScreenRects;
    std::uint32_t m_uiCapacity = 0;
    std::uint32_t m_uiNumRects = 0;
    NiRefPtr<NiTexturingProperty> m_spTexProp;
    std::uint16_t m_usDirtyFlags = 0;
    std::unique_ptr<RendererData> m_spRendererData;
};

using NiScreenTexturePtr = NiRefPtr<NiScreenTexture>;
