// Keyframed transforms for a crowd: 10,000 transform interpolators, each
// with 100 position, rotation and scale keys, updated once per 1/60 s frame,
// against the same lerp/slerp on raw arrays with the key index known.

#include "bench/BenchSupport.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiObjectStream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace
{
constexpr int INTERPOLATORS = 10000;
constexpr int KEYS = 100;
constexpr float KEY_STEP = 0.1f;
constexpr float RANGE = KEY_STEP * (KEYS - 1);
constexpr float FRAME = 1.0f / 60.0f;

float Wave(int i, int k, float fScale)
{
    return fScale * std::sin(0.37f * static_cast<float>(i) + 0.11f * static_cast<float>(k));
}

NiQuat Rotation(int i, int k)
{
    float fAngle = 0.5f * Wave(i, k, 1.0f);
    return NiQuat(std::cos(fAngle), std::sin(fAngle), 0.0f, 0.0f);
}

NiAnimKey* MakeKeys(std::uint32_t uiContent, std::uint32_t uiType, int i)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(uiContent, uiType);
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(uiContent, uiType)(KEYS);
    for (int k = 0; k < KEYS; ++k)
    {
        NiAnimKey* pkKey = NiAnimKey::At(pkKeys, static_cast<std::uint32_t>(k), ucSize);
        pkKey->m_fTime = KEY_STEP * static_cast<float>(k);
        if (uiContent == NI_POSKEY)
            static_cast<NiPosKey*>(pkKey)->m_kPos = NiVec3(Wave(i, k, 3.0f), Wave(i + 1, k, 2.0f), 0.0f);
        else if (uiContent == NI_ROTKEY)
            static_cast<NiRotKey*>(pkKey)->m_kQuat = Rotation(i, k);
        else
            static_cast<NiFloatKey*>(pkKey)->m_fValue = 1.0f + 0.1f * Wave(i, k, 1.0f);
    }
    NiAnimKeyTables::GetFillDerivedFunction(uiContent, uiType)(pkKeys, KEYS, ucSize);
    return pkKeys;
}

std::vector<NiTransformInterpolatorPtr> MakeCrowd(std::uint32_t uiPosType, std::uint32_t uiRotType)
{
    std::vector<NiTransformInterpolatorPtr> kCrowd;
    kCrowd.reserve(INTERPOLATORS);
    for (int i = 0; i < INTERPOLATORS; ++i)
    {
        NiTransformDataPtr spData = new NiTransformData;
        spData->ReplacePosKeys(MakeKeys(NI_POSKEY, uiPosType, i), KEYS, uiPosType);
        spData->ReplaceRotKeys(MakeKeys(NI_ROTKEY, uiRotType, i), KEYS, uiRotType);
        spData->ReplaceScaleKeys(MakeKeys(NI_FLOATKEY, NI_LINKEY, i), KEYS, NI_LINKEY);
        kCrowd.emplace_back(new NiTransformInterpolator(spData));
    }
    return kCrowd;
}

void CrowdFrame(std::vector<NiTransformInterpolatorPtr>& kCrowd, float& fTime)
{
    fTime += FRAME;
    if (fTime > RANGE)
        fTime -= RANGE;
    NiQuatTransform kValue;
    for (NiTransformInterpolatorPtr& sp : kCrowd)
        sp->UpdateTransform(fTime, nullptr, kValue);
    benchmark::DoNotOptimize(kValue);
}

void RunFrames(benchmark::State& kState, std::vector<NiTransformInterpolatorPtr>& kCrowd)
{
    float fTime = 0.0f;
    for (auto _ : kState)
        CrowdFrame(kCrowd, fTime);
    kState.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(kState.iterations()) * INTERPOLATORS, benchmark::Counter::kIsRate);
}

void BM_FrameLinear(benchmark::State& kState)
{
    auto kCrowd = MakeCrowd(NI_LINKEY, NI_LINKEY);
    RunFrames(kState, kCrowd);
}

void BM_FrameBezierTcb(benchmark::State& kState)
{
    auto kCrowd = MakeCrowd(NI_BEZKEY, NI_TCBKEY);
    RunFrames(kState, kCrowd);
}

