#include "engine/animation/NiTimeController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiObjectNET.h"

#include <cmath>
#include <utility>

NiImplementTypeInfo(NiTimeController, NiObject)

namespace
{
constexpr std::uint32_t PLAY_BACKWARDS_BYTE_VERSION = NiStreamVersion(10, 0, 1, 1);
constexpr std::uint32_t DIRECTION_BIT_FROM = NiStreamVersion(10, 0, 1, 1);
constexpr std::uint32_t OWN_FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);
constexpr std::uint32_t MANAGER_BIT_FROM = NiStreamVersion(10, 1, 0, 109);
constexpr std::uint32_t VOLATILE_ON_LINK_BEFORE = NiStreamVersion(10, 0, 1, 16);

// The last fold of a key time, shared by all controllers: many controllers
// of one model run with the same range and time each frame.
struct ScaledTimeCache
{
    std::uint16_t m_usCycleType = NiTimeController::MAX_CYCLE_TYPES;
    float m_fHi = 0.0f;
    float m_fLo = 0.0f;
    float m_fIn = 0.0f;
    float m_fOut = 0.0f;
};

ScaledTimeCache& Cache()
{
    static ScaledTimeCache s_kCache;
    return s_kCache;
}

NiTimeController::MarkDataVolatileFunction s_pfnMarkVolatile = nullptr;
} // namespace

NiTimeController::~NiTimeController()
{
    NiTimeControllerPtr spNext = std::move(m_spNext);
    // Each controller only this one holds goes here, after its own next link
    // was taken from it, so its destructor finds nothing to recurse into.
    while (spNext != nullptr && spNext->GetRefCount() == 1)
    {
        NiTimeControllerPtr spAfter = std::move(spNext->m_spNext);
        spNext = std::move(spAfter);
    }
}

std::uint32_t NiTimeController::CountChain(const NiTimeController* pkFirst)
{
    std::uint32_t uiCount = 0;
    for (const NiTimeController* pk = pkFirst; pk != nullptr; pk = pk->m_spNext)
        ++uiCount;
    return uiCount;
}

NiTimeController* NiTimeController::FirstStreamable(NiTimeController* pkFirst)
{
    NiTimeController* pk = pkFirst;
    while (pk != nullptr && !pk->IsStreamable())
        pk = pk->m_spNext;
    return pk;
}

// ---- Time ----

void NiTimeController::Start(float fTime)
{
    SetActive(true);
    m_fLastTime = NI_MIN_FLOAT;
    if (GetAnimType() == APP_INIT)
        m_fStartTime = fTime;
}

void NiTimeController::Stop()
{
    SetActive(false);
    m_fLastTime = NI_MIN_FLOAT;
    if (GetAnimType() == APP_INIT)
        m_fStartTime = NI_MIN_FLOAT;
}

void NiTimeController::ResetScaledTimeCache()
{
    NiRecursiveLockGuard kGuard(NiControllerLock());
    Cache() = ScaledTimeCache();
}

float NiTimeController::ComputeScaledTime(float fTime)
{
    if (m_fStartTime == NI_MIN_FLOAT)
        m_fStartTime = fTime;

    float fDelta;
    if (m_fLastTime == NI_MIN_FLOAT)
    {
        m_fWeightedLastTime = 0.0f;
        fDelta = GetAnimType() == APP_INIT ? 0.0f : fTime;
    }
    else
    {
        fDelta = fTime - m_fLastTime;
    }
    m_fWeightedLastTime = fDelta * m_fFrequency + m_fWeightedLastTime;
    m_fLastTime = fTime;
    float k = m_fWeightedLastTime + m_fPhase;

    const std::uint16_t usCycle = static_cast<std::uint16_t>(GetCycleType());
    const float fLo = m_fLoKeyTime;
    const float fHi = m_fHiKeyTime;
    float r;
    {
        NiRecursiveLockGuard kGuard(NiControllerLock());
        ScaledTimeCache& kCache = Cache();
        if (kCache.m_usCycleType == usCycle && kCache.m_fHi == fHi && kCache.m_fLo == fLo && kCache.m_fIn == k)
        {
            r = kCache.m_fOut;
        }
        else
        {
            kCache.m_usCycleType = usCycle;
            kCache.m_fHi = fHi;
            kCache.m_fLo = fLo;
            kCache.m_fIn = k;
            float fSpan = fHi - fLo;
            if (usCycle == LOOP)
            {
                if (fSpan == 0.0f)
                {
                    k = fLo;
                }
                else
                {
                    k = std::fmod(k - fLo, fSpan) + fLo;
                    if (k < fLo)
                        k += fSpan;
                }
            }
            else if (usCycle == REVERSE)
            {
                if (fSpan == 0.0f)
                {
                    k = fLo;
                }
                else
                {
                    // The remainder of the key time itself, not of k - lo:
                    // stored animations were made against this.
                    float fTwo = fSpan + fSpan;
                    float x = std::fmod(k, fTwo);
                    if (x < 0.0f)
                        x += fTwo;
                    k = x <= fSpan ? fLo + x : fLo + (fTwo - x);
                }
            }
            if (k > fHi)
                k = fHi;
            else if (k < fLo)
                k = fLo;
            kCache.m_fOut = k;
            r = k;
        }
    }
    if (GetPlayBackwards())
        r = fHi - (r - fLo);
    return r;
}

