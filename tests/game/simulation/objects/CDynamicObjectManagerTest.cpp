#include "game/simulation/objects/CDynamicObjectManager.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/support/CRecordingHost.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoPrison.h"

#include <filesystem>
#include <string>
#include <vector>

namespace
{

int s_iLiveCrates = 0;

// A saving object with a footprint, as placed furniture is.
class Crate : public COrvaneGridObject
{
public:
    Crate() { ++s_iLiveCrates; }
    ~Crate() override { --s_iLiveCrates; }
    std::int32_t GetEntityKind() const override { return 7; }
    void Update(float fDt) override
    {
        COrvaneGridObject::Update(fDt);
        ++m_iUpdates;
        if (m_pkVictim)
            m_pkManager->DestroyObject(m_pkVictim, false);
        m_pkVictim = nullptr;
    }
    void Put(const NiVec3& kPosition, float fHeading, std::int32_t iAnchor, std::int32_t iRows,
             std::int32_t iColumns)
    {
        Rotate(NiVec3::UNIT_Y, fHeading, false);
        SetPosition(kPosition, 0);
        COrvaneGridObject::Update(0.0f);
        m_iAnchor = iAnchor;
        m_iRows = iRows;
        m_iColumns = iColumns;
    }

    int m_iUpdates = 0;
    CDynamicObjectManager* m_pkManager = nullptr;
    COrvaneObject* m_pkVictim = nullptr;
};

// A saving object without a footprint, as a character is.
class Walker : public COrvaneGridEntity
{
public:
    std::int32_t GetEntityKind() const override { return 3; }
};

std::unique_ptr<COrvaneObject> MakeCrate()
{
    return std::make_unique<Crate>();
}

std::unique_ptr<COrvaneObject> MakeWalker()
{
    return std::make_unique<Walker>();
}

// A model file: a top node "Scene Root" over the node "Model" that an
// object moves.
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

const char* const DATA = "<TEMPLATES>\r\n"
                         "<PRISON1>\r\n"
                         "<BUILDINGS>\r\n<plans>\r\n"
                         "<crate>\r\nprison1/crate/crate.nif\r\n2\r\n2\r\n</crate>\r\n"
                         "</plans>\r\n</BUILDINGS>\r\n"
                         "<STAFF>\r\n<STAFF_SECURITY>\r\n<plans>\r\n"
                         "<guard>\r\nprison1/guard/guard.nif\r\n</guard>\r\n"
                         "</plans>\r\n</STAFF_SECURITY>\r\n</STAFF>\r\n"
                         "<FOG>\r\n<plans>\r\n</plans>\r\n<MIST>\r\n<plans>\r\n"
                         "<lamp>\r\nprison1/lamp/lamp.nif\r\n</lamp>\r\n"
                         "</plans>\r\n</MIST>\r\n</FOG>\r\n"
                         "</PRISON1>\r\n"
                         "<PRISON2>\r\n<YARD>\r\n<plans>\r\n"
                         "<bench>\r\nprison2/bench/bench.nif\r\n</bench>\r\n"
                         "</plans>\r\n</YARD>\r\n</PRISON2>\r\n"
                         "</TEMPLATES>\r\n";

const char* const CRATE = "prison1/crate/crate.nif|Scene Root";
const char* const GUARD = "prison1/guard/guard.nif|Scene Root";
const std::string FRESH_LINE = "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500,0";

class CDynamicObjectManagerTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        s_iLiveCrates = 0;
        CDynamicObjectManager::DestroyInstance();
        for (const char* pcModel : {"prison1/crate/crate.nif", "prison1/guard/guard.nif", "prison1/lamp/lamp.nif",
                                    "prison2/bench/bench.nif"})
            WriteModel(pcModel);
        WriteFileBytes("data.xml", DATA);
        ASSERT_TRUE(m_kDocument.Load("data.xml"));
    }

    void TearDown() override
    {
        CDynamicObjectManager::DestroyInstance();
        EngineFrameworkTest::TearDown();
    }

    // A registry with its factories and the prison's templates, crates made
    // by the cell factory and walkers by the guard factory.
    static void Prepare(CDynamicObjectManager& kManager, COrvaneTagTree& kDocument)
    {
        kManager.RegisterFactories();
        kManager.LoadPrisonTemplates(kDocument);
        static_cast<CGameObjectFactory*>(kManager.FactoryNamed("CellFactory"))->SetMaker(&MakeCrate);
        static_cast<CGameObjectFactory*>(kManager.FactoryNamed("SecurityGuardFactory"))->SetMaker(&MakeWalker);
    }

    static COrvaneObject* Make(CDynamicObjectManager& kManager, const char* pcFactory, const char* pcTemplate,
                               COrvaneBlockGrid* pkGrid = nullptr)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = kManager.FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        kDesc.m_pkGrid = pkGrid;
        return kManager.CreateObject(kManager.FindFactory(pcFactory, nullptr), kDesc);
    }

    // The scene step a level's world runs every frame: the models' nodes
    // take the positions their objects were given.
    static void SceneStep(CDynamicObjectManager& kManager)
    {
        for (std::uint32_t i = 0; COrvaneObject* pkObject = kManager.GetObjectAt(i); ++i)
            if (COrvaneComposite* pkModel = pkObject->GetModel())
                pkModel->UpdateNode(0.0f);
    }

    static bool Save(CDynamicObjectManager& kManager, const char* pcName)
    {
        SceneStep(kManager);
        COrvaneFile kFile;
        if (kFile.Open(pcName, COrvaneFile::MODE_WRITE) != 1)
            return false;
        const bool bSaved = kManager.SaveObjects(kFile);
        return kFile.Flush() && bSaved;
    }

    static bool Load(CDynamicObjectManager& kManager, const char* pcName)
    {
        COrvaneFile kFile;
        if (kFile.Open(pcName, COrvaneFile::MODE_READ) != 1)
            return false;
        return kManager.LoadObjects(kFile);
    }

    CRecordingHost m_kHost;
    COrvaneTagTree m_kDocument;
};

