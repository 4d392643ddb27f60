// A saved demo prison (buildings, rooms with posts, prisoners and staff on
// their way) read back by the save reader after damage: every cut of the
// file, every number of the objects' records.

#include "game/shell/CSaveFile.h"

#include "framework/COrvaneApplication.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CFinanceSubPanel.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsTime.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestClock.h"
#include "tests/game/support/CHeadlessPrison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace
{
constexpr float FRAME = 0.05f;

class CSaveFileTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        std::filesystem::copy(ORVANE_DEMO_DATA, Folder(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        std::filesystem::create_directories("maps");
        COrvaneApplication::LoadSettings();
        os::SetClock(&m_kTick);
        CBuildPlacement::SetPanelTest([] { return false; });
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return 1;
        });
    }

    void TearDown() override
    {
        os::ResetMessageBoxHook();
        CBuildPlacement::Destroy();
        CBuildPlacement::SetPanelTest(nullptr);
        os::SetClock(nullptr);
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        EngineFrameworkTest::TearDown();
    }

    // A cell block with two cells, an administration block with the guard
    // room, four prisoners admitted and the hired staff on their way in.
    static bool BuildPrison(CGame& kGame)
    {
        if (!CHeadlessPrison::EnterLevel(kGame, 17))
            return false;
        CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        CPrisonStatistics* pkLedger = kGame.GetStatistics();
        if (!pkYard || !pkLedger)
            return false;
        pkLedger->m_iStartingFunds = 1000000;
        pkLedger->UpdateTotals();
        const auto Rich = [&kGame](const CHeadlessPrison::Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom) {
            kGame.GetStatistics()->m_usPrisonLevel = 3;
            return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom, true);
        };
        const std::vector<CHeadlessPrison::Building> kBuildings = {
            {"cellblock_small", 2, 2, {"cell_double", "cell_double"}},
            {"admin_staff_security_indoor", 30, 10, {"guard_room"}},
        };
        for (const CHeadlessPrison::Building& kBuilding : kBuildings)
        {
            auto* pkBuilding = dynamic_cast<CWorldObject*>(
                Rich({"WorldObjectFactory", kBuilding.m_pcTemplate}, *pkYard,
                     kBuilding.m_iRow * pkYard->GetColumns() + kBuilding.m_iColumn));
            if (!pkBuilding || CHeadlessPrison::Furnish(kGame, *pkBuilding, kBuilding.m_kInside, Rich) != 0)
                return false;
        }
        if (CHeadlessPrison::Admit(kGame, 4) != 4)
            return false;
        for (int i = 0; i < 40; ++i)
            kGame.StepSimulation(FRAME);
        return true;
    }

    // The prison built, saved, loaded and saved again (a load works out the
    // build-menu descriptions the headless build leaves unset): the file,
    // which "maps/prison.fds" holds.
    static std::string SavedPrison(CGame& kGame)
    {
        if (!BuildPrison(kGame) || !kGame.SaveGame("maps/built.fds") || !kGame.LoadGame("maps/built.fds") ||
            !kGame.SaveGame("maps/prison.fds"))
            return {};
        return ReadFileBytes("maps/prison.fds");
    }

    // The line numbers of the boxes since the last clear; 0 for another box.
    std::vector<std::uint32_t> BoxLines() const
    {
        std::vector<std::uint32_t> kLines;
        for (const std::string& kBox : m_kBoxes)
        {
            const std::size_t uiAt = kBox.find("(line ");
            kLines.push_back(uiAt == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(kBox.substr(uiAt + 6))));
        }
        return kLines;
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

    static std::string Joined(const std::vector<std::string>& kLines)
    {
        std::string kBytes;
        for (const std::string& kLine : kLines)
            kBytes += kLine + "\r\n";
        return kBytes;
    }

    // What the reader makes of a file, as text: the header's values and
    // each record's template, the ledger's line.
    static std::string Described(const std::string& kPath)
    {
        CSaveFile kSave;
        if (!kSave.Parse(kPath, *CDynamicObjectManager::GetInstance()))
            return "refused at line " + std::to_string(kSave.GetBadLine());
        const CSaveHeader& kHeader = kSave.GetHeader();
        std::ostringstream kOut;
        kOut << kHeader.m_bVersion << ' ' << kHeader.m_usVersion << ' ' << kHeader.m_kBuildTime << ' '
             << kHeader.m_kBuildDate << '|' << kHeader.m_bWorld << ' ' << kHeader.m_uiLevel << ' '
             << kHeader.m_usNextPerson << '|' << kHeader.m_kConditions.m_bFound << ' '
             << kHeader.m_kConditions.m_sScenario << ' ' << kHeader.m_kConditions.m_kGoals.size() << '|'
             << kHeader.m_bTime;
        for (const std::uint16_t usValue : kHeader.m_ausClock)
            kOut << ' ' << usValue;
        kOut << ' ' << kHeader.m_fMinutes << ' ' << kHeader.m_fPreviousMinutes << ' ' << kHeader.m_fTotalTime << ' '
             << kHeader.m_fFrameTime << ' ' << kHeader.m_fGameTime << '|' << kHeader.m_bUpgrade << ' '
             << kHeader.m_iUpgradeLevel << '|' << kSave.GetObjects().m_bSection;
        for (const CParsedObjectRecord& kRecord : kSave.GetObjects().m_kRecords)
            kOut << '\n' << kRecord.m_kTemplate << ' ' << kRecord.m_kFactory;
        kOut << '|' << kSave.GetObjects().m_bStatistics << ' ' << kSave.GetObjects().m_kStatisticsLine;
        return kOut.str();
    }

    TestClock m_kTick{0};
    std::vector<std::string> m_kBoxes;
};

