#include "game/simulation/objects/CWorldObject.h"

#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneTrigger.h"
#include "framework/COrvaneUserPropScan.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
constexpr float NEAR_NODE = 0.1f;
constexpr float MARKER_ALPHA = 0.45f;
constexpr float CONSTRUCTION_PERIOD = 60.0f;
constexpr const char* GROUND_TEXTURE = "images/panels/build/ground.tga";
// Floor numbers a model may give; a text names nothing higher.
constexpr std::int32_t MAX_FLOOR_NUMBER = 255;

CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

CWorld* HostWorld()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetWorld() : nullptr;
}

bool Contains(const char* pcText, const char* pcPart)
{
    return pcText && std::strstr(pcText, pcPart) != nullptr;
}

// A whole decimal number making up the whole text.
bool WholeNumber(const std::string& kText, std::int64_t& iValue)
{
    const char* pcEnd = kText.data() + kText.size();
    auto [pcStop, eError] = std::from_chars(kText.data(), pcEnd, iValue);
    return !kText.empty() && eError == std::errc() && pcStop == pcEnd;
}

// The floor number of a node named "floor" and a number: what follows the
// first five characters, read as a whole number; anything else reads as 0.
// -1 when the number is out of range.
std::int32_t FloorNumberOf(const char* pcName)
{
    const std::string kName = pcName ? pcName : "";
    if (kName.size() <= 5)
        return 0;
    const std::string kRest = kName.substr(5);
    std::size_t uiDigits = 0;
    while (uiDigits < kRest.size() && kRest[uiDigits] >= '0' && kRest[uiDigits] <= '9')
        ++uiDigits;
    if (uiDigits == 0)
        return kRest[0] == '-' ? -1 : 0;
    std::int64_t iValue = 0;
    if (!WholeNumber(kRest.substr(0, uiDigits), iValue) || iValue > MAX_FLOOR_NUMBER)
        return -1;
    return static_cast<std::int32_t>(iValue);
}

std::vector<std::string> SplitFields(const std::string& kText)
{
    std::vector<std::string> kFields;
    std::size_t uiStart = 0;
    for (;;)
    {
        const std::size_t uiAt = kText.find('_', uiStart);
        kFields.push_back(kText.substr(uiStart, uiAt == std::string::npos ? std::string::npos : uiAt - uiStart));
        if (uiAt == std::string::npos)
            return kFields;
        uiStart = uiAt + 1;
    }
}

void MoveMarker(COrvaneSceneNode& kMarker, const NiVec3& kAt, bool bValid)
{
    kMarker.SetPosition(kAt, false);
    if (bValid)
        kMarker.SetSignalColor(0.0f, 1.0f, 0.0f, MARKER_ALPHA);
    else
        kMarker.SetSignalColor(1.0f, 0.0f, 0.0f, MARKER_ALPHA);
    kMarker.ApplyChanges();
}
} // namespace

CBuildingEntrance::CBuildingEntrance() = default;

CBuildingEntrance::~CBuildingEntrance()
{
    RemoveMarker();
}

void CBuildingEntrance::RemoveMarker()
{
    if (!m_pkMarker)
        return;
    if (COrvaneWorld* pkWorld = m_pkMarker->GetWorld())
        DetachSceneNodeFromWorld(*m_pkMarker, *pkWorld);
    m_pkMarker.reset();
}

CWorldObject::CWorldObject()
{
    CWorldObject::Reset();
}

CWorldObject::~CWorldObject()
{
    CWorldObject::Destroy();
}

void CWorldObject::Destroy()
{
    RemoveStack();
    m_pkTrigger.reset();
    RemoveGroundPlate();
    m_kEntrances.clear();
    m_kFloors.clear();
    m_kPathNodes.clear();
    CBaseObject::Destroy();
}

