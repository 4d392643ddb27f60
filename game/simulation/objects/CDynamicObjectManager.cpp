#include "game/simulation/objects/CDynamicObjectManager.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridEntity.h"
#include "framework/COrvaneIOObject.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "game/simulation/objects/TextConvert.h"

#include <algorithm>
#include <string>
#include <typeindex>
#include <vector>

namespace
{
std::unique_ptr<CDynamicObjectManager> g_pkInstance;

// The number of lines of the file, a last one without its end counted.
std::uint32_t LinesIn(const std::string& kPath)
{
    COrvaneFile kFile;
    if (kPath.empty() || kFile.Open(kPath.c_str(), COrvaneFile::MODE_READ) == 0)
        return 0;
    std::string kLine;
    while (!kFile.IsEof())
        kFile.ReadLine(kLine);
    return kFile.GetLinesRead();
}

CWorld* LevelWorld()
{
    CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetWorld() : nullptr;
}

} // namespace

CDynamicObjectManager* CDynamicObjectManager::GetInstance()
{
    if (!g_pkInstance)
    {
        g_pkInstance = std::make_unique<CDynamicObjectManager>();
        g_pkInstance->RegisterFactories();
    }
    return g_pkInstance.get();
}

void CDynamicObjectManager::DestroyInstance()
{
    // The objects go while the registry can still be found: a building's
    // floors, as they go, take themselves off what stands on them through it
    // (the reset below hides the instance before its destructor runs).
    if (g_pkInstance)
        g_pkInstance->Destroy();
    g_pkInstance.reset();
}

CDynamicObjectManager* CDynamicObjectManager::GetExisting()
{
    return g_pkInstance.get();
}

CDynamicObjectManager::CDynamicObjectManager() = default;

CDynamicObjectManager::~CDynamicObjectManager()
{
    // The framework's part frees templates, factories and pools after.
    CDynamicObjectManager::Destroy();
}

void CDynamicObjectManager::Destroy()
{
    m_pkStatistics.reset();
    RemoveAllObjects();
}

void CDynamicObjectManager::Reset()
{
    m_pkStatistics.reset();
}

void CDynamicObjectManager::RegisterFactories()
{
    m_pkStatistics = std::make_unique<CPrisonStatistics>();
    StatisticsStep();
    Init();
    AddFactory(std::make_unique<CGameCharacterFactory>());
    AddFactory(std::make_unique<CAIPrisonerFactory>());
    AddFactory(std::make_unique<CAISecurityFactory>());
    AddFactory(std::make_unique<CAIMedicalFactory>());
    AddFactory(std::make_unique<CAISupportStaffFactory>());
    AddFactory(std::make_unique<CAIMaintenanceFactory>());
    AddFactory(std::make_unique<CCellFactory>());
    AddFactory(std::make_unique<CWorkObjectFactory>());
    AddFactory(std::make_unique<CFoodObjectFactory>());
    AddFactory(std::make_unique<CHospitalObjectFactory>());
    AddFactory(std::make_unique<CAdminRoomFactory>());
    AddFactory(std::make_unique<CScalableObjectFactory>());
    AddFactory(std::make_unique<CPathableObjectFactory>());
    AddFactory(std::make_unique<CWorldObjectFactory>());
    AddFactory(std::make_unique<CBaseObjectFactory>());
    AddFactory(std::make_unique<CSpawnObjectFactory>());
}

void CDynamicObjectManager::StatisticsStep()
{
    if (m_pkStatistics)
        m_pkStatistics->Update();
}

bool CDynamicObjectManager::SelectPrisonSection(COrvaneTagTree& kDocument)
{
    CGameHost* pkHost = CGameHost::Get();
    const std::uint32_t uiLevel = pkHost ? pkHost->GetLevelNumber() : 0;
    const std::string kName = "PRISON" + std::to_string(static_cast<std::uint64_t>(uiLevel) + 1);
    kDocument.FindChild(kName.c_str());
    return true;
}

bool CDynamicObjectManager::BeforePlans(COrvaneTagTree& kDocument)
{
    return SelectPrisonSection(kDocument);
}

