#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

#include <cstddef>
#include <cstdint>

class NiByteStream;

// What a key holds.
enum NiAnimKeyContent : std::uint32_t
{
    NI_FLOATKEY = 0,
    NI_POSKEY = 1,
    NI_ROTKEY = 2,
    NI_COLORKEY = 3,
    NI_TEXTKEY = 4, // no kind of this content exists
    NI_BOOLKEY = 5,
    NI_NUMKEYCONTENTS = 6,
};

// How keys of an array are interpolated.
enum NiAnimKeyType : std::uint32_t
{
    NI_NOINTERP = 0,
    NI_LINKEY = 1,
    NI_BEZKEY = 2,
    NI_TCBKEY = 3,
    NI_EULERKEY = 4, // rotations only
    NI_STEPKEY = 5,
    NI_NUMKEYTYPES = 6,
};

// Every key record starts with its time. Records are plain data: arrays are
// one block of packed records handled through the key tables, never through
// constructors.
struct NiAnimKey
{
    float m_fTime;

    // (1 - u) a + u b.
    [[nodiscard]] static float Lerp(float u, float a, float b) { return (1.0f - u) * a + u * b; }

    // The record at index i of an array whose records are uiStride bytes apart.
    [[nodiscard]] static NiAnimKey* At(NiAnimKey* pkKeys, std::uint32_t i, std::uint8_t uiStride)
    {
        return reinterpret_cast<NiAnimKey*>(reinterpret_cast<std::uint8_t*>(pkKeys) + std::size_t(i) * uiStride);
    }
    [[nodiscard]] static const NiAnimKey* At(const NiAnimKey* pkKeys, std::uint32_t i, std::uint8_t uiStride)
    {
        return reinterpret_cast<const NiAnimKey*>(reinterpret_cast<const std::uint8_t*>(pkKeys) +
                                                  std::size_t(i) * uiStride);
    }

    // Arrays: a count word in front of the records, zero-filled on creation,
    // referred to by their first record. Null when the block cannot be made.
    [[nodiscard]] static NiAnimKey* AllocateArray(std::uint32_t uiCount, std::uint8_t uiStride);
    static void FreeArray(NiAnimKey* pkKeys);
    [[nodiscard]] static std::uint32_t GetArrayCount(const NiAnimKey* pkKeys);
};

struct NiFloatKey : NiAnimKey
{
    float m_fValue;

    // Value at t (t is clamped to the last key; hint kept by the caller).
    [[nodiscard]] static float EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                          std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride);
    // Value at any t: the end keys' values outside the keyed range.
    [[nodiscard]] static float GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                             std::uint32_t uiCount, std::uint8_t uiStride);
};

struct NiBezFloatKey : NiFloatKey
{
    float m_fInTan;
    float m_fOutTan;
};

struct NiTCBFloatKey : NiFloatKey
{
    float m_fTension;
    float m_fContinuity;
    float m_fBias;
    float m_fDS; // derived in tangent
    float m_fDD; // derived out tangent
};

struct NiPosKey : NiAnimKey
{
    NiVec3 m_kPos;

    [[nodiscard]] static NiVec3 EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                           std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride);
    [[nodiscard]] static NiVec3 GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                              std::uint32_t uiCount, std::uint8_t uiStride);
};

struct NiBezPosKey : NiPosKey
{
    NiVec3 m_kInTan;
    NiVec3 m_kOutTan;
    NiVec3 m_kA; // derived cubic coefficients of the interval that starts here
    NiVec3 m_kB;
};

struct NiTCBPosKey : NiPosKey
{
    float m_fTension;
    float m_fContinuity;
    float m_fBias;
    NiVec3 m_kDS;
    NiVec3 m_kDD;
    NiVec3 m_kA;
    NiVec3 m_kB;
};

struct NiRotKey : NiAnimKey
{
    NiQuat m_kQuat;

    [[nodiscard]] static NiQuat EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                           std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride);
    [[nodiscard]] static NiQuat GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                              std::uint32_t uiCount, std::uint8_t uiStride);
};

struct NiBezRotKey : NiRotKey
{
    NiQuat m_kIntQuat; // derived
};

struct NiTCBRotKey : NiRotKey
{
    float m_fTension;
    float m_fContinuity;
    float m_fBias;
    NiQuat m_kA; // derived outgoing control
    NiQuat m_kB; // derived incoming control
};

// One key holding three float channels, one per axis. The channel arrays
// are owned by the key and freed with it.
struct NiEulerRotKey : NiRotKey
{
    std::uint32_t m_uiNumKeys[3];
    std::uint32_t m_eType[3];
    std::uint8_t m_ucSizes[3];
    NiAnimKey* m_apkKeys[3];
    std::uint32_t m_uiLastIdx[3];

    // Frees the three channels and leaves them empty.
    void ClearChannels();
};

struct NiColorKey : NiAnimKey
{
    NiColorRGBA m_kColor;

    [[nodiscard]] static NiColorRGBA EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                                std::uint32_t uiCount, std::uint32_t& uiLastIdx,
                                                std::uint8_t uiStride);
    [[nodiscard]] static NiColorRGBA GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                                   std::uint32_t uiCount, std::uint8_t uiStride);
};

struct NiBoolKey : NiAnimKey
{
    std::uint8_t m_bValue;
    std::uint8_t m_aucPad[3];

    [[nodiscard]] static bool EvaluateAt(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                         std::uint32_t uiCount, std::uint32_t& uiLastIdx, std::uint8_t uiStride);
    [[nodiscard]] static bool GenerateValue(float t, const NiAnimKey* pkKeys, std::uint32_t uiType,
                                            std::uint32_t uiCount, std::uint8_t uiStride);
};

// These records are the layouts key arrays are packed with; their sizes are
// part of what the key tables report.
static_assert(sizeof(NiFloatKey) == 8);
static_assert(sizeof(NiBezFloatKey) == 16);
static_assert(sizeof(NiTCBFloatKey) == 28);
static_assert(sizeof(NiPosKey) == 16);
static_assert(sizeof(NiBezPosKey) == 64);
static_assert(sizeof(NiTCBPosKey) == 76);
static_assert(sizeof(NiRotKey) == 20);
static_assert(sizeof(NiBezRotKey) == 36);
static_assert(sizeof(NiTCBRotKey) == 64);
static_assert(sizeof(NiColorKey) == 20);
static_assert(sizeof(NiBoolKey) == 8);
static_assert(sizeof(NiEulerRotKey) < 256);
