#include "framework/COrvaneDynamicObjectManager.h"

#include "engine/animation/NiControllerSequence.h"
#include "engine/core/NiMessageBox.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneFileLoader.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneTemplateBuilder.h"
#include "framework/COrvaneTrigger.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> s_kBoxes;

int RecordBox(const char* pcText, const char* pcCaption)
{
    s_kBoxes.push_back(std::string(pcCaption) + ": " + pcText);
    return 0;
}

int s_iLiveThings = 0;

class Thing : public COrvaneObject
{
public:
    Thing() { ++s_iLiveThings; }
    ~Thing() override { --s_iLiveThings; }
    int HandleUserProp(const char* pcText, int iPass, NiAVObject*) override
    {
        m_kTexts.push_back(std::to_string(iPass) + pcText);
        return 1;
    }
    std::vector<std::string> m_kTexts;
};

class ThingFactory : public COrvaneObjectFactory
{
public:
    explicit ThingFactory(const char* pcName) { SetName(pcName); }
    COrvaneObject* Create(COrvaneObjectDesc& kDesc) override
    {
        auto* pkThing = new Thing;
        pkThing->Load(kDesc);
        return pkThing;
    }
};

class Bench : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 2; }
};

class RegistryGame : public COrvaneGame
{
public:
    void RegisterPrerequisites(COrvanePrerequisites& kList) override { m_kLists.push_back(&kList); }
    std::vector<COrvanePrerequisites*> m_kLists;
};

// A model file: top nodes named as given, each over a model object with a
// text property.
void WriteModel(const std::string& kPath, const std::vector<std::string>& kTopNames)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    for (const std::string& kName : kTopNames)
    {
        NiRefPtr<NiNode> spTop = new NiNode;
        if (!kName.empty())
            spTop->SetName(kName.c_str());
        NiRefPtr<NiNode> spModel = new NiNode;
        spModel->SetName("Model");
        spTop->AttachChild(spModel);
        NiRefPtr<NiNode> spDoor = new NiNode;
        spDoor->SetName("door");
        spModel->AttachChild(spDoor);
        NiStringExtraData* pkText = new NiStringExtraData("door 1\r\n");
        pkText->SetName("UserPropBuffer");
        spDoor->AddExtraData(pkText);
        kStream.InsertTopObject(spTop);
    }
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

const char* const DATA = "<DEBUG>\r\n</DEBUG>\r\n"
                         "<TEMPLATES>\r\n"
                         "<Cells>\r\n<plans>\r\n"
                         "<cell>\r\nmodels/cells/cell.nif\r\n4\r\n6\r\n"
                         "<prerequisits>\r\n3\r\n5\r\n</prerequisits>\r\n"
                         "<common>\r\nshared\r\n<prerequisits>\r\n9\r\n</prerequisits>\r\n</common>\r\n"
                         "</cell>\r\n"
                         "<cell2>\r\nmodels/cells/cell.nif\r\n</cell2>\r\n"
                         "<Cell>\r\nmodels/cells/Cell.nif\r\n</Cell>\r\n"
                         "<empty>\r\n</empty>\r\n"
                         "<missing>\r\nmodels/none.nif\r\n</missing>\r\n"
                         "</plans>\r\n</Cells>\r\n"
                         "<Outside>\r\n<Yard>\r\n<plans>\r\n"
                         "<bench>\r\nmodels/props/bench.nif\r\n</bench>\r\n"
                         "<box>\r\nmodels/props/box.nif\r\n</box>\r\n"
                         "<guard>\r\nmodels/people/guard.nif\r\n</guard>\r\n"
                         "</plans>\r\n</Yard>\r\n</Outside>\r\n"
                         "</TEMPLATES>\r\n";

class COrvaneDynamicObjectManagerTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        s_kBoxes.clear();
        s_iLiveThings = 0;
        NiSetMessageBoxFunction(&RecordBox);
        WriteModel("models/cells/cell.nif", {"Scene Root"});
        WriteModel("models/cells/Cell.nif", {"Scene Root"});
        WriteModel("models/props/bench.nif", {"bench_LOD0", "bench_LOD1"});
        WriteModel("models/props/box.nif", {""});
        WriteFileBytes("models/props/box.kf", "");
        WriteModel("models/people/guard.nif", {"Scene Root"});
        ASSERT_TRUE(WriteDemoModel((Folder() / "models/people").string()));
        std::filesystem::rename("models/people/prisoner.kf", "models/people/guard.kf");
        std::filesystem::copy_file("models/people/guard.kf", "models/props/bench.kf");
        WriteFileBytes("data.xml", DATA);
        ASSERT_TRUE(m_kDocument.Load("data.xml"));
    }

    // The templates of the data file in a fresh manager.
    void LoadTemplates(COrvaneDynamicObjectManager& kManager)
    {
        kManager.SetGame(&m_kGame);
        kManager.Init();
        kManager.LoadTemplateSection(m_kDocument, true);
    }

    COrvaneTagTree m_kDocument;
    RegistryGame m_kGame;
};

const char* ModelName(const COrvaneObjectTemplate* pkRecord, std::size_t uiIndex = 0)
{
    return pkRecord->m_kModels.at(uiIndex)->Get()->GetName();
}
} // namespace

TEST_F(COrvaneDynamicObjectManagerTest, TemplatesShareModelsByExactNameAndReadTheirValues)
{
    COrvaneDynamicObjectManager kManager;
    LoadTemplates(kManager);
    ASSERT_EQ(kManager.GetGroupCount(), 2u);
    EXPECT_EQ(kManager.GetGroup(0)->m_kName, "<Cells>"); // tag names keep their brackets
    EXPECT_EQ(kManager.GetGroup(1)->m_kName, "<Yard>"); // nested under a container
    ASSERT_EQ(kManager.GetGroup(0)->m_kRecords.size(), 5u);

    COrvaneObjectTemplate* pkCell = kManager.GetTemplate(0, 0);
    COrvaneObjectTemplate* pkCell2 = kManager.GetTemplate(0, 1);
    COrvaneObjectTemplate* pkUpper = kManager.GetTemplate(0, 2);
    ASSERT_EQ(pkCell->m_kModels.size(), 1u);
    EXPECT_STREQ(ModelName(pkCell), "models/cells/cell.nif|Scene Root");
    EXPECT_EQ(pkCell->m_kModels[0], pkCell2->m_kModels[0]); // one shared entry
    EXPECT_STREQ(ModelName(pkUpper), "models/cells/Cell.nif|Scene Root");
    EXPECT_NE(pkUpper->m_kModels[0], pkCell->m_kModels[0]);
    // cell, Cell, the two bench levels, box and guard.
    EXPECT_EQ(kManager.GetModelPool()->GetCount(), 6u);

    EXPECT_EQ(pkCell->m_kParameters, (std::vector<std::string>{"4", "6", "shared"}));
    EXPECT_EQ(pkCell->m_pkPrerequisites->GetAll(), (std::vector<std::int32_t>{3, 5, 9}));
    ASSERT_EQ(m_kGame.m_kLists.size(), 2u); // the template's list, then common's
    EXPECT_EQ(m_kGame.m_kLists[0], pkCell->m_pkPrerequisites.get());
    EXPECT_TRUE(pkCell2->m_kParameters.empty());

    // A value-less node is an empty template; a missing file says so.
    EXPECT_TRUE(kManager.GetTemplate(0, 3)->m_kModels.empty());
    EXPECT_TRUE(kManager.GetTemplate(0, 4)->m_kModels.empty());
    ASSERT_EQ(s_kBoxes.size(), 1u);
    EXPECT_EQ(s_kBoxes[0], "Error: Error loading file - models/none.nif");

    EXPECT_EQ(kManager.GetTemplate(0, 5), nullptr);
    EXPECT_EQ(kManager.GetTemplate(2, 0), nullptr);
    EXPECT_EQ(kManager.FindTemplate("Cell.nif"), pkUpper);
    EXPECT_EQ(kManager.FindTemplate("cells/"), pkCell);
    EXPECT_EQ(kManager.FindTemplate("nowhere"), nullptr);
}

