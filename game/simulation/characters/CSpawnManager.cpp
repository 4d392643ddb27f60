#include "game/simulation/characters/CSpawnManager.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneUtility.h"
#include "framework/COrvaneWidget.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CSpawnObject.h"
#include "game/simulation/objects/CWorld.h"

#include "platform/os/OsFiles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numbers>

namespace
{
std::string WithoutLineEnd(std::string kText)
{
    while (!kText.empty() && (kText.back() == '\n' || kText.back() == '\r'))
        kText.pop_back();
    return kText;
}

// The value lines of the section, searched from the root, into the list.
std::uint16_t ReadNames(COrvaneTagTree& kDocument, const char* pcSection, std::vector<std::string>& kNames)
{
    if (!kDocument.SelectSection(pcSection, true))
        return static_cast<std::uint16_t>(kNames.size());
    for (const std::string& kValue : kDocument.GetValues())
        kNames.push_back(WithoutLineEnd(kValue));
    return static_cast<std::uint16_t>(kNames.size());
}

// The first child whose name holds the text; null when none does.
const COrvaneTagNode* ChildNamed(const COrvaneTagNode* pkNode, const char* pcText)
{
    if (!pkNode)
        return nullptr;
    for (std::size_t i = 0; i < pkNode->GetChildCount(); ++i)
        if (const COrvaneTagNode* pkChild = pkNode->GetChild(i); pkChild && pkChild->GetName().find(pcText) != std::string::npos)
            return pkChild;
    return nullptr;
}

// The first values of the "plans" children that have values, in order.
std::vector<std::string> PlanNames(const COrvaneTagNode* pkNode)
{
    std::vector<std::string> kNames;
    const COrvaneTagNode* pkPlans = ChildNamed(pkNode, "plans");
    for (std::size_t i = 0; pkPlans && i < pkPlans->GetChildCount(); ++i)
        if (const COrvaneTagNode* pkPlan = pkPlans->GetChild(i); pkPlan && !pkPlan->GetValues().empty())
            kNames.push_back(WithoutLineEnd(pkPlan->GetValues().front()));
    return kNames;
}

std::unique_ptr<COrvaneImage> LoadImage(const std::string& kPath)
{
    CWidgetDesc kDesc;
    kDesc.m_kName = kPath;
    const CGameHost* pkHost = CGameHost::Get();
    kDesc.m_pkCamera = pkHost ? pkHost->GetCamera() : nullptr;
    auto pkImage = std::make_unique<COrvaneImage>();
    pkImage->Create(kDesc);
    return pkImage;
}

// The first file of the folder search for the pattern, or empty.
std::string FirstMatch(const std::string& kPattern)
{
    os::FindData kFound;
    const os::FindHandle hFind = os::FindFirst(kPattern, kFound);
    if (hFind == -1)
        return std::string();
    (void)os::FindClose(hFind);
    return kFound.name;
}

// The marker out of the world it was attached to, then freed.
void FreeMarker(std::unique_ptr<COrvaneSceneNode>& rpkMarker)
{
    if (!rpkMarker)
        return;
    if (COrvaneWorld* pkWorld = rpkMarker->GetWorld())
        DetachSceneNodeFromWorld(*rpkMarker, *pkWorld);
    rpkMarker.reset();
}

CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

void Post(int iMessage)
{
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->PostMessage(iMessage);
}

// The level's view of the prison when the camera is put back: position and
// heading in degrees, for levels 0 to 2.
struct StartView
{
    NiVec3 m_kPosition;
    float m_fHeading;
};
const std::array<StartView, 3> START_VIEWS{{
    {NiVec3(104.0f, 13.0f, -30.0f), 20.0f},
    {NiVec3(98.0f, 29.0f, 25.0f), 153.0f},
    {NiVec3(67.0f, 29.0f, 36.0f), 118.0f},
}};
// The camera looks down this far at every start view.
constexpr float START_TILT_DEGREES = 9.0f;

float Radians(float fDegrees)
{
    return fDegrees * std::numbers::pi_v<float> / 180.0f;
}

// The cell of grid 1 under the spline's end; -1 when it has none there.
std::int32_t EndCell(const COrvaneAnimationSpline* pkSpline, const CBlockGrid* pkGrid)
{
    NiVec3 kEnd;
    if (!pkSpline || !pkGrid || !pkSpline->GetEndPosition(kEnd))
        return -1;
    const std::int32_t iCell = pkGrid->CellAt(kEnd);
    return pkGrid->IsValidCell(iCell, true) ? iCell : -1;
}

CBlockGrid* OutsideGrid()
{
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    return pkGrids ? pkGrids->FindGrid(1) : nullptr;
}

// Without a road a new character starts at the centre of the outside's
// first cell.
void StartOutside(CGameCharacter& kCharacter)
{
    CBlockGrid* pkGrid = OutsideGrid();
    NiVec3 kAt;
    if (!pkGrid || !pkGrid->CellPosition(0, kAt, true))
        return;
    kCharacter.SetPosition(kAt, 0);
    kCharacter.SetGrid(pkGrid);
}

bool Contains(const std::string& kText, const char* pcPart)
{
    return kText.find(pcPart) != std::string::npos;
}

int CurrentYear()
{
    const CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
        return 0;
    const CClockState kClock = pkHost->GetClock();
    return static_cast<int>(kClock.m_usYear) + kClock.m_sYearOffset;
}
} // namespace

