// Key evaluation compared bit for bit with a stored reference: every key kind,
// through its interpolator and through the raw key functions, at 100,000
// pseudo-random times (playback steps, jumps back and forth, exact key times,
// times outside the keys). Key arrays include shared times and, for two
// kinds, keys out of order as a damaged file may hold them.
//
// The reference lives in NiKeyEvaluationReference.inc: per case a 64-bit
// FNV-1a hash over every result's bit pattern, and the explicit bit patterns
// of every 2000th result. Run the test with ORVANE_WRITE_KEY_REFERENCE=<file>
// to write a new one; only a change meant to alter the values may do that.

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiColorData.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiPosData.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "engine/animation/NiRotData.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace
{
#include "tests/engine/animation/NiKeyEvaluationReference.inc"

constexpr int TIMES = 100000;
constexpr int SAMPLE_EVERY = 2000;
constexpr std::uint32_t KEYS = 24;

// A small generator of our own, so the sequence never depends on a library.
class Lcg
{
public:
    explicit Lcg(std::uint32_t uiSeed) : m_uiState(uiSeed) {}
    std::uint32_t Next()
    {
        m_uiState = m_uiState * 1664525u + 1013904223u;
        return m_uiState >> 8;
    }
    // [a, b) on a grid of 2^-24 of the span.
    float Range(float a, float b) { return a + (b - a) * static_cast<float>(Next()) / 16777216.0f; }

private:
    std::uint32_t m_uiState;
};

// What one case produced: the hash of everything and the sampled words.
struct Record
{
    std::uint64_t m_uiHash = 14695981039346656037ull;
    std::vector<std::uint32_t> m_kSamples;

    void Add(const void* pv, std::size_t uiBytes, bool bSample)
    {
        const auto* puc = static_cast<const std::uint8_t*>(pv);
        for (std::size_t i = 0; i < uiBytes; ++i)
        {
            m_uiHash ^= puc[i];
            m_uiHash *= 1099511628211ull;
        }
        if (!bSample)
            return;
        for (std::size_t i = 0; i + 4 <= uiBytes; i += 4)
        {
            std::uint32_t w;
            std::memcpy(&w, puc + i, 4);
            m_kSamples.push_back(w);
        }
        if (uiBytes % 4 != 0)
            m_kSamples.push_back(puc[uiBytes - 1]);
    }
};

// Key times from 0 on, the same for every case so exact key times reach them
// all: mostly increasing, one in eight shared with the key before it. Out of
// order: a few neighbours swapped.
std::vector<float> KeyTimes(bool bOutOfOrder)
{
    Lcg kRandom(777u);
    std::vector<float> kTimes(KEYS);
    float t = 0.0f;
    for (std::uint32_t i = 0; i < KEYS; ++i)
    {
        if (i > 0 && kRandom.Next() % 8 != 0)
            t += kRandom.Range(0.05f, 1.0f);
        kTimes[i] = t;
    }
    if (bOutOfOrder)
    {
        for (std::uint32_t i = 3; i + 1 < KEYS; i += 5)
            std::swap(kTimes[i], kTimes[i + 1]);
    }
    return kTimes;
}

// The references were recorded drawing a value's components last to first:
// drawn into locals in that order, every compiler builds the same keys.
NiVec3 RandomVec3(Lcg& kRandom, float fLow, float fHigh)
{
    const float z = kRandom.Range(fLow, fHigh);
    const float y = kRandom.Range(fLow, fHigh);
    const float x = kRandom.Range(fLow, fHigh);
    return NiVec3(x, y, z);
}

NiQuat RandomQuat(Lcg& kRandom)
{
    const float fZ = kRandom.Range(-1, 1);
    const float fY = kRandom.Range(-1, 1);
    const float fX = kRandom.Range(-1, 1);
    const float fW = kRandom.Range(-1, 1);
    NiQuat q(fW, fX, fY, fZ);
    float fLength = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return NiQuat(q.w / fLength, q.x / fLength, q.y / fLength, q.z / fLength);
}

// A filled key array of one kind (derived fields filled as a load does).
NiAnimKey* MakeKeys(std::uint32_t uiContent, std::uint32_t uiType, std::uint32_t uiSeed, bool bOutOfOrder = false)
{
    Lcg kRandom(uiSeed);
    if (uiContent == NI_ROTKEY && uiType == NI_EULERKEY)
    {
        NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_EULERKEY)(1);
        auto* e = static_cast<NiEulerRotKey*>(pk);
        const std::uint32_t auiTypes[3] = {NI_LINKEY, NI_BEZKEY, NI_TCBKEY};
        for (int c = 0; c < 3; ++c)
        {
            e->m_apkKeys[c] = MakeKeys(NI_FLOATKEY, auiTypes[c], uiSeed * 7 + static_cast<std::uint32_t>(c));
            e->m_uiNumKeys[c] = KEYS;
            e->m_eType[c] = auiTypes[c];
            e->m_ucSizes[c] = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, auiTypes[c]);
        }
        return pk;
    }

    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(uiContent, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(uiContent, uiType)(KEYS);
    std::vector<float> kTimes = KeyTimes(bOutOfOrder);
    for (std::uint32_t i = 0; i < KEYS; ++i)
    {
        NiAnimKey* k = NiAnimKey::At(pk, i, ucSize);
        k->m_fTime = kTimes[i];
        float fT = kRandom.Range(-0.5f, 0.5f), fC = kRandom.Range(-0.5f, 0.5f), fB = kRandom.Range(-0.5f, 0.5f);
        switch (uiContent)
        {
        case NI_FLOATKEY:
            static_cast<NiFloatKey*>(k)->m_fValue = kRandom.Range(-10, 10);
            if (uiType == NI_BEZKEY)
            {
                static_cast<NiBezFloatKey*>(k)->m_fInTan = kRandom.Range(-3, 3);
                static_cast<NiBezFloatKey*>(k)->m_fOutTan = kRandom.Range(-3, 3);
            }
            else if (uiType == NI_TCBKEY)
            {
                auto* p = static_cast<NiTCBFloatKey*>(k);
                p->m_fTension = fT;
                p->m_fContinuity = fC;
                p->m_fBias = fB;
            }
            break;
        case NI_POSKEY:
            static_cast<NiPosKey*>(k)->m_kPos =
                RandomVec3(kRandom, -10, 10);
            if (uiType == NI_BEZKEY)
            {
                auto* p = static_cast<NiBezPosKey*>(k);
                p->m_kInTan = RandomVec3(kRandom, -3, 3);
                p->m_kOutTan = RandomVec3(kRandom, -3, 3);
            }
            else if (uiType == NI_TCBKEY)
            {
                auto* p = static_cast<NiTCBPosKey*>(k);
                p->m_fTension = fT;
                p->m_fContinuity = fC;
                p->m_fBias = fB;
            }
            break;
        case NI_ROTKEY:
            static_cast<NiRotKey*>(k)->m_kQuat = RandomQuat(kRandom);
            if (uiType == NI_TCBKEY)
            {
                auto* p = static_cast<NiTCBRotKey*>(k);
                p->m_fTension = fT;
                p->m_fContinuity = fC;
                p->m_fBias = fB;
            }
            break;
        case NI_COLORKEY:
        {
            const float fA = kRandom.Range(0, 1);
            const float fB2 = kRandom.Range(0, 1);
            const float fG = kRandom.Range(0, 1);
            const float fR = kRandom.Range(0, 1);
            static_cast<NiColorKey*>(k)->m_kColor = NiColorRGBA(fR, fG, fB2, fA);
        }
            break;
        case NI_BOOLKEY:
            static_cast<NiBoolKey*>(k)->m_bValue = static_cast<std::uint8_t>(kRandom.Next() & 1u);
            break;
        default:
            break;
        }
    }
    NiAnimKeyTables::GetFillDerivedFunction(uiContent, uiType)(pk, KEYS, ucSize);
    return pk;
}