// A section of the file as the reader takes it: its marker, and the line
// (counted from the marker's) whose end makes its body whole.
struct SectionShape
{
    const char* m_pcMarker;
    const char* m_pcLastLine; // the body's last line when it is fixed text
    int m_iBodyLines;         // else the number of body lines
};

const SectionShape SECTIONS[] = {
    {"<VERSION>", nullptr, 3},       {"<WORLD>", nullptr, 2},   {"<CONDITIONS>", nullptr, 3},
    {"<TIME>", nullptr, 6},          {"<UPGRADE_LEVEL>", nullptr, 1},
    {"<OBJECTS>", "</OBJECTS>", 0},  {"<STATISTICS>", "</STATISTICS>", 0},
};

// Where the section's body is whole in the file: the byte after the line
// end of a counted body's last line, or after the end marker's text.
std::size_t BodyEnd(const std::string& kFile, const SectionShape& kSection, std::size_t& uiMarker)
{
    uiMarker = kFile.find(kSection.m_pcMarker);
    if (uiMarker == std::string::npos)
        return std::string::npos;
    if (kSection.m_pcLastLine != nullptr)
    {
        const std::size_t uiEnd = kFile.find(kSection.m_pcLastLine, uiMarker);
        return uiEnd == std::string::npos ? uiEnd : uiEnd + std::strlen(kSection.m_pcLastLine);
    }
    std::size_t uiAt = kFile.find('\n', uiMarker);
    for (int i = 0; i < kSection.m_iBodyLines && uiAt != std::string::npos; ++i)
        uiAt = kFile.find('\n', uiAt + 1);
    return uiAt == std::string::npos ? uiAt : uiAt + 1;
}

