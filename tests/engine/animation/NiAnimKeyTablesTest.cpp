#include "engine/animation/NiAnimKeyTables.h"

#include "engine/core/NiMemoryStream.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using animtest::Bytes;
using animtest::V;

namespace
{
struct KindCase
{
    const char* m_pcName;
    std::uint32_t m_uiContent;
    std::uint32_t m_uiType;
    std::uint8_t m_ucSize;
    std::uint32_t m_uiStreamSize; // 0: no file form
};

const KindCase REGISTERED[] = {
    {"FloatNone", NI_FLOATKEY, NI_NOINTERP, 8, 0},   {"FloatLin", NI_FLOATKEY, NI_LINKEY, 8, 8},
    {"FloatBez", NI_FLOATKEY, NI_BEZKEY, 16, 16},    {"FloatTCB", NI_FLOATKEY, NI_TCBKEY, 28, 20},
    {"FloatStep", NI_FLOATKEY, NI_STEPKEY, 8, 8},    {"PosNone", NI_POSKEY, NI_NOINTERP, 16, 0},
    {"PosLin", NI_POSKEY, NI_LINKEY, 16, 16},        {"PosBez", NI_POSKEY, NI_BEZKEY, 64, 40},
    {"PosTCB", NI_POSKEY, NI_TCBKEY, 76, 28},        {"PosStep", NI_POSKEY, NI_STEPKEY, 16, 16},
    {"RotNone", NI_ROTKEY, NI_NOINTERP, 20, 0},      {"RotLin", NI_ROTKEY, NI_LINKEY, 20, 20},
    {"RotBez", NI_ROTKEY, NI_BEZKEY, 36, 20},        {"RotTCB", NI_ROTKEY, NI_TCBKEY, 64, 32},
    {"RotEuler", NI_ROTKEY, NI_EULERKEY, sizeof(NiEulerRotKey), 12},
    {"RotStep", NI_ROTKEY, NI_STEPKEY, 20, 20},      {"ColorNone", NI_COLORKEY, NI_NOINTERP, 20, 0},
    {"ColorLin", NI_COLORKEY, NI_LINKEY, 20, 20},    {"ColorStep", NI_COLORKEY, NI_STEPKEY, 20, 20},
    {"BoolNone", NI_BOOLKEY, NI_NOINTERP, 8, 0},     {"BoolStep", NI_BOOLKEY, NI_STEPKEY, 8, 5},
};

class KeyKinds : public animtest::AnimTest, public ::testing::WithParamInterface<KindCase>
{
};

// The kinds with a plain file form (no Euler, no none kinds).
std::vector<KindCase> StoredKinds()
{
    std::vector<KindCase> k;
    for (const KindCase& c : REGISTERED)
    {
        if (c.m_uiStreamSize != 0 && c.m_uiType != NI_EULERKEY)
            k.push_back(c);
    }
    return k;
}

class StoredKeyKinds : public KeyKinds
{
};

// Fills the stored fields of key i of any plain kind with distinct values;
// derived fields stay as created.
void FillKey(NiAnimKey* pkKey, std::uint32_t uiStreamSize, std::uint32_t uiContent, std::uint32_t i)
{
    if (uiContent == NI_BOOLKEY)
    {
        auto* k = static_cast<NiBoolKey*>(pkKey);
        k->m_fTime = 0.5f * static_cast<float>(i);
        k->m_bValue = static_cast<std::uint8_t>(i % 2);
        return;
    }
    auto* pf = reinterpret_cast<float*>(pkKey);
    for (std::uint32_t f = 0; f < uiStreamSize / 4u; ++f)
        pf[f] = static_cast<float>(i) + 0.125f * static_cast<float>(f + 1);
    pf[0] = 0.5f * static_cast<float>(i);
}
} // namespace

TEST_P(KeyKinds, TableEntryHasTheKindsSizeAndFileForm)
{
    const KindCase& k = GetParam();
    EXPECT_EQ(NiAnimKeyTables::GetKeySize(k.m_uiContent, k.m_uiType), k.m_ucSize);
    EXPECT_EQ(NiAnimKeyTables::GetStreamKeySize(k.m_uiContent, k.m_uiType), k.m_uiStreamSize);
    EXPECT_NE(NiAnimKeyTables::GetDeleteFunction(k.m_uiContent, k.m_uiType), nullptr);
    EXPECT_NE(NiAnimKeyTables::GetInterpolateFunction(k.m_uiContent, k.m_uiType), nullptr);
    bool bNone = k.m_uiType == NI_NOINTERP;
    EXPECT_EQ(NiAnimKeyTables::GetInsertFunction(k.m_uiContent, k.m_uiType) == nullptr, bNone);
    if (bNone)
    {
        EXPECT_EQ(NiAnimKeyTables::GetCreateFunction(k.m_uiContent, k.m_uiType)(3), nullptr);
        NiMemoryStream kEmpty;
        EXPECT_EQ(NiAnimKeyTables::GetReadFunction(k.m_uiContent, k.m_uiType)(kEmpty, V(10, 2, 0, 0), 1), nullptr);
    }
}