CSpawnManager::HeadSet::HeadSet() = default;
CSpawnManager::HeadSet::~HeadSet() = default;

CSpawnManager::CSpawnManager()
{
    Reset();
}

CSpawnManager::~CSpawnManager()
{
    Clear();
}

void CSpawnManager::Reset()
{
    m_pkCarried = nullptr;
    m_iCarryGrid = -1;
    m_iCarryCell = -1;
    FreeMarker(m_pkCarryMarker);
    m_ucCameraFollows = 0;
    m_usTemplateCount = 0;
    m_usMaleNameCount = 0;
    m_usFemaleNameCount = 0;
    m_usSurnameCount = 0;
    m_iArrivalState = ARRIVAL_IDLE;
    // The path is owned here alone: letting go of it without freeing it
    // would lose it.
    m_pkArrivalPath.reset();
    m_ucPlacedHigher = 0;
    m_ucNoCell = 0;
    m_usPrisonersToUnload = 0;
    m_fUnloadTimer = 0.0f;
    m_uiStaffGroupBase = 0;
}

void CSpawnManager::Clear()
{
    m_kHeadSets.clear();
    m_kPrisonerTemplates.clear();
    m_kMaleNames.clear();
    m_kFemaleNames.clear();
    m_kSurnames.clear();
    m_pkArrivalPath.reset();
    Reset();
}

