#include "engine/animation/NiAnimKeyTables.h"

#include "engine/animation/NiAnimKeyHeap.h"
#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
// The count word sits in a block of its own alignment so records that hold
// pointers (Euler keys) stay aligned.
constexpr std::size_t ARRAY_HEADER = alignof(std::max_align_t);
// What the count word's block holds: the count, and the heap class the
// array goes back to.
struct ArrayHeader
{
    std::uint32_t m_uiCount;
    std::uint32_t m_uiClass;
};
static_assert(sizeof(ArrayHeader) <= ARRAY_HEADER && ARRAY_HEADER <= NiAnimKeyHeap::ALIGNMENT);

struct KindTable
{
    NiAnimKeyTables::Entry m_akEntries[NiAnimKeyTables::KIND_COUNT];
    bool m_abRegistered[NiAnimKeyTables::KIND_COUNT] = {};
};

KindTable& Table()
{
    static KindTable s_kTable;
    return s_kTable;
}

// Filled once on first use; every lookup goes through here so no caller can
// see an empty table.
const KindTable& FilledTable()
{
    static const bool s_bFilled = (NiAnimKeyTables::RegisterAll(), true);
    (void)s_bFilled;
    return Table();
}
} // namespace

NiAnimKey* NiAnimKey::AllocateArray(std::uint32_t uiCount, std::uint8_t uiStride)
{
    if (uiStride == 0)
        return nullptr;
    std::uint64_t uiBytes = std::uint64_t(uiCount) * uiStride + ARRAY_HEADER;
    if (uiBytes > SIZE_MAX / 2)
        return nullptr;
    std::uint32_t uiClass = 0;
    void* pv = NiAnimKeyHeap::Allocate(static_cast<std::size_t>(uiBytes), uiClass);
    if (pv == nullptr)
        return nullptr;
    const ArrayHeader kHeader{uiCount, uiClass};
    std::memcpy(pv, &kHeader, sizeof(kHeader));
    return reinterpret_cast<NiAnimKey*>(static_cast<std::uint8_t*>(pv) + ARRAY_HEADER);
}

void NiAnimKey::FreeArray(NiAnimKey* pkKeys)
{
    if (pkKeys == nullptr)
        return;
    std::uint8_t* pucBlock = reinterpret_cast<std::uint8_t*>(pkKeys) - ARRAY_HEADER;
    ArrayHeader kHeader;
    std::memcpy(&kHeader, pucBlock, sizeof(kHeader));
    NiAnimKeyHeap::Free(pucBlock, kHeader.m_uiClass);
}

std::uint32_t NiAnimKey::GetArrayCount(const NiAnimKey* pkKeys)
{
    if (pkKeys == nullptr)
        return 0;
    std::uint32_t uiCount = 0;
    std::memcpy(&uiCount, reinterpret_cast<const std::uint8_t*>(pkKeys) - ARRAY_HEADER, sizeof(uiCount));
    return uiCount;
}

int NiAnimKeyTables::KindIndex(std::uint32_t uiContent, std::uint32_t uiType)
{
    if (uiContent >= NI_NUMKEYCONTENTS || uiType >= NI_NUMKEYTYPES)
        return -1;
    return static_cast<int>(uiContent * NI_NUMKEYTYPES + uiType);
}

const NiAnimKeyTables::Entry* NiAnimKeyTables::Find(std::uint32_t uiContent, std::uint32_t uiType)
{
    int iKind = KindIndex(uiContent, uiType);
    if (iKind < 0)
        return nullptr;
    const KindTable& kTable = FilledTable();
    return kTable.m_abRegistered[iKind] ? &kTable.m_akEntries[iKind] : nullptr;
}

bool NiAnimKeyTables::Register(std::uint32_t uiContent, std::uint32_t uiType, const Entry& kEntry)
{
    int iKind = KindIndex(uiContent, uiType);
    if (iKind < 0)
        return false;
    KindTable& kTable = Table();
    if (kTable.m_abRegistered[iKind])
        return false;
    kTable.m_abRegistered[iKind] = true;
    kTable.m_akEntries[iKind] = kEntry;
    return true;
}