bool NiTimeController::ShouldSkipUpdate(float fTime)
{
    if (!GetActive())
        return true;
    if (fTime == m_fLastTime && !m_bForceUpdate)
        return true;
    if (m_bComputeScaledTime)
    {
        float fScaled = ComputeScaledTime(fTime);
        if (fScaled == m_fScaledTime && !m_bForceUpdate)
            return true;
        m_fScaledTime = fScaled;
    }
    m_bForceUpdate = false;
    return false;
}

// ---- Target ----

void NiTimeController::SetMarkDataVolatileFunction(MarkDataVolatileFunction pfnMark)
{
    s_pfnMarkVolatile = pfnMark;
}

void NiTimeController::MarkTargetDataVolatile()
{
    if (m_pkTarget != nullptr && s_pfnMarkVolatile != nullptr)
        s_pfnMarkVolatile(m_pkTarget);
}

void NiTimeController::SetTarget(NiObjectNET* pkTarget)
{
    if (pkTarget == m_pkTarget)
        return;
    // The old target's chain may hold the last reference to this
    // controller; it lives until the move is done.
    NiTimeControllerPtr spKeep = this;
    if (m_pkTarget != nullptr && m_pkTarget->GetControllers() != nullptr)
        m_pkTarget->RemoveController(this);
    m_pkTarget = pkTarget;
    if (pkTarget == nullptr)
        return;
    for (NiTimeController* pk = pkTarget->GetControllers(); pk != nullptr; pk = pk->GetNext())
    {
        if (pk == this)
            return;
    }
    pkTarget->PrependController(this);
    if (IsVertexController())
        MarkTargetDataVolatile();
}

// ---- Records ----

void NiTimeController::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    kStream.ReadLinkID();
    kStream.ReadLE(m_uFlags);
    kStream.ReadLE(m_fFrequency);
    kStream.ReadLE(m_fPhase);
    kStream.ReadLE(m_fLoKeyTime);
    kStream.ReadLE(m_fHiKeyTime);
    kStream.ReadLinkID();

    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion == PLAY_BACKWARDS_BYTE_VERSION)
    {
        std::uint8_t ucBackwards = 0;
        kStream.ReadLE(ucBackwards);
        SetPlayBackwards(ucBackwards != 0);
    }
    if (uiVersion < DIRECTION_BIT_FROM)
    {
        // These files had no direction bit: everything from bit 4 up moves
        // up one place.
        m_uFlags = static_cast<std::uint16_t>(((m_uFlags & 0xFFF0) << 1) | (m_uFlags & 0x000F));
    }
    m_usLegacyFlags = 0;
    if (uiVersion < OWN_FLAGS_FROM)
    {
        m_usLegacyFlags = m_uFlags;
        m_uFlags &= 0x001F;
    }
    if (uiVersion < MANAGER_BIT_FROM)
        m_uFlags &= static_cast<std::uint16_t>(~MANAGERCONTROLLED_MASK);
}