// Every cut of the file, at every byte: refused with a box naming the file
// and a line, the running game as it was; or, where the cut falls between
// whole sections (the later ones missing), loaded the same as the file that
// ends after the last whole section.
TEST_F(CSaveFileTest, EveryCutOfADemoPrisonsSaveIsRefusedOrLoadsItsWholeSections)
{
    CGame kGame;
    const std::string kWhole = SavedPrison(kGame);
    ASSERT_FALSE(kWhole.empty());
    const std::vector<std::string> kLines = Lines(kWhole);
    ASSERT_NE(std::find(kLines.begin(), kLines.end(), "PrisonerFactory"), kLines.end());
    ASSERT_NE(std::find(kLines.begin(), kLines.end(), "SecurityGuardFactory"), kLines.end());
    // Saved, loaded and saved again: the same file.
    ASSERT_TRUE(kGame.LoadGame("maps/prison.fds"));
    ASSERT_TRUE(kGame.SaveGame("maps/again.fds"));
    ASSERT_EQ(ReadFileBytes("maps/again.fds"), kWhole);

    const std::size_t uiObjects = CDynamicObjectManager::GetInstance()->GetLiveCount();
    ASSERT_NE(kGame.GetStatistics(), nullptr);
    const std::string kLedger = kGame.GetStatistics()->FormatLine();

    // What a load of the file leaves, as the game saves it.
    const auto SavedAfterLoading = [&](const std::string& kBytes) {
        WriteFileBytes("maps/reference.fds", kBytes);
        EXPECT_TRUE(kGame.LoadGame("maps/reference.fds"));
        EXPECT_TRUE(kGame.SaveGame("maps/state.fds"));
        return ReadFileBytes("maps/state.fds");
    };
    std::map<std::size_t, std::string> kReferences;
    int iRefused = 0;
    int iLoaded = 0;
    for (std::size_t uiCut = 0; uiCut <= kWhole.size(); ++uiCut)
    {
        SCOPED_TRACE(uiCut);
        const std::string kCut = kWhole.substr(0, uiCut);
        // Loads when each section is either missing (its marker not whole)
        // or whole; then like the file up to the last whole section.
        bool bLoads = false;
        bool bDamaged = false;
        std::size_t uiUpTo = 0;
        for (const SectionShape& kSection : SECTIONS)
        {
            std::size_t uiMarker = 0;
            const std::size_t uiEnd = BodyEnd(kWhole, kSection, uiMarker);
            ASSERT_NE(uiEnd, std::string::npos) << kSection.m_pcMarker;
            if (uiMarker + std::strlen(kSection.m_pcMarker) > uiCut)
                continue;
            bLoads = true;
            bDamaged = bDamaged || uiEnd > uiCut;
            uiUpTo = std::max(uiUpTo, uiEnd);
        }
        bLoads = bLoads && !bDamaged;

        WriteFileBytes("maps/cut.fds", kCut);
        m_kBoxes.clear();
        // A refused file is tried as the player tries it; one that reads is
        // loaded once for each reference (a load builds the level again)
        // and otherwise read alone.
        const bool bLoaded = !bLoads || kReferences.count(uiUpTo) == 0 ? kGame.LoadGame("maps/cut.fds")
                                                                        : kGame.CheckSave("maps/cut.fds");
        ASSERT_EQ(bLoaded, bLoads);
        if (!bLoaded)
        {
            ++iRefused;
            ASSERT_EQ(m_kBoxes.size(), 1u);
            EXPECT_EQ(m_kBoxes[0].rfind("Could not load \"cut.fds\": the file is damaged (line ", 0), 0u) << m_kBoxes[0];
            const std::uint32_t uiLine = BoxLines()[0];
            EXPECT_GE(uiLine, 1u);
            EXPECT_LE(uiLine, Lines(kCut).size() + 1);
            // The running game as it was: its people and books every time,
            // the whole of it as saved at every 32nd refusal (a save
            // syncs the disk).
            EXPECT_EQ(CDynamicObjectManager::GetInstance()->GetLiveCount(), uiObjects);
            ASSERT_NE(kGame.GetStatistics(), nullptr);
            EXPECT_EQ(kGame.GetStatistics()->FormatLine(), kLedger);
            if (iRefused % 32 == 1)
            {
                ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
                ASSERT_EQ(ReadFileBytes("maps/after.fds"), kWhole);
            }
            continue;
        }
        ++iLoaded;
        EXPECT_TRUE(m_kBoxes.empty());
        // The first cut that loads as this reference does: the game it
        // leaves, as saved, is the reference's. The others read the same.
        const bool bFirst = kReferences.count(uiUpTo) == 0;
        if (bFirst)
        {
            ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
            const std::string kState = ReadFileBytes("maps/after.fds");
            kReferences[uiUpTo] = SavedAfterLoading(kWhole.substr(0, uiUpTo));
            EXPECT_EQ(kState, kReferences[uiUpTo]);
        }
        EXPECT_EQ(Described("maps/cut.fds"), Described("maps/reference.fds"));
        // The prison back for the next cut.
        if (bFirst)
        {
            ASSERT_TRUE(kGame.LoadGame("maps/prison.fds"));
        }
    }
    // The whole file loads; a cut at every section end loads that far.
    EXPECT_GE(iLoaded, 1 + static_cast<int>(std::size(SECTIONS)));
    ASSERT_FALSE(kReferences.empty());
    EXPECT_EQ(kReferences.rbegin()->second, kWhole);
    ASSERT_TRUE(kGame.SaveGame("maps/after.fds"));
    EXPECT_EQ(ReadFileBytes("maps/after.fds"), kWhole);
    std::printf("cut copies of the demo save: %d refused, %d loaded\n", iRefused, iLoaded);
    RecordProperty("refused", iRefused);
    RecordProperty("loaded", iLoaded);
    kGame.Shutdown();
}

