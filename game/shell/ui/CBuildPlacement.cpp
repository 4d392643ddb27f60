#include "game/shell/ui/CBuildPlacement.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CWorld.h"

namespace
{
std::unique_ptr<CBuildPlacement> g_pkInstance;
bool (*g_pfnOverPanel)() = nullptr;

bool CursorOverPanel()
{
    if (g_pfnOverPanel)
        return g_pfnOverPanel();
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneGame* pkGame = pkApplication ? pkApplication->GetGame() : nullptr;
    const COrvaneMouse* pkMouse = pkGame ? pkGame->GetMouse() : nullptr;
    return pkMouse && pkMouse->IsOverInterface();
}

CWorld* CurrentWorld()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetWorld() : nullptr;
}

void Colour(COrvaneSceneNode* pkMarker, bool bValid)
{
    if (pkMarker)
        CBuildPlacement::ApplyTint(*pkMarker, bValid ? CBuildPlacement::VALID_TINT : CBuildPlacement::INVALID_TINT);
}
} // namespace

void CBuildPlacement::ApplyTint(COrvaneSceneNode& kMarker, const Tint& kTint)
{
    kMarker.SetSignalColor(kTint.m_fRed, kTint.m_fGreen, kTint.m_fBlue, kTint.m_fAlpha);
}

namespace
{
// The object leaves the world and joins the current one again, whose
// scene then catches up.
void Rejoin(COrvaneObject& kObject)
{
    CWorld* pkWorld = CurrentWorld();
    kObject.RemoveFromWorld();
    if (!pkWorld)
        return;
    kObject.AddToWorld(pkWorld, true);
    pkWorld->UpdateScene(0.0f);
}
} // namespace

CBuildPlacement* CBuildPlacement::GetInstance()
{
    if (!g_pkInstance)
        g_pkInstance = std::make_unique<CBuildPlacement>();
    return g_pkInstance.get();
}

CBuildPlacement* CBuildPlacement::GetExisting()
{
    return g_pkInstance.get();
}

void CBuildPlacement::Destroy()
{
    if (g_pkInstance)
        g_pkInstance->Clear(false);
    g_pkInstance.reset();
}

void CBuildPlacement::SetPanelTest(bool (*pfnOverPanel)())
{
    g_pfnOverPanel = pfnOverPanel;
}

CBuildPlacement::CBuildPlacement() = default;

CBuildPlacement::~CBuildPlacement()
{
    RemoveMarker();
}

bool CBuildPlacement::Clear(bool bFlag)
{
    (void)bFlag;
    if (m_pkObject)
    {
        CBaseObject* pkObject = m_pkObject;
        m_pkObject = nullptr;
        if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
            pkManager->DestroyObject(pkObject, true);
    }
    m_pkTemplate = nullptr;
    m_pkFactory = nullptr;
    RemoveMarker();
    m_iMode = MODE_PLACING;
    return true;
}

void CBuildPlacement::RemoveMarker()
{
    if (!m_pkMarker)
        return;
    if (COrvaneWorld* pkWorld = m_pkMarker->GetWorld())
        DetachSceneNodeFromWorld(*m_pkMarker, *pkWorld);
    m_pkMarker.reset();
}

void CBuildPlacement::ObjectDestroyed(const COrvaneObject* pkObject)
{
    if (pkObject && static_cast<const COrvaneObject*>(m_pkObject) == pkObject)
    {
        m_pkObject = nullptr;
        m_pkTemplate = nullptr;
        m_pkFactory = nullptr;
        RemoveMarker();
    }
}

