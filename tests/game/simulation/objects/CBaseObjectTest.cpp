#include "game/simulation/objects/CBaseObject.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"
#include "tools/COrvaneDemoData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace
{

// A usable object: it wants a user, or is unattractive, as told.
class UsableObject : public CBaseObject
{
public:
    bool WantsUser() const override { return m_bWants; }
    bool IsUnattractive() const override { return m_bUnattractive; }
    bool m_bWants = true;
    bool m_bUnattractive = false;
};

// A building: its record of a file without version stops before posts.
class Building : public CBaseObject
{
public:
    bool IsBuilding() const override { return true; }
};

class CBaseObjectTest : public PrisonTest
{
protected:
    CPrisonStatistics& Ledger() { return *m_pkManager->GetStatistics(); }

    // A floor of 8 x 8 cells of size 2 in a stack of its own, numbered 1.
    CBlockGrid* Floor()
    {
        CGridDesc kDesc;
        kDesc.m_aiNumbers[0] = 1;
        kDesc.m_aiNumbers[1] = 8;
        kDesc.m_aiNumbers[2] = 8;
        kDesc.m_aiNumbers[3] = 0;
        kDesc.m_aiNumbers[4] = 2;
        kDesc.m_ucOwnStack = 1;
        return CBlockGridManager::GetInstance()->CreateGrid(kDesc);
    }

    // Loads an object of the kind from the template by hand, as its
    // factory would.
    template <typename Kind> void Build(Kind& kObject, const char* pcTemplate)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
        kDesc.m_pkType = m_pkManager->FactoryNamed("PathableObjectFactory");
        kDesc.m_ucMode = 1;
        kObject.Load(kDesc);
    }

    // The model's node takes the position, as the world's scene step does.
    static void Settle(COrvaneObject& kObject)
    {
        kObject.Update(0.0f);
        if (COrvaneComposite* pkModel = kObject.GetModel())
            pkModel->UpdateNode(0.0f);
    }

    // Stands the object on the floor at the cell's centre.
    static void Put(CBaseObject& kObject, CBlockGrid& kFloor, std::int32_t iCell)
    {
        NiVec3 kAt;
        kFloor.CellPosition(iCell, kAt, true);
        kObject.SetPosition(kAt, 0);
        Settle(kObject);
        ASSERT_TRUE(kObject.PlaceAt(kAt, &kFloor));
    }
};