TEST_F(CDynamicObjectManagerTest, FactoriesAreFoundByTheFirstNameThatHoldsTheText)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    ASSERT_EQ(pkManager, CDynamicObjectManager::GetInstance());
    const std::vector<std::string> kNames{"orvaneObjectFactory",     "GameCharacterFactory",  "PrisonerFactory",
                                          "SecurityGuardFactory",    "MedicalFactory",        "SupportStaffFactory",
                                          "MaintenanceStaffFactory", "CellFactory",           "WorkObjectFactory",
                                          "FoodObjectFactory",       "HospitalObjectFactory", "AdminRoomFactory",
                                          "ScalableObjectFactory",   "PathableObjectFactory", "WorldObjectFactory",
                                          "BaseObjectFactory",       "SpawnObjectFactory"};
    ASSERT_EQ(pkManager->GetFactoryCount(), kNames.size());
    for (std::size_t i = 0; i < kNames.size(); ++i)
        EXPECT_STREQ(pkManager->GetFactory(i)->GetName(), kNames[i].c_str());
    ASSERT_NE(pkManager->GetStatistics(), nullptr);

    CWorld kWorld;
    COrvaneObjectFactory* pkCells = pkManager->FindFactory("CellFactory", &kWorld);
    ASSERT_NE(pkCells, nullptr);
    EXPECT_STREQ(pkCells->GetName(), "CellFactory");
    EXPECT_EQ(pkCells->GetWorld(), &kWorld);
    EXPECT_STREQ(pkManager->FindFactory("orvaneObjectFactory", nullptr)->GetName(), "orvaneObjectFactory");
    // Substrings: the first in registration order wins.
    EXPECT_STREQ(pkManager->FindFactory("ObjectFactory", nullptr)->GetName(), "orvaneObjectFactory");
    EXPECT_STREQ(pkManager->FindFactory("StaffFactory", nullptr)->GetName(), "SupportStaffFactory");
    EXPECT_STREQ(pkManager->FindFactory("Pathable", nullptr)->GetName(), "PathableObjectFactory");
    EXPECT_EQ(pkManager->FindFactory("cellfactory", nullptr), nullptr);
    EXPECT_EQ(pkManager->FindFactory("KitchenFactory", &kWorld), nullptr);
    EXPECT_EQ(pkCells->GetWorld(), &kWorld);

    // A factory whose kind of object is missing makes nothing.
    COrvaneObjectDesc kDesc;
    EXPECT_EQ(pkManager->CreateObject(pkManager->FindFactory("PrisonerFactory", nullptr), kDesc), nullptr);
    EXPECT_EQ(pkManager->GetLiveCount(), 0u);
    // The default factory makes a plain object.
    EXPECT_NE(pkManager->CreateObject(pkManager->FindFactory("orvaneObjectFactory", nullptr), kDesc), nullptr);
    EXPECT_EQ(pkManager->GetLiveCount(), 1u);
}

