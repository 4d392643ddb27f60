#include "game/shell/CGame.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/SaveNames.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
// Two levels, both empty scenes; the prison's templates for level 0.
const char* const SETTINGS = "<Game_Data>\r\n<Game_type>\r\nNormal\r\n<Normal>\r\n0\r\n</Normal>\r\n</Game_type>\r\n"
                             "</Game_Data>\r\n<Level_Data>\r\n<0>\r\n</0>\r\n<1>\r\n</1>\r\n</Level_Data>\r\n";
const char* const DATA = "<TEMPLATES>\r\n<PRISON1>\r\n<BUILDINGS>\r\n<plans>\r\n"
                         "<crate>\r\nprison1/crate/crate.nif\r\n</crate>\r\n"
                         "<guard>\r\nprison1/guard/guard.nif\r\n</guard>\r\n"
                         "</plans>\r\n</BUILDINGS>\r\n</PRISON1>\r\n</TEMPLATES>\r\n";
const char* const CRATE = "prison1/crate/crate.nif|Scene Root";
const char* const GUARD = "prison1/guard/guard.nif|Scene Root";

// A saving object with a footprint, and one without.
class Crate : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 7; }
};

class Walker : public COrvaneGridEntity
{
public:
    std::int32_t GetEntityKind() const override { return 3; }
};

void WriteModel(const std::string& kPath)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Model");
    spTop->AttachChild(spModel);
    kStream.InsertTopObject(spTop);
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

class CSaveGameTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        CDynamicObjectManager::DestroyInstance();
        WriteFileBytes("setup.xml", SETTINGS);
        WriteFileBytes("cursor.tga", TinyTgaBytes());
        WriteFileBytes("data.xml", DATA);
        WriteModel("prison1/crate/crate.nif");
        WriteModel("prison1/guard/guard.nif");
        std::filesystem::create_directory("maps");
        COrvaneApplication::LoadSettings();
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return 1;
        });
    }
    void TearDown() override
    {
        os::ResetMessageBoxHook();
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        CDynamicObjectManager::DestroyInstance();
        EngineFrameworkTest::TearDown();
    }

    // A started game in level 0 at 14:00 on day 2 with a crate, a walker,
    // conditions and a few ledger values.
    void StartLevel(CGame& kGame)
    {
        ASSERT_TRUE(kGame.Init("Orvane Game"));
        ASSERT_TRUE(kGame.Start());
        kGame.GetFrontEndScreens()->m_bStartNewGame = false;
        CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
        static_cast<CGameObjectFactory*>(pkRegistry->FactoryNamed("CellFactory"))
            ->SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<Crate>(); });
        static_cast<CGameObjectFactory*>(pkRegistry->FactoryNamed("SecurityGuardFactory"))
            ->SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<Walker>(); });
        kGame.GetGameClock().m_fMinutes = 840.25f;
        kGame.LoadLevelData();
        kGame.GetGameClock().m_usDay = 2;
        Make("CellFactory", CRATE, NiVec3(4.5f, 0.0f, -2.25f));
        Make("SecurityGuardFactory", GUARD, NiVec3(1.0f, 0.0f, 1234567.0f));
        kGame.GetConditions()->SetScenario(3);
        kGame.GetConditions()->AddGoal(CCondition{1, 1, 20});
        kGame.GetConditions()->AddGoal(CCondition{12, 0, 3});
        kGame.GetConditions()->AddFailure(CCondition{0, 0, -5000});
        pkRegistry->GetStatistics()->m_iStartingFunds = 77777;
        kGame.SetPersonCounter(41);
        kGame.StepSimulation(0.05f);
    }

    static void Make(const char* pcFactory, const char* pcTemplate, const NiVec3& kAt)
    {
        CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkRegistry->FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        COrvaneObject* pkObject = pkRegistry->CreateObject(pkRegistry->FindFactory(pcFactory, nullptr), kDesc);
        ASSERT_NE(pkObject, nullptr);
        pkObject->SetPosition(kAt, 0);
        pkObject->Update(0.0f);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
    }

    static std::vector<std::string> Lines(const std::string& kBytes)
    {
        std::vector<std::string> kLines;
        std::size_t uiStart = 0;
        while (uiStart < kBytes.size())
        {
            const std::size_t uiEnd = kBytes.find("\r\n", uiStart);
            kLines.push_back(kBytes.substr(uiStart, uiEnd - uiStart));
            uiStart = uiEnd == std::string::npos ? kBytes.size() : uiEnd + 2;
        }
        return kLines;
    }

    std::vector<std::string> m_kBoxes;
};

