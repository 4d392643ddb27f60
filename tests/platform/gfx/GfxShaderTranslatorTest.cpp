// The program translator: the interface it reads from a token stream, what
// it refuses (at creation, on both back ends alike, with one line naming the
// instruction) and how a link failure of a program pair is reported.
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

using namespace gfx;
using gfxtest::AssembleProgram;

namespace {

TranslatedShader Translate(const std::string& text, std::string* error = nullptr) {
    const auto words = AssembleProgram(text);
    TranslatedShader out;
    std::string why;
    const bool ok = TranslateShader(words.data(), words.size(), out, why);
    if (error) *error = ok ? std::string() : why;
    else EXPECT_TRUE(ok) << why;
    return out;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(GfxShaderTranslator, InputsOutputsAndSamplersComeFromTheDeclarations) {
    const TranslatedShader vs = Translate("vs_3_0\ndcl_position v0\ndcl_blendweight v3\ndcl_texcoord2 v5\n"
                                          "dcl_position o0\ndcl_texcoord1 o4.xy\ndcl_fog o5.x\n"
                                          "mov o0, v0\nmov o4.xy, v5\nmov o5.x, v3.x\n");
    EXPECT_TRUE(vs.vertex);
    EXPECT_EQ(vs.major, 3u);
    ASSERT_EQ(vs.inputs.size(), 3u);
    EXPECT_EQ(vs.inputs[1].usage, D3DDECLUSAGE_BLENDWEIGHT);
    EXPECT_EQ(vs.inputs[1].reg, 3u);
    EXPECT_EQ(vs.inputs[2].index, 2u);
    ASSERT_EQ(vs.outputs.size(), 3u);
    EXPECT_EQ(vs.outputs[1].mask, 0x3u);
    EXPECT_EQ(ShaderVaryingName(D3DDECLUSAGE_TEXCOORD, 1), "vT1");
    EXPECT_EQ(ShaderVaryingName(D3DDECLUSAGE_COLOR, 1), "vD1");
    EXPECT_EQ(ShaderVaryingName(D3DDECLUSAGE_FOG, 0), "vFogV");
    EXPECT_EQ(ShaderVaryingName(D3DDECLUSAGE_NORMAL, 2), "vS3_2");

    const TranslatedShader ps = Translate("ps_2_0\ndcl t1.xy\ndcl v1\ndcl_cube s3\ndcl_2d s0\n"
                                          "texld r0, t1, s3\ntexld r1, t1, s0\nmul r0, r0, v1\nmov oC0, r0\n");
    EXPECT_FALSE(ps.vertex);
    EXPECT_EQ(ps.samplers[3], D3DSTT_CUBE);
    EXPECT_EQ(ps.samplers[0], D3DSTT_2D);
    EXPECT_EQ(ps.samplers[1], 0u);
    EXPECT_EQ(ps.texcoordsRead, 0x2u);
    EXPECT_EQ(ps.colorsRead, 0x2u);
    EXPECT_EQ(PixelProgramVaryings(ps, false), (std::vector<std::string>{"vD1", "vT1"}));
    EXPECT_EQ(PixelProgramVaryings(ps, true), (std::vector<std::string>{"vD1", "vT1", "vFogV"}));

    // Before 2.0 the stage's texture decides the sampler.
    const TranslatedShader ps11 = Translate("ps_1_1\ntex t2\nmov r0, t2\n");
    EXPECT_EQ(ps11.samplers[2], kSamplerByTexture);
    EXPECT_EQ(ps11.texcoordsRead, 0x4u);
}

TEST(GfxShaderTranslator, ConstantFilesHoldWhatTheProgramReads) {
    // Direct reads: up to the highest register read; defined ones are the program's own.
    EXPECT_EQ(Translate("vs_1_1\ndcl_position v0\ndef c40, 1, 1, 1, 1\nmov oPos, c7\nadd oD0, v0, c40\n").constF, 8u);
    // A relative read needs the whole file: 256 vertex registers.
    EXPECT_EQ(Translate("vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, c[a0.x + 2]\n").constF, 256u);
    EXPECT_EQ(Translate("ps_3_0\nmov oC0, c223\n").constF, 224u);
    EXPECT_EQ(Translate("ps_2_0\nmov oC0, c31\n").constF, 32u);
    EXPECT_EQ(Translate("ps_1_4\nmov r0, c7\n").constF, 8u);
}

TEST(GfxShaderTranslator, MalformedStreamsAreRefusedNotRead) {
    std::string error;
    TranslatedShader out;
    EXPECT_FALSE(TranslateShader(nullptr, 0, out, error));
    const std::uint32_t noEnd[] = {D3DVS_VERSION(2, 0), 0x02000001u, 0x800F0000u, 0x90E40000u};
    EXPECT_FALSE(TranslateShader(noEnd, 4, out, error));
    // An else without its if, and an if never closed.
    const auto stray = AssembleProgram("vs_2_0\nelse\n");
    EXPECT_FALSE(TranslateShader(stray.data(), stray.size(), out, error));
    EXPECT_NE(error.find("'else'"), std::string::npos) << error;
    const auto open = AssembleProgram("vs_2_0\ndefb b0, true\nif b0\n");
    EXPECT_FALSE(TranslateShader(open.data(), open.size(), out, error));
    // A temporary beyond the 32 of the caps.
    std::vector<std::uint32_t> temp = AssembleProgram("vs_2_0\ndcl_position v0\nmov r1, v0\n");
    ASSERT_GE(temp.size(), 6u);
    temp[temp.size() - 3] = (temp[temp.size() - 3] & ~D3DSP_REGNUM_MASK) | 40u; // the destination r1 -> r40
    EXPECT_FALSE(TranslateShader(temp.data(), temp.size(), out, error));
    EXPECT_NE(error.find("'mov'"), std::string::npos) << error;
    // One input register declared twice (the driver would see one attribute twice).
    const auto twice = AssembleProgram("vs_2_0\ndcl_position v0\ndcl_normal v0\nmov oPos, v0\n");
    EXPECT_FALSE(TranslateShader(twice.data(), twice.size(), out, error));
    EXPECT_NE(error.find("twice"), std::string::npos) << error;
}

class GfxShaderRefusal : public gfxtest::BackendTest {};
GFX_BOTH_BACKENDS(GfxShaderRefusal);

TEST_P(GfxShaderRefusal, AProgramTheTranslatorCannotTakeIsRefusedAtCreation) {
    Create();
    // A vertex fetch from a sampler the program never declared: refused,
    // with one line naming the instruction.
    const auto words = AssembleProgram("vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_2d s0\n"
                                       "texldl r0, v0, s1\nmov o0, r0\n");
    IDirect3DVertexShader9* vs = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs), D3DERR_INVALIDCALL);
    const std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(vs, nullptr);
    EXPECT_EQ(Count(text, "\n"), 1u) << text;
    EXPECT_NE(text.find("'texldl'"), std::string::npos) << text;
    EXPECT_NE(text.find("vertex"), std::string::npos) << text;
    // The same program fetching from its declared sampler is taken.
    const auto fine = AssembleProgram("vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_2d s0\n"
                                      "texldl r0, v0, s0\nmov o0, r0\n");
    EXPECT_EQ(device->CreateVertexShader(fine.data(), std::uint32_t(fine.size() * 4), &vs), D3D_OK);
    ASSERT_NE(vs, nullptr);
    vs->Release();
}