TEST_F(COrvaneDynamicObjectManagerTest, LevelsOfDetailGroupAndAnimationsComeFromTheKfFile)
{
    COrvaneDynamicObjectManager kManager;
    LoadTemplates(kManager);
    const COrvaneTemplateGroup* pkYard = kManager.GetGroup(1);
    ASSERT_EQ(pkYard->m_kRecords.size(), 3u);
    // Two levels of one bench: one group, one record, with the animations.
    const COrvaneObjectTemplate* pkBench = pkYard->m_kRecords[0].get();
    ASSERT_EQ(pkBench->m_kModels.size(), 2u);
    EXPECT_STREQ(ModelName(pkBench, 0), "models/props/bench.nif|bench_LOD0");
    EXPECT_STREQ(ModelName(pkBench, 1), "models/props/bench.nif|bench_LOD1");
    EXPECT_EQ(pkBench->m_kAnimations.size(), 2u);
    EXPECT_STREQ(pkBench->m_kAnimations[0]->Get()->GetName(), "props/idle");
    // The search walks past the model-less records of the first group.
    EXPECT_EQ(kManager.FindTemplate("bench"), pkBench);
    // An empty .kf brings nothing; an unnamed node is keyed by its file.
    const COrvaneObjectTemplate* pkBox = pkYard->m_kRecords[1].get();
    ASSERT_EQ(pkBox->m_kModels.size(), 1u);
    EXPECT_STREQ(ModelName(pkBox), "models/props/box.nif");
    EXPECT_TRUE(pkBox->m_kAnimations.empty());
    // Sequences are found by name but stored under their base path: the
    // guard's "idle" shares the bench's entry.
    const COrvaneObjectTemplate* pkGuard = pkYard->m_kRecords[2].get();
    ASSERT_EQ(pkGuard->m_kAnimations.size(), 2u);
    EXPECT_NE(pkGuard->m_kAnimations[0], pkBench->m_kAnimations[0]);
    EXPECT_EQ(kManager.GetAnimationPool()->GetCount(), 4u);
}

TEST_F(COrvaneDynamicObjectManagerTest, BuilderKeysAndFileNames)
{
    EXPECT_EQ(COrvaneTemplateBuilder::BasePathOf("models/cells/a.nif"), "cells/");
    EXPECT_EQ(COrvaneTemplateBuilder::BasePathOf("cells/a.nif"), "cells/");
    EXPECT_EQ(COrvaneTemplateBuilder::BasePathOf("a.nif"), "");
    EXPECT_EQ(COrvaneTemplateBuilder::LODKeyOf("models/props/bench.nif|bench_LOD1"), "props/bench.nif|bench");
    EXPECT_EQ(COrvaneTemplateBuilder::LODKeyOf("LOD"), "");
    EXPECT_EQ(COrvaneTemplateBuilder::LODKeyOf("a/LOD"), "");
    EXPECT_EQ(COrvaneTemplateBuilder::LODKeyOf("xLOD"), "");
    EXPECT_EQ(COrvaneTemplateBuilder::AnimationFileOf("x.nif"), "x.kf");
    EXPECT_EQ(COrvaneTemplateBuilder::AnimationFileOf("nif"), "");

    // Without animations, level-of-detail entries stay out of the one record.
    COrvaneModelPool kModels;
    COrvaneAnimPool kAnimations;
    COrvaneTemplateBuilder kBuilder(kModels, kAnimations);
    kBuilder.Bind("models/props/bench.nif");
    NiRefPtr<NiNode> spLOD = new NiNode;
    spLOD->SetName("bench_LOD0");
    NiRefPtr<NiNode> spPlain = new NiNode;
    spPlain->SetName("plain");
    kBuilder.Add(spLOD);
    kBuilder.Add(spPlain);
    auto kRecords = kBuilder.Build();
    ASSERT_EQ(kRecords.size(), 1u);
    ASSERT_EQ(kRecords[0]->m_kModels.size(), 1u);
    EXPECT_STREQ(kRecords[0]->m_kModels[0]->Get()->GetName(), "models/props/bench.nif|plain");
    EXPECT_EQ(kBuilder.GetModelsAdded(), 2u);
}