TEST_F(CSaveGameTest, ASaveLoadedAndSavedAgainIsTheSameFile)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/first.fds"));
    EXPECT_FALSE(std::filesystem::exists("maps/first.fds.tmp"));
    const std::string kFirst = ReadFileBytes("maps/first.fds");
    const std::vector<std::string> kLines = Lines(kFirst);
    ASSERT_GE(kLines.size(), 28u);
    EXPECT_EQ(std::vector<std::string>(kLines.begin(), kLines.begin() + 2),
              (std::vector<std::string>{"<VERSION>", "1"}));
    EXPECT_EQ(kLines[2], CGame::BuildTime());
    EXPECT_EQ(kLines[3], CGame::BuildDate());
    EXPECT_EQ(std::vector<std::string>(kLines.begin() + 4, kLines.begin() + 23),
              (std::vector<std::string>{"</VERSION>", "<WORLD>", "0", "41", "<CONDITIONS>", "3", "1,1,20,12,0,3",
                                        "0,0,-5000", "</CONDITIONS>", "<TIME>", "2005,0,2,0", "840.3", "840.25",
                                        "0", "0", "0.05", "</TIME>", "<UPGRADE_LEVEL>", "0"}));
    EXPECT_EQ(kLines[25], "<OBJECTS>");

    // Somewhere else in between: another day, no objects.
    kGame.ResetGame();
    kGame.GetGameClock().m_fMinutes = 700.0f;
    kGame.LoadLevelData();
    ASSERT_TRUE(kGame.LoadGame("maps/first.fds"));
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    // Seen from the level's start view.
    ASSERT_NE(kGame.GetCamera(), nullptr);
    ASSERT_NE(kGame.GetCamera()->GetEngineCamera(), nullptr);
    EXPECT_EQ(kGame.GetCamera()->GetEngineCamera()->GetTranslate(), NiVec3(104.0f, 13.0f, -30.0f));
    EXPECT_EQ(CDynamicObjectManager::GetInstance()->GetLiveCount(), 2u);
    EXPECT_EQ(kGame.GetSaveVersion(), 1);
    EXPECT_EQ(kGame.GetLoadedBuildDate(), CGame::BuildDate());
    EXPECT_EQ(kGame.GetPersonCounter(), 41);
    ASSERT_TRUE(kGame.SaveGame("maps/second.fds"));
    EXPECT_EQ(ReadFileBytes("maps/second.fds"), kFirst);
    EXPECT_TRUE(m_kBoxes.empty());
}

