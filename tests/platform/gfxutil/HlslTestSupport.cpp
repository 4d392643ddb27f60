#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace gfx;

namespace gfx::test {

namespace {

void Keep(Compiled& out, ID3DXBuffer* code, ID3DXBuffer* errors) {
    if (code) {
        const auto* p = static_cast<const std::uint8_t*>(code->GetBufferPointer());
        out.code.assign(p, p + code->GetBufferSize());
        code->Release();
        EXPECT_TRUE(ReadShaderContainer(out.code.data(), out.code.size(), out.container));
    }
    if (errors) {
        out.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
}

} // namespace

void Compile(Compiled& out, const std::string& source, const char* profile, const char* entry,
             const D3DXMACRO* defines) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXCompileShader(source.data(), std::uint32_t(source.size()), entry, profile, 0, &code, &errors,
                                   &out.table, defines);
    Keep(out, code, errors);
}

void CompileFile(Compiled& out, const std::string& path, const char* profile, const char* entry,
                 const D3DXMACRO* defines) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXCompileShaderFromFile(path.c_str(), entry, profile, 0, &code, &errors, &out.table, defines);
    Keep(out, code, errors);
}

const ShaderConstantRecord* Constant(const ShaderContainer& c, const std::string& name) {
    for (const ShaderConstantRecord& k : c.constants)
        if (k.name == name) return &k;
    return nullptr;
}

CompileOutcome Finish(HRESULT hr, ID3DXBuffer* code, ID3DXBuffer* errors) {
    CompileOutcome r;
    r.hr = hr;
    if (code) code->Release();
    if (errors) {
        r.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    return r;
}

void ExpectRefused(const CompileOutcome& r, const std::string& message) {
    EXPECT_TRUE(FAILED(r.hr));
    EXPECT_NE(r.errors.find(message), std::string::npos) << r.errors;
}

D3DXMATRIX TurnScaleMove(float angle, float scale, float x, float y, float z) {
    D3DXMATRIX m{};
    m.m[0][0] = scale * std::cos(angle);
    m.m[0][1] = scale * std::sin(angle);
    m.m[1][0] = -scale * std::sin(angle);
    m.m[1][1] = scale * std::cos(angle);
    m.m[2][2] = scale;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    m.m[3][3] = 1.f;
    return m;
}

IDirect3DVertexShader9* HlslDrawTest::MakeVertex(const Compiled& c, const std::string& what) {
    IDirect3DVertexShader9* out = nullptr;
    EXPECT_EQ(device->CreateVertexShader(c.Words(), std::uint32_t(c.code.size()), &out), D3D_OK)
        << what << "\n" << c.container.glsl;
    if (out) m_vertexShaders.push_back(out);
    return out;
}

IDirect3DPixelShader9* HlslDrawTest::MakePixel(const Compiled& c, const std::string& what) {
    IDirect3DPixelShader9* out = nullptr;
    EXPECT_EQ(device->CreatePixelShader(c.Words(), std::uint32_t(c.code.size()), &out), D3D_OK)
        << what << "\n" << c.container.glsl;
    if (out) m_pixelShaders.push_back(out);
    return out;
}

} // namespace gfx::test