// The evaluation times: playback steps of 1/60 s, jumps anywhere (back
// included), exact key times and times outside the keyed range.
std::vector<float> EvaluationTimes()
{
    const std::vector<float> kKeyTimes = KeyTimes(false);
    Lcg kRandom(20261207u);
    std::vector<float> kTimes(TIMES);
    float t = 0.0f;
    for (int n = 0; n < TIMES; ++n)
    {
        std::uint32_t uiKind = kRandom.Next() % 10;
        if (uiKind < 5)
            t += 1.0f / 60.0f;
        else if (uiKind < 7)
            t = kRandom.Range(-1.0f, 14.0f);
        else if (uiKind < 9)
            t = kKeyTimes[kRandom.Next() % KEYS];
        else
            t = kRandom.Range(-30.0f, 30.0f);
        if (t > 14.0f)
            t -= 15.0f;
        kTimes[static_cast<std::size_t>(n)] = t;
    }
    return kTimes;
}

struct Case
{
    std::string m_kName;
    Record m_kRecord;
};

class NiKeyEvaluationTest : public animtest::AnimTest
{
protected:
    std::vector<Case> m_kCases;
    std::vector<float> m_kTimes;

    Record& Add(const std::string& kName)
    {
        m_kCases.push_back({kName, {}});
        return m_kCases.back().m_kRecord;
    }

    template <class Value, class Fn>
    void Run(const std::string& kName, Fn fnEvaluate)
    {
        Record& kRecord = Add(kName);
        for (int n = 0; n < TIMES; ++n)
        {
            Value kValue{};
            bool bValid = fnEvaluate(m_kTimes[static_cast<std::size_t>(n)], kValue);
            bool bSample = n % SAMPLE_EVERY == 0;
            kRecord.Add(&kValue, sizeof(kValue), bSample);
            std::uint8_t ucValid = bValid ? 1 : 0;
            kRecord.Add(&ucValid, 1, false);
        }
    }

