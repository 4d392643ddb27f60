#include "engine/animation/NiAnimKey.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace NiAnimKeyLocal;

namespace
{
// Files before this version carry one more word in front of each Euler key.
constexpr std::uint32_t EULER_PREFIX_BEFORE = NiStreamVersion(10, 1, 0, 104);

const NiRotKey& R(const NiAnimKey* p) { return *static_cast<const NiRotKey*>(p); }
NiQuat& Out(void* pv) { return *static_cast<NiQuat*>(pv); }

// --- Interpolation ---------------------------------------------------------------------------------------------------

void InterpNone(float, const NiAnimKey*, const NiAnimKey*, void* pv) { Out(pv) = NiQuat::IDENTITY; }
void InterpLin(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = RotLin(u, k0, k1); }
void InterpStep(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = RotStep(u, k0, k1); }
void InterpBez(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = RotBez(u, k0, k1); }
void InterpTCB(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = RotTCB(u, k0, k1); }
// The Euler kind is handed the time itself and its single key.
void InterpEuler(float t, const NiAnimKey* k0, const NiAnimKey*, void* pv)
{
    Out(pv) = EulerEvaluate(t, *static_cast<const NiEulerRotKey*>(k0));
}

// --- Derived values --------------------------------------------------------------------------------------------------

NiRotKey* K(NiAnimKey* pkKeys, std::uint32_t i, std::uint8_t uiStride)
{
    return static_cast<NiRotKey*>(NiAnimKey::At(pkKeys, i, uiStride));
}

// Consecutive keys are put in one hemisphere so interpolation takes the
// short way; w is clamped for the logarithms that follow.
void Align(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    if (pkKeys == nullptr)
        return;
    for (std::uint32_t i = 1; i < uiCount; ++i)
    {
        NiRotKey* pkPrev = K(pkKeys, i - 1, uiStride);
        NiRotKey* pkKey = K(pkKeys, i, uiStride);
        if (NiQuat::Dot(pkPrev->m_kQuat, pkKey->m_kQuat) < 0.0f)
            pkKey->m_kQuat = -pkKey->m_kQuat;
    }
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiRotKey* pkKey = K(pkKeys, i, uiStride);
        pkKey->m_kQuat.w = std::clamp(pkKey->m_kQuat.w, -1.0f, 1.0f);
    }
}

void FillPlain(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride) { Align(pkKeys, uiCount, uiStride); }

void FillBez(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    Align(pkKeys, uiCount, uiStride);
    if (pkKeys == nullptr || uiCount < 2)
        return;
    auto B = [&](std::uint32_t i) { return static_cast<NiBezRotKey*>(NiAnimKey::At(pkKeys, i, uiStride)); };
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        const NiQuat& q = B(i)->m_kQuat;
        const NiQuat& qPrev = i > 0 ? B(i - 1)->m_kQuat : q;
        const NiQuat& qNext = i + 1 < uiCount ? B(i + 1)->m_kQuat : q;
        B(i)->m_kIntQuat = NiQuat::Intermediate(qPrev, q, qNext);
    }
}

void FillTCB(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    Align(pkKeys, uiCount, uiStride);
    if (pkKeys == nullptr || uiCount < 2)
        return;
    auto T = [&](std::uint32_t i) { return static_cast<NiTCBRotKey*>(NiAnimKey::At(pkKeys, i, uiStride)); };
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiTCBRotKey* k = T(i);
        const NiTCBRotKey* p = i > 0 ? T(i - 1) : k;
        const NiTCBRotKey* n = i + 1 < uiCount ? T(i + 1) : k;
        float fSpan = n->m_fTime - p->m_fTime;
        if (!(fSpan != 0.0f))
        {
            // No time around the key: its controls are the key itself.
            k->m_kA = k->m_kQuat;
            k->m_kB = k->m_kQuat;
            continue;
        }
        float w = 1.0f / fSpan;
        NiQuat kLp = NiQuat::Log(p->m_kQuat.Conjugate() * k->m_kQuat);
        NiQuat kLn = NiQuat::Log(k->m_kQuat.Conjugate() * n->m_kQuat);
        float fT = 1.0f - k->m_fTension;
        float fC = k->m_fContinuity;
        float fB = k->m_fBias;
        float s = (k->m_fTime - p->m_fTime) * w;
        NiQuat kOut = kLp * (s * fT * (1.0f + fC) * (1.0f + fB)) + kLn * (s * fT * (1.0f - fC) * (1.0f - fB)) - kLn;
        k->m_kA = k->m_kQuat * NiQuat::Exp(kOut * 0.5f);
        float s2 = (n->m_fTime - k->m_fTime) * w;
        NiQuat kIn = kLp - (kLp * (s2 * fT * (1.0f - fC) * (1.0f + fB)) + kLn * (s2 * fT * (1.0f + fC) * (1.0f - fB)));
        k->m_kB = k->m_kQuat * NiQuat::Exp(kIn * 0.5f);
    }
}

