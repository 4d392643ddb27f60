#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRandom.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"

#include <filesystem>

namespace
{
const char* const DATA = "<TEMPLATES>\r\n<PRISON1>\r\n"
                         "<ROOMS>\r\n<plans>\r\n"
                         "<guardroom>\r\nprison1/guardroom/guardroom.nif\r\n4\r\n2\r\n500\r\n</guardroom>\r\n"
                         "<visits>\r\nprison1/visits/visits.nif\r\n2\r\n2\r\n120\r\n</visits>\r\n"
                         "<execution>\r\nprison1/execution/execution.nif\r\n2\r\n2\r\n900\r\n</execution>\r\n"
                         "<bench>\r\nprison1/bench/bench.nif\r\n</bench>\r\n"
                         "</plans>\r\n</ROOMS>\r\n"
                         "<PEOPLE>\r\n<plans>\r\n"
                         "<person>\r\nprison1/person/person.nif\r\n</person>\r\n"
                         "</plans>\r\n</PEOPLE>\r\n"
                         "<ARRIVALS>\r\n<plans>\r\n"
                         "<van>\r\nprison1/spawn_van/spawn_van.nif\r\n</van>\r\n"
                         "<protesters>\r\nprison1/protesters/protesters.nif\r\n</protesters>\r\n"
                         "</plans>\r\n</ARRIVALS>\r\n"
                         "</PRISON1>\r\n</TEMPLATES>\r\n";

std::unique_ptr<COrvaneObject> MakeTestCharacter()
{
    return std::make_unique<TestCharacter>();
}
} // namespace

void TestCharacter::OnGridDestroyed(CBlockGrid& kGrid)
{
    if (GetGrid() == static_cast<COrvaneBlockGrid*>(&kGrid))
        SetGrid(nullptr);
    m_kTold.push_back("grid gone");
}

void TestCharacter::OnGridCellChanged(CBlockGrid&, std::int32_t iCell)
{
    m_kTold.push_back("cell " + std::to_string(iCell));
}

bool TestCharacter::IsAboutToStandOn(const COrvaneBlockGrid& kGrid, std::int32_t iCell) const
{
    return &kGrid == GetGrid() && m_kCellsAhead.count(iCell) != 0;
}

void TestCharacter::OnObjectRemoved(CBaseObject&)
{
    m_kTold.push_back("object gone");
}

void WriteModelWithPosts(const std::string& kPath, const std::vector<std::string>& kPostTexts)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Model");
    spTop->AttachChild(spModel);
    for (std::size_t i = 0; i < kPostTexts.size(); ++i)
    {
        NiRefPtr<NiNode> spPost = new NiNode;
        spPost->SetName(("Staff_Root0" + std::to_string(i + 1)).c_str());
        spPost->AddExtraData(new NiStringExtraData((kPostTexts[i] + "\r\n").c_str()));
        spModel->AttachChild(spPost);
    }
    kStream.InsertTopObject(spTop);
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

void PrisonTest::SetUp()
{
    EngineFrameworkTest::SetUp();
    NiResetRandom();
    CDynamicObjectManager::DestroyInstance();
    CBlockGridManager::DestroyInstance();
    WriteModelWithPosts("prison1/guardroom/guardroom.nif", {"security", "support_female", "cook"});
    WriteModelWithPosts("prison1/visits/visits.nif", {"visitor"});
    WriteModelWithPosts("prison1/execution/execution.nif", {});
    WriteModelWithPosts("prison1/bench/bench.nif", {});
    WriteModelWithPosts("prison1/person/person.nif", {});
    WriteModelWithPosts("prison1/spawn_van/spawn_van.nif", {});
    WriteModelWithPosts("prison1/protesters/protesters.nif", {});
    WriteFileBytes("data.xml", std::string(DATA) + "<MALE_NAMES>\r\nAdam\r\nBert\r\nCyril\r\n</MALE_NAMES>\r\n"
                                                   "<FEMALE_NAMES>\r\nDora\r\nEve\r\n</FEMALE_NAMES>\r\n"
                                                   "<SURNAMES>\r\nFrost\r\nGale\r\nHill\r\nIves\r\n</SURNAMES>\r\n");
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    m_kSpawn.LoadRosters(kDocument);
    m_kHost.m_pkSpawnManager = &m_kSpawn;
    m_kHost.m_kClock.m_usYear = 2005;
    m_pkManager = CDynamicObjectManager::GetInstance();
    m_pkManager->LoadPrisonTemplates(kDocument);
    static_cast<CGameObjectFactory*>(m_pkManager->FactoryNamed("GameCharacterFactory"))->SetMaker(&MakeTestCharacter);
}

void PrisonTest::TearDown()
{
    CBlockGridManager::DestroyInstance();
    CDynamicObjectManager::DestroyInstance();
    EngineFrameworkTest::TearDown();
}

COrvaneObject* PrisonTest::Make(const char* pcFactory, const char* pcTemplate, COrvaneBlockGrid* pkGrid)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
    kDesc.m_ucMode = 1;
    kDesc.m_pkGrid = pkGrid;
    return m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc);
}

CBaseObject* PrisonTest::MakeObject(const char* pcTemplate)
{
    return dynamic_cast<CBaseObject*>(Make("BaseObjectFactory", pcTemplate));
}

TestCharacter* PrisonTest::MakeCharacter(COrvaneBlockGrid* pkGrid)
{
    auto* pkCharacter = dynamic_cast<TestCharacter*>(Make("GameCharacterFactory", "prison1/person/", pkGrid));
    if (pkCharacter && pkGrid)
        pkCharacter->SetGrid(pkGrid);
    return pkCharacter;
}