    // One single-channel kind through its interpolator and the raw call.
    template <class Data, class Interp, class Value, class Update, class Raw>
    void SingleChannel(const std::string& kName, std::uint32_t uiContent, std::uint32_t uiType, std::uint32_t uiSeed,
                       bool bOutOfOrder, Update pfnUpdate, Raw pfnRaw)
    {
        NiRefPtr<Data> spData = new Data;
        spData->ReplaceKeys(MakeKeys(uiContent, uiType, uiSeed, bOutOfOrder), uiContent == NI_ROTKEY &&
                                                                                 uiType == NI_EULERKEY
                                                                             ? 1
                                                                             : KEYS,
                            uiType);
        NiRefPtr<Interp> spInterp = new Interp(spData);
        Run<Value>(kName + " interpolator",
                   [&](float t, Value& kValue) { return ((*spInterp).*pfnUpdate)(t, nullptr, kValue); });
        std::uint32_t uiHint = 0;
        Run<Value>(kName + " keys", [&](float t, Value& kValue) {
            kValue = pfnRaw(t, spData->GetKeys(), spData->GetKeyType(), spData->GetNumKeys(), uiHint,
                            spData->GetKeyStride());
            return true;
        });
    }
};

std::string Hex(std::uint64_t v)
{
    char ac[32];
    std::snprintf(ac, sizeof(ac), "0x%016llxull", static_cast<unsigned long long>(v));
    return ac;
}
} // namespace

TEST_F(NiKeyEvaluationTest, EveryKindMatchesTheStoredReferenceBitForBit)
{
    m_kTimes = EvaluationTimes();

    const std::pair<const char*, std::uint32_t> akTypes[] = {
        {"lin", NI_LINKEY}, {"step", NI_STEPKEY}, {"bez", NI_BEZKEY}, {"tcb", NI_TCBKEY}};
    std::uint32_t uiSeed = 1;
    for (const auto& [pcType, uiType] : akTypes)
    {
        SingleChannel<NiFloatData, NiFloatInterpolator, float>(std::string("float ") + pcType, NI_FLOATKEY, uiType,
                                                               uiSeed++, false, &NiFloatInterpolator::UpdateFloat,
                                                               &NiFloatKey::EvaluateAt);
        SingleChannel<NiPosData, NiPoint3Interpolator, NiVec3>(std::string("pos ") + pcType, NI_POSKEY, uiType,
                                                               uiSeed++, false, &NiPoint3Interpolator::UpdatePoint3,
                                                               &NiPosKey::EvaluateAt);
        SingleChannel<NiRotData, NiQuaternionInterpolator, NiQuat>(
            std::string("rot ") + pcType, NI_ROTKEY, uiType, uiSeed++, false,
            &NiQuaternionInterpolator::UpdateQuaternion, &NiRotKey::EvaluateAt);
    }
    SingleChannel<NiRotData, NiQuaternionInterpolator, NiQuat>("rot euler", NI_ROTKEY, NI_EULERKEY, uiSeed++, false,
                                                               &NiQuaternionInterpolator::UpdateQuaternion,
                                                               &NiRotKey::EvaluateAt);
    for (const auto& [pcType, uiType] : {akTypes[0], akTypes[1]})
    {
        SingleChannel<NiColorData, NiColorInterpolator, NiColorRGBA>(std::string("color ") + pcType, NI_COLORKEY,
                                                                     uiType, uiSeed++, false,
                                                                     &NiColorInterpolator::UpdateColor,
                                                                     &NiColorKey::EvaluateAt);
    }
    SingleChannel<NiBoolData, NiBoolInterpolator, std::uint8_t>(
        "bool step", NI_BOOLKEY, NI_STEPKEY, uiSeed++, false, &NiBoolInterpolator::UpdateBool,
        [](float t, const NiAnimKey* k, std::uint32_t uiType, std::uint32_t n, std::uint32_t& h, std::uint8_t s) {
            return static_cast<std::uint8_t>(NiBoolKey::EvaluateAt(t, k, uiType, n, h, s) ? 1 : 0);
        });
    SingleChannel<NiFloatData, NiFloatInterpolator, float>("float lin out of order", NI_FLOATKEY, NI_LINKEY,
                                                           uiSeed++, true, &NiFloatInterpolator::UpdateFloat,
                                                           &NiFloatKey::EvaluateAt);
    SingleChannel<NiPosData, NiPoint3Interpolator, NiVec3>("pos bez out of order", NI_POSKEY, NI_BEZKEY, uiSeed++,
                                                           true, &NiPoint3Interpolator::UpdatePoint3,
                                                           &NiPosKey::EvaluateAt);

    // Transforms: all three channels in one interpolator.
    const std::uint32_t auiTransform[][3] = {
        {NI_LINKEY, NI_LINKEY, NI_LINKEY}, {NI_BEZKEY, NI_TCBKEY, NI_TCBKEY}, {NI_TCBKEY, NI_BEZKEY, NI_BEZKEY},
        {NI_STEPKEY, NI_EULERKEY, NI_STEPKEY}};
    for (const auto& auiTypes : auiTransform)
    {
        NiTransformDataPtr spData = new NiTransformData;
        spData->ReplacePosKeys(MakeKeys(NI_POSKEY, auiTypes[0], uiSeed++), KEYS, auiTypes[0]);
        spData->ReplaceRotKeys(MakeKeys(NI_ROTKEY, auiTypes[1], uiSeed++), auiTypes[1] == NI_EULERKEY ? 1 : KEYS,
                               auiTypes[1]);
        spData->ReplaceScaleKeys(MakeKeys(NI_FLOATKEY, auiTypes[2], uiSeed++), KEYS, auiTypes[2]);
        NiTransformInterpolatorPtr spInterp = new NiTransformInterpolator(spData);
        std::string kName = "transform " + std::to_string(auiTypes[0]) + std::to_string(auiTypes[1]) +
                            std::to_string(auiTypes[2]);
        Run<NiQuatTransform>(kName, [&](float t, NiQuatTransform& kValue) {
            return spInterp->UpdateTransform(t, nullptr, kValue);
        });
    }

    if (const char* pcOut = std::getenv("ORVANE_WRITE_KEY_REFERENCE"))
    {
        std::FILE* pf = std::fopen(pcOut, "w");
        ASSERT_NE(pf, nullptr);
        std::size_t uiMax = 0;
        for (const Case& k : m_kCases)
            uiMax = std::max(uiMax, k.m_kRecord.m_kSamples.size());
        std::fprintf(pf, "// Written by NiKeyEvaluationTest (ORVANE_WRITE_KEY_REFERENCE); do not edit.\n");
        std::fprintf(pf, "constexpr std::size_t KEY_REFERENCE_SAMPLE_WORDS = %zu;\n", uiMax);
        std::fprintf(pf, "struct KeyReference\n{\n    const char* m_pcName;\n    std::uint64_t m_uiHash;\n"
                         "    std::uint32_t m_auiSamples[KEY_REFERENCE_SAMPLE_WORDS];\n};\n");
        std::fprintf(pf, "const KeyReference KEY_REFERENCE[] = {\n");
        for (const Case& k : m_kCases)
        {
            std::fprintf(pf, "    {\"%s\", %s, {", k.m_kName.c_str(), Hex(k.m_kRecord.m_uiHash).c_str());
            for (std::size_t i = 0; i < k.m_kRecord.m_kSamples.size(); ++i)
                std::fprintf(pf, "%s0x%08x,", i % 8 == 0 ? "\n        " : " ", k.m_kRecord.m_kSamples[i]);
            std::fprintf(pf, "}},\n");
        }
        std::fprintf(pf, "};\n");
        std::fclose(pf);
        GTEST_SKIP() << "reference written to " << pcOut;
    }

    ASSERT_EQ(m_kCases.size(), std::size(KEY_REFERENCE));
    for (std::size_t c = 0; c < m_kCases.size(); ++c)
    {
        const Case& k = m_kCases[c];
        const KeyReference& r = KEY_REFERENCE[c];
        SCOPED_TRACE(k.m_kName);
        ASSERT_STREQ(k.m_kName.c_str(), r.m_pcName);
        // The samples first: they name the first time that differs.
        for (std::size_t i = 0; i < k.m_kRecord.m_kSamples.size() && i < KEY_REFERENCE_SAMPLE_WORDS; ++i)
        {
            if (k.m_kRecord.m_kSamples[i] != r.m_auiSamples[i])
            {
                ADD_FAILURE() << "sampled word " << i << ": " << k.m_kRecord.m_kSamples[i] << " != "
                              << r.m_auiSamples[i];
                break;
            }
        }
        EXPECT_EQ(k.m_kRecord.m_uiHash, r.m_uiHash);
    }
}