bool CBuildPlacement::BeginPlacing(std::uint16_t usGroup, std::uint16_t usIndex, COrvaneObjectFactory* pkFactory)
{
    Clear(false);
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    m_pkTemplate = pkManager ? pkManager->GetTemplate(usGroup, usIndex) : nullptr;
    m_pkFactory = pkFactory;
    // A template is ready once its model is loaded.
    if (!m_pkTemplate || m_pkTemplate->m_kModels.empty() || !m_pkTemplate->m_kModels.front() ||
        !m_pkTemplate->m_kModels.front()->Get())
        return true;

    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkTemplate;
    kDesc.m_ucMode = 1;
    kDesc.m_ucAddToWorld = 1;
    COrvaneObject* pkMade = pkManager->CreateObject(pkFactory, kDesc);
    m_pkObject = dynamic_cast<CBaseObject*>(pkMade);
    if (!m_pkObject)
    {
        // Not a placeable object: nothing to hold.
        if (pkMade)
            pkManager->DestroyObject(pkMade, true);
        return true;
    }
    // Held, it employs nobody yet: its posts join the ledger when it is
    // built, not while it follows the cursor.
    m_pkObject->HoldPostsBack();
    CreateFootprintMarker();
    const NiVec3 kAway(0.0f, OUT_OF_SIGHT, 0.0f);
    m_pkObject->SetPosition(kAway, 0);
    m_pkObject->Rotate(NiVec3::UNIT_Y, m_fAngle, true);
    m_pkObject->Update(0.0f);
    if (m_pkMarker)
    {
        m_pkMarker->SetPosition(kAway, false);
        m_pkMarker->SetRotation(NiVec3::UNIT_Y, m_fAngle, 1);
        m_pkMarker->ApplyChanges();
    }
    Rejoin(*m_pkObject);
    return true;
}

void CBuildPlacement::CreateFootprintMarker()
{
    RemoveMarker();
    if (!m_pkObject)
        return;
    m_pkMarker = CreateFlatQuad(static_cast<float>(m_pkObject->GetWidth()),
                                static_cast<float>(m_pkObject->GetDepth()));
    if (!m_pkMarker)
        return;
    if (CWorld* pkWorld = CurrentWorld(); pkWorld && pkWorld->GetSceneRoot())
        AttachSceneNodeToWorld(*m_pkMarker, *pkWorld, false);
    ApplyTint(*m_pkMarker, NEW_TINT);
}

void CBuildPlacement::BeginMarker()
{
    Clear(false);
    m_pkMarker = CreateFlatQuad(2.0f, 2.0f);
    if (m_pkMarker)
    {
        if (CWorld* pkWorld = CurrentWorld(); pkWorld && pkWorld->GetSceneRoot())
            AttachSceneNodeToWorld(*m_pkMarker, *pkWorld, false);
        ApplyTint(*m_pkMarker, DEMOLISH_TINT);
    }
    m_iMode = MODE_MARKER;
}

bool CBuildPlacement::CanPlace() const
{
    return m_pkObject && m_pkObject->CanBuild();
}

bool CBuildPlacement::Rotate()
{
    if (!m_pkObject)
        return true;
    m_pkObject->Rotate(NiVec3::UNIT_Y, 90.0f, true);
    if (m_pkMarker)
    {
        m_pkMarker->SetRotation(NiVec3::UNIT_Y, 90.0f, 1);
        m_pkMarker->ApplyChanges();
    }
    m_pkObject->Update(0.0f);
    m_fAngle += 90.0f;
    if (m_fAngle >= 360.0f)
        m_fAngle -= 360.0f;
    return true;
}

void CBuildPlacement::Hide()
{
    const NiVec3 kAway(0.0f, OUT_OF_SIGHT, 0.0f);
    m_pkObject->SetPosition(kAway, 0);
    m_pkObject->Update(0.0f);
    if (m_pkMarker)
    {
        m_pkMarker->SetPosition(kAway, false);
        m_pkMarker->ApplyChanges();
    }
}