TEST_F(COrvaneDynamicObjectManagerTest, ObjectsShareOrCloneTheirModelsAndGiveTheCountsBack)
{
    COrvaneDynamicObjectManager kManager;
    LoadTemplates(kManager);
    COrvaneObjectFactory* pkFactory = kManager.FindFactory("Object", nullptr);
    ASSERT_NE(pkFactory, nullptr);
    COrvaneObjectTemplate* pkGuard = kManager.GetTemplate(1, 2);
    COrvaneModelEntryPtr spModel = pkGuard->m_kModels[0];
    COrvaneAnimEntryPtr spIdle = pkGuard->m_kAnimations[0];

    COrvaneObjectDesc kShared;
    kShared.m_pkTemplate = pkGuard;
    kShared.m_ucMode = 0;
    COrvaneObject* pkA = kManager.CreateObject(pkFactory, kShared);
    ASSERT_NE(pkA, nullptr);
    EXPECT_EQ(pkA->GetModel(), spModel->Get());
    EXPECT_EQ(spModel->m_uiUseCount, 2u);
    EXPECT_EQ(spIdle->m_uiUseCount, 2u);
    EXPECT_EQ(pkA->GetCurrentAnimation(), spIdle->Get());

    COrvaneObjectDesc kOwn = kShared;
    kOwn.m_ucMode = 1;
    COrvaneObject* pkB = kManager.CreateObject(pkFactory, kOwn);
    ASSERT_NE(pkB->GetModel(), nullptr);
    EXPECT_NE(pkB->GetModel(), spModel->Get());
    EXPECT_STREQ(pkB->GetModel()->GetName(), "models/people/guard.nif|Scene Root");
    ASSERT_NE(pkB->GetModel()->GetRoot(), nullptr);
    EXPECT_NE(pkB->GetModel()->GetRoot(), spModel->Get()->GetRoot());
    EXPECT_EQ(spModel->m_uiUseCount, 2u);
    EXPECT_EQ(spIdle->m_uiUseCount, 3u);
    ASSERT_NE(pkB->GetModel()->GetActiveSequence(), nullptr);
    EXPECT_STREQ(pkB->GetModel()->GetActiveSequence()->GetName(), "idle");

    // Duration 0, factor 2: twice the walk's second.
    pkB->PlayAnimation("walk", 2, 0.0f, 0, 2);
    EXPECT_FLOAT_EQ(pkB->GetTimer(), 2.0f);
    EXPECT_STREQ(pkB->GetModel()->GetActiveSequence()->GetName(), "walk");
    pkB->PlayAnimation("run", 3, 5.0f, 0, 2);
    EXPECT_FLOAT_EQ(pkB->GetTimer(), 2.0f);
    EXPECT_STREQ(pkB->GetCurrentAnimation()->GetName(), "people/walk");
    pkB->PlayAnimation("idle", 3, 0.5f, 0, 2);
    EXPECT_FLOAT_EQ(pkB->GetTimer(), 0.5f);

    // Mode 0 on an empty template: no model.
    COrvaneObjectDesc kEmpty;
    kEmpty.m_pkTemplate = kManager.GetTemplate(0, 3);
    COrvaneObject* pkC = kManager.CreateObject(pkFactory, kEmpty);
    EXPECT_EQ(pkC->GetModel(), nullptr);

    kManager.RemoveObject(pkA, true);
    EXPECT_EQ(spModel->m_uiUseCount, 1u);
    EXPECT_EQ(spIdle->m_uiUseCount, 2u);
    EXPECT_NE(spModel->Get(), nullptr); // shared models stay
    kManager.RemoveObject(pkB, true);
    EXPECT_EQ(spIdle->m_uiUseCount, 1u);
    EXPECT_EQ(kManager.GetLiveCount(), 1u);
}

