#pragma once
// Helpers shared by the key kinds' implementations; nothing outside this
// library includes this header.

#include "engine/animation/NiAnimKey.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiHermite.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

class NiByteStream;

namespace NiAnimKeyLocal
{
// Finds the interval around t for an array of at least two keys and returns
// the parameter inside it; i receives the interval's first key. t is taken
// no later than the last key (the scan stops there), a stale hint is pulled
// back into range, and an interval of zero length gives 1 (the later key).
float Search(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
             std::uint32_t& uiLastIdx, std::uint32_t& i);

// The same search over any view of the times (fnTime(k) is key k's time):
// the key arrays read them from the records, prepared channels from their
// own copy.
template <class TimeAt>
float SearchTimes(float t, std::uint32_t uiCount, const TimeAt& fnTime, std::uint32_t& uiLastIdx, std::uint32_t& i)
{
    const std::uint32_t uiLast = uiCount - 1;
    // At or after the last key: the last key's value, even when keys
    // before it share its time.
    if (t >= fnTime(uiLast))
    {
        i = uiLast - 1;
        uiLastIdx = i;
        return 1.0f;
    }

    i = std::min(uiLastIdx, uiLast - 1);
    if (t < fnTime(i))
        i = 0;
    std::uint32_t j = i + 1;
    while (j < uiLast && t > fnTime(j))
    {
        i = j;
        ++j;
    }
    // Keys sharing t: the latest of them gives the value, wherever the scan
    // started. It opens the interval after the group (t is before the last
    // key, so that interval has a length) and is met at its start. A single
    // key at t keeps the interval that ends there.
    if (t == fnTime(j) && j < uiLast && (fnTime(i) == t || fnTime(j + 1) == t))
    {
        while (j < uiLast && !(t < fnTime(j)))
        {
            i = j;
            ++j;
        }
    }
    uiLastIdx = i;

    float fT0 = fnTime(i);
    float fSpan = fnTime(j) - fT0;
    if (!(fSpan > 0.0f))
        return 1.0f;
    return (t - fT0) / fSpan;
}

// The value between two keys at parameter u, one implementation per kind:
// the key tables' interpolate functions and the transform interpolator's
// inline path both use these, so both give the same bits.
inline NiVec3 PosLin(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return static_cast<const NiPosKey*>(k0)->m_kPos * (1.0f - u) + static_cast<const NiPosKey*>(k1)->m_kPos * u;
}
inline NiVec3 PosStep(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return u < 1.0f ? static_cast<const NiPosKey*>(k0)->m_kPos : static_cast<const NiPosKey*>(k1)->m_kPos;
}
// P0 + out0 u + a u^2 + b u^3, all from the first key.
inline NiVec3 PosCubic(const NiVec3& kP0, const NiVec3& kOut, const NiVec3& kA, const NiVec3& kB, float u)
{
    return ((kB * u + kA) * u + kOut) * u + kP0;
}
inline NiVec3 PosBez(float u, const NiAnimKey* k0)
{
    const auto& b = *static_cast<const NiBezPosKey*>(k0);
    return PosCubic(b.m_kPos, b.m_kOutTan, b.m_kA, b.m_kB, u);
}
inline NiVec3 PosTCB(float u, const NiAnimKey* k0)
{
    const auto& b = *static_cast<const NiTCBPosKey*>(k0);
    return PosCubic(b.m_kPos, b.m_kDD, b.m_kA, b.m_kB, u);
}

inline NiQuat RotLin(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return NiQuat::Slerp(u, static_cast<const NiRotKey*>(k0)->m_kQuat, static_cast<const NiRotKey*>(k1)->m_kQuat);
}
inline NiQuat RotStep(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return u < 1.0f ? static_cast<const NiRotKey*>(k0)->m_kQuat : static_cast<const NiRotKey*>(k1)->m_kQuat;
}
inline NiQuat RotBez(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    const auto& a = *static_cast<const NiBezRotKey*>(k0);
    const auto& b = *static_cast<const NiBezRotKey*>(k1);
    return NiQuat::Squad(u, a.m_kQuat, a.m_kIntQuat, b.m_kIntQuat, b.m_kQuat);
}
inline NiQuat RotTCB(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    const auto& a = *static_cast<const NiTCBRotKey*>(k0);
    const auto& b = *static_cast<const NiTCBRotKey*>(k1);
    return NiQuat::Squad(u, a.m_kQuat, a.m_kA, b.m_kB, b.m_kQuat);
}

inline float FloatLin(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return NiAnimKey::Lerp(u, static_cast<const NiFloatKey*>(k0)->m_fValue, static_cast<const NiFloatKey*>(k1)->m_fValue);
}
inline float FloatStep(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    return u < 1.0f ? static_cast<const NiFloatKey*>(k0)->m_fValue : static_cast<const NiFloatKey*>(k1)->m_fValue;
}
inline float FloatBez(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    const auto& a = *static_cast<const NiBezFloatKey*>(k0);
    const auto& b = *static_cast<const NiBezFloatKey*>(k1);
    return NiHermiteCubic(u, a.m_fValue, a.m_fOutTan, b.m_fValue, b.m_fInTan);
}
inline float FloatTCB(float u, const NiAnimKey* k0, const NiAnimKey* k1)
{
    const auto& a = *static_cast<const NiTCBFloatKey*>(k0);
    const auto& b = *static_cast<const NiTCBFloatKey*>(k1);
    return NiHermiteCubic(u, a.m_fValue, a.m_fDD, b.m_fValue, b.m_fDS);
}

// The same chosen by key type, with the value in registers; other types go
// through the kind's interpolate function pfn.
inline NiVec3 PosPair(std::uint32_t uiType, NiAnimKeyTables::CurveFunction pfn, float u, const NiAnimKey* k0,
                      const NiAnimKey* k1)
{
    switch (uiType)
    {
    case NI_LINKEY: return PosLin(u, k0, k1);
    case NI_STEPKEY: return PosStep(u, k0, k1);
    case NI_BEZKEY: return PosBez(u, k0);
    case NI_TCBKEY: return PosTCB(u, k0);
    default: break;
    }
    NiVec3 kValue;
    pfn(u, k0, k1, &kValue);
    return kValue;
}
inline NiQuat RotPair(std::uint32_t uiType, NiAnimKeyTables::CurveFunction pfn, float u, const NiAnimKey* k0,
                      const NiAnimKey* k1)
{
    switch (uiType)
    {
    case NI_LINKEY: return RotLin(u, k0, k1);
    case NI_STEPKEY: return RotStep(u, k0, k1);
    case NI_BEZKEY: return RotBez(u, k0, k1);
    case NI_TCBKEY: return RotTCB(u, k0, k1);
    default: break;
    }
    NiQuat kValue;
    pfn(u, k0, k1, &kValue);
    return kValue;
}
inline float FloatPair(std::uint32_t uiType, NiAnimKeyTables::CurveFunction pfn, float u, const NiAnimKey* k0,
                       const NiAnimKey* k1)
{
    switch (uiType)
    {
    case NI_LINKEY: return FloatLin(u, k0, k1);
    case NI_STEPKEY: return FloatStep(u, k0, k1);
    case NI_BEZKEY: return FloatBez(u, k0, k1);
    case NI_TCBKEY: return FloatTCB(u, k0, k1);
    default: break;
    }
    float fValue;
    pfn(u, k0, k1, &fValue);
    return fValue;
}

// Index of the first key whose time is not below t; false when a key with
// exactly that time exists (nothing is to be inserted then).
bool FindInsertPlace(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                     std::uint32_t& uiPlace);

// A copy of the array with one zeroed record at uiPlace carrying time t. The
// old array is left alone; null when the block cannot be made.
NiAnimKey* GrowAt(const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride, std::uint32_t uiPlace,
                  float t);

// The value of a pair of keys around t through the kind's interpolate
// function (pvResult receives it); false when the kind has none. For arrays
// of at least two keys.
bool InterpolatePair(float t, const NiAnimKey* pkKeys, std::uint32_t uiContent, std::uint32_t uiType,
                     std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride, void* pvResult);

// The end key whose value stands for t outside the keyed range (the first
// before it, the last after it); null inside it.
const NiAnimKey* EndKeyOutside(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride);

// Insertion in two steps: the grown copy with a record carrying time t (null
// when a key at t exists or no memory), then, once its value is filled in,
// the copy replaces the array.
NiAnimKey* BeginInsert(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                       std::uint32_t& uiPlace);
void FinishInsert(NiAnimKey*& pkKeys, std::uint32_t& uiCount, NiAnimKey* pkNew);

// Table entries of kinds that need nothing of their own.
void FillNothing(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride);
void DeleteArray(NiAnimKey* pkKeys);
NiAnimKey* CreateNone(std::uint32_t uiCount);
NiAnimKey* ReadNone(NiByteStream& kStream, std::uint32_t uiVersion, std::uint32_t uiCount);
bool WriteNone(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount);

// Raw record helpers: the file form of most kinds is the record's first
// uiFloats floats, in order.
bool WriteFloatPrefix(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                      std::uint32_t uiFloats);
NiAnimKey* ReadFloatPrefix(NiByteStream& kStream, std::uint32_t uiCount, std::uint8_t uiStride,
                           std::uint32_t uiFloats);
bool EqualFloats(const NiAnimKey& kKey0, const NiAnimKey& kKey1, std::uint32_t uiFirst, std::uint32_t uiFloats);

// The array entries of a kind whose records are STRIDE bytes and whose file
// form is their first FLOATS floats: size, file size, create, copy, write
// and read. One instance per record layout.
template <std::uint8_t STRIDE, std::uint32_t FLOATS>
void SetFloatRecord(NiAnimKeyTables::Entry& e)
{
    static_assert(FLOATS * 4 <= STRIDE);
    e.m_ucSize = STRIDE;
    e.m_ucStreamSize = static_cast<std::uint8_t>(FLOATS * 4);
    e.m_pfnCreate = [](std::uint32_t n) { return NiAnimKey::AllocateArray(n, STRIDE); };
    e.m_pfnCopy = [](NiAnimKey* d, const NiAnimKey* s) { std::memcpy(d, s, STRIDE); };
    e.m_pfnWrite = [](NiByteStream& s, const NiAnimKey* k, std::uint32_t n) {
        return WriteFloatPrefix(s, k, n, STRIDE, FLOATS);
    };
    e.m_pfnRead = [](NiByteStream& s, std::uint32_t, std::uint32_t n) { return ReadFloatPrefix(s, n, STRIDE, FLOATS); };
}

// The entries of a kind without keys on file (type none): records of the
// plain layout that are never created, read or written.
void SetNoRecord(NiAnimKeyTables::Entry& e);

// Reads exactly uiBytes in chunks, so a hostile count fails when the data
// runs out instead of sizing an allocation; false on a short read.
bool ReadBounded(NiByteStream& kStream, std::uint64_t uiBytes, std::vector<std::uint8_t>& kOut);

// Per-content registrations (each kind's table entry).
bool RegisterFloat(std::uint32_t uiType);
bool RegisterPos(std::uint32_t uiType);
bool RegisterRot(std::uint32_t uiType);
bool RegisterColor(std::uint32_t uiType);
bool RegisterBool(std::uint32_t uiType);
bool RegisterEntry(std::uint32_t uiContent, std::uint32_t uiType, const NiAnimKeyTables::Entry& kEntry);

// TCB tangents of one key (zero when both spans are empty).
void TCBTangents(float fP, float fPrev, float fNext, float fDp, float fDn, float fT, float fC, float fB, float& fIn,
                 float& fOut);

// Euler rotation of the three channels at t (qZ qY qX); the channels'
// search hints are updated.
NiQuat EulerEvaluate(float t, const NiEulerRotKey& kKey);
} // namespace NiAnimKeyLocal