bool NiAnimKeyLocal::RegisterEntry(std::uint32_t uiContent, std::uint32_t uiType, const NiAnimKeyTables::Entry& kEntry)
{
    return NiAnimKeyTables::Register(uiContent, uiType, kEntry);
}

std::uint8_t NiAnimKeyTables::GetKeySize(std::uint32_t uiContent, std::uint32_t uiType)
{
    const Entry* pkEntry = Find(uiContent, uiType);
    return pkEntry ? pkEntry->m_ucSize : 0;
}

std::uint32_t NiAnimKeyTables::GetStreamKeySize(std::uint32_t uiContent, std::uint32_t uiType)
{
    const Entry* pkEntry = Find(uiContent, uiType);
    return pkEntry ? pkEntry->m_ucStreamSize : 0;
}

NiAnimKeyTables::FillDerivedFunction NiAnimKeyTables::GetFillDerivedFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnFillDerived : nullptr;
}
NiAnimKeyTables::InsertFunction NiAnimKeyTables::GetInsertFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnInsert : nullptr;
}
NiAnimKeyTables::DeleteFunction NiAnimKeyTables::GetDeleteFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnDelete : nullptr;
}
NiAnimKeyTables::CreateFunction NiAnimKeyTables::GetCreateFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnCreate : nullptr;
}
NiAnimKeyTables::CopyFunction NiAnimKeyTables::GetCopyFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnCopy : nullptr;
}
NiAnimKeyTables::WriteFunction NiAnimKeyTables::GetWriteFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnWrite : nullptr;
}
NiAnimKeyTables::EqualFunction NiAnimKeyTables::GetEqualFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnEqual : nullptr;
}
NiAnimKeyTables::CurveFunction NiAnimKeyTables::GetSecondDerivativeFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnSecondDerivative : nullptr;
}
NiAnimKeyTables::CurveFunction NiAnimKeyTables::GetDerivativeFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnDerivative : nullptr;
}
NiAnimKeyTables::CurveFunction NiAnimKeyTables::GetInterpolateFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnInterpolate : nullptr;
}
NiAnimKeyTables::CurvatureFunction NiAnimKeyTables::GetMaxCurvatureFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnMaxCurvature : nullptr;
}
NiAnimKeyTables::ReadFunction NiAnimKeyTables::GetReadFunction(std::uint32_t c, std::uint32_t t)
{
    const Entry* e = Find(c, t);
    return e ? e->m_pfnRead : nullptr;
}

NiAnimKey* NiAnimKeyTables::ReadArray(NiByteStream& kStream, std::uint32_t uiVersion, std::uint32_t uiContent,
                                      std::uint32_t uiType, std::uint32_t uiCount)
{
    // The type word comes from the file: only kinds with a file form are
    // read, anything else is a damaged record.
    const Entry* pkEntry = Find(uiContent, uiType);
    if (pkEntry == nullptr || pkEntry->m_pfnRead == nullptr || pkEntry->m_ucStreamSize == 0 || uiCount == 0)
        return nullptr;
    return pkEntry->m_pfnRead(kStream, uiVersion, uiCount);
}

// --- Registration --------------------------------------------------------------------------------------------------