TEST_F(COrvaneDynamicObjectManagerTest, EveryDataTemplateMakesAnObjectThroughTheDefaultFactory)
{
    COrvaneDynamicObjectManager kManager;
    LoadTemplates(kManager);
    COrvaneObjectFactory* pkFactory = kManager.FindFactory("orvaneObjectFactory", nullptr);
    ASSERT_NE(pkFactory, nullptr);
    std::size_t uiMade = 0;
    for (std::uint16_t usGroup = 0; usGroup < kManager.GetGroupCount(); ++usGroup)
    {
        for (std::uint16_t usIndex = 0; kManager.GetTemplate(usGroup, usIndex); ++usIndex)
        {
            COrvaneObjectDesc kDesc;
            kDesc.m_pkTemplate = kManager.GetTemplate(usGroup, usIndex);
            kDesc.m_ucMode = static_cast<std::uint8_t>(usIndex % 3);
            ASSERT_NE(kManager.CreateObject(pkFactory, kDesc), nullptr);
            ++uiMade;
        }
    }
    EXPECT_EQ(uiMade, 8u);
    EXPECT_EQ(kManager.GetLiveCount(), 8u);
    kManager.UpdateObjects(0.1f);
    kManager.Destroy();
    EXPECT_EQ(kManager.GetLiveCount(), 0u);
    EXPECT_EQ(kManager.GetModelPool(), nullptr);
    EXPECT_EQ(kManager.GetGroupCount(), 0u);
}

TEST_F(COrvaneDynamicObjectManagerTest, RemovalsWaitForTheFlushAndHappenOnce)
{
    COrvaneDynamicObjectManager kManager;
    kManager.Init();
    kManager.AddFactory(std::make_unique<ThingFactory>("CellFactory"));
    kManager.AddFactory(std::make_unique<ThingFactory>("CellFactoryTwo"));
    COrvaneObjectFactory* pkFactory = kManager.FindFactory("Cell", nullptr);
    ASSERT_NE(pkFactory, nullptr);
    EXPECT_STREQ(pkFactory->GetName(), "CellFactory");
    EXPECT_EQ(kManager.FindFactory("Kitchen", nullptr), nullptr);
    EXPECT_EQ(kManager.CreateObject(nullptr, *std::make_unique<COrvaneObjectDesc>()), nullptr);

    COrvaneObjectDesc kDesc;
    COrvaneObject* pkA = kManager.CreateObject(pkFactory, kDesc);
    COrvaneObject* pkB = kManager.CreateObject(pkFactory, kDesc);
    COrvaneObject* pkC = kManager.CreateObject(pkFactory, kDesc);
    EXPECT_EQ(s_iLiveThings, 3);
    EXPECT_EQ(kManager.GetObjectAt(1), pkB);
    EXPECT_EQ(kManager.GetObjectAt(3), nullptr);

    kManager.RemoveObject(pkA, false);
    kManager.RemoveObject(pkA, false);
    EXPECT_EQ(kManager.GetPendingCount(), 2u);
    EXPECT_EQ(s_iLiveThings, 3);
    kManager.UpdateObjects(0.5f);
    EXPECT_EQ(s_iLiveThings, 2);
    EXPECT_EQ(kManager.GetObjectAt(0), pkB);
    EXPECT_FLOAT_EQ(pkB->GetLastTimeStep(), 0.5f);

    // Pending, then removed at once: the flush finds nothing left.
    kManager.RemoveObject(pkB, false);
    kManager.RemoveObject(pkB, true);
    EXPECT_EQ(s_iLiveThings, 1);
    kManager.FlushRemovals();
    EXPECT_EQ(s_iLiveThings, 1);
    Thing kStranger;
    kManager.RemoveObject(&kStranger, true); // not live: nothing
    EXPECT_EQ(kManager.GetObjectAt(0), pkC);
    kManager.Destroy();
    EXPECT_EQ(s_iLiveThings, 1); // only the stranger
}