TEST_F(CSaveGameTest, SectionsAreFoundFromTheTopAndMissingOnesAreSkipped)
{
    CGame kGame;
    StartLevel(kGame);
    kGame.SetSaveVersion(9);

    // No version: version 0. Both exponent styles. A short clock line has
    // zeros for the rest. The first "<TIME>" line wins.
    WriteFileBytes("maps/hand.fds", "<WORLD>\r\n0\r\n7\r\n</WORLD>\r\n<TIME>\r\n2005,1\r\n600\r\n599.5\r\n"
                                    "1.23457e+006\r\n0.05\r\n1.5e+06\r\n</TIME>\r\n<TIME>\r\n2005,3,3,0\r\n"
                                    "700\r\n700\r\n1\r\n1\r\n1\r\n");
    ASSERT_TRUE(kGame.LoadGame("maps/hand.fds"));
    EXPECT_EQ(kGame.GetSaveVersion(), 0);
    EXPECT_EQ(kGame.GetGameClock().m_sYearOffset, 1);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 0);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, 600.0f);
    EXPECT_EQ(kGame.GetFrameTimes().m_fTotalTime, 1234570.0f);
    EXPECT_EQ(kGame.GetGameTime(), 1500000.0f);
    EXPECT_EQ(kGame.GetPersonCounter(), 7);
    // No conditions section: the lists stay as the reset left them.
    EXPECT_TRUE(kGame.GetConditions()->GetGoals().empty());
    EXPECT_EQ(CDynamicObjectManager::GetInstance()->GetLiveCount(), 0u);

    // Saved at 23:30 on day 3: 06:00 of day 0, one year on.
    WriteFileBytes("maps/late.fds", "<TIME>\r\n2005,0,3,0\r\n1410\r\n1409\r\n1\r\n0.05\r\n1\r\n");
    ASSERT_TRUE(kGame.LoadGame("maps/late.fds"));
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, 360.0f);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 0);
    EXPECT_EQ(kGame.GetGameClock().m_sYearOffset, 1);
    EXPECT_EQ(kGame.GetGameClock().m_usYear, 2005);

    // Nothing to open: false, nothing reset, no box.
    Make("CellFactory", CRATE, NiVec3(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(kGame.LoadGame(""));
    EXPECT_FALSE(kGame.LoadGame("maps/none.fds"));
    EXPECT_EQ(CDynamicObjectManager::GetInstance()->GetLiveCount(), 1u);
    EXPECT_TRUE(m_kBoxes.empty());
}

// A load keeps the saved day and year offset; a save from the night (after
// 22:00 or before 06:00) opens on the next morning, the year turning after
// the year's last day.
TEST_F(CSaveGameTest, ALoadKeepsTheSavedDayAndYearAndANightSaveOpensOnTheNextMorning)
{
    CGame kGame;
    StartLevel(kGame);
    struct Case
    {
        const char* pcClock;
        const char* pcMinutes;
        std::uint16_t usDay;
        std::int16_t sOffset;
        float fMinutes;
    };
    const Case akCases[] = {
        {"2005,2,1,0", "600", 1, 2, 600.0f},     // by day: as saved
        {"2005,2,1,0", "1320", 1, 2, 1320.0f},   // 22:00 is still the day
        {"2005,2,1,0", "1350.5", 2, 2, 360.0f},  // after 22:00: the next morning
        {"2005,2,1,0", "180", 2, 2, 360.0f},     // before 06:00: the next morning
        {"2005,0,2,0", "1439", 3, 0, 360.0f},
        {"2005,0,3,0", "359.5", 0, 1, 360.0f},   // past the year's last day
        {"2005,1,0,1", "360", 0, 1, 360.0f},     // 06:00 itself: as saved
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(testing::Message() << kCase.pcClock << " at " << kCase.pcMinutes);
        WriteFileBytes("maps/clock.fds", std::string("<TIME>\r\n") + kCase.pcClock + "\r\n" + kCase.pcMinutes +
                                             "\r\n0\r\n1\r\n0.05\r\n1\r\n</TIME>\r\n");
        ASSERT_TRUE(kGame.LoadGame("maps/clock.fds"));
        EXPECT_EQ(kGame.GetGameClock().m_usDay, kCase.usDay);
        EXPECT_EQ(kGame.GetGameClock().m_sYearOffset, kCase.sOffset);
        EXPECT_EQ(kGame.GetGameClock().m_fMinutes, kCase.fMinutes);
        EXPECT_EQ(kGame.GetGameClock().m_usYear, 2005);
    }
    EXPECT_TRUE(m_kBoxes.empty());
}

TEST_F(CSaveGameTest, ADamagedSaveChangesNothingAndNamesItsLine)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/good.fds"));
    const std::string kGood = ReadFileBytes("maps/good.fds");
    const std::vector<std::string> kLines = Lines(kGood);
    ASSERT_TRUE(kGame.SaveGame("maps/before.fds"));
    const std::string kBefore = ReadFileBytes("maps/before.fds");

    const auto Refused = [&](const std::string& kBytes, std::uint32_t uiLine) {
        SCOPED_TRACE(uiLine);
        WriteFileBytes("maps/bad.fds", kBytes);
        m_kBoxes.clear();
        EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
        if (uiLine != 0)
        {
            ASSERT_EQ(m_kBoxes.size(), 1u);
            EXPECT_EQ(m_kBoxes[0], "Could not load \"bad.fds\": the file is damaged (line " + std::to_string(uiLine) +
                                       ").");
        }
        EXPECT_EQ(ReadFileBytes("maps/bad.fds"), kBytes);
        ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
        EXPECT_EQ(ReadFileBytes("maps/after.fds"), kBefore);
    };
    const auto Replaced = [&](std::size_t uiLine, const std::string& kText) {
        std::string kBytes;
        for (std::size_t i = 0; i < kLines.size(); ++i)
            kBytes += (i == uiLine ? kText : kLines[i]) + "\r\n";
        return kBytes;
    };
    Refused(Replaced(6, "-1"), 7);                          // negative level
    Refused(Replaced(7, "70000"), 8);                       // person counter past 16 bits
    Refused(Replaced(9, "x"), 10);                          // scenario number
    Refused(Replaced(10, "1,1,2O"), 11);                    // a condition
    Refused(Replaced(14, "2005,99999999999,1,0"), 15);      // huge clock value
    Refused(Replaced(15, "1e999"), 16);                     // minutes out of float range
    Refused(Replaced(18, "nan"), 19);                       // frame time
    Refused(Replaced(22, "999"), 23);                       // upgrade level
    Refused(Replaced(6, std::string(1 << 20, '7')), 7);     // a 1 MB line
    Refused(std::string("<WORLD>\r\n\x01\xff garbage\r\n"), 2);
    // A save of another level naming a template that level's plans lack:
    // refused before the running game goes.
    const auto kCrate = std::find(kLines.begin(), kLines.end(), CRATE);
    ASSERT_NE(kCrate, kLines.end());
    {
        std::string kBytes;
        for (std::size_t i = 0; i < kLines.size(); ++i)
            kBytes += (i == 6 ? std::string("1") : kLines[i] == CRATE ? std::string("prison1/gone/gone.nif") : kLines[i]) +
                      "\r\n";
        Refused(kBytes, static_cast<std::uint32_t>(kCrate - kLines.begin()) + 1);
    }
    // Cut after every line of the objects section: refused, or (cut before
    // the section) a game without the objects that were cut.
    std::size_t uiObjects = 0;
    while (kLines[uiObjects] != "<OBJECTS>")
        ++uiObjects;
    for (std::size_t uiCut = uiObjects + 1; kLines[uiCut - 1] != "</OBJECTS>"; ++uiCut)
    {
        SCOPED_TRACE(uiCut);
        std::string kBytes;
        for (std::size_t i = 0; i < uiCut; ++i)
            kBytes += kLines[i] + "\r\n";
        Refused(kBytes, 0);
    }
    EXPECT_EQ(CDynamicObjectManager::GetInstance()->GetLiveCount(), 2u);
}

