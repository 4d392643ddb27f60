// Texture objects an effect's programs read through sampler states
// (`img.Sample(samp, uv)`): every form of the texture's and the sampler's
// declarations, one texture read by two samplers and two textures by one
// sampler. Each effect is created on the gl device, its technique
// validated, and drawn with textures set on the texture parameters; the
// pixel read back shows which texel the sampler's addressing picked.

#include "platform/gfxutil/GfxUtilEffect.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace gfx;

namespace {

using gfx::test::kPassVertexFunction;

// The two texels of the textures drawn: at u = 1.25 a sampler that clamps
// reads the right one, one that wraps (the device's default) the left one.
constexpr std::uint32_t kLeft = 0xFF4080C0u, kRight = 0xFFC02060u;
constexpr std::uint32_t kOtherLeft = 0xFF10E030u, kOtherRight = 0xFF7050A0u;

double Red(std::uint32_t c) { return double((c >> 16) & 0xFF); }
double Green(std::uint32_t c) { return double((c >> 8) & 0xFF); }
double Blue(std::uint32_t c) { return double(c & 0xFF); }

} // namespace

class GfxUtilEffectTextureObjectsTest : public gfx::test::HlslDrawTest {
protected:
    void TearDown() override {
        if (device)
            for (std::uint32_t s : {0u, 1u, 2u, 3u, std::uint32_t(D3DVERTEXTEXTURESAMPLER0)}) device->SetTexture(s, nullptr);
        for (ID3DXEffect* fx : m_effects) EXPECT_EQ(fx->Release(), 0u);
        m_effects.clear();
        for (IDirect3DTexture9* t : m_textures) t->Release();
        m_textures.clear();
        HlslDrawTest::TearDown();
    }
    // The effect of the text (null, with a failure showing its messages,
    // when it is not created); released by the fixture.
    ID3DXEffect* Make(const std::string& text) {
        const gfx::test::MadeEffect made = gfx::test::MakeEffectFromText(device, text);
        EXPECT_EQ(made.hr, D3D_OK) << made.said << "\n" << text;
        EXPECT_EQ(made.said, "");
        if (made.fx) m_effects.push_back(made.fx);
        return made.fx;
    }
    // A 2 x 1 texture of two texels (0xAARRGGBB), released by the fixture.
    IDirect3DTexture9* TwoTexels(std::uint32_t left, std::uint32_t right) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        if (!texture) return nullptr;
        m_textures.push_back(texture);
        D3DLOCKED_RECT lr;
        if (texture->LockRect(0, &lr, nullptr, 0) == D3D_OK) {
            const std::uint32_t texels[2] = {left, right};
            std::memcpy(lr.pBits, texels, sizeof texels);
            texture->UnlockRect(0);
        }
        return texture;
    }
    // Every unit back to the device's defaults, no texture on any: what a
    // pass does not set cannot then come from the draw before it.
    void ResetUnits() {
        for (std::uint32_t s : {0u, 1u, 2u, 3u, std::uint32_t(D3DVERTEXTEXTURESAMPLER0)}) {
            ASSERT_EQ(device->SetTexture(s, nullptr), D3D_OK);
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP), D3D_OK);
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP), D3D_OK);
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_NONE), D3D_OK);
        }
    }
    // The technique validated, its first pass begun and the quad drawn over
    // black; `during` runs inside the pass, while its states are set.
    template <typename During>
    void Draw(ID3DXEffect* fx, const char* technique, During during) {
        ResetUnits();
        ASSERT_EQ(fx->ValidateTechnique(technique), D3D_OK) << technique << ": " << fx->ValidationError();
        ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
        ASSERT_EQ(passes, 1u);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
        Clear();
        DrawQuad();
        during();
        EXPECT_EQ(fx->EndPass(), D3D_OK);
        EXPECT_EQ(fx->End(), D3D_OK);
    }
    void Draw(ID3DXEffect* fx, const char* technique) {
        Draw(fx, technique, [] {});
    }
    // The texture at a unit while a pass is open.
    IDirect3DBaseTexture9* TextureAt(std::uint32_t unit) {
        IDirect3DBaseTexture9* t = nullptr;
        EXPECT_EQ(device->GetTexture(unit, &t), D3D_OK);
        if (t) t->Release(); // the fixture holds it
        return t;
    }

    std::vector<ID3DXEffect*> m_effects;
    std::vector<IDirect3DTexture9*> m_textures;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilEffectTextureObjectsTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

