#include "engine/animation/NiAnimKey.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <cstring>
#include <vector>

using namespace NiAnimKeyLocal;

// Colour and bool keys: the two contents without curves.
namespace
{
const NiColorKey& C(const NiAnimKey* p) { return *static_cast<const NiColorKey*>(p); }
const NiBoolKey& B(const NiAnimKey* p) { return *static_cast<const NiBoolKey*>(p); }
constexpr std::uint8_t COLOR_STRIDE = sizeof(NiColorKey);
constexpr std::uint8_t BOOL_STRIDE = sizeof(NiBoolKey);

// --- Colour ----------------------------------------------------------------------------------------------------------

void ColorNone(float, const NiAnimKey*, const NiAnimKey*, void* pv) { *static_cast<NiColorRGBA*>(pv) = NiColorRGBA::BLACK; }
void ColorLin(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<NiColorRGBA*>(pv) = C(k0).m_kColor * (1.0f - u) + C(k1).m_kColor * u;
}
void ColorStep(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<NiColorRGBA*>(pv) = u < 1.0f ? C(k0).m_kColor : C(k1).m_kColor;
}
bool ColorEqual(const NiAnimKey& a, const NiAnimKey& b) { return EqualFloats(a, b, 0, 5); }

bool ColorInsert(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount, std::uint32_t uiType)
{
    std::uint32_t uiPlace;
    NiAnimKey* pkNew = BeginInsert(t, pkKeys, uiCount, COLOR_STRIDE, uiPlace);
    if (pkNew == nullptr)
        return false;
    static_cast<NiColorKey*>(NiAnimKey::At(pkNew, uiPlace, COLOR_STRIDE))->m_kColor =
        NiColorKey::GenerateValue(t, pkKeys, uiType, uiCount, COLOR_STRIDE);
    FinishInsert(pkKeys, uiCount, pkNew);
    return true;
}
bool ColorInsertLin(float t, NiAnimKey*& k, std::uint32_t& n) { return ColorInsert(t, k, n, NI_LINKEY); }
bool ColorInsertStep(float t, NiAnimKey*& k, std::uint32_t& n) { return ColorInsert(t, k, n, NI_STEPKEY); }

// --- Bool ------------------------------------------------------------------------------------------------------------

void BoolNone(float, const NiAnimKey*, const NiAnimKey*, void* pv) { *static_cast<bool*>(pv) = false; }
void BoolStep(float u, const NiAnimKey* k0, const NiAnimKey* k1, void* pv)
{
    *static_cast<bool*>(pv) = (u < 1.0f ? B(k0).m_bValue : B(k1).m_bValue) != 0;
}
NiAnimKey* BoolCreate(std::uint32_t n) { return NiAnimKey::AllocateArray(n, BOOL_STRIDE); }
void BoolCopy(NiAnimKey* d, const NiAnimKey* s) { std::memcpy(d, s, BOOL_STRIDE); }
bool BoolEqual(const NiAnimKey& a, const NiAnimKey& b)
{
    return a.m_fTime == b.m_fTime && B(&a).m_bValue == B(&b).m_bValue;
}

// Five bytes a key: the time and one byte.
bool BoolWrite(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount)
{
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        const NiBoolKey& k = B(NiAnimKey::At(pkKeys, i, BOOL_STRIDE));
        std::uint8_t auc[5];
        NiPutLE32(auc, NiFloatBits(k.m_fTime));
        auc[4] = k.m_bValue ? 1 : 0;
        if (kStream.Write(auc, 5) != 5)
            return false;
    }
    return true;
}
NiAnimKey* BoolRead(NiByteStream& kStream, std::uint32_t, std::uint32_t uiCount)
{
    std::vector<std::uint8_t> kRaw;
    if (!ReadBounded(kStream, std::uint64_t(uiCount) * 5, kRaw))
        return nullptr;
    NiAnimKey* pkKeys = BoolCreate(uiCount);
    if (pkKeys == nullptr)
        return nullptr;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        auto* k = static_cast<NiBoolKey*>(NiAnimKey::At(pkKeys, i, BOOL_STRIDE));
        k->m_fTime = NiBitsFloat(NiGetLE32(&kRaw[5 * std::size_t(i)]));
        k->m_bValue = kRaw[5 * std::size_t(i) + 4] != 0 ? 1 : 0;
    }
    return pkKeys;
}

