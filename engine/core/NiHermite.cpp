#include "engine/core/NiHermite.h"

float NiHermiteCubic(float t, float fP0, float fM0, float fP1, float fM1)
{
    float d = fP1 - fP0;
    return (((fM0 + fM1 - 2.0f * d) * t + (3.0f * d - 2.0f * fM0 - fM1)) * t + fM0) * t + fP0;
}

void NiHermiteTangentsForInterval(float fP0, float fT0, float& fM0, float fP1, float fT1, float& fM1, float fTs,
                                  float& fTangentIn, float& fTangentOut)
{
    float d = fP1 - fP0;
    float g = 1.0f / (fT1 - fT0);
    float u = (fTs - fT0) * g;
    // The curve's derivative per unit of time at fTs.
    float fSlope = (u * (3.0f * u * (fM1 - 2.0f * d + fM0) + 2.0f * (3.0f * d - 2.0f * fM0 - fM1)) + fM0) * g;
    fTangentIn = fSlope * (fTs - fT0);
    fTangentOut = fSlope * (fT1 - fTs);
    fM0 = u * fM0;
    fM1 = fM1 * g * (fT1 - fTs);
}
