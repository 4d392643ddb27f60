#include "engine/shaders/framework/NiD3DShaderDeclaration.h"

#include "engine/core/NiColor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace
{
constexpr std::array<std::uint32_t, NiDX9PackingRegistry::TYPE_COUNT> TYPE_SIZES = {4, 8, 12, 16, 4, 4, 4, 8, 4,
                                                                                     4, 8, 4, 8, 4, 4, 4, 8};
using FunctionTable = std::array<std::array<NiDX9PackingFunction, NiDX9PackingRegistry::KIND_COUNT>,
                                 NiDX9PackingRegistry::ENTRY_COUNT>;
FunctionTable gs_kFunctions{};
bool gs_bCreated = false;

// The single-precision scale factors of the integer groups.
const float SCALE_2_M31 = std::bit_cast<float>(0x30000000u);
const float SCALE_2_M32 = std::bit_cast<float>(0x2F800000u);
const float SCALE_32767 = std::bit_cast<float>(0x38000100u);
const float SCALE_65535 = std::bit_cast<float>(0x37800080u);
const float SCALE_127 = std::bit_cast<float>(0x3C010204u);
const float SCALE_255 = std::bit_cast<float>(0x3B808081u);

// The source element of vertex i, or null when there is none to read.
const std::uint8_t* Source(const NiDX9PackingRecord& k, std::uint32_t i)
{
    if (!k.m_pvSource)
        return nullptr;
    std::uint32_t uiElement = i;
    if (k.m_pusVertexMap)
    {
        uiElement = k.m_pusVertexMap[i];
        if (k.m_uiSourceCount && uiElement >= k.m_uiSourceCount)
            return nullptr;
    }
    return static_cast<const std::uint8_t*>(k.m_pvSource) + std::size_t(uiElement) * k.m_uiSourceStride;
}

std::uint8_t* Dest(const NiDX9PackingRecord& k, std::uint32_t i)
{
    return static_cast<std::uint8_t*>(k.m_pvDest) + std::size_t(i) * k.m_uiDestStride;
}

std::uint32_t Written(const NiDX9PackingRecord& k) { return k.m_uiVertexCount * k.m_uiDestSize; }

std::uint32_t PackNothing(const NiDX9PackingRecord&) { return 0; }

// Float sources: n components copied, the rest of the d destination floats 0.
template <std::uint32_t Base>
std::uint32_t PackFloats(const NiDX9PackingRecord& k)
{
    const std::uint32_t d = k.m_uiDestSize / 4;
    const std::uint32_t n = std::min(k.m_uiKind - Base, d);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint8_t* puc = Dest(k, i);
        std::memset(puc, 0, k.m_uiDestSize);
        if (const std::uint8_t* pucSrc = Source(k, i))
            std::memcpy(puc, pucSrc, std::size_t(n) * 4);
    }
    return Written(k);
}

// Integer sources: n components converted by one multiply (and a subtract
// for the biased groups), the rest 0.
template <class T, std::uint32_t Base, bool Biased>
std::uint32_t PackIntegers(const NiDX9PackingRecord& k, float fScale)
{
    const std::uint32_t d = k.m_uiDestSize / 4;
    const std::uint32_t n = std::min(k.m_uiKind - Base, d);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        float af[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            for (std::uint32_t c = 0; c < n; ++c)
            {
                T t{};
                std::memcpy(&t, pucSrc + c * sizeof(T), sizeof(T));
                af[c] = Biased ? float(t) * fScale - 1.0f : float(t) * fScale;
            }
        }
        std::memcpy(Dest(k, i), af, k.m_uiDestSize);
    }
    return Written(k);
}

std::uint32_t PackInt32Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::int32_t, 4, true>(k, SCALE_2_M31); }
std::uint32_t PackInt32Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::int32_t, 8, false>(k, SCALE_2_M32); }
std::uint32_t PackInt16Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::int16_t, 12, true>(k, SCALE_32767); }
std::uint32_t PackInt16Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::int16_t, 16, false>(k, SCALE_65535); }
std::uint32_t PackUInt8Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::uint8_t, 20, true>(k, SCALE_127); }
std::uint32_t PackUInt8Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::uint8_t, 24, false>(k, SCALE_255); }

void StoreWord(std::uint8_t* puc, std::uint32_t ui) { std::memcpy(puc, &ui, 4); }

