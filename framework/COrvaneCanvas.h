#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiVec2.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

class COrvaneCanvasLayout;
class COrvaneWidget;
struct COrvaneWidgetRect;

// One screen panel: widgets drawn at the canvas position (index 0 the
// background), invisible hot areas carrying tool-tips, and the per-frame
// mouse pass that highlights, presses and reports the widgets.
class COrvaneCanvas : public COrvaneBase
{
public:
    // Widget events.
    static constexpr std::int32_t EVENT_HOVER = 0;
    static constexpr std::int32_t EVENT_NORMAL = 1;
    static constexpr std::int32_t EVENT_PRESSED = 2;

    COrvaneCanvas();
    ~COrvaneCanvas() override;
    COrvaneCanvas(const COrvaneCanvas&) = delete;
    COrvaneCanvas& operator=(const COrvaneCanvas&) = delete;

    // Deletes every widget and hot area, then Reset; safe to repeat.
    void Destroy() override;
    virtual void Reset();
    void Release() override { Destroy(); }

    // Overlays show while hovered (white) or pressed (green); the
    // background and indices past the widgets take no events.
    virtual void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent);
    virtual void SetWidgetColor(const NiColorRGBA& kColor);
    virtual void SetPosition(float fX, float fY, bool bAbsolute);
    // The first occurrence taken out (order kept) and handed back; null
    // when absent.
    virtual std::unique_ptr<COrvaneWidget> RemoveWidget(COrvaneWidget* pkWidget);
    virtual void AddWidget(std::unique_ptr<COrvaneWidget> pkWidget);
    virtual void SetWidgetTextId(std::int32_t iIndex, std::int16_t sId);
    [[nodiscard]] virtual const COrvaneWidgetRect* GetWidgetRect(std::int32_t iIndex) const;
    // The input pass with the game's mouse.
    virtual void UpdateHover();
    // The screen point is on one of its widgets or hot areas: where its
    // input pass counts the mouse as over the interface. A canvas whose pass
    // also runs canvases of its own answers for them too.
    [[nodiscard]] virtual bool Covers(const NiVec2& kPoint) const;
    virtual void Draw();
    virtual void ShowHoverText();
    // Widgets, hot areas and tool-tip list laid out from the image.
    virtual void Create(const char* pcImageName, float fX, float fY, bool bScale);

    void AddHotArea(std::unique_ptr<COrvaneWidget> pkArea);
    [[nodiscard]] std::int32_t GetWidgetCount() const { return m_iWidgetCount; }
    [[nodiscard]] COrvaneWidget* GetWidget(std::int32_t iIndex) const;
    [[nodiscard]] std::int32_t GetHotAreaCount() const { return static_cast<std::int32_t>(m_kHotAreas.size()); }
    [[nodiscard]] COrvaneWidget* GetHotArea(std::int32_t iIndex) const;
    [[nodiscard]] std::int16_t GetHoverIndex() const { return m_sHover; }
    [[nodiscard]] std::int16_t GetTextList() const { return m_sTextList; }
    [[nodiscard]] float GetX() const { return m_fX; }
    [[nodiscard]] float GetY() const { return m_fY; }
    [[nodiscard]] bool IsPressed() const { return m_ucPressed != 0; }
    [[nodiscard]] std::int32_t GetPendingWidget() const { return m_iPendingWidget; }
    [[nodiscard]] std::int32_t GetPendingEvent() const { return m_iPendingEvent; }

protected:
    std::unique_ptr<COrvaneCanvasLayout> m_pkLayout;
    std::vector<std::unique_ptr<COrvaneWidget>> m_kWidgets;
    std::int32_t m_iWidgetCount = 0;
    std::vector<std::unique_ptr<COrvaneWidget>> m_kHotAreas;
    std::int16_t m_sHover = -1;
    std::int16_t m_sTextList = -1;
    float m_fX = 0.0f;
    float m_fY = 0.0f;
    std::uint8_t m_ucPressed = 0;
    std::int32_t m_iPendingWidget = -1;
    std::int32_t m_iPendingEvent = EVENT_NORMAL;
};

template <class T>
class COrvaneStack;

// The open canvases: a modal and a modeless list, front = top. It decides
// which canvases get the mouse each frame and draws them in order; it
// never owns a canvas.
template <>
class COrvaneStack<COrvaneCanvas*>
{
public:
    COrvaneStack() = default;
    virtual ~COrvaneStack() = default;
    COrvaneStack(const COrvaneStack&) = delete;
    COrvaneStack& operator=(const COrvaneStack&) = delete;

    virtual void Clear();
    virtual void MarkChanged() { m_ucChanged = 1; }
    virtual void RequestCloseTwo() { m_ucCloseTwo = 1; }
    virtual void RequestCloseCurrent() { m_ucCloseCurrent = 1; }
    [[nodiscard]] virtual bool HasModal() const { return !m_kModal.empty(); }
    [[nodiscard]] virtual bool IsTopModal(const COrvaneCanvas* pkCanvas) const;
    // Every occurrence.
    virtual void RemoveModeless(COrvaneCanvas* pkCanvas);
    [[nodiscard]] virtual bool IsEmpty() const { return m_kModal.empty() && m_kModeless.empty(); }
    virtual void Release() { Clear(); }
    virtual bool ClearRequests();
    virtual void SetColorAll(const NiColorRGBA& kColor);
    // Removes the canvas when in the chosen list, else pushes it there.
    virtual void Toggle(COrvaneCanvas* pkCanvas, bool bModal);
    // At the front of the list; a canvas may be on it more than once.
    virtual void Push(COrvaneCanvas* pkCanvas, bool bModal);
    // A modal canvas leaves only from the front; a modeless one every time
    // it is on the list.
    virtual void Remove(COrvaneCanvas* pkCanvas);
    [[nodiscard]] virtual bool Contains(const COrvaneCanvas* pkCanvas, bool bModal) const;
    // The front modal canvas alone gets the mouse (then the close
    // requests); without one, the modeless canvases from the front until
    // one closes or the lists change.
    virtual void ProcessInput();
    // The screen point is on a canvas the input pass gives the mouse to:
    // the front modal one, or without one any modeless one.
    [[nodiscard]] bool Covers(const NiVec2& kPoint) const;
    // Modeless then modal, each back to front.
    virtual void Draw();

    [[nodiscard]] const std::list<COrvaneCanvas*>& GetModal() const { return m_kModal; }
    [[nodiscard]] const std::list<COrvaneCanvas*>& GetModeless() const { return m_kModeless; }
    [[nodiscard]] bool IsChanged() const { return m_ucChanged != 0; }

private:
    std::list<COrvaneCanvas*> m_kModal;
    std::list<COrvaneCanvas*> m_kModeless;
    std::uint8_t m_ucCloseCurrent = 0;
    std::uint8_t m_ucCloseTwo = 0;
    std::uint8_t m_ucChanged = 0;
};