// --- Arrays ----------------------------------------------------------------------------------------------------------

bool EqualPlain(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 5); }
bool EqualBez(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 9); }
bool EqualTCB(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 16); }

// --- Insertion -------------------------------------------------------------------------------------------------------

bool InsertKey(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount, std::uint32_t uiType, std::uint8_t uiStride)
{
    std::uint32_t uiPlace;
    NiAnimKey* pkNew = BeginInsert(t, pkKeys, uiCount, uiStride, uiPlace);
    if (pkNew == nullptr)
        return false;
    K(pkNew, uiPlace, uiStride)->m_kQuat = NiRotKey::GenerateValue(t, pkKeys, uiType, uiCount, uiStride);
    FinishInsert(pkKeys, uiCount, pkNew);
    if (uiType == NI_BEZKEY)
        FillBez(pkKeys, uiCount, uiStride);
    else if (uiType == NI_TCBKEY)
        FillTCB(pkKeys, uiCount, uiStride);
    else
        Align(pkKeys, uiCount, uiStride);
    return true;
}
bool InsertLin(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_LINKEY, sizeof(NiRotKey)); }
bool InsertStep(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_STEPKEY, sizeof(NiRotKey)); }
bool InsertBez(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_BEZKEY, sizeof(NiBezRotKey)); }
bool InsertTCB(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_TCBKEY, sizeof(NiTCBRotKey)); }

// --- Euler keys ------------------------------------------------------------------------------------------------------

NiEulerRotKey* E(NiAnimKey* pkKeys, std::uint32_t i)
{
    return static_cast<NiEulerRotKey*>(NiAnimKey::At(pkKeys, i, sizeof(NiEulerRotKey)));
}

void EulerDelete(NiAnimKey* pkKeys)
{
    if (pkKeys == nullptr)
        return;
    std::uint32_t uiCount = NiAnimKey::GetArrayCount(pkKeys);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        E(pkKeys, i)->ClearChannels();
    NiAnimKey::FreeArray(pkKeys);
}

NiAnimKey* EulerCreate(std::uint32_t n) { return NiAnimKey::AllocateArray(n, sizeof(NiEulerRotKey)); }

void EulerCopy(NiAnimKey* pkDest, const NiAnimKey* pkSrc)
{
    auto* d = static_cast<NiEulerRotKey*>(pkDest);
    const auto* s = static_cast<const NiEulerRotKey*>(pkSrc);
    d->m_fTime = s->m_fTime;
    d->m_kQuat = s->m_kQuat;
    for (int c = 0; c < 3; ++c)
    {
        d->m_uiNumKeys[c] = 0;
        d->m_eType[c] = s->m_eType[c];
        d->m_ucSizes[c] = s->m_ucSizes[c];
        d->m_apkKeys[c] = nullptr;
        d->m_uiLastIdx[c] = 0;
        if (s->m_uiNumKeys[c] == 0 || s->m_apkKeys[c] == nullptr)
            continue;
        auto pfnCreate = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, s->m_eType[c]);
        auto pfnCopy = NiAnimKeyTables::GetCopyFunction(NI_FLOATKEY, s->m_eType[c]);
        std::uint8_t uiStride = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, s->m_eType[c]);
        NiAnimKey* pkArray = pfnCreate ? pfnCreate(s->m_uiNumKeys[c]) : nullptr;
        if (pkArray == nullptr || pfnCopy == nullptr)
        {
            NiAnimKey::FreeArray(pkArray);
            continue;
        }
        for (std::uint32_t i = 0; i < s->m_uiNumKeys[c]; ++i)
            pfnCopy(NiAnimKey::At(pkArray, i, uiStride), NiAnimKey::At(s->m_apkKeys[c], i, uiStride));
        d->m_apkKeys[c] = pkArray;
        d->m_uiNumKeys[c] = s->m_uiNumKeys[c];
        d->m_ucSizes[c] = uiStride;
    }
}

