#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxBackendFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace gfx;

namespace {

struct Assembled {
    HRESULT result = D3D_OK;
    std::vector<std::uint32_t> tokens;
    std::string errors;
};

Assembled Assemble(const std::string& text, std::uint32_t flags = 0) {
    Assembled out;
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXAssembleShader(text.data(), static_cast<std::uint32_t>(text.size()), flags, &code, &errors);
    if (code) {
        const auto* words = static_cast<const std::uint32_t*>(code->GetBufferPointer());
        out.tokens.assign(words, words + code->GetBufferSize() / 4);
        EXPECT_EQ(code->Release(), 0u);
    }
    if (errors) {
        const auto* text0 = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_EQ(text0[errors->GetBufferSize() - 1], '\0');
        out.errors = text0;
        EXPECT_EQ(errors->Release(), 0u);
    }
    return out;
}

// Each program with its token words, worked out by hand from the published
// layout: version, instruction (opcode, control, length from 2.0 on),
// parameters (type bits 28-30 and 11-12, number, mask or swizzle, modifiers).
struct Golden {
    const char* text;
    std::vector<std::uint32_t> tokens;
};

const Golden kVertex11 = {
    "vs_1_1\n"
    "dcl_position v0   ; the position\n"
    "m4x4 oPos, v0, c0 // four rows\n"
    "mov oD0, c4.x\n",
    {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x00000014, 0xC00F0000, 0x90E40000, 0xA0E40000, 0x00000001,
     0xD00F0000, 0xA0000004, 0x0000FFFF}};

const Golden kPixel11 = {
    "ps.1.1\n"
    "def c0, 1.0, 0.5, -2.0, 0.0\n"
    "tex t0\n"
    "mul_x2 r0.rgb, t0_bx2, -c0\n"
    "+mov_sat r0.a, 1-v0.a\n",
    {0xFFFF0101, 0x00000051, 0xA00F0000, 0x3F800000, 0x3F000000, 0xC0000000, 0x00000000, 0x00000042, 0xB00F0000,
     0x00000005, 0x81070000, 0xB4E40000, 0xA1E40000, 0x40000001, 0x80180000, 0x96FF0000, 0x0000FFFF}};

const Golden kPixel20 = {
    "ps_2_0\n"
    "dcl t0.xy\n"
    "dcl_2d s0\n"
    "texld r0, t0, s0\n"
    "mov oC0, r0\n",
    {0xFFFF0200, 0x0200001F, 0x80000000, 0xB0030000, 0x0200001F, 0x90000000, 0xA00F0800, 0x03000042, 0x800F0000,
     0xB0E40000, 0xA0E40800, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF}};

const Golden kVertex2x = {
    "vs_2_x\n"
    "defb b0, true\n"
    "dcl_texcoord1 v1\n"
    "mova a0.x, v1.x\n"
    "setp_gt p0.x, v1.x, c0.y\n"
    "(!p0.x) mov r0, c[a0.x + 3]\n"
    "mov oPos, r0\n",
    {0xFFFE0201, 0x0200002F, 0xE00F0800, 0x00000001, 0x0200001F, 0x80010005, 0x900F0001, 0x0200002E, 0xB0010000,
     0x90000001, 0x0301005E, 0xB0011000, 0x90000001, 0xA0550000, 0x14000001, 0x800F0000, 0xBD001000, 0xA0E42003,
     0xB0000000, 0x02000001, 0xC00F0000, 0x80E40000, 0x0000FFFF}};

const Golden* const kGoldens[] = {&kVertex11, &kPixel11, &kPixel20, &kVertex2x};

} // namespace

TEST(GfxUtilShaderAssembleTest, ProgramsGiveThePublishedTokens) {
    for (const Golden* golden : kGoldens) {
        const Assembled out = Assemble(golden->text);
        EXPECT_EQ(out.result, D3D_OK) << golden->text << out.errors;
        EXPECT_EQ(out.tokens, golden->tokens) << golden->text;
        EXPECT_TRUE(out.errors.empty());
    }
    // Object-like macros, in any letter case of the text; #undef ends them.
    const Assembled defined = Assemble("#define POS v0\nVS_1_1\nDCL_POSITION POS\nM4X4 oPos, POS, C0\n"
                                       "mov oD0, c4.x\n");
    EXPECT_EQ(defined.tokens, kVertex11.tokens);
    EXPECT_EQ(Assemble("#define POS v0\nvs_1_1\n#undef POS\nmov oPos, POS\n").errors,
              "line 4: unknown register 'pos'\n");
    // A macro that names itself grows each round: the line is refused, not built.
    const Assembled grown = Assemble("#define R R R R R R R R R R\nvs_1_1\nmov oPos, R\n");
    EXPECT_NE(grown.result, D3D_OK);
    EXPECT_EQ(grown.errors, "line 3: the line grows too long through its macros\n");
}

