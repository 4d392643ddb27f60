#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiVec2.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <memory>
#include <string>

class COrvaneCamera;
class COrvaneFont;
class COrvaneGame;
class COrvaneImageTexture;

// What a panel or the layout object says about one widget. Positions and
// sizes are in 1024 x 768 units when the scale flag is set.
struct CWidgetDesc
{
    std::string m_kName; // image file, text or widget name
    float m_fX = 0.0f;
    float m_fY = 0.0f;
    float m_fWidth = 0.0f;
    float m_fHeight = 0.0f;
    float m_fLength = 0.0f; // bar length, or a text field's widest text
    COrvaneCamera* m_pkCamera = nullptr; // the game's camera: images draw through it
    std::uint8_t m_ucScaleToScreen = 0;
};

// A widget's rectangle in screen pixels; every side -1 while unset.
struct COrvaneWidgetRect
{
    float m_fX = -1.0f;
    float m_fY = -1.0f;
    float m_fWidth = -1.0f;
    float m_fHeight = -1.0f;
};

// A rectangle with a visible flag: the base of everything a canvas holds.
class COrvaneWidget : public COrvaneBase
{
public:
    // The process-wide screen-scale factors: the screen size over the
    // 1024 x 768 layout size, set by the game's start. 1 and 1 at first.
    static void SetScreenScale(float fHorizontal, float fVertical);
    [[nodiscard]] static float GetScreenScaleX();
    [[nodiscard]] static float GetScreenScaleY();
    static void ResetScreenScale();

    COrvaneWidget();
    ~COrvaneWidget() override;

    void Destroy() override;
    virtual void Reset();
    virtual void Draw(float fX, float fY);
    // A text field takes the text; others ignore it.
    virtual void SetText(const std::string& kText);
    // The point inside the rectangle, bounds included; false for null.
    [[nodiscard]] virtual bool HitTest(const NiVec2* pkPoint) const;
    virtual void SetColor(const NiColorRGBA& kColor);
    virtual void Scale(float fX, float fY);
    // The per-frame step of the canvas input pass.
    virtual void UpdateText() {}
    // Rectangle from the description, scaled by the screen-scale factors
    // only when its flag is set.
    virtual void SetRect(const CWidgetDesc& kDesc);

    void DrawIfVisible(float fX, float fY);
    [[nodiscard]] const COrvaneWidgetRect& GetRect() const { return m_kRect; }
    [[nodiscard]] bool IsVisible() const { return m_ucVisible != 0; }
    void SetVisible(bool bVisible) { m_ucVisible = bVisible ? 1 : 0; }
    [[nodiscard]] std::int16_t GetTextId() const { return m_sTextId; }
    void SetTextId(std::int16_t sId) { m_sTextId = sId; }

protected:
    COrvaneWidgetRect m_kRect;
    std::uint8_t m_ucVisible = 1;
    std::int16_t m_sTextId = -1;
};

// A widget drawn from an image file, cut into tiles.
class COrvaneImage : public COrvaneWidget
{
public:
    COrvaneImage();
    ~COrvaneImage() override;

    void Destroy() override;
    void Reset() override {}
    void Draw(float fX, float fY) override;
    // The texture's pixel test: transparent pixels of an overlay miss.
    [[nodiscard]] bool HitTest(const NiVec2* pkPoint) const override;
    void SetColor(const NiColorRGBA& kColor) override;
    void Scale(float fX, float fY) override;
    // Rectangle, name and tiles from the description.
    virtual void Create(const CWidgetDesc& kDesc);

    [[nodiscard]] COrvaneImageTexture& GetTexture() const { return *m_pkTexture; }

protected:
    std::unique_ptr<COrvaneImageTexture> m_pkTexture;
};

// An image cut to a percentage of its length.
class COrvaneBar : public COrvaneImage
{
public:
    COrvaneBar();
    void Reset() override;
    void Draw(float fX, float fY) override;
    // Full length = the description's length (the bar stretched to it), or
    // the image's width when the length is below 1.
    void Create(const CWidgetDesc& kDesc) override;
    // 0 hides the bar, 1..100 shows that part of it; above 100 nothing.
    virtual void SetValue(std::uint8_t ucPercent);

    [[nodiscard]] float GetFullLength() const { return m_fFullLength; }
    [[nodiscard]] float GetFraction() const { return m_fFraction; }
    void SetRightAnchored(bool bRight) { m_uiRightAnchored = bRight ? 1 : 0; }

private:
    float m_fFullLength = 0.0f;
    float m_fFraction = 1.0f;
    float m_fInverseFraction = 1.0f;
    std::uint32_t m_uiRightAnchored = 0;
};

// An editable line of text with a blinking cursor.
class COrvaneTextWidget : public COrvaneWidget
{
public:
    // Frames of one blink period; the cursor shows in the first half.
    static constexpr std::int32_t BLINK_FRAMES = 20;

    COrvaneTextWidget();
    void Destroy() override;
    void Reset() override;
    void SetText(const std::string& kText) override;
    [[nodiscard]] bool HitTest(const NiVec2* pkPoint) const override;
    void Scale(float fX, float fY) override;
    // Blinks, then takes each key of the game's frame in order: erase keys
    // remove the last character, letters, digits and the space are
    // appended unless the text would then be wider than the maximum (game
    // font 0).
    void UpdateText() override;
    // Rectangle, maximum width = the description's length, text = its name.
    virtual void Create(const CWidgetDesc& kDesc);
    [[nodiscard]] virtual std::string GetText() const { return m_kText; }
    [[nodiscard]] virtual const char* GetCString() const { return m_kText.c_str(); }

    // The text at the rectangle moved by (x, y), with " *" while the
    // cursor is on.
    void DrawText(COrvaneFont& kFont, float fX, float fY) const;
    [[nodiscard]] std::int32_t GetBlinkCounter() const { return m_iBlink; }
    [[nodiscard]] float GetMaxWidth() const { return m_fMaxWidth; }

private:
    void TypeKey(const COrvaneGame& kGame, std::uint32_t uiKey);

    std::string m_kText;
    float m_fMaxWidth = 0.0f;
    std::int32_t m_iBlink = 0;
};
