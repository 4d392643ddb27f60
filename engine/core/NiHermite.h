#pragma once

// Scalar cubic Hermite segments of the animation keys. Tangents are per unit
// of the segment parameter t in [0, 1]: m0 leaves p0, m1 enters p1.

// The value at t.
[[nodiscard]] float NiHermiteCubic(float t, float fP0, float fM0, float fP1, float fM1);

// Cuts the key interval [fT0, fT1] at the inner time fTs. On return fM0 and
// fM1 are the outer tangents rescaled to the two shorter segments
// [fT0, fTs] and [fTs, fT1], and fTangentIn / fTangentOut are the tangents
// entering and leaving the new key at fTs, so each half reproduces its part
// of the original curve. fT1 must differ from fT0.
void NiHermiteTangentsForInterval(float fP0, float fT0, float& fM0, float fP1, float fT1, float& fM1, float fTs,
                                  float& fTangentIn, float& fTangentOut);