// Each declaration of the texture (any case of its type word, a `t`
// register or none, storage words, a semantic and annotations) with each
// declaration of the sampler (a state block with or without
// `= sampler_state`, `sampler` or `SamplerState`, no states at all): the
// effect is created, the texture is a 2-D texture parameter, and the texture
// set on it is read at the unit the program's sampler takes, addressed by
// the sampler's own states (clamped: the right texel; the device's wrap: the
// left one), at both shader models.
TEST_P(GfxUtilEffectTextureObjectsTest, EveryFormOfTextureAndSamplerReadsTheTextureSetOnIt) {
    if (Stopped()) return;
    const char* textures[] = {
        "Texture2D img;",
        "texture2D img;",
        "Texture2D img : register(t0);",
        "Texture2D img : register(t3);",
        "uniform Texture2D img : DIFFUSE < string ResourceName = \"Textures\\stone.dds\"; >;",
        "Texture2D img : register(t1) < string UIName = \"image\"; >;",
    };
    struct Sampler {
        const char* text;
        bool clamps;
    };
    const Sampler samplers[] = {
        {"SamplerState samp { MinFilter = Point; MagFilter = Point; AddressU = Clamp; };", true},
        {"SamplerState samp = sampler_state { MinFilter = Linear; AddressU = CLAMP; AddressV = Clamp; };", true},
        {"sampler samp = sampler_state { AddressU = Clamp; };", true},
        {"sampler samp { AddressU = Wrap; MagFilter = Point; };", false},
        {"SamplerState samp;", false},
    };
    IDirect3DTexture9* texture = TwoTexels(kLeft, kRight);
    ASSERT_NE(texture, nullptr);
    for (const char* profile : {"ps_2_0", "ps_3_0"})
        for (const char* declared : textures)
            for (const Sampler& s : samplers) {
                const std::string vertex = std::string(profile) == "ps_3_0" ? "vs_3_0" : "vs_2_0";
                const std::string text = std::string(kPassVertexFunction) + declared + "\n" + s.text + "\n" +
                                         "float4 PS(float2 uv : TEXCOORD0) : COLOR\n"
                                         "{ return img.Sample(samp, float2(1.25, uv.y)); }\n"
                                         "technique T { pass { VertexShader = compile " + vertex +
                                         " PassVS(); PixelShader = compile " + profile + " PS(); } }\n";
                SCOPED_TRACE(text);
                ID3DXEffect* fx = Make(text);
                if (!fx) continue;
                D3DXPARAMETER_DESC d{};
                ASSERT_EQ(fx->GetParameterDesc(fx->GetParameterByName(nullptr, "img"), &d), D3D_OK);
                EXPECT_EQ(d.Class, D3DXPC_OBJECT);
                EXPECT_EQ(d.Type, D3DXPT_TEXTURE2D);
                ASSERT_EQ(fx->SetTexture("img", texture), D3D_OK);
                // The program's one sampler takes the unit of the texture's
                // `t` register where it names one, s0 otherwise.
                const char* t = std::strstr(declared, "register(t");
                const std::uint32_t unit = t ? std::uint32_t(t[10] - '0') : 0u;
                Draw(fx, "T", [&] { EXPECT_EQ(TextureAt(unit), texture) << "the texture at the sampler's unit"; });
                const std::uint32_t texel = s.clamps ? kRight : kLeft;
                ExpectPixel(8, 8, Red(texel), Green(texel), Blue(texel), s.clamps ? "clamped" : "wrapped");
                // No texture set: the unit holds none, and the sampler reads black.
                ASSERT_EQ(fx->SetTexture("img", nullptr), D3D_OK);
                Draw(fx, "T", [&] { EXPECT_EQ(TextureAt(unit), nullptr); });
            }
}