TEST_F(CBaseObjectTest, PostsComeFromTheModelsStaffRootNodesInOrderWithDrawnPeople)
{
    m_kHost.m_kClock.m_sYearOffset = 2;
    NiSeedRandom(11);
    CBaseObject* pkRoom = MakeObject("guardroom");
    ASSERT_NE(pkRoom, nullptr);
    NiSeedRandom(11);
    const auto& kPosts = pkRoom->GetPosts();
    ASSERT_EQ(kPosts.size(), 3u);
    const char* const apcTexts[] = {"security", "support_female", "cook"};
    const std::uint16_t ausCategories[] = {0, 2, 3};
    for (std::size_t i = 0; i < 3; ++i)
    {
        const CStaffPost& kPost = *kPosts[i];
        const bool bFemale = i == 1;
        EXPECT_EQ(kPost.m_kHeadTexturePath, std::string("prison1/guardroom/") + apcTexts[i] + ".tga");
        EXPECT_EQ(kPost.m_usAge, NiRand() % 20 + 18);
        EXPECT_EQ(kPost.m_uiGender, bFemale ? 1u : 0u);
        EXPECT_EQ(kPost.m_usFirstName, NiRand() % (bFemale ? 2 : 3));
        EXPECT_EQ(kPost.m_usSurname, NiRand() % 4);
        EXPECT_EQ(kPost.m_usStarSign, NiRand() % 12);
        EXPECT_EQ(kPost.m_usArrivalYear, 2007);
        EXPECT_EQ(kPost.m_usWage, 25);
        EXPECT_EQ(kPost.GetCategory(), ausCategories[i]);
        EXPECT_EQ(kPost.m_usHealth, 100);
        EXPECT_EQ(kPost.m_uiMood, 1u);
        ASSERT_NE(kPost.m_pkNode, nullptr);
        EXPECT_EQ(pkRoom->FindPost(*kPost.m_pkNode), &kPost);
    }
    EXPECT_EQ(pkRoom->FindPost(NiNodeAttachment()), nullptr);
    // Price is the parameter after width and depth.
    EXPECT_EQ(pkRoom->GetRecord().m_usPrice, 500);
    EXPECT_EQ(pkRoom->GetRecord().m_pkOwner, pkRoom);
    EXPECT_EQ(pkRoom->GetWidth(), 4);
    // All three are staff, booked at registration.
    EXPECT_EQ(Ledger().m_kStaff.size(), 3u);
    EXPECT_EQ(Ledger().m_iWages, 75);
    EXPECT_EQ(Ledger().GetStaffGroup(2)->m_usCount, 1);
    EXPECT_EQ(Ledger().GetStaffGroup(3)->m_usWages, 25);

    // A visitor post is paid nothing and is no staff.
    CBaseObject* pkVisits = MakeObject("visits");
    ASSERT_NE(pkVisits, nullptr);
    ASSERT_EQ(pkVisits->GetPosts().size(), 1u);
    EXPECT_EQ(pkVisits->GetPosts()[0]->GetCategory(), CStaffPost::VISITOR);
    EXPECT_EQ(pkVisits->GetPosts()[0]->m_usWage, 0);
    EXPECT_EQ(Ledger().m_kStaff.size(), 3u);

    // Without name lists the names are 0 and nothing is drawn for them.
    m_kSpawn.m_usMaleNameCount = 0;
    m_kSpawn.m_usFemaleNameCount = 0;
    m_kSpawn.m_usSurnameCount = 0;
    NiSeedRandom(5);
    CBaseObject* pkNameless = MakeObject("guardroom");
    NiSeedRandom(5);
    for (const auto& pkPost : pkNameless->GetPosts())
    {
        EXPECT_EQ(pkPost->m_usAge, NiRand() % 20 + 18);
        EXPECT_EQ(pkPost->m_usFirstName, 0);
        EXPECT_EQ(pkPost->m_usSurname, 0);
        EXPECT_EQ(pkPost->m_usStarSign, NiRand() % 12);
    }
}

TEST_F(CBaseObjectTest, ParametersAreReadAtTheCursorWhichStopsAtTheEnd)
{
    CBaseObject kObject;
    Build(kObject, "guardroom");
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("guardroom");
    // The three parameters are read: the list is exhausted.
    EXPECT_EQ(kObject.GetParameterCursor(), 3);
    EXPECT_EQ(kObject.ReadIntParam(kDesc), 0);
    EXPECT_EQ(kObject.ReadFloatParam(kDesc), 0.0f);
    EXPECT_EQ(kObject.ReadStringParam(kDesc), "");
    EXPECT_EQ(kObject.GetParameterCursor(), 3);
    CBaseObject kBench;
    Build(kBench, "bench");
    EXPECT_EQ(kBench.GetRecord().m_usPrice, 0);
}

TEST_F(CBaseObjectTest, BuildingNeedsTheMoneyAndTheLevel)
{
    CBaseObject* pkRoom = MakeObject("guardroom");
    ASSERT_NE(pkRoom, nullptr);
    Ledger().m_iStartingFunds = 500;
    Ledger().m_iWages = 0;
    Ledger().UpdateTotals();
    EXPECT_TRUE(pkRoom->CanBuild());
    Ledger().m_iStartingFunds = 499;
    Ledger().UpdateTotals();
    EXPECT_FALSE(pkRoom->CanBuild());
    Ledger().m_iStartingFunds = 5000;
    Ledger().UpdateTotals();
    pkRoom->GetObjectStats()->m_usRequiredLevel = 2;
    Ledger().m_usPrisonLevel = 1;
    EXPECT_FALSE(pkRoom->CanBuild());
    Ledger().m_usPrisonLevel = 2;
    EXPECT_TRUE(pkRoom->CanBuild());
}