// Every number of a room's record (its position, grid number, footprint,
// values, description, post count and post lines) that is not a number or
// lies outside its field refuses the file with a box naming that line; a
// number with text after it reads as the number.
TEST_F(CSaveFileTest, EachNumberOfAnObjectsRecordIsCheckedAndNamesItsLine)
{
    CGame kGame;
    const std::string kWhole = SavedPrison(kGame);
    ASSERT_FALSE(kWhole.empty());
    const std::vector<std::string> kLines = Lines(kWhole);
    // The administration block's record: template, factory, position, grid,
    // footprint, values, description, post count, its three posts.
    const auto kAdmin =
        std::find(kLines.begin(), kLines.end(), "prison1/admin/admin_staff_security_indoor.nif|Scene Root");
    ASSERT_NE(kAdmin, kLines.end());
    const std::size_t uiValues = static_cast<std::size_t>(kAdmin - kLines.begin()) + 5;
    ASSERT_EQ(kLines[uiValues + 2], "3");

    // The line with its field i replaced.
    const auto Field = [](const std::string& kLine, std::size_t uiField, const std::string& kText) {
        std::vector<std::string> kFields;
        std::size_t uiStart = 0;
        for (;;)
        {
            const std::size_t uiEnd = kLine.find(',', uiStart);
            kFields.push_back(kLine.substr(uiStart, uiEnd - uiStart));
            if (uiEnd == std::string::npos)
                break;
            uiStart = uiEnd + 1;
        }
        kFields.at(uiField) = kText;
        std::string kJoined;
        for (std::size_t i = 0; i < kFields.size(); ++i)
            kJoined += (i == 0 ? "" : ",") + kFields[i];
        return kJoined;
    };
    const auto FieldCount = [](const std::string& kLine) {
        return static_cast<std::size_t>(std::count(kLine.begin(), kLine.end(), ',')) + 1;
    };
    const auto Refused = [&](std::size_t uiLine, const std::string& kText) {
        SCOPED_TRACE(std::to_string(uiLine + 1) + ": " + kText);
        std::vector<std::string> kDamaged = kLines;
        kDamaged[uiLine] = kText;
        WriteFileBytes("maps/bad.fds", Joined(kDamaged));
        m_kBoxes.clear();
        EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
        ASSERT_EQ(m_kBoxes.size(), 1u);
        EXPECT_EQ(m_kBoxes[0],
                  "Could not load \"bad.fds\": the file is damaged (line " + std::to_string(uiLine + 1) + ").");
    };
    int iCases = 0;
    // Values, description and every post line: each field not a number,
    // past 16 bits, negative.
    for (std::size_t uiLine : {uiValues, uiValues + 1, uiValues + 3, uiValues + 4, uiValues + 5})
        for (std::size_t uiField = 0; uiField < FieldCount(kLines[uiLine]); ++uiField)
            for (const char* pcBad : {"x", "65536", "-1"})
            {
                Refused(uiLine, Field(kLines[uiLine], uiField, pcBad));
                ++iCases;
            }
    EXPECT_EQ(iCases, 3 * (4 + 2 + 3 * 18));
    // The position, grid number and footprint lines before them: each field
    // not a number or past its field ("1e999" is past a float; an integer
    // field reads it as 1 followed by text).
    const auto Past = [&](std::size_t uiLine) {
        return uiLine == uiValues - 3 ? std::vector<const char*>{"x", "1e999", "-1e999"}
                                      : std::vector<const char*>{"x", "99999999999", "-99999999999"};
    };
    for (std::size_t uiLine : {uiValues - 3, uiValues - 2, uiValues - 1})
        for (std::size_t uiField = 0; uiField < FieldCount(kLines[uiLine]); ++uiField)
            for (const char* pcBad : Past(uiLine))
            {
                Refused(uiLine, Field(kLines[uiLine], uiField, pcBad));
                ++iCases;
            }
    EXPECT_EQ(iCases, 3 * (4 + 2 + 3 * 18) + 3 * (4 + 1 + 3));
    // The post count: not a number, out of range, more posts than follow
    // (the building's own line reads as a short fourth post, and the next
    // record's template where the building's line belongs fails).
    Refused(uiValues + 2, "x");
    Refused(uiValues + 2, "-1");
    Refused(uiValues + 2, "65536");
    {
        std::vector<std::string> kMore = kLines;
        kMore[uiValues + 2] = "4";
        WriteFileBytes("maps/bad.fds", Joined(kMore));
        m_kBoxes.clear();
        EXPECT_FALSE(kGame.LoadGame("maps/bad.fds"));
        EXPECT_EQ(BoxLines(), (std::vector<std::uint32_t>{static_cast<std::uint32_t>(uiValues + 8)}));
    }

    // Text after each number: read as the number, the same prison.
    std::vector<std::string> kTrailing = kLines;
    for (std::size_t uiLine = uiValues; uiLine < uiValues + 6; ++uiLine)
    {
        std::string kWithText;
        std::size_t uiStart = 0;
        for (;;)
        {
            const std::size_t uiEnd = kLines[uiLine].find(',', uiStart);
            kWithText += kLines[uiLine].substr(uiStart, uiEnd - uiStart) + "x";
            if (uiEnd == std::string::npos)
                break;
            kWithText += ",";
            uiStart = uiEnd + 1;
        }
        kTrailing[uiLine] = kWithText;
    }
    EXPECT_EQ(kTrailing[uiValues + 2], "3x");
    WriteFileBytes("maps/text.fds", Joined(kTrailing));
    m_kBoxes.clear();
    ASSERT_TRUE(kGame.LoadGame("maps/text.fds"));
    EXPECT_TRUE(m_kBoxes.empty());
    ASSERT_TRUE(kGame.SaveGame("maps/again.fds"));
    EXPECT_EQ(ReadFileBytes("maps/again.fds"), kWhole);
    kGame.Shutdown();
}

