#include "framework/COrvaneAICharacter.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneDynamicObjectManager.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvanePathSpline.h"
#include "framework/COrvaneTagTree.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
class Controller : public COrvaneAICharacterController
{
public:
    explicit Controller(const char* pcName) { SetName(pcName); }
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override
    {
        m_kEvents.push_back(std::to_string(iEvent) + ":" + std::to_string(ucState));
        return 0;
    }
    void ReleaseBlock(COrvaneAIStateBlock* pkBlock) override { m_kReleased.push_back(pkBlock); }

    std::vector<std::string> m_kEvents;
    std::vector<COrvaneAIStateBlock*> m_kReleased;
};

class Prisoner : public COrvaneAICharacter
{
public:
    explicit Prisoner(COrvaneAIControllerManager* pkManager = nullptr) : m_pkManager(pkManager) {}
    ~Prisoner() override { COrvaneAICharacter::Destroy(); }

    std::int32_t GetEntityKind() const override { return 3; }
    void ExtraUpdate() override { m_kCalls.push_back("extra"); }
    void OnPathQueueEmpty() override { m_kCalls.push_back("queue-empty"); }
    void SuspendedUpdate() override { m_kCalls.push_back("suspended"); }
    void PreAIUpdate() override { m_kCalls.push_back("pre"); }
    void PostAIUpdate() override { m_kCalls.push_back("post"); }
    void OnControllerChange(COrvaneAICharacterController* pkOld, COrvaneAICharacterController* pkNew) override
    {
        m_kCalls.push_back(std::string("change ") + pkOld->GetName() + ">" + pkNew->GetName());
    }
    bool LoadReference(COrvaneFile& kFile, COrvaneAICharacterState&, int) const override
    {
        std::string kLine;
        kFile.ReadLine(kLine);
        m_kReferences.push_back(kLine);
        return true;
    }
    bool LoadNullReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int iIndex) const override
    {
        return LoadReference(kFile, kState, iIndex);
    }
    bool BeUsedByCharacter(COrvaneAICharacter*) override { return false; }
    bool ReleasePartner(COrvaneAICharacter*) override { return false; }
    void OnPartnerTask() override {}
    bool ChooseWanderTarget() override { return false; }
    bool AnswersTrue() const override { return true; }
    COrvaneAICharacterController* FindControllerByName(const char* pcName) const override
    {
        return m_pkManager ? m_pkManager->FindController(pcName) : nullptr;
    }
    int SetControllerByName(const char* pcName, int, int) override
    {
        COrvaneAICharacterController* pkFound = m_pkManager ? m_pkManager->FindController(pcName) : nullptr;
        if (!pkFound)
            return 0;
        SwitchController(pkFound);
        return 1;
    }

    COrvaneAIControllerManager* m_pkManager;
    std::vector<std::string> m_kCalls;
    mutable std::vector<std::string> m_kReferences;
};

class Bed : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 4; }
    void SetAnchor(std::int32_t iCell) { m_iAnchor = iCell; }
};

class COrvaneAICharacterTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        NiResetRandom();
        m_kGrid.Setup(8, 8, NiVec3::ZERO, 1, 2);
        m_pkWander = static_cast<Controller*>(m_kManager.Register(std::make_unique<Controller>("Wander")));
        m_pkUse = static_cast<Controller*>(m_kManager.Register(std::make_unique<Controller>("ObjectUse")));
    }

    void Spawn(Prisoner& kPrisoner, std::int32_t iCell)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkGrid = &m_kGrid;
        kDesc.m_kName = "prisoner";
        ASSERT_EQ(kPrisoner.Load(kDesc), 1);
        NiVec3 kAt;
        m_kGrid.CellPosition(iCell, kAt, true);
        kPrisoner.SetPosition(kAt, 0);
        kPrisoner.COrvaneCharacter::Update(0.0f);
    }

    std::unique_ptr<COrvanePathSpline> Straight(std::int32_t iFrom, std::int32_t iTo)
    {
        std::vector<std::int32_t> kCells;
        for (std::int32_t iCell = iFrom; iCell <= iTo; ++iCell)
            kCells.push_back(iCell);
        return m_kGrid.BuildSpline(kCells, 0);
    }

    std::string SaveToText(Prisoner& kPrisoner)
    {
        {
            COrvaneFile kFile;
            EXPECT_EQ(kFile.Open("ai.txt", COrvaneFile::MODE_WRITE), 1);
            EXPECT_EQ(kPrisoner.Save(kFile), 1);
        }
        return ReadFileBytes(Folder() / "ai.txt");
    }

    COrvaneBlockGrid m_kGrid;
    COrvaneAIControllerManager m_kManager;
    Controller* m_pkWander = nullptr;
    Controller* m_pkUse = nullptr;
};
} // namespace