TEST_F(COrvaneDynamicObjectManagerTest, PoolsGoneBeforeTemplatesLeaveTheTemplatesWhole)
{
    auto pkManager = std::make_unique<COrvaneDynamicObjectManager>();
    LoadTemplates(*pkManager);
    COrvaneObjectTemplate* pkCell = pkManager->GetTemplate(0, 0);
    COrvaneModelEntryPtr spEntry = pkCell->m_kModels[0];
    EXPECT_EQ(spEntry.use_count(), 4); // pool, two templates, here
    pkManager->GetModelPool()->Destroy();
    pkManager->GetAnimationPool()->Destroy();
    ASSERT_NE(pkCell->m_kModels[0]->Get(), nullptr);
    EXPECT_STREQ(pkCell->m_kModels[0]->Get()->GetName(), "models/cells/cell.nif|Scene Root");
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = pkCell;
    kDesc.m_ucMode = 1;
    COrvaneObject* pkObject =
        pkManager->CreateObject(pkManager->FindFactory("orvane", nullptr), kDesc);
    ASSERT_NE(pkObject->GetModel()->GetRoot(), nullptr);
    pkManager.reset();
    EXPECT_EQ(spEntry.use_count(), 1);
}

TEST_F(COrvaneDynamicObjectManagerTest, TriggerHandsTheModelTextsToTheObject)
{
    COrvaneDynamicObjectManager kManager;
    LoadTemplates(kManager);
    kManager.AddFactory(std::make_unique<ThingFactory>("thing"));
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = kManager.GetTemplate(0, 0);
    kDesc.m_ucMode = 1;
    auto* pkThing = static_cast<Thing*>(kManager.CreateObject(kManager.FindFactory("thing", nullptr), kDesc));
    COrvaneTrigger kTrigger;
    kTrigger.Scan(pkThing->GetModel(), pkThing);
    EXPECT_EQ(pkThing->m_kTexts, (std::vector<std::string>{"1door 1", "2door 1"}));
    EXPECT_EQ(kTrigger.GetTarget(), nullptr);
    EXPECT_EQ(kTrigger.OnUserProp("x", 1, nullptr), 0);
}

TEST_F(COrvaneDynamicObjectManagerTest, AnimationEntriesKeepOnlySequences)
{
    NiRefPtr<NiControllerSequence> spSequence = new NiControllerSequence;
    NiRefPtr<NiNode> spNode = new NiNode;
    COrvaneAnim kAnim;
    kAnim.Load({"cells/idle", spSequence});
    EXPECT_STREQ(kAnim.GetName(), "cells/idle");
    EXPECT_EQ(kAnim.GetSequence(), spSequence.Get());
    kAnim.Load({"again", nullptr}); // null keeps the sequence
    EXPECT_EQ(kAnim.GetSequence(), spSequence.Get());
    kAnim.Load({"node", spNode});
    EXPECT_STREQ(kAnim.GetName(), "node");
    EXPECT_EQ(kAnim.GetSequence(), nullptr);

    COrvaneAnimPool kPool;
    auto pkFirst = std::make_unique<COrvaneAnim>();
    pkFirst->SetName("walk");
    auto pkSecond = std::make_unique<COrvaneAnim>();
    pkSecond->SetName("walk");
    COrvaneAnimEntryPtr spFirst = kPool.Add(std::move(pkFirst));
    kPool.Add(std::move(pkSecond));
    EXPECT_EQ(kPool.Find("walk"), spFirst);
    EXPECT_EQ(kPool.Find("Walk"), nullptr);
    EXPECT_EQ(kPool.Find("wal"), nullptr);
    EXPECT_EQ(kPool.Find(nullptr), nullptr);
    EXPECT_EQ(spFirst->m_uiUseCount, 1u);
}

