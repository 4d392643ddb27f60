#pragma once
// Test-side shapes and keys for the vertex, path and level-of-detail
// controllers' tests.

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/scene/NiTriShape.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <initializer_list>
#include <utility>
#include <vector>

namespace animtest
{
inline NiAnimKey* FloatKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, float>> kKeys)
{
    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_fValue = k.second;
    }
    if (auto pfnFill = NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, uiType))
        pfnFill(pk, i, ucSize);
    return pk;
}

inline NiAnimKey* PosKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, NiVec3>> kKeys)
{
    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiPosKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_kPos = k.second;
    }
    if (auto pfnFill = NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, uiType))
        pfnFill(pk, i, ucSize);
    return pk;
}

// A shape of the given vertices (two triangles over the first four, or
// none), with normals when asked.
inline NiRefPtr<NiTriShape> MakeShape(const std::vector<NiVec3>& kVerts, bool bNormals = false)
{
    const auto usCount = static_cast<std::uint16_t>(kVerts.size());
    auto* pkVerts = new NiVec3[usCount];
    std::copy(kVerts.begin(), kVerts.end(), pkVerts);
    NiVec3* pkNormals = bNormals ? new NiVec3[usCount] : nullptr;
    std::uint16_t usTris = usCount >= 4 ? 2 : 0;
    auto* pusTris = usTris ? new std::uint16_t[6]{0, 1, 2, 1, 3, 2} : nullptr;
    return new NiTriShape(usCount, pkVerts, pkNormals, nullptr, nullptr, 0, 0, usTris, pusTris);
}

// Alone in a file at the current version: loads equal, writes back the
// same bytes, and every cut of the file fails cleanly.
inline void ExpectRoundTrip(NiObject* pkObject)
{
    const auto kFile = Save(pkObject);
    ASSERT_FALSE(kFile.empty());
    NiObjectPtr spLoaded = Load(kFile);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_EQ(spLoaded->GetTypeInfo(), pkObject->GetTypeInfo());
    EXPECT_TRUE(spLoaded->IsEqual(pkObject));
    EXPECT_EQ(Save(spLoaded), kFile);
    for (std::size_t n = 0; n < kFile.size(); ++n)
        EXPECT_EQ(Load(kFile, n), nullptr) << "cut at " << n;
}

constexpr std::uint32_t NULL_LINK = 0xFFFFFFFF;

// The time-controller record: next, flags, frequency, phase, range, target.
inline Bytes TimeControllerRecord(std::uint16_t usFlags, std::uint32_t uiTarget = NULL_LINK, float fLo = 0,
                                  float fHi = 1)
{
    Bytes b;
    b.U32(NULL_LINK).U16(usFlags).F32(1).F32(0).F32(fLo).F32(fHi).U32(uiTarget);
    return b;
}
} // namespace animtest
