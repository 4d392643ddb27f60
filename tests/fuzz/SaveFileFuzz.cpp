// Whole saved games: the input is the ".fds" file, read as the game reads
// it before it lets go of a running game (header sections, then every
// object record, each by the game's own kind, over the demo prison's
// templates), and its objects made. A refused file names a line within
// it; an accepted header written out reads back to the same bytes when
// written again.

#include "engine/core/NiMessageBox.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneTagTree.h"
#include "game/shell/CSaveFile.h"
#include "game/simulation/ai/CAIControllerManager.h"
#include "game/simulation/characters/CCharacterFactories.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/game/support/CRecordingHost.h"

#include <algorithm>
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

std::string Bytes(const char* pcPath)
{
    std::ifstream kIn(pcPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

bool WriteHeader(const CSaveHeader& kHeader, const char* pcPath)
{
    COrvaneFile kFile;
    return kFile.Open(pcPath, COrvaneFile::MODE_WRITE) == 1 && CSaveFile::WriteHeader(kFile, kHeader) && kFile.Flush();
}

const fuzz::ScratchFile g_kSave(".fds");
const fuzz::ScratchFile g_kFirst(".fds");
const fuzz::ScratchFile g_kSecond(".fds");

// The demo prison's templates in the game's registry, with the game's own
// kinds of object and a host with the people's controllers and rosters, so
// every record reads and is made as the game does it; read once for the
// process (reading the models was most of an input's time). Each input
// leaves no objects, the ledger it started with and no recorded calls.
struct Registry
{
    CRecordingHost m_kHost;
    CSpawnManager m_kSpawn;
    CAIControllerManager m_kControllers;
    COrvaneTagTree m_kDocument;
    CPrisonStatistics m_kLedger;

    void Clear()
    {
        CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
        pkRegistry->RemoveAllObjects();
        Check(pkRegistry->GetLiveCount() == 0);
        *pkRegistry->GetStatistics() = m_kLedger;
        m_kSpawn.Reset();
        m_kSpawn.ClearParoleCandidates();
        m_kHost.ClearCalls();
        m_kHost.m_kDestroyed.clear();
        m_kHost.m_usPersonCounter = 0;
    }
};

Registry* TheRegistry()
{
    static Registry* s_pkRegistry = nullptr;
    if (s_pkRegistry != nullptr)
        return s_pkRegistry;
    if (!EnterDemoData("save"))
        return nullptr;
    s_pkRegistry = new Registry;
    Check(s_pkRegistry->m_kDocument.Load("data.xml"));
    RegisterCharacterKinds();
    CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
    pkRegistry->LoadPrisonTemplates(s_pkRegistry->m_kDocument);
    s_pkRegistry->m_kSpawn.LoadRosters(s_pkRegistry->m_kDocument);
    s_pkRegistry->m_kHost.m_pkSpawnManager = &s_pkRegistry->m_kSpawn;
    s_pkRegistry->m_kControllers.RegisterControllers();
    s_pkRegistry->m_kHost.m_pkControllerManager = &s_pkRegistry->m_kControllers;
    s_pkRegistry->m_kLedger = *pkRegistry->GetStatistics();
    return s_pkRegistry;
}

void CheckSave(const std::uint8_t* pucData, std::size_t uiSize, CDynamicObjectManager& kRegistry)
{
    const std::size_t uiLines = static_cast<std::size_t>(std::count(pucData, pucData + uiSize, '\n')) + 1;
    CSaveFile kSave;
    if (!kSave.Parse(g_kSave.GetPath(), kRegistry))
    {
        // Nothing made; an opened file names a line of it (or the one
        // after its end).
        Check(kRegistry.GetLiveCount() == 0);
        Check(uiSize == 0 || (kSave.GetBadLine() > 0 && kSave.GetBadLine() <= uiLines + 1));
        return;
    }
    Check(kRegistry.GetLiveCount() == 0);
    if (kRegistry.ResolveTemplates(kSave.GetObjects()))
    {
        kRegistry.MakeObjects(kSave.GetObjects());
        Check(kRegistry.GetLiveCount() == kSave.GetObjects().m_kRecords.size());
    }
    // The build texts are free lines: one holding a later section's marker
    // would be found first once written (the game writes only its own
    // stamp there).
    const CSaveHeader& kHeader = kSave.GetHeader();
    if (kHeader.m_kBuildTime.find('<') != std::string::npos || kHeader.m_kBuildDate.find('<') != std::string::npos)
        return;
    Check(WriteHeader(kHeader, g_kFirst.GetPath()));
    CSaveFile kAgain;
    COrvaneFile kFile;
    Check(kFile.Open(g_kFirst.GetPath(), COrvaneFile::MODE_READ) == 1);
    Check(kAgain.ParseHeader(kFile));
    Check(WriteHeader(kAgain.GetHeader(), g_kSecond.GetPath()));
    Check(Bytes(g_kFirst.GetPath()) == Bytes(g_kSecond.GetPath()));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiSetMessageBoxFunction(nullptr);
    // Before the first input: writing the demo data can take longer than an
    // input may, and its coverage is no input's.
    (void)TheRegistry();
    LeaveDemoData();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    Registry* pkRegistry = TheRegistry();
    if (pkRegistry == nullptr || !EnterDemoData("save"))
        return 0;
    if (g_kSave.Write(pucData, uiSize))
        CheckSave(pucData, uiSize, *CDynamicObjectManager::GetInstance());
    pkRegistry->Clear();
    COrvaneComposite::ResetProcessState();
    LeaveDemoData();
    return 0;
}
