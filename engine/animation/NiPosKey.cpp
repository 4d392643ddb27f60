#include "engine/animation/NiAnimKey.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiHermite.h"

#include <cmath>

using namespace NiAnimKeyLocal;

namespace
{
const NiPosKey& P(const NiAnimKey* p) { return *static_cast<const NiPosKey*>(p); }
NiVec3& Out(void* pv) { return *static_cast<NiVec3*>(pv); }

// The cubic of an interval: P0 + out0 u + a u^2 + b u^3, all from the first key.
struct Cubic
{
    NiVec3 m_kP0;
    NiVec3 m_kOut;
    NiVec3 m_kA;
    NiVec3 m_kB;
};
Cubic BezCubic(const NiAnimKey* k)
{
    const auto& b = *static_cast<const NiBezPosKey*>(k);
    return {b.m_kPos, b.m_kOutTan, b.m_kA, b.m_kB};
}
Cubic TCBCubic(const NiAnimKey* k)
{
    const auto& b = *static_cast<const NiTCBPosKey*>(k);
    return {b.m_kPos, b.m_kDD, b.m_kA, b.m_kB};
}
NiVec3 CubicD1(const Cubic& c, float u) { return c.m_kOut + c.m_kA * (2.0f * u) + c.m_kB * (3.0f * u * u); }
NiVec3 CubicD2(const Cubic& c, float u) { return c.m_kA * 2.0f + c.m_kB * (6.0f * u); }

// --- Interpolation and derivatives -----------------------------------------------------------------------------------

void Zero(float, const NiAnimKey*, const NiAnimKey*, void* pv) { Out(pv) = NiVec3::ZERO; }
void InterpLin(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = PosLin(u, k0, k1); }
void InterpStep(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = PosStep(u, k0, k1); }
void InterpBez(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = PosBez(u, k0); }
void InterpTCB(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = PosTCB(u, k0); }

void D1Lin(float, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = P(k1).m_kPos - P(k0).m_kPos; }
void D1Step(float, const NiAnimKey* k0, const NiAnimKey* k1, void* pv) { Out(pv) = P(k0).m_kPos - P(k1).m_kPos; }
void D1Bez(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = CubicD1(BezCubic(k0), u); }
void D1TCB(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = CubicD1(TCBCubic(k0), u); }
void D2Bez(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = CubicD2(BezCubic(k0), u); }
void D2TCB(float u, const NiAnimKey* k0, const NiAnimKey*, void* pv) { Out(pv) = CubicD2(TCBCubic(k0), u); }

float CurvatureNone(const NiAnimKey*, std::uint32_t) { return 0.0f; }
float MaxCurvature(const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride, Cubic (*pfnCubic)(const NiAnimKey*))
{
    constexpr int STEPS = 20;
    constexpr float STEP = 0.05f;
    float fMax = 0.0f;
    if (pkKeys == nullptr || uiCount < 2)
        return fMax;
    for (std::uint32_t i = 0; i + 1 < uiCount; ++i)
    {
        Cubic c = pfnCubic(NiAnimKey::At(pkKeys, i, uiStride));
        for (int s = 0; s <= STEPS; ++s)
        {
            float u = s * STEP;
            NiVec3 d1 = CubicD1(c, u);
            NiVec3 d2 = CubicD2(c, u);
            float fSq = d1.Dot(d1);
            // A stationary point has no defined curvature; it is skipped
            // rather than dividing by zero.
            if (!(fSq > 0.0f))
                continue;
            float fCurv = d1.Cross(d2).Length() / fSq;
            if (fCurv > fMax)
                fMax = fCurv;
        }
    }
    return fMax;
}
float CurvatureBez(const NiAnimKey* k, std::uint32_t n) { return MaxCurvature(k, n, sizeof(NiBezPosKey), BezCubic); }
float CurvatureTCB(const NiAnimKey* k, std::uint32_t n) { return MaxCurvature(k, n, sizeof(NiTCBPosKey), TCBCubic); }

// --- Derived values --------------------------------------------------------------------------------------------------

void Coefficients(const NiVec3& kP0, const NiVec3& kOut0, const NiVec3& kP1, const NiVec3& kIn1, NiVec3& kA,
                  NiVec3& kB)
{
    NiVec3 d = kP1 - kP0;
    kA = d * 3.0f - kOut0 * 2.0f - kIn1;
    kB = kOut0 + kIn1 - d * 2.0f;
}

void FillBez(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    if (pkKeys == nullptr)
        return;
    for (std::uint32_t i = 0; i + 1 < uiCount; ++i)
    {
        auto* k0 = static_cast<NiBezPosKey*>(NiAnimKey::At(pkKeys, i, uiStride));
        auto* k1 = static_cast<NiBezPosKey*>(NiAnimKey::At(pkKeys, i + 1, uiStride));
        Coefficients(k0->m_kPos, k0->m_kOutTan, k1->m_kPos, k1->m_kInTan, k0->m_kA, k0->m_kB);
    }
}

void FillTCB(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount < 2)
        return;
    auto K = [&](std::uint32_t i) { return static_cast<NiTCBPosKey*>(NiAnimKey::At(pkKeys, i, uiStride)); };
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiTCBPosKey* k = K(i);
        NiVec3 kPrev, kNext;
        float fDp = 1.0f, fDn = 1.0f;
        if (i == 0)
        {
            kNext = K(1)->m_kPos;
            kPrev = k->m_kPos * 2.0f - kNext;
        }
        else if (i == uiCount - 1)
        {
            kPrev = K(i - 1)->m_kPos;
            kNext = k->m_kPos * 2.0f - kPrev;
        }
        else
        {
            kPrev = K(i - 1)->m_kPos;
            kNext = K(i + 1)->m_kPos;
            fDp = k->m_fTime - K(i - 1)->m_fTime;
            fDn = K(i + 1)->m_fTime - k->m_fTime;
        }
        TCBTangents(k->m_kPos.x, kPrev.x, kNext.x, fDp, fDn, k->m_fTension, k->m_fContinuity, k->m_fBias, k->m_kDS.x,
                    k->m_kDD.x);
        TCBTangents(k->m_kPos.y, kPrev.y, kNext.y, fDp, fDn, k->m_fTension, k->m_fContinuity, k->m_fBias, k->m_kDS.y,
                    k->m_kDD.y);
        TCBTangents(k->m_kPos.z, kPrev.z, kNext.z, fDp, fDn, k->m_fTension, k->m_fContinuity, k->m_fBias, k->m_kDS.z,
                    k->m_kDD.z);
    }
    for (std::uint32_t i = 0; i + 1 < uiCount; ++i)
        Coefficients(K(i)->m_kPos, K(i)->m_kDD, K(i + 1)->m_kPos, K(i + 1)->m_kDS, K(i)->m_kA, K(i)->m_kB);
}

