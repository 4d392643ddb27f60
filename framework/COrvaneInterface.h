#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <memory>

// Base of the game's interface: the stack of open panels, the tool-tip
// selection the canvases report while drawing, and the registration of the
// one interface instance.
class COrvaneInterface
{
public:
    COrvaneInterface();
    virtual ~COrvaneInterface();
    COrvaneInterface(const COrvaneInterface&) = delete;
    COrvaneInterface& operator=(const COrvaneInterface&) = delete;

    virtual void Destroy();
    virtual void Draw() { m_kStack.Draw(); }
    // True without a modal canvas, or for the top modal canvas.
    [[nodiscard]] virtual bool CanTakeInput(const COrvaneCanvas* pkCanvas) const;
    virtual void OpenCanvas(COrvaneCanvas* pkCanvas, bool bModal) { m_kStack.Push(pkCanvas, bModal); }
    // A negative index keeps the previous one.
    virtual void SetHoverText(std::int16_t sList, std::int16_t sIndex);
    virtual void ProcessInput() { m_kStack.ProcessInput(); }
    virtual bool Init();
    virtual void Release() { Destroy(); }
    virtual void Reset();
    // The registered interface (the derived interface may answer otherwise).
    [[nodiscard]] virtual COrvaneInterface* GetInstance() const { return GetActivePanel(); }
    // Registers this interface when none is; the registered one.
    virtual COrvaneInterface* Register();

    // Ends the modeless input walk after the canvas handling input; with
    // the flag the game's mouse also gets a left-button release, so the
    // click is not seen again.
    void FinishClick(bool bReleaseButton);

    // The registry owns what it holds: a new interface is taken when none
    // is registered (true), else left to the caller (false).
    static bool SetActivePanel(COrvaneInterface* pkInterface);
    // Deletes the registered interface, if any.
    static void ReleaseActivePanel();
    [[nodiscard]] static COrvaneInterface* GetActivePanel();

    [[nodiscard]] COrvaneStack<COrvaneCanvas*>& GetStack() { return m_kStack; }
    [[nodiscard]] const COrvaneStack<COrvaneCanvas*>& GetStack() const { return m_kStack; }
    [[nodiscard]] std::int16_t GetHoverTextIndex() const { return m_sHoverIndex; }
    [[nodiscard]] std::int16_t GetHoverTextList() const { return static_cast<std::int16_t>(m_usHoverList); }
    [[nodiscard]] bool HasState() const { return m_pucState != nullptr; }

protected:
    // Nothing hovered: index -1 and the given list.
    void ClearHoverText(std::uint16_t usList)
    {
        m_sHoverIndex = -1;
        m_usHoverList = usList;
    }

private:
    std::unique_ptr<std::uint8_t> m_pucState;
    std::int16_t m_sHoverIndex = -1;
    std::int16_t m_sReserved1 = -1;
    std::uint16_t m_usHoverList = 0xFFFF;
    std::int16_t m_sReserved2 = -1;
    std::int16_t m_sReserved3 = -1;
    std::uint32_t m_uiCounter1 = 0;
    std::uint32_t m_uiCounter2 = 0;
    COrvaneStack<COrvaneCanvas*> m_kStack;
};
