#include "game/simulation/objects/CWorld.h"

#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CWorldObject.h"
#include "game/simulation/objects/TextConvert.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace
{
constexpr const char* FENCE = "NiSwitchNode_fence";
constexpr const char* DETAIL = "detail2";

// A whole field as a number; false for anything else.
bool WholeInteger(const std::string& kField, std::int32_t& iValue)
{
    const char* pcEnd = kField.data() + kField.size();
    auto [pcStop, eError] = std::from_chars(kField.data(), pcEnd, iValue);
    return !kField.empty() && eError == std::errc() && pcStop == pcEnd;
}

bool WholeFloat(const std::string& kField, float& fValue)
{
    const char* pcEnd = kField.data() + kField.size();
    auto [pcStop, eError] = std::from_chars(kField.data(), pcEnd, fValue);
    return !kField.empty() && eError == std::errc() && pcStop == pcEnd;
}

std::vector<std::string> Split(const std::string& kText, char cSeparator)
{
    std::vector<std::string> kFields;
    std::size_t uiStart = 0;
    for (;;)
    {
        const std::size_t uiAt = kText.find(cSeparator, uiStart);
        kFields.push_back(kText.substr(uiStart, uiAt == std::string::npos ? std::string::npos : uiAt - uiStart));
        if (uiAt == std::string::npos)
            return kFields;
        uiStart = uiAt + 1;
    }
}

void CollectNamed(NiAVObject* pkObject, const char* pcName, std::vector<NiAVObject*>& kOut)
{
    if (!pkObject)
        return;
    if (pkObject->GetName() && std::strcmp(pkObject->GetName(), pcName) == 0)
        kOut.push_back(pkObject);
    if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
        for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
            CollectNamed(pkNode->GetAt(i), pcName, kOut);
}
} // namespace

CWorld::CWorld()
{
    CWorld::Reset();
}

CWorld::~CWorld()
{
    CWorld::Destroy();
}

void CWorld::Destroy()
{
    m_kDetails.clear();
    m_kArrivals.clear();
    COrvaneWorld::Destroy();
}

void CWorld::Reset()
{
    COrvaneWorld::Reset();
    m_pkProtesters = nullptr;
    m_iUpgradeLevel = 0;
    m_iHighestMapNumber = 0;
    m_ucDetailsShown = 1;
}

void CWorld::SetUpgradeLevel(std::int32_t iLevel)
{
    SelectFloor(iLevel);
    m_iUpgradeLevel = iLevel;
}

void CWorld::ToggleDetails()
{
    m_ucDetailsShown = m_ucDetailsShown ? 0 : 1;
    if (m_kDetails.empty())
        return;
    if (m_ucDetailsShown)
        m_kDetails.front()->Reattach();
    else
        m_kDetails.front()->Detach();
}

int CWorld::BuildObjectFromNode(const char* pcText, int iPass, NiVec3* pkPosition)
{
    if (iPass == 1 && pcText)
        (void)CreateFromNode(NODE_OBJECT, pcText, pkPosition);
    return 0;
}

bool CWorld::LoadLevel(const char* pcFileName, COrvaneCamera* pkCamera)
{
    const bool bLoaded = COrvaneWorld::LoadLevel(pcFileName, pkCamera);
    if (!GetSceneRoot())
        return bLoaded;
    // The splines by name, once the areas they join exist.
    for (const std::unique_ptr<COrvaneAnimationSpline>& pkSpline : GetSplines())
        if (pkSpline->GetName())
            (void)CreateFromNode(NODE_SPLINE, pkSpline->GetName(), pkSpline.get());

    (void)FindObjectByName(FENCE);
    SetUpgradeLevel(m_iUpgradeLevel);

    m_kDetails.clear();
    std::vector<NiAVObject*> kDetails;
    CollectNamed(GetSceneRoot(), DETAIL, kDetails);
    for (NiAVObject* pkDetail : kDetails)
    {
        auto pkHolder = std::make_unique<NiNodeAttachment>();
        pkHolder->Set(pkDetail);
        m_kDetails.push_back(std::move(pkHolder));
    }
    m_ucDetailsShown = 1;

    // The arrival road goes to the spawn manager after one scene step.
    if (!m_kArrivals.empty())
    {
        UpdateScene(0.0f);
        CGameHost* pkHost = CGameHost::Get();
        for (const Arrival& kArrival : m_kArrivals)
        {
            if (!pkHost)
                break;
            std::unique_ptr<COrvaneSplineBase> pkCopy = kArrival.m_pkSpline->Clone();
            std::unique_ptr<COrvaneAnimationSpline> pkSpline(dynamic_cast<COrvaneAnimationSpline*>(pkCopy.get()));
            if (pkSpline)
                (void)pkCopy.release();
            pkHost->SetArrivalPath(std::move(pkSpline), kArrival.m_pkVehicle);
        }
        m_kArrivals.clear();
    }
    return bLoaded;
}

