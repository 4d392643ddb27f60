#include "framework/COrvaneWidget.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "engine/render/NiScreenTexture.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
class COrvaneWidgetTest : public UiTest
{
protected:
    CWidgetDesc Desc(const std::string& kName, float fX, float fY, float fWidth, float fHeight, bool bScale = false)
    {
        CWidgetDesc kDesc;
        kDesc.m_kName = kName;
        kDesc.m_fX = fX;
        kDesc.m_fY = fY;
        kDesc.m_fWidth = fWidth;
        kDesc.m_fHeight = fHeight;
        kDesc.m_ucScaleToScreen = bScale ? 1 : 0;
        kDesc.m_pkCamera = &Camera();
        return kDesc;
    }

    void PressKey(std::uint32_t uiKey, COrvaneTextWidget& kField)
    {
        COrvaneLastKeyEvent kKey;
        kKey.m_uiKeyCode = uiKey;
        Game().RecordKeyEvent(kKey);
        kField.UpdateText();
        Game().ClearKeyEvents();
    }
};
} // namespace

TEST_F(COrvaneWidgetTest, RectanglesScaleOnlyWithTheFlag)
{
    COrvaneWidget::SetScreenScale(2.0f, 0.5f);
    COrvaneWidget kPlain;
    kPlain.SetRect(Desc("", 10.0f, 20.0f, 30.0f, 40.0f));
    EXPECT_EQ(kPlain.GetRect().m_fX, 10.0f);
    EXPECT_EQ(kPlain.GetRect().m_fHeight, 40.0f);
    COrvaneWidget kScaled;
    kScaled.SetRect(Desc("", 10.0f, 20.0f, 30.0f, 40.0f, true));
    EXPECT_EQ(kScaled.GetRect().m_fX, 20.0f);
    EXPECT_EQ(kScaled.GetRect().m_fWidth, 60.0f);
    EXPECT_EQ(kScaled.GetRect().m_fY, 10.0f);
    EXPECT_EQ(kScaled.GetRect().m_fHeight, 20.0f);

    // Bounds inclusive; no point, no hit.
    const NiVec2 kCorner(40.0f, 60.0f);
    const NiVec2 kPast(40.5f, 60.0f);
    EXPECT_TRUE(kPlain.HitTest(&kCorner));
    EXPECT_FALSE(kPlain.HitTest(&kPast));
    EXPECT_FALSE(kPlain.HitTest(nullptr));
    COrvaneWidget kUnset; // -1 everywhere: hit nowhere
    const NiVec2 kMinus(-1.0f, -1.0f);
    EXPECT_FALSE(kUnset.HitTest(&kMinus));
    kPlain.Destroy();
    EXPECT_EQ(kPlain.GetRect().m_fWidth, -1.0f);
}

TEST_F(COrvaneWidgetTest, BarsCutToTheirValueWithoutCompounding)
{
    WriteImage("bar.tga", 100, 4, 32, std::vector<std::uint8_t>(100 * 4 * 4, 200));
    COrvaneBar kBar;
    CWidgetDesc kDesc = Desc("bar.tga", 5.0f, 6.0f, 0.0f, 0.0f);
    kDesc.m_fLength = 0.5f; // below 1: the image's own width
    kBar.Create(kDesc);
    EXPECT_EQ(kBar.GetFullLength(), 100.0f);
    EXPECT_EQ(kBar.GetRect().m_fWidth, 100.0f);

    COrvaneBar kLong;
    kDesc.m_fLength = 200.0f;
    kLong.Create(kDesc);
    EXPECT_EQ(kLong.GetFullLength(), 200.0f);
    EXPECT_FLOAT_EQ(kLong.GetRect().m_fWidth, 200.0f);
    kLong.SetValue(50);
    kLong.SetValue(25);
    EXPECT_FLOAT_EQ(kLong.GetRect().m_fWidth, 50.0f); // a quarter, not an eighth
    EXPECT_FLOAT_EQ(kLong.GetFraction(), 0.25f);
    kLong.SetValue(150);
    EXPECT_FLOAT_EQ(kLong.GetRect().m_fWidth, 50.0f);
    EXPECT_TRUE(kLong.IsVisible());
    kLong.SetValue(0);
    EXPECT_FALSE(kLong.IsVisible());
    kLong.SetValue(100);
    EXPECT_TRUE(kLong.IsVisible());
    EXPECT_FLOAT_EQ(kLong.GetRect().m_fWidth, 200.0f);

    // Right-anchored bars grow leftwards from their rectangle's place.
    StartRenderer();
    kBar.SetValue(50);
    kBar.SetRightAnchored(true);
    kBar.Draw(0.0f, 0.0f);
    const NiVec3& kFirst = kBar.GetTexture().GetTiles().front().m_spPolygon->GetVertices()[0];
    EXPECT_FLOAT_EQ(kFirst.x, (2.5f - 50.0f - 0.5f) / 1024.0f);
}