TEST(GfxUtilShaderAssembleTest, EachProblemIsReportedWithItsLine) {
    const Assembled out = Assemble("vs_1_1\n"
                                   "texld r0, t0, s0\n"
                                   "mad r0, r1, r2\n"
                                   "mov r0, q0\n"
                                   "mov r12, v0\n"
                                   "mov r0.yx, v0\n"
                                   "mov r0, v0.xq\n"
                                   "vs_2_0\n"
                                   "#include \"more.vsh\"\n"
                                   "madd r0, r0, r0\n"
                                   "mov oC0, r0\n"
                                   "+mov r0, v0\n"
                                   "mov_sat_x r0, v0\n"
                                   "def c0, 1.0, one, 0, 0\n");
    EXPECT_EQ(out.result, D3DXERR_INVALIDDATA);
    EXPECT_TRUE(out.tokens.empty());
    EXPECT_EQ(out.errors, "line 2: 'texld' is not available in vs_1_1\n"
                          "line 3: 'mad' takes 4 operands, not 3\n"
                          "line 4: unknown register 'q0'\n"
                          "line 5: register 'r12' is out of range\n"
                          "line 6: bad write mask '.yx'\n"
                          "line 7: bad swizzle '.xq'\n"
                          "line 8: second version line 'vs_2_0'\n"
                          "line 9: unsupported directive '#include'\n"
                          "line 10: unknown instruction 'madd'\n"
                          "line 11: register 'oc0' is not available in vs_1_1\n"
                          "line 12: co-issue '+' is only for ps_1_x\n"
                          "line 13: unknown modifier '_x' on 'mov'\n"
                          "line 14: bad value 'one'\n");
    EXPECT_EQ(Assemble("\nmov r0, v0\n").errors, "line 2: missing version line\n");
    EXPECT_EQ(Assemble("").errors, "line 1: missing version line\n");
    EXPECT_EQ(Assemble("ps_1_1\nnrm r0, r1\n").errors, "line 2: 'nrm' is not available in ps_1_1\n");
    // The skip-validation flag lifts the register limits, not the rules.
    EXPECT_EQ(Assemble("vs_1_1\nmov r12, v0\n", D3DXSHADER_SKIPVALIDATION).result, D3D_OK);
    EXPECT_EQ(Assemble("vs_1_1\nmov r2048, v0\n", D3DXSHADER_SKIPVALIDATION).result, D3DXERR_INVALIDDATA);
}

// Text saved by Windows and older Mac editors: a byte-order mark first and
// CR LF or lone CR line ends assemble as plain lines do, problems at the same
// line numbers.
TEST(GfxUtilShaderAssembleTest, ByteOrderMarksAndEveryLineEndAreRead) {
    const Assembled plain = Assemble(kVertex11.text);
    ASSERT_EQ(plain.result, D3D_OK) << plain.errors;
    for (const std::string end : {"\r", "\r\n"}) {
        SCOPED_TRACE(end == "\r" ? "CR" : "CR LF");
        std::string text = "\xEF\xBB\xBF";
        for (const char c : std::string(kVertex11.text)) text += c == '\n' ? end : std::string(1, c);
        const Assembled marked = Assemble(text);
        ASSERT_EQ(marked.result, D3D_OK) << marked.errors;
        EXPECT_EQ(marked.tokens, plain.tokens);
        EXPECT_EQ(Assemble("\xEF\xBB\xBFvs_1_1" + end + "// note" + end + end + "madd r0, r0, r0" + end).errors,
                  "line 4: unknown instruction 'madd'\n");
    }
    // Not first, the mark is no part of a word the assembler knows.
    EXPECT_EQ(Assemble("vs_1_1\n\xEF\xBB\xBFmov r0, v0\n").result, D3DXERR_INVALIDDATA);
}