TEST_F(COrvaneAICharacterTest, ControllerRunsOnTheThirdShortFrame)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 9);
    kPrisoner.SwitchController(m_pkWander);
    EXPECT_FALSE(kPrisoner.IsEntered());
    kPrisoner.Update(0.004f);
    kPrisoner.Update(0.004f);
    EXPECT_TRUE(m_pkWander->m_kEvents.empty());
    EXPECT_FLOAT_EQ(kPrisoner.GetStateBlock().m_fUpdateTimer, 0.008f);
    kPrisoner.Update(0.004f);
    EXPECT_EQ(m_pkWander->m_kEvents, (std::vector<std::string>{"0:0"}));
    EXPECT_EQ(kPrisoner.GetStateBlock().m_fUpdateTimer, 0.0f);
    EXPECT_EQ(m_pkWander->GetBoundBlock(), &kPrisoner.GetStateBlock());
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"pre", "pre", "pre", "post"}));
}

TEST_F(COrvaneAICharacterTest, SuspendedAndExtraUpdates)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 9);
    kPrisoner.SwitchController(m_pkWander);
    kPrisoner.GetStateBlock().m_ucExtraUpdate = 1;
    kPrisoner.Update(0.02f);
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"pre", "extra", "post"}));
    kPrisoner.m_kCalls.clear();
    kPrisoner.GetStateBlock().m_ucSuspended = 1;
    EXPECT_FALSE(kPrisoner.CanSave());
    kPrisoner.Update(0.02f);
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"suspended"}));
    EXPECT_EQ(m_pkWander->m_kEvents.size(), 1u);
}

TEST_F(COrvaneAICharacterTest, APendingControllerTakesOverAtTheNextDueUpdate)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 9);
    kPrisoner.SwitchController(m_pkWander);
    // The same controller pending changes nothing.
    kPrisoner.SetPendingController(m_pkWander);
    kPrisoner.Update(0.02f);
    EXPECT_EQ(m_pkWander->m_kEvents.size(), 1u);
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"pre", "post"}));

    kPrisoner.GetStateBlock().m_ucCurrentState = 3;
    kPrisoner.GetStateBlock().m_ucChangePending = 1;
    kPrisoner.GetStateBlock().m_ucEntered = 1;
    kPrisoner.SetPendingController(m_pkUse);
    kPrisoner.m_kCalls.clear();
    kPrisoner.Update(0.005f); // not due yet
    EXPECT_EQ(kPrisoner.GetActiveController(), m_pkWander);
    kPrisoner.Update(0.006f);
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"pre", "pre", "change Wander>ObjectUse", "post"}));
    EXPECT_EQ(kPrisoner.GetActiveController(), m_pkUse);
    EXPECT_EQ(kPrisoner.GetPendingController(), nullptr);
    EXPECT_EQ(m_pkWander->m_kReleased, (std::vector<COrvaneAIStateBlock*>{&kPrisoner.GetStateBlock()}));
    EXPECT_EQ(m_pkWander->GetBoundBlock(), nullptr);
    EXPECT_EQ(kPrisoner.GetStateBlock().m_ucCurrentState, 0);
    EXPECT_EQ(kPrisoner.GetStateBlock().m_ucChangePending, 0);
    EXPECT_EQ(kPrisoner.GetStateBlock().m_fUpdateTimer, 0.0f);
    EXPECT_FALSE(kPrisoner.IsEntered());
    // No run in the switching update; the new one runs when next due.
    EXPECT_TRUE(m_pkUse->m_kEvents.empty());
    kPrisoner.Update(0.011f);
    EXPECT_EQ(m_pkUse->m_kEvents, (std::vector<std::string>{"0:0"}));
}