void CWorldObject::RemoveStack()
{
    if (!m_pkStack)
        return;
    CBlockGridStack* pkStack = m_pkStack;
    m_pkStack = nullptr;
    // The manager may have dropped its stacks first (a new game, the end of
    // the program): then there is nothing left to undo.
    CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    if (!pkGrids)
        return;
    bool bListed = false;
    for (const std::unique_ptr<CBlockGridStack>& pkHeld : pkGrids->GetStacks())
        bListed = bListed || pkHeld.get() == pkStack;
    if (!bListed)
        return;
    if (m_pkGrid)
    {
        if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
            for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
                if (auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject))
                    pkCharacter->OnWorldObjectRemoved(*this);
        for (std::size_t i = 0; i < pkStack->GetFloorSlots(); ++i)
            if (CBlockGrid* pkFloor = pkStack->GetFloor(i))
                m_pkGrid->RemoveMarkersOfOwner(pkFloor);
    }
    (void)pkGrids->RemoveStack(pkStack);
}

void CWorldObject::Reset()
{
    CBaseObject::Reset();
    m_iCurrentFloor = -1;
    m_ucHasRoof = 0;
    m_iSavedGrid = 0;
    m_uiExitCount = 0;
    m_iBuildingKind = -1;
    m_ucComplete = 0;
    m_ucUseSavedNumbers = 0;
    m_iSavedBase = 0;
}