// Every way keys reach a channel prepares them again: replaced, copied,
// reduced to a sub-range and given keys at both ends. Each time the
// channel's evaluation equals the key function's over its current keys.
TEST_F(NiKeyEvaluationTest, ChannelsPrepareTheKeysTheyHoldNow)
{
    const std::vector<float> kTimes = EvaluationTimes();
    auto fnSame = [&](const NiKeyData& kData) {
        const NiKeyChannel& kChannel = kData.GetChannel();
        std::uint32_t uiChannelHint = 0, uiRawHint = 0;
        for (std::size_t n = 0; n < 2000; ++n)
        {
            float t = kTimes[n];
            float fChannel = -1.0f;
            ASSERT_TRUE(kChannel.InterpolateAt(t, uiChannelHint, &fChannel));
            float fRaw = NiFloatKey::EvaluateAt(t, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(), uiRawHint,
                                                kData.GetKeyStride());
            ASSERT_EQ(NiFloatBits(fChannel), NiFloatBits(fRaw)) << t;
            ASSERT_EQ(uiChannelHint, uiRawHint) << t;
        }
    };

    NiRefPtr<NiFloatData> spData = new NiFloatData;
    spData->ReplaceKeys(MakeKeys(NI_FLOATKEY, NI_BEZKEY, 5), KEYS, NI_BEZKEY);
    fnSame(*spData);
    spData->ReplaceKeys(MakeKeys(NI_FLOATKEY, NI_LINKEY, 6, true), KEYS, NI_LINKEY);
    fnSame(*spData);
    NiRefPtr<NiObject> spCopy = spData->Clone();
    fnSame(static_cast<NiFloatData&>(*spCopy));
    spData->GuaranteeKeysAtStartAndEnd(-0.5f, 13.5f);
    EXPECT_EQ(spData->GetNumKeys(), KEYS + 2);
    fnSame(*spData);
    NiRefPtr<NiKeyData> spPart = spData->GetSequenceKeyData(2.0f, 6.0f);
    ASSERT_GE(spPart->GetNumKeys(), 2u);
    fnSame(*spPart);

    // Channels the key functions handle alone: one key, Euler keys, none.
    float fValue = 0.0f;
    std::uint32_t uiHint = 0;
    spData->ReplaceKeys(MakeKeys(NI_FLOATKEY, NI_LINKEY, 7), 1, NI_LINKEY);
    EXPECT_FALSE(spData->GetChannel().InterpolateAt(1.0f, uiHint, &fValue));
    spData->ReplaceKeys(nullptr, 0, 0);
    EXPECT_FALSE(spData->GetChannel().InterpolateAt(1.0f, uiHint, &fValue));
    NiRefPtr<NiRotData> spRot = new NiRotData;
    spRot->ReplaceKeys(MakeKeys(NI_ROTKEY, NI_EULERKEY, 8), 1, NI_EULERKEY);
    NiQuat kQuat;
    EXPECT_FALSE(spRot->GetChannel().InterpolateAt(1.0f, uiHint, &kQuat));
    EXPECT_EQ(fValue, 0.0f);
}