TEST_F(CBaseObjectTest, PlacingOccupiesTheFootprintMovesCharactersAndCountsOnce)
{
    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    CBaseObject* pkRoom = MakeObject("execution");
    ASSERT_NE(pkRoom, nullptr);
    EXPECT_FALSE(pkRoom->IsPlacementValid(false));
    Put(*pkRoom, *pkFloor, 27);
    ASSERT_EQ(pkRoom->GetRows(), 1);
    ASSERT_EQ(pkRoom->GetColumns(), 1);
    const std::int32_t iCell = pkRoom->GetAnchor();
    EXPECT_TRUE(pkRoom->IsPlacementValid(false));

    // A connector on the cell makes it invalid.
    NiVec3 kAt;
    pkFloor->CellPosition(iCell, kAt, true);
    pkFloor->GetBlock(iCell)->SetState(CBlock::STATE_DOOR);
    EXPECT_FALSE(pkRoom->IsPlacementValid(false));
    pkFloor->GetBlock(iCell)->SetState(CBlock::STATE_FREE);

    TestCharacter* pkInTheWay = MakeCharacter(pkFloor);
    TestCharacter* pkAside = MakeCharacter(pkFloor);
    pkInTheWay->m_kCellsAhead = {iCell};
    pkAside->m_kCellsAhead = {iCell + 1};
    const std::int32_t iPurchases = Ledger().m_iPurchases;
    pkRoom->Place();
    EXPECT_TRUE(pkRoom->IsPlaced());
    EXPECT_EQ(pkFloor->GetBlock(iCell)->GetOccupant(), pkRoom);
    EXPECT_EQ(pkFloor->GetBlock(iCell)->GetState(), COrvaneBlock::STATE_BLOCKING);
    EXPECT_FALSE(pkRoom->IsPlacementValid(false));
    EXPECT_EQ(pkInTheWay->m_kTold, (std::vector<std::string>{"relocate"}));
    EXPECT_TRUE(pkAside->m_kTold.empty());
    EXPECT_TRUE(pkFloor->IsMember(pkRoom));
    EXPECT_EQ(Ledger().m_iPurchases, iPurchases + 900);
    EXPECT_EQ(Ledger().m_usExecutionRooms, 1);
    // Once only.
    pkRoom->AddToStatistics();
    EXPECT_EQ(Ledger().m_iPurchases, iPurchases + 900);
    EXPECT_EQ(Ledger().m_usExecutionRooms, 1);

    pkRoom->Unplace();
    EXPECT_FALSE(pkRoom->IsPlaced());
    EXPECT_EQ(pkFloor->GetBlock(iCell)->GetOccupant(), nullptr);
    EXPECT_FALSE(pkFloor->IsMember(pkRoom));
    EXPECT_EQ(pkAside->m_kTold, (std::vector<std::string>{"object gone"}));
    // Still counted until it goes.
    EXPECT_TRUE(pkRoom->IsInStatistics());
    pkRoom->Unplace();
    EXPECT_EQ(pkAside->m_kTold.size(), 1u);
    m_pkManager->DestroyObject(pkRoom, true);
    EXPECT_EQ(Ledger().m_usExecutionRooms, 0);

    // Never counted: removal changes nothing.
    CBaseObject kLoose;
    kLoose.RemoveFromStatistics();
    EXPECT_EQ(Ledger().m_usExecutionRooms, 0);
}

