// Programs made, drawn and released one after another on one gl device, and
// register files the linker cut short: a changed register it dropped is never sent.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilMath.h"

#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gfx;

namespace {

class GfxGlProgramOrderTest : public gfxtest::GlProgramTest {
protected:
    // A compiled program's code, with its constant table; empty on failure (with a test failure).
    struct Code {
        std::vector<std::uint32_t> words;
        ID3DXConstantTable* table = nullptr;
        Code() = default;
        Code(const Code&) = delete;
        Code& operator=(const Code&) = delete;
        ~Code() {
            if (table) table->Release();
        }
    };
    void CompileTo(Code& out, const std::string& source, const char* entry, const char* profile) {
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), entry, profile, 0, &code,
                                             &errors, &out.table, nullptr);
        std::string message;
        if (errors) {
            message = static_cast<const char*>(errors->GetBufferPointer());
            errors->Release();
        }
        ASSERT_EQ(hr, D3D_OK) << message;
        ASSERT_NE(code, nullptr);
        const auto* w = static_cast<const std::uint32_t*>(code->GetBufferPointer());
        out.words.assign(w, w + code->GetBufferSize() / 4);
        code->Release();
    }
    // Creates the vertex program, sets two-component constants by name, draws the quad
    // through it and releases it; the centre pixel's colour is returned.
    std::uint32_t DrawOnce(const std::string& source, const char* entry, const char* profile,
                           const std::vector<std::pair<const char*, D3DXVECTOR4>>& constants,
                           const std::string& pixel = {}) {
        Code code;
        CompileTo(code, source, entry, profile);
        if (HasFatalFailure()) return 0;
        IDirect3DVertexShader9* vs = nullptr;
        EXPECT_EQ(device->CreateVertexShader(code.words.data(), std::uint32_t(code.words.size() * 4), &vs), D3D_OK);
        if (!vs) return 0;
        for (const auto& [name, value] : constants) EXPECT_EQ(code.table->SetVector(device, name, &value), D3D_OK) << name;
        IDirect3DPixelShader9* ps = nullptr;
        Code pixelCode;
        if (!pixel.empty()) {
            CompileTo(pixelCode, pixel, "main", "ps_2_0");
            if (!pixelCode.words.empty()) {
                EXPECT_EQ(device->CreatePixelShader(pixelCode.words.data(), std::uint32_t(pixelCode.words.size() * 4),
                                                    &ps),
                          D3D_OK);
            }
        }
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(ps), D3D_OK);
        Clear();
        DrawQuad(0xFF20A060u);
        const std::uint32_t centre = At(kSize / 2, kSize / 2);
        EXPECT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        vs->Release();
        if (ps) ps->Release();
        return centre;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxGlProgramOrderTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

// Three two-component constants, the last unread: the register file is three long.
constexpr const char* kScaled = R"(
uniform float2 S; uniform float2 T; uniform float2 Q;
struct O { float4 p : POSITION; float4 c : COLOR0; float2 t : TEXCOORD0; };
O A(float3 p : POSITION, float4 c : COLOR0) { O o; o.p = float4(p.xy / S, p.z, 1); o.c = c; o.t = p.xy / S + 0.5 / T; return o; }
O B(float3 p : POSITION, float4 c : COLOR0) { O o; o.p = float4(p.xy / S, p.z, 1); o.c = c; o.t = p.xy / S + 0.5 / T; return o; }
)";
// Eight registers, the first and last read.
constexpr const char* kEight = R"(
float4 L[8];
float4 C(float3 p : POSITION) : POSITION { return float4(p.xy / L[0].xy / L[7].xy, p.z, 1); }
)";

} // namespace

