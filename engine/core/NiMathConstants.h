#pragma once

// Shared scalar constants of the math code. They are spelled as exact float
// literals rather than computed while static objects are built, so any
// static initialiser in any library may use them without an ordering
// hazard; the math tests check each against the formula it stands for.

// 4 * atan(1) evaluated in single precision.
inline constexpr float NI_PI = 0x1.921fb6p+1f;
inline constexpr float NI_HALF_PI = NI_PI * 0.5f;
inline constexpr float NI_TWO_PI = NI_PI * 2.0f;

// sqrt(FLT_MAX) in single precision: the largest value whose square is still
// finite.
inline constexpr float NI_SQRT_MAX_FLOAT = 0x1.fffffep+63f;

// The most negative finite float (-3.4028235e38); the animation code fills
// sentinel quaternions with it.
inline constexpr float NI_MIN_FLOAT = -0x1.fffffep+127f;

// Fast quaternion interpolation. FastNormalize approximates 1/sqrt(v) by the
// line L(v) = k1 + k2 (v - s0) about s0, refined by Newton steps when v lies
// further away.
inline constexpr float NI_FAST_SLERP_S0 = 0.959066f;
// 1.000311 / sqrt(s0), single precision.
inline constexpr float NI_FAST_SLERP_K1 = 0x1.057cc6p+0f;
// -0.5 * 1.000311 / (sqrt(s0) * s0), single precision.
inline constexpr float NI_FAST_SLERP_K2 = -0x1.10a5e2p-1f;
// Below these squared lengths one, then two Newton refinements are needed.
inline constexpr float NI_FAST_SLERP_REFINE_1 = 0.915212f;
inline constexpr float NI_FAST_SLERP_REFINE_2 = 0.6521197f;
// Parameter correction of the fast slerp.
inline constexpr float NI_FAST_SLERP_ATTENUATION = 0.8227969f;
inline constexpr float NI_FAST_SLERP_CORRECTION = 0.5854922f;

// Matrix and quaternion elements at most this large are written as 0.
inline constexpr float NI_SNAP_EPSILON = 1e-8f;