bool NiAnimKeyTables::RegisterFloatNone() { return NiAnimKeyLocal::RegisterFloat(NI_NOINTERP); }
bool NiAnimKeyTables::RegisterFloatBez() { return NiAnimKeyLocal::RegisterFloat(NI_BEZKEY); }
bool NiAnimKeyTables::RegisterPosNone() { return NiAnimKeyLocal::RegisterPos(NI_NOINTERP); }
bool NiAnimKeyTables::RegisterPosBez() { return NiAnimKeyLocal::RegisterPos(NI_BEZKEY); }
bool NiAnimKeyTables::RegisterRotNone() { return NiAnimKeyLocal::RegisterRot(NI_NOINTERP); }
bool NiAnimKeyTables::RegisterRotBez() { return NiAnimKeyLocal::RegisterRot(NI_BEZKEY); }
bool NiAnimKeyTables::RegisterBoolNone() { return NiAnimKeyLocal::RegisterBool(NI_NOINTERP); }
bool NiAnimKeyTables::RegisterColorNone() { return NiAnimKeyLocal::RegisterColor(NI_NOINTERP); }
bool NiAnimKeyTables::RegisterEulerRot() { return NiAnimKeyLocal::RegisterRot(NI_EULERKEY); }
bool NiAnimKeyTables::RegisterColorLin() { return NiAnimKeyLocal::RegisterColor(NI_LINKEY); }
bool NiAnimKeyTables::RegisterFloatLin() { return NiAnimKeyLocal::RegisterFloat(NI_LINKEY); }
bool NiAnimKeyTables::RegisterPosLin() { return NiAnimKeyLocal::RegisterPos(NI_LINKEY); }
bool NiAnimKeyTables::RegisterRotLin() { return NiAnimKeyLocal::RegisterRot(NI_LINKEY); }
bool NiAnimKeyTables::RegisterPosTCB() { return NiAnimKeyLocal::RegisterPos(NI_TCBKEY); }
bool NiAnimKeyTables::RegisterRotTCB() { return NiAnimKeyLocal::RegisterRot(NI_TCBKEY); }
bool NiAnimKeyTables::RegisterFloatTCB() { return NiAnimKeyLocal::RegisterFloat(NI_TCBKEY); }
bool NiAnimKeyTables::RegisterBoolStep() { return NiAnimKeyLocal::RegisterBool(NI_STEPKEY); }
bool NiAnimKeyTables::RegisterColorStep() { return NiAnimKeyLocal::RegisterColor(NI_STEPKEY); }
bool NiAnimKeyTables::RegisterFloatStep() { return NiAnimKeyLocal::RegisterFloat(NI_STEPKEY); }
bool NiAnimKeyTables::RegisterPosStep() { return NiAnimKeyLocal::RegisterPos(NI_STEPKEY); }
bool NiAnimKeyTables::RegisterRotStep() { return NiAnimKeyLocal::RegisterRot(NI_STEPKEY); }

void NiAnimKeyTables::RegisterAll()
{
    RegisterFloatNone();
    RegisterFloatBez();
    RegisterPosNone();
    RegisterPosBez();
    RegisterRotNone();
    RegisterRotBez();
    RegisterBoolNone();
    RegisterColorNone();
    RegisterEulerRot();
    RegisterColorLin();
    RegisterFloatLin();
    RegisterPosLin();
    RegisterRotLin();
    RegisterPosTCB();
    RegisterRotTCB();
    RegisterFloatTCB();
    RegisterBoolStep();
    RegisterColorStep();
    RegisterFloatStep();
    RegisterPosStep();
    RegisterRotStep();
}

// --- Sub-ranges and boundary keys ----------------------------------------------------------------------------------