// A vertex program's input register is bound to the stream only by its
// declaration: a read of one never declared is refused at its line, once per
// register; a program that reads no input needs none.
TEST(GfxUtilShaderAssembleTest, InputsAreReadOnlyOnceDeclared) {
    const std::string olderText = "vs_1_1\n"
                                  "mov oPos, v0\n"
                                  "mov oD0, v1\n"
                                  "add oT0, v1, v0\n";
    const Assembled older = Assemble(olderText);
    EXPECT_EQ(older.result, D3DXERR_INVALIDDATA);
    EXPECT_TRUE(older.tokens.empty());
    EXPECT_EQ(older.errors, "line 2: input register 'v0' is read but never declared\n"
                            "line 3: input register 'v1' is read but never declared\n");
    const Assembled partly = Assemble("vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oD0, v7.x\n");
    EXPECT_EQ(partly.errors, "line 4: input register 'v7' is read but never declared\n");
    // A declaration after the read still declares it.
    EXPECT_EQ(Assemble("vs_1_1\nmov oPos, v0\ndcl_position v0\n").result, D3D_OK);
    EXPECT_EQ(Assemble("vs_1_1\nmov oPos, c0\nmov oD0, c1\n").result, D3D_OK);
    EXPECT_EQ(Assemble("vs_3_0\ndcl_position o0\nmov o0, c0\n").result, D3D_OK);
    // Pixel programs before 3.0 read their colours without declarations.
    EXPECT_EQ(Assemble("ps_1_1\nmov r0, v0\n").result, D3D_OK);
    // Skipping validation lets the older form through to the device, which
    // refuses it at creation.
    EXPECT_EQ(Assemble(olderText, D3DXSHADER_SKIPVALIDATION).result, D3D_OK);
}

TEST(GfxUtilShaderAssembleTest, DefinitionsTakeCFloatSuffixes) {
    // The same words as the plain literals; one suffix only, after digits.
    const Assembled suffixed = Assemble("ps.1.1\ndef c0, 1.0f, 0.5F, -2.0f, 0f\ntex t0\n"
                                        "mul_x2 r0.rgb, t0_bx2, -c0\n+mov_sat r0.a, 1-v0.a\n");
    EXPECT_EQ(suffixed.result, D3D_OK) << suffixed.errors;
    EXPECT_EQ(suffixed.tokens, kPixel11.tokens);
    EXPECT_EQ(Assemble("vs_1_1\ndef c0, 1.0ff, 0, 0, 0\n").errors, "line 2: bad value '1.0ff'\n");
    EXPECT_EQ(Assemble("vs_1_1\ndef c0, f, 0, 0, 0\n").errors, "line 2: bad value 'f'\n");
    EXPECT_EQ(Assemble("vs_2_0\ndefi i0, 1f, 0, 0, 0\n").errors, "line 2: bad value '1f'\n");
}

TEST(GfxUtilShaderAssembleTest, TokenStreamsCarryNoTableAndFilesGoThroughTheResolver) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ID3DXConstantTable* table = reinterpret_cast<ID3DXConstantTable*>(1);
    EXPECT_EQ(D3DXGetShaderConstantTable(kVertex11.tokens.data(), &table), D3DXERR_INVALIDDATA);
    EXPECT_EQ(table, nullptr);

    char folder[] = "/tmp/gfxutil-shader-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/Water.VSH";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(kVertex11.text, f);
    std::fclose(f);
    const std::string asked = std::string(folder) + "\\water.vsh";
    ASSERT_EQ(D3DXAssembleShaderFromFile(asked.c_str(), 0, &code, &errors), D3D_OK);
    EXPECT_EQ(errors, nullptr);
    ASSERT_EQ(code->GetBufferSize(), kVertex11.tokens.size() * 4);
    EXPECT_EQ(std::memcmp(code->GetBufferPointer(), kVertex11.tokens.data(), code->GetBufferSize()), 0);
    code->Release();
    EXPECT_EQ(D3DXAssembleShaderFromFile((std::string(folder) + "/none.vsh").c_str(), 0, &code, &errors),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(code, nullptr);
    ASSERT_NE(errors, nullptr);
    errors->Release();
    std::filesystem::remove_all(folder);
}