// R, G, B (and A) floats; three components give an opaque colour. Kinds
// 29-32 carry kind - 28 components.
std::uint32_t PackFloatColor(const NiDX9PackingRecord& k)
{
    const std::uint32_t n = k.m_uiKind >= 29 ? k.m_uiKind - 28 : k.m_uiKind;
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            std::memcpy(af, pucSrc, std::size_t(std::min(n, 4u)) * 4);
            uiColor = (NiColorChannelRounded(af[3]) << 24) | (NiColorChannelRounded(af[0]) << 16) |
                      (NiColorChannelRounded(af[1]) << 8) | NiColorChannelRounded(af[2]);
        }
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

std::uint32_t PackDwordColor(const NiDX9PackingRecord& k)
{
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
            std::memcpy(&uiColor, pucSrc, 4);
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

// The ARGB word of the four components' high bytes (s3 alpha, s0 red).
std::uint32_t PackInt16Color(const NiDX9PackingRecord& k)
{
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            std::uint16_t aus[4];
            std::memcpy(aus, pucSrc, 8);
            uiColor = (std::uint32_t(aus[3] >> 8) << 24) | (std::uint32_t(aus[0] >> 8) << 16) |
                      (std::uint32_t(aus[1] >> 8) << 8) | std::uint32_t(aus[2] >> 8);
        }
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

template <std::uint32_t Base>
std::uint32_t PackByteColor(const NiDX9PackingRecord& k)
{
    const std::uint32_t n = std::min(4u, k.m_uiKind - Base);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint8_t auc[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            std::memset(auc, 0, 4);
            std::memcpy(auc, pucSrc, n);
        }
        std::memcpy(Dest(k, i), auc, 4);
    }
    return Written(k);
}
} // namespace

void NiDX9PackingRegistry::Create()
{
    if (gs_bCreated)
        return;
    gs_kFunctions = {};
    gs_bCreated = true;
    for (std::uint32_t t = 0; t < ENTRY_COUNT; ++t)
        for (std::uint32_t kind = 0; kind < KIND_COUNT; ++kind)
            NiD3DShaderDeclaration::InitPackingFunctions(t, kind);
}

void NiDX9PackingRegistry::Destroy()
{
    gs_kFunctions = {};
    gs_bCreated = false;
}

bool NiDX9PackingRegistry::IsCreated() { return gs_bCreated; }

std::uint32_t NiDX9PackingRegistry::GetTypeSize(std::uint32_t uiType)
{
    return uiType < TYPE_COUNT ? TYPE_SIZES[uiType] : 0;
}

NiDX9PackingFunction NiDX9PackingRegistry::GetFunction(std::uint32_t uiType, std::uint32_t uiKind)
{
    if (!gs_bCreated || uiType >= ENTRY_COUNT || uiKind >= KIND_COUNT)
        return nullptr;
    return gs_kFunctions[uiType][uiKind];
}

void NiDX9PackingRegistry::SetFunction(std::uint32_t uiType, std::uint32_t uiKind, NiDX9PackingFunction pfn)
{
    if (uiType < ENTRY_COUNT && uiKind < KIND_COUNT)
        gs_kFunctions[uiType][uiKind] = pfn;
}

void NiD3DShaderDeclaration::InitPackingFunctions(std::uint32_t uiType, std::uint32_t uiKind)
{
    NiDX9PackingFunction pfn = nullptr;
    if (uiKind == 0)
    {
        pfn = &PackNothing;
    }
    else if (uiType <= 3) // FLOAT1 to FLOAT4
    {
        if (uiKind <= 4)
            pfn = &PackFloats<0>;
        else if (uiKind <= 8)
            pfn = &PackInt32Biased;
        else if (uiKind <= 12)
            pfn = &PackInt32Scaled;
        else if (uiKind <= 16)
            pfn = &PackInt16Biased;
        else if (uiKind <= 20)
            pfn = &PackInt16Scaled;
        else if (uiKind <= 24)
            pfn = &PackUInt8Biased;
        else if (uiKind <= 28)
            pfn = &PackUInt8Scaled;
        else
            pfn = &PackFloats<28>;
    }
    else if (uiType == NiDX9PackingRegistry::TYPE_D3DCOLOR)
    {
        if (uiKind == 3 || uiKind == 4 || uiKind >= 29)
            pfn = &PackFloatColor;
        else if (uiKind == 5 || uiKind == 9)
            pfn = &PackDwordColor;
        else if (uiKind == 16 || uiKind == 20)
            pfn = &PackInt16Color;
        else if (uiKind >= 21 && uiKind <= 24)
            pfn = &PackByteColor<20>;
        else if (uiKind >= 25 && uiKind <= 28)
            pfn = &PackByteColor<24>;
    }
    NiDX9PackingRegistry::SetFunction(uiType, uiKind, pfn);
}