TEST_F(COrvaneWidgetTest, TextFieldsTakeKeysBlinkAndStayWithinTheirWidth)
{
    WriteFont("font.txt", "abcdefghijklmnopqrstuvwxyz 0123456789", std::vector<std::uint32_t>(37, 5), 37, 7);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("font.txt", &Camera()));
    Locale().m_kFonts.push_back(&kFont);

    COrvaneTextWidget kField;
    CWidgetDesc kDesc = Desc("ab", 30.0f, 40.0f, 0.0f, 0.0f);
    kDesc.m_fLength = 20.0f; // four glyphs
    kField.Create(kDesc);
    EXPECT_EQ(kField.GetText(), "ab");
    EXPECT_TRUE(kField.HitTest(nullptr)); // a text field takes every point

    PressKey('c', kField);
    PressKey('1', kField);
    EXPECT_EQ(kField.GetText(), "abc1");
    PressKey('d', kField); // 25 pixels: dropped
    EXPECT_EQ(kField.GetText(), "abc1");
    PressKey('!', kField);
    PressKey(COrvaneKeys::KEY_F1, kField);
    EXPECT_EQ(kField.GetText(), "abc1");
    PressKey(COrvaneKeys::KEY_BACKSPACE, kField);
    PressKey(COrvaneKeys::KEY_DELETE, kField);
    EXPECT_EQ(kField.GetText(), "ab");
    PressKey(' ', kField);
    PressKey('Z', kField); // no glyph, no width: it fits
    EXPECT_STREQ(kField.GetCString(), "ab Z");
    for (int i = 0; i < 5; ++i)
        PressKey(COrvaneKeys::KEY_BACKSPACE, kField);
    EXPECT_EQ(kField.GetText(), "");

    // Twenty frames a blink; " *" shows in the first ten.
    kField.SetText("a");
    int iFrames = kField.GetBlinkCounter();
    std::vector<std::uint32_t> kDrawn;
    for (int i = 0; i < 20; ++i)
    {
        kField.UpdateText();
        ++iFrames;
        EXPECT_EQ(kField.GetBlinkCounter(), iFrames % 20);
        kFont.ResetBatches();
        kFont.BeginBatch();
        kField.DrawText(kFont, 1.0f, 2.0f);
        kDrawn.push_back(kFont.GetBatch(0)->GetNumScreenRects());
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(kDrawn[static_cast<std::size_t>(i)], (iFrames - 19 + i) % 20 < 10 ? 2u : 1u) << i; // '*' has no glyph
    EXPECT_EQ(kFont.GetBatch(0)->GetScreenRects()[0].m_sPixLeft, 31);
    EXPECT_EQ(kFont.GetBatch(0)->GetScreenRects()[0].m_sPixTop, 42);
}

TEST_F(COrvaneWidgetTest, TheCursorPictureScalesAndComesBack)
{
    WriteImage("cursor.tga", 16, 16, 32, std::vector<std::uint8_t>(16 * 16 * 4, 255));
    COrvaneMouse& kMouse = *Game().GetMouse();
    EXPECT_EQ(kMouse.GetCursorImage(), nullptr);
    ASSERT_TRUE(kMouse.LoadCursor());
    ASSERT_NE(kMouse.GetCursorImage(), nullptr);
    EXPECT_STREQ(kMouse.GetCursorImage()->GetName(), "cursor.tga");
    EXPECT_EQ(kMouse.GetCursorImage()->GetTexture().GetCamera(), &Camera());
    EXPECT_TRUE(kMouse.LoadCursor()); // already there
    kMouse.Update(NiVec2(300.0f, 300.0f));
    EXPECT_EQ(kMouse.GetCursorWidth(), 16);

    COrvaneWidget::SetScreenScale(2.0f, 1.5f);
    kMouse.SetCursorScaled(true);
    kMouse.SetCursorScaled(true); // once only
    EXPECT_FLOAT_EQ(kMouse.GetCursorImage()->GetRect().m_fWidth, 32.0f);
    EXPECT_FLOAT_EQ(kMouse.GetCursorImage()->GetRect().m_fHeight, 24.0f);
    kMouse.Update(NiVec2(301.0f, 300.0f));
    EXPECT_EQ(kMouse.GetCursorHeight(), 24);
    kMouse.SetCursorScaled(false);
    EXPECT_FLOAT_EQ(kMouse.GetCursorImage()->GetRect().m_fWidth, 16.0f);
    EXPECT_FLOAT_EQ(kMouse.GetCursorImage()->GetRect().m_fHeight, 16.0f);

    StartRenderer();
    kMouse.DrawCursor(); // hidden: nothing
    EXPECT_TRUE(Renderer().m_kScreenPolygons.empty());
    kMouse.SetCursorShown(true);
    kMouse.DrawCursor();
    EXPECT_EQ(Renderer().m_kScreenPolygons.size(), 1u);
    kMouse.Destroy();
    EXPECT_EQ(kMouse.GetCursorImage(), nullptr);
}
