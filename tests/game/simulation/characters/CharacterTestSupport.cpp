#include "tests/game/simulation/characters/CharacterTestSupport.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/characters/CCharacterFactories.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "tools/COrvaneDemoPrison.h"

namespace
{
class StubController : public COrvaneAICharacterController
{
public:
    explicit StubController(const char* pcName) { SetName(pcName); }
    int HandleEvent(std::int32_t, std::uint8_t) override { return 1; }
    void ReleaseBlock(COrvaneAIStateBlock*) override {}
};
} // namespace

void CharacterTest::SetUp()
{
    EngineFrameworkTest::SetUp();
    NiResetRandom();
    CDynamicObjectManager::DestroyInstance();
    CBlockGridManager::DestroyInstance();
    CGameObjectFactory::ResetKindMakers();
    WriteFileBytes("data.xml", "<TEMPLATES>\r\n</TEMPLATES>\r\n");
    ASSERT_TRUE(AddDemoPrison("data.xml"));
    ASSERT_TRUE(WriteDemoPrisonModels("."));
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    m_kSpawn.LoadRosters(kDocument);
    m_kHost.m_pkSpawnManager = &m_kSpawn;
    m_kHost.m_kClock.m_usYear = 2005;
    m_pkControllers = std::make_unique<COrvaneAIControllerManager>();
    m_kHost.m_pkControllerManager = m_pkControllers.get();
    RegisterCharacterKinds();
    m_pkManager = CDynamicObjectManager::GetInstance();
    m_pkManager->LoadPrisonTemplates(kDocument);
}

void CharacterTest::TearDown()
{
    CDynamicObjectManager::DestroyInstance();
    CBlockGridManager::DestroyInstance();
    CGameObjectFactory::ResetKindMakers();
    m_pkControllers.reset();
    EngineFrameworkTest::TearDown();
}

void CharacterTest::UseStubControllers()
{
    for (const char* pcName :
         {"wander", "objectUse", "characterUse", "usedByCharacter", "connectorUse", "pathToSpecific", "spawn"})
        m_pkControllers->Register(std::make_unique<StubController>(pcName));
}

CGameCharacter* CharacterTest::Make(const char* pcFactory, const char* pcTemplate, CBlockGrid* pkGrid)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
    kDesc.m_ucMode = 1;
    kDesc.m_pkGrid = pkGrid;
    auto* pkCharacter =
        dynamic_cast<CGameCharacter*>(m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc));
    if (pkCharacter && pkGrid)
        pkCharacter->SetGrid(pkGrid);
    return pkCharacter;
}

CBlockGrid* CharacterTest::Area(std::int32_t iNumber, std::int32_t iRows, std::int32_t iColumns)
{
    CGridDesc kDesc;
    kDesc.m_aiNumbers[0] = iNumber;
    kDesc.m_aiNumbers[1] = iRows;
    kDesc.m_aiNumbers[2] = iColumns;
    kDesc.m_aiNumbers[3] = 0;
    kDesc.m_aiNumbers[4] = 2;
    kDesc.m_ucOwnStack = 1;
    return CBlockGridManager::GetInstance()->CreateGrid(kDesc);
}

std::string CharacterTest::SaveText(CGameCharacter& kCharacter)
{
    {
        COrvaneFile kFile;
        EXPECT_EQ(kFile.Open("record.txt", COrvaneFile::MODE_WRITE), 1);
        EXPECT_EQ(kCharacter.SaveState(kFile), 1);
    }
    std::string kText = ReadFileBytes(Folder() / "record.txt");
    // The two name lines belong to the registry's reading.
    for (int i = 0; i < 2; ++i)
        kText.erase(0, kText.find("\r\n") + 2);
    return kText;
}

int CharacterTest::LoadText(CGameCharacter& kCharacter, const std::string& kRecord)
{
    WriteFileBytes(Folder() / "load.txt", "model\r\nfactory\r\n" + kRecord);
    COrvaneFile kFile;
    if (kFile.Open("load.txt", COrvaneFile::MODE_READ) != 1)
        return -1;
    std::string kLine;
    kFile.ReadLine(kLine);
    kFile.ReadLine(kLine);
    return kCharacter.LoadState(kFile);
}

void CharacterTest::StandOn(CGameCharacter& kCharacter, std::int32_t iCell)
{
    NiVec3 kAt;
    ASSERT_NE(kCharacter.GetGrid(), nullptr);
    ASSERT_NE(kCharacter.GetGrid()->CellPosition(iCell, kAt, true), nullptr);
    kCharacter.SetPosition(kAt, 0);
    kCharacter.SetGrid(kCharacter.GetGrid());
}
