#pragma once

#include "engine/render/NiRect.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <memory>

class COrvaneTextImpl;
class NiFont;

// A string drawn with one of the engine's fonts through an engine font
// string, optionally word-wrapped inside a rectangle.
class COrvaneText : public COrvaneBase
{
public:
    // Alignment that centres the text on its position.
    static constexpr std::int32_t ALIGN_CENTRE = 2;

    COrvaneText();
    ~COrvaneText() override;

    void Destroy() override { Reset(); }
    virtual void Reset() {}
    void Release() override { Destroy(); }

    // The text at (x, y) in pixels, white; with a wrap rectangle, spaces
    // become line feeds where a line would pass its right edge. Nothing
    // without a font or a renderer.
    virtual void Draw(const char* pcText, float fX, float fY, std::int32_t iAlignment, const NiRect<float>* pkWrap);
    [[nodiscard]] virtual float GetArea() const;
    // Reads the engine font file for the window's renderer and makes it the
    // font in use; false (the previous font kept) when it does not load.
    virtual bool LoadFont(const char* pcFontFile);

    [[nodiscard]] NiFont* GetFont() const;

private:
    std::unique_ptr<COrvaneTextImpl> m_pkImpl;
};