TEST_P(StoredKeyKinds, WriteReadCompareAndRewriteByteIdentical)
{
    const KindCase& k = GetParam();
    constexpr std::uint32_t COUNT = 3;
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(k.m_uiContent, k.m_uiType)(COUNT);
    ASSERT_NE(pkKeys, nullptr);
    for (std::uint32_t i = 0; i < COUNT; ++i)
        FillKey(NiAnimKey::At(pkKeys, i, k.m_ucSize), k.m_uiStreamSize, k.m_uiContent, i);
    NiAnimKeyTables::GetFillDerivedFunction(k.m_uiContent, k.m_uiType)(pkKeys, COUNT, k.m_ucSize);

    NiMemoryStream kOut;
    ASSERT_TRUE(NiAnimKeyTables::GetWriteFunction(k.m_uiContent, k.m_uiType)(kOut, pkKeys, COUNT));
    ASSERT_EQ(kOut.GetSize(), COUNT * k.m_uiStreamSize);

    NiMemoryStream kIn(kOut.GetBuffer(), kOut.GetSize());
    NiAnimKey* pkRead = NiAnimKeyTables::ReadArray(kIn, V(10, 2, 0, 0), k.m_uiContent, k.m_uiType, COUNT);
    ASSERT_NE(pkRead, nullptr);
    EXPECT_EQ(kIn.GetBytesLeft(), 0u);
    NiAnimKeyTables::GetFillDerivedFunction(k.m_uiContent, k.m_uiType)(pkRead, COUNT, k.m_ucSize);
    auto pfnEqual = NiAnimKeyTables::GetEqualFunction(k.m_uiContent, k.m_uiType);
    for (std::uint32_t i = 0; i < COUNT; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(pfnEqual(*NiAnimKey::At(pkKeys, i, k.m_ucSize), *NiAnimKey::At(pkRead, i, k.m_ucSize)));
    }
    EXPECT_FALSE(pfnEqual(*NiAnimKey::At(pkKeys, 0, k.m_ucSize), *NiAnimKey::At(pkRead, 1, k.m_ucSize)));

    NiMemoryStream kAgain;
    ASSERT_TRUE(NiAnimKeyTables::GetWriteFunction(k.m_uiContent, k.m_uiType)(kAgain, pkRead, COUNT));
    ASSERT_EQ(kAgain.GetSize(), kOut.GetSize());
    EXPECT_EQ(std::memcmp(kAgain.GetBuffer(), kOut.GetBuffer(), kOut.GetSize()), 0);

    // Cut anywhere, the read fails and keeps nothing.
    for (std::uint32_t n = 0; n < kOut.GetSize(); ++n)
    {
        SCOPED_TRACE(n);
        NiMemoryStream kCut(kOut.GetBuffer(), n);
        EXPECT_EQ(NiAnimKeyTables::ReadArray(kCut, V(10, 2, 0, 0), k.m_uiContent, k.m_uiType, COUNT), nullptr);
    }
    NiAnimKeyTables::GetDeleteFunction(k.m_uiContent, k.m_uiType)(pkKeys);
    NiAnimKeyTables::GetDeleteFunction(k.m_uiContent, k.m_uiType)(pkRead);
}

TEST_P(StoredKeyKinds, HostileCountFailsWithoutSizingAnAllocation)
{
    const KindCase& k = GetParam();
    std::vector<std::uint8_t> kSome(64, 0);
    NiMemoryStream kIn(kSome.data(), static_cast<std::uint32_t>(kSome.size()));
    EXPECT_EQ(NiAnimKeyTables::ReadArray(kIn, V(10, 2, 0, 0), k.m_uiContent, k.m_uiType, 0xFFFFFFFFu), nullptr);
}

INSTANTIATE_TEST_SUITE_P(NiAnimKeyTables, KeyKinds, ::testing::ValuesIn(REGISTERED),
                         [](const auto& kInfo) { return std::string(kInfo.param.m_pcName); });