void CSpawnManager::LoadRosters(COrvaneTagTree& kDocument)
{
    // A missing group leaves no base: every staff spawn then reports its
    // template as missing.
    m_uiStaffGroupBase = NO_STAFF_GROUP_BASE;
    if (const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
    {
        const int iStaff = pkManager->FindTemplateGroup("STAFF");
        const int iBuildings = pkManager->FindTemplateGroup("BUILDINGS");
        if (iStaff >= 0 && iBuildings >= 0)
            m_uiStaffGroupBase = static_cast<std::uint32_t>(iStaff - iBuildings);
    }

    const CGameHost* pkHost = CGameHost::Get();
    const std::string kPrison = "PRISON" + std::to_string((pkHost ? pkHost->GetLevelNumber() : 0) + 1);
    if (kDocument.SelectSection(kPrison.c_str(), true))
    {
        const COrvaneTagNode* pkPrison = kDocument.GetCursor();
        const COrvaneTagNode* pkCriminals = ChildNamed(pkPrison, "CRIMINALS");
        LoadHeadSets(pkCriminals);
        if (const COrvaneTagNode* pkSecurity = ChildNamed(ChildNamed(pkPrison, "STAFF"), "SECURITY"))
        {
            const COrvaneTagNode* pkParent = pkSecurity->GetParent();
            bool bFrom = false;
            for (std::size_t i = 0; pkParent && i < pkParent->GetChildCount(); ++i)
            {
                bFrom = bFrom || pkParent->GetChild(i) == pkSecurity;
                if (bFrom)
                    LoadHeadSets(pkParent->GetChild(i));
            }
        }
        for (std::string& kName : PlanNames(pkCriminals))
            m_kPrisonerTemplates.push_back(std::move(kName));
        m_usTemplateCount = static_cast<std::uint16_t>(m_kPrisonerTemplates.size());
    }

    m_usMaleNameCount = ReadNames(kDocument, "MALE_NAMES", m_kMaleNames);
    m_usFemaleNameCount = ReadNames(kDocument, "FEMALE_NAMES", m_kFemaleNames);
    m_usSurnameCount = ReadNames(kDocument, "SURNAMES", m_kSurnames);
}

void CSpawnManager::AddParoleCandidate(CAIPrisoner* pkPrisoner)
{
    if (pkPrisoner &&
        std::find(m_kParoleCandidates.begin(), m_kParoleCandidates.end(), pkPrisoner) == m_kParoleCandidates.end())
        m_kParoleCandidates.push_back(pkPrisoner);
}

void CSpawnManager::LoadHeadSets(const COrvaneTagNode* pkNode)
{
    for (const std::string& kName : PlanNames(pkNode))
    {
        auto pkSet = std::make_unique<HeadSet>();
        pkSet->m_kName = kName;
        const std::size_t uiSlash = kName.rfind('/');
        const std::string kDirectory = uiSlash == std::string::npos ? std::string() : kName.substr(0, uiSlash + 1);
        for (int i = 1; i <= MAX_HEAD_IMAGES; ++i)
        {
            const std::string kFile = FirstMatch(kDirectory + "head_" + std::to_string(i) + "*.*");
            if (kFile.empty())
                break;
            pkSet->m_kImages.push_back(LoadImage(kDirectory + kFile));
        }
        m_kHeadSets.push_back(std::move(pkSet));
    }
}

COrvaneImage* CSpawnManager::FindHeadImage(const char* pcName, std::size_t uiIndex) const
{
    if (!pcName)
        return nullptr;
    for (const std::unique_ptr<HeadSet>& pkSet : m_kHeadSets)
        if (pkSet->m_kName.find(pcName) != std::string::npos && pkSet->m_kImages.size() > uiIndex)
            return pkSet->m_kImages[uiIndex].get();
    return nullptr;
}

COrvaneImage* CSpawnManager::FindOrLoadImage(const char* pcPath)
{
    if (COrvaneImage* pkImage = FindHeadImage(pcPath, 0))
        return pkImage;
    if (!pcPath || !std::strstr(pcPath, ".tga"))
        return nullptr;
    auto pkSet = std::make_unique<HeadSet>();
    pkSet->m_kName = pcPath;
    pkSet->m_kImages.push_back(LoadImage(pcPath));
    COrvaneImage* pkImage = pkSet->m_kImages.front().get();
    m_kHeadSets.push_back(std::move(pkSet));
    return pkImage;
}

void CSpawnManager::AddWaitingPrisoner(CAIPrisoner* pkPrisoner)
{
    if (pkPrisoner && std::find(m_kWaitingPrisoners.begin(), m_kWaitingPrisoners.end(), pkPrisoner) == m_kWaitingPrisoners.end())
        m_kWaitingPrisoners.push_back(pkPrisoner);
}

void CSpawnManager::RemoveWaitingPrisoner(CAIPrisoner* pkPrisoner)
{
    m_kWaitingPrisoners.remove(pkPrisoner);
}

void CSpawnManager::FormatNameList(std::string& kOut, std::uint32_t uiGender, std::uint32_t uiFirstName,
                                   std::uint32_t uiSurname) const
{
    if (uiSurname < m_usSurnameCount && uiSurname < m_kSurnames.size())
        kOut = m_kSurnames[uiSurname] + ",\n";
    const std::vector<std::string>& kFirst = uiGender ? m_kFemaleNames : m_kMaleNames;
    const std::uint16_t usCount = uiGender ? m_usFemaleNameCount : m_usMaleNameCount;
    if (uiFirstName < usCount && uiFirstName < kFirst.size())
        kOut += kFirst[uiFirstName];
}

std::uint16_t CSpawnManager::CountArrivals(int iBeds, int iBedsTaken, int iOrder)
{
    const int iCap = std::min(iBeds, BED_CAP);
    const int iFree = iBedsTaken >= iCap ? 0 : iCap - iBedsTaken;
    const int iAtMost = 1 + static_cast<int>(static_cast<float>(iOrder) * 0.009f);
    if (iFree <= 0)
        return 0;
    if (iFree == 1 || iAtMost <= 1)
        return 1;
    return static_cast<std::uint16_t>(NiRand() % std::min(iFree - 1, iAtMost - 1) + 1);
}

bool CSpawnManager::PickUpCharacter(CGameCharacter* pkCharacter)
{
    // A second pick-up would lose the first character's way back.
    if (!pkCharacter || m_pkCarried)
        return false;
    m_pkCarryMarker = CreateFlatQuad(CARRY_MARKER_SIZE, CARRY_MARKER_SIZE);
    CGameHost* pkHost = CGameHost::Get();
    CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr;
    if (m_pkCarryMarker && pkWorld && pkWorld->GetSceneRoot())
    {
        AttachSceneNodeToWorld(*m_pkCarryMarker, *pkWorld, false);
        pkWorld->UpdateScene(0.0f);
    }
    if (m_pkCarryMarker)
        m_pkCarryMarker->SetSignalColor(0.0f, 0.0f, 1.0f, CARRY_MARKER_ALPHA);
    pkCharacter->PrepareForCarry();
    m_pkCarried = pkCharacter;
    const COrvaneBlockGrid* pkGrid = pkCharacter->GetGrid();
    const NiVec3* pkAt = pkCharacter->GetModelPosition();
    m_iCarryGrid = pkGrid ? pkGrid->GetId() : -1;
    m_iCarryCell = pkGrid && pkAt ? pkGrid->CellAt(*pkAt) : -1;
    if (pkHost)
    {
        // A game a panel has paused keeps the speed that panel kept.
        if (pkHost->GetGameSpeed() > 0.0f)
            pkHost->SetSavedSpeed(pkHost->GetGameSpeed());
        pkHost->SetGameSpeed(0.0f);
    }
    return true;
}

void CSpawnManager::UpdateCarry()
{
    if (!m_pkCarried)
        return;
    CGameHost* pkHost = CGameHost::Get();
    if (pkHost && pkHost->GetGameSpeed() > 0.0f)
    {
        pkHost->SetGameSpeed(0.0f);
        return;
    }
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    CBlockGrid* pkGrid = pkGrids ? pkGrids->GetPickGrid() : nullptr;
    if (!pkGrid || !m_pkCarried->CanDropOn(pkGrid))
    {
        if (m_pkCarryMarker)
        {
            m_pkCarryMarker->SetSignalColor(1.0f, 0.0f, 0.0f, CARRY_MARKER_ALPHA);
            m_pkCarryMarker->ApplyChanges();
        }
        return;
    }
    if (m_pkCarried->GetGrid() != pkGrid)
    {
        m_pkCarried->SetGrid(pkGrid);
        m_pkCarried->AddToWorld(pkHost ? pkHost->GetWorld() : nullptr, false);
    }
    const NiVec3& kPick = pkGrids->GetPickPoint();
    m_pkCarried->SetPosition(kPick, 0);
    if (m_pkCarryMarker)
    {
        m_pkCarryMarker->SetPosition(NiVec3(kPick.x, kPick.y + CARRY_MARKER_RAISE, kPick.z), false);
        m_pkCarryMarker->SetSignalColor(0.0f, 0.0f, 1.0f, CARRY_MARKER_ALPHA);
        m_pkCarryMarker->ApplyChanges();
    }
}

void CSpawnManager::DropCharacter()
{
    if (!m_pkCarried)
        return;
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    CBlockGrid* pkGrid = pkGrids ? pkGrids->GetPickGrid() : nullptr;
    if (pkGrid && m_pkCarried->CanDropOn(pkGrid))
        m_pkCarried->OnDropped(true);
    else
        m_pkCarried->ReturnToCell(m_iCarryGrid, m_iCarryCell);
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->SetGameSpeed(pkHost->GetSavedSpeed());
    ClearCarry();
}

void CSpawnManager::CancelCarry()
{
    if (!m_pkCarried)
        return;
    m_pkCarried->ReturnToCell(m_iCarryGrid, m_iCarryCell);
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->SetGameSpeed(pkHost->GetSavedSpeed());
    ClearCarry();
}

void CSpawnManager::ClearCarry()
{
    m_pkCarried = nullptr;
    m_iCarryGrid = -1;
    m_iCarryCell = -1;
    FreeMarker(m_pkCarryMarker);
}

void CSpawnManager::UpdateArrivals(float fDt)
{
    UpdateCarry();
    COrvaneObject* pkVehicle = m_pkArrivalPath ? m_pkArrivalPath->m_pkVehicle : nullptr;
    if (m_iArrivalState == ARRIVAL_DUE)
    {
        const CPrisonStatistics* pkLedger = Ledger();
        const int iBeds = pkLedger ? pkLedger->m_usBeds : 0;
        if (iBeds == 0)
            Post(MESSAGE_NO_BEDS);
        m_usPrisonersToUnload =
            CountArrivals(iBeds, pkLedger ? pkLedger->m_usBedsTaken : 0, pkLedger ? pkLedger->m_iOrder : 0);
        if (pkVehicle)
        {
            const COrvaneAnim* pkAnimation = pkVehicle->GetCurrentAnimation();
            pkVehicle->PlayAnimation(pkAnimation ? pkAnimation->GetName() : nullptr, 0, 0.0f, 0, 1);
            m_fUnloadTimer = pkVehicle->GetTimer() + UNLOAD_INTERVAL;
            if (pkVehicle->GetTimer() > 0.0f)
                m_ucCameraFollows = 1;
        }
        m_iArrivalState = ARRIVAL_DRIVING;
    }
    else if (m_iArrivalState == ARRIVAL_DRIVING)
    {
        // Without a vehicle nobody arrives: the arrival waits for one.
        if (!pkVehicle)
            return;
        if (pkVehicle->GetTimer() <= 0.0f)
        {
            ResetCameraView(false);
            m_iArrivalState = ARRIVAL_UNLOADING;
        }
        else if (m_ucCameraFollows)
            (void)FollowVehicle();
    }
    else if (m_iArrivalState == ARRIVAL_UNLOADING)
    {
        if (UnloadStep(fDt))
            m_iArrivalState = ARRIVAL_IDLE;
    }
}

bool CSpawnManager::UnloadStep(float fDt)
{
    if (m_usPrisonersToUnload == 0)
    {
        if (m_ucPlacedHigher)
        {
            m_ucPlacedHigher = 0;
            Post(MESSAGE_PLACED_HIGHER);
        }
        if (m_ucNoCell)
        {
            m_ucNoCell = 0;
            Post(MESSAGE_NO_CELL);
        }
        return true;
    }
    if (m_fUnloadTimer > 0.0f)
    {
        m_fUnloadTimer -= fDt;
        return false;
    }
    // Nobody made still counts: a missing floor or template must not hold
    // the arrival open for ever.
    if (CAIPrisoner* pkPrisoner = CreateArrivingPrisoner())
        if (!AssignCell(pkPrisoner))
            AddWaitingPrisoner(pkPrisoner);
    --m_usPrisonersToUnload;
    m_fUnloadTimer = UNLOAD_INTERVAL;
    return false;
}

CAIPrisoner* CSpawnManager::CreateArrivingPrisoner()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    if (!pkManager || !pkGrids || !pkGrids->FindGrid(1))
        return nullptr;
    CGameHost* pkHost = CGameHost::Get();
    CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr;
    COrvaneObjectFactory* pkFactory = pkManager->FindFactory("PrisonerFactory", pkWorld);
    if (!pkFactory)
        return nullptr;

    COrvaneObjectDesc kDesc;
    kDesc.m_ucMode = 1;
    // Into the level's scene, where it is drawn and its model follows it.
    kDesc.m_ucAddToWorld = 1;
    CCharacterStats* pkReturning = nullptr;
    std::list<Reoffender>::iterator kEntry = m_kReoffenders.end();
    if (!m_kReoffenders.empty() && (NiRand() & 1) != 0)
    {
        kEntry = std::next(m_kReoffenders.begin(), NiRand() % static_cast<int>(m_kReoffenders.size()));
        kDesc.m_pkTemplate = pkManager->FindTemplate(kEntry->m_kName.c_str());
        pkReturning = &kEntry->m_kStats;
    }
    else
    {
        if (m_kPrisonerTemplates.empty())
            return nullptr;
        const std::string& kName =
            m_kPrisonerTemplates[static_cast<std::size_t>(NiRand()) % m_kPrisonerTemplates.size()];
        kDesc.m_pkTemplate = pkManager->FindTemplate(kName.c_str());
    }
    if (!kDesc.m_pkTemplate)
        return nullptr;
    auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkManager->CreateObject(pkFactory, kDesc));
    if (!pkPrisoner)
        return nullptr;
    CPrisonStatistics* pkLedger = Ledger();
    if (pkReturning)
    {
        pkReturning->m_usArrivalYear = static_cast<std::uint16_t>(CurrentYear());
        pkReturning->m_usTerm =
            static_cast<std::uint16_t>((NiRand() % 10 + 1) * (pkReturning->m_usSecurityLevel + 1));
        pkPrisoner->SetStats(*pkReturning);
        m_kReoffenders.erase(kEntry);
        if (pkLedger)
        {
            ++pkLedger->m_usIntake;
            pkLedger->AddOrder(-1);
        }
    }
    if (pkWorld)
        pkWorld->UpdateScene(0.0f);
    // The road ends on the outside: a walker needs its floor to walk it.
    pkPrisoner->SetGrid(pkGrids->FindGrid(1));
    if (m_pkArrivalPath && m_pkArrivalPath->m_pkSpline)
        pkPrisoner->FollowSpline(m_pkArrivalPath->m_pkSpline.get(), true);
    else
        StartOutside(*pkPrisoner);
    pkPrisoner->SetController("spawn", true, true);
    if (pkLedger)
        pkLedger->RegisterPrisoner(&pkPrisoner->GetStats());
    return pkPrisoner;
}