void NiAnimKeyTables::CopySubRange(std::uint32_t uiContent, std::uint32_t uiType, const NiAnimKey* pkKeys,
                                   std::uint32_t uiCount, float fT0, float fT1, NiAnimKey*& pkNewKeys,
                                   std::uint32_t& uiNewCount)
{
    pkNewKeys = nullptr;
    uiNewCount = 0;
    if (pkKeys == nullptr || uiCount == 0)
        return;

    if (uiContent == NI_ROTKEY && uiType == NI_EULERKEY)
    {
        CreateFunction pfnCreate = GetCreateFunction(NI_ROTKEY, NI_EULERKEY);
        NiAnimKey* pkArray = pfnCreate ? pfnCreate(1) : nullptr;
        if (pkArray == nullptr)
            return;
        const auto* pkSrc = static_cast<const NiEulerRotKey*>(pkKeys);
        auto* pkDst = static_cast<NiEulerRotKey*>(pkArray);
        for (int c = 0; c < 3; ++c)
        {
            NiAnimKey* pkChannel = nullptr;
            std::uint32_t uiChannelCount = 0;
            CopySubRange(NI_FLOATKEY, pkSrc->m_eType[c], pkSrc->m_apkKeys[c], pkSrc->m_uiNumKeys[c], fT0, fT1,
                         pkChannel, uiChannelCount);
            pkDst->m_apkKeys[c] = pkChannel;
            pkDst->m_uiNumKeys[c] = uiChannelCount;
            pkDst->m_eType[c] = pkSrc->m_eType[c];
            pkDst->m_ucSizes[c] = uiChannelCount ? GetKeySize(NI_FLOATKEY, pkSrc->m_eType[c]) : 0;
            pkDst->m_uiLastIdx[c] = 0;
        }
        pkNewKeys = pkArray;
        uiNewCount = 1;
        return;
    }

    std::uint8_t uiStride = GetKeySize(uiContent, uiType);
    CreateFunction pfnCreate = GetCreateFunction(uiContent, uiType);
    CopyFunction pfnCopy = GetCopyFunction(uiContent, uiType);
    if (uiStride == 0 || pfnCreate == nullptr || pfnCopy == nullptr)
        return;

    std::uint32_t uiFirst = 0;
    std::uint32_t uiInside = 0;
    bool bStarted = false;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        float fTime = NiAnimKey::At(pkKeys, i, uiStride)->m_fTime;
        if (fTime > fT1)
            break;
        if (fTime >= fT0)
        {
            if (!bStarted)
            {
                uiFirst = i;
                bStarted = true;
            }
            ++uiInside;
        }
    }
    if (uiInside == 0)
        return;

    NiAnimKey* pkArray = pfnCreate(uiInside);
    if (pkArray == nullptr)
        return;
    for (std::uint32_t i = 0; i < uiInside; ++i)
    {
        NiAnimKey* pkDst = NiAnimKey::At(pkArray, i, uiStride);
        pfnCopy(pkDst, NiAnimKey::At(pkKeys, uiFirst + i, uiStride));
        pkDst->m_fTime -= fT0;
    }
    pkNewKeys = pkArray;
    uiNewCount = uiInside;
}

void NiAnimKeyTables::GuaranteeKeyRange(std::uint32_t uiContent, std::uint32_t uiType, NiAnimKey*& pkKeys,
                                        std::uint32_t& uiCount, float fT0, float fT1)
{
    if (uiContent == NI_ROTKEY && uiType == NI_EULERKEY)
    {
        if (pkKeys == nullptr || uiCount == 0)
            return;
        auto* pkEuler = static_cast<NiEulerRotKey*>(pkKeys);
        for (int c = 0; c < 3; ++c)
        {
            if (pkEuler->m_uiNumKeys[c] == 0)
                continue;
            GuaranteeKeyRange(NI_FLOATKEY, pkEuler->m_eType[c], pkEuler->m_apkKeys[c], pkEuler->m_uiNumKeys[c], fT0,
                              fT1);
            pkEuler->m_uiLastIdx[c] = 0;
            pkEuler->m_ucSizes[c] = GetKeySize(NI_FLOATKEY, pkEuler->m_eType[c]);
        }
        return;
    }

    std::uint8_t uiStride = GetKeySize(uiContent, uiType);
    if (uiCount == 1 && pkKeys != nullptr && pkKeys->m_fTime == fT0)
        return;
    InsertFunction pfnInsert = GetInsertFunction(uiContent, uiType);
    if (pfnInsert == nullptr || uiStride == 0)
        return;
    (void)pfnInsert(fT0, pkKeys, uiCount);
    (void)pfnInsert(fT1, pkKeys, uiCount);
}

// --- Shared helpers ------------------------------------------------------------------------------------------------

float NiAnimKeyLocal::Search(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                             std::uint32_t& uiLastIdx, std::uint32_t& i)
{
    return SearchTimes(
        t, uiCount, [&](std::uint32_t k) { return NiAnimKey::At(pkKeys, k, uiStride)->m_fTime; }, uiLastIdx, i);
}