INSTANTIATE_TEST_SUITE_P(NiAnimKeyTables, StoredKeyKinds, ::testing::ValuesIn(StoredKinds()),
                         [](const auto& kInfo) { return std::string(kInfo.param.m_pcName); });

class NiAnimKeyTablesTest : public animtest::AnimTest
{
};

TEST_F(NiAnimKeyTablesTest, OnlyTheTwentyOneKindsAreRegisteredAndRegisteringAgainFails)
{
    int iRegistered = 0;
    for (std::uint32_t c = 0; c < NI_NUMKEYCONTENTS; ++c)
    {
        for (std::uint32_t t = 0; t < NI_NUMKEYTYPES; ++t)
        {
            if (NiAnimKeyTables::GetKeySize(c, t) != 0)
                ++iRegistered;
            else
                EXPECT_EQ(NiAnimKeyTables::GetReadFunction(c, t), nullptr);
        }
    }
    EXPECT_EQ(iRegistered, 21);
    EXPECT_EQ(NiAnimKeyTables::GetKeySize(NI_FLOATKEY, 6), 0);
    EXPECT_EQ(NiAnimKeyTables::GetKeySize(7, NI_LINKEY), 0);

    bool (*apfnRegister[])() = {
        NiAnimKeyTables::RegisterFloatNone, NiAnimKeyTables::RegisterFloatBez,  NiAnimKeyTables::RegisterPosNone,
        NiAnimKeyTables::RegisterPosBez,    NiAnimKeyTables::RegisterRotNone,   NiAnimKeyTables::RegisterRotBez,
        NiAnimKeyTables::RegisterBoolNone,  NiAnimKeyTables::RegisterColorNone, NiAnimKeyTables::RegisterEulerRot,
        NiAnimKeyTables::RegisterColorLin,  NiAnimKeyTables::RegisterFloatLin,  NiAnimKeyTables::RegisterPosLin,
        NiAnimKeyTables::RegisterRotLin,    NiAnimKeyTables::RegisterPosTCB,    NiAnimKeyTables::RegisterRotTCB,
        NiAnimKeyTables::RegisterFloatTCB,  NiAnimKeyTables::RegisterBoolStep,  NiAnimKeyTables::RegisterColorStep,
        NiAnimKeyTables::RegisterFloatStep, NiAnimKeyTables::RegisterPosStep,   NiAnimKeyTables::RegisterRotStep,
    };
    for (auto pfn : apfnRegister)
        EXPECT_FALSE(pfn());
}