TEST_F(COrvaneAICharacterTest, FindControllerTakesTheFirstNameContainingTheText)
{
    COrvaneAIControllerManager kManager;
    auto* pkFast = kManager.Register(std::make_unique<Controller>("WanderFast"));
    auto* pkPlain = kManager.Register(std::make_unique<Controller>("Wander"));
    EXPECT_EQ(kManager.FindController("Wander"), pkFast);
    EXPECT_EQ(kManager.FindController("Fast"), pkFast);
    EXPECT_EQ(kManager.FindController("der"), pkFast);
    EXPECT_EQ(kManager.FindController("wander"), nullptr);
    EXPECT_EQ(kManager.FindController("Spawn"), nullptr);
    EXPECT_EQ(kManager.FindController(nullptr), nullptr);
    EXPECT_EQ(pkPlain->GetManager(), &kManager);
    EXPECT_FLOAT_EQ(pkPlain->GetUpdateInterval(), 0.01f);
}

TEST_F(COrvaneAICharacterTest, ControllerLinesSaveAndLoad)
{
    COrvaneAIStateBlock kBlock;
    kBlock.m_ucCurrentState = 12;
    kBlock.m_ucRequestedState = 4;
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("c.txt", COrvaneFile::MODE_WRITE), 1);
        EXPECT_EQ(m_pkWander->Save(kFile, kBlock), 1);
    }
    EXPECT_EQ(ReadFileBytes(Folder() / "c.txt"), "12,4,0\r\n");
    WriteFileBytes(Folder() / "c.txt", "3,5,1\r\n7,8\r\n256,1,0\r\n1,-1,0\r\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("c.txt", COrvaneFile::MODE_READ), 1);
    EXPECT_EQ(m_pkWander->Load(kFile, kBlock), 1);
    EXPECT_EQ(kBlock.m_ucCurrentState, 3);
    EXPECT_EQ(kBlock.m_ucRequestedState, 5);
    EXPECT_EQ(kBlock.m_ucChangePending, 1);
    EXPECT_EQ(m_pkWander->Load(kFile, kBlock), 0);
    // Values past a byte are damage, not wrapped states.
    EXPECT_EQ(m_pkWander->Load(kFile, kBlock), 0);
    EXPECT_EQ(m_pkWander->Load(kFile, kBlock), 0);
    EXPECT_EQ(kBlock.m_ucCurrentState, 3);
    EXPECT_EQ(kBlock.m_ucRequestedState, 5);
}

TEST_F(COrvaneAICharacterTest, StateLinesAreExactAndRoundTrip)
{
    Prisoner kSaved(&m_kManager);
    Spawn(kSaved, 9);
    kSaved.SetDestination(42);
    Bed kBed;
    kBed.SetGrid(&m_kGrid);
    kBed.SetAnchor(27);
    kSaved.GetStateBlock().m_pkReferenceA = &kBed;
    kSaved.SwitchController(m_pkWander);
    kSaved.GetStateBlock().m_ucCurrentState = 3;
    kSaved.GetStateBlock().m_ucRequestedState = 5;
    kSaved.GetStateBlock().m_ucChangePending = 1;
    // A pending controller is saved in place of the active one.
    kSaved.SetPendingController(m_pkUse);
    kSaved.SetWalkMode(COrvaneCharacter::WALK_FOLLOWING);
    EXPECT_EQ(SaveToText(kSaved), "prisoner\r\n\r\n1.00000,0.00000,-1.00000,0.00000\r\n2\r\n42\r\n2,27\r\n-1\r\n-1\r\n-1\r\n"
                                  "5\r\nObjectUse\r\n3,5,1\r\n");

    Prisoner kLoaded(&m_kManager);
    Spawn(kLoaded, 0);
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("ai.txt", COrvaneFile::MODE_READ), 1);
    std::string kName;
    kFile.ReadLine(kName);
    kFile.ReadLine(kName);
    EXPECT_EQ(kLoaded.LoadState(kFile), 1);
    EXPECT_EQ(kLoaded.GetDestination(), 42);
    EXPECT_EQ(kLoaded.GetGridNumber(), 2);
    EXPECT_EQ(kLoaded.m_kReferences, (std::vector<std::string>{"2,27", "-1", "-1", "-1"}));
    EXPECT_EQ(kLoaded.GetWalkMode(), COrvaneCharacter::WALK_FOLLOWING);
    EXPECT_EQ(kLoaded.GetActiveController(), m_pkUse);
    EXPECT_EQ(kLoaded.GetStateBlock().m_ucCurrentState, 3);
    EXPECT_EQ(kLoaded.GetStateBlock().m_ucRequestedState, 5);
    EXPECT_EQ(kLoaded.GetStateBlock().m_ucChangePending, 1);
    EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3(1.0f, 0.0f, -1.0f));
}