// One texture read by two samplers: each combined sampler takes the
// texture at its own unit and its own sampler's addressing; and a sampler
// that names a texture of its own (`Texture = <other>`) reads, through
// `img.Sample`, `img`'s texture, the one the program names.
TEST_P(GfxUtilEffectTextureObjectsTest, OneTextureReadByTwoSamplers) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
texture other;
Texture2D img : register(t0);
SamplerState clamped { AddressU = Clamp; Texture = <other>; };
SamplerState wrapped = sampler_state { AddressU = Wrap; };
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float2 at = float2(1.25, uv.y);
    return float4(img.Sample(clamped, at).r, img.Sample(wrapped, at).g, 0, 1);
}
technique T { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(); } }
technique T3 { pass { VertexShader = compile vs_3_0 PassVS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ASSERT_NE(fx, nullptr);
    IDirect3DTexture9* texture = TwoTexels(kLeft, kRight);
    IDirect3DTexture9* decoy = TwoTexels(kOtherLeft, kOtherRight);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(decoy, nullptr);
    ASSERT_EQ(fx->SetTexture("img", texture), D3D_OK);
    ASSERT_EQ(fx->SetTexture("other", decoy), D3D_OK);
    for (const char* technique : {"T", "T3"}) {
        SCOPED_TRACE(technique);
        // The combined samplers in the order of their names: `clamped+img` s0, `wrapped+img` s1.
        Draw(fx, technique, [&] {
            EXPECT_EQ(TextureAt(0), texture);
            EXPECT_EQ(TextureAt(1), texture);
            std::uint32_t u0 = 0, u1 = 0;
            EXPECT_EQ(device->GetSamplerState(0, D3DSAMP_ADDRESSU, &u0), D3D_OK);
            EXPECT_EQ(device->GetSamplerState(1, D3DSAMP_ADDRESSU, &u1), D3D_OK);
            EXPECT_EQ(u0, std::uint32_t(D3DTADDRESS_CLAMP));
            EXPECT_EQ(u1, std::uint32_t(D3DTADDRESS_WRAP));
        });
        ExpectPixel(8, 8, Red(kRight), Green(kLeft), 0, "red clamped, green wrapped");
    }
}

// Two textures read by one sampler: both take its states, each its own
// texture; a texture set again between draws reaches the next one.
TEST_P(GfxUtilEffectTextureObjectsTest, TwoTexturesReadByOneSampler) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
Texture2D first;
TEXTURE2D second : register(t5);
SamplerState samp = sampler_state { AddressU = Clamp; MinFilter = Point; MagFilter = Point; };
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float2 at = float2(1.25, uv.y);
    return float4(first.Sample(samp, at).r, second.Sample(samp, at).g, second.Sample(samp, at).b, 1);
}
technique T { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(); } }
technique T3 { pass { VertexShader = compile vs_3_0 PassVS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ASSERT_NE(fx, nullptr);
    IDirect3DTexture9* a = TwoTexels(kLeft, kRight);
    IDirect3DTexture9* b = TwoTexels(kOtherLeft, kOtherRight);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (const char* technique : {"T", "T3"}) {
        SCOPED_TRACE(technique);
        ASSERT_EQ(fx->SetTexture("first", a), D3D_OK);
        ASSERT_EQ(fx->SetTexture("second", b), D3D_OK);
        // `samp+first` s0, `samp+second` at its texture's register, s5;
        // both clamped.
        Draw(fx, technique, [&] {
            EXPECT_EQ(TextureAt(0), a);
            EXPECT_EQ(TextureAt(5), b);
            std::uint32_t u5 = 0;
            EXPECT_EQ(device->GetSamplerState(5, D3DSAMP_ADDRESSU, &u5), D3D_OK);
            EXPECT_EQ(u5, std::uint32_t(D3DTADDRESS_CLAMP));
        });
        ExpectPixel(8, 8, Red(kRight), Green(kOtherRight), Blue(kOtherRight), "each texture's right texel");
        ASSERT_EQ(fx->SetTexture("first", b), D3D_OK);
        ASSERT_EQ(fx->SetTexture("second", a), D3D_OK);
        Draw(fx, technique);
        ExpectPixel(8, 8, Red(kOtherRight), Green(kRight), Blue(kRight), "the textures swapped");
    }
}

// A vertex program's texture object: the texture set on it, and its
// sampler's states, reach the device's vertex unit, and the colour the
// vertex program read is drawn.
TEST_P(GfxUtilEffectTextureObjectsTest, AVertexProgramReadsItsTextureAtAVertexUnit) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(R"(
Texture2D heights;
SamplerState samp { AddressU = Clamp; MagFilter = Point; MinFilter = Point; };
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut VS(float4 p : POSITION) { VOut o; o.pos = p; o.col = heights.SampleLevel(samp, float2(1.25, 0.5), 0); return o; }
float4 PS(float4 c : COLOR0) : COLOR { return c; }
technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ASSERT_NE(fx, nullptr);
    IDirect3DTexture9* texture = TwoTexels(kLeft, kRight);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(fx->SetTexture("heights", texture), D3D_OK);
    Draw(fx, "T", [&] {
        EXPECT_EQ(TextureAt(D3DVERTEXTEXTURESAMPLER0), texture);
        EXPECT_EQ(TextureAt(0), nullptr);
        std::uint32_t u = 0;
        EXPECT_EQ(device->GetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_ADDRESSU, &u), D3D_OK);
        EXPECT_EQ(u, std::uint32_t(D3DTADDRESS_CLAMP));
    });
    ExpectPixel(8, 8, Red(kRight), Green(kRight), Blue(kRight), "the clamped texel, read per vertex");
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, nullptr), D3D_OK);
}