// A file that ends on a section's marker holds that section without its
// body: refused, naming the marker's line, whichever section it is and
// however the marker's line ends.
TEST_F(CSaveGameTest, AFileEndingOnASectionMarkerIsRefusedNamingTheMarker)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/good.fds"));
    const std::string kGood = ReadFileBytes("maps/good.fds");
    const std::vector<std::string> kLines = Lines(kGood);
    for (const char* pcMarker :
         {"<VERSION>", "<WORLD>", "<CONDITIONS>", "<TIME>", "<UPGRADE_LEVEL>", "<OBJECTS>", "<STATISTICS>"})
    {
        const auto kAt = std::find(kLines.begin(), kLines.end(), pcMarker);
        ASSERT_NE(kAt, kLines.end()) << pcMarker;
        const std::size_t uiLine = static_cast<std::size_t>(kAt - kLines.begin()) + 1;
        std::string kBytes;
        for (std::size_t i = 0; i + 1 < uiLine; ++i)
            kBytes += kLines[i] + "\r\n";
        kBytes += pcMarker;
        for (const char* pcEnd : {"\r\n", "\r", "\n", ""})
        {
            SCOPED_TRACE(std::string(pcMarker) + " ended by " + std::to_string(std::strlen(pcEnd)) + " bytes");
            WriteFileBytes("maps/bad.fds", kBytes + pcEnd);
            m_kBoxes.clear();
            EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
            ASSERT_EQ(m_kBoxes.size(), 1u);
            EXPECT_EQ(m_kBoxes[0],
                      "Could not load \"bad.fds\": the file is damaged (line " + std::to_string(uiLine) + ").");
            ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
            EXPECT_EQ(ReadFileBytes("maps/after.fds"), kGood);
        }
    }
}