int CWorld::CreateFromNode(int iKind, const char* pcName, const void* pvData)
{
    if (!pcName)
        return 0;
    const std::string kName = pcName;
    if (iKind == NODE_OBJECT)
    {
        const NiVec3 kPosition = pvData ? *static_cast<const NiVec3*>(pvData) : NiVec3::ZERO;
        if (kName.find("map") != std::string::npos)
        {
            CGridDesc kDesc;
            if (!ParseMapText(kName, kDesc))
                return 0;
            kDesc.m_kOrigin = kPosition;
            // A level's areas are never floors of a building.
            kDesc.m_ucOwnStack = 1;
            if (CBlockGridManager::GetInstance()->CreateGrid(kDesc))
                m_iHighestMapNumber = std::max(m_iHighestMapNumber, kDesc.m_aiNumbers[0]);
        }
        else if (kName.find("camera") != std::string::npos)
        {
            m_kCameraStart = kPosition;
            const std::size_t uiAt = kName.find('_');
            m_fCameraValue = uiAt == std::string::npos ? 0.0f : FromString<float>(kName.substr(uiAt + 1));
        }
        else if (kName.find("protest") != std::string::npos)
        {
            MakeProtesters(kPosition);
        }
    }
    else if (iKind == NODE_SPLINE)
    {
        if (kName.find("connector") != std::string::npos)
            MakeConnector(kName);
        else if (kName.find("spawn") != std::string::npos)
            MakeSpawn(kName);
    }
    return 0;
}

bool CWorld::ParseMapText(const std::string& kText, CGridDesc& kDesc)
{
    const std::size_t uiComma = kText.find(',');
    const std::string kGrid = kText.substr(0, uiComma);
    const std::vector<std::string> kFields = Split(kGrid, '_');
    if (kFields.size() < 5)
        return false;
    CGridDesc kRead;
    for (std::size_t i = 0; i < 5; ++i)
        if (!WholeInteger(kFields[kFields.size() - 5 + i], kRead.m_aiNumbers[i]))
            return false;
    if (uiComma != std::string::npos)
    {
        const std::vector<std::string> kEntries = Split(kText.substr(uiComma + 1), ',');
        for (const std::string& kEntry : kEntries)
        {
            // A leading minus belongs to the first number.
            const std::size_t uiDash = kEntry.find('-', 1);
            float fFirst = 0.0f, fSecond = -1.0f;
            if (!WholeFloat(kEntry.substr(0, uiDash), fFirst))
                continue;
            if (uiDash != std::string::npos && uiDash + 1 < kEntry.size() &&
                !WholeFloat(kEntry.substr(uiDash + 1), fSecond))
                continue;
            kRead.m_kDoors.emplace_back(fFirst, fSecond);
        }
    }
    std::copy(std::begin(kRead.m_aiNumbers), std::end(kRead.m_aiNumbers), std::begin(kDesc.m_aiNumbers));
    kDesc.m_kDoors = std::move(kRead.m_kDoors);
    return true;
}

void CWorld::MakeProtesters(const NiVec3& kPosition)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager)
        return;
    COrvaneObjectFactory* pkFactory = pkManager->FindFactory("orvaneObjectFactory", this);
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = pkManager->FindTemplate("protesters");
    kDesc.m_ucMode = 1;
    kDesc.m_ucAddToWorld = 1;
    if (!pkFactory || !kDesc.m_pkTemplate)
        return;
    COrvaneObject* pkProtesters = pkManager->CreateObject(pkFactory, kDesc);
    if (!pkProtesters)
        return;
    pkProtesters->SetPosition(kPosition, 0);
    pkProtesters->PlayAnimation("protesters", 1, 0.0f, 0, 1);
    pkProtesters->SetModelHidden(true);
    m_pkProtesters = pkProtesters;
}

COrvaneAnimationSpline* CWorld::FindSpline(const std::string& kText) const
{
    for (const std::unique_ptr<COrvaneAnimationSpline>& pkSpline : GetSplines())
        if (pkSpline->GetName() && std::strstr(pkSpline->GetName(), kText.c_str()))
            return pkSpline.get();
    return nullptr;
}