TEST(GfxUtilShaderAssembleTest, ProfilesFollowTheCapsAndStreamsAreRead) {
    D3DCAPS9 caps{};
    EXPECT_EQ(VertexShaderProfileForCaps(caps), nullptr);
    EXPECT_EQ(PixelShaderProfileForCaps(caps), nullptr);
    caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    EXPECT_STREQ(VertexShaderProfileForCaps(caps), "vs_1_1");
    EXPECT_STREQ(PixelShaderProfileForCaps(caps), "ps_1_4");
    caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    EXPECT_STREQ(VertexShaderProfileForCaps(caps), "vs_3_0");
    EXPECT_STREQ(PixelShaderProfileForCaps(caps), "ps_2_0");

    EXPECT_EQ(D3DXGetShaderVersion(kPixel20.tokens.data()), 0xFFFF0200u);
    std::uint32_t count = 0;
    D3DXSEMANTIC semantics[4];
    ASSERT_EQ(D3DXGetShaderInputSemantics(kVertex2x.tokens.data(), semantics, &count), D3D_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(semantics[0].Usage, 5u); // TEXCOORD
    EXPECT_EQ(semantics[0].UsageIndex, 1u);
    ASSERT_EQ(D3DXGetShaderInputSemantics(kPixel20.tokens.data(), nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 0u); // t0 is a texture coordinate register, not an input
}

class GfxUtilShaderDeviceTest : public gfxtest::BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxUtilShaderDeviceTest, ::testing::Values(gfx::BackendKind::Null),
                         gfxtest::BackendParamName);

// Streams cut anywhere, without their end or of the other kind are refused,
// and each copy is exactly as long as the cut so a read beyond it shows.
TEST_P(GfxUtilShaderDeviceTest, ProgramsAreCreatedOnlyFromWholeStreams) {
    Create();
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_STREQ(D3DXGetVertexShaderProfile(device), "vs_3_0"); // the device runs programs 1.1-3.0
    EXPECT_STREQ(D3DXGetPixelShaderProfile(device), "ps_3_0");
    for (const Golden* golden : kGoldens) {
        const std::vector<std::uint32_t>& tokens = golden->tokens;
        const bool pixel = (tokens[0] & 0xFFFF0000u) == 0xFFFF0000u;
        auto create = [&](const std::uint32_t* data, std::uint32_t bytes, bool asPixel) {
            if (asPixel) {
                IDirect3DPixelShader9* shader = nullptr;
                const HRESULT hr = device->CreatePixelShader(data, bytes, &shader);
                if (shader) shader->Release();
                return hr;
            }
            IDirect3DVertexShader9* shader = nullptr;
            const HRESULT hr = device->CreateVertexShader(data, bytes, &shader);
            if (shader) shader->Release();
            return hr;
        };
        for (std::size_t bytes = 0; bytes < tokens.size() * 4; ++bytes) {
            std::vector<std::uint8_t> cut(reinterpret_cast<const std::uint8_t*>(tokens.data()),
                                          reinterpret_cast<const std::uint8_t*>(tokens.data()) + bytes);
            cut.shrink_to_fit();
            std::vector<std::uint32_t> words((bytes + 3) / 4);
            if (bytes) std::memcpy(words.data(), cut.data(), bytes);
            words.shrink_to_fit();
            EXPECT_EQ(create(words.empty() ? nullptr : words.data(), static_cast<std::uint32_t>(bytes), pixel),
                      D3DERR_INVALIDCALL)
                << golden->text << " cut at " << bytes;
        }
        EXPECT_EQ(create(tokens.data(), static_cast<std::uint32_t>(tokens.size() * 4), pixel), D3D_OK);
        EXPECT_EQ(create(tokens.data(), static_cast<std::uint32_t>(tokens.size() * 4), !pixel), D3DERR_INVALIDCALL);
        std::vector<std::uint32_t> unknown = tokens;
        unknown[1] = (unknown[1] & ~0xFFFFu) | 0x00FF; // no such instruction
        EXPECT_EQ(create(unknown.data(), static_cast<std::uint32_t>(unknown.size() * 4), pixel), D3DERR_INVALIDCALL);
    }
    // A draw with a created program bound goes through.
    EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0300u);
    EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0300u);
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(device->CreateVertexShader(kVertex11.tokens.data(),
                                         static_cast<std::uint32_t>(kVertex11.tokens.size() * 4), &shader),
              D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    EXPECT_EQ(device->SetVertexShader(shader), D3D_OK);
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ), D3D_OK);
    EXPECT_EQ(device->SetStreamSource(0, vb, 0, 12), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetVertexShader(nullptr);
    vb->Release();
    shader->Release();
}

TEST_P(GfxUtilShaderDeviceTest, DeclarationsFeedEachInputOnce) {
    Create();
    auto make = [&](const D3DVERTEXELEMENT9* elements) {
        IDirect3DVertexDeclaration9* decl = nullptr;
        const HRESULT hr = device->CreateVertexDeclaration(elements, &decl);
        if (decl) decl->Release();
        return hr;
    };
    const D3DVERTEXELEMENT9 good[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
        D3DDECL_END(),
    };
    EXPECT_EQ(make(good), D3D_OK);
    D3DVERTEXELEMENT9 twice[4];
    std::memcpy(twice, good, sizeof(good));
    twice[2].UsageIndex = 0;
    EXPECT_EQ(make(twice), D3DERR_INVALIDCALL);
    D3DVERTEXELEMENT9 stream[4];
    std::memcpy(stream, good, sizeof(good));
    stream[1].Stream = 1; // streams 0-15
    EXPECT_EQ(make(stream), D3D_OK);
    stream[1].Stream = 16;
    EXPECT_EQ(make(stream), D3DERR_INVALIDCALL);
    D3DVERTEXELEMENT9 odd[4];
    std::memcpy(odd, good, sizeof(good));
    odd[1].Offset = 14;
    EXPECT_EQ(make(odd), D3DERR_INVALIDCALL);
}