// The line a refusal names is the line at fault, by one rule in every
// section: a value outside its range names its own line; a file that ends
// inside a section, after a whole line or inside one, names the first line
// it lacks.
TEST_F(CSaveGameTest, TheLineNamedIsTheLineAtFault)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/good.fds"));
    const std::string kGood = ReadFileBytes("maps/good.fds");
    const std::vector<std::string> kLines = Lines(kGood);
    ASSERT_EQ(kLines[15], "840.3");
    ASSERT_EQ(kLines[19], "0.05");
    const auto NamedLine = [&](const std::string& kBytes) -> std::string {
        WriteFileBytes("maps/bad.fds", kBytes);
        m_kBoxes.clear();
        EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
        EXPECT_TRUE(kGame.SaveGame("maps/after.fds"));
        EXPECT_EQ(ReadFileBytes("maps/after.fds"), kGood);
        return m_kBoxes.size() == 1 ? m_kBoxes[0] : "no single box";
    };
    const auto Box = [](std::size_t uiLine) {
        return "Could not load \"bad.fds\": the file is damaged (line " + std::to_string(uiLine) + ").";
    };
    // The first uiCount lines, and part of the next.
    const auto Cut = [&](std::size_t uiCount, const std::string& kPart) {
        std::string kBytes;
        for (std::size_t i = 0; i < uiCount; ++i)
            kBytes += kLines[i] + "\r\n";
        return kBytes + kPart;
    };
    const auto Replaced = [&](std::size_t uiIndex, const std::string& kText) {
        std::vector<std::string> kCopy = kLines;
        kCopy[uiIndex] = kText;
        std::string kBytes;
        for (const std::string& kLine : kCopy)
            kBytes += kLine + "\r\n";
        return kBytes;
    };
    // Minutes and previous minutes outside the day, each on its own line.
    EXPECT_EQ(NamedLine(Replaced(15, "1500")), Box(16));
    EXPECT_EQ(NamedLine(Replaced(15, "-0.5")), Box(16));
    EXPECT_EQ(NamedLine(Replaced(16, "1440.5")), Box(17));
    EXPECT_EQ(NamedLine(Replaced(17, "total")), Box(18));
    // Cut after a whole line, or inside one, of each header section.
    EXPECT_EQ(NamedLine(Cut(2, "")), Box(3));          // version, no build time
    EXPECT_EQ(NamedLine(Cut(3, "Jan")), Box(5));       // inside the build date
    EXPECT_EQ(NamedLine(Cut(7, "4")), Box(9));         // inside the person counter
    EXPECT_EQ(NamedLine(Cut(10, "1,1,20")), Box(12));  // inside the goals
    EXPECT_EQ(NamedLine(Cut(11, "0,0,-50")), Box(13)); // inside the failures
    EXPECT_EQ(NamedLine(Cut(15, "")), Box(16));        // the clock, no minutes
    EXPECT_EQ(NamedLine(Cut(15, "840")), Box(17));     // inside the minutes
    EXPECT_EQ(NamedLine(Cut(19, "0.0")), Box(21));     // inside the game time
    EXPECT_EQ(NamedLine(Cut(19, "0.05\r")), Box(21));  // before its line feed
    EXPECT_EQ(NamedLine(Cut(22, "")), Box(22));        // its marker last: the marker
    EXPECT_EQ(NamedLine(Cut(22, "1")), Box(24));       // inside the upgrade level
    // In the objects: after the crate's position line, and inside it.
    const auto kCrate = std::find(kLines.begin(), kLines.end(), CRATE);
    ASSERT_NE(kCrate, kLines.end());
    const std::size_t uiCrate = static_cast<std::size_t>(kCrate - kLines.begin());
    EXPECT_EQ(NamedLine(Cut(uiCrate + 3, "")), Box(uiCrate + 4));
    EXPECT_EQ(NamedLine(Cut(uiCrate + 2, "4.5,0")), Box(uiCrate + 4));
    // Inside the two sections' end lines.
    const std::size_t uiObjectsEnd =
        static_cast<std::size_t>(std::find(kLines.begin(), kLines.end(), "</OBJECTS>") - kLines.begin());
    ASSERT_LT(uiObjectsEnd + 3, kLines.size());
    EXPECT_EQ(NamedLine(Cut(uiObjectsEnd, "</OBJ")), Box(uiObjectsEnd + 2));
    EXPECT_EQ(NamedLine(Cut(uiObjectsEnd + 3, "</STAT")), Box(uiObjectsEnd + 5));
    // A wrong end line where the file goes on names itself.
    EXPECT_EQ(NamedLine(Replaced(uiObjectsEnd + 3, "<END>") + "more\r\n"), Box(uiObjectsEnd + 4));
    EXPECT_EQ(NamedLine(Replaced(uiObjectsEnd, "<END>")), Box(uiObjectsEnd + 1));
    // A body that is whole loads, the sections after it missing.
    WriteFileBytes("maps/short.fds", Cut(20, ""));
    m_kBoxes.clear();
    EXPECT_TRUE(kGame.LoadGame("maps/short.fds"));
    EXPECT_TRUE(m_kBoxes.empty());
    EXPECT_EQ(kGame.GetGameTime(), 0.05f);
}

