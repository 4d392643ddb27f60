#pragma once

#include "engine/animation/NiAnimKey.h"

#include <cstdint>

class NiByteStream;

// The process-wide dispatch over key kinds (content x 6 + type): one size
// table and one table per operation. Code that holds a key array without
// knowing its layout goes through these. Unregistered kinds have size 0 and
// null entries.
class NiAnimKeyTables
{
public:
    using FillDerivedFunction = void (*)(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride);
    using InsertFunction = bool (*)(float fTime, NiAnimKey*& pkKeys, std::uint32_t& uiCount);
    using DeleteFunction = void (*)(NiAnimKey* pkKeys);
    using CreateFunction = NiAnimKey* (*)(std::uint32_t uiCount);
    using CopyFunction = void (*)(NiAnimKey* pkDest, const NiAnimKey* pkSrc);
    // Writes count records; false when the stream refused bytes.
    using WriteFunction = bool (*)(NiByteStream& kStream, const NiAnimKey* pkKeys, std::uint32_t uiCount);
    using EqualFunction = bool (*)(const NiAnimKey& kKey0, const NiAnimKey& kKey1);
    using CurveFunction = void (*)(float fU, const NiAnimKey* pkKey0, const NiAnimKey* pkKey1, void* pvResult);
    using CurvatureFunction = float (*)(const NiAnimKey* pkKeys, std::uint32_t uiCount);
    // Reads count records of a file of the given version; null on short or
    // bad data (nothing is kept then).
    using ReadFunction = NiAnimKey* (*)(NiByteStream& kStream, std::uint32_t uiVersion, std::uint32_t uiCount);

    static constexpr std::uint32_t KIND_COUNT = std::uint32_t(NI_NUMKEYCONTENTS) * std::uint32_t(NI_NUMKEYTYPES);

    // The kind index, or -1 for a content or type out of range.
    [[nodiscard]] static int KindIndex(std::uint32_t uiContent, std::uint32_t uiType);

    [[nodiscard]] static std::uint8_t GetKeySize(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static FillDerivedFunction GetFillDerivedFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static InsertFunction GetInsertFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static DeleteFunction GetDeleteFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CreateFunction GetCreateFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CopyFunction GetCopyFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static WriteFunction GetWriteFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static EqualFunction GetEqualFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CurveFunction GetSecondDerivativeFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CurveFunction GetDerivativeFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CurveFunction GetInterpolateFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static CurvatureFunction GetMaxCurvatureFunction(std::uint32_t uiContent, std::uint32_t uiType);
    [[nodiscard]] static ReadFunction GetReadFunction(std::uint32_t uiContent, std::uint32_t uiType);

    // Bytes one key of the kind takes in a file (derived fields are not
    // stored); 0 for kinds without a file form. For Euler keys it is the
    // smallest record (three empty channels) and says nothing about size.
    [[nodiscard]] static std::uint32_t GetStreamKeySize(std::uint32_t uiContent, std::uint32_t uiType);

    // Reads a key array of a file whose u32 type word has just been read:
    // refuses types out of range, kinds that are not registered or have no
    // file form, and counts the remaining bytes cannot hold. Null on failure.
    [[nodiscard]] static NiAnimKey* ReadArray(NiByteStream& kStream, std::uint32_t uiVersion, std::uint32_t uiContent,
                                              std::uint32_t uiType, std::uint32_t uiCount);

    // New array of the keys with t0 <= time <= t1, times made relative to
    // t0. Null and count 0 when none.
    static void CopySubRange(std::uint32_t uiContent, std::uint32_t uiType, const NiAnimKey* pkKeys,
                             std::uint32_t uiCount, float fT0, float fT1, NiAnimKey*& pkNewKeys,
                             std::uint32_t& uiNewCount);
    // Makes sure keys exist at t0 and t1.
    static void GuaranteeKeyRange(std::uint32_t uiContent, std::uint32_t uiType, NiAnimKey*& pkKeys,
                                  std::uint32_t& uiCount, float fT0, float fT1);

    // One registration per kind; a second call answers false and changes
    // nothing.
    static bool RegisterFloatNone();
    static bool RegisterFloatBez();
    static bool RegisterPosNone();
    static bool RegisterPosBez();
    static bool RegisterRotNone();
    static bool RegisterRotBez();
    static bool RegisterBoolNone();
    static bool RegisterColorNone();
    static bool RegisterEulerRot();
    static bool RegisterColorLin();
    static bool RegisterFloatLin();
    static bool RegisterPosLin();
    static bool RegisterRotLin();
    static bool RegisterPosTCB();
    static bool RegisterRotTCB();
    static bool RegisterFloatTCB();
    static bool RegisterBoolStep();
    static bool RegisterColorStep();
    static bool RegisterFloatStep();
    static bool RegisterPosStep();
    static bool RegisterRotStep();

    // All 21 in start-up order; done once per process, before the tables are
    // first used.
    static void RegisterAll();

    // One kind's entries: used by the per-content registrations.
    struct Entry
    {
        std::uint8_t m_ucSize = 0;
        std::uint8_t m_ucStreamSize = 0;
        FillDerivedFunction m_pfnFillDerived = nullptr;
        InsertFunction m_pfnInsert = nullptr;
        DeleteFunction m_pfnDelete = nullptr;
        CreateFunction m_pfnCreate = nullptr;
        CopyFunction m_pfnCopy = nullptr;
        WriteFunction m_pfnWrite = nullptr;
        EqualFunction m_pfnEqual = nullptr;
        CurveFunction m_pfnSecondDerivative = nullptr;
        CurveFunction m_pfnDerivative = nullptr;
        CurveFunction m_pfnInterpolate = nullptr;
        CurvatureFunction m_pfnMaxCurvature = nullptr;
        ReadFunction m_pfnRead = nullptr;
    };

    // Fills one kind's entry; false when the kind is out of range or taken.
    static bool Register(std::uint32_t uiContent, std::uint32_t uiType, const Entry& kEntry);

private:
    static const Entry* Find(std::uint32_t uiContent, std::uint32_t uiType);
};
