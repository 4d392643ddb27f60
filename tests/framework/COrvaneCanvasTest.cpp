#include "framework/COrvaneCanvas.h"

#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneInterface.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace
{
using Event = std::pair<std::int32_t, std::int32_t>;
using Events = std::vector<Event>;

// A canvas that writes what happens to it into a shared log: its input
// passes and draws, and every widget event it is given.
class ScriptCanvas : public COrvaneCanvas
{
public:
    ScriptCanvas(std::string kName, std::vector<std::string>& kLog) : m_kName(std::move(kName)), m_kLog(kLog)
    {
        AddWidget(Rect(0.0f, 0.0f, 200.0f, 100.0f)); // background
        AddWidget(Rect(10.0f, 10.0f, 30.0f, 20.0f));
        AddWidget(Rect(50.0f, 10.0f, 30.0f, 20.0f));
        AddHotArea(Rect(10.0f, 10.0f, 30.0f, 20.0f));
    }

    static std::unique_ptr<COrvaneWidget> Rect(float fX, float fY, float fWidth, float fHeight)
    {
        CWidgetDesc kDesc;
        kDesc.m_fX = fX;
        kDesc.m_fY = fY;
        kDesc.m_fWidth = fWidth;
        kDesc.m_fHeight = fHeight;
        auto pkWidget = std::make_unique<COrvaneWidget>();
        pkWidget->SetRect(kDesc);
        return pkWidget;
    }

    void UpdateHover() override
    {
        m_kLog.push_back(m_kName + " input");
        COrvaneCanvas::UpdateHover();
        if (m_kAfterInput)
            m_kAfterInput();
    }
    void Draw() override
    {
        m_kLog.push_back(m_kName + " draw");
        COrvaneCanvas::Draw();
    }
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override
    {
        m_kEvents.emplace_back(iIndex, iEvent);
        COrvaneCanvas::OnWidgetEvent(iIndex, iEvent);
        // The game's panels act on a press and then finish the click.
        if (iEvent == EVENT_PRESSED && m_bFinishClicks)
            COrvaneInterface::GetActivePanel()->FinishClick(true);
    }
    void SetTextList(std::int16_t s) { m_sTextList = s; }

    std::string m_kName;
    std::vector<std::string>& m_kLog;
    Events m_kEvents;
    bool m_bFinishClicks = false;
    std::function<void()> m_kAfterInput;
};

class COrvaneCanvasTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        m_pkInterface = new COrvaneInterface;
        ASSERT_TRUE(COrvaneInterface::SetActivePanel(m_pkInterface));
        ASSERT_TRUE(m_pkInterface->Init());
    }

    // One frame of the game: the mouse at (x, y) in the given button state.
    void Frame(float fX, float fY, bool bDown)
    {
        COrvaneMouse& kMouse = *Game().GetMouse();
        kMouse.SetPosition(NiVec2(fX, fY));
        // Button messages come only when the button changes.
        if (bDown && !m_bDown)
            kMouse.OnLeftDown(NiVec2(fX, fY));
        if (!bDown && m_bDown)
            kMouse.OnLeftUp(0);
        m_bDown = bDown;
        kMouse.SetOverInterface(false);
        m_pkInterface->ProcessInput();
        kMouse.ClearMovement();
    }

    COrvaneStack<COrvaneCanvas*>& Stack() { return m_pkInterface->GetStack(); }

    COrvaneInterface* m_pkInterface = nullptr; // the registry owns it
    std::vector<std::string> m_kLog;
    bool m_bDown = false;
};
} // namespace