bool NiAnimKeyLocal::InterpolatePair(float t, const NiAnimKey* pkKeys, std::uint32_t uiContent, std::uint32_t uiType,
                                     std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride,
                                     void* pvResult)
{
    NiAnimKeyTables::CurveFunction pfnInterp = NiAnimKeyTables::GetInterpolateFunction(uiContent, uiType);
    if (pfnInterp == nullptr)
        return false;
    std::uint32_t i;
    float u = Search(t, pkKeys, uiCount, uiStride, uiLastIdx, i);
    pfnInterp(u, NiAnimKey::At(pkKeys, i, uiStride), NiAnimKey::At(pkKeys, i + 1, uiStride), pvResult);
    return true;
}

const NiAnimKey* NiAnimKeyLocal::EndKeyOutside(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount,
                                               std::uint8_t uiStride)
{
    if (t < pkKeys->m_fTime)
        return pkKeys;
    const NiAnimKey* pkLast = NiAnimKey::At(pkKeys, uiCount - 1, uiStride);
    return t > pkLast->m_fTime ? pkLast : nullptr;
}

bool NiAnimKeyLocal::FindInsertPlace(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                                     std::uint32_t& uiPlace)
{
    uiPlace = 0;
    while (uiPlace < uiCount && NiAnimKey::At(pkKeys, uiPlace, uiStride)->m_fTime < t)
        ++uiPlace;
    return !(uiPlace < uiCount && NiAnimKey::At(pkKeys, uiPlace, uiStride)->m_fTime == t);
}

NiAnimKey* NiAnimKeyLocal::GrowAt(const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                                  std::uint32_t uiPlace, float t)
{
    if (uiCount == UINT32_MAX)
        return nullptr;
    NiAnimKey* pkNew = NiAnimKey::AllocateArray(uiCount + 1, uiStride);
    if (pkNew == nullptr)
        return nullptr;
    if (pkKeys != nullptr)
    {
        std::memcpy(pkNew, pkKeys, std::size_t(uiPlace) * uiStride);
        std::memcpy(NiAnimKey::At(pkNew, uiPlace + 1, uiStride), NiAnimKey::At(pkKeys, uiPlace, uiStride),
                    std::size_t(uiCount - uiPlace) * uiStride);
    }
    NiAnimKey::At(pkNew, uiPlace, uiStride)->m_fTime = t;
    return pkNew;
}

NiAnimKey* NiAnimKeyLocal::BeginInsert(float t, const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride,
                                       std::uint32_t& uiPlace)
{
    if (!FindInsertPlace(t, pkKeys, uiCount, uiStride, uiPlace))
        return nullptr;
    return GrowAt(pkKeys, uiCount, uiStride, uiPlace, t);
}

void NiAnimKeyLocal::FinishInsert(NiAnimKey*& pkKeys, std::uint32_t& uiCount, NiAnimKey* pkNew)
{
    NiAnimKey::FreeArray(pkKeys);
    pkKeys = pkNew;
    ++uiCount;
}

void NiAnimKeyLocal::FillNothing(NiAnimKey*, std::uint32_t, std::uint8_t) {}
void NiAnimKeyLocal::DeleteArray(NiAnimKey* pkKeys) { NiAnimKey::FreeArray(pkKeys); }
NiAnimKey* NiAnimKeyLocal::CreateNone(std::uint32_t) { return nullptr; }
NiAnimKey* NiAnimKeyLocal::ReadNone(NiByteStream&, std::uint32_t, std::uint32_t) { return nullptr; }
bool NiAnimKeyLocal::WriteNone(NiByteStream&, const NiAnimKey*, std::uint32_t) { return true; }

void NiAnimKeyLocal::SetNoRecord(NiAnimKeyTables::Entry& e)
{
    e.m_ucStreamSize = 0;
    e.m_pfnCreate = CreateNone;
    e.m_pfnWrite = WriteNone;
    e.m_pfnRead = ReadNone;
}