TEST_F(CBaseObjectTest, EachMorningPaysTheWagesAndTheFirstDayOfAYearAgesThePeople)
{
    CBaseObject* pkRoom = MakeObject("guardroom");
    CBaseObject* pkVisits = MakeObject("visits");
    ASSERT_TRUE(pkRoom && pkVisits);
    Ledger().m_iWages = 0;
    m_kHost.m_kClock.m_usDay = 2;
    m_kHost.m_kClock.m_ucDayRolled = 1;
    const std::uint16_t usAge = pkRoom->GetPosts()[0]->m_usAge;
    pkRoom->DailyUpdate();
    pkVisits->DailyUpdate();
    EXPECT_EQ(Ledger().m_iWages, 75);
    EXPECT_EQ(pkRoom->GetPosts()[0]->m_usAge, usAge);

    // A new year: everyone waged ages; past 65 a new person takes the post.
    m_kHost.m_kClock.m_usDay = 0;
    m_kHost.m_kClock.m_sYearOffset = 3;
    CStaffPost& kOld = *pkRoom->GetPosts()[1];
    kOld.m_usAge = 65;
    const std::uint16_t usVisitorAge = pkVisits->GetPosts()[0]->m_usAge;
    NiSeedRandom(3);
    pkRoom->DailyUpdate();
    NiSeedRandom(3);
    EXPECT_EQ(Ledger().m_iWages, 150);
    EXPECT_EQ(pkRoom->GetPosts()[0]->m_usAge, usAge + 1);
    EXPECT_EQ(pkRoom->GetPosts()[0]->m_usTerm, 3);
    EXPECT_EQ(kOld.m_usAge, NiRand() % 10 + 25);
    EXPECT_EQ(kOld.m_usFirstName, NiRand() % 2);
    EXPECT_EQ(kOld.m_usArrivalYear, 2008);
    EXPECT_EQ(kOld.m_usTerm, 0);
    pkVisits->DailyUpdate();
    EXPECT_EQ(pkVisits->GetPosts()[0]->m_usAge, usVisitorAge);
    EXPECT_EQ(Ledger().m_iWages, 150);
}

TEST_F(CBaseObjectTest, QueriesFindPlacedObjectsWantingUsersWithinReachAndNearest)
{
    CBlockGrid* pkFloor = Floor();
    UsableObject kBench;
    Build(kBench, "execution");
    Put(kBench, *pkFloor, 27);
    TestCharacter* pkSeeker = MakeCharacter(pkFloor);
    pkSeeker->SetPosition(NiVec3(kBench.GetModelPosition()->x + 3.0f, 10.0f, kBench.GetModelPosition()->z + 4.0f), 0);
    Settle(*pkSeeker);

    CObjectQuery kQuery;
    kQuery.m_pkSeeker = pkSeeker;
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kBench.Place();
    EXPECT_TRUE(kBench.MatchQuery(kQuery));
    kQuery.m_pkSkip = &kBench;
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kQuery.m_pkSkip = nullptr;
    // The distance limit is horizontal: 25 is within, 24 is not.
    kQuery.m_fMaxDistanceSquared = 25.0f;
    EXPECT_TRUE(kBench.MatchQuery(kQuery));
    kQuery.m_fMaxDistanceSquared = 24.0f;
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kQuery.m_fMaxDistanceSquared = 0.0f;
    // Nearest only: below the best distance, which it becomes.
    kQuery.m_ucNearestOnly = 1;
    kQuery.m_fBestDistance = 12.0f;
    EXPECT_TRUE(kBench.MatchQuery(kQuery));
    EXPECT_NEAR(kQuery.m_fBestDistance, std::sqrt(9.0f + 16.0f + 100.0f), 1e-4f);
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kQuery.m_ucNearestOnly = 0;
    // Not wanting a user; the unattractive search.
    kBench.m_bWants = false;
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kQuery.m_ucWantUnattractive = 1;
    EXPECT_FALSE(kBench.MatchQuery(kQuery));
    kBench.m_bUnattractive = true;
    EXPECT_TRUE(kBench.MatchQuery(kQuery));
}