// Channels keyed at the same times share the parameter of their interval
// within one transform update. That must only happen where it cannot change
// a bit: here the rotation's first key is at 0, the scale's at -0 with the
// value -0, and t = -0 gives the two intervals parameters of opposite sign.
// Every channel must still equal its own key function bit for bit.
TEST_F(NiKeyEvaluationTest, TransformChannelsAtSharedTimesKeepTheirOwnBits)
{
    std::vector<float> kTimes = EvaluationTimes();
    kTimes.resize(3000);
    kTimes.insert(kTimes.begin(), {-0.0f, 0.0f, -0.0f, 0.1f, -0.0f});
    const std::uint32_t auiTransform[][3] = {
        {NI_LINKEY, NI_LINKEY, NI_LINKEY}, {NI_BEZKEY, NI_TCBKEY, NI_TCBKEY}, {NI_TCBKEY, NI_BEZKEY, NI_BEZKEY}};
    std::uint32_t uiSeed = 40;
    for (const auto& auiTypes : auiTransform)
    {
        SCOPED_TRACE(testing::Message() << auiTypes[0] << auiTypes[1] << auiTypes[2]);
        const std::uint32_t auiContents[3] = {NI_POSKEY, NI_ROTKEY, NI_FLOATKEY};
        NiAnimKey* apkKeys[3];
        for (int c = 0; c < 3; ++c)
        {
            apkKeys[c] = MakeKeys(auiContents[c], auiTypes[c], uiSeed++);
            const std::uint8_t ucStride = NiAnimKeyTables::GetKeySize(auiContents[c], auiTypes[c]);
            for (std::uint32_t k = 0; k < KEYS; ++k)
                NiAnimKey::At(apkKeys[c], k, ucStride)->m_fTime = 0.25f * static_cast<float>(k);
            if (auiContents[c] == NI_FLOATKEY)
            {
                apkKeys[c]->m_fTime = -0.0f;
                static_cast<NiFloatKey*>(apkKeys[c])->m_fValue = -0.0f;
            }
            NiAnimKeyTables::GetFillDerivedFunction(auiContents[c], auiTypes[c])(apkKeys[c], KEYS, ucStride);
        }
        NiTransformDataPtr spData = new NiTransformData;
        spData->ReplacePosKeys(apkKeys[0], KEYS, auiTypes[0]);
        spData->ReplaceRotKeys(apkKeys[1], KEYS, auiTypes[1]);
        spData->ReplaceScaleKeys(apkKeys[2], KEYS, auiTypes[2]);
        NiTransformInterpolatorPtr spInterp = new NiTransformInterpolator(spData);

        std::uint32_t uiPosHint = 0, uiRotHint = 0, uiScaleHint = 0;
        int iNegativeZeroScales = 0;
        for (float t : kTimes)
        {
            NiQuatTransform kValue;
            spInterp->UpdateTransform(t, nullptr, kValue);
            NiVec3 kPos = NiPosKey::EvaluateAt(t, spData->GetPosKeys(), auiTypes[0], KEYS, uiPosHint,
                                               spData->GetPosStride());
            NiQuat kRot = NiRotKey::EvaluateAt(t, spData->GetRotKeys(), auiTypes[1], KEYS, uiRotHint,
                                               spData->GetRotStride());
            float fScale = NiFloatKey::EvaluateAt(t, spData->GetScaleKeys(), auiTypes[2], KEYS, uiScaleHint,
                                                  spData->GetScaleStride());
            const float afGot[8] = {kValue.m_kTranslate.x, kValue.m_kTranslate.y, kValue.m_kTranslate.z,
                                    kValue.m_kRotate.w,    kValue.m_kRotate.x,    kValue.m_kRotate.y,
                                    kValue.m_kRotate.z,    kValue.m_fScale};
            const float afWant[8] = {kPos.x, kPos.y, kPos.z, kRot.w, kRot.x, kRot.y, kRot.z, fScale};
            for (int i = 0; i < 8; ++i)
                ASSERT_EQ(NiFloatBits(afGot[i]), NiFloatBits(afWant[i])) << "t " << t << " component " << i;
            iNegativeZeroScales += NiFloatBits(fScale) == 0x80000000u;
        }
        // The case the test is about did come up.
        if (auiTypes[2] == NI_LINKEY)
        {
            EXPECT_GT(iNegativeZeroScales, 0);
        }
    }
}

