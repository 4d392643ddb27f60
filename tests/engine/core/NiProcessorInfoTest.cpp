#include "engine/core/NiProcessorInfo.h"

#include "engine/core/NiBatch.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
// A made-up processor: the answers per leaf; a missing leaf fails its query.
std::map<std::uint32_t, std::uint32_t> g_kEax;
std::map<std::uint32_t, std::uint32_t> g_kEdx;
std::map<std::uint32_t, int> g_kQueries;

bool FakeCpuid(std::uint32_t uiLeaf, std::uint32_t auiRegisters[4])
{
    ++g_kQueries[uiLeaf];
    auto kEdx = g_kEdx.find(uiLeaf);
    auto kEax = g_kEax.find(uiLeaf);
    if (kEdx == g_kEdx.end() && kEax == g_kEax.end())
        return false;
    auiRegisters[0] = kEax == g_kEax.end() ? 0 : kEax->second;
    auiRegisters[1] = 0;
    auiRegisters[2] = 0;
    auiRegisters[3] = kEdx == g_kEdx.end() ? 0 : kEdx->second;
    return true;
}

constexpr std::uint32_t MMX = 1u << 23;
constexpr std::uint32_t CMOV = 1u << 15;
constexpr std::uint32_t SSE = 1u << 25;
constexpr std::uint32_t NOW3D = 1u << 31;

class NiProcessorInfoTest : public testing::Test
{
protected:
    void SetUp() override
    {
        g_kEax.clear();
        g_kEdx.clear();
        g_kQueries.clear();
        NiResetBatchRoutines();
    }
    void TearDown() override { NiResetBatchRoutines(); }

    // A processor with extended functions up to 0x80000001.
    static void Extended(std::uint32_t uiExtendedEdx)
    {
        g_kEax[0x80000000u] = 0x80000001u;
        g_kEdx[0x80000001u] = uiExtendedEdx;
    }
};
} // namespace

TEST_F(NiProcessorInfoTest, ClassesFromStandardFlags)
{
    struct Case
    {
        std::uint32_t uiEdx;
        std::uint32_t uiClass;
    };
    for (const Case& c : {Case{0, 1}, Case{MMX, 2}, Case{CMOV, 3}, Case{MMX | CMOV, 4}, Case{MMX | CMOV | SSE, 5},
                          Case{SSE, 1}, Case{CMOV | SSE, 3}, Case{MMX | SSE, 2}})
    {
        SCOPED_TRACE(c.uiEdx);
        g_kEax.clear();
        g_kEdx.clear();
        Extended(0);
        g_kEdx[1] = c.uiEdx;
        EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), c.uiClass);
    }
}

TEST_F(NiProcessorInfoTest, ThreeDNowWinsOverStandardFlags)
{
    Extended(NOW3D);
    g_kEdx[1] = MMX | CMOV | SSE;
    EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), 6u);
    EXPECT_EQ(g_kQueries.count(1), 0u); // detection ended there
}

TEST_F(NiProcessorInfoTest, ExtendedFlagsAreOnlyAskedForWhenPresent)
{
    // Bit 31 clear in the highest extended function: no extended leaves, so
    // a 3DNow! bit there must not be looked at.
    g_kEax[0x80000000u] = 0x00000004u;
    g_kEdx[0x80000001u] = NOW3D;
    g_kEdx[1] = MMX | CMOV;
    EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), 4u);
    EXPECT_EQ(g_kQueries.count(0x80000001u), 0u);
}

TEST_F(NiProcessorInfoTest, FailedQueries)
{
    // First query fails: undetected.
    g_kEdx[1] = MMX | CMOV | SSE;
    EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), 0u);

    // Extended-flags query fails: counts as no 3DNow!.
    g_kEax[0x80000000u] = 0x80000008u;
    EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), 5u);

    // Standard-flags query fails: undetected.
    g_kEdx.erase(1);
    EXPECT_EQ(NiClassifyProcessor(&FakeCpuid), 0u);

    EXPECT_EQ(NiClassifyProcessor(nullptr), 0u);
}

TEST_F(NiProcessorInfoTest, RealProcessorDetectedOnce)
{
    EXPECT_FALSE(NiIsProcessorDetected());
    EXPECT_EQ(NiGetProcessorClass(), 0u);
    NiDetectProcessor();
    EXPECT_TRUE(NiIsProcessorDetected());
#if defined(__x86_64__)
    // Every x86-64 processor has MMX, conditional moves and SSE.
    std::uint32_t uiClass = NiGetProcessorClass();
    EXPECT_TRUE(uiClass == 5u || uiClass == 6u) << uiClass;
    std::uint32_t auiRegs[4] = {};
    ASSERT_TRUE(NiCpuid(1, auiRegs));
    EXPECT_NE(auiRegs[3] & SSE, 0u);
#else
    SUCCEED();
#endif
    NiDetectProcessor();
    EXPECT_TRUE(NiIsProcessorDetected());

    NiResetProcessorInfo();
    EXPECT_FALSE(NiIsProcessorDetected());
    EXPECT_EQ(NiGetProcessorClass(), 0u);
}