TEST_F(CDynamicObjectManagerTest, TheLevelPicksItsPrisonAndFogIsNoGroup)
{
    CDynamicObjectManager kManager;
    kManager.RegisterFactories();
    kManager.LoadPrisonTemplates(m_kDocument);
    // "<FOG>" holds plans but is searched instead; its child is a group.
    ASSERT_EQ(kManager.GetGroupCount(), 3u);
    EXPECT_EQ(kManager.GetGroup(0)->m_kName, "<BUILDINGS>");
    EXPECT_EQ(kManager.GetGroup(1)->m_kName, "<STAFF_SECURITY>");
    EXPECT_EQ(kManager.GetGroup(2)->m_kName, "<MIST>");
    EXPECT_EQ(kManager.FindTemplateGroup("STAFF"), 1);
    EXPECT_EQ(kManager.FindTemplateGroup("FOG"), -1);
    COrvaneObjectTemplate* pkGuard = kManager.FindTemplate("guard");
    ASSERT_NE(pkGuard, nullptr);
    EXPECT_EQ(kManager.FindGroupOfTemplate(pkGuard), kManager.GetGroup(1));
    EXPECT_EQ(kManager.FindGroupOfTemplate(nullptr), nullptr);
    EXPECT_EQ(kManager.FindTemplate("bench"), nullptr);

    // Level 1 reads "PRISON2", replacing the groups.
    m_kHost.m_uiLevel = 1;
    kManager.LoadPrisonTemplates(m_kDocument);
    ASSERT_EQ(kManager.GetGroupCount(), 1u);
    EXPECT_EQ(kManager.GetGroup(0)->m_kName, "<YARD>");
    EXPECT_NE(kManager.FindTemplate("bench"), nullptr);
    EXPECT_EQ(kManager.FindTemplate(GUARD), nullptr);
}

TEST_F(CDynamicObjectManagerTest, ObjectsMadeForAFloorJoinItAndLeaveItWhenDestroyed)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    CBlockGrid kFloor;
    kFloor.Setup(4, 4, NiVec3::ZERO, 1, 2);
    auto* pkWalker = static_cast<Walker*>(Make(kManager, "SecurityGuardFactory", GUARD, &kFloor));
    ASSERT_NE(pkWalker, nullptr);
    EXPECT_EQ(pkWalker->GetTypeObject(), kManager.FactoryNamed("SecurityGuardFactory"));
    EXPECT_TRUE(kFloor.IsMember(pkWalker));
    pkWalker->SetGrid(&kFloor);
    EXPECT_EQ(kFloor.GetMemberCount(), 1u);

    // Pending: off the floor at once, deleted at the flush.
    kManager.DestroyObject(pkWalker, false);
    EXPECT_FALSE(kFloor.IsMember(pkWalker));
    EXPECT_TRUE(kManager.IsLive(pkWalker));
    EXPECT_TRUE(m_kHost.m_kDestroyed.empty());
    kManager.UpdateObjects(0.1f);
    EXPECT_EQ(kManager.GetLiveCount(), 0u);
    ASSERT_EQ(m_kHost.m_kDestroyed.size(), 1u);
    EXPECT_EQ(m_kHost.m_kDestroyed[0], pkWalker);
}