TEST_F(NiAnimKeyTablesTest, FileTypeWordsOutOfRangeOrWithoutFileFormAreRefused)
{
    std::vector<std::uint8_t> kBytes(256, 0);
    for (std::uint32_t uiType : {6u, 99u, std::uint32_t(NI_NOINTERP), std::uint32_t(NI_EULERKEY)})
    {
        SCOPED_TRACE(uiType);
        NiMemoryStream kIn(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
        EXPECT_EQ(NiAnimKeyTables::ReadArray(kIn, V(10, 2, 0, 0), NI_FLOATKEY, uiType, 1), nullptr);
    }
    NiMemoryStream kIn(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    EXPECT_EQ(NiAnimKeyTables::ReadArray(kIn, V(10, 2, 0, 0), NI_TEXTKEY, NI_LINKEY, 1), nullptr);
    EXPECT_EQ(NiAnimKeyTables::ReadArray(kIn, V(10, 2, 0, 0), NI_BOOLKEY, NI_LINKEY, 1), nullptr);
}

TEST_F(NiAnimKeyTablesTest, BoolKeyIsFiveBytesOnFile)
{
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(NI_BOOLKEY, NI_STEPKEY)(2);
    auto* k = static_cast<NiBoolKey*>(pkKeys);
    k[0].m_fTime = 1.0f;
    k[0].m_bValue = 1;
    k[1].m_fTime = 2.0f;
    k[1].m_bValue = 0;
    NiMemoryStream kOut;
    ASSERT_TRUE(NiAnimKeyTables::GetWriteFunction(NI_BOOLKEY, NI_STEPKEY)(kOut, pkKeys, 2));
    Bytes kExpected;
    kExpected.F32(1.0f).U8(1).F32(2.0f).U8(0);
    ASSERT_EQ(kOut.GetSize(), kExpected.Size());
    EXPECT_EQ(std::memcmp(kOut.GetBuffer(), kExpected.m.data(), kExpected.Size()), 0);
    NiAnimKeyTables::GetDeleteFunction(NI_BOOLKEY, NI_STEPKEY)(pkKeys);
}

namespace
{
// One Euler key: X linear (0, 0) (1, pi/2), Y empty, Z one step key.
Bytes EulerRecord(bool bOldPrefix)
{
    Bytes b;
    if (bOldPrefix)
        b.U32(0xDEADBEEF);
    b.U32(2).U32(NI_LINKEY).Floats({0.0f, 0.0f, 1.0f, NI_HALF_PI});
    b.U32(0);
    b.U32(1).U32(NI_STEPKEY).Floats({0.0f, 0.25f});
    return b;
}
} // namespace

TEST_F(NiAnimKeyTablesTest, EulerRecordBeforeTenOneZeroOneFourHasFourMoreBytes)
{
    Bytes kNew = EulerRecord(false);
    Bytes kOld = EulerRecord(true);
    ASSERT_EQ(kOld.Size(), kNew.Size() + 4);

    NiMemoryStream kInOld(kOld.m.data(), static_cast<std::uint32_t>(kOld.Size()));
    NiAnimKey* pkOld = NiAnimKeyTables::ReadArray(kInOld, V(10, 1, 0, 103), NI_ROTKEY, NI_EULERKEY, 1);
    ASSERT_NE(pkOld, nullptr);
    EXPECT_EQ(kInOld.GetBytesLeft(), 0u);

    NiMemoryStream kInNew(kNew.m.data(), static_cast<std::uint32_t>(kNew.Size()));
    NiAnimKey* pkNew = NiAnimKeyTables::ReadArray(kInNew, V(10, 2, 0, 0), NI_ROTKEY, NI_EULERKEY, 1);
    ASSERT_NE(pkNew, nullptr);
    EXPECT_EQ(kInNew.GetBytesLeft(), 0u);
    EXPECT_TRUE(NiAnimKeyTables::GetEqualFunction(NI_ROTKEY, NI_EULERKEY)(*pkOld, *pkNew));

    const auto* pkEuler = static_cast<const NiEulerRotKey*>(pkNew);
    EXPECT_EQ(pkEuler->m_uiNumKeys[0], 2u);
    EXPECT_EQ(pkEuler->m_uiNumKeys[1], 0u);
    EXPECT_EQ(pkEuler->m_ucSizes[1], 0u);
    EXPECT_EQ(pkEuler->m_ucSizes[2], 8u);

    // The current writer never writes the old prefix.
    NiMemoryStream kOut;
    ASSERT_TRUE(NiAnimKeyTables::GetWriteFunction(NI_ROTKEY, NI_EULERKEY)(kOut, pkOld, 1));
    ASSERT_EQ(kOut.GetSize(), kNew.Size());
    EXPECT_EQ(std::memcmp(kOut.GetBuffer(), kNew.m.data(), kNew.Size()), 0);

    // Truncated anywhere: nothing is kept (ASan checks the channels freed).
    for (std::uint32_t n = 0; n < kNew.Size(); ++n)
    {
        SCOPED_TRACE(n);
        NiMemoryStream kCut(kNew.m.data(), n);
        EXPECT_EQ(NiAnimKeyTables::ReadArray(kCut, V(10, 2, 0, 0), NI_ROTKEY, NI_EULERKEY, 1), nullptr);
    }
    // A channel with a hostile count or a bad type word.
    Bytes kHostile;
    kHostile.U32(0xFFFFFFFFu).U32(NI_LINKEY).Floats({0.0f, 1.0f});
    NiMemoryStream kInHostile(kHostile.m.data(), static_cast<std::uint32_t>(kHostile.Size()));
    EXPECT_EQ(NiAnimKeyTables::ReadArray(kInHostile, V(10, 2, 0, 0), NI_ROTKEY, NI_EULERKEY, 1), nullptr);
    Bytes kBadType;
    kBadType.U32(1).U32(99).Floats({0.0f, 1.0f}).U32(0).U32(0);
    NiMemoryStream kInBad(kBadType.m.data(), static_cast<std::uint32_t>(kBadType.Size()));
    EXPECT_EQ(NiAnimKeyTables::ReadArray(kInBad, V(10, 2, 0, 0), NI_ROTKEY, NI_EULERKEY, 1), nullptr);

    // Deep copy is independent of the source.
    NiAnimKey* pkCopy = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_EULERKEY)(1);
    NiAnimKeyTables::GetCopyFunction(NI_ROTKEY, NI_EULERKEY)(pkCopy, pkNew);
    EXPECT_NE(static_cast<NiEulerRotKey*>(pkCopy)->m_apkKeys[0], pkEuler->m_apkKeys[0]);
    EXPECT_TRUE(NiAnimKeyTables::GetEqualFunction(NI_ROTKEY, NI_EULERKEY)(*pkCopy, *pkNew));

    auto pfnDelete = NiAnimKeyTables::GetDeleteFunction(NI_ROTKEY, NI_EULERKEY);
    pfnDelete(pkOld);
    pfnDelete(pkNew);
    pfnDelete(pkCopy);
}

namespace
{
NiAnimKey* FloatKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, float>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* pkKey = static_cast<NiFloatKey*>(NiAnimKey::At(pkKeys, i++, ucSize));
        pkKey->m_fTime = k.first;
        pkKey->m_fValue = k.second;
    }
    return pkKeys;
}