// A program in the older style, with its inputs taken from the stream's
// order and no declarations: the assembler lets it through only when told to
// skip validation.
std::vector<std::uint32_t> Unvalidated(const std::string& text) {
    ID3DXBuffer* code = nullptr;
    EXPECT_EQ(D3DXAssembleShader(text.data(), std::uint32_t(text.size()), D3DXSHADER_SKIPVALIDATION, &code, nullptr),
              D3D_OK);
    std::vector<std::uint32_t> words;
    if (!code) return words;
    const auto* w = static_cast<const std::uint32_t*>(code->GetBufferPointer());
    words.assign(w, w + code->GetBufferSize() / 4);
    code->Release();
    return words;
}

// An input register read without a declaration is bound to no stream
// element: such a program is refused, naming the register; one that reads no
// input needs no declaration.
TEST_P(GfxShaderRefusal, AnInputReadWithoutItsDeclarationIsRefused) {
    Create();
    struct Case {
        const char* text;
        const char* missing; // "" when taken
    };
    const Case cases[] = {
        {"vs_1_1\nmov oPos, v0\nmov oD0, v1\n", "v0"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\nmad oD0, v3, c0, c1\n", "v3"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nmov r0, v2\nmov oT0, r0\n", "v2"},
        {"vs_3_0\ndcl_position o0\ndcl_position v0\nadd o0, v0, v1\n", "v1"},
        {"vs_1_1\nmov oPos, c0\nmov oD0, c1\n", ""},
        {"vs_1_1\ndcl_position v0\ndcl_color v1\nmov oPos, v0\nmov oD0, v1\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto words = Unvalidated(c.text);
        ASSERT_FALSE(words.empty());
        TranslatedShader out;
        std::string error;
        EXPECT_EQ(TranslateShader(words.data(), words.size(), out, error), !*c.missing) << error;
        IDirect3DVertexShader9* vs = nullptr;
        ::testing::internal::CaptureStderr();
        const HRESULT hr = device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs);
        const std::string text = ::testing::internal::GetCapturedStderr();
        if (*c.missing) {
            EXPECT_EQ(hr, D3DERR_INVALIDCALL);
            EXPECT_EQ(vs, nullptr);
            EXPECT_EQ(Count(text, "\n"), 1u) << text;
            EXPECT_NE(text.find(std::string("input register ") + c.missing + " is read but never declared"),
                      std::string::npos)
                << text;
        } else {
            EXPECT_EQ(hr, D3D_OK) << text;
            ASSERT_NE(vs, nullptr);
            vs->Release();
        }
    }
}