TEST_P(GfxGlProgramOrderTest, AProgramAfterOneWithALongerRegisterFileDraws) {
    if (Stopped()) return;
    const D3DXVECTOR4 one{1.f, 1.f, 0.f, 0.f};
    for (const char* profile : {"vs_2_0", "vs_3_0"}) {
        SCOPED_TRACE(profile);
        const std::uint32_t first = DrawOnce(kScaled, "A", "vs_2_0", {{"S", one}, {"T", one}});
        EXPECT_EQ(first & 0xFFFFFFu, 0x20A060u);
        // Every register of the file between is changed, the third one too.
        const D3DXVECTOR4 three{3.f, 3.f, 3.f, 3.f};
        EXPECT_EQ(DrawOnce(kEight, "C", profile, {{"L[0]", one}, {"L[2]", three}, {"L[7]", one}}) & 0xFFFFFFu,
                  0xFFFFFFu);
        const std::uint32_t third = DrawOnce(kScaled, "B", "vs_2_0", {{"S", one}, {"T", one}});
        EXPECT_EQ(third & 0xFFFFFFu, 0x20A060u);
    }
}

TEST_P(GfxGlProgramOrderTest, TheSameCodeReleasedAndMadeAgainDrawsEachTime) {
    if (Stopped()) return;
    // Register files of 3, 8 and 2 registers alternate; every constant between
    // is changed on the way, so each draw sends a different run of registers.
    constexpr const char* kTwo = R"(
float2 S; float2 T;
void D(float3 p : POSITION, float4 c : COLOR0, out float4 op : POSITION, out float4 oc : COLOR0) {
    op = float4(p.xy / S / T, p.z, 1);
    oc = c.bgra;
}
)";
    const D3DXVECTOR4 one{1.f, 1.f, 0.f, 0.f};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const D3DXVECTOR4 other{float(round + 2), 5.f, 6.f, 7.f};
        EXPECT_EQ(DrawOnce(kScaled, round % 2 ? "A" : "B", "vs_2_0", {{"S", one}, {"T", one}}) & 0xFFFFFFu,
                  0x20A060u);
        EXPECT_EQ(DrawOnce(kTwo, "D", "vs_2_0", {{"S", one}, {"T", one}}) & 0xFFFFFFu, 0x60A020u);
        EXPECT_EQ(DrawOnce(kEight, "C", "vs_3_0", {{"L[0]", one}, {"L[1]", other}, {"L[2]", other}, {"L[7]", one}}) &
                          0xFFFFFFu,
                  0xFFFFFFu)
                << "a colour the program does not write reads as white";
    }
}

// The linker keeps a register file only up to the last register the code
// reads: a later register changed alone is not sent, and the draw goes on.
TEST_P(GfxGlProgramOrderTest, ARegisterPastTheLastOneReadChangesAlone) {
    if (Stopped()) return;
    gfx::IDirect3DVertexShader9* vs = Vertex("vs_2_0\n"
                                             "dcl_position v0\n"
                                             "dcl_color v1\n"
                                             "mul r0, v1, c0\n"
                                             "add oD0, r0, c1\n"
                                             "mov r1, c3\n"
                                             "mov oPos, v0\n");
    gfx::IDirect3DPixelShader9* ps = Pixel("ps_2_0\n"
                                           "dcl v0\n"
                                           "mul r0, v0, c0\n"
                                           "mov r1, c5\n"
                                           "mov oC0, r0\n");
    ASSERT_TRUE(vs && ps);
    ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
    SetVsConstant(0, 1.f, 0.5f, 1.f, 1.f);
    SetVsConstant(1, 0.f, 0.f, 0.25f, 0.f);
    SetPsConstant(0, 1.f, 1.f, 0.5f, 1.f);
    DrawQuad(0xFF808080u);
    ExpectPixel(8, 8, 128, 64, 96, "first");
    for (std::uint32_t reg : {2u, 3u}) {
        SCOPED_TRACE(reg);
        SetVsConstant(reg, 9.f, 9.f, 9.f, 9.f);
        SetPsConstant(reg + 2, 9.f, 9.f, 9.f, 9.f);
        Clear();
        DrawQuad(0xFF808080u);
        ExpectPixel(8, 8, 128, 64, 96, "past the last read");
    }
    // A register that is read still lands after them.
    SetPsConstant(0, 0.5f, 1.f, 0.5f, 1.f);
    Clear();
    DrawQuad(0xFF808080u);
    ExpectPixel(8, 8, 64, 64, 96, "read");
}