float KeyTime(const NiAnimKey* pkKeys, std::uint32_t i, std::uint8_t ucSize)
{
    return NiAnimKey::At(pkKeys, i, ucSize)->m_fTime;
}
float KeyValue(const NiAnimKey* pkKeys, std::uint32_t i, std::uint8_t ucSize)
{
    return static_cast<const NiFloatKey*>(NiAnimKey::At(pkKeys, i, ucSize))->m_fValue;
}
} // namespace

TEST_F(NiAnimKeyTablesTest, InsertTakesTheClampedValueAndRefusesAnExistingTime)
{
    NiAnimKey* pkKeys = FloatKeys(NI_LINKEY, {{1.0f, 10.0f}, {2.0f, 20.0f}});
    std::uint32_t uiCount = 2;
    auto pfnInsert = NiAnimKeyTables::GetInsertFunction(NI_FLOATKEY, NI_LINKEY);
    NiAnimKey* pkBefore = pkKeys;
    EXPECT_FALSE(pfnInsert(2.0f, pkKeys, uiCount));
    EXPECT_EQ(pkKeys, pkBefore);
    EXPECT_EQ(uiCount, 2u);

    EXPECT_TRUE(pfnInsert(0.0f, pkKeys, uiCount));
    EXPECT_TRUE(pfnInsert(3.0f, pkKeys, uiCount));
    EXPECT_TRUE(pfnInsert(1.5f, pkKeys, uiCount));
    ASSERT_EQ(uiCount, 5u);
    const float afTimes[] = {0.0f, 1.0f, 1.5f, 2.0f, 3.0f};
    const float afValues[] = {10.0f, 10.0f, 15.0f, 20.0f, 20.0f};
    for (std::uint32_t i = 0; i < 5; ++i)
    {
        EXPECT_EQ(KeyTime(pkKeys, i, 8), afTimes[i]);
        EXPECT_EQ(KeyValue(pkKeys, i, 8), afValues[i]);
    }
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_LINKEY)(pkKeys);
}

TEST_F(NiAnimKeyTablesTest, BezierInsertKeepsTheCurve)
{
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, NI_BEZKEY)(2);
    auto* k = static_cast<NiBezFloatKey*>(pkKeys);
    k[0] = {};
    k[0].m_fTime = 0.0f;
    k[0].m_fValue = 0.0f;
    k[0].m_fOutTan = 3.0f;
    k[0].m_fInTan = 0.0f;
    k[1].m_fTime = 2.0f;
    k[1].m_fValue = 1.0f;
    k[1].m_fInTan = -2.0f;
    k[1].m_fOutTan = 0.0f;
    std::uint32_t uiCount = 2;

    std::vector<float> kBefore;
    for (int s = 0; s <= 40; ++s)
        kBefore.push_back(NiFloatKey::GenerateValue(0.05f * s, pkKeys, NI_BEZKEY, uiCount, 16));
    ASSERT_TRUE(NiAnimKeyTables::GetInsertFunction(NI_FLOATKEY, NI_BEZKEY)(0.7f, pkKeys, uiCount));
    ASSERT_EQ(uiCount, 3u);
    for (int s = 0; s <= 40; ++s)
    {
        SCOPED_TRACE(s);
        EXPECT_NEAR(NiFloatKey::GenerateValue(0.05f * s, pkKeys, NI_BEZKEY, uiCount, 16), kBefore[s], 1e-6f);
    }

    // The same for point keys, whose coefficients are refreshed.
    NiAnimKey* pkPos = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_BEZKEY)(2);
    auto* p = static_cast<NiBezPosKey*>(pkPos);
    p[0].m_fTime = 0.0f;
    p[0].m_kPos = NiVec3(0, 1, 2);
    p[0].m_kOutTan = NiVec3(3, -1, 0.5f);
    p[1].m_fTime = 1.0f;
    p[1].m_kPos = NiVec3(1, 0, -2);
    p[1].m_kInTan = NiVec3(-2, 4, 1);
    std::uint32_t uiPos = 2;
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_BEZKEY)(pkPos, uiPos, 64);
    std::vector<NiVec3> kPosBefore;
    for (int s = 0; s <= 20; ++s)
        kPosBefore.push_back(NiPosKey::GenerateValue(0.05f * s, pkPos, NI_BEZKEY, uiPos, 64));
    ASSERT_TRUE(NiAnimKeyTables::GetInsertFunction(NI_POSKEY, NI_BEZKEY)(0.3f, pkPos, uiPos));
    for (int s = 0; s <= 20; ++s)
    {
        SCOPED_TRACE(s);
        NiVec3 kNow = NiPosKey::GenerateValue(0.05f * s, pkPos, NI_BEZKEY, uiPos, 64);
        EXPECT_NEAR(kNow.x, kPosBefore[s].x, 1e-5f);
        EXPECT_NEAR(kNow.y, kPosBefore[s].y, 1e-5f);
        EXPECT_NEAR(kNow.z, kPosBefore[s].z, 1e-5f);
    }
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_BEZKEY)(pkKeys);
    NiAnimKeyTables::GetDeleteFunction(NI_POSKEY, NI_BEZKEY)(pkPos);
}