bool CSpawnManager::AssignCell(CAIPrisoner* pkPrisoner)
{
    if (!pkPrisoner)
        return false;
    const CPrisonStatistics* pkLedger = Ledger();
    const int iOwn = pkPrisoner->GetStats().m_usSecurityLevel;
    for (int iLevel = iOwn; pkLedger && iLevel <= HIGHEST_SECURITY_LEVEL; ++iLevel)
    {
        CObjectRecord* pkRecord = pkLedger->FindCellFor(iLevel);
        if (!pkRecord || pkRecord->m_usOccupancy >= pkRecord->m_usPlaces)
            continue;
        auto* pkCell = dynamic_cast<CBaseObject*>(pkRecord->m_pkOwner);
        if (!pkCell)
            continue;
        pkPrisoner->SetHome(pkCell);
        if (iLevel != iOwn)
            m_ucPlacedHigher = 1;
        return true;
    }
    m_ucNoCell = 1;
    return false;
}

void CSpawnManager::PlaceWaitingPrisoners()
{
    // Taken out first: an escape leaves the lists through Destroy.
    std::list<CAIPrisoner*> kWaiting;
    kWaiting.swap(m_kWaitingPrisoners);
    bool bEscaped = false;
    for (CAIPrisoner* pkPrisoner : kWaiting)
    {
        if (AssignCell(pkPrisoner))
            continue;
        pkPrisoner->Escape();
        bEscaped = true;
    }
    if (bEscaped)
        Post(MESSAGE_ESCAPED);
}