bool EulerEqual(const NiAnimKey& kA, const NiAnimKey& kB)
{
    const auto& a = static_cast<const NiEulerRotKey&>(kA);
    const auto& b = static_cast<const NiEulerRotKey&>(kB);
    for (int c = 0; c < 3; ++c)
    {
        if (a.m_uiNumKeys[c] != b.m_uiNumKeys[c] || a.m_eType[c] != b.m_eType[c] || a.m_ucSizes[c] != b.m_ucSizes[c])
            return false;
        if (a.m_uiNumKeys[c] == 0)
            continue;
        auto pfnEqual = NiAnimKeyTables::GetEqualFunction(NI_FLOATKEY, a.m_eType[c]);
        if (pfnEqual == nullptr || a.m_apkKeys[c] == nullptr || b.m_apkKeys[c] == nullptr)
            return false;
        for (std::uint32_t i = 0; i < a.m_uiNumKeys[c]; ++i)
        {
            if (!pfnEqual(*NiAnimKey::At(a.m_apkKeys[c], i, a.m_ucSizes[c]),
                          *NiAnimKey::At(b.m_apkKeys[c], i, b.m_ucSizes[c])))
                return false;
        }
    }
    return true;
}

bool EulerWrite(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount)
{
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        const auto* k = static_cast<const NiEulerRotKey*>(NiAnimKey::At(pkKeys, i, sizeof(NiEulerRotKey)));
        for (int c = 0; c < 3; ++c)
        {
            if (!NiWriteLE(kStream, k->m_uiNumKeys[c]))
                return false;
            if (k->m_uiNumKeys[c] == 0)
                continue;
            auto pfnWrite = NiAnimKeyTables::GetWriteFunction(NI_FLOATKEY, k->m_eType[c]);
            if (!NiWriteLE(kStream, k->m_eType[c]) || pfnWrite == nullptr ||
                !pfnWrite(kStream, k->m_apkKeys[c], k->m_uiNumKeys[c]))
                return false;
        }
    }
    return true;
}

NiAnimKey* EulerRead(NiByteStream& kStream, std::uint32_t uiVersion, std::uint32_t uiCount)
{
    // Each record is read before the next is allowed to take memory, so a
    // count that the data cannot back fails at the data's end.
    std::vector<NiEulerRotKey> kRead;
    auto fnDiscard = [&kRead]() {
        for (NiEulerRotKey& k : kRead)
            k.ClearChannels();
        return nullptr;
    };
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiEulerRotKey kKey{};
        kKey.m_kQuat = NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
        kRead.push_back(kKey);
        NiEulerRotKey& k = kRead.back();
        if (uiVersion < EULER_PREFIX_BEFORE)
        {
            std::uint32_t uiUnused;
            if (!NiReadLE(kStream, uiUnused))
                return fnDiscard();
        }
        for (int c = 0; c < 3; ++c)
        {
            std::uint32_t uiKeys, uiType;
            if (!NiReadLE(kStream, uiKeys))
                return fnDiscard();
            if (uiKeys == 0)
                continue;
            if (!NiReadLE(kStream, uiType))
                return fnDiscard();
            NiAnimKey* pkChannel = NiAnimKeyTables::ReadArray(kStream, uiVersion, NI_FLOATKEY, uiType, uiKeys);
            if (pkChannel == nullptr)
                return fnDiscard();
            k.m_uiNumKeys[c] = uiKeys;
            k.m_eType[c] = uiType;
            k.m_ucSizes[c] = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
            k.m_apkKeys[c] = pkChannel;
        }
    }
    NiAnimKey* pkKeys = EulerCreate(uiCount);
    if (pkKeys == nullptr)
        return fnDiscard();
    std::memcpy(pkKeys, kRead.data(), kRead.size() * sizeof(NiEulerRotKey));
    return pkKeys;
}

void EulerFill(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t)
{
    if (pkKeys == nullptr)
        return;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiEulerRotKey* k = E(pkKeys, i);
        for (int c = 0; c < 3; ++c)
        {
            auto pfnFill = NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, k->m_eType[c]);
            if (k->m_uiNumKeys[c] != 0 && pfnFill != nullptr)
                pfnFill(k->m_apkKeys[c], k->m_uiNumKeys[c], k->m_ucSizes[c]);
        }
    }
}

bool EulerInsert(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount)
{
    if (pkKeys == nullptr || uiCount == 0)
    {
        NiAnimKey* pkNew = EulerCreate(1);
        if (pkNew == nullptr)
            return false;
        EulerDelete(pkKeys);
        pkKeys = pkNew;
        uiCount = 1;
    }
    NiEulerRotKey* k = E(pkKeys, 0);
    bool bAny = false;
    for (int c = 0; c < 3; ++c)
    {
        if (k->m_uiNumKeys[c] == 0)
            continue;
        auto pfnInsert = NiAnimKeyTables::GetInsertFunction(NI_FLOATKEY, k->m_eType[c]);
        if (pfnInsert != nullptr && pfnInsert(t, k->m_apkKeys[c], k->m_uiNumKeys[c]))
            bAny = true;
        k->m_uiLastIdx[c] = 0;
    }
    return bAny;
}
} // namespace