TEST_F(CBaseObjectTest, TheRecordRoundTripsAndRestoresPeopleIntoThePosts)
{
    CBlockGrid* pkFloor = Floor();
    CBaseObject* pkRoom = MakeObject("guardroom");
    ASSERT_NE(pkRoom, nullptr);
    pkRoom->SetDescription(7, 3);
    pkRoom->GetObjectStats()->m_ausSaved[0] = 4;
    pkRoom->GetObjectStats()->m_usAttraction = 60;
    pkRoom->SetGrid(pkFloor);
    pkRoom->GetPosts()[0]->m_usAge = 40;
    pkRoom->GetPosts()[1]->m_uiGender = 0x10001;
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("room.txt", COrvaneFile::MODE_WRITE), 1);
        ASSERT_EQ(pkRoom->SaveState(kFile), 1);
        ASSERT_TRUE(kFile.Flush());
    }
    const std::string kBytes = ReadFileBytes("room.txt");
    EXPECT_NE(kBytes.find("\r\n1\r\n"), std::string::npos);
    EXPECT_NE(kBytes.find("\r\n4,0,0,60\r\n7,3\r\n3\r\n"), std::string::npos);
    const CStaffPost& kFirst = *pkRoom->GetPosts()[0];
    EXPECT_NE(kBytes.find("\r\n0,0,1,0,100,0," + std::to_string(kFirst.m_usFirstName) + "," +
                          std::to_string(kFirst.m_usSurname) + ",0,40,2005,0,0," +
                          std::to_string(kFirst.m_usStarSign) + ",0,0,25,0\r\n"),
              std::string::npos);

    // A fresh object of the model restores two of the three people.
    const std::size_t uiLastPost = kBytes.rfind("\r\n", kBytes.size() - 3);
    std::string kTwoPosts = kBytes.substr(0, uiLastPost + 2);
    kTwoPosts.replace(kTwoPosts.find("\r\n7,3\r\n3\r\n"), 10, "\r\n7,3\r\n2\r\n");
    WriteFileBytes("two.txt", kTwoPosts + "next record\r\n");
    CBaseObject* pkLoaded = MakeObject("guardroom");
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("two.txt", COrvaneFile::MODE_READ), 1);
        std::string kSkip;
        kFile.ReadLine(kSkip);
        kFile.ReadLine(kSkip);
        ASSERT_EQ(pkLoaded->LoadState(kFile), 1);
        kFile.ReadLine(kSkip);
        EXPECT_EQ(kSkip, "next record");
    }
    EXPECT_EQ(pkLoaded->GetRestoredPosts().size(), 2u);
    EXPECT_EQ(pkLoaded->GetDescriptionList(), 7);
    EXPECT_EQ(pkLoaded->GetRecord().m_usAttraction, 60);
    const std::uint16_t usThirdAge = pkLoaded->GetPosts()[2]->m_usAge;
    pkLoaded->Reattach();
    EXPECT_EQ(pkLoaded->GetGrid(), pkFloor);
    EXPECT_EQ(pkLoaded->GetLabelWidget(), nullptr);
    EXPECT_TRUE(pkLoaded->GetRestoredPosts().empty());
    EXPECT_EQ(static_cast<const CCharacterStats&>(*pkLoaded->GetPosts()[0]),
              static_cast<const CCharacterStats&>(*pkRoom->GetPosts()[0]));
    EXPECT_EQ(pkLoaded->GetPosts()[1]->m_uiGender, 1u);
    EXPECT_EQ(pkLoaded->GetPosts()[2]->m_usAge, usThirdAge);
    EXPECT_EQ(pkLoaded->GetPosts()[0]->m_kHeadTexturePath, "prison1/guardroom/security.tga");

    // More restored people than posts: only the posts are filled.
    CBaseObject* pkVisits = MakeObject("visits");
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("room.txt", COrvaneFile::MODE_READ), 1);
        std::string kSkip;
        kFile.ReadLine(kSkip);
        kFile.ReadLine(kSkip);
        ASSERT_EQ(pkVisits->LoadState(kFile), 1);
    }
    pkVisits->Reattach();
    ASSERT_EQ(pkVisits->GetPosts().size(), 1u);
    EXPECT_EQ(pkVisits->GetPosts()[0]->m_usAge, 40);
}

