#include "framework/COrvaneWorldPicker.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiPicker.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneWorld.h"

#include <cfloat>
#include <cstring>

class COrvaneWorldPickerImpl
{
public:
    virtual ~COrvaneWorldPickerImpl() { Destroy(); }
    virtual void Destroy()
    {
        m_pkPicker.reset();
        Clear();
    }
    virtual void Init(COrvaneWorld& kWorld, COrvaneCamera& kCamera)
    {
        Destroy();
        COrvaneSceneLink kLink;
        kWorld.ProvideRoot(kLink, true);
        m_pkTarget = kLink.m_pkTarget;
        m_pkCamera = kCamera.GetEngineCamera();
        m_pkPicker = std::make_unique<NiPicker>();
        // The first object met in the collision node's order, not the
        // nearest: the world's objects hang before the level's ground, and
        // a building before the rooms later put inside it.
        m_pkPicker->SetPickType(NiPicker::FIND_FIRST);
        m_pkPicker->SetSortType(NiPicker::NO_SORT);
        m_pkPicker->SetTarget(m_pkTarget);
    }
    virtual void Release() { Destroy(); }
    virtual void Clear()
    {
        m_pkTarget = nullptr;
        m_pkCamera = nullptr;
    }

    std::unique_ptr<NiPicker> m_pkPicker;
    NiNode* m_pkTarget = nullptr;  // link: the world's scene holds it
    NiCamera* m_pkCamera = nullptr; // link: the camera object holds it
};

namespace
{
// How much nearer a later hit must lie to count as nearer than an earlier
// one when the nearest is looked for: shapes laid at one height meet the
// ray a rounding apart.
constexpr float TIE_DEPTH = 1e-3f;

bool NameHas(const NiAVObject* pkObject, const char* pcText)
{
    return pkObject->GetName() != nullptr && std::strstr(pkObject->GetName(), pcText) != nullptr;
}

// The walk up to "Scene Root", past a "Staff_Root"; null when the walk ends
// at a root without one.
NiAVObject* FindSceneRoot(NiAVObject* pkFrom, NiAVObject*& pkStaff)
{
    pkStaff = nullptr;
    for (NiAVObject* pk = pkFrom; pk != nullptr; pk = pk->GetParent())
    {
        if (NameHas(pk, "Scene Root"))
            return pk;
        if (pkStaff == nullptr && NameHas(pk, "Staff_Root"))
            pkStaff = pk;
    }
    return nullptr;
}
} // namespace

COrvaneWorldPicker::COrvaneWorldPicker() : m_pkImpl(std::make_unique<COrvaneWorldPickerImpl>())
{
    m_pkImpl->Clear();
    Reset();
}

COrvaneWorldPicker::~COrvaneWorldPicker()
{
    delete m_pkStaff;
}

void COrvaneWorldPicker::Reset()
{
    m_fBestDistance = FLT_MAX;
    m_kHitPoint = NiVec3(FLT_MAX, FLT_MAX, FLT_MAX);
    m_uiResult = 0;
}

void COrvaneWorldPicker::Init(COrvaneWorld& kWorld, COrvaneCamera& kCamera)
{
    m_pkImpl->Init(kWorld, kCamera);
    SetNearestFirst(m_bNearestFirst);
}

void COrvaneWorldPicker::SetNearestFirst(bool bNearest)
{
    m_bNearestFirst = bNearest;
    if (NiPicker* pkPicker = m_pkImpl->m_pkPicker.get())
        pkPicker->SetPickType(bNearest ? NiPicker::FIND_ALL : NiPicker::FIND_FIRST);
}

std::uint32_t COrvaneWorldPicker::Pick(COrvanePickQuery& kQuery)
{
    delete m_pkStaff;
    m_pkStaff = nullptr;
    kQuery.m_puiResult = &m_uiResult;
    kQuery.m_pkPoint = &m_kHitPoint;
    kQuery.m_pfDistance = &m_fBestDistance;
    kQuery.m_ppkStaff = &m_pkStaff;

    NiPicker* pkPicker = m_pkImpl->m_pkPicker.get();
    NiCamera* pkCamera = m_pkImpl->m_pkCamera;
    if (pkPicker == nullptr || pkCamera == nullptr || kQuery.m_pfScreenPoint == nullptr)
        return m_uiResult;
    NiVec3 kOrigin;
    NiVec3 kDir;
    if (!pkCamera->WindowPointToRay(static_cast<std::int32_t>(kQuery.m_pfScreenPoint[0]),
                                    static_cast<std::int32_t>(kQuery.m_pfScreenPoint[1]), kOrigin, kDir))
        return m_uiResult;
    NiAVObject* pkTarget = m_pkImpl->m_pkTarget;
    if (kQuery.m_pkRestrict != nullptr)
        pkTarget = kQuery.m_pkRestrict->GetSceneRoot();
    if (pkTarget == nullptr)
        return m_uiResult;
    pkPicker->SetTarget(pkTarget);
    pkPicker->ClearResults();
    if (!pkPicker->Pick(kOrigin, kDir) || pkPicker->GetSize() == 0)
        return m_uiResult;

    NiAVObject* pkBest = nullptr;
    const std::uint32_t uiHits = pkPicker->GetSize();
    for (std::uint32_t n = 0; n < uiHits; ++n)
    {
        // Every hit, in the node's order when all are kept, so that the
        // earlier of two shapes at one depth (a building's floor plate
        // over the level's ground) stays; the single first hit otherwise.
        const std::uint32_t i = m_bNearestFirst ? n : uiHits - 1 - n;
        NiPickRecord* pkHit = pkPicker->GetAt(i);
        if (pkHit == nullptr || pkHit->GetAVObject() == nullptr)
            continue;
        NiPicker kSorted;
        kSorted.SetCoordinateType(NiPicker::WORLD_COORDINATES);
        kSorted.SetTarget(pkHit->GetAVObject());
        if (!kSorted.Pick(kOrigin, kDir) || kSorted.GetSize() == 0)
            continue;
        const NiPickRecord* pkNearest = kSorted.GetAt(0);
        if (pkNearest->GetDistance() < m_fBestDistance - (m_bNearestFirst && pkBest != nullptr ? TIE_DEPTH : 0.0f))
        {
            m_fBestDistance = pkNearest->GetDistance();
            m_kHitPoint = pkNearest->GetIntersection();
            pkBest = pkNearest->GetAVObject();
        }
    }
    if (kQuery.m_pkRestrict != nullptr || pkBest == nullptr)
        return m_uiResult;

    NiAVObject* pkStaff = nullptr;
    NiAVObject* pkRoot = FindSceneRoot(pkBest, pkStaff);
    if (pkStaff != nullptr)
    {
        m_pkStaff = new NiNodeAttachment;
        m_pkStaff->Set(pkStaff);
    }
    // Only the owner's handle names an object.
    if (pkRoot != nullptr)
        if (auto* pkOwner = NiDynamicCast<NiIntegerExtraData>(pkRoot->GetExtraData("Owner")))
            m_uiResult = static_cast<std::uint32_t>(pkOwner->GetValue());
    return m_uiResult;
}
