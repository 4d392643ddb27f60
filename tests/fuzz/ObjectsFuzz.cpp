// The objects and statistics sections of a save: the input is the save
// file; the templates are the demo data's, written once into a scratch
// folder that becomes the current folder and read once for the process.
// Two factories make saving objects (one with a footprint, one without). A load either makes every
// record's object or nothing and names a line; what loads is saved and
// must load again to the same count.

#include "engine/core/NiMessageBox.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

class Furniture : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 2; }
};

class Walker : public COrvaneGridEntity
{
public:
    std::int32_t GetEntityKind() const override { return 1; }
};

std::unique_ptr<COrvaneObject> MakeFurniture()
{
    return std::make_unique<Furniture>();
}

std::unique_ptr<COrvaneObject> MakeWalker()
{
    return std::make_unique<Walker>();
}

void Prepare(CDynamicObjectManager& kManager, COrvaneTagTree& kDocument)
{
    kManager.RegisterFactories();
    kManager.LoadPrisonTemplates(kDocument);
    static_cast<CGameObjectFactory*>(kManager.FactoryNamed("CellFactory"))->SetMaker(&MakeFurniture);
    static_cast<CGameObjectFactory*>(kManager.FactoryNamed("SecurityGuardFactory"))->SetMaker(&MakeWalker);
}

bool LoadFrom(CDynamicObjectManager& kManager, const char* pcPath)
{
    COrvaneFile kFile;
    return kFile.Open(pcPath, COrvaneFile::MODE_READ) == 1 && kManager.LoadObjects(kFile);
}

const fuzz::ScratchFile g_kSave(".fds");
const fuzz::ScratchFile g_kAgain(".fds");

// Two registries over the demo prison's templates, read once for the
// process (reading their models was most of an input's time): one loads
// the input, the other what it saves. Each input leaves both without
// objects and with the ledger they started with.
struct Registries
{
    COrvaneTagTree m_kDocument;
    CDynamicObjectManager m_kLoaded;
    CDynamicObjectManager m_kReloaded;
    CPrisonStatistics m_kLedger;

    void Clear()
    {
        for (CDynamicObjectManager* pkManager : {&m_kLoaded, &m_kReloaded})
        {
            pkManager->RemoveAllObjects();
            Check(pkManager->GetLiveCount() == 0);
            *pkManager->GetStatistics() = m_kLedger;
        }
    }
};

Registries* TheRegistries()
{
    static Registries* s_pkRegistries = nullptr;
    if (s_pkRegistries != nullptr)
        return s_pkRegistries;
    if (!EnterDemoData("objects"))
        return nullptr;
    s_pkRegistries = new Registries;
    Check(s_pkRegistries->m_kDocument.Load("data.xml"));
    Prepare(s_pkRegistries->m_kLoaded, s_pkRegistries->m_kDocument);
    Prepare(s_pkRegistries->m_kReloaded, s_pkRegistries->m_kDocument);
    s_pkRegistries->m_kLedger = *s_pkRegistries->m_kLoaded.GetStatistics();
    return s_pkRegistries;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiSetMessageBoxFunction(nullptr);
    // Before the first input: writing the demo data can take longer than an
    // input may, and its coverage is no input's.
    (void)TheRegistries();
    LeaveDemoData();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    Registries* pkRegistries = TheRegistries();
    if (pkRegistries == nullptr || !EnterDemoData("objects") || !g_kSave.Write(pucData, uiSize))
    {
        LeaveDemoData();
        return 0;
    }
    CDynamicObjectManager& kManager = pkRegistries->m_kLoaded;
    const std::int32_t iFunds = kManager.GetStatistics()->m_iStartingFunds;
    COrvaneFile kFile;
    if (kFile.Open(g_kSave.GetPath(), COrvaneFile::MODE_READ) == 1)
    {
        if (!kManager.LoadObjects(kFile))
        {
            // Nothing made, nothing changed, a line named.
            Check(kManager.GetLiveCount() == 0);
            Check(kManager.GetBadLine() > 0);
            Check(kManager.GetStatistics()->m_iStartingFunds == iFunds);
        }
        else
        {
            Check(kManager.GetBadLine() == 0);
            const std::size_t uiCount = kManager.GetLiveCount();
            COrvaneFile kOut;
            Check(kOut.Open(g_kAgain.GetPath(), COrvaneFile::MODE_WRITE) == 1);
            Check(kManager.SaveObjects(kOut) && kOut.Flush());
            kOut.Close();
            Check(LoadFrom(pkRegistries->m_kReloaded, g_kAgain.GetPath()));
            Check(pkRegistries->m_kReloaded.GetLiveCount() == uiCount);
            kManager.UpdateObjects(0.1f);
        }
    }
    pkRegistries->Clear();
    COrvaneComposite::ResetProcessState();
    LeaveDemoData();
    return 0;
}