TEST_F(CBaseObjectTest, RecordsThatDoNotReadChangeNothingAndHostilePostLinesAreBounded)
{
    auto LoadFrom = [](CBaseObject& kObject, const std::string& kBytes)
    {
        WriteFileBytes("record.txt", "m\r\nt\r\n" + kBytes);
        COrvaneFile kFile;
        EXPECT_EQ(kFile.Open("record.txt", COrvaneFile::MODE_READ), 1);
        std::string kSkip;
        kFile.ReadLine(kSkip);
        kFile.ReadLine(kSkip);
        return kObject.LoadState(kFile);
    };
    const std::string kHead = "1.00000,0.00000,2.00000,90.0000\r\n1\r\n3,1,1\r\n";
    CBaseObject* pkRoom = MakeObject("guardroom");
    pkRoom->SetDescription(9, 9);
    // Cut before the description line, and before the post count.
    EXPECT_EQ(LoadFrom(*pkRoom, kHead + "1,2,3,4\r\n"), 0);
    EXPECT_EQ(LoadFrom(*pkRoom, kHead + "1,2,3,4\r\n5,6\r\n"), 0);
    EXPECT_EQ(pkRoom->GetDescriptionList(), 9);
    EXPECT_EQ(pkRoom->GetRecord().m_ausSaved[0], 0);
    EXPECT_EQ(pkRoom->GetAnchor(), -1);

    // Short lines keep the defaults of the fields they lack; a number with
    // text after it reads as the stream reads it.
    ASSERT_EQ(LoadFrom(*pkRoom, kHead + "1,2,3x\r\n5\r\n2 posts\r\n1,2\r\n,, 7\r\n"), 1);
    EXPECT_EQ(pkRoom->GetRecord().m_ausSaved[2], 3);
    EXPECT_EQ(pkRoom->GetRecord().m_usAttraction, 100);
    EXPECT_EQ(pkRoom->GetDescriptionList(), 5);
    EXPECT_EQ(pkRoom->GetDescriptionEntry(), 0);
    EXPECT_EQ(pkRoom->GetAnchor(), 3);
    ASSERT_EQ(pkRoom->GetRestoredPosts().size(), 2u);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[0]->m_uiGender, 1u);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[0]->m_uiGang, 2u);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[0]->m_uiMood, 1u);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[0]->m_usHealth, 100);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[1]->m_uiGender, 7u);
    EXPECT_EQ(pkRoom->GetRestoredPosts()[1]->m_uiGang, 0u);

    // Every number of the object's lines that is not one, or lies outside
    // its field, fails the record at that line, the object untouched; so
    // does a count of more posts than the file holds.
    struct Damage
    {
        const char* m_pcLines; // after the grid object's lines
        int m_iBadLine;        // of those lines, from 1
    };
    const Damage akDamages[] = {
        {"x,0,0,50\r\n2,3\r\n0\r\n", 1},         {"1,x,0,50\r\n2,3\r\n0\r\n", 1},
        {"0,0,0,70000\r\n2,3\r\n0\r\n", 1},      {"-1,0,0,50\r\n2,3\r\n0\r\n", 1},
        {"0,0,0,50\r\nx,3\r\n0\r\n", 2},         {"0,0,0,50\r\n2,65536\r\n0\r\n", 2},
        {"0,0,0,50\r\n2,-\r\n0\r\n", 2},         {"0,0,0,50\r\n2,3\r\nx\r\n", 3},
        {"0,0,0,50\r\n2,3\r\n-1\r\n", 3},        {"0,0,0,50\r\n2,3\r\n65536\r\n", 3},
        {"0,0,0,50\r\n2,3\r\n4000000000\r\n", 3}, {"0,0,0,50\r\n2,3\r\n\r\n", 3},
        {"0,0,0,50\r\n2,3\r\n1\r\nx,0\r\n", 4}, {"0,0,0,50\r\n2,3\r\n1\r\n0,0,0,70000\r\n", 4},
        {"0,0,0,50\r\n2,3\r\n2\r\n0,1\r\n1,0,abc\r\n", 5},
        {"0,0,0,50\r\n2,3\r\n2\r\n0,1\r\n", 5},
    };
    CBaseObject* pkUntouched = MakeObject("guardroom");
    pkUntouched->SetDescription(9, 9);
    for (const Damage& kDamage : akDamages)
    {
        SCOPED_TRACE(kDamage.m_pcLines);
        WriteFileBytes("record.txt", "m\r\nt\r\n" + kHead + kDamage.m_pcLines + "next\r\n");
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("record.txt", COrvaneFile::MODE_READ), 1);
        std::string kSkip;
        kFile.ReadLine(kSkip);
        kFile.ReadLine(kSkip);
        EXPECT_EQ(pkUntouched->LoadState(kFile), 0);
        // Two name lines and three grid object lines before the object's;
        // the record stops at its bad line (the last case's is "next").
        EXPECT_EQ(kFile.GetLinesRead(), static_cast<std::uint32_t>(5 + kDamage.m_iBadLine));
        EXPECT_EQ(pkUntouched->GetDescriptionList(), 9);
        EXPECT_EQ(pkUntouched->GetRecord().m_usAttraction, 100);
        EXPECT_TRUE(pkUntouched->GetRestoredPosts().empty());
    }

    // A building of a file without version ends after the description.
    Building kBuilding;
    m_kHost.m_usSaveVersion = 0;
    ASSERT_EQ(LoadFrom(kBuilding, kHead + "0,0,0,50\r\n2,3\r\n"), 1);
    EXPECT_EQ(kBuilding.GetDescriptionEntry(), 3);
    EXPECT_TRUE(kBuilding.GetRestoredPosts().empty());
    // Other objects still read their posts.
    EXPECT_EQ(LoadFrom(*pkRoom, kHead + "0,0,0,50\r\n2,3\r\n"), 0);
    m_kHost.m_usSaveVersion = 1;
    EXPECT_EQ(LoadFrom(kBuilding, kHead + "0,0,0,50\r\n2,3\r\n"), 0);
}