void NiEulerRotKey::ClearChannels()
{
    for (int c = 0; c < 3; ++c)
    {
        auto pfnDelete = NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, m_eType[c]);
        if (pfnDelete != nullptr)
            pfnDelete(m_apkKeys[c]);
        else
            NiAnimKey::FreeArray(m_apkKeys[c]);
        m_apkKeys[c] = nullptr;
        m_uiNumKeys[c] = 0;
        m_ucSizes[c] = 0;
        m_uiLastIdx[c] = 0;
    }
}

NiQuat NiAnimKeyLocal::EulerEvaluate(float t, const NiEulerRotKey& kKey)
{
    // The search hints are a cache of the key; they change no result.
    auto& k = const_cast<NiEulerRotKey&>(kKey);
    float afAngle[3] = {0.0f, 0.0f, 0.0f};
    for (int c = 0; c < 3; ++c)
    {
        if (k.m_uiNumKeys[c] == 0 || k.m_apkKeys[c] == nullptr)
            continue;
        afAngle[c] =
            NiFloatKey::EvaluateAt(t, k.m_apkKeys[c], k.m_eType[c], k.m_uiNumKeys[c], k.m_uiLastIdx[c], k.m_ucSizes[c]);
    }
    float cx = std::cos(afAngle[0] * 0.5f), sx = std::sin(afAngle[0] * 0.5f);
    float cy = std::cos(afAngle[1] * 0.5f), sy = std::sin(afAngle[1] * 0.5f);
    float cz = std::cos(afAngle[2] * 0.5f), sz = std::sin(afAngle[2] * 0.5f);
    return NiQuat(cx * cy * cz + sx * sy * sz, sx * cy * cz - cx * sy * sz, cx * sy * cz + sx * cy * sz,
                  cx * cy * sz - sx * sy * cz);
}

bool NiAnimKeyLocal::RegisterRot(std::uint32_t uiType)
{
    NiAnimKeyTables::Entry e;
    e.m_pfnDelete = DeleteArray;
    switch (uiType)
    {
    case NI_NOINTERP:
        SetFloatRecord<sizeof(NiRotKey), 5>(e);
        SetNoRecord(e);
        e.m_pfnFillDerived = FillPlain;
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = InterpNone;
        break;
    case NI_LINKEY:
    case NI_STEPKEY:
        SetFloatRecord<sizeof(NiRotKey), 5>(e);
        e.m_pfnFillDerived = FillPlain;
        e.m_pfnInsert = uiType == NI_LINKEY ? InsertLin : InsertStep;
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = uiType == NI_LINKEY ? InterpLin : InterpStep;
        break;
    case NI_BEZKEY:
        SetFloatRecord<sizeof(NiBezRotKey), 5>(e);
        e.m_pfnFillDerived = FillBez;
        e.m_pfnInsert = InsertBez;
        e.m_pfnEqual = EqualBez;
        e.m_pfnInterpolate = InterpBez;
        break;
    case NI_TCBKEY:
        SetFloatRecord<sizeof(NiTCBRotKey), 8>(e);
        e.m_pfnFillDerived = FillTCB;
        e.m_pfnInsert = InsertTCB;
        e.m_pfnEqual = EqualTCB;
        e.m_pfnInterpolate = InterpTCB;
        break;
    case NI_EULERKEY:
        e.m_ucSize = sizeof(NiEulerRotKey);
        e.m_ucStreamSize = 12; // three empty channels
        e.m_pfnDelete = EulerDelete;
        e.m_pfnFillDerived = EulerFill;
        e.m_pfnInsert = EulerInsert;
        e.m_pfnCreate = EulerCreate;
        e.m_pfnCopy = EulerCopy;
        e.m_pfnWrite = EulerWrite;
        e.m_pfnRead = EulerRead;
        e.m_pfnEqual = EulerEqual;
        e.m_pfnInterpolate = InterpEuler;
        break;
    default:
        return false;
    }
    return RegisterEntry(NI_ROTKEY, uiType, e);
}

NiQuat NiRotKey::EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                            std::uint32_t& uiLastIdx, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
    if (uiType == NI_EULERKEY)
        return EulerEvaluate(t, *static_cast<const NiEulerRotKey*>(pkKeys));
    if (uiCount == 1)
        return R(pkKeys).m_kQuat;
    NiQuat kResult;
    if (!InterpolatePair(t, pkKeys, NI_ROTKEY, uiType, uiCount, uiLastIdx, uiStride, &kResult))
        return NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
    return kResult;
}

NiQuat NiRotKey::GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                               std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
    std::uint32_t uiIdx = 0;
    if (uiType == NI_EULERKEY)
        return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
    if (const NiAnimKey* pkEnd = EndKeyOutside(t, pkKeys, uiCount, uiStride))
        return R(pkEnd).m_kQuat;
    return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
}