// A vertex program that never writes its position, or a 2.x pixel program
// that never writes its first colour, would draw nothing: refused at
// creation with the reason. A 1.x pixel program's colour is r0, always
// there; a 3.0 pixel program may leave its colours to the target.
TEST_P(GfxShaderRefusal, AProgramMissingTheOutputItMustWriteIsRefused) {
    Create();
    struct Case {
        const char* text;
        const char* reason; // "" when taken
    };
    const Case cases[] = {
        {"vs_1_1\nmov oD0, c0\n", "vertex program writes no position (oPos is never written)"},
        {"vs_2_0\ndcl_position v0\nmov oT0, v0\n", "vertex program writes no position (oPos is never written)"},
        {"vs_3_0\ndcl_color o0\nmov o0, c0\n",
         "vertex program writes no position (no output register is declared as position)"},
        {"vs_3_0\ndcl_position o0\ndcl_color o1\nmov o1, c0\n",
         "vertex program writes no position (o0, declared as position, is never written)"},
        {"ps_2_0\ndef c0, 1, 0, 0, 1\nmov r0, c0\n", "pixel program writes no colour (oC0 is never written)"},
        {"ps_2_0\ndef c0, 1, 0, 0, 1\nmov oDepth, c0.x\n", "pixel program writes no colour (oC0 is never written)"},
        {"ps_2_x\ndef c0, 1, 0, 0, 1\nmov oC1, c0\n", "pixel program writes no colour (oC0 is never written)"},
        {"vs_1_1\nmov oPos, c0\n", ""},
        {"vs_2_0\ndefb b0, true\nif b0\nmov oPos, c0\nendif\n", ""},
        {"vs_3_0\ndcl_color o0\ndcl_position o1\nmov o1, c0\nmov o0, c1\n", ""},
        {"ps_1_1\nmov r0, v0\n", ""},
        {"ps_1_4\ndef c0, 1, 0, 0, 1\nmov r0, c0\n", ""},
        {"ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\nmov oDepth, c0.x\n", ""},
        {"ps_3_0\ndef c0, 1, 0, 0, 1\nmov oDepth, c0.x\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const bool vertex = c.text[0] == 'v';
        const auto words = Unvalidated(c.text);
        ASSERT_FALSE(words.empty());
        ShaderObject* made = nullptr;
        ::testing::internal::CaptureStderr();
        HRESULT hr;
        if (vertex) {
            IDirect3DVertexShader9* vs = nullptr;
            hr = device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs);
            made = vs;
        } else {
            IDirect3DPixelShader9* ps = nullptr;
            hr = device->CreatePixelShader(words.data(), std::uint32_t(words.size() * 4), &ps);
            made = ps;
        }
        const std::string text = ::testing::internal::GetCapturedStderr();
        if (*c.reason) {
            EXPECT_EQ(hr, D3DERR_INVALIDCALL);
            EXPECT_EQ(made, nullptr);
            EXPECT_EQ(Count(text, "\n"), 1u) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            EXPECT_NE(text.find(vertex ? "a vertex program" : "a pixel program"), std::string::npos) << text;
        } else {
            EXPECT_EQ(hr, D3D_OK) << text;
            EXPECT_TRUE(text.empty()) << text;
            ASSERT_NE(made, nullptr);
            made->Release();
        }
    }
}