TEST_F(COrvaneAICharacterTest, ReferencesAreSixteenBitsOrMinusOne)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 0);
    COrvaneBlockGrid kWide;
    kWide.Setup(2, 2, NiVec3::ZERO, 1, 70000);
    Bed kOnGrid, kOffGrid;
    kOnGrid.SetGrid(&kWide);
    kOnGrid.SetAnchor(65537);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("r.txt", COrvaneFile::MODE_WRITE), 1);
        kPrisoner.SaveReference(nullptr, kFile);
        kPrisoner.SaveReference(&kOffGrid, kFile);
        kPrisoner.SaveReference(&kOnGrid, kFile);
        kPrisoner.SaveNullReference(&kPrisoner, kFile);
    }
    // Kept 16 bits wide: id 70000 and cell 65537 wrap.
    EXPECT_EQ(ReadFileBytes(Folder() / "r.txt"), "-1\r\n-1\r\n4464,1\r\n-1\r\n");
}

TEST_F(COrvaneAICharacterTest, WithoutAControllerAnEmptyNameLineIsWrittenAndRead)
{
    Prisoner kSaved(&m_kManager);
    Spawn(kSaved, 9);
    std::string kText = SaveToText(kSaved);
    EXPECT_EQ(kText.substr(kText.size() - 7), "\r\n4\r\n\r\n");
    WriteFileBytes(Folder() / "ai.txt", kText + "next record\r\n");

    Prisoner kLoaded(&m_kManager);
    Spawn(kLoaded, 0);
    kLoaded.SwitchController(m_pkWander);
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("ai.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    kFile.ReadLine(kLine);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLoaded.LoadState(kFile), 1);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "next record");
}

TEST_F(COrvaneAICharacterTest, AnUnknownControllerStopsTheLoad)
{
    Prisoner kSaved(&m_kManager);
    Spawn(kSaved, 9);
    kSaved.SwitchController(m_pkWander);
    kSaved.SetDestination(17);
    std::string kText = SaveToText(kSaved);
    std::size_t uiAt = kText.find("Wander");
    ASSERT_NE(uiAt, std::string::npos);
    WriteFileBytes(Folder() / "ai.txt", kText.replace(uiAt, 6, "Escape"));
    Prisoner kLoaded(&m_kManager);
    Spawn(kLoaded, 0);
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("ai.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    kFile.ReadLine(kLine);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLoaded.LoadState(kFile), 0);
    EXPECT_EQ(kLoaded.GetActiveController(), nullptr);
    // Nothing of the record reached the character.
    EXPECT_EQ(kLoaded.GetDestination(), -1);
    EXPECT_EQ(kLoaded.GetGridNumber(), -1);
}

TEST_F(COrvaneAICharacterTest, QueuedSplinesFollowOneAnotherAndMeet)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 0);
    auto pkFirst = Straight(0, 3);
    auto pkSecond = Straight(9, 12);
    auto pkThird = Straight(17, 19);
    kPrisoner.QueuePath(pkFirst.get(), false, false);
    kPrisoner.QueuePath(pkSecond.get(), true, true);
    kPrisoner.QueuePath(pkThird.get(), false, false);
    EXPECT_EQ(kPrisoner.GetQueuedPathCount(), 3u);

    kPrisoner.OnPathEnd();
    auto* pkNow = dynamic_cast<COrvanePathSpline*>(kPrisoner.GetSpline());
    ASSERT_NE(pkNow, nullptr);
    NiVec3 kSecondStart;
    ASSERT_TRUE(pkSecond->GetStartPosition(kSecondStart));
    EXPECT_EQ(pkNow->GetPoints().back(), kSecondStart);
    EXPECT_EQ(kPrisoner.GetQueuedPathCount(), 2u);
    EXPECT_EQ(kPrisoner.GetOffset(), NiVec3::ZERO);

    // The second is walked backward with an offset, from where the model
    // stands, and ends where the third begins.
    kPrisoner.SetPosition(NiVec3(0.25f, 0.0f, -2.0f), 0);
    kPrisoner.OnPathEnd();
    pkNow = dynamic_cast<COrvanePathSpline*>(kPrisoner.GetSpline());
    ASSERT_NE(pkNow, nullptr);
    EXPECT_TRUE(kPrisoner.IsReversed());
    EXPECT_EQ(kPrisoner.GetT(), 1.0f);
    EXPECT_NE(kPrisoner.GetOffset(), NiVec3::ZERO);
    EXPECT_EQ(pkNow->GetPoints().back(), NiVec3(0.25f, 0.0f, -2.0f) - kPrisoner.GetOffset());
    NiVec3 kThirdStart;
    ASSERT_TRUE(pkThird->GetStartPosition(kThirdStart));
    EXPECT_EQ(pkNow->GetPoints().front(), kThirdStart);

    kPrisoner.OnPathEnd();
    EXPECT_EQ(kPrisoner.GetQueuedPathCount(), 0u);
    EXPECT_TRUE(kPrisoner.m_kCalls.empty());
    kPrisoner.OnPathEnd();
    EXPECT_EQ(kPrisoner.m_kCalls, (std::vector<std::string>{"queue-empty"}));

    kPrisoner.QueuePath(pkFirst.get(), false, false);
    kPrisoner.ClearPath();
    EXPECT_EQ(kPrisoner.GetQueuedPathCount(), 0u);
    EXPECT_EQ(kPrisoner.GetSpline(), nullptr);
}

