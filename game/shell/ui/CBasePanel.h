#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <memory>
#include <vector>

class CChildPanel;
class COrvaneTagTree;

// A top-level in-game panel: widget 1 is its title bar (drag handle),
// widget 2 its close button, and it owns a row of child panels that get the
// mouse before its own widgets while the pointer is not on one of those.
class CBasePanel : public COrvaneCanvas
{
public:
    static constexpr std::int32_t WIDGET_TITLE = 1;
    static constexpr std::int32_t WIDGET_CLOSE = 2;

    CBasePanel();
    ~CBasePanel() override;

    // The children go, then the widgets.
    void Destroy() override;
    // Only the children-input flag: the widgets stay.
    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    // Active children first while the flag is set, then the own widgets.
    void UpdateHover() override;
    // Its own widgets and those of its active children.
    [[nodiscard]] bool Covers(const NiVec2& kPoint) const override;
    // The canvas, then every active child.
    void Draw() override;

    // Called when the panel is closed.
    virtual void Close() {}
    // Every child populates itself from the data; true.
    virtual bool Populate(COrvaneTagTree* pkData, bool bRecreate);
    // A child reports a choice (its index, a value, the event).
    virtual void OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent);

    // Takes the child, gives it this parent and the next index.
    CChildPanel* AttachChild(std::unique_ptr<CChildPanel> pkChild);
    void DeleteChildren();
    [[nodiscard]] std::int32_t GetChildCount() const { return static_cast<std::int32_t>(m_kChildren.size()); }
    [[nodiscard]] CChildPanel* GetChild(std::int32_t iIndex) const;
    [[nodiscard]] bool ChildrenTakeInput() const { return m_ucChildrenInput != 0; }

protected:
    // The title-bar drag by this frame's mouse movement, kept on screen and
    // off the main panel; the children move along.
    void Drag();
    // The screen point is on one of its own widgets past the background.
    [[nodiscard]] bool OwnButtonAt(const NiVec2& kPoint) const;

private:
    std::uint8_t m_ucChildrenInput = 1;
    // During the own widgets' scan: whether one of them has the pointer.
    bool m_bScanning = false;
    bool m_bScanHover = false;
    std::vector<std::unique_ptr<CChildPanel>> m_kChildren;
};

// A canvas inside a base panel, switched on and off by it; only active
// children are drawn and get the mouse.
class CChildPanel : public COrvaneCanvas
{
public:
    CChildPanel();
    ~CChildPanel() override;

    void Destroy() override;
    // Unattached and inactive; the widgets stay.
    void Reset() override;

    // A choice the parent passes down.
    virtual void OnParentEvent(CBasePanel* pkParent, std::int32_t iValue, std::int32_t iEvent);
    virtual bool Populate(COrvaneTagTree* pkData);
    virtual void Show() { m_ucActive = 1; }
    virtual void Hide() { m_ucActive = 0; }

    void Attach(CBasePanel* pkParent, std::int32_t iIndex);
    [[nodiscard]] CBasePanel* GetParent() const { return m_pkParent; }
    [[nodiscard]] std::int32_t GetChildIndex() const { return m_iChildIndex; }
    [[nodiscard]] bool IsActive() const { return m_ucActive != 0; }

private:
    CBasePanel* m_pkParent = nullptr; // link: the parent owns this child
    std::int32_t m_iChildIndex = 0;
    std::uint8_t m_ucActive = 0;
};