void CSpawnManager::ReturnToRoster(CAIPrisoner* pkPrisoner)
{
    if (!pkPrisoner)
        return;
    const char* pcName = pkPrisoner->GetName();
    m_kReoffenders.push_back({pcName ? pcName : "", pkPrisoner->GetStats()});
}

void CSpawnManager::ConsiderParole(CAIPrisoner* pkPrisoner)
{
    const CPrisonStatistics* pkLedger = Ledger();
    if (!pkPrisoner || !pkLedger)
        return;
    const std::size_t uiLimit = std::min<std::size_t>(pkLedger->m_usPrisonersNow / 10, 5);
    if (m_kParoleCandidates.size() >= uiLimit)
        return;
    const CCharacterStats& kStats = pkPrisoner->GetStats();
    const int iLeft = static_cast<int>(kStats.m_usArrivalYear) + kStats.m_usTerm - CurrentYear();
    if (iLeft <= 0)
        return;
    if (NiRand() % std::min(iLeft, 3) == 0)
        AddParoleCandidate(pkPrisoner);
}

void CSpawnManager::SetArrivalPath(std::unique_ptr<ArrivalPath> pkPath)
{
    CBlockGrid* pkGrid = OutsideGrid();
    if (m_pkArrivalPath)
    {
        const std::int32_t iOld = EndCell(m_pkArrivalPath->m_pkSpline.get(), pkGrid);
        if (COrvaneBlock* pkBlock = iOld >= 0 ? pkGrid->GetBlock(iOld) : nullptr)
            pkBlock->SetState(COrvaneBlock::STATE_FREE);
        m_pkArrivalPath.reset();
    }
    m_pkArrivalPath = std::move(pkPath);
    if (!m_pkArrivalPath)
        return;
    if (!m_pkArrivalPath->m_pkSpline)
    {
        ShowErrorBox("Spawn point has no spline");
        return;
    }
    const std::int32_t iEnd = EndCell(m_pkArrivalPath->m_pkSpline.get(), pkGrid);
    COrvaneBlock* pkBlock = iEnd >= 0 ? pkGrid->GetBlock(iEnd) : nullptr;
    if (!pkBlock)
    {
        ShowErrorBox("Spawn point does not end on valid map index");
        return;
    }
    pkBlock->SetState(ARRIVAL_POINT_TYPE);
}