TEST_F(CDynamicObjectManagerTest, RemovalDuringAnUpdateWaitsForItsEndAndNowIsAtOnce)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    auto* pkA = static_cast<Crate*>(Make(kManager, "CellFactory", CRATE));
    auto* pkB = static_cast<Crate*>(Make(kManager, "CellFactory", CRATE));
    auto* pkC = static_cast<Crate*>(Make(kManager, "CellFactory", CRATE));
    ASSERT_EQ(s_iLiveCrates, 3);
    // The first removes the second during the update: the second is still
    // updated in the same pass, and gone when the update ends.
    pkA->m_pkManager = &kManager;
    pkA->m_pkVictim = pkB;
    kManager.UpdateObjects(0.25f);
    EXPECT_EQ(pkC->m_iUpdates, 1);
    EXPECT_EQ(s_iLiveCrates, 2);
    EXPECT_EQ(kManager.GetObjectAt(1), pkC);
    EXPECT_EQ(m_kHost.CallsNamed("ObjectDestroyed").size(), 1u);

    // Asked twice, deleted once; now goes at once.
    kManager.DestroyObject(pkA, false);
    kManager.DestroyObject(pkA, false);
    kManager.DestroyObject(pkC, true);
    EXPECT_EQ(s_iLiveCrates, 1);
    EXPECT_TRUE(kManager.IsPending(pkA));
    kManager.UpdateObjects(0.25f);
    EXPECT_EQ(s_iLiveCrates, 0);
    EXPECT_EQ(m_kHost.CallsNamed("ObjectDestroyed").size(), 3u);
    // Not one of ours: nothing happens.
    Crate kStranger;
    kManager.DestroyObject(&kStranger, true);
    kManager.DestroyObject(nullptr, true);
    EXPECT_EQ(m_kHost.CallsNamed("ObjectDestroyed").size(), 3u);
}

TEST_F(CDynamicObjectManagerTest, TheObjectsSectionRoundTripsByteForByte)
{
    std::string kFirst;
    {
        CDynamicObjectManager kManager;
        Prepare(kManager, m_kDocument);
        static_cast<Crate*>(Make(kManager, "CellFactory", CRATE))->Put(NiVec3(10.0f, 0.0f, -4.5f), 90.0f, 21, 2, 3);
        Make(kManager, "orvaneObjectFactory", CRATE); // not a saving object
        static_cast<Crate*>(Make(kManager, "CellFactory", CRATE))->Put(NiVec3(-2.0f, 1.0f, 0.25f), 270.0f, 5, 1, 1);
        auto* pkWalker = static_cast<Walker*>(Make(kManager, "SecurityGuardFactory", GUARD));
        pkWalker->SetPosition(NiVec3(3.0f, 0.0f, 3.0f), 0);
        pkWalker->Update(0.0f);
        kManager.GetStatistics()->m_usKnockdowns = 260;
        kManager.GetStatistics()->m_usEscapes = 4;
        ASSERT_TRUE(Save(kManager, "objects.fds"));
        kFirst = ReadFileBytes("objects.fds");
    }
    const std::string kExpected = std::string("<OBJECTS>\r\n") + CRATE + "\r\nCellFactory\r\n" +
                                  "10.0000,0.00000,-4.50000,90.0000\r\n-1\r\n21,2,3\r\n" + CRATE +
                                  "\r\nCellFactory\r\n-2.00000,1.00000,0.250000,270.000\r\n-1\r\n5,1,1\r\n" + GUARD +
                                  "\r\nSecurityGuardFactory\r\n3.00000,0.00000,3.00000,0.00000\r\n-1\r\n"
                                  "</OBJECTS>\r\n<STATISTICS>\r\n"
                                  "100000,0,0,0,0,0,0,0,0,0,0,0,0,260,0,0,0,0,4,500,0\r\n</STATISTICS>\r\n";
    EXPECT_EQ(kFirst, kExpected);

    CDynamicObjectManager kLoaded;
    Prepare(kLoaded, m_kDocument);
    ASSERT_TRUE(Load(kLoaded, "objects.fds"));
    EXPECT_EQ(kLoaded.GetBadLine(), 0u);
    SceneStep(kLoaded);
    ASSERT_EQ(kLoaded.GetLiveCount(), 3u);
    auto* pkCrate = dynamic_cast<Crate*>(kLoaded.GetObjectAt(0));
    ASSERT_NE(pkCrate, nullptr);
    EXPECT_EQ(*pkCrate->GetModelPosition(), NiVec3(10.0f, 0.0f, -4.5f));
    EXPECT_EQ(pkCrate->GetAnchor(), 21);
    EXPECT_EQ(pkCrate->GetTemplate(), kLoaded.FindTemplate(CRATE));
    EXPECT_NE(dynamic_cast<Walker*>(kLoaded.GetObjectAt(2)), nullptr);
    EXPECT_EQ(kLoaded.GetStatistics()->m_usKnockdowns, 260);
    EXPECT_EQ(kLoaded.GetStatistics()->m_usEscapes, 4);
    ASSERT_TRUE(Save(kLoaded, "again.fds"));
    EXPECT_EQ(ReadFileBytes("again.fds"), kExpected);
}