TEST_F(CBaseObjectTest, APreviewDestroyedUnplacedGivesBackTheWagesItsPostsBooked)
{
    Ledger().m_iWages = 10;
    CBaseObject* pkPreview = MakeObject("guardroom");
    ASSERT_NE(pkPreview, nullptr);
    EXPECT_EQ(Ledger().m_iWages, 85);
    m_pkManager->DestroyObject(pkPreview, true);
    EXPECT_EQ(Ledger().m_iWages, 10);
    EXPECT_TRUE(Ledger().m_kStaff.empty());
    EXPECT_EQ(Ledger().GetStaffGroup(0)->m_usCount, 0);

    // A room that stood in the prison keeps what it booked.
    CBlockGrid* pkFloor = Floor();
    CBaseObject* pkRoom = MakeObject("guardroom");
    Put(*pkRoom, *pkFloor, 27);
    pkRoom->Place();
    m_pkManager->DestroyObject(pkRoom, true);
    EXPECT_EQ(Ledger().m_iWages, 85);
    EXPECT_EQ(pkFloor->GetMemberCount(), 0u);
    EXPECT_EQ(pkFloor->GetBlock(27)->GetOccupant(), nullptr);
}

} // namespace

namespace
{

using CBaseObjectRegistryTest = CBaseObjectTest;

TEST_F(CBaseObjectRegistryTest, ARemovedObjectLeavesItsFloorAtOnceAndTheDayPaysThePosts)
{
    CBlockGrid* pkFloor = Floor();
    CBaseObject* pkRoom = MakeObject("guardroom");
    CBaseObject* pkBench = MakeObject("execution");
    ASSERT_TRUE(pkRoom && pkBench);
    Put(*pkBench, *pkFloor, 27);
    pkBench->Place();
    const std::int32_t iCell = pkBench->GetAnchor();
    ASSERT_EQ(pkFloor->GetBlock(iCell)->GetOccupant(), pkBench);

    // The morning's step pays every placed object's posts.
    Ledger().m_iWages = 0;
    m_pkManager->NewDayStep();
    EXPECT_EQ(Ledger().m_iWages, 75);

    // Removed at the end of the update, but off its footprint now.
    m_pkManager->DestroyObject(pkBench, false);
    EXPECT_TRUE(m_pkManager->IsLive(pkBench));
    EXPECT_FALSE(pkBench->IsPlaced());
    EXPECT_EQ(pkFloor->GetBlock(iCell)->GetOccupant(), nullptr);
    EXPECT_FALSE(pkFloor->IsMember(pkBench));
    m_pkManager->UpdateObjects(0.0f);
    EXPECT_FALSE(m_pkManager->IsLive(pkBench));
}

TEST_F(CBaseObjectRegistryTest, ALoadedPrisonStandsItsObjectsOnTheirFloorsWithTheirPeople)
{
    CBlockGrid* pkFloor = Floor();
    CBaseObject* pkRoom = MakeObject("guardroom");
    ASSERT_NE(pkRoom, nullptr);
    Put(*pkRoom, *pkFloor, 27);
    pkRoom->Place();
    const std::int32_t iAnchor = pkRoom->GetAnchor();
    pkRoom->GetPosts()[2]->m_usAge = 61;
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("prison.fds", COrvaneFile::MODE_WRITE), 1);
        ASSERT_TRUE(m_pkManager->SaveObjects(kFile));
        ASSERT_TRUE(kFile.Flush());
    }
    m_pkManager->DestroyObject(pkRoom, true);
    ASSERT_EQ(pkFloor->GetBlock(iAnchor)->GetOccupant(), nullptr);

    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("prison.fds", COrvaneFile::MODE_READ), 1);
    ASSERT_TRUE(m_pkManager->LoadObjects(kFile));
    ASSERT_EQ(m_pkManager->GetLiveCount(), 1u);
    auto* pkLoaded = dynamic_cast<CBaseObject*>(m_pkManager->GetObjectAt(0));
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_FALSE(pkLoaded->IsPlaced());
    ASSERT_TRUE(m_pkManager->RelinkAfterLoad());
    EXPECT_TRUE(pkLoaded->IsPlaced());
    EXPECT_EQ(pkLoaded->GetGrid(), pkFloor);
    EXPECT_EQ(pkLoaded->GetAnchor(), iAnchor);
    EXPECT_EQ(pkFloor->GetBlock(iAnchor)->GetOccupant(), pkLoaded);
    EXPECT_TRUE(pkFloor->IsMember(pkLoaded));
    EXPECT_TRUE(pkLoaded->IsInStatistics());
    EXPECT_EQ(pkLoaded->GetPosts()[2]->m_usAge, 61);
}

} // namespace