TEST_F(COrvaneAICharacterTest, WalkingThroughTheQueueArrivesAtTheLastEnd)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 0);
    auto pkFirst = Straight(0, 3);
    auto pkSecond = Straight(11, 15);
    kPrisoner.QueuePath(pkFirst.get(), false, false);
    kPrisoner.QueuePath(pkSecond.get(), false, false);
    kPrisoner.OnPathEnd();
    kPrisoner.SetWalkMode(COrvaneCharacter::WALK_FOLLOWING);
    auto QueueEmptied = [&] {
        return std::find(kPrisoner.m_kCalls.begin(), kPrisoner.m_kCalls.end(), "queue-empty") !=
               kPrisoner.m_kCalls.end();
    };
    for (int i = 0; i < 5000 && !QueueEmptied(); ++i)
        kPrisoner.Update(1.0f / 60.0f);
    ASSERT_TRUE(QueueEmptied());
    NiVec3 kEnd;
    ASSERT_TRUE(pkSecond->GetEndPosition(kEnd));
    // The last frame places the model at the point it stepped from.
    EXPECT_NEAR(kPrisoner.GetModelPosition()->x, kEnd.x, 0.02f);
    EXPECT_NEAR(kPrisoner.GetModelPosition()->z, kEnd.z, 0.02f);
}

TEST_F(COrvaneAICharacterTest, TruncatedStateLinesNeverReadPastTheirEnd)
{
    Prisoner kSaved(&m_kManager);
    Spawn(kSaved, 9);
    kSaved.SwitchController(m_pkWander);
    kSaved.SetDestination(17);
    const std::string kFull = SaveToText(kSaved);
    int iLoadedWhole = 0;
    for (std::size_t n = 0; n <= kFull.size(); ++n)
    {
        SCOPED_TRACE(n);
        WriteFileBytes(Folder() / "cut.txt", kFull.substr(0, n));
        COrvaneFile kFile;
        if (kFile.Open("cut.txt", COrvaneFile::MODE_READ) != 1)
            continue; // an empty file does not open
        Prisoner kLoaded(&m_kManager);
        Spawn(kLoaded, 0);
        std::string kLine;
        kFile.ReadLine(kLine);
        kFile.ReadLine(kLine);
        if (kLoaded.LoadState(kFile) == 1)
        {
            ++iLoadedWhole;
            EXPECT_EQ(kLoaded.GetDestination(), 17);
            EXPECT_EQ(kLoaded.GetActiveController(), m_pkWander);
        }
    }
    // Only the whole record, and the record cut inside its last line's line
    // end or digits that still parse, load.
    EXPECT_GE(iLoadedWhole, 1);
    EXPECT_LE(iLoadedWhole, 3);
}