TEST_F(CDynamicObjectManagerTest, AnEmptyPrisonStillWritesBothSectionsAndMissingOnesAreSkipped)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    ASSERT_TRUE(Save(kManager, "empty.fds"));
    EXPECT_EQ(ReadFileBytes("empty.fds"),
              "<OBJECTS>\r\n</OBJECTS>\r\n<STATISTICS>\r\n" + FRESH_LINE + "\r\n</STATISTICS>\r\n");

    // Loading it makes nothing and reads the line.
    WriteFileBytes("empty.fds", "<OBJECTS>\r\n</OBJECTS>\r\n<STATISTICS>\r\n"
                                "5,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,700\r\n</STATISTICS>\r\n");
    ASSERT_TRUE(Load(kManager, "empty.fds"));
    EXPECT_EQ(kManager.GetLiveCount(), 0u);
    EXPECT_EQ(kManager.GetStatistics()->m_iStartingFunds, 5);
    EXPECT_EQ(kManager.GetStatistics()->m_iOrder, 700);

    // No objects section: the statistics alone.
    WriteFileBytes("stats.fds", "<WORLD>\r\n0\r\n<STATISTICS>\r\n"
                                "6,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,800\r\n</STATISTICS>\r\n");
    ASSERT_TRUE(Load(kManager, "stats.fds"));
    EXPECT_EQ(kManager.GetStatistics()->m_iStartingFunds, 6);

    // No statistics section: the objects alone, the ledger untouched.
    WriteFileBytes("objects.fds", std::string("<OBJECTS>\r\n") + CRATE +
                                      "\r\nCellFactory\r\n1,2,3,0\r\n-1\r\n4,1,1\r\n</OBJECTS>\r\n");
    ASSERT_TRUE(Load(kManager, "objects.fds"));
    EXPECT_EQ(kManager.GetLiveCount(), 1u);
    EXPECT_EQ(kManager.GetStatistics()->m_iStartingFunds, 6);

    // Neither.
    WriteFileBytes("neither.fds", "<VERSION>\r\n1\r\n");
    ASSERT_TRUE(Load(kManager, "neither.fds"));
    EXPECT_EQ(kManager.GetLiveCount(), 1u);
}

TEST_F(CDynamicObjectManagerTest, ABadRecordAnywhereMakesNothingAndNamesItsLine)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    kManager.GetStatistics()->m_iStartingFunds = 33;
    const std::string kGood = std::string(CRATE) + "\r\nCellFactory\r\n1,2,3,0\r\n-1\r\n4,1,1\r\n";
    const std::string kStatistics = "<STATISTICS>\r\n" + FRESH_LINE + "\r\n</STATISTICS>\r\n";
    struct Case
    {
        const char* m_pcWhat;
        std::string m_kSection;
        std::uint32_t m_uiBadLine;
    };
    const Case akCases[] = {
        // Lines: 1 "<OBJECTS>", records of five lines from 2.
        {"a damaged last line", kGood + kGood + CRATE + "\r\nCellFactory\r\n1,2,3,0\r\n-1\r\n4,1\r\n</OBJECTS>\r\n",
         16},
        {"an unknown factory", kGood + CRATE + "\r\nKitchenFactory\r\n1,2,3,0\r\n-1\r\n4,1,1\r\n</OBJECTS>\r\n", 8},
        {"an unknown template", kGood + "prison9/none.nif\r\nCellFactory\r\n1,2,3,0\r\n-1\r\n4,1,1\r\n</OBJECTS>\r\n",
         7},
        {"a factory whose kind is missing",
         kGood + CRATE + "\r\nPrisonerFactory\r\n1,2,3,0\r\n-1\r\n4,1,1\r\n</OBJECTS>\r\n", 8},
        {"a plain object's factory", kGood + CRATE + "\r\norvaneObjectFactory\r\n</OBJECTS>\r\n", 8},
        {"a missing section end", kGood + kGood, 12},
        {"a record cut short", kGood + CRATE + "\r\nCellFactory\r\n1,2,3,0\r\n", 10},
        {"a section started again", kGood + "<OBJECTS>\r\n" + kGood + "</OBJECTS>\r\n", 7},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcWhat);
        WriteFileBytes("bad.fds", "<OBJECTS>\r\n" + kCase.m_kSection + kStatistics);
        m_kHost.ClearCalls();
        EXPECT_FALSE(Load(kManager, "bad.fds"));
        EXPECT_EQ(kManager.GetBadLine(), kCase.m_uiBadLine);
        EXPECT_EQ(kManager.GetLiveCount(), 0u);
        EXPECT_EQ(s_iLiveCrates, 0);
        EXPECT_EQ(kManager.GetStatistics()->m_iStartingFunds, 33);
    }
    // The same file mended loads whole.
    WriteFileBytes("good.fds", "<OBJECTS>\r\n" + kGood + kGood + "</OBJECTS>\r\n" + kStatistics);
    EXPECT_TRUE(Load(kManager, "good.fds"));
    EXPECT_EQ(kManager.GetBadLine(), 0u);
    EXPECT_EQ(kManager.GetLiveCount(), 2u);
    EXPECT_EQ(kManager.GetStatistics()->m_iStartingFunds, 100000);
}