TEST_F(COrvaneCanvasTest, APressIsTakenOnceAndHeldPressesResendIt)
{
    ScriptCanvas kCanvas("panel", m_kLog);
    kCanvas.SetPosition(100.0f, 100.0f, true);
    m_pkInterface->OpenCanvas(&kCanvas, false);
    Stack().ClearRequests();

    Frame(115.0f, 115.0f, false); // over button 1 and the hot area
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 0}, {2, 1}}));
    EXPECT_EQ(kCanvas.GetHoverIndex(), 0);
    EXPECT_TRUE(Game().GetMouse()->IsOverInterface());
    EXPECT_TRUE(kCanvas.GetWidget(1)->IsVisible());
    EXPECT_FALSE(kCanvas.GetWidget(2)->IsVisible());

    kCanvas.m_kEvents.clear();
    Frame(115.0f, 115.0f, true); // the press: later widgets are skipped
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 2}}));
    EXPECT_TRUE(kCanvas.IsPressed());
    EXPECT_EQ(kCanvas.GetPendingWidget(), 1);
    EXPECT_EQ(Game().m_iWidgetPresses, 1);

    kCanvas.m_kEvents.clear();
    Frame(115.0f, 115.0f, true); // held: hover, and the press again at the end
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 0}, {2, 1}, {1, 2}}));
    EXPECT_EQ(Game().m_iWidgetPresses, 1);

    kCanvas.m_kEvents.clear();
    Frame(115.0f, 115.0f, false);
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 0}, {2, 1}}));
    EXPECT_FALSE(kCanvas.IsPressed());
    EXPECT_EQ(kCanvas.GetPendingEvent(), COrvaneCanvas::EVENT_NORMAL);

    // Only the background under the cursor: over the interface, no events for it.
    kCanvas.m_kEvents.clear();
    Frame(250.0f, 180.0f, false);
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 1}, {2, 1}}));
    EXPECT_EQ(kCanvas.GetHoverIndex(), -1);
    EXPECT_TRUE(Game().GetMouse()->IsOverInterface());
    Frame(400.0f, 180.0f, false);
    EXPECT_FALSE(Game().GetMouse()->IsOverInterface());
}

// Where a press lands is judged before the frame's input pass runs: the
// canvases must answer for a point as that pass would, edges included, and
// only the front modal canvas counts while one is open.
TEST_F(COrvaneCanvasTest, APointIsCoveredWhereThePassCountsTheMouseOverTheInterface)
{
    ScriptCanvas kPanel("panel", m_kLog);
    kPanel.SetPosition(100.0f, 100.0f, true);
    ScriptCanvas kDialog("dialog", m_kLog);
    kDialog.SetPosition(500.0f, 400.0f, true);
    m_pkInterface->OpenCanvas(&kPanel, false);
    Stack().ClearRequests();
    const NiVec2 akPoints[] = {{115.0f, 115.0f}, {100.0f, 100.0f}, {299.0f, 199.0f}, {300.0f, 200.0f},
                               {99.0f, 150.0f},  {250.0f, 180.0f}, {400.0f, 180.0f}, {550.0f, 450.0f},
                               {301.0f, 150.0f}, {0.0f, 0.0f}};
    for (const NiVec2& kPoint : akPoints)
    {
        SCOPED_TRACE(testing::Message() << kPoint.x << ", " << kPoint.y);
        Frame(kPoint.x, kPoint.y, false);
        EXPECT_EQ(kPanel.Covers(kPoint), Game().GetMouse()->IsOverInterface());
        EXPECT_EQ(Stack().Covers(kPoint), Game().GetMouse()->IsOverInterface());
    }
    EXPECT_TRUE(Stack().Covers(NiVec2(115.0f, 115.0f)));
    EXPECT_FALSE(Stack().Covers(NiVec2(550.0f, 450.0f)));

    // A modal canvas takes the mouse alone: the panel under it no longer counts.
    m_pkInterface->OpenCanvas(&kDialog, true);
    Stack().ClearRequests();
    EXPECT_TRUE(Stack().Covers(NiVec2(550.0f, 450.0f)));
    EXPECT_FALSE(Stack().Covers(NiVec2(115.0f, 115.0f)));
    Frame(115.0f, 115.0f, false);
    EXPECT_FALSE(Game().GetMouse()->IsOverInterface());
    Stack().Remove(&kDialog);
    Stack().Remove(&kPanel);
    EXPECT_FALSE(Stack().Covers(NiVec2(115.0f, 115.0f)));
}