bool NiAnimKeyLocal::ReadBounded(NiByteStream& kStream, std::uint64_t uiBytes, std::vector<std::uint8_t>& kOut)
{
    constexpr std::uint64_t CHUNK = 64 * 1024;
    kOut.clear();
    while (kOut.size() < uiBytes)
    {
        std::uint64_t uiStep = std::min(CHUNK, uiBytes - kOut.size());
        std::size_t uiOld = kOut.size();
        kOut.resize(uiOld + static_cast<std::size_t>(uiStep));
        if (kStream.Read(kOut.data() + uiOld, static_cast<std::uint32_t>(uiStep)) != uiStep)
            return false;
    }
    return true;
}

bool NiAnimKeyLocal::WriteFloatPrefix(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount,
                                      std::uint8_t uiStride, std::uint32_t uiFloats)
{
    std::uint8_t aucRecord[64];
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        const auto* pucKey = reinterpret_cast<const std::uint8_t*>(NiAnimKey::At(pkKeys, i, uiStride));
        for (std::uint32_t f = 0; f < uiFloats; ++f)
        {
            std::uint32_t uiBits;
            std::memcpy(&uiBits, pucKey + 4 * f, 4);
            NiPutLE32(aucRecord + 4 * f, uiBits);
        }
        if (kStream.Write(aucRecord, 4 * uiFloats) != 4 * uiFloats)
            return false;
    }
    return true;
}

NiAnimKey* NiAnimKeyLocal::ReadFloatPrefix(NiByteStream& kStream, std::uint32_t uiCount, std::uint8_t uiStride,
                                           std::uint32_t uiFloats)
{
    std::vector<std::uint8_t> kRaw;
    if (!ReadBounded(kStream, std::uint64_t(uiCount) * uiFloats * 4, kRaw))
        return nullptr;
    NiAnimKey* pkKeys = NiAnimKey::AllocateArray(uiCount, uiStride);
    if (pkKeys == nullptr)
        return nullptr;
    const std::uint8_t* pucIn = kRaw.data();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        auto* pucKey = reinterpret_cast<std::uint8_t*>(NiAnimKey::At(pkKeys, i, uiStride));
        for (std::uint32_t f = 0; f < uiFloats; ++f, pucIn += 4)
        {
            std::uint32_t uiBits = NiGetLE32(pucIn);
            std::memcpy(pucKey + 4 * f, &uiBits, 4);
        }
    }
    return pkKeys;
}

bool NiAnimKeyLocal::EqualFloats(const NiAnimKey& kKey0, const NiAnimKey& kKey1, std::uint32_t uiFirst,
                                 std::uint32_t uiFloats)
{
    const auto* pc0 = reinterpret_cast<const std::uint8_t*>(&kKey0);
    const auto* pc1 = reinterpret_cast<const std::uint8_t*>(&kKey1);
    for (std::uint32_t f = uiFirst; f < uiFirst + uiFloats; ++f)
    {
        float a, b;
        std::memcpy(&a, pc0 + 4 * f, 4);
        std::memcpy(&b, pc1 + 4 * f, 4);
        if (a != b)
            return false;
    }
    return true;
}

void NiAnimKeyLocal::TCBTangents(float fP, float fPrev, float fNext, float fDp, float fDn, float fT, float fC,
                                 float fB, float& fIn, float& fOut)
{
    float fSpans = fDp + fDn;
    if (!(fSpans != 0.0f))
    {
        fIn = 0.0f;
        fOut = 0.0f;
        return;
    }
    float fDin = fP - fPrev;
    float fDout = fNext - fP;
    float m = (1.0f - fT) * 0.5f;
    fIn = (m * (1.0f + fC) * (1.0f - fB) * fDout + m * (1.0f - fC) * (1.0f + fB) * fDin) * 2.0f * fDp / fSpans;
    fOut = (m * (1.0f - fC) * (1.0f - fB) * fDout + m * (1.0f + fC) * (1.0f + fB) * fDin) * 2.0f * fDn / fSpans;
}