// --- Arrays ----------------------------------------------------------------------------------------------------------

bool EqualPlain(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 4); }
bool EqualBez(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 10); }
// Time, value, tension, continuity, bias, the derived in tangent and the
// derived coefficient b: the fields that tell two key sets apart.
bool EqualTCB(const NiAnimKey& a, const NiAnimKey& b)
{
    return EqualFloats(a, b, 0, 10) && EqualFloats(a, b, 16, 3);
}

// --- Insertion -------------------------------------------------------------------------------------------------------

bool InsertKey(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount, std::uint32_t uiType, std::uint8_t uiStride)
{
    std::uint32_t uiPlace;
    NiAnimKey* pkNew = BeginInsert(t, pkKeys, uiCount, uiStride, uiPlace);
    if (pkNew == nullptr)
        return false;
    static_cast<NiPosKey*>(NiAnimKey::At(pkNew, uiPlace, uiStride))->m_kPos =
        NiPosKey::GenerateValue(t, pkKeys, uiType, uiCount, uiStride);

    if (uiType == NI_BEZKEY && uiPlace > 0 && uiPlace < uiCount)
    {
        auto* pkPrev = static_cast<NiBezPosKey*>(NiAnimKey::At(pkNew, uiPlace - 1, uiStride));
        auto* pkKey = static_cast<NiBezPosKey*>(NiAnimKey::At(pkNew, uiPlace, uiStride));
        auto* pkNext = static_cast<NiBezPosKey*>(NiAnimKey::At(pkNew, uiPlace + 1, uiStride));
        if (pkNext->m_fTime > pkPrev->m_fTime)
        {
            float fT0 = pkPrev->m_fTime, fT1 = pkNext->m_fTime;
            NiHermiteTangentsForInterval(pkPrev->m_kPos.x, fT0, pkPrev->m_kOutTan.x, pkNext->m_kPos.x, fT1,
                                         pkNext->m_kInTan.x, t, pkKey->m_kInTan.x, pkKey->m_kOutTan.x);
            NiHermiteTangentsForInterval(pkPrev->m_kPos.y, fT0, pkPrev->m_kOutTan.y, pkNext->m_kPos.y, fT1,
                                         pkNext->m_kInTan.y, t, pkKey->m_kInTan.y, pkKey->m_kOutTan.y);
            NiHermiteTangentsForInterval(pkPrev->m_kPos.z, fT0, pkPrev->m_kOutTan.z, pkNext->m_kPos.z, fT1,
                                         pkNext->m_kInTan.z, t, pkKey->m_kInTan.z, pkKey->m_kOutTan.z);
        }
    }

    FinishInsert(pkKeys, uiCount, pkNew);
    if (uiType == NI_BEZKEY)
        FillBez(pkKeys, uiCount, uiStride);
    else if (uiType == NI_TCBKEY)
        FillTCB(pkKeys, uiCount, uiStride);
    return true;
}
bool InsertLin(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_LINKEY, sizeof(NiPosKey)); }
bool InsertStep(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_STEPKEY, sizeof(NiPosKey)); }
bool InsertBez(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_BEZKEY, sizeof(NiBezPosKey)); }
bool InsertTCB(float t, NiAnimKey*& k, std::uint32_t& n) { return InsertKey(t, k, n, NI_TCBKEY, sizeof(NiTCBPosKey)); }
} // namespace