TEST_F(COrvaneDynamicObjectManagerTest, LoaderVisitsTopObjectsInOrder)
{
    COrvaneSceneFileLoader kLoader;
    std::vector<std::string> kNames;
    auto pfnCollect = [](void* pv, COrvaneSceneFileLoader& kFrom) {
        auto* pkNames = static_cast<std::vector<std::string>*>(pv);
        auto* pkNode = NiDynamicCast<NiNode>(kFrom.GetCurrentObject());
        pkNames->push_back(pkNode && pkNode->GetName() ? pkNode->GetName() : "?");
    };
    ASSERT_TRUE(kLoader.Load("models/props/bench.nif", pfnCollect));
    EXPECT_STREQ(kLoader.GetName(), "models/props/bench.nif");
    kLoader.ForEachTopObject(&kNames);
    EXPECT_EQ(kNames, (std::vector<std::string>{"bench_LOD0", "bench_LOD1"}));
    EXPECT_EQ(kLoader.GetCurrentObject(), nullptr);
    kLoader.Destroy();
    EXPECT_EQ(kLoader.GetStream(), nullptr);

    WriteFileBytes("bad.nif", "not a scene file at all");
    EXPECT_FALSE(kLoader.Load("bad.nif", pfnCollect));
    ASSERT_EQ(s_kBoxes.size(), 1u);
    EXPECT_EQ(s_kBoxes[0], "Error: Error loading file - bad.nif");
    NiSetMessageBoxFunction(nullptr);
    EXPECT_FALSE(kLoader.Load("also-missing.nif", pfnCollect));
    EXPECT_EQ(s_kBoxes.size(), 1u);
}

TEST_F(COrvaneDynamicObjectManagerTest, DemoDataMakesAnObjectPerTemplate)
{
    std::filesystem::create_directory("demo");
    std::filesystem::current_path("demo");
    ASSERT_TRUE(BuildDemoData("."));
    // Each prison's background colour ("FOG") is laid out like a group of
    // plans but holds no models: the game's loader passes it by, this one
    // would not. Taken out here.
    std::string kText = ReadFileBytes("data.xml");
    for (std::size_t uiFog = kText.find("<FOG>\r\n"); uiFog != std::string::npos; uiFog = kText.find("<FOG>\r\n"))
    {
        const std::size_t uiEnd = kText.find("</FOG>\r\n", uiFog);
        ASSERT_NE(uiEnd, std::string::npos);
        kText.erase(uiFog, uiEnd + 8 - uiFog);
    }
    WriteFileBytes("data.xml", kText);
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    COrvaneDynamicObjectManager kManager;
    kManager.SetGame(&m_kGame);
    kManager.Init();
    kManager.LoadTemplateSection(kDocument, true);
    EXPECT_TRUE(s_kBoxes.empty());
    // The props' group first, then the three demo prisons' seventeen each.
    ASSERT_EQ(kManager.GetGroupCount(), 1u + 3u * 17u);
    EXPECT_EQ(kManager.GetGroup(0)->m_kName.rfind("<Props>", 0), 0u);
    ASSERT_EQ(kManager.GetGroup(0)->m_kRecords.size(), 2u);
    EXPECT_EQ(m_kGame.m_kLists.size(), 2u);
    kManager.AddFactory(std::make_unique<ThingFactory>("thing"));
    COrvaneObjectFactory* pkDefault = kManager.FindFactory("orvaneObjectFactory", nullptr);
    std::vector<std::string> kNames{"models/props/crate.nif|Scene Root", "models/props/lamp.nif|Scene Root"};
    for (std::uint16_t usIndex = 0; usIndex < 2; ++usIndex)
    {
        COrvaneObjectTemplate* pkTemplate = kManager.GetTemplate(0, usIndex);
        ASSERT_EQ(pkTemplate->m_kModels.size(), 1u);
        EXPECT_STREQ(ModelName(pkTemplate), kNames[usIndex].c_str());
        EXPECT_TRUE(pkTemplate->m_kAnimations.empty()); // lamp.kf is empty
        EXPECT_EQ(pkTemplate->m_kParameters, (std::vector<std::string>{"2", "2"}));
        EXPECT_EQ(pkTemplate->m_pkPrerequisites->GetAll().size(), 1u);
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkTemplate;
        kDesc.m_ucMode = 1;
        COrvaneObject* pkObject = kManager.CreateObject(pkDefault, kDesc);
        ASSERT_NE(pkObject, nullptr);
        ASSERT_NE(pkObject->GetModel()->GetRoot(), nullptr);
        ASSERT_NE(pkObject->GetModel()->GetModelObject(), nullptr);
    }
    EXPECT_EQ(kManager.GetLiveCount(), 2u);
    // The crate's marker text, its CR LF line end cut.
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = kManager.GetTemplate(0, 0);
    kDesc.m_ucMode = 1;
    auto* pkThing = static_cast<Thing*>(kManager.CreateObject(kManager.FindFactory("thing", nullptr), kDesc));
    COrvaneTrigger kTrigger;
    kTrigger.Scan(pkThing->GetModel(), pkThing);
    EXPECT_EQ(pkThing->m_kTexts, (std::vector<std::string>{"1crate", "2crate"}));

    // Grid objects take width and depth from the first two parameters.
    Bench kLamp;
    kDesc.m_pkTemplate = kManager.GetTemplate(0, 1);
    ASSERT_EQ(kLamp.Load(kDesc), 1);
    EXPECT_EQ(kLamp.GetWidth(), 2);
    EXPECT_EQ(kLamp.GetDepth(), 2);
    EXPECT_EQ(kLamp.GetParameterCursor(), 2);
    std::filesystem::current_path(Folder());
}

