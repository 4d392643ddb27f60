// A character's saved record (the lines after its two name lines): read
// into a fresh prisoner of the demo prison. A record that does not read
// leaves the prisoner saving exactly what it saved before; one that reads
// saves a record that reads back to the same lines.

#include "engine/core/NiMessageBox.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/ai/CAIControllerManager.h"
#include "game/simulation/characters/CCharacterFactories.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/game/support/CRecordingHost.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

struct Prison
{
    CRecordingHost m_kHost;
    CSpawnManager m_kSpawn;
    CAIControllerManager m_kControllers;
};

CGameCharacter* MakePrisoner(CDynamicObjectManager& kManager)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = kManager.FindTemplate("thug");
    kDesc.m_ucMode = 1;
    return dynamic_cast<CGameCharacter*>(kManager.CreateObject(kManager.FindFactory("PrisonerFactory", nullptr), kDesc));
}

std::string SaveOf(CGameCharacter& kCharacter, const char* pcPath)
{
    {
        COrvaneFile kFile;
        Check(kFile.Open(pcPath, COrvaneFile::MODE_WRITE) == 1);
        Check(kCharacter.SaveState(kFile) == 1);
    }
    std::ifstream kIn(pcPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

bool LoadFrom(CGameCharacter& kCharacter, const char* pcPath)
{
    COrvaneFile kFile;
    if (kFile.Open(pcPath, COrvaneFile::MODE_READ) != 1)
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    kFile.ReadLine(kLine);
    return kCharacter.LoadState(kFile) == 1;
}

const fuzz::ScratchFile g_kRecord(".txt");
const fuzz::ScratchFile g_kSaved(".txt");

// The game data and the registry with the demo prison's templates, read
// once for the process (reading their models was most of an input's
// time); each input leaves the registry without objects and with the
// ledger it started with.
struct Templates
{
    COrvaneTagTree m_kDocument;
    CPrisonStatistics m_kLedger;
};

Templates* TheTemplates()
{
    static Templates* s_pkTemplates = nullptr;
    if (s_pkTemplates != nullptr)
        return s_pkTemplates;
    if (!EnterDemoData("characters"))
        return nullptr;
    s_pkTemplates = new Templates;
    Check(s_pkTemplates->m_kDocument.Load("data.xml"));
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    pkManager->LoadPrisonTemplates(s_pkTemplates->m_kDocument);
    s_pkTemplates->m_kLedger = *pkManager->GetStatistics();
    return s_pkTemplates;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiSetMessageBoxFunction(nullptr);
    // Before the first input: writing the demo data can take longer than an
    // input may, and its coverage is no input's.
    (void)TheTemplates();
    LeaveDemoData();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    Templates* pkTemplates = TheTemplates();
    const std::string kRecord = "model\r\nfactory\r\n" + std::string(reinterpret_cast<const char*>(pucData), uiSize);
    if (pkTemplates == nullptr || !EnterDemoData("characters") ||
        !g_kRecord.Write(reinterpret_cast<const std::uint8_t*>(kRecord.data()), kRecord.size()))
    {
        LeaveDemoData();
        return 0;
    }
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    {
        Prison kPrison;
        kPrison.m_kSpawn.LoadRosters(pkTemplates->m_kDocument);
        kPrison.m_kHost.m_pkSpawnManager = &kPrison.m_kSpawn;
        kPrison.m_kControllers.RegisterControllers();
        kPrison.m_kHost.m_pkControllerManager = &kPrison.m_kControllers;
        RegisterCharacterKinds();
        CGameCharacter* pkTarget = MakePrisoner(*pkManager);
        Check(pkTarget != nullptr);
        const std::string kBefore = SaveOf(*pkTarget, g_kSaved.GetPath());
        if (!LoadFrom(*pkTarget, g_kRecord.GetPath()))
        {
            Check(SaveOf(*pkTarget, g_kSaved.GetPath()) == kBefore);
        }
        else
        {
            const std::string kOnce = SaveOf(*pkTarget, g_kSaved.GetPath());
            CGameCharacter* pkAgain = MakePrisoner(*pkManager);
            Check(pkAgain && LoadFrom(*pkAgain, g_kSaved.GetPath()));
            Check(SaveOf(*pkAgain, g_kSaved.GetPath()) == kOnce);
        }
        // The people go while the prison they were made in still stands.
        pkManager->RemoveAllObjects();
        Check(pkManager->GetLiveCount() == 0);
        *pkManager->GetStatistics() = pkTemplates->m_kLedger;
    }
    COrvaneComposite::ResetProcessState();
    LeaveDemoData();
    return 0;
}