bool NiAnimKeyLocal::RegisterPos(std::uint32_t uiType)
{
    NiAnimKeyTables::Entry e;
    e.m_pfnDelete = DeleteArray;
    e.m_pfnFillDerived = FillNothing;
    e.m_pfnSecondDerivative = Zero;
    e.m_pfnDerivative = Zero;
    e.m_pfnMaxCurvature = CurvatureNone;
    switch (uiType)
    {
    case NI_NOINTERP:
        SetFloatRecord<sizeof(NiPosKey), 4>(e);
        SetNoRecord(e);
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = Zero;
        break;
    case NI_LINKEY:
    case NI_STEPKEY:
        SetFloatRecord<sizeof(NiPosKey), 4>(e);
        e.m_pfnInsert = uiType == NI_LINKEY ? InsertLin : InsertStep;
        e.m_pfnEqual = EqualPlain;
        e.m_pfnInterpolate = uiType == NI_LINKEY ? InterpLin : InterpStep;
        e.m_pfnDerivative = uiType == NI_LINKEY ? D1Lin : D1Step;
        break;
    case NI_BEZKEY:
        SetFloatRecord<sizeof(NiBezPosKey), 10>(e);
        e.m_pfnFillDerived = FillBez;
        e.m_pfnInsert = InsertBez;
        e.m_pfnEqual = EqualBez;
        e.m_pfnInterpolate = InterpBez;
        e.m_pfnDerivative = D1Bez;
        e.m_pfnSecondDerivative = D2Bez;
        e.m_pfnMaxCurvature = CurvatureBez;
        break;
    case NI_TCBKEY:
        SetFloatRecord<sizeof(NiTCBPosKey), 7>(e);
        e.m_pfnFillDerived = FillTCB;
        e.m_pfnInsert = InsertTCB;
        e.m_pfnEqual = EqualTCB;
        e.m_pfnInterpolate = InterpTCB;
        e.m_pfnDerivative = D1TCB;
        e.m_pfnSecondDerivative = D2TCB;
        e.m_pfnMaxCurvature = CurvatureTCB;
        break;
    default:
        return false;
    }
    return RegisterEntry(NI_POSKEY, uiType, e);
}

NiVec3 NiPosKey::EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                            std::uint32_t& uiLastIdx, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return NiVec3::ZERO;
    if (uiCount == 1)
        return P(pkKeys).m_kPos;
    NiVec3 kResult;
    if (!InterpolatePair(t, pkKeys, NI_POSKEY, uiType, uiCount, uiLastIdx, uiStride, &kResult))
        return NiVec3::ZERO;
    return kResult;
}

NiVec3 NiPosKey::GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                               std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return NiVec3::ZERO;
    if (const NiAnimKey* pkEnd = EndKeyOutside(t, pkKeys, uiCount, uiStride))
        return P(pkEnd).m_kPos;
    std::uint32_t uiIdx = 0;
    return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
}