TEST_F(CDynamicObjectManagerTest, AFailedWriteIsReportedAndTheDayEndsWithTheLedgersReport)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    Make(kManager, "CellFactory", CRATE);
    // A file that cannot be written: the sections are not saved.
    WriteFileBytes("read-only.fds", "x\r\n");
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("read-only.fds", COrvaneFile::MODE_READ), 1);
        EXPECT_FALSE(kManager.SaveObjects(kFile));
    }
    EXPECT_EQ(ReadFileBytes("read-only.fds"), "x\r\n");
    // Without a ledger the section still holds a fresh line.
    CDynamicObjectManager kBare;
    ASSERT_TRUE(Save(kBare, "bare.fds"));
    EXPECT_EQ(ReadFileBytes("bare.fds"),
              "<OBJECTS>\r\n</OBJECTS>\r\n<STATISTICS>\r\n" + FRESH_LINE + "\r\n</STATISTICS>\r\n");

    // The day's step ends with the ledger's report of the day.
    kManager.GetStatistics()->m_usTodayDeaths = 2;
    kManager.GetStatistics()->m_usTodayReleases = 1;
    m_kHost.ClearCalls();
    kManager.NewDayStep();
    EXPECT_EQ(m_kHost.CallsNamed("PostNumberedMessage"), (std::vector<std::string>{"15,2", "14,1"}));
    EXPECT_EQ(kManager.GetStatistics()->m_usTodayDeaths, 0);
    // After a load the ledger's step runs once with the world.
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    kManager.GetStatistics()->m_iWorkIncome = 250;
    EXPECT_TRUE(kManager.RelinkAfterLoad());
    EXPECT_EQ(kManager.GetStatistics()->m_iIncomeTotal, 100250);
}

TEST_F(CDynamicObjectManagerTest, ANewGameKeepsTheFactoriesAndRenewsOnlyAnExistingLedger)
{
    CDynamicObjectManager kManager;
    Prepare(kManager, m_kDocument);
    Make(kManager, "CellFactory", CRATE);
    kManager.GetStatistics()->m_iScore = 90;
    kManager.ResetForNewGame();
    EXPECT_EQ(kManager.GetLiveCount(), 0u);
    EXPECT_EQ(kManager.GetGroupCount(), 0u);
    EXPECT_EQ(kManager.GetFactoryCount(), 17u);
    ASSERT_NE(kManager.GetStatistics(), nullptr);
    EXPECT_EQ(kManager.GetStatistics()->m_iScore, 0);
    ASSERT_NE(kManager.GetModelPool(), nullptr);
    // The templates load again into the new pools.
    kManager.LoadPrisonTemplates(m_kDocument);
    EXPECT_NE(Make(kManager, "CellFactory", CRATE), nullptr);

    CDynamicObjectManager kBare;
    kBare.ResetForNewGame();
    EXPECT_EQ(kBare.GetStatistics(), nullptr);
    EXPECT_EQ(kBare.GetFactoryCount(), 0u);
    kBare.Reset();
    kManager.Reset();
    EXPECT_EQ(kManager.GetStatistics(), nullptr);
}

