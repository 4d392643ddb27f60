// A name typed into the save panel's field arrives whole however quickly it
// is typed: every key released within one frame goes into the field, in
// order, through the window's input (the keys go into SDL's queue as a
// keyboard puts them there). A quick typist of any of the game's three
// languages releases several keys a frame.

#include "tests/game/support/CPlayScript.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneSystem.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CFilePanel.h"
#include "game/shell/ui/CInterface.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/platform/os/OsInputInjection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace
{
// The keys that carry umlauts and accents on German and French keyboards
// (ü and the circumflex, ö, ä and ù, ß) give the punctuation of their place
// in the key table ('[', ';', '\'', '-'): the field takes letters, digits and
// the space only, so it refuses them; the keys around them still arrive.
constexpr std::uint8_t SCAN_U_UMLAUT_OR_CIRCUMFLEX = 0x1A;
constexpr std::uint8_t SCAN_O_UMLAUT = 0x27;
constexpr std::uint8_t SCAN_A_UMLAUT_OR_U_GRAVE = 0x28;
constexpr std::uint8_t SCAN_SHARP_S = 0x0C;

std::uint8_t ScanOf(char c)
{
    static const char* const ROWS[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const std::uint8_t FIRST[] = {0x02, 0x10, 0x1E, 0x2C};
    if (c == ' ')
        return CPlayScript::SCAN_SPACE;
    for (std::size_t r = 0; r < std::size(ROWS); ++r)
        for (std::size_t i = 0; ROWS[r][i] != '\0'; ++i)
            if (ROWS[r][i] == c)
                return static_cast<std::uint8_t>(FIRST[r] + i);
    ADD_FAILURE() << "no key for " << c;
    return 0;
}

std::vector<std::uint8_t> Keys(const std::string& kText)
{
    std::vector<std::uint8_t> kKeys;
    for (const char c : kText)
        kKeys.push_back(ScanOf(c));
    return kKeys;
}

class TypedNameTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

TEST_F(TypedNameTest, EveryKeyOfAFrameReachesTheSaveNameInOrder)
{
    CPlayScript kScript(17);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    CInterface* pkInterface = CInterface::Get();
    ASSERT_NE(pkInterface, nullptr);
    pkInterface->OpenPanel(CInterface::PANEL_SAVE);
    auto* pkPanel = dynamic_cast<CFilePanel*>(pkInterface->GetPanel(CInterface::PANEL_SAVE));
    ASSERT_NE(pkPanel, nullptr);
    kScript.Frame();
    const os::WindowHandle hWindow = os::GetMainWindow();

    struct Typed
    {
        const char* pcLanguage;
        std::string kBefore;
        std::vector<std::uint8_t> kKeys; // released in one frame
        std::string kAfter;
    };
    std::vector<Typed> kCases;
    // The save of the fault found: "t8b" over "t8a" kept only "t8a8b".
    {
        std::vector<std::uint8_t> kKeys(3, CPlayScript::SCAN_BACKSPACE);
        for (const std::uint8_t uc : Keys("t8b"))
            kKeys.push_back(uc);
        kCases.push_back({"English", "t8a", kKeys, "t8b"});
    }
    {
        std::vector<std::uint8_t> kKeys = Keys("zelle");
        for (const std::uint8_t uc : {SCAN_U_UMLAUT_OR_CIRCUMFLEX, SCAN_O_UMLAUT, SCAN_A_UMLAUT_OR_U_GRAVE, SCAN_SHARP_S})
            kKeys.push_back(uc);
        for (const std::uint8_t uc : Keys(" 12"))
            kKeys.push_back(uc);
        kCases.push_back({"German", "", kKeys, "zelle 12"});
    }
    {
        std::vector<std::uint8_t> kKeys = Keys("cel");
        kKeys.push_back(SCAN_A_UMLAUT_OR_U_GRAVE);
        for (const std::uint8_t uc : Keys("lule"))
            kKeys.push_back(uc);
        kKeys.push_back(SCAN_U_UMLAUT_OR_CIRCUMFLEX);
        for (const std::uint8_t uc : Keys(" 3"))
            kKeys.push_back(uc);
        kCases.push_back({"French", "", kKeys, "cellule 3"});
    }
    for (const Typed& kCase : kCases)
    {
        SCOPED_TRACE(kCase.pcLanguage);
        pkPanel->SetTypedName(kCase.kBefore);
        ASSERT_EQ(pkPanel->GetTypedName(), kCase.kBefore);
        for (const std::uint8_t ucKey : kCase.kKeys)
        {
            ASSERT_TRUE(ostest::InjectScanCode(hWindow, ucKey, false, true));
            ASSERT_TRUE(ostest::InjectScanCode(hWindow, ucKey, false, false));
        }
        kScript.Frame();
        EXPECT_EQ(pkPanel->GetTypedName(), kCase.kAfter);
        // The frame's keys are gone with it: the next frame types nothing.
        kScript.Frame();
        EXPECT_EQ(pkPanel->GetTypedName(), kCase.kAfter);
    }
    // The rest of the game reads the frame's last key as before.
    ASSERT_TRUE(ostest::InjectScanCode(hWindow, ScanOf('q'), false, true));
    ASSERT_TRUE(ostest::InjectScanCode(hWindow, ScanOf('q'), false, false));
    ASSERT_TRUE(ostest::InjectScanCode(hWindow, ScanOf('w'), false, true));
    ASSERT_TRUE(ostest::InjectScanCode(hWindow, ScanOf('w'), false, false));
    bool bQuit = false;
    (void)COrvaneApplication::Get()->GetSystem()->PumpMessages(hWindow, bQuit);
    COrvaneApplication::Get()->GetWindow()->DispatchInputEvents();
    EXPECT_EQ(kScript.Game().GetLastKeyEvent().m_uiKeyCode, static_cast<std::uint32_t>('w'));
    ASSERT_EQ(kScript.Game().GetFrameKeys().GetEvents().size(), 2u);
    EXPECT_EQ(kScript.Game().GetFrameKeys().GetEvents()[0].m_uiKeyCode, static_cast<std::uint32_t>('q'));
    kScript.Game().Update(CPlayScript::FRAME);
    EXPECT_EQ(kScript.Game().GetLastKeyEvent().m_uiKeyCode, 0u);
    EXPECT_TRUE(kScript.Game().GetFrameKeys().GetEvents().empty());
    EXPECT_TRUE(kScript.Boxes().empty());
}
} // namespace