// The books as the finance page shows them, both ways, and the balance.
std::vector<std::int32_t> Books(const CPrisonStatistics& kLedger)
{
    std::vector<std::int32_t> kFigures{kLedger.GetBalance()};
    for (const bool bYearly : {false, true})
        for (const CFinanceSubPanel::Figure& kFigure : CFinanceSubPanel::Figures(kLedger, bYearly, 0))
            kFigures.push_back(kFigure.m_iValue);
    return kFigures;
}

// A canteen bought and put on the yard, then (when asked) demolished: the
// price stays spent. Saved and loaded, the books are as they were; a save
// whose statistics line ends after its twenty values (an older one) takes
// the purchases from what still stands, as it always did.
void CheckBooksAcrossASave(bool bDemolish)
{
    CGame kGame;
    {
        ASSERT_TRUE(CHeadlessPrison::EnterLevel(kGame, 17));
        CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        ASSERT_NE(pkYard, nullptr);
        CPrisonStatistics* pkLedger = kGame.GetStatistics();
        const std::int32_t iBefore = pkLedger->m_iPurchases;
        pkLedger->m_usPrisonLevel = 3;
        CBaseObject* pkCanteen = CHeadlessPrison::Commit(kGame, {"WorldObjectFactory", "canteen_food"}, *pkYard,
                                                         20 * pkYard->GetColumns() + 2, true);
        ASSERT_NE(pkCanteen, nullptr);
        const std::int32_t iPrice = pkCanteen->GetRecord().m_usPrice;
        ASSERT_GT(iPrice, 0);
        for (int i = 0; i < 20; ++i)
            kGame.StepSimulation(FRAME);
        ASSERT_EQ(pkLedger->m_iPurchases, iBefore + iPrice);
        if (bDemolish)
        {
            CDynamicObjectManager::GetInstance()->DestroyObject(pkCanteen, false);
            for (int i = 0; i < 4; ++i)
                kGame.StepSimulation(FRAME);
        }
        pkLedger->UpdateTotals();
        EXPECT_EQ(pkLedger->m_iPurchases, iBefore + iPrice);
        const std::vector<std::int32_t> kBooks = Books(*pkLedger);
        const std::string kLine = pkLedger->FormatLine();

        ASSERT_TRUE(kGame.SaveGame("maps/books.fds"));
        ASSERT_TRUE(kGame.LoadGame("maps/books.fds"));
        pkLedger = kGame.GetStatistics();
        ASSERT_NE(pkLedger, nullptr);
        EXPECT_EQ(pkLedger->m_iPurchases, iBefore + iPrice);
        EXPECT_EQ(Books(*pkLedger), kBooks);
        EXPECT_EQ(pkLedger->FormatLine(), kLine);
        // Loaded again: counted once, not on top of the first load's.
        ASSERT_TRUE(kGame.LoadGame("maps/books.fds"));
        EXPECT_EQ(Books(*kGame.GetStatistics()), kBooks);

        // The same save with the line cut back to its twenty values.
        std::string kBytes = ReadFileBytes("maps/books.fds");
        const std::size_t uiLine = kBytes.find(kLine + "\r\n");
        ASSERT_NE(uiLine, std::string::npos);
        const std::string kTwenty = kLine.substr(0, kLine.rfind(','));
        kBytes.replace(uiLine, kLine.size(), kTwenty);
        WriteFileBytes("maps/twenty.fds", kBytes);
        ASSERT_TRUE(kGame.LoadGame("maps/twenty.fds"));
        pkLedger = kGame.GetStatistics();
        EXPECT_EQ(pkLedger->m_iPurchases, iBefore + (bDemolish ? 0 : iPrice));
        const std::string kLoaded = pkLedger->FormatLine();
        EXPECT_EQ(kLoaded.substr(0, kLoaded.rfind(',')), kTwenty);
        kGame.Shutdown();
    }
}