TEST_F(CDynamicObjectManagerTest, TheDemoPrisonGivesTheBuildMenusCategoriesInOrder)
{
    std::filesystem::create_directory("demo");
    std::filesystem::current_path("demo");
    ASSERT_TRUE(BuildDemoData("."));
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    CDynamicObjectManager kManager;
    Prepare(kManager, kDocument);
    // Only the prison's groups: the framework's props lie outside it.
    const std::vector<std::string> kGroups{
        "<BUILDINGS_CELLBLOCKS>", "<BUILDINGS_WORKSHOPS>", "<BUILDINGS_CANTEENS>", "<BUILDINGS_HOSPITALS>",
        "<BUILDINGS_ADMIN>",      "<BUILDINGS_FENCES>",    "<CONTENTS_CELLS>",     "<CONTENTS_FOOD>",
        "<CONTENTS_WORK>",        "<CONTENTS_HEALTH>",     "<CONTENTS_ADMIN>",     "<STAFF_SECURITY>",
        "<STAFF_MEDICAL>",        "<STAFF_SUPPORT>",       "<STAFF_MAINTENANCE>",  "<CRIMINALS>",
        "<ARRIVALS>"};
    ASSERT_EQ(kManager.GetGroupCount(), kGroups.size());
    std::size_t uiTemplates = 0;
    for (std::size_t i = 0; i < kGroups.size(); ++i)
    {
        EXPECT_EQ(kManager.GetGroup(i)->m_kName.rfind(kGroups[i], 0), 0u) << kManager.GetGroup(i)->m_kName;
        for (const std::unique_ptr<COrvaneObjectTemplate>& pkRecord : kManager.GetGroup(i)->m_kRecords)
        {
            ASSERT_EQ(pkRecord->m_kModels.size(), 1u) << kGroups[i];
            ++uiTemplates;
        }
    }
    EXPECT_EQ(uiTemplates, DemoPrisonModels().size());
    // The lookups the build menu, the buildings and the spawn manager make.
    EXPECT_EQ(kManager.FindTemplateGroup("CELLBLOCKS"), 0);
    EXPECT_EQ(kManager.FindTemplateGroup("STAFF") - kManager.FindTemplateGroup("BUILDINGS"), 11);
    EXPECT_EQ(kManager.FindTemplateGroup("CRIMINALS"), 15);
    // Each tested word names only the models meant ("therapy" and "maint"
    // also name the buildings their rooms go in; "maint" names the repair
    // room, which hires by it, and its worker too; "indoor" names only the
    // administration building, where the chapel goes, and "chapel" is not
    // a part of "chaplain").
    const std::pair<const char*, std::size_t> akWords[] = {
        {"female", 2},   {"old", 1},     {"tower", 1}, {"balc", 1},     {"execution", 1}, {"planning", 2},
        {"clerical", 1}, {"therapy", 2}, {"maint", 3}, {"chaplain", 1}, {"spawn", 1},     {"indoor", 1},
        {"chapel", 1}};
    for (const auto& [pcWord, uiCount] : akWords)
    {
        std::size_t uiFound = 0;
        for (const std::string& kPath : DemoPrisonModels())
        {
            EXPECT_EQ(kPath.rfind("prison1/", 0), 0u) << kPath;
            EXPECT_EQ(kPath.find('.'), kPath.size() - 4) << kPath;
            if (kPath.find(pcWord) != std::string::npos)
                ++uiFound;
        }
        EXPECT_EQ(uiFound, uiCount) << pcWord;
    }

    // A saved prison of its templates loads back.
    COrvaneObject* pkCell = Make(kManager, "CellFactory", "cell_single");
    ASSERT_NE(pkCell, nullptr);
    ASSERT_NE(Make(kManager, "SecurityGuardFactory", "guard_female"), nullptr);
    ASSERT_TRUE(Save(kManager, "prison.fds"));
    CDynamicObjectManager kLoaded;
    Prepare(kLoaded, kDocument);
    ASSERT_TRUE(Load(kLoaded, "prison.fds"));
    ASSERT_EQ(kLoaded.GetLiveCount(), 2u);
    EXPECT_EQ(kLoaded.GetObjectAt(0)->GetTemplate(), kLoaded.FindTemplate("cell_single"));
    EXPECT_EQ(kLoaded.GetObjectAt(1)->GetTemplate(), kLoaded.FindTemplate("guard_female"));
}

} // namespace