TEST_F(COrvaneAICharacterTest, ResetAIStateAndDestroyClearOnlyWhatTheyOwn)
{
    Prisoner kPrisoner(&m_kManager);
    Spawn(kPrisoner, 9);
    Bed kBed;
    Prisoner kPartner;
    COrvaneGridMarker kConnector;
    COrvaneAIStateBlock& kBlock = kPrisoner.GetStateBlock();
    kBlock.m_pkReferenceA = &kBed;
    kBlock.m_pkReferenceB = &kBed;
    kBlock.m_pkReference3 = &kPartner;
    kBlock.m_pkReference4 = &kPartner;
    kBlock.m_pkReference5 = &kConnector;
    kPrisoner.SetDestination(17);
    EXPECT_EQ(kPrisoner.ResetAIState(), 0);
    EXPECT_EQ(kBlock.m_pkReferenceA, nullptr);
    EXPECT_EQ(kBlock.m_pkReferenceB, &kBed); // the second reference stays
    EXPECT_EQ(kBlock.m_pkReference3, nullptr);
    EXPECT_EQ(kBlock.m_pkReference4, &kPartner);
    EXPECT_EQ(kBlock.m_pkReference5, nullptr);
    EXPECT_EQ(kPrisoner.GetDestination(), -1);

    // A bound block goes back to its controller; the queue, both controllers
    // and the AI state are dropped.
    kPrisoner.SwitchController(m_pkWander);
    kPrisoner.Update(0.02f);
    ASSERT_EQ(m_pkWander->GetBoundBlock(), &kBlock);
    auto pkRoute = Straight(9, 12);
    kPrisoner.QueuePath(pkRoute.get(), false, false);
    kPrisoner.SetPendingController(m_pkUse);
    kBlock.m_ucCurrentState = 4;
    kBlock.m_ucSuspended = 1;
    kBlock.m_fUpdateTimer = 0.5f;
    kBlock.m_pkOwner = nullptr;
    kPrisoner.Destroy();
    EXPECT_EQ(m_pkWander->m_kReleased, (std::vector<COrvaneAIStateBlock*>{&kBlock}));
    EXPECT_EQ(m_pkWander->GetBoundBlock(), nullptr);
    EXPECT_EQ(kPrisoner.GetQueuedPathCount(), 0u);
    EXPECT_EQ(kPrisoner.GetActiveController(), nullptr);
    EXPECT_EQ(kPrisoner.GetPendingController(), nullptr);
    EXPECT_EQ(kBlock.m_ucCurrentState, 0);
    EXPECT_EQ(kBlock.m_ucSuspended, 0);
    EXPECT_EQ(kBlock.m_fUpdateTimer, 0.0f);
    EXPECT_EQ(kBlock.m_pkOwner, &kPrisoner);
    EXPECT_TRUE(kPrisoner.IsEntered());
    // Nothing is bound any more: a second Destroy hands nothing back again.
    kPrisoner.Destroy();
    EXPECT_EQ(m_pkWander->m_kReleased.size(), 1u);
}

namespace
{
class COrvaneAIDemoCharacterTest : public EngineFrameworkTest
{
};
} // namespace

// Models carry no "action" list, so a character made from a demo template
// keeps the action value 0.
TEST_F(COrvaneAIDemoCharacterTest, DemoCharacterKeepsActionValueZero)
{
    ASSERT_TRUE(BuildDemoData(Folder().string()));
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    COrvaneDynamicObjectManager kTemplates;
    kTemplates.Init();
    kTemplates.LoadTemplateSection(kDocument, true);
    ASSERT_NE(kTemplates.GetTemplate(0, 0), nullptr);
    COrvaneBlockGrid kGrid;
    kGrid.Setup(8, 8, NiVec3::ZERO, 1, 2);
    Prisoner kPrisoner;
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = kTemplates.GetTemplate(0, 0);
    kDesc.m_ucMode = 1;
    kDesc.m_pkGrid = &kGrid;
    ASSERT_EQ(kPrisoner.Load(kDesc), 1);
    ASSERT_NE(kPrisoner.GetModel()->GetRoot(), nullptr);
    EXPECT_EQ(kPrisoner.GetActionValue(), 0.0f);
}