// A 3.0 pixel program that writes no colour leaves the target as it was,
// while its depth still lands; one that writes its colour draws it.
class GfxGlProgramOutputs : public gfxtest::GlProgramTest {};

TEST_P(GfxGlProgramOutputs, A30PixelProgramWithoutColourKeepsTheTarget) {
    const char* vs = "vs_3_0\ndcl_position v0\ndcl_position o0\nmov o0, v0\n";
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    Clear(0xFF0000FFu);
    DrawWith(vs, "ps_3_0\ndef c0, 0.25, 0, 0, 1\nmov r0, c0\nmov oDepth, c0.x\n");
    ExpectPixel(8, 8, 0, 0, 255);
    // Its depth of 0.25 landed: a draw at 0.5 behind it is hidden.
    DrawWith(vs, "ps_3_0\ndef c0, 0, 1, 0, 1\nmov oC0, c0\n");
    ExpectPixel(8, 8, 0, 0, 255);
    // The same program writing its colour draws it.
    Clear(0xFF0000FFu);
    DrawWith(vs, "ps_3_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\nmov oDepth, c0.w\n");
    ExpectPixel(8, 8, 255, 0, 0);
}
INSTANTIATE_TEST_SUITE_P(, GfxGlProgramOutputs, ::testing::Bool(), gfxtest::GlReadBackParamName);

class GfxGlProgramFailure : public gfxtest::GlProgramTest {
protected:
    HRESULT DrawRaw() {
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
        device->SetFVF(gfxtest::kProgramVertexFvf);
        return device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(gfxtest::ProgramVertex));
    }
};

TEST_P(GfxGlProgramFailure, ALinkFailureIsReportedOnceAndTheDrawFails) {
    auto* vs = Vertex(gfxtest::kPassVertex);
    auto* ps = Pixel("ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\n");
    ASSERT_TRUE(vs && ps);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);
    for (const auto& [fault, kind] : {std::pair{BackendFault::CompileError, "compile failed"},
                                      std::pair{BackendFault::LinkError, "link failed"}}) {
        SCOPED_TRACE(kind);
        device->InjectBackendFault(fault);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(DrawRaw(), D3DERR_DRIVERINTERNALERROR);
        EXPECT_EQ(DrawRaw(), D3DERR_DRIVERINTERNALERROR);
        const std::string text = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(Count(text, kind), 1u) << text;
        ExpectPixel(8, 8, 0, 0, 0);
    }
    device->InjectBackendFault(BackendFault::None);
    DrawQuad();
    ExpectPixel(8, 8, 255, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(, GfxGlProgramFailure, ::testing::Bool(), gfxtest::GlReadBackParamName);

class GfxGlNoInputProgram : public gfxtest::GlProgramTest {};

// A program that reads no input draws from its constants alone: a point of
// four pixels at the centre, in the constant's colour.
TEST_P(GfxGlNoInputProgram, AProgramReadingNoInputDraws) {
    auto* vs = Vertex("vs_1_1\nmov oPos, c0\nmov oD0, c1\nmov oPts, c2.x\n");
    ASSERT_NE(vs, nullptr);
    SetVsConstant(0, 0, 0, 0.5f, 1);
    SetVsConstant(1, 0, 1, 0, 1);
    SetVsConstant(2, 4, 0, 0, 0);
    ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
    const float point[3] = {0, 0, 0};
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, point, sizeof point), D3D_OK);
    ExpectPixel(8, 8, 0, 255, 0);
    ExpectPixel(2, 2, 0, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(, GfxGlNoInputProgram, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