TEST_F(NiAnimKeyTablesTest, CopySubRangeShiftsTimesAndGivesNullWhenEmpty)
{
    NiAnimKey* pkKeys = FloatKeys(NI_STEPKEY, {{0.0f, 1.0f}, {1.0f, 2.0f}, {2.0f, 3.0f}, {3.0f, 4.0f}});
    NiAnimKey* pkSub = nullptr;
    std::uint32_t uiSub = 99;
    NiAnimKeyTables::CopySubRange(NI_FLOATKEY, NI_STEPKEY, pkKeys, 4, 1.0f, 2.5f, pkSub, uiSub);
    ASSERT_EQ(uiSub, 2u);
    EXPECT_EQ(KeyTime(pkSub, 0, 8), 0.0f);
    EXPECT_EQ(KeyValue(pkSub, 0, 8), 2.0f);
    EXPECT_EQ(KeyTime(pkSub, 1, 8), 1.0f);
    EXPECT_EQ(KeyValue(pkSub, 1, 8), 3.0f);
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_STEPKEY)(pkSub);

    NiAnimKeyTables::CopySubRange(NI_FLOATKEY, NI_STEPKEY, pkKeys, 4, 1.2f, 1.8f, pkSub, uiSub);
    EXPECT_EQ(pkSub, nullptr);
    EXPECT_EQ(uiSub, 0u);
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_STEPKEY)(pkKeys);
}

TEST_F(NiAnimKeyTablesTest, GuaranteeKeyRangeAddsBoundaryKeysOnce)
{
    NiAnimKey* pkKeys = FloatKeys(NI_LINKEY, {{1.0f, 5.0f}, {2.0f, 7.0f}});
    std::uint32_t uiCount = 2;
    NiAnimKeyTables::GuaranteeKeyRange(NI_FLOATKEY, NI_LINKEY, pkKeys, uiCount, 0.0f, 2.0f);
    ASSERT_EQ(uiCount, 3u);
    EXPECT_EQ(KeyTime(pkKeys, 0, 8), 0.0f);
    EXPECT_EQ(KeyValue(pkKeys, 0, 8), 5.0f);
    NiAnimKeyTables::GuaranteeKeyRange(NI_FLOATKEY, NI_LINKEY, pkKeys, uiCount, 0.0f, 2.0f);
    EXPECT_EQ(uiCount, 3u);
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_LINKEY)(pkKeys);

    // A single key at t0 is left alone.
    NiAnimKey* pkOne = FloatKeys(NI_LINKEY, {{0.0f, 5.0f}});
    std::uint32_t uiOne = 1;
    NiAnimKeyTables::GuaranteeKeyRange(NI_FLOATKEY, NI_LINKEY, pkOne, uiOne, 0.0f, 4.0f);
    EXPECT_EQ(uiOne, 1u);
    NiAnimKeyTables::GetDeleteFunction(NI_FLOATKEY, NI_LINKEY)(pkOne);
}
