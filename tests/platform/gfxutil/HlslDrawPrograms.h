#pragma once

// What the high-level compiler's drawing tests share: the fixture that
// makes and draws their programs, and the programs more than one file of
// them draws (the last test of GfxUtilHlslGlslTest.cpp draws them all).

#include "platform/gfx/Gfx.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

namespace gfx::test {

inline constexpr const char* kVertexSource = R"(
float4x4 WorldViewProj;
float4 Tint : register(c2);
struct VIn { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 col : COLOR0; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 col : COLOR0; };
VOut main(VIn i) {
    VOut o;
    o.pos = mul(i.pos, WorldViewProj);
    o.uv = i.uv;
    o.col = saturate(i.col * Tint);
    return o;
}
)";

inline constexpr const char* kPixelSource = R"(
sampler2D Base : register(s0);
samplerCUBE Sky;
float4 Scale = {1, 0.5, 0.25, -2};
float4 main(float2 uv : TEXCOORD0, float4 col : COLOR0) : COLOR {
    return tex2D(Base, uv) * col * Scale + texCUBE(Sky, float3(uv, 1)) * 0.5;
}
)";

// The dialect's semantics, samplers and intrinsics as shader authors write them.
struct DialectCase {
    const char* what;
    const char* profile;
    const char* source;
};
inline const DialectCase kDialect[] = {
        {"vertex inputs and outputs", "vs_2_0", R"(
float4x4 WVP;
float3x3 NormalMatrix;
struct VIn {
    float4 pos : POSITION; float3 normal : NORMAL; float4 weights : BLENDWEIGHT; float4 indices : BLENDINDICES;
    float3 tangent : TANGENT; float3 binormal : BINORMAL; float4 c0 : COLOR0; float4 c1 : COLOR1;
    float2 t0 : TEXCOORD0; float3 t7 : TEXCOORD7;
};
struct VOut {
    float4 pos : POSITION; float4 c0 : COLOR0; float4 c1 : COLOR1; float2 t0 : TEXCOORD0; float3 t1 : TEXCOORD1;
    float fog : FOG; float size : PSIZE;
};
VOut main(VIn i) {
    VOut o;
    o.pos = mul(i.pos, WVP);
    float3 n = normalize(mul(i.normal, NormalMatrix));
    o.c0 = i.c0 * saturate(dot(n, float3(0, 0, 1))) * i.weights.x;
    o.c1 = lerp(i.c1, float4(i.tangent, 1), 0.5) + float4(cross(i.tangent, i.binormal), 0) * i.indices.y;
    o.t0 = i.t0;
    o.t1 = reflect(-n, i.t7);
    o.fog = clamp(o.pos.z, 0, 1);
    o.size = 1;
    return o;
}
)"},
        {"pixel samplers and intrinsics", "ps_3_0", R"(
sampler Plain;
sampler2D Diffuse : register(s1);
samplerCUBE Env : register(s2);
sampler3D Volume;
float4 Params;
static const float kScale = 0.5;
float4 main(float2 uv : TEXCOORD0, float4 proj : TEXCOORD1, float3 dir : TEXCOORD2, float2 vpos : VPOS,
            float face : VFACE) : COLOR0 {
    float4 a = tex2D(Diffuse, uv) + tex2Dproj(Diffuse, proj) + tex2Dlod(Diffuse, float4(uv, 0, 1));
    float4 b = texCUBE(Env, dir) + tex3D(Volume, dir) + tex2D(Plain, uv);
    float s = smoothstep(0, 1, frac(uv.x)) * step(0.5, uv.y) * pow(abs(Params.x), 2.0);
    float4 c = clamp(a * b * s * kScale, 0, 1);
    return face > 0 ? c : c * frac(vpos.x / 2);
}
)"},
        {"colour and depth outputs", "ps_2_0", R"(
void main(float4 c : COLOR0, out float4 o0 : COLOR0, out float4 o1 : COLOR1, out float depth : DEPTH) {
    o0 = c; o1 = c.wzyx; depth = c.x;
}
)"},
        {"vs_1_1 with a bone palette", "vs_1_1", R"(
float4x3 BoneMatrix3[20];
float4x4 ViewProj;
float4 main(float4 pos : POSITION, float4 w : BLENDWEIGHT, float4 idx : BLENDINDICES) : POSITION {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 p = mul(pos, BoneMatrix3[i.x]) * w.x + mul(pos, BoneMatrix3[i.y]) * w.y;
    return mul(float4(p, 1), ViewProj);
}
)"},
    {"an effect's texture and sampler_state, flat lists of numbers", "ps_2_0", R"(
texture Diffuse;
sampler2D DiffuseSampler = sampler_state { Texture = <Diffuse>; MinFilter = Linear; MagFilter = Linear; };
float2 Offsets[3] = { -0.326, -0.405, 0.5, 0.25, 0.1, 0.2 };
static const float2 kTaps[2] = { 0.5, -0.5, -1.0, 1.0 };
static const float4x4 kIdentity = { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1 };
float4 main(float2 uv : TEXCOORD0) : COLOR {
    float4 c = 0;
    for (int i = 0; i < 3; i++) c += tex2D(DiffuseSampler, uv + Offsets[i] + kTaps[i % 2]);
    return mul(c / 3, kIdentity);
}
)"},
};

// The programs most draws below pass the vertex colour through with.
inline constexpr const char* kColourPixel = "float4 main(float4 col : COLOR0) : COLOR { return col; }\n";
inline constexpr const char* kColourVertex = R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float4 c : COLOR0) { VOut o; o.pos = p; o.col = c; return o; }
)";

} // namespace gfx::test

// Compiled programs drawn on gl: the device takes the code beside token
// streams, constants set by name reach the pixels, and the code kept by the
// program makes it again.
class GfxUtilHlslDrawTest : public gfxtest::GlProgramTest {
protected:
    template <class Shader>
    Shader* Make(const gfx::test::Compiled& c) {
        Shader* out = nullptr;
        gfx::HRESULT hr = gfx::E_FAIL;
        if constexpr (std::is_same_v<Shader, gfx::IDirect3DVertexShader9>)
            hr = device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(c.code.data()),
                                            std::uint32_t(c.code.size()), &out);
        else
            hr = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(c.code.data()),
                                           std::uint32_t(c.code.size()), &out);
        EXPECT_EQ(hr, gfx::D3D_OK);
        return out;
    }
    // The quad program's transform (identity) and a white tint, by name.
    void SetQuadConstants(const gfx::test::Compiled& vs) {
        gfx::D3DXMATRIX identity{};
        for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.f;
        ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), gfx::D3D_OK);
        const gfx::D3DXVECTOR4 white{1.f, 1.f, 1.f, 1.f};
        ASSERT_EQ(vs.table->SetVector(device, "Tint", &white), gfx::D3D_OK);
    }
    void UnbindAndRelease(gfx::IDirect3DVertexShader9* v, gfx::IDirect3DPixelShader9* p) {
        EXPECT_EQ(device->SetVertexShader(nullptr), gfx::D3D_OK);
        EXPECT_EQ(device->SetPixelShader(nullptr), gfx::D3D_OK);
        v->Release();
        p->Release();
    }
};