bool BoolInsert(float t, NiAnimKey*& pkKeys, std::uint32_t& uiCount)
{
    std::uint32_t uiPlace;
    NiAnimKey* pkNew = BeginInsert(t, pkKeys, uiCount, BOOL_STRIDE, uiPlace);
    if (pkNew == nullptr)
        return false;
    bool bValue = NiBoolKey::GenerateValue(t, pkKeys, NI_STEPKEY, uiCount, BOOL_STRIDE);
    static_cast<NiBoolKey*>(NiAnimKey::At(pkNew, uiPlace, BOOL_STRIDE))->m_bValue = bValue ? 1 : 0;
    FinishInsert(pkKeys, uiCount, pkNew);
    return true;
}
} // namespace

bool NiAnimKeyLocal::RegisterColor(std::uint32_t uiType)
{
    NiAnimKeyTables::Entry e;
    SetFloatRecord<COLOR_STRIDE, 5>(e);
    e.m_pfnDelete = DeleteArray;
    e.m_pfnFillDerived = FillNothing;
    e.m_pfnEqual = ColorEqual;
    switch (uiType)
    {
    case NI_NOINTERP:
        SetNoRecord(e);
        e.m_pfnInterpolate = ColorNone;
        break;
    case NI_LINKEY:
    case NI_STEPKEY:
        e.m_pfnInsert = uiType == NI_LINKEY ? ColorInsertLin : ColorInsertStep;
        e.m_pfnInterpolate = uiType == NI_LINKEY ? ColorLin : ColorStep;
        break;
    default:
        return false;
    }
    return RegisterEntry(NI_COLORKEY, uiType, e);
}

bool NiAnimKeyLocal::RegisterBool(std::uint32_t uiType)
{
    NiAnimKeyTables::Entry e;
    e.m_ucSize = BOOL_STRIDE;
    e.m_pfnDelete = DeleteArray;
    e.m_pfnFillDerived = FillNothing;
    e.m_pfnCopy = BoolCopy;
    e.m_pfnEqual = BoolEqual;
    switch (uiType)
    {
    case NI_NOINTERP:
        e.m_pfnCreate = CreateNone;
        e.m_pfnWrite = WriteNone;
        e.m_pfnRead = ReadNone;
        e.m_pfnInterpolate = BoolNone;
        break;
    case NI_STEPKEY:
        e.m_ucStreamSize = 5;
        e.m_pfnInsert = BoolInsert;
        e.m_pfnCreate = BoolCreate;
        e.m_pfnWrite = BoolWrite;
        e.m_pfnRead = BoolRead;
        e.m_pfnInterpolate = BoolStep;
        break;
    default:
        return false;
    }
    return RegisterEntry(NI_BOOLKEY, uiType, e);
}

NiColorRGBA NiColorKey::EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                                   std::uint32_t& uiLastIdx, std::uint8_t uiStride)
{
    NiColorRGBA kResult(0.0f, 0.0f, 0.0f, 0.0f);
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return kResult;
    if (uiCount == 1)
        return C(pkKeys).m_kColor;
    if (!InterpolatePair(t, pkKeys, NI_COLORKEY, uiType, uiCount, uiLastIdx, uiStride, &kResult))
        return NiColorRGBA(0.0f, 0.0f, 0.0f, 0.0f);
    return kResult;
}

NiColorRGBA NiColorKey::GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                                      std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return NiColorRGBA(0.0f, 0.0f, 0.0f, 0.0f);
    if (const NiAnimKey* pkEnd = EndKeyOutside(t, pkKeys, uiCount, uiStride))
        return C(pkEnd).m_kColor;
    std::uint32_t uiIdx = 0;
    return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
}

bool NiBoolKey::EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                           std::uint32_t& uiLastIdx, std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return false;
    if (uiCount == 1)
        return B(pkKeys).m_bValue != 0;
    bool bResult = false;
    if (!InterpolatePair(t, pkKeys, NI_BOOLKEY, uiType, uiCount, uiLastIdx, uiStride, &bResult))
        return false;
    return bResult;
}

bool NiBoolKey::GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType, std::uint32_t uiCount,
                              std::uint8_t uiStride)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return false;
    if (const NiAnimKey* pkEnd = EndKeyOutside(t, pkKeys, uiCount, uiStride))
        return B(pkEnd).m_bValue != 0;
    std::uint32_t uiIdx = 0;
    return EvaluateAt(t, pkKeys, uiType, uiCount, uiIdx, uiStride);
}