void NiTimeController::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    NiTimeController* pkNext = kStream.GetLinkedObjectAs<NiTimeController>();
    m_pkTarget = kStream.GetLinkedObjectAs<NiObjectNET>();
    // A chain that leads back here would never end and never be freed. The
    // links set so far form no cycle, so this walk ends; the bound is a
    // second guard.
    std::uint32_t uiSteps = 0;
    for (NiTimeController* pk = pkNext; pk != nullptr; pk = pk->m_spNext)
    {
        if (pk == this || ++uiSteps > kStream.GetFileObjectCount())
        {
            kStream.SetCorrupt();
            return;
        }
    }
    m_spNext = pkNext;
    if (kStream.GetFileVersion() < VOLATILE_ON_LINK_BEFORE && IsVertexController())
        MarkTargetDataVolatile();
}

bool NiTimeController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (NiTimeController* pkNext = FirstStreamable(m_spNext))
        pkNext->RegisterForSave(kStream);
    return true;
}

void NiTimeController::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLinkID(FirstStreamable(m_spNext));
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_fFrequency);
    kStream.WriteLE(m_fPhase);
    kStream.WriteLE(m_fLoKeyTime);
    kStream.WriteLE(m_fHiKeyTime);
    kStream.WriteLinkID(m_pkTarget);
}

bool NiTimeController::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiTimeController*>(pkOther);
    return pkController->m_uFlags == m_uFlags && pkController->m_fFrequency == m_fFrequency &&
           pkController->m_fPhase == m_fPhase && pkController->m_fLoKeyTime == m_fLoKeyTime &&
           pkController->m_fHiKeyTime == m_fHiKeyTime &&
           (pkController->m_pkTarget == nullptr) == (m_pkTarget == nullptr);
}

void NiTimeController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTimeController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fFrequency", m_fFrequency));
    kStrings.AddTail(NiViewerFloat("m_fPhase", m_fPhase));
    kStrings.AddTail(NiViewerFloat("m_fLoKeyTime", m_fLoKeyTime));
    kStrings.AddTail(NiViewerFloat("m_fHiKeyTime", m_fHiKeyTime));
    kStrings.AddTail(NiViewerFloat("m_fStartTime", m_fStartTime));
    kStrings.AddTail(NiViewerFloat("m_fLastTime", m_fLastTime));
    kStrings.AddTail(NiViewerPointer("m_pTarget", m_pkTarget));
    kStrings.AddTail(NiViewerString("anim type", GetAnimType() == APP_TIME ? "APP_TIME" : "APP_INIT"));
    static const char* const apcCycle[] = {"LOOP", "REVERSE", "CLAMP", "UNKNOWN"};
    kStrings.AddTail(NiViewerString("cycle type", apcCycle[GetCycleType()]));
    kStrings.AddTail(NiViewerBool("Active", GetActive()));
    kStrings.AddTail(NiViewerBool("Play Backwards", GetPlayBackwards()));
}

void NiTimeController::CopyMembers(NiTimeController* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_fFrequency = m_fFrequency;
    pkDest->m_fPhase = m_fPhase;
    pkDest->m_fLoKeyTime = m_fLoKeyTime;
    pkDest->m_fHiKeyTime = m_fHiKeyTime;
    pkDest->m_fStartTime = m_fStartTime;
    pkDest->m_fLastTime = m_fLastTime;
    pkDest->m_fWeightedLastTime = m_fWeightedLastTime;
    pkDest->m_pkTarget = nullptr;
    NiObject* pkTargetCopy = nullptr;
    if (m_pkTarget != nullptr && kCloning.m_kCloneMap.GetAt(m_pkTarget, pkTargetCopy) && pkTargetCopy != nullptr &&
        pkTargetCopy->GetTypeInfo() == m_pkTarget->GetTypeInfo())
        pkDest->m_pkTarget = static_cast<NiObjectNET*>(pkTargetCopy);
    if (m_spNext != nullptr)
        pkDest->m_spNext = static_cast<NiTimeController*>(m_spNext->CreateClone(kCloning));
}

void NiTimeController::FinishClone(NiCloneContext& kCloning)
{
    NiObject::FinishClone(kCloning);
    if (m_spNext != nullptr)
        m_spNext->FinishClone(kCloning);
}