namespace
{
// The transform as the key functions give it over the data's keys now, with
// hints of its own kept as an interpolator keeps them; a channel without keys
// gives the pose part.
NiQuatTransform TransformByTheKeys(const NiTransformData& kData, const NiQuatTransform& kPose, float t,
                                   std::uint32_t (&auiHint)[3])
{
    NiQuatTransform kValue = kPose;
    if (kData.GetNumPosKeys() > 0)
        kValue.m_kTranslate = NiPosKey::EvaluateAt(t, kData.GetPosKeys(), kData.GetPosType(), kData.GetNumPosKeys(),
                                                   auiHint[0], kData.GetPosStride());
    if (kData.GetNumRotKeys() > 0)
        kValue.m_kRotate = NiRotKey::EvaluateAt(t, kData.GetRotKeys(), kData.GetRotType(), kData.GetNumRotKeys(),
                                                auiHint[1], kData.GetRotStride());
    if (kData.GetNumScaleKeys() > 0)
        kValue.m_fScale = NiFloatKey::EvaluateAt(t, kData.GetScaleKeys(), kData.GetScaleType(),
                                                 kData.GetNumScaleKeys(), auiHint[2], kData.GetScaleStride());
    return kValue;
}

NiTransformDataPtr MakeTransformData(std::uint32_t uiPosType, std::uint32_t uiRotType, std::uint32_t uiScaleType,
                                     std::uint32_t uiSeed)
{
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(MakeKeys(NI_POSKEY, uiPosType, uiSeed), KEYS, uiPosType);
    spData->ReplaceRotKeys(MakeKeys(NI_ROTKEY, uiRotType, uiSeed + 1), KEYS, uiRotType);
    spData->ReplaceScaleKeys(MakeKeys(NI_FLOATKEY, uiScaleType, uiSeed + 2), KEYS, uiScaleType);
    return spData;
}
} // namespace

// An interpolator keeps what it reads of its data's channels beside itself:
// every change of the keys, of the data or of the data's place in memory
// must still reach the next update, for each of two interpolators sharing
// the data.
TEST_F(NiKeyEvaluationTest, TransformInterpolatorsSeeEveryChangeOfTheirData)
{
    const std::vector<float> kAll = EvaluationTimes();
    const std::vector<float> kTimes(kAll.begin(), kAll.begin() + 300);
    NiTransformDataPtr spData = MakeTransformData(NI_LINKEY, NI_LINKEY, NI_LINKEY, 60);
    NiTransformInterpolatorPtr aspInterp[2] = {new NiTransformInterpolator(spData),
                                               new NiTransformInterpolator(spData)};
    std::uint32_t auiHints[2][3] = {};
    int iChecks = 0;
    auto fnSame = [&](const char* pcStep) {
        SCOPED_TRACE(pcStep);
        for (std::size_t n = 0; n < kTimes.size(); ++n)
        {
            for (int i = 0; i < 2; ++i)
            {
                NiTransformInterpolator* spInterp = aspInterp[i];
                // Every other time twice in a row: the second finds nothing new.
                const float t = kTimes[n];
                NiQuatTransform kValue;
                spInterp->UpdateTransform(t, nullptr, kValue);
                if (n % 2)
                    spInterp->UpdateTransform(t, nullptr, kValue);
                const NiQuatTransform kWant = TransformByTheKeys(*spInterp->GetTransformData(),
                                                                 spInterp->GetPoseValue(), t, auiHints[i]);
                const float afGot[8] = {kValue.m_kTranslate.x, kValue.m_kTranslate.y, kValue.m_kTranslate.z,
                                        kValue.m_kRotate.w,    kValue.m_kRotate.x,    kValue.m_kRotate.y,
                                        kValue.m_kRotate.z,    kValue.m_fScale};
                const float afWant[8] = {kWant.m_kTranslate.x, kWant.m_kTranslate.y, kWant.m_kTranslate.z,
                                         kWant.m_kRotate.w,    kWant.m_kRotate.x,    kWant.m_kRotate.y,
                                         kWant.m_kRotate.z,    kWant.m_fScale};
                for (int c = 0; c < 8; ++c)
                    ASSERT_EQ(NiFloatBits(afGot[c]), NiFloatBits(afWant[c])) << "t " << t << " component " << c;
                ++iChecks;
            }
        }
    };
    fnSame("first keys");

    spData->ReplaceRotKeys(MakeKeys(NI_ROTKEY, NI_TCBKEY, 70), KEYS, NI_TCBKEY);
    fnSame("rotation keys replaced by another kind");
    spData->ReplacePosKeys(MakeKeys(NI_POSKEY, NI_BEZKEY, 71), KEYS - 5, NI_BEZKEY);
    fnSame("fewer position keys of another kind");
    spData->GuaranteeKeysAtStartAndEnd(-1.0f, 40.0f);
    fnSame("keys added at both ends");
    spData->ReplaceScaleKeys(nullptr, 0, 0);
    fnSame("scale keys taken away");
    spData->ReplaceScaleKeys(MakeKeys(NI_FLOATKEY, NI_STEPKEY, 72), 1, NI_STEPKEY);
    fnSame("a single scale key");
    spData->ReplaceRotKeys(MakeKeys(NI_ROTKEY, NI_EULERKEY, 73), 1, NI_EULERKEY);
    fnSame("Euler rotation keys");
    spData->RotChannel().ReduceToSubRange(2.0f, 9.0f);
    spData->PosChannel().CopyFrom(MakeTransformData(NI_TCBKEY, NI_LINKEY, NI_LINKEY, 74)->PosChannel());
    fnSame("channels changed directly");

    // Values are read from the keys themselves, changed in place.
    const std::uint8_t ucStride = spData->GetPosStride();
    for (std::uint32_t k = 0; k < spData->GetNumPosKeys(); ++k)
        static_cast<NiPosKey*>(NiAnimKey::At(spData->GetPosKeys(), k, ucStride))->m_kPos.x += 1.0f;
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, spData->GetPosType())(spData->GetPosKeys(),
                                                                             spData->GetNumPosKeys(), ucStride);
    fnSame("key values changed in place");

    // Another data object, then the first one freed and a new one made,
    // likely where the first one was.
    aspInterp[0]->SetTransformData(MakeTransformData(NI_BEZKEY, NI_BEZKEY, NI_BEZKEY, 80));
    fnSame("one interpolator given other data");
    aspInterp[1]->SetTransformData(aspInterp[0]->GetTransformData());
    spData = nullptr;
    spData = MakeTransformData(NI_STEPKEY, NI_TCBKEY, NI_TCBKEY, 90);
    aspInterp[1]->SetTransformData(spData);
    fnSame("data freed and made anew");
    EXPECT_EQ(iChecks, 11 * 2 * 300);
}

