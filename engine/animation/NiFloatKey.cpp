#include "engine/animation/NiAnimKey.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiHermite.h"

using namespace NiAnimKeyLocal;

namespace
{
const NiFloatKey& F(const NiAnimKey* p) { return *static_cast<const NiFloatKey*>(p); }

// --- Interpolation ---------------------------------------------------------------------------------------------------

void InterpNone(float, const NiAnimKey*, const NiAnimKey*, void* pv) { *static_cast<float*>(pv) = 0.0f; }
void InterpLin(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<float*>(pv) = FloatLin(u, k0, k1);
}
void InterpStep(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<float*>(pv) = FloatStep(u, k0, k1);
}
void InterpBez(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<float*>(pv) = FloatBez(u, k0, k1);
}
void InterpTCB(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<float*>(pv) = FloatTCB(u, k0, k1);
}

// --- Derived values --------------------------------------------------------------------------------------------------

void FillTCB(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount < 2)
        return;
    auto K = [&](std::uint32_t i) { return static_cast<NiTCBFloatKey*>(NiAnimKey::At(pkKeys, i, uiStride)); };
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiTCBFloatKey* k = K(i);
        float fPrev, fNext, fDp = 1.0f, fDn = 1.0f;
        if (i == 0)
        {
            fNext = K(1)->m_fValue;
            fPrev = 2.0f * k->m_fValue - fNext;
        }
        else if (i == uiCount - 1)
        {
            fPrev = K(i - 1)->m_fValue;
            fNext = 2.0f * k->m_fValue - fPrev;
        }
        else
        {
            fPrev = K(i - 1)->m_fValue;
            fNext = K(i + 1)->m_fValue;
            fDp = k->m_fTime - K(i - 1)->m_fTime;
            fDn = K(i + 1)->m_fTime - k->m_fTime;
        }
        TCBTangents(k->m_fValue, fPrev, fNext, fDp, fDn, k->m_fTension, k->m_fContinuity, k->m_fBias, k->m_fDS,
                    k->m_fDD);
    }
}

// --- Arrays ----------------------------------------------------------------------------------------------------------

bool EqualPlain(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 2); }
bool EqualBez(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 4); }
bool EqualTCB(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 7); }

// --- Insertion -------------------------------------------------------------------------------------------------------

bool InsertKey(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount, std::uint32_t uiType, std::uint8_t uiStride)
{
    std::uint32_t uiPlace;
    NiAnimKey* pkNew = BeginInsert(t, pkKeys, uiCount, uiStride, uiPlace);
    if (pkNew == nullptr)
        return false;
    static_cast<NiFloatKey*>(NiAnimKey::At(pkNew, uiPlace, uiStride))->m_fValue =
        NiFloatKey::GenerateValue(t, pkKeys, uiType, uiCount, uiStride);

    if (uiType == NI_BEZKEY && uiPlace > 0 && uiPlace < uiCount)
    {
        // Split the old segment so the curve keeps its shape.
        auto* pkPrev = static_cast<NiBezFloatKey*>(NiAnimKey::At(pkNew, uiPlace - 1, uiStride));
        auto* pkKey = static_cast<NiBezFloatKey*>(NiAnimKey::At(pkNew, uiPlace, uiStride));
        auto* pkNext = static_cast<NiBezFloatKey*>(NiAnimKey::At(pkNew, uiPlace + 1, uiStride));
        if (pkNext->m_fTime > pkPrev->m_fTime)
        {
            NiHermiteTangentsForInterval(pkPrev->m_fValue, pkPrev->m_fTime, pkPrev->m_fOutTan, pkNext->m_fValue,
                                         pkNext->m_fTime, pkNext->m_fInTan, t, pkKey->m_fInTan, pkKey->m_fOutTan);
        }
    }

    FinishInsert(pkKeys, uiCount, pkNew);
    if (uiType == NI_TCBKEY)
        FillTCB(pkKeys, uiCount, uiStride);
    return true;
}
bool InsertLin(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_LINKEY, sizeof(NiFloatKey)); }
bool InsertStep(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_STEPKEY, sizeof(NiFloatKey)); }
bool InsertBez(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_BEZKEY, sizeof(NiBezFloatKey)); }
bool InsertTCB(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_TCBKEY, sizeof(NiTCBFloatKey)); }
} // namespace

bool NiAnimKeyLocal::RegisterFloat(std::uint32_t uiType)
{
    NiAnimKeyTables::Entry e;
    e.m_pfnDelete = DeleteArray;
    e.m_pfnFillDerived = FillNothing;
    switch (uiType)
    {
    case NI_NOINTERP:
        SetFloatRecord<sizeof(NiFloatKey), 2>(e);
        SetNoRecord(e);
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = InterpNone;
        break;
    case NI_LINKEY:
    case NI_STEPKEY:
        SetFloatRecord<sizeof(NiFloatKey), 2>(e);
        e.m_pfnInsert = uiType == NI_LINKEY ? InsertLin : InsertStep;
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = uiType == NI_LINKEY ? InterpLin : InterpStep;
        break;
    case NI_BEZKEY:
        SetFloatRecord<sizeof(NiBezFloatKey), 4>(e);
        e.m_pfnInsert = InsertBez;
        e.m_pfnEqual = EqualBez;
        e.m_pfnInterpolate = InterpBez;
        break;
    case NI_TCBKEY:
        SetFloatRecord<sizeof(NiTCBFloatKey), 5>(e);
        e.m_pfnFillDerived = FillTCB;
        e.m_pfnInsert = InsertTCB;
        e.m_pfnEqual = EqualTCB;
        e.m_pfnInterpolate = InterpTCB;
        break;
    default:
        return false;
    }
    return RegisterEntry(NI_FLOATKEY, uiType, e);
}

float NiFloatKey::EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                             std::uint32_t& uiLastIdx, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return 0.0f;
    if (uiCount == 1)
        return F(pkKeys).m_fValue;
    float fResult = 0.0f;
    if (!InterpolatePair(t, pkKeys, NI_FLOATKEY, uiType, uiCount, uiLastIdx, uiStride, &fResult))
        return 0.0f;
    return fResult;
}

float NiFloatKey::GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                                std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return 0.0f;
    if (const NiAnimKey* pkEnd = EndKeyOutside(t, pkKeys, uiCount, uiStride))
        return F(pkEnd).m_fValue;
    std::uint32_t uiIdx = 0;
    return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
}