int CWorldObject::Create(COrvaneObjectDesc& kDesc)
{
    CBaseObject::Create(kDesc);
    m_kRecord.m_usRequiredLevel = static_cast<std::uint16_t>(ReadIntParam(kDesc));
    m_kStringParameter = ReadStringParam(kDesc);

    m_kPathNodes.clear();
    if (m_pkModel)
    {
        for (const char* pcText : {"SP", "path"})
        {
            std::vector<NiNode*> kNodes;
            m_pkModel->CollectNodes(pcText, kNodes, false);
            std::vector<std::unique_ptr<NiNodeAttachment>> kHolders;
            m_pkModel->MakeAttachments(kNodes, kHolders);
            for (std::unique_ptr<NiNodeAttachment>& pkHolder : kHolders)
                m_kPathNodes.push_back(std::move(pkHolder));
        }
    }

    m_iBuildingKind = -1;
    if (const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
    {
        const COrvaneTemplateGroup* pkOwn = pkManager->FindGroupOfTemplate(m_pkTemplate);
        const int iCells = pkManager->FindTemplateGroup("CELLBLOCKS");
        for (std::size_t i = 0; pkOwn && i < pkManager->GetGroupCount(); ++i)
            if (pkManager->GetGroup(i) == pkOwn)
                m_iBuildingKind = static_cast<std::int32_t>(i) - iCells;
    }

    m_kEntrances.clear();
    for (const std::unique_ptr<NiNodeAttachment>& pkPath : m_kPathNodes)
    {
        const NiAVObject* pkNode = pkPath->GetObject();
        if (!pkNode || !Contains(pkNode->GetName(), "SP_enter"))
            continue;
        auto pkEntrance = std::make_unique<CBuildingEntrance>();
        pkEntrance->m_pkPath = pkPath->Clone();
        pkEntrance->m_pkMarker = CreateFlatQuad(2.0f, 2.0f);
        if (pkEntrance->m_pkMarker)
        {
            pkEntrance->m_pkMarker->SetSignalColor(0.0f, 1.0f, 0.0f, MARKER_ALPHA);
            if (CWorld* pkWorld = HostWorld(); pkWorld && pkWorld->GetSceneRoot())
                AttachSceneNodeToWorld(*pkEntrance->m_pkMarker, *pkWorld, false);
        }
        m_kEntrances.push_back(std::move(pkEntrance));
    }
    m_fConstructionTimer = 1.0f;
    return 1;
}

int CWorldObject::HandleUserProp(const char* pcText, int iPass, NiAVObject* pkNode)
{
    return BuildNode(pcText, iPass, pkNode);
}

int CWorldObject::BuildNode(const char* pcText, int iPass, NiAVObject* pkNode)
{
    if (!pcText || !pkNode)
        return 0;
    const std::string kText = pcText;
    if (iPass == 1)
    {
        if (kText.find("map") == std::string::npos)
            return 0;
        (void)MakeGrid(kText, pkNode->GetTranslate());
        return 1;
    }
    if (iPass == 2)
    {
        if (kText.find("door") == std::string::npos && kText.find("connector") == std::string::npos)
            return 0;
        (void)MakeConnectors(kText, pkNode->GetTranslate());
        return 1;
    }
    return 0;
}

NiVec3 CWorldObject::TurnOffset(const NiVec3& kOffset) const
{
    const float fHeading = GetHeading();
    if (fHeading == 90.0f)
        return NiVec3(-kOffset.z, kOffset.y, kOffset.x);
    if (fHeading == 180.0f)
        return NiVec3(-kOffset.x, kOffset.y, -kOffset.z);
    if (fHeading == 270.0f)
        return NiVec3(kOffset.z, kOffset.y, -kOffset.x);
    return kOffset;
}

bool CWorldObject::MakeGrid(const std::string& kText, const NiVec3& kOffset)
{
    CGridDesc kDesc;
    if (!CWorld::ParseMapText(kText, kDesc))
        return false;
    const NiVec3* pkPosition = GetModelPosition();
    NiVec3 kOrigin = TurnOffset(kOffset) + (pkPosition ? *pkPosition : NiVec3::ZERO);
    const std::int32_t iA = kDesc.m_aiNumbers[1];
    const std::int32_t iB = kDesc.m_aiNumbers[2];
    const float fSize = static_cast<float>(kDesc.m_aiNumbers[4]);
    const float fHeading = GetHeading();
    float fRotation = 0.0f;
    if (fHeading == 270.0f)
    {
        std::swap(kDesc.m_aiNumbers[1], kDesc.m_aiNumbers[2]);
        kOrigin.x -= static_cast<float>(iB - 1) * fSize;
        fRotation = fHeading;
    }
    else if (fHeading == 180.0f)
    {
        kOrigin.x -= static_cast<float>(iA - 1) * fSize;
        kOrigin.z += static_cast<float>(iB - 1) * fSize;
        fRotation = fHeading;
    }
    else if (fHeading == 90.0f)
    {
        std::swap(kDesc.m_aiNumbers[1], kDesc.m_aiNumbers[2]);
        kOrigin.z += static_cast<float>(iA - 1) * fSize;
        fRotation = fHeading;
    }
    kDesc.m_kOrigin = kOrigin;
    kDesc.m_fRotation = fRotation;
    kDesc.m_ucOwnStack = 0;
    kDesc.m_pkOwner = static_cast<const void*>(this);
    if (m_ucUseSavedNumbers)
    {
        // The floor takes its saved number again: base + its own number,
        // handed over as a numbered base on its floor index.
        const std::int64_t iNumber = m_iSavedBase + kDesc.m_aiNumbers[0];
        kDesc.m_aiNumbers[0] = static_cast<std::int32_t>(iNumber - kDesc.m_aiNumbers[3]);
        kDesc.m_ucNumberedBase = 1;
    }
    return CBlockGridManager::GetInstance()->CreateGrid(kDesc) != nullptr;
}

bool CWorldObject::MakeConnectors(const std::string& kText, const NiVec3& kOffset)
{
    const std::size_t uiAt = kText.find('_');
    if (uiAt == std::string::npos)
        return false;
    const std::string kId = kText.substr(uiAt + 1);
    if (kId.empty())
        return false;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    const NiVec3* pkPosition = GetModelPosition();
    const NiVec3 kDoor = TurnOffset(kOffset) + (pkPosition ? *pkPosition : NiVec3::ZERO);
    auto* pkOutside = dynamic_cast<CBlockGrid*>(m_pkGrid);
    bool bMade = false;
    for (const std::unique_ptr<NiNodeAttachment>& pkPath : m_kPathNodes)
    {
        NiAVObject* pkNode = pkPath->GetObject();
        const char* pcName = pkNode ? pkNode->GetName() : nullptr;
        if (!pcName || !std::strstr(pcName, kId.c_str()) || !pkGrids->GetStackUnderConstruction())
            continue;
        const NiVec3& kLocal = pkNode->GetTranslate();
        if (std::fabs(kLocal.x - kOffset.x) > NEAR_NODE || std::fabs(kLocal.z - kOffset.z) > NEAR_NODE)
            continue;
        CBlockGrid* pkFirst = pkGrids->GetStackFloor(0);
        CBlockGrid* pkSource = nullptr;
        CBlockGrid* pkTarget = nullptr;
        bool bExit = false;
        if (std::strstr(pcName, "enter"))
        {
            pkSource = pkOutside;
            pkTarget = pkFirst;
        }
        else if (std::strstr(pcName, "exit"))
        {
            pkSource = pkFirst;
            pkTarget = pkOutside;
            bExit = true;
        }
        else
        {
            const std::vector<std::string> kFields = SplitFields(kId);
            std::int64_t iFrom = 0, iTo = 0;
            if (kFields.size() < 2 || !WholeNumber(kFields[0], iFrom) || !WholeNumber(kFields[1], iTo) ||
                iFrom < 1 || iTo < 1 || iFrom > MAX_FLOOR_NUMBER + 1 || iTo > MAX_FLOOR_NUMBER + 1)
                continue;
            pkSource = pkGrids->GetStackFloor(static_cast<std::size_t>(iFrom - 1));
            pkTarget = pkGrids->GetStackFloor(static_cast<std::size_t>(iTo - 1));
        }
        // A connector needs both of its ends.
        if (!pkSource || !pkTarget)
            continue;
        auto pkSpline = std::make_unique<COrvaneAnimationSpline>();
        pkSpline->CreateFromFile(pkNode, pcName);
        NiVec3 kEnd = kDoor;
        const NiVec3 kKept = kLocal;
        if (!pkSpline->GetEndPosition(kEnd))
            kEnd = kDoor;
        // Reading the path's end moved its node there: back where the
        // model put it, so later texts and the entrance cells find it.
        pkNode->SetTranslate(kKept);
        pkSource->AddMarker(CConnector::Make(kDoor, kEnd, pkTarget, std::make_unique<CSplineHolder>(std::move(pkSpline))));
        if (bExit)
            ++m_uiExitCount;
        bMade = true;
    }
    return bMade;
}

bool CWorldObject::PlanSavedNumbers()
{
    m_ucUseSavedNumbers = 0;
    if (m_iSavedGrid <= 0 || !m_pkModel)
        return false;
    // The descriptions first, to find the ground floor's own number.
    std::vector<CGridDesc> kDescs;
    COrvaneUserPropScan kScan;
    kScan.Scan(*m_pkModel, [&kDescs](const char* pcText, int iPass, NiAVObject*) {
        CGridDesc kDesc;
        if (iPass == 1 && pcText && std::strstr(pcText, "map") && CWorld::ParseMapText(pcText, kDesc))
            kDescs.push_back(kDesc);
        return false;
    });
    const CGridDesc* pkGround = nullptr;
    for (const CGridDesc& kDesc : kDescs)
        if (kDesc.m_aiNumbers[3] >= 0 && (!pkGround || kDesc.m_aiNumbers[3] < pkGround->m_aiNumbers[3]))
            pkGround = &kDesc;
    if (!pkGround)
        return false;
    const std::int64_t iBase = static_cast<std::int64_t>(m_iSavedGrid) - pkGround->m_aiNumbers[0];
    const CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    for (const CGridDesc& kDesc : kDescs)
    {
        const std::int64_t iNumber = iBase + kDesc.m_aiNumbers[0];
        if (iNumber < 1 || iNumber > std::numeric_limits<std::int32_t>::max() ||
            iNumber - kDesc.m_aiNumbers[3] < std::numeric_limits<std::int32_t>::min() ||
            pkGrids->FindGrid(static_cast<std::int32_t>(iNumber)))
            return false;
    }
    m_iSavedBase = iBase;
    m_ucUseSavedNumbers = 1;
    return true;
}

void CWorldObject::LayOutFloors()
{
    RemoveStack();
    (void)PlanSavedNumbers();
    m_uiExitCount = 0;
    m_pkTrigger = std::make_unique<COrvaneTrigger>();
    if (m_pkModel)
        m_pkTrigger->Scan(m_pkModel, this);
    m_ucUseSavedNumbers = 0;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGridStack* pkBuilt = pkGrids->GetStackUnderConstruction();
    (void)pkGrids->CommitStack();
    m_pkStack = pkBuilt;
    CollectFloors();
}

void CWorldObject::CollectFloors()
{
    m_kFloors.clear();
    m_ucHasRoof = 0;
    m_iCurrentFloor = -1;
    const COrvaneUserPropScan* pkScanner = m_pkTrigger ? m_pkTrigger->GetScanner() : nullptr;
    if (!pkScanner)
        return;
    std::vector<std::pair<std::int32_t, NiAVObject*>> kFloors;
    NiAVObject* pkRoof = nullptr;
    std::int32_t iHighest = -1;
    for (const std::unique_ptr<NiNodeAttachment>& pkHolder : pkScanner->GetNodes())
    {
        NiAVObject* pkNode = pkHolder->GetObject();
        const char* pcName = pkNode ? pkNode->GetName() : nullptr;
        if (Contains(pcName, "floor"))
        {
            const std::int32_t iNumber = FloorNumberOf(pcName);
            if (iNumber < 0)
                continue;
            kFloors.emplace_back(iNumber, pkNode);
            iHighest = std::max(iHighest, iNumber);
        }
        else if (Contains(pcName, "roof") && !pkRoof)
        {
            pkRoof = pkNode;
        }
    }
    m_kFloors.assign(static_cast<std::size_t>(iHighest + 1) + (pkRoof ? 1 : 0), nullptr);
    for (const auto& [iNumber, pkNode] : kFloors)
        if (!m_kFloors[static_cast<std::size_t>(iNumber)])
            m_kFloors[static_cast<std::size_t>(iNumber)] = pkNode;
    if (pkRoof)
    {
        m_kFloors.back() = pkRoof;
        m_ucHasRoof = 1;
    }
}

void CWorldObject::Place()
{
    m_pkGroundPlate.reset();
    if (m_pkGrid)
    {
        const float fSize = static_cast<float>(m_pkGrid->GetCellSize());
        m_pkGroundPlate = CreateTexturedQuad(fSize * static_cast<float>(m_iRows),
                                             fSize * static_cast<float>(m_iColumns), GROUND_TEXTURE, 1.0f, 1.0f);
    }
    if (m_pkGroundPlate)
    {
        const NiVec3* pkPosition = GetModelPosition();
        m_pkGroundPlate->SetPosition(pkPosition ? *pkPosition : NiVec3::ZERO, false);
        m_pkGroundPlate->SetRotation(NiVec3::UNIT_Y, GetHeading(), 1);
        m_pkGroundPlate->SetSignalColor(0.0f, 0.0f, 1.0f, 0.25f);
        m_pkGroundPlate->ApplyChanges();
        if (CWorld* pkWorld = HostWorld(); pkWorld && pkWorld->GetSceneRoot())
            AttachSceneNodeToWorld(*m_pkGroundPlate, *pkWorld, false);
    }
    LayOutFloors();
    m_ucComplete = 0;
    CBaseObject::Place();
    m_iCurrentFloor = m_kFloors.empty() ? -1 : static_cast<std::int32_t>(m_kFloors.size()) - 1;
    RemoveGroundPlate();
    m_ucComplete = 1;
    TakeEntranceCells();
    AddToStatistics();
    for (const std::unique_ptr<CBuildingEntrance>& pkEntrance : m_kEntrances)
        pkEntrance->RemoveMarker();
}

void CWorldObject::BuildFloors()
{
    LayOutFloors();
    // Construction starts again from the ground: every floor hidden.
    for (std::size_t i = 0; i < m_kFloors.size(); ++i)
        SetFloorShown(static_cast<std::int32_t>(i), false);
    m_iCurrentFloor = -1;
    if (m_pkStack)
        m_pkStack->SelectFirstFloor();
    m_ucComplete = 0;
    CBaseObject::Place();
    TakeEntranceCells();
    AddToStatistics();
    for (const std::unique_ptr<CBuildingEntrance>& pkEntrance : m_kEntrances)
        pkEntrance->RemoveMarker();
}

std::int32_t CWorldObject::EntranceCell(const CBuildingEntrance& kEntrance) const
{
    // From the model's own layout: the nodes' world places may still be
    // those their paths were last read at.
    const NiAVObject* pkNode = kEntrance.m_pkPath ? kEntrance.m_pkPath->GetObject() : nullptr;
    if (!m_pkGrid || !pkNode)
        return -1;
    const NiVec3* pkPosition = GetModelPosition();
    return m_pkGrid->CellAt(TurnOffset(pkNode->GetTranslate()) + (pkPosition ? *pkPosition : NiVec3::ZERO));
}

void CWorldObject::TakeEntranceCells()
{
    for (const std::unique_ptr<CBuildingEntrance>& pkEntrance : m_kEntrances)
        pkEntrance->m_iCell = EntranceCell(*pkEntrance);
}

void CWorldObject::RemoveGroundPlate()
{
    if (!m_pkGroundPlate)
        return;
    if (COrvaneWorld* pkWorld = m_pkGroundPlate->GetWorld())
        DetachSceneNodeFromWorld(*m_pkGroundPlate, *pkWorld);
    m_pkGroundPlate.reset();
}

bool CWorldObject::IsPlacementValid(bool bWithBorder) const
{
    if (!m_pkGrid)
        return false;
    const auto* pkOutside = dynamic_cast<const CBlockGrid*>(m_pkGrid);
    for (const std::unique_ptr<CBuildingEntrance>& pkEntrance : m_kEntrances)
    {
        const std::int32_t iCell = EntranceCell(*pkEntrance);
        if (!m_pkGrid->IsValidCell(iCell, true) || !m_pkGrid->IsAreaFree(iCell, 1, 1, true) ||
            (pkOutside && !pkOutside->IsAreaPlaceable(iCell, 1, 1)))
            return false;
    }
    return CBaseObject::IsPlacementValid(bWithBorder);
}

void CWorldObject::ColourEntranceMarkers()
{
    const NiVec3* pkOrigin = m_pkGrid ? m_pkGrid->GetOrigin() : nullptr;
    const float fHeight = (pkOrigin ? pkOrigin->y : 0.0f) + 0.01f;
    TakeEntranceCells();
    const bool bValid = IsPlacementValid(true);
    for (const std::unique_ptr<CBuildingEntrance>& pkEntrance : m_kEntrances)
    {
        const NiAVObject* pkNode = pkEntrance->m_pkPath ? pkEntrance->m_pkPath->GetObject() : nullptr;
        if (!pkNode || !pkEntrance->m_pkMarker)
            continue;
        const NiVec3& kAt = pkNode->GetWorldTransform().m_kTranslate;
        MoveMarker(*pkEntrance->m_pkMarker, NiVec3(kAt.x, fHeight, kAt.z), bValid);
    }
}

void CWorldObject::Update(float fDt)
{
    const CPrisonStatistics* pkLedger = Ledger();
    const int iDivisor = ((pkLedger ? pkLedger->m_usClericalLevel : 0) + 1) * 100;
    m_kRecord.m_usUpkeep = static_cast<std::uint16_t>(m_kRecord.m_usPrice / iDivisor);
    if (!m_ucPlaced)
        ColourEntranceMarkers();
    const CGameHost* pkHost = CGameHost::Get();
    if (!pkHost || !pkHost->IsHeldForPlacing(*this))
    {
        m_fConstructionTimer += fDt;
        const float fWhole = std::floor(m_fConstructionTimer);
        if (std::fmod(fWhole, CONSTRUCTION_PERIOD) == 0.0f)
        {
            m_fConstructionTimer += 1.0f;
            ConstructionStep(false);
        }
    }
    CBaseObject::Update(fDt);
}

void CWorldObject::ConstructionStep(bool bAll)
{
    if (m_ucComplete)
        return;
    RemoveGroundPlate();
    do
    {
        if (m_kFloors.empty())
        {
            m_ucComplete = 1;
            break;
        }
        if (m_iCurrentFloor < FirstFloor())
        {
            m_iCurrentFloor = FirstFloor();
            SetFloorShown(m_iCurrentFloor, true);
        }
        else if (!GoUpFloor(false))
        {
            // Nothing left to show: the roof (or the top floor) is up.
            m_ucComplete = 1;
        }
        if (m_iCurrentFloor == static_cast<std::int32_t>(m_kFloors.size()) - 1)
            m_ucComplete = 1;
    } while (bAll && !m_ucComplete);
}

std::int32_t CWorldObject::GetRoofIndex() const
{
    return m_ucHasRoof ? static_cast<std::int32_t>(m_kFloors.size()) - 1 : -1;
}

std::int32_t CWorldObject::FirstFloor() const
{
    return NextFloorAbove(-1, static_cast<std::int32_t>(m_kFloors.size()) - 1);
}

std::int32_t CWorldObject::TopFloor() const
{
    const std::int32_t iUnderRoof = static_cast<std::int32_t>(m_kFloors.size()) - (m_ucHasRoof ? 2 : 1);
    for (std::int32_t i = iUnderRoof; i >= 0; --i)
        if (m_kFloors[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

std::int32_t CWorldObject::NextFloorAbove(std::int32_t iIndex, std::int32_t iLimit) const
{
    for (std::int32_t i = iIndex + 1; i <= iLimit && i < static_cast<std::int32_t>(m_kFloors.size()); ++i)
        if (m_kFloors[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

std::int32_t CWorldObject::NextFloorBelow(std::int32_t iIndex) const
{
    for (std::int32_t i = std::min(iIndex, static_cast<std::int32_t>(m_kFloors.size())) - 1; i >= 0; --i)
        if (m_kFloors[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

void CWorldObject::SetFloorShown(std::int32_t iIndex, bool bShown)
{
    if (iIndex < 0 || iIndex >= static_cast<std::int32_t>(m_kFloors.size()))
        return;
    if (NiAVObject* pkFloor = m_kFloors[static_cast<std::size_t>(iIndex)])
        pkFloor->SetAppCulled(!bShown);
}

void CWorldObject::MoveCameraToCurrentGrid() const
{
    CGameHost* pkHost = CGameHost::Get();
    if (!pkHost || !m_pkStack || pkHost->GetCameraBoundsSide() == 5)
        return;
    const CBlockGrid* pkCurrent = m_pkStack->GetCurrentGrid();
    const NiVec3* pkOrigin = pkCurrent ? pkCurrent->GetOrigin() : nullptr;
    if (pkOrigin)
        pkHost->SetCameraHeight(pkOrigin->y);
}

bool CWorldObject::GoUpFloor(bool bBelowRoof)
{
    const std::int32_t iLimit =
        bBelowRoof && m_ucHasRoof ? TopFloor() : static_cast<std::int32_t>(m_kFloors.size()) - 1;
    const std::int32_t iNext = NextFloorAbove(m_iCurrentFloor, iLimit);
    if (iNext < 0)
        return false;
    m_iCurrentFloor = iNext;
    SetFloorShown(m_iCurrentFloor, true);
    if (m_pkStack)
        (void)m_pkStack->NextFloor();
    MoveCameraToCurrentGrid();
    return true;
}

bool CWorldObject::GoDownFloor()
{
    const std::int32_t iBelow = NextFloorBelow(m_iCurrentFloor);
    if (m_iCurrentFloor < 0 || iBelow < 0)
        return false;
    SetFloorShown(m_iCurrentFloor, false);
    m_iCurrentFloor = iBelow;
    if (m_iCurrentFloor < TopFloor())
    {
        if (m_pkStack)
            (void)m_pkStack->PreviousFloor();
        MoveCameraToCurrentGrid();
    }
    return true;
}

void CWorldObject::ShowAllFloors()
{
    while (GoUpFloor(false))
    {
    }
    if (m_pkStack)
        m_pkStack->UpdateFloorDisplay();
}

void CWorldObject::FocusCamera()
{
    if (!m_kFloors.empty())
    {
        if (m_pkStack)
            m_pkStack->UpdateFloorDisplay();
        (void)GoDownFloor();
    }
    CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
        return;
    const float fSize = m_pkGrid ? static_cast<float>(m_pkGrid->GetCellSize()) : 0.0f;
    const float fW = fSize * static_cast<float>(m_iColumns);
    const float fD = fSize * static_cast<float>(m_iRows);
    const NiVec3* pkPosition = GetModelPosition();
    const NiVec3 kAt = pkPosition ? *pkPosition : NiVec3::ZERO;
    pkHost->SetCameraBounds(kAt.x - fD * 0.5f, kAt.z + fW * 0.5f, kAt.x + fD * 1.25f, kAt.z - fW * 1.25f);
}

bool CWorldObject::IsCurrentBuilding(const COrvaneBlockGrid* pkGrid) const
{
    return pkGrid && m_pkStack && m_pkStack->GetCurrentGrid() == pkGrid;
}

std::uint32_t CWorldObject::SumRoomCapacity() const
{
    std::uint32_t uiSum = 0;
    for (std::size_t i = 0; m_pkStack && i < m_pkStack->GetFloorSlots(); ++i)
        if (const CBlockGrid* pkFloor = m_pkStack->GetFloor(i))
            uiSum += pkFloor->GetStaffCount();
    return uiSum;
}

std::uint32_t CWorldObject::SumRoomOccupancy() const
{
    std::uint32_t uiSum = 0;
    for (std::size_t i = 0; m_pkStack && i < m_pkStack->GetFloorSlots(); ++i)
        if (const CBlockGrid* pkFloor = m_pkStack->GetFloor(i))
            uiSum += pkFloor->GetPrisonerCount();
    return uiSum;
}

bool CWorldObject::NameContains(const char* pcText) const
{
    if (!pcText)
        return false;
    return m_kStringParameter.find(pcText) != std::string::npos || Contains(GetName(), pcText);
}

bool CWorldObject::HasInteriorFloors() const
{
    return GetFirstGridNumber() != 0;
}

std::int32_t CWorldObject::GetFirstGridNumber() const
{
    for (std::size_t i = 0; m_pkStack && i < m_pkStack->GetFloorSlots(); ++i)
        if (const CBlockGrid* pkFloor = m_pkStack->GetFloor(i))
            return pkFloor->GetId();
    return 0;
}

CWorldObject* CWorldObject::FindOwnerOf(const COrvaneBlockGrid* pkGrid)
{
    const auto* pkFloor = dynamic_cast<const CBlockGrid*>(pkGrid);
    const CBlockGridStack* pkStack = pkFloor ? pkFloor->GetStack() : nullptr;
    if (!pkStack || !pkStack->GetOwner())
        return nullptr;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager)
        return nullptr;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject);
        if (pkBuilding && static_cast<const void*>(pkBuilding) == pkStack->GetOwner())
            return pkBuilding;
    }
    return nullptr;
}

void CWorldObject::DailyUpdate()
{
    if (!m_ucPlaced)
        return;
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->m_iRunningCosts += m_kRecord.m_usUpkeep;
}

bool CWorldObject::MatchQuery(CObjectQuery& kQuery) const
{
    if (kQuery.m_iBuildingKind >= 0 && kQuery.m_iBuildingKind != m_iBuildingKind)
        return false;
    return CBaseObject::MatchQuery(kQuery);
}

int CWorldObject::SaveState(COrvaneFile& kFile)
{
    if (!CBaseObject::SaveState(kFile))
        return 0;
    return kFile.WriteString((std::to_string(GetFirstGridNumber()) + "\r\n").c_str()) ? 1 : 0;
}

int CWorldObject::LoadState(COrvaneFile& kFile)
{
    CWorldObjectState kState;
    if (!CWorldObject::ParseState(kFile, kState))
        return 0;
    CWorldObject::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> CWorldObject::NewState() const
{
    return std::make_unique<CWorldObjectState>();
}

bool CWorldObject::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    if (!CBaseObject::ParseState(kFile, kState))
        return false;
    if (kFile.IsEof())
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    while (!kLine.empty() && (kLine.back() == '\r' || kLine.back() == '\n'))
        kLine.pop_back();
    std::int64_t iValue = 0;
    if (!WholeNumber(kLine, iValue) || iValue < 0 || iValue > std::numeric_limits<std::int32_t>::max())
        return false;
    static_cast<CWorldObjectState&>(kState).m_iSavedGrid = static_cast<std::int32_t>(iValue);
    return true;
}

void CWorldObject::ApplyState(const COrvaneIOState& kState)
{
    CBaseObject::ApplyState(kState);
    m_iSavedGrid = static_cast<const CWorldObjectState&>(kState).m_iSavedGrid;
}
