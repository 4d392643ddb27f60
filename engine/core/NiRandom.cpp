#include "engine/core/NiRandom.h"

#include <chrono>

namespace
{
// Additive feedback generator r[i] = r[i-3] + r[i-31] (mod 2^32) over a
// table seeded by a Park-Miller step, with the first 310 values discarded;
// each draw is the sum shifted right by one.
class AdditiveFeedback
{
public:
    AdditiveFeedback() { Seed(1); }

    void Seed(std::uint32_t uiSeed)
    {
        if (uiSeed == 0)
            uiSeed = 1;
        m_aiState[0] = static_cast<std::int32_t>(uiSeed);
        for (int i = 1; i < 31; ++i)
        {
            // 16807 * r mod (2^31 - 1) by Schrage's method, on signed words.
            std::int64_t iPrev = m_aiState[i - 1];
            std::int64_t iHi = iPrev / 127773;
            std::int64_t iLo = iPrev % 127773;
            std::int64_t iWord = 16807 * iLo - 2836 * iHi;
            if (iWord < 0)
                iWord += 2147483647;
            m_aiState[i] = static_cast<std::int32_t>(iWord);
        }
        m_iFront = 3;
        m_iRear = 0;
        for (int i = 0; i < 310; ++i)
            (void)Next();
    }

    int Next()
    {
        std::uint32_t uiSum = static_cast<std::uint32_t>(m_aiState[m_iFront]) +
                              static_cast<std::uint32_t>(m_aiState[m_iRear]);
        m_aiState[m_iFront] = static_cast<std::int32_t>(uiSum);
        int iResult = static_cast<int>(uiSum >> 1);
        if (++m_iFront >= 31)
            m_iFront = 0;
        if (++m_iRear >= 31)
            m_iRear = 0;
        return iResult;
    }

private:
    std::int32_t m_aiState[31] = {};
    int m_iFront = 3;
    int m_iRear = 0;
};

AdditiveFeedback g_kRandom;
} // namespace

int NiRand()
{
    return g_kRandom.Next();
}

void NiSeedRandom(std::uint32_t uiSeed)
{
    g_kRandom.Seed(uiSeed);
}

void NiSeedRandomFromTime()
{
    auto kNow = std::chrono::system_clock::now().time_since_epoch();
    g_kRandom.Seed(static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(kNow).count()));
}

void NiResetRandom()
{
    g_kRandom.Seed(1);
}