TEST_F(COrvaneDynamicObjectManagerTest, ObjectsByIndexFollowEveryAddAndRemovalInAnyOrderOfAsking)
{
    COrvaneDynamicObjectManager kManager;
    kManager.Init();
    kManager.AddFactory(std::make_unique<ThingFactory>("CellFactory"));
    COrvaneObjectFactory* pkFactory = kManager.FindFactory("Cell", nullptr);
    ASSERT_NE(pkFactory, nullptr);
    COrvaneObjectDesc kDesc;
    std::vector<COrvaneObject*> kExpected;
    for (int i = 0; i < 12; ++i)
        kExpected.push_back(kManager.CreateObject(pkFactory, kDesc));
    const auto Check = [&](const char* pcWhen) {
        SCOPED_TRACE(pcWhen);
        ASSERT_EQ(kManager.GetLiveCount(), kExpected.size());
        // Forward, backward and jumping about, each against the list.
        for (std::uint32_t i = 0; i < kExpected.size(); ++i)
            EXPECT_EQ(kManager.GetObjectAt(i), kExpected[i]) << i;
        for (std::uint32_t i = static_cast<std::uint32_t>(kExpected.size()); i-- > 0;)
            EXPECT_EQ(kManager.GetObjectAt(i), kExpected[i]) << i;
        for (std::uint32_t i : {5u, 1u, 9u, 0u, 11u, 3u, 3u, 10u, 2u})
        {
            if (i < kExpected.size())
            {
                EXPECT_EQ(kManager.GetObjectAt(i), kExpected[i]) << i;
            }
        }
        EXPECT_EQ(kManager.GetObjectAt(static_cast<std::uint32_t>(kExpected.size())), nullptr);
    };
    Check("made");

    // Removed while the walk stands past it, on it and before it.
    EXPECT_EQ(kManager.GetObjectAt(6), kExpected[6]);
    kManager.RemoveObject(kExpected[2], true);
    kExpected.erase(kExpected.begin() + 2);
    Check("one before the last asked removed");
    EXPECT_EQ(kManager.GetObjectAt(4), kExpected[4]);
    kManager.RemoveObject(kExpected[4], true);
    kExpected.erase(kExpected.begin() + 4);
    Check("the last asked removed");
    EXPECT_EQ(kManager.GetObjectAt(1), kExpected[1]);
    kManager.RemoveObject(kExpected[7], false);
    kManager.UpdateObjects(0.1f);
    kExpected.erase(kExpected.begin() + 7);
    Check("one after the last asked flushed");
    kExpected.push_back(kManager.CreateObject(pkFactory, kDesc));
    Check("one added at the end");

    kManager.DestroyAllObjects();
    kExpected.clear();
    EXPECT_EQ(kManager.GetObjectAt(0), nullptr);
    kExpected.push_back(kManager.CreateObject(pkFactory, kDesc));
    Check("made again after all went");
}