void CSpawnManager::ResetCameraView(bool bForce)
{
    if (!m_ucCameraFollows && !bForce)
        return;
    m_ucCameraFollows = 0;
    if (COrvaneObject* pkVehicle = m_pkArrivalPath ? m_pkArrivalPath->m_pkVehicle : nullptr)
        pkVehicle->ResetModelAnimation();
    const CGameHost* pkHost = CGameHost::Get();
    COrvaneCamera* pkCamera = pkHost ? pkHost->GetCamera() : nullptr;
    const std::uint32_t uiLevel = pkHost ? pkHost->GetLevelNumber() : 0;
    // Other levels have no start view: the camera stays where it is.
    if (!pkCamera || uiLevel >= START_VIEWS.size())
        return;
    const StartView& kView = START_VIEWS[uiLevel];
    pkCamera->SetPosition(kView.m_kPosition);
    pkCamera->ResetAngles();
    pkCamera->RotateA(nullptr, 0.0f, 0);
    pkCamera->RotateA(nullptr, Radians(START_TILT_DEGREES), 1);
    pkCamera->RotateB(nullptr, Radians(kView.m_fHeading), 1);
}

bool CSpawnManager::FollowVehicle()
{
    const auto* pkVehicle =
        dynamic_cast<const CSpawnObject*>(m_pkArrivalPath ? m_pkArrivalPath->m_pkVehicle : nullptr);
    const CGameHost* pkHost = CGameHost::Get();
    COrvaneCamera* pkCamera = pkHost ? pkHost->GetCamera() : nullptr;
    NiVec3 kAt;
    NiVec3 kTarget;
    // A vehicle missing either node leaves the camera where it is.
    if (!pkVehicle || !pkCamera || !pkVehicle->GetCameraPosition(kAt) || !pkVehicle->GetTargetPosition(kTarget))
        return false;
    pkCamera->SetPosition(kAt);
    return pkCamera->LookAt(kTarget);
}