TEST_F(COrvaneCanvasTest, FinishingTheClickDeliversThePressExactlyOnce)
{
    ScriptCanvas kCanvas("panel", m_kLog), kBehind("behind", m_kLog);
    kCanvas.m_bFinishClicks = true;
    m_pkInterface->OpenCanvas(&kBehind, false);
    m_pkInterface->OpenCanvas(&kCanvas, false);
    Frame(60.0f, 15.0f, false);
    kCanvas.m_kEvents.clear();
    m_kLog.clear();
    Frame(60.0f, 15.0f, true);
    EXPECT_EQ(kCanvas.m_kEvents, (Events{{1, 1}, {2, 2}}));
    // The finished click ended the walk: the canvas behind saw nothing of it.
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"panel input"}));
    EXPECT_FALSE(Stack().IsChanged());
    EXPECT_EQ(Game().GetMouse()->GetLeft(), COrvaneMouse::BUTTON_IDLE); // released, then cleared
    kCanvas.m_kEvents.clear();
    Frame(60.0f, 15.0f, true); // the button is still down, but the click is used
    Frame(60.0f, 15.0f, true);
    Frame(60.0f, 15.0f, false);
    for (const Event& kEvent : kCanvas.m_kEvents)
        EXPECT_NE(kEvent.second, COrvaneCanvas::EVENT_PRESSED);
}