NiVec3 CBuildPlacement::Snap(const NiVec3& kPick, float fLift) const
{
    const COrvaneBlockGrid* pkGrid = m_pkObject->GetGrid();
    const std::int32_t iSize = pkGrid ? pkGrid->GetCellSize() : 0;
    const std::uint32_t uiHalf = static_cast<std::uint32_t>(iSize) / 2u;
    const std::uint32_t uiColumns = static_cast<std::uint32_t>(m_pkObject->GetColumns());
    const std::uint32_t uiRows = static_cast<std::uint32_t>(m_pkObject->GetRows());
    // The footprint runs from its anchor in rows along x and in columns
    // along -z: an even count of either moves its middle half a cell that
    // way. Taken the other way round, an object whose two counts differ in
    // evenness (a two-bed cell) stood, its marker with it, half a cell
    // across two sides off the cells it takes.
    const float fOffX = static_cast<float>(((uiRows + 1u) % 2u) * uiHalf);
    const float fOffZ = static_cast<float>(((uiColumns + 1u) % 2u) * uiHalf);
    return NiVec3(kPick.x + fOffX, kPick.y + fLift, kPick.z - fOffZ);
}

bool CBuildPlacement::FollowCursor()
{
    if (!m_pkObject)
        return false;
    if (CursorOverPanel())
    {
        Hide();
        return false;
    }
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkGrid = pkGrids->GetPickGrid();
    const NiVec3 kPick = pkGrids->GetPickPoint();
    if (!m_pkObject->PlaceAt(kPick, pkGrid))
    {
        Colour(m_pkMarker.get(), false);
        return false;
    }
    const NiVec3 kAt = Snap(kPick, 1.0f);
    m_pkObject->SetPosition(kAt, 0);
    m_pkObject->Update(0.0f);
    // The test below reads where the model's nodes now stand.
    if (COrvaneComposite* pkModel = m_pkObject->GetModel())
        pkModel->UpdateNode(0.0f);
    if (m_pkMarker)
    {
        m_pkMarker->SetPosition(NiVec3(kAt.x, kPick.y + 0.1f, kAt.z), false);
        m_pkMarker->ApplyChanges();
    }
    const bool bValid = m_pkObject->IsPlacementValid(true);
    Colour(m_pkMarker.get(), bValid);
    return bValid;
}

void CBuildPlacement::FollowCursorWithMarker()
{
    if (CursorOverPanel() || !m_pkMarker)
        return;
    const NiVec3& kPick = CBlockGridManager::GetInstance()->GetPickPoint();
    m_pkMarker->SetPosition(NiVec3(kPick.x, kPick.y + 0.1f, kPick.z), false);
    m_pkMarker->ApplyChanges();
}

void CBuildPlacement::Update()
{
    if (m_iMode == MODE_PLACING)
        (void)FollowCursor();
    else if (m_iMode == MODE_MARKER)
        FollowCursorWithMarker();
}

int CBuildPlacement::Commit()
{
    if (!m_pkObject || m_iMode != MODE_PLACING)
        return 0;
    if (!FollowCursor())
        return 0;
    const NiVec3 kPick = CBlockGridManager::GetInstance()->GetPickPoint();
    m_pkObject->SetPosition(Snap(kPick, 0.0f), 0);
    m_pkObject->Update(0.0f);
    Rejoin(*m_pkObject);
    // The nodes stand where the object stands before it lays itself out.
    if (COrvaneComposite* pkModel = m_pkObject->GetModel())
        pkModel->UpdateNode(0.0f);
    m_pkObject->Place();
    CGameHost* pkHost = CGameHost::Get();
    if (pkHost)
    {
        pkHost->PlaySample(COMMIT_SAMPLE, 255, false);
        CBuildMenuItem kItem;
        if (pkHost->FindBuildMenuItem(*m_pkObject, pkHost->GetSelectedBuilding() != nullptr, kItem))
            m_pkObject->SetBuildMenuItem(kItem);
    }
    if (auto* pkUsable = dynamic_cast<CPathableObject*>(m_pkObject))
        (void)pkUsable->SpawnStaff();
    m_pkObject = nullptr;
    m_pkTemplate = nullptr;
    m_pkFactory = nullptr;
    RemoveMarker();
    return 1;
}