// Channels keyed at times of their own: at one update a channel may stay in
// its interval while another steps into the next or must search, so the
// interpolator's quick way through all three channels gives up part way and
// the general way takes the same update again. Each must still give the key
// functions' bits, whichever channel sent it the long way.
TEST_F(NiKeyEvaluationTest, TransformChannelsKeyedApartFollowTheirOwnIntervals)
{
    const std::uint32_t auiTransform[][3] = {
        {NI_LINKEY, NI_LINKEY, NI_LINKEY}, {NI_BEZKEY, NI_TCBKEY, NI_LINKEY}, {NI_TCBKEY, NI_BEZKEY, NI_STEPKEY}};
    // Key spacing of each channel: position, rotation, scale.
    const float afSpacing[3] = {0.25f, 0.4f, 0.1f};
    std::uint32_t uiSeed = 500;
    for (const auto& auiTypes : auiTransform)
    {
        SCOPED_TRACE(testing::Message() << auiTypes[0] << auiTypes[1] << auiTypes[2]);
        const std::uint32_t auiContents[3] = {NI_POSKEY, NI_ROTKEY, NI_FLOATKEY};
        NiAnimKey* apkKeys[3];
        for (int c = 0; c < 3; ++c)
        {
            apkKeys[c] = MakeKeys(auiContents[c], auiTypes[c], uiSeed++);
            const std::uint8_t ucStride = NiAnimKeyTables::GetKeySize(auiContents[c], auiTypes[c]);
            for (std::uint32_t k = 0; k < KEYS; ++k)
                NiAnimKey::At(apkKeys[c], k, ucStride)->m_fTime = afSpacing[c] * static_cast<float>(k);
            NiAnimKeyTables::GetFillDerivedFunction(auiContents[c], auiTypes[c])(apkKeys[c], KEYS, ucStride);
        }
        NiTransformDataPtr spData = new NiTransformData;
        spData->ReplacePosKeys(apkKeys[0], KEYS, auiTypes[0]);
        spData->ReplaceRotKeys(apkKeys[1], KEYS, auiTypes[1]);
        spData->ReplaceScaleKeys(apkKeys[2], KEYS, auiTypes[2]);
        NiTransformInterpolatorPtr spInterp = new NiTransformInterpolator(spData);

        // Playback at 60 per second over the whole range, twice, with a jump
        // back now and then; the scale channel's keys run out first.
        std::vector<float> kTimes;
        Lcg kRandom(uiSeed);
        float t = 0.0f;
        for (int n = 0; n < 1500; ++n)
        {
            kTimes.push_back(t);
            t += 1.0f / 60.0f;
            if (kRandom.Next() % 97 == 0)
                t = kRandom.Range(0.0f, 9.0f);
            if (t > 10.0f)
                t -= 10.0f;
        }

        std::uint32_t auiHint[3] = {};
        int iOneChannelMoved = 0;
        for (float fTime : kTimes)
        {
            const std::uint32_t auiBefore[3] = {auiHint[0], auiHint[1], auiHint[2]};
            NiQuatTransform kValue;
            ASSERT_TRUE(spInterp->UpdateTransform(fTime, nullptr, kValue));
            const NiQuatTransform kWant = TransformByTheKeys(*spData, spInterp->GetPoseValue(), fTime, auiHint);
            const float afGot[8] = {kValue.m_kTranslate.x, kValue.m_kTranslate.y, kValue.m_kTranslate.z,
                                    kValue.m_kRotate.w,    kValue.m_kRotate.x,    kValue.m_kRotate.y,
                                    kValue.m_kRotate.z,    kValue.m_fScale};
            const float afWant[8] = {kWant.m_kTranslate.x, kWant.m_kTranslate.y, kWant.m_kTranslate.z,
                                     kWant.m_kRotate.w,    kWant.m_kRotate.x,    kWant.m_kRotate.y,
                                     kWant.m_kRotate.z,    kWant.m_fScale};
            for (int c = 0; c < 8; ++c)
                ASSERT_EQ(NiFloatBits(afGot[c]), NiFloatBits(afWant[c])) << "t " << fTime << " component " << c;
            // The pose kept for the next same-time update is the value given.
            NiQuatTransform kAgain;
            ASSERT_TRUE(spInterp->UpdateTransform(fTime, nullptr, kAgain));
            EXPECT_EQ(NiFloatBits(kAgain.m_kRotate.w), NiFloatBits(kValue.m_kRotate.w));
            EXPECT_EQ(NiFloatBits(kAgain.m_kTranslate.z), NiFloatBits(kValue.m_kTranslate.z));
            EXPECT_EQ(NiFloatBits(kAgain.m_fScale), NiFloatBits(kValue.m_fScale));
            int iMoved = 0;
            for (int c = 0; c < 3; ++c)
                iMoved += auiHint[c] != auiBefore[c];
            iOneChannelMoved += iMoved == 1;
        }
        // The case the test is about did come up, often.
        EXPECT_GT(iOneChannelMoved, 100);
    }
}