TEST_F(COrvaneCanvasTest, EventsColourAndShowOnlyTheOverlays)
{
    ScriptCanvas kCanvas("panel", m_kLog);
    kCanvas.OnWidgetEvent(0, COrvaneCanvas::EVENT_NORMAL); // the background stays
    EXPECT_TRUE(kCanvas.GetWidget(0)->IsVisible());
    kCanvas.OnWidgetEvent(3, COrvaneCanvas::EVENT_NORMAL);
    kCanvas.OnWidgetEvent(-1, COrvaneCanvas::EVENT_NORMAL);
    kCanvas.OnWidgetEvent(2, COrvaneCanvas::EVENT_NORMAL);
    EXPECT_FALSE(kCanvas.GetWidget(2)->IsVisible());
    kCanvas.OnWidgetEvent(2, 7);
    EXPECT_FALSE(kCanvas.GetWidget(2)->IsVisible());
    kCanvas.OnWidgetEvent(2, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_TRUE(kCanvas.GetWidget(2)->IsVisible());

    kCanvas.SetWidgetTextId(2, 7);
    kCanvas.SetWidgetTextId(2, -3);
    kCanvas.SetWidgetTextId(3, 9);
    EXPECT_EQ(kCanvas.GetWidget(2)->GetTextId(), 7);
    EXPECT_EQ(kCanvas.GetWidgetRect(3), nullptr);
    ASSERT_NE(kCanvas.GetWidgetRect(1), nullptr);
    EXPECT_EQ(kCanvas.GetWidgetRect(1)->m_fX, 10.0f);
    kCanvas.SetPosition(5.0f, 6.0f, false);
    kCanvas.SetPosition(5.0f, 6.0f, false);
    EXPECT_EQ(kCanvas.GetY(), 12.0f);

    COrvaneWidget* pkMiddle = kCanvas.GetWidget(1);
    std::unique_ptr<COrvaneWidget> pkTaken = kCanvas.RemoveWidget(pkMiddle);
    EXPECT_EQ(pkTaken.get(), pkMiddle);
    EXPECT_EQ(kCanvas.GetWidgetCount(), 2);
    EXPECT_EQ(kCanvas.GetWidget(1)->GetRect().m_fX, 50.0f); // order kept
    EXPECT_EQ(kCanvas.RemoveWidget(pkMiddle), nullptr);
    kCanvas.Destroy();
    kCanvas.Destroy(); // safe to repeat
    EXPECT_EQ(kCanvas.GetWidgetCount(), 0);
    EXPECT_EQ(kCanvas.GetHotAreaCount(), 0);
}

TEST_F(COrvaneCanvasTest, TheStackWalksDrawsAndClosesInItsOrder)
{
    ScriptCanvas kA("A", m_kLog), kB("B", m_kLog), kC("C", m_kLog), kM1("M1", m_kLog), kM2("M2", m_kLog);
    Stack().Push(&kA, false);
    Stack().Push(&kB, false);
    Stack().Push(&kC, false);
    // The pushes left the changed flag: this walk ends after the front.
    Frame(0.0f, 0.0f, false);
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"C input"}));
    m_kLog.clear();
    Frame(0.0f, 0.0f, false);
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"C input", "B input", "A input"}));

    // B closes itself: removed, and A gets no input this frame.
    kB.m_kAfterInput = [this] { Stack().RequestCloseCurrent(); };
    m_kLog.clear();
    Frame(0.0f, 0.0f, false);
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"C input", "B input"}));
    EXPECT_FALSE(Stack().Contains(&kB, false));
    EXPECT_EQ(Stack().GetModeless().size(), 2u);
    Stack().ClearRequests();

    // Duplicates are kept and removed together.
    Stack().Push(&kA, false);
    EXPECT_EQ(Stack().GetModeless().size(), 3u);
    Stack().RemoveModeless(&kA);
    EXPECT_EQ(Stack().GetModeless(), (std::list<COrvaneCanvas*>{&kC}));

    // Two modal canvases: only the later one gets input and it is drawn last.
    Stack().Push(&kA, false);
    Stack().Push(&kM1, true);
    Stack().Push(&kM2, true);
    m_kLog.clear();
    Frame(0.0f, 0.0f, false);
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"M2 input"}));
    EXPECT_TRUE(Stack().IsChanged()); // the modal branch leaves the flag alone
    m_kLog.clear();
    m_pkInterface->Draw();
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"C draw", "A draw", "M1 draw", "M2 draw"}));
    EXPECT_FALSE(m_pkInterface->CanTakeInput(&kA));
    EXPECT_FALSE(m_pkInterface->CanTakeInput(&kM1));
    EXPECT_TRUE(m_pkInterface->CanTakeInput(&kM2));
    Stack().Remove(&kM1); // not at the front: stays
    EXPECT_EQ(Stack().GetModal().size(), 2u);
    EXPECT_TRUE(Stack().Contains(&kM1, true));
    EXPECT_FALSE(Stack().Contains(&kM1, false));

    // Close-two takes both modal canvases.
    Stack().RequestCloseTwo();
    Frame(0.0f, 0.0f, false);
    EXPECT_FALSE(Stack().HasModal());
    EXPECT_TRUE(m_pkInterface->CanTakeInput(&kA));

    Stack().Toggle(&kA, false);
    EXPECT_FALSE(Stack().Contains(&kA, false));
    Stack().Toggle(&kA, false);
    EXPECT_TRUE(Stack().Contains(&kA, false));
    Stack().Clear();
    EXPECT_TRUE(Stack().IsEmpty());
}

TEST_F(COrvaneCanvasTest, CloseTwoWithOneModalStopsAtTheEmptyList)
{
    ScriptCanvas kOnly("M", m_kLog), kBelow("A", m_kLog);
    Stack().Push(&kBelow, false);
    Stack().Push(&kOnly, true);
    Stack().RequestCloseTwo();
    Frame(0.0f, 0.0f, false);
    EXPECT_FALSE(Stack().HasModal());
    EXPECT_EQ(Stack().GetModeless().size(), 1u); // nothing below is touched
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"M input"}));
    m_kLog.clear();
    Stack().ClearRequests();
    Frame(0.0f, 0.0f, false);
    EXPECT_EQ(m_kLog, (std::vector<std::string>{"A input"}));
}