void CDynamicObjectManager::LoadPlans(COrvaneTagTree& kDocument)
{
    if (!kDocument.FindChild(nullptr))
        return;
    do
    {
        const std::string kName = kDocument.GetCursor()->GetName();
        if (kDocument.HasChild("plans") && kName.find("<FOG>") == std::string::npos)
        {
            auto pkGroup = std::make_unique<COrvaneTemplateGroup>();
            pkGroup->m_kName = kName;
            kDocument.FindChild("plans");
            LoadTemplates(pkGroup->m_kRecords, kDocument);
            kDocument.SelectParent();
            AddGroup(std::move(pkGroup));
        }
        else
        {
            LoadPlans(kDocument);
        }
    } while (kDocument.NextSibling(nullptr));
    kDocument.SelectParent();
}

void CDynamicObjectManager::LoadPrisonTemplates(COrvaneTagTree& kDocument)
{
    LoadTemplateSection(kDocument, true);
}

int CDynamicObjectManager::FindTemplateGroup(const char* pcText) const
{
    if (!pcText)
        return -1;
    for (std::size_t i = 0; i < GetGroupCount(); ++i)
        if (GetGroup(i)->m_kName.find(pcText) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

const COrvaneTemplateGroup* CDynamicObjectManager::FindGroupOfTemplate(const COrvaneObjectTemplate* pkRecord) const
{
    if (!pkRecord)
        return nullptr;
    for (std::size_t i = 0; i < GetGroupCount(); ++i)
    {
        const COrvaneTemplateGroup* pkGroup = GetGroup(i);
        for (const std::unique_ptr<COrvaneObjectTemplate>& pkHeld : pkGroup->m_kRecords)
            if (pkHeld.get() == pkRecord)
                return pkGroup;
    }
    return nullptr;
}

COrvaneObject* CDynamicObjectManager::CreateObject(COrvaneObjectFactory* pkFactory, COrvaneObjectDesc& kDesc)
{
    kDesc.m_pkType = pkFactory;
    COrvaneObject* pkObject = COrvaneDynamicObjectManager::CreateObject(pkFactory, kDesc);
    if (pkObject && kDesc.m_pkGrid)
    {
        auto* pkGrid = dynamic_cast<CBlockGrid*>(kDesc.m_pkGrid);
        auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(pkObject);
        if (pkGrid && pkEntity)
            pkGrid->AddMember(pkEntity);
    }
    return pkObject;
}

void CDynamicObjectManager::DestroyObject(COrvaneObject* pkObject, bool bNow)
{
    if (!pkObject || !IsLive(pkObject))
        return;
    if (auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject))
    {
        // Off its footprint and its floor at once, even while it waits.
        pkPlaced->Unplace();
    }
    else if (auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(pkObject))
    {
        if (auto* pkGrid = dynamic_cast<CBlockGrid*>(pkEntity->GetGrid()))
            pkGrid->RemoveMember(pkEntity);
    }
    RemoveObject(pkObject, bNow);
}

void CDynamicObjectManager::RemoveAllObjects()
{
    // What stands on a building's floors goes first: a building takes its
    // floors with it, and an object left on one would clear its footprint
    // on a floor already freed.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i);)
    {
        if (dynamic_cast<CWorldObject*>(pkObject) == nullptr)
            DestroyObject(pkObject, true);
        if (GetObjectAt(i) == pkObject)
            ++i;
    }
    while (COrvaneObject* pkFirst = GetObjectAt(0))
        DestroyObject(pkFirst, true);
}

void CDynamicObjectManager::DestroyAllObjects()
{
    RemoveAllObjects();
}

void CDynamicObjectManager::OnDeleting(COrvaneObject* pkObject)
{
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->ObjectDestroyed(pkObject);
}

void CDynamicObjectManager::UpdateObjects(float fDt)
{
    COrvaneDynamicObjectManager::UpdateObjects(fDt);
    StatisticsStep();
}

bool CDynamicObjectManager::SaveObjects(COrvaneFile& kFile)
{
    bool bWritten = kFile.WriteString("<OBJECTS>\r\n");
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
    {
        if (auto* pkSaving = dynamic_cast<COrvaneIOObject*>(pkObject))
            bWritten = pkSaving->SaveState(kFile) != 0 && bWritten;
    }
    bWritten = kFile.WriteString("</OBJECTS>\r\n<STATISTICS>\r\n") && bWritten;
    // Without a ledger the line of a fresh one keeps the section readable.
    bWritten = (m_pkStatistics ? m_pkStatistics->Save(kFile) : CPrisonStatistics().Save(kFile)) && bWritten;
    bWritten = kFile.WriteString("</STATISTICS>\r\n") && bWritten;
    return bWritten;
}

bool CDynamicObjectManager::LoadObjects(COrvaneFile& kFile)
{
    CParsedObjects kParsed;
    if (!ParseObjects(kFile, kParsed) || !ResolveTemplates(kParsed))
        return false;
    MakeObjects(kParsed);
    return true;
}

bool CDynamicObjectManager::ParseObjects(COrvaneFile& kFile, CParsedObjects& kParsed)
{
    m_uiBadLine = 0;
    kParsed = CParsedObjects{};
    const std::string kFileName = kFile.GetFileName();
    if (kFileName.empty() || kFile.Open(kFileName.c_str(), COrvaneFile::MODE_READ) == 0)
        return false;

    bool bSection = false;
    std::string kLine;
    while (!bSection && !kFile.IsEof())
    {
        kFile.ReadLine(kLine);
        bSection = kLine.find("<OBJECTS>") != std::string::npos;
    }
    kParsed.m_bSection = bSection;
    const std::uint32_t uiMarker = kFile.GetLinesRead();

    auto Bad = [this, &kParsed](std::uint32_t uiLine) {
        m_uiBadLine = uiLine;
        kParsed = CParsedObjects{};
        return false;
    };
    // The file ends inside the section: a marker with nothing after it is
    // named by its own line, anything later by the first line missing
    // (whatever the record's readers counted past the end).
    auto Cut = [&kFile, &Bad, uiMarker]() {
        return Bad(kFile.GetLinesRead() == uiMarker ? uiMarker : LinesIn(kFile.GetFileName()) + 1);
    };
    while (bSection)
    {
        if (kFile.IsEof())
            return Cut();
        kFile.ReadLine(kLine);
        if (kLine.find("</OBJECTS>") != std::string::npos)
            break;
        // A second start inside the section, or another section's tag
        // where a record starts: its end was lost (cut inside its line
        // when the file ends there).
        if (kLine.find('<') != std::string::npos)
            return kFile.IsEof() ? Cut() : Bad(kFile.GetLinesRead());
        CParsedObjectRecord kRecord;
        kRecord.m_kTemplate = kLine;
        kRecord.m_uiTemplateLine = kFile.GetLinesRead();
        if (kFile.IsEof())
            return Cut();
        kFile.ReadLine(kRecord.m_kFactory);
        COrvaneObjectFactory* pkFactory = FactoryNamed(kRecord.m_kFactory.c_str());
        std::unique_ptr<COrvaneObject> pkBlank = pkFactory ? pkFactory->CreateBlank() : nullptr;
        auto* pkReader = dynamic_cast<COrvaneIOObject*>(pkBlank.get());
        if (!pkReader)
            return Bad(kFile.GetLinesRead());
        kRecord.m_kKind = typeid(*pkReader);
        kRecord.m_pkState = pkReader->NewState();
        if (!kRecord.m_pkState || !pkReader->ParseState(kFile, *kRecord.m_pkState))
            return kFile.IsEof() ? Cut() : Bad(kFile.GetLinesRead());
        kParsed.m_kRecords.push_back(std::move(kRecord));
    }

    std::uint32_t uiStatistics = 0;
    switch (FindSectionMarker(kFile, "<STATISTICS>", uiStatistics))
    {
    case ESectionMarker::ABSENT: break;
    // The ledger's marker with nothing after it: its line is missing.
    case ESectionMarker::ENDS_FILE: return Bad(uiStatistics);
    case ESectionMarker::FOUND:
    {
        // Values only: a tag where the line belongs is an empty section,
        // which changes nothing.
        kFile.ReadLine(kLine);
        std::vector<int> kValues;
        if (kLine.find('<') == std::string::npos)
        {
            if (!ParseWholeIntList(kLine, kValues, ','))
                return Bad(kFile.GetLinesRead());
            // A file cut inside the line still reads as numbers: the
            // section's end tells it was whole.
            if (kFile.IsEof())
                return Bad(kFile.GetLinesRead() + 1);
            std::string kEnd;
            kFile.ReadLine(kEnd);
            if (kEnd.find("</STATISTICS>") == std::string::npos)
                return Bad(kFile.GetLinesRead() + (kFile.IsEof() ? 1 : 0));
            kParsed.m_bStatistics = true;
            kParsed.m_kStatisticsLine = kLine;
        }
        break;
    }
    }
    return true;
}

bool CDynamicObjectManager::ResolveTemplates(CParsedObjects& kParsed)
{
    m_uiBadLine = 0;
    for (CParsedObjectRecord& kRecord : kParsed.m_kRecords)
    {
        kRecord.m_pkTemplate = FindTemplate(kRecord.m_kTemplate.c_str());
        if (!kRecord.m_pkTemplate)
        {
            m_uiBadLine = kRecord.m_uiTemplateLine;
            return false;
        }
    }
    return true;
}

void CDynamicObjectManager::MakeObjects(CParsedObjects& kParsed)
{
    CWorld* pkWorld = LevelWorld();
    for (CParsedObjectRecord& kRecord : kParsed.m_kRecords)
    {
        if (!kRecord.m_pkTemplate)
            continue;
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = kRecord.m_pkTemplate;
        kDesc.m_ucMode = 1;
        kDesc.m_ucAddToWorld = 1;
        COrvaneObject* pkObject = CreateObject(FindFactory(kRecord.m_kFactory.c_str(), pkWorld), kDesc);
        // The factory makes the kind its blank showed; a factory that does
        // not would be handed a record it cannot take.
        auto* pkLoaded = dynamic_cast<COrvaneIOObject*>(pkObject);
        if (pkLoaded && std::type_index(typeid(*pkLoaded)) == kRecord.m_kKind)
            pkLoaded->ApplyState(*kRecord.m_pkState);
    }
    if (m_pkStatistics && kParsed.m_bStatistics)
        m_pkStatistics->LoadLine(kParsed.m_kStatisticsLine);
}

bool CDynamicObjectManager::RelinkAfterLoad()
{
    CWorld* pkWorld = LevelWorld();
    if (pkWorld)
        pkWorld->UpdateScene(0.0f);
    // Models outside the world's scene (a level without one) take their
    // objects' places too, so a save made straight after a load says where
    // everything stands.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
    // Buildings lay out their floors again first, so that what stands
    // inside finds its floor.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject);
        if (!pkBuilding)
            continue;
        pkBuilding->Reattach();
        pkBuilding->BuildFloors();
        pkBuilding->ConstructionStep(true);
    }
    // Placed objects find their floors, take their people back and stand
    // on their footprints again.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
    {
        auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject);
        if (!pkPlaced || pkPlaced->IsBuilding())
            continue;
        pkPlaced->Reattach();
        pkPlaced->Place();
    }
    // Characters find the objects, floors and partners their records name.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
        if (auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject))
            pkCharacter->ResolveReferences();
    // What stands on a building's floors shows from outside as it does
    // once the player has left the building: hidden, the cells of a block
    // stayed out of sight until the block was entered and left again.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
        if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject);
            pkBuilding && pkBuilding->HasInteriorFloors() && pkBuilding->GetStack())
            pkBuilding->GetStack()->ShowAllFloors();
    // Only the totals: the clock came back with the save, so what its last
    // change still owes (a new day's payments, the hour's messages) is the
    // next frame's step to do, once, as in the game that saved. Run here
    // too, a save made the moment the day rolled would pay the day twice.
    if (m_pkStatistics)
    {
        m_pkStatistics->TakeSavedPurchases();
        m_pkStatistics->UpdateTotals();
    }
    if (pkWorld)
        pkWorld->UpdateScene(0.0f);
    return true;
}

void CDynamicObjectManager::NewDayStep()
{
    // Characters finish their day (a prisoner's sentence may end: it is
    // only marked gone here, so the list stays as it is); placed objects
    // pay and age their posts; then the ledger's day.
    for (std::uint32_t i = 0; COrvaneObject* pkObject = GetObjectAt(i); ++i)
    {
        if (IsPending(pkObject))
            continue;
        if (auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject))
            pkCharacter->FinishActivity();
        else if (auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject))
            pkPlaced->DailyUpdate();
    }
    if (m_pkStatistics)
        m_pkStatistics->NewDay();
}

void CDynamicObjectManager::ResetForNewGame()
{
    RemoveAllObjects();
    ClearTemplates();
    if (m_pkStatistics)
        m_pkStatistics = std::make_unique<CPrisonStatistics>();
    RenewPools();
}