CSpawnManager::StaffChoice CSpawnManager::ChooseStaff(const std::string& kKind, const std::string& kName,
                                                      std::uint16_t usLevel)
{
    if (Contains(kKind, "health") && Contains(kName, "therapy"))
        return {SUPPORT_FACTORY, 2, 1};
    if (Contains(kKind, "health"))
        return {MEDICAL_FACTORY, 1, 0};
    if (Contains(kKind, "indoor"))
        return {SUPPORT_FACTORY, 2, 0};
    if (Contains(kName, "maint"))
        return {MAINTENANCE_FACTORY, 3, 0};
    return {GUARD_FACTORY, 0, std::min(usLevel, HIGHEST_GUARD_MODEL)};
}

CGameCharacter* CSpawnManager::SpawnStaffForRoom(CPathableObject* pkRoom)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkRoom || !pkManager)
        return nullptr;
    const std::string kName = pkRoom->GetName() ? pkRoom->GetName() : "";
    const StaffChoice kChoice = ChooseStaff(pkRoom->GetStringParameter(), kName, pkRoom->GetRequiredLevel());
    const char* pcFactory = kChoice.pcFactory;
    std::uint32_t uiGroup = kChoice.uiGroup;
    const std::uint32_t uiModel = kChoice.uiModel;
    // Without a staff group there is no template to find: the box says
    // which was asked for.
    COrvaneObjectTemplate* pkTemplate = nullptr;
    const bool bBase = m_uiStaffGroupBase != NO_STAFF_GROUP_BASE;
    if (bBase)
        uiGroup += m_uiStaffGroupBase;
    if (bBase && uiGroup <= 0xFFFFu)
        pkTemplate = pkManager->GetTemplate(static_cast<std::uint16_t>(uiGroup), static_cast<std::uint16_t>(uiModel));
    if (!pkTemplate)
    {
        const std::string kGroup = bBase ? std::to_string(uiGroup) : std::string("-1");
        ShowErrorBox(("Staff Spawn Error. Category: " + kGroup + " Model: " + std::to_string(uiModel)).c_str());
        return nullptr;
    }
    CGameHost* pkHost = CGameHost::Get();
    CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr;
    COrvaneObjectFactory* pkFactory = pkManager->FindFactory(pcFactory, pkWorld);
    if (!pkFactory)
        return nullptr;
    COrvaneObjectDesc kDesc;
    kDesc.m_ucMode = 1;
    kDesc.m_ucAddToWorld = 1;
    kDesc.m_pkTemplate = pkTemplate;
    auto* pkStaff = dynamic_cast<CGameCharacter*>(pkManager->CreateObject(pkFactory, kDesc));
    if (pkWorld)
        pkWorld->UpdateScene(0.0f);
    if (!pkStaff)
        return nullptr;
    if (CBlockGrid* pkOutside = OutsideGrid())
        pkStaff->SetGrid(pkOutside);
    if (m_pkArrivalPath && m_pkArrivalPath->m_pkSpline)
        pkStaff->FollowSpline(m_pkArrivalPath->m_pkSpline.get(), true);
    else
        StartOutside(*pkStaff);
    pkStaff->SetController("spawn", true, true);
    pkStaff->SetHome(pkRoom);
    pkStaff->FinishActivity();
    return pkStaff;
}

void CSpawnManager::SetAllPrisonersMood(std::uint32_t uiMood)
{
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager)
        return;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkObject))
            pkPrisoner->SetMood(uiMood, true);
}