// The same arithmetic with no tables, no search and no caches: the key
// index of the frame known, values in one plain array per channel.
struct RawArrays
{
    std::vector<NiVec3> m_kPos;
    std::vector<NiQuat> m_kRot;
    std::vector<float> m_kScale;
    float m_fTime = 0.0f;

    RawArrays()
        : m_kPos(static_cast<std::size_t>(INTERPOLATORS) * KEYS), m_kRot(m_kPos.size()), m_kScale(m_kPos.size())
    {
        for (int i = 0; i < INTERPOLATORS; ++i)
        {
            for (int k = 0; k < KEYS; ++k)
            {
                std::size_t n = static_cast<std::size_t>(i) * KEYS + static_cast<std::size_t>(k);
                m_kPos[n] = NiVec3(Wave(i, k, 3.0f), Wave(i + 1, k, 2.0f), 0.0f);
                m_kRot[n] = Rotation(i, k);
                m_kScale[n] = 1.0f + 0.1f * Wave(i, k, 1.0f);
            }
        }
    }

    void Frame()
    {
        m_fTime += FRAME;
        if (m_fTime > RANGE)
            m_fTime -= RANGE;
        int iKey = static_cast<int>(m_fTime / KEY_STEP);
        if (iKey > KEYS - 2)
            iKey = KEYS - 2;
        float u = (m_fTime - KEY_STEP * static_cast<float>(iKey)) / KEY_STEP;
        NiQuatTransform kValue;
        for (int i = 0; i < INTERPOLATORS; ++i)
        {
            std::size_t n = static_cast<std::size_t>(i) * KEYS + static_cast<std::size_t>(iKey);
            kValue.m_kTranslate = m_kPos[n] * (1.0f - u) + m_kPos[n + 1] * u;
            kValue.m_kRotate = NiQuat::Slerp(u, m_kRot[n], m_kRot[n + 1]);
            kValue.m_fScale = (1.0f - u) * m_kScale[n] + u * m_kScale[n + 1];
            benchmark::DoNotOptimize(kValue);
        }
    }
};

void BM_RawArrays(benchmark::State& kState)
{
    RawArrays kRaw;
    for (auto _ : kState)
        kRaw.Frame();
    kState.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(kState.iterations()) * INTERPOLATORS, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RawArrays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameLinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameBezierTcb)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    NiObjectStream::StaticInit();
    NiAnimationLibrary::Init();
    benchmark::Initialize(&argc, argv);
    RatioReporter kReporter;
    benchmark::RunSpecifiedBenchmarks(&kReporter);
    const double fRaw = kReporter.m_kTimes.count("BM_RawArrays") ? kReporter.m_kTimes["BM_RawArrays"] : 0.0;
    for (const char* pcCase : {"BM_FrameLinear", "BM_FrameBezierTcb"})
    {
        if (!kReporter.m_kTimes.count(pcCase) || fRaw <= 0.0)
            continue;
        double fFrameMs = kReporter.m_kTimes[pcCase];
        std::printf("%s: %.3f ms a frame (budget 16.7), %.0f evaluations/s\n", pcCase, fFrameMs,
                    INTERPOLATORS / (fFrameMs / 1000.0));
    }

    // The measures: frames of the crowd against frames of the raw loop in
    // interleaved pairs.
    {
        RawArrays kRaw;
        float fLinearTime = 0.0f, fCurveTime = 0.0f;
        auto kLinear = MakeCrowd(NI_LINKEY, NI_LINKEY);
        auto kCurves = MakeCrowd(NI_BEZKEY, NI_TCBKEY);
        PairRatio kLinearRatio = MeasurePairs(21, 0.02, [&] { CrowdFrame(kLinear, fLinearTime); }, [&] { kRaw.Frame(); });
        PairRatio kCurveRatio = MeasurePairs(21, 0.02, [&] { CrowdFrame(kCurves, fCurveTime); }, [&] { kRaw.Frame(); });
        PrintPairRatio("10,000 transform interpolators, linear keys / known-index loop", kLinearRatio, 2.0);
        PrintPairRatio("10,000 transform interpolators, Bezier and TCB keys / known-index loop", kCurveRatio, 4.0);
    }
    benchmark::Shutdown();
    NiAnimationLibrary::Shutdown();
    return 0;
}