void CWorld::MakeConnector(const std::string& kName)
{
    const std::size_t uiAt = kName.find('_');
    if (uiAt == std::string::npos)
        return;
    COrvaneAnimationSpline* pkSpline = FindSpline(kName.substr(0, uiAt));
    const std::vector<std::string> kFields = Split(kName.substr(uiAt + 1), '_');
    std::int32_t iFrom = 0, iTo = 0;
    if (!pkSpline || kFields.size() < 2 || !WholeInteger(kFields[0], iFrom) || !WholeInteger(kFields[1], iTo))
        return;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkFrom = pkGrids->FindGrid(iFrom);
    CBlockGrid* pkTo = pkGrids->FindGrid(iTo);
    // The record's owner answers its key: both ends must exist.
    if (!pkFrom || !pkTo)
        return;
    NiVec3 kStart, kEnd;
    if (!pkSpline->GetStartPosition(kStart) || !pkSpline->GetEndPosition(kEnd))
        return;
    pkFrom->AddMarker(CConnector::Make(kStart, kEnd, pkTo, std::make_unique<CSplineHolder>(pkSpline)));
}

void CWorld::MakeSpawn(const std::string& kName)
{
    COrvaneAnimationSpline* pkSpline = FindSpline(kName);
    if (!pkSpline)
        return;
    Arrival kArrival;
    kArrival.m_pkSpline = pkSpline;
    if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
    {
        COrvaneObjectFactory* pkFactory = pkManager->FindFactory("SpawnObjectFactory", this);
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkManager->FindTemplate("spawn");
        kDesc.m_ucMode = 1;
        kDesc.m_ucAddToWorld = 1;
        if (pkFactory && kDesc.m_pkTemplate)
            kArrival.m_pkVehicle = pkManager->CreateObject(pkFactory, kDesc);
        if (kArrival.m_pkVehicle)
            kArrival.m_pkVehicle->PlayAnimation("arrive", 0, 0.0f, 0, 1);
    }
    m_kArrivals.push_back(kArrival);
}

namespace
{
// Whether the model hung in the world under this node is a building's.
bool IsBuildingModel(NiAVObject* pkNode)
{
    auto* pkOwner = pkNode != nullptr ? NiDynamicCast<NiIntegerExtraData>(pkNode->GetExtraData("Owner")) : nullptr;
    const COrvaneComposite* pkModel =
        pkOwner != nullptr ? COrvaneComposite::FromHandle(static_cast<std::uint32_t>(pkOwner->GetValue())) : nullptr;
    return pkModel != nullptr && dynamic_cast<const CWorldObject*>(pkModel->GetOwner()) != nullptr;
}
} // namespace

void CWorld::KeepRoomsAheadOfBuildings()
{
    NiNode* pkCollision = GetCollisionNode();
    if (pkCollision == nullptr)
        return;
    // Placed objects stand upright: their models hang under the collision
    // node's upright node.
    NiNode* pkUpright = GetUprightNode(true);
    if (pkUpright == nullptr)
        return;
    const std::uint32_t uiCount = pkUpright->GetArrayCount();
    bool bBuildingSeen = false;
    bool bOutOfOrder = false;
    for (std::uint32_t i = 0; i < uiCount && !bOutOfOrder; ++i)
    {
        NiAVObject* pkChild = pkUpright->GetAt(i);
        if (pkChild == nullptr)
            continue;
        const bool bBuilding = IsBuildingModel(pkChild);
        bOutOfOrder = bBuildingSeen && !bBuilding;
        bBuildingSeen = bBuildingSeen || bBuilding;
    }
    if (!bOutOfOrder)
        return;
    // Each keeps its order among its own kind.
    std::vector<NiAVObjectPtr> kOthers;
    std::vector<NiAVObjectPtr> kBuildings;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiAVObjectPtr spChild = pkUpright->DetachChildAt(i);
        if (spChild == nullptr)
            continue;
        (IsBuildingModel(spChild) ? kBuildings : kOthers).push_back(spChild);
    }
    std::uint32_t uiSlot = 0;
    for (const std::vector<NiAVObjectPtr>* pkList : {&kOthers, &kBuildings})
        for (const NiAVObjectPtr& spChild : *pkList)
            (void)pkUpright->SetAt(uiSlot++, spChild);
}