// Whatever lands in the save folder under a save's name: a file cut inside
// the ledger's line, one of none of the sections (a picture, text), an
// empty one, a folder. Each is refused with a box naming it, and the
// running game stays as it was.
TEST_F(CSaveGameTest, ForeignAndCutFilesAreRefusedWithABoxNamingThem)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/good.fds"));
    const std::string kGood = ReadFileBytes("maps/good.fds");
    const std::size_t uiLedger = kGood.find("<STATISTICS>\r\n");
    ASSERT_NE(uiLedger, std::string::npos);
    const std::uint32_t uiLedgerLine =
        static_cast<std::uint32_t>(std::count(kGood.begin(), kGood.begin() + static_cast<std::ptrdiff_t>(uiLedger), '\n')) + 2;
    const auto Refused = [&](const std::string& kBytes, const std::string& kBox) {
        SCOPED_TRACE(kBox);
        WriteFileBytes("maps/bad.fds", kBytes);
        m_kBoxes.clear();
        EXPECT_FALSE(kGame.CheckSave("maps/bad.fds"));
        EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
        ASSERT_EQ(m_kBoxes.size(), 2u);
        EXPECT_EQ(m_kBoxes[1], kBox);
        ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
        EXPECT_EQ(ReadFileBytes("maps/after.fds"), kGood);
    };
    // Cut inside the ledger's numbers, and right after them.
    Refused(kGood.substr(0, uiLedger + 17), "Could not load \"bad.fds\": the file is damaged (line " +
                                               std::to_string(uiLedgerLine + 1) + ").");
    Refused(kGood.substr(0, kGood.find("</STATISTICS>")),
            "Could not load \"bad.fds\": the file is damaged (line " + std::to_string(uiLedgerLine + 1) + ").");
    Refused(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "Could not load \"bad.fds\": the file is damaged (line 1).");
    Refused("just some text\r\n", "Could not load \"bad.fds\": the file is damaged (line 1).");
    Refused("", "Could not load \"bad.fds\": the file is damaged (line 1).");
    // A folder of a save's name.
    std::filesystem::create_directory("maps/x.fds");
    m_kBoxes.clear();
    EXPECT_FALSE(kGame.LoadGame("maps/x.fds"));
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(m_kBoxes[0], "Could not load \"x.fds\": the file cannot be read.");
    // The whole file still loads.
    m_kBoxes.clear();
    EXPECT_TRUE(kGame.LoadGame("maps/good.fds"));
    EXPECT_TRUE(m_kBoxes.empty());
}