TEST_F(COrvaneCanvasTest, HoverTextsReachTheInterfaceFromCanvasesThatMayTakeInput)
{
    ScriptCanvas kCanvas("panel", m_kLog), kModal("modal", m_kLog);
    kCanvas.SetTextList(4);
    Stack().Push(&kCanvas, false);
    Stack().ClearRequests();
    Frame(15.0f, 15.0f, false);
    ASSERT_EQ(kCanvas.GetHoverIndex(), 0);
    kCanvas.Draw();
    EXPECT_EQ(m_pkInterface->GetHoverTextList(), 4);
    EXPECT_EQ(m_pkInterface->GetHoverTextIndex(), 0);

    m_pkInterface->SetHoverText(6, -1);
    EXPECT_EQ(m_pkInterface->GetHoverTextList(), 6);
    EXPECT_EQ(m_pkInterface->GetHoverTextIndex(), 0);

    Stack().Push(&kModal, true);
    m_pkInterface->SetHoverText(1, 2);
    kCanvas.Draw(); // a modal canvas is open: no tool-tip from below
    EXPECT_EQ(m_pkInterface->GetHoverTextList(), 1);
    EXPECT_EQ(m_pkInterface->GetHoverTextIndex(), 2);
}

TEST_F(COrvaneCanvasTest, OneInterfaceIsRegisteredAtATime)
{
    EXPECT_TRUE(m_pkInterface->HasState());
    auto* pkSecond = new COrvaneInterface;
    EXPECT_EQ(pkSecond->Register(), m_pkInterface);
    EXPECT_FALSE(COrvaneInterface::SetActivePanel(pkSecond));
    COrvaneInterface::ReleaseActivePanel();
    EXPECT_EQ(COrvaneInterface::GetActivePanel(), nullptr);
    COrvaneInterface::ReleaseActivePanel(); // nothing registered: nothing happens
    EXPECT_EQ(pkSecond->Register(), pkSecond);
    EXPECT_EQ(pkSecond->GetInstance(), pkSecond);
    pkSecond->Destroy();
    EXPECT_FALSE(pkSecond->HasState());
    EXPECT_EQ(pkSecond->GetHoverTextIndex(), -1);
}

TEST_F(COrvaneCanvasTest, OverlayImagesTurnWhiteOrGreenWithTheirEvents)
{
    WriteImage("overlay.tga", 4, 4, 32, std::vector<std::uint8_t>(4 * 4 * 4, 255));
    COrvaneCanvas kCanvas;
    for (int i = 0; i < 2; ++i)
    {
        auto pkImage = std::make_unique<COrvaneImage>();
        CWidgetDesc kDesc;
        kDesc.m_kName = "overlay.tga";
        pkImage->Create(kDesc);
        kCanvas.AddWidget(std::move(pkImage));
    }
    auto Colour = [&](std::int32_t i) {
        const auto* pkImage = static_cast<const COrvaneImage*>(kCanvas.GetWidget(i));
        return pkImage->GetTexture().GetTiles().front().m_spPolygon->GetColors()[0];
    };
    kCanvas.OnWidgetEvent(1, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(Colour(1), NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
    EXPECT_TRUE(kCanvas.GetWidget(1)->IsVisible());
    kCanvas.OnWidgetEvent(1, COrvaneCanvas::EVENT_HOVER);
    EXPECT_EQ(Colour(1), NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    kCanvas.OnWidgetEvent(0, COrvaneCanvas::EVENT_PRESSED); // the background never changes
    EXPECT_EQ(Colour(0), NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    kCanvas.SetWidgetColor(NiColorRGBA(0.5f, 0.5f, 0.5f, 1.0f));
    EXPECT_EQ(Colour(0), NiColorRGBA(0.5f, 0.5f, 0.5f, 1.0f));
    Stack().Push(&kCanvas, false);
    Stack().SetColorAll(NiColorRGBA(0.25f, 0.5f, 0.5f, 1.0f));
    EXPECT_EQ(Colour(1), NiColorRGBA(0.25f, 0.5f, 0.5f, 1.0f));
}