TEST_F(CSaveFileTest, SavingAndLoadingLeavesTheBooksAsTheyWereAfterADemolition)
{
    CheckBooksAcrossASave(true);
}

TEST_F(CSaveFileTest, SavingAndLoadingLeavesTheBooksAsTheyWereWithEverythingStanding)
{
    CheckBooksAcrossASave(false);
}

// What stands inside the buildings, as it shows from outside: for each
// placed object not a building, its name and whether its model is in the
// world.
std::multiset<std::string> ShownInside()
{
    std::multiset<std::string> kShown;
    CDynamicObjectManager* pkObjects = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkObjects->GetObjectAt(i); ++i)
    {
        const auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject);
        if (pkPlaced == nullptr || pkPlaced->IsBuilding() || CWorldObject::FindOwnerOf(pkPlaced->GetGrid()) == nullptr)
            continue;
        kShown.insert(std::string(pkPlaced->GetName() != nullptr ? pkPlaced->GetName() : "?") +
                      (pkPlaced->GetWorld() != nullptr ? " shown" : " hidden"));
    }
    return kShown;
}

// Cells put in a block show from outside once the player has left it; a
// load shows them the same at once, without the block entered and left.
TEST_F(CSaveFileTest, WhatStandsInsideABuildingShowsFromOutsideAtOnceAfterALoad)
{
    CGame kGame;
    ASSERT_TRUE(BuildPrison(kGame));
    const std::multiset<std::string> kBefore = ShownInside();
    ASSERT_EQ(kBefore.count("prison1/cellblocks/cell_double.nif|Scene Root shown"), 2u);
    ASSERT_TRUE(kGame.SaveGame("maps/inside.fds"));
    ASSERT_TRUE(kGame.LoadGame("maps/inside.fds"));
    EXPECT_EQ(ShownInside(), kBefore);
    std::size_t uiCells = 0;
    CDynamicObjectManager* pkObjects = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkObjects->GetObjectAt(i); ++i)
        if (dynamic_cast<CCell*>(pkObject) != nullptr)
        {
            ++uiCells;
            EXPECT_EQ(pkObject->GetWorld(), static_cast<COrvaneWorld*>(kGame.GetWorld()));
        }
    EXPECT_EQ(uiCells, 2u);
    kGame.Shutdown();
}
} // namespace