namespace
{

TEST_F(CBaseObjectRegistryTest, TheDemoPrisonsRoomsCarryTheirPosts)
{
    ASSERT_TRUE(BuildDemoData("demo"));
    ASSERT_TRUE(std::filesystem::exists("demo/prison1/admin/admin_staff_security_indoor.nif"));
    std::filesystem::current_path("demo");
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    m_pkManager->LoadPrisonTemplates(kDocument);
    CBaseObject* pkBlock = MakeObject("admin_staff_security");
    ASSERT_NE(pkBlock, nullptr);
    std::vector<std::uint16_t> kCategories;
    for (const auto& pkPost : pkBlock->GetPosts())
        kCategories.push_back(pkPost->GetCategory());
    EXPECT_EQ(kCategories, (std::vector<std::uint16_t>{CStaffPost::SECURITY, CStaffPost::SUPPORT, CStaffPost::VISITOR}));
    EXPECT_EQ(pkBlock->GetPosts()[2]->m_kHeadTexturePath, "prison1/admin/visitor.tga");
    CBaseObject* pkExecution = MakeObject("execution_room");
    ASSERT_NE(pkExecution, nullptr);
    ASSERT_EQ(pkExecution->GetPosts().size(), 2u);
    EXPECT_EQ(pkExecution->GetPosts()[1]->m_uiGender, 1u);
    EXPECT_TRUE(MakeObject("canteen_food")->GetPosts().empty());
}

} // namespace