TEST_F(CSaveGameTest, AFailedWriteLeavesTheOldSaveAndNoTemporaryFile)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/slot.fds"));
    const std::string kOld = ReadFileBytes("maps/slot.fds");
    Make("CellFactory", CRATE, NiVec3(9.0f, 0.0f, 9.0f));

    // The file-size limit stops the writing after every possible byte count.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit kLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kLimit), 0);
    const std::size_t uiNewSize = kOld.size() + 200;
    for (std::size_t uiBytes = 0; uiBytes < uiNewSize; ++uiBytes)
    {
        rlimit kSmall = kLimit;
        kSmall.rlim_cur = uiBytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kSmall), 0);
        const bool bSaved = kGame.SaveGame("maps/slot.fds");
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kLimit), 0);
        if (bSaved)
        {
            EXPECT_GT(uiBytes, kOld.size()); // the whole new file fit
            break;
        }
        EXPECT_EQ(ReadFileBytes("maps/slot.fds"), kOld) << uiBytes;
        EXPECT_FALSE(std::filesystem::exists("maps/slot.fds.tmp")) << uiBytes;
    }
    std::signal(SIGXFSZ, SIG_DFL);

    // A stale temporary file is written over; one that cannot be (a folder
    // in its place) fails the save and is left alone.
    WriteFileBytes("maps/slot.fds.tmp", "stale");
    ASSERT_TRUE(kGame.SaveGame("maps/slot.fds"));
    EXPECT_FALSE(std::filesystem::exists("maps/slot.fds.tmp"));
    const std::string kNew = ReadFileBytes("maps/slot.fds");
    std::filesystem::create_directory("maps/slot.fds.tmp");
    EXPECT_FALSE(kGame.SaveGame("maps/slot.fds"));
    EXPECT_EQ(ReadFileBytes("maps/slot.fds"), kNew);
    EXPECT_TRUE(std::filesystem::is_directory("maps/slot.fds.tmp"));
    // A folder that is not there.
    EXPECT_FALSE(kGame.SaveGame("maps/none/slot.fds"));
    EXPECT_FALSE(kGame.SaveGame(""));
}