// The views an interpolator keeps of its data's channels are not tied to the
// data object itself: handing it another data object, one that already
// exists, with no key changed anywhere in between, must still reach the
// next update, and so must the ways a data object is taken away or copied.
TEST_F(NiKeyEvaluationTest, TransformInterpolatorsFollowDataSwappedWithoutKeyChanges)
{
    NiTransformDataPtr spFirst = MakeTransformData(NI_LINKEY, NI_LINKEY, NI_LINKEY, 110);
    NiTransformDataPtr spSecond = MakeTransformData(NI_BEZKEY, NI_TCBKEY, NI_BEZKEY, 120);
    NiTransformInterpolatorPtr spInterp = new NiTransformInterpolator(spFirst);
    const std::uint64_t uiGeneration = NiKeyChannel::GetGeneration();
    auto fnCheck = [](NiTransformInterpolator& kInterp, float t) {
        std::uint32_t auiHint[3] = {};
        NiQuatTransform kValue;
        kInterp.UpdateTransform(t, nullptr, kValue);
        const NiQuatTransform kWant = TransformByTheKeys(*kInterp.GetTransformData(), kInterp.GetPoseValue(), t,
                                                         auiHint);
        EXPECT_EQ(NiFloatBits(kValue.m_kTranslate.x), NiFloatBits(kWant.m_kTranslate.x)) << "t " << t;
        EXPECT_EQ(NiFloatBits(kValue.m_kRotate.w), NiFloatBits(kWant.m_kRotate.w)) << "t " << t;
        EXPECT_EQ(NiFloatBits(kValue.m_fScale), NiFloatBits(kWant.m_fScale)) << "t " << t;
    };
    float t = 1.0f;
    for (int iRound = 0; iRound < 4; ++iRound)
    {
        SCOPED_TRACE(iRound);
        // Views taken of the first data, then the second handed over.
        fnCheck(*spInterp, t += 0.01f);
        spInterp->SetTransformData(iRound % 2 ? spFirst : spSecond);
        fnCheck(*spInterp, t += 0.01f);
        // A copy shares the data and keeps views of its own.
        NiTransformInterpolatorPtr spCopy = static_cast<NiTransformInterpolator*>(spInterp->Clone());
        ASSERT_NE(spCopy, nullptr);
        fnCheck(*spCopy, t += 0.01f);
        spCopy->SetTransformData(iRound % 2 ? spSecond : spFirst);
        fnCheck(*spCopy, t += 0.01f);
        fnCheck(*spInterp, t);
    }
    // Nothing above changed a key: the views alone had to notice.
    EXPECT_EQ(NiKeyChannel::GetGeneration(), uiGeneration);

    // Without data the pose is given, and with data again the keys.
    NiQuatTransform kPose;
    kPose.m_kTranslate = NiVec3(1.0f, 2.0f, 3.0f);
    kPose.m_kRotate = NiQuat::IDENTITY;
    kPose.m_fScale = 2.0f;
    spInterp->SetPoseValue(kPose);
    spInterp->SetTransformData(nullptr);
    NiQuatTransform kValue;
    ASSERT_TRUE(spInterp->UpdateTransform(t += 0.01f, nullptr, kValue));
    EXPECT_EQ(kValue.m_kTranslate, kPose.m_kTranslate);
    EXPECT_EQ(kValue.m_fScale, 2.0f);
    spInterp->SetTransformData(spSecond);
    fnCheck(*spInterp, t += 0.01f);

    // An interpolator is read for every animated node every frame: it keeps
    // to two cache lines' worth.
    EXPECT_LE(sizeof(NiTransformInterpolator), 128u);
}