// Whatever stands under a save's temporary name (a link to the save itself
// or elsewhere, a dangling link, a FIFO) is never written through or waited
// on: the save writes a new file of its own, and a write that fails keeps
// the old save. The settings documents take the same road.
TEST_F(CSaveGameTest, LinksAndFifosAtTheTemporaryNameAreNeverWrittenThrough)
{
    CGame kGame;
    StartLevel(kGame);
    ASSERT_TRUE(kGame.SaveGame("maps/slot.fds"));
    const std::string kOld = ReadFileBytes("maps/slot.fds");
    Make("CellFactory", CRATE, NiVec3(9.0f, 0.0f, 9.0f));
    const std::filesystem::path kTemp = "maps/slot.fds.tmp";

    // A link to the save itself, and the write cut by the file-size limit:
    // the old save stays whole.
    std::filesystem::create_symlink(std::filesystem::absolute("maps/slot.fds"), kTemp);
    rlimit kLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kLimit), 0);
    rlimit kSmall = kLimit;
    kSmall.rlim_cur = kOld.size() / 3;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kSmall), 0);
    const bool bCutSave = kGame.SaveGame("maps/slot.fds");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kLimit), 0);
    EXPECT_FALSE(bCutSave);
    EXPECT_EQ(ReadFileBytes("maps/slot.fds"), kOld);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(kTemp)));

    // Links that point anywhere, and a FIFO: the save is written, nothing
    // else is.
    WriteFileBytes("outside.txt", "outside");
    std::string kNew;
    for (const std::string& kTarget : {std::string("maps/slot.fds"), std::string("outside.txt"), std::string("nowhere")})
    {
        SCOPED_TRACE(kTarget);
        std::filesystem::create_symlink(std::filesystem::absolute(kTarget), kTemp);
        ASSERT_TRUE(kGame.SaveGame("maps/slot.fds"));
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(kTemp)));
        EXPECT_FALSE(std::filesystem::is_symlink("maps/slot.fds"));
        if (kNew.empty())
            kNew = ReadFileBytes("maps/slot.fds");
        EXPECT_EQ(ReadFileBytes("maps/slot.fds"), kNew);
    }
    EXPECT_NE(kNew, kOld);
    EXPECT_EQ(ReadFileBytes("outside.txt"), "outside");
    EXPECT_FALSE(std::filesystem::exists("nowhere"));
    ASSERT_EQ(::mkfifo(kTemp.c_str(), 0600), 0);
    ASSERT_TRUE(kGame.SaveGame("maps/slot.fds"));
    EXPECT_EQ(ReadFileBytes("maps/slot.fds"), kNew);

    // The scenario record: the same.
    WriteFileBytes("config.bin", "<SCENARIO_STATES>\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n");
    std::filesystem::create_symlink(std::filesystem::absolute("outside.txt"), "config.bin.tmp");
    ASSERT_TRUE(kGame.MarkScenarioComplete(1));
    EXPECT_EQ(ReadFileBytes("config.bin"), "<SCENARIO_STATES>\r\nOPEN\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    EXPECT_EQ(ReadFileBytes("outside.txt"), "outside");
    ASSERT_EQ(::mkfifo("config.bin.tmp", 0600), 0);
    ASSERT_TRUE(kGame.MarkScenarioComplete(0));
    EXPECT_EQ(ReadFileBytes("config.bin"), "<SCENARIO_STATES>\r\nCOMPLETE\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("config.bin.tmp")));
}

// A write past the file-size limit raises a signal that ends a process by
// default; the game ignores it from its start, so the save fails (and the
// save panel says so) with the old file kept. In a child process: the
// limit and the signal would hurt the test program.
TEST_F(CSaveGameTest, AWriteOverTheFileSizeLimitFailsTheSaveInsteadOfEndingTheGame)
{
    WriteFileBytes("maps/limit.fds", "the old save");
    const pid_t iChild = ::fork();
    ASSERT_NE(iChild, -1);
    if (iChild == 0)
    {
        // As a program starts: the signal's default action.
        std::signal(SIGXFSZ, SIG_DFL);
        CGame kGame;
        if (!kGame.Init("Orvane Game"))
            ::_exit(3);
        rlimit kSmall{};
        if (getrlimit(RLIMIT_FSIZE, &kSmall) != 0)
            ::_exit(4);
        kSmall.rlim_cur = 64;
        if (setrlimit(RLIMIT_FSIZE, &kSmall) != 0)
            ::_exit(5);
        const bool bSaved = kGame.SaveGame("maps/limit.fds");
        ::_exit(bSaved ? 6 : ReadFileBytes("maps/limit.fds") == "the old save" ? 0 : 7);
    }
    int iStatus = 0;
    ASSERT_EQ(::waitpid(iChild, &iStatus, 0), iChild);
    ASSERT_FALSE(WIFSIGNALED(iStatus)) << "ended by signal " << WTERMSIG(iStatus);
    ASSERT_TRUE(WIFEXITED(iStatus));
    EXPECT_EQ(WEXITSTATUS(iStatus), 0);
    EXPECT_EQ(ReadFileBytes("maps/limit.fds"), "the old save");
    EXPECT_FALSE(std::filesystem::exists("maps/limit.fds.tmp"));
}

TEST(SaveNames, OnlyPlainNamesInsideTheSaveFolder)
{
    for (const char* pcGood : {"a", "My prison 2", "x.y", "it's (1) ~ok~", "12345678901234567890123456789012"})
        EXPECT_TRUE(IsValidSaveName(pcGood)) << pcGood;
    for (const char* pcBad : {"", ".", "..", "../x", "a/b", "a\\b", "c:", "a*", "a?", "\"a\"", "<a>", "a|b", " a",
                              "a ", ".a", "a.", "123456789012345678901234567890123", "\x01", "\xe4", "a\x7f"})
        EXPECT_FALSE(IsValidSaveName(pcBad)) << pcBad;
}

TEST_F(CSaveGameTest, PathsStayInsideTheSaveFolderAlsoThroughLinks)
{
    std::filesystem::create_directories("maps/sub");
    std::filesystem::create_directories("outside");
    std::filesystem::create_directory_symlink(std::filesystem::absolute("outside"), "maps/link");
    std::filesystem::create_directory_symlink(std::filesystem::absolute("maps/sub"), "maps/inner");
    EXPECT_EQ(MakeSavePath("maps", "one", ".fds"), "maps/one.fds");
    EXPECT_EQ(MakeSavePath("maps/sub/", "two", ".fds"), "maps/sub/two.fds");
    EXPECT_EQ(MakeSavePath("maps/inner", "three", ""), "maps/inner/three");
    EXPECT_EQ(MakeSavePath("maps/link", "x", ".fds"), "");
    EXPECT_EQ(MakeSavePath("maps/..", "x", ".fds"), "");
    EXPECT_EQ(MakeSavePath("outside", "x", ".fds"), "");
    EXPECT_EQ(MakeSavePath("maps/missing", "x", ".fds"), "");
    EXPECT_EQ(MakeSavePath("maps", "../x", ".fds"), "");
    EXPECT_EQ(MakeSavePath("maps", "x", "/../../y"), "");
    EXPECT_EQ(MakeSavePath("", "x", ".fds"), "");
}
} // namespace
