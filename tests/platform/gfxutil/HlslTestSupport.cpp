#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include "tests/platform/gfx/GfxBackendFixture.h"

#include <cmath>
#include <pthread.h>
#include <map>
#include <vector>

using namespace gfx;

namespace gfx::test {

namespace {

// Every program the tests compiled, by its code: the test that compiled it
// first, and whether it is a vertex program.
std::map<std::vector<std::uint8_t>, std::pair<std::string, bool>>& Made() {
    static std::map<std::vector<std::uint8_t>, std::pair<std::string, bool>> made;
    return made;
}

void Record(const Compiled& out, const char* profile) {
    if (out.result != D3D_OK || out.code.empty() || !profile) return;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    Made().emplace(out.code, std::make_pair(test ? std::string(test->test_suite_name()) + "." + test->name() : "",
                                            profile[0] == 'v'));
}

// After the last test, every program a compile gave made on the gl device:
// no compile may succeed with code the device then refuses, whichever test
// made it and whatever that test went on to check.
class ReplayOnGl : public ::testing::Environment {
public:
    void TearDown() override {
        if (Made().empty()) return;
        gfxtest::UseDriverFor(BackendKind::Gl);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Gl);
        if (!d3d) {
            if (gfxtest::CallerDriver() != "dummy") ADD_FAILURE() << "no gl device to make the compiled programs on";
            return;
        }
        D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = p.BackBufferHeight = 8;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        IDirect3DDevice9* device = nullptr;
        if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device) != D3D_OK) {
            ADD_FAILURE() << "no gl device to make the compiled programs on";
            d3d->Release();
            return;
        }
        for (const auto& [code, made] : Made()) {
            const auto* words = reinterpret_cast<const std::uint32_t*>(code.data());
            IDirect3DVertexShader9* vs = nullptr;
            IDirect3DPixelShader9* ps = nullptr;
            const HRESULT hr = made.second ? device->CreateVertexShader(words, std::uint32_t(code.size()), &vs)
                                           : device->CreatePixelShader(words, std::uint32_t(code.size()), &ps);
            if (hr != D3D_OK) {
                ShaderContainer c;
                const bool read = ReadShaderContainer(code.data(), code.size(), c);
                ADD_FAILURE() << "a program " << made.first << " compiled is refused by the gl device:\n"
                              << (read ? c.glsl : "(code its own reader refuses)");
            }
            if (vs) vs->Release();
            if (ps) ps->Release();
        }
        device->Release();
        d3d->Release();
    }
};

[[maybe_unused]] ::testing::Environment* const g_replay = ::testing::AddGlobalTestEnvironment(new ReplayOnGl);

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
    Record(out, profile);
}

void CompileFile(Compiled& out, const std::string& path, const char* profile, const char* entry,
                 const D3DXMACRO* defines) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXCompileShaderFromFile(path.c_str(), entry, profile, 0, &code, &errors, &out.table, defines);
    Keep(out, code, errors);
    Record(out, profile);
}

const ShaderConstantRecord* Constant(const ShaderContainer& c, const std::string& name) {
    for (const ShaderConstantRecord& k : c.constants)
        if (k.name == name) return &k;
    return nullptr;
}

MadeEffect MakeEffectFromText(IDirect3DDevice9* device, const std::string& text) {
    MadeEffect made;
    ID3DXBuffer* errors = nullptr;
    made.hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr,
                               &made.fx, &errors);
    if (errors) {
        made.said = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    return made;
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

bool HlslDrawTest::UsePixel(Compiled& ps, const std::string& source) {
    Compile(ps, source, "ps_2_0");
    EXPECT_EQ(ps.result, D3D_OK) << ps.errors << "\n" << source;
    if (ps.result != D3D_OK) return false;
    IDirect3DVertexShader9* vs = Vertex(gfxtest::kPassVertex);
    IDirect3DPixelShader9* p = MakePixel(ps, source);
    if (!vs || !p) return false;
    EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
    EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
    return true;
}

void OnASmallStack(std::size_t bytes, const std::function<void()>& call) {
    pthread_attr_t attributes;
    ASSERT_EQ(::pthread_attr_init(&attributes), 0);
    ASSERT_EQ(::pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    const auto run = [](void* c) -> void* {
        (*static_cast<const std::function<void()>*>(c))();
        return nullptr;
    };
    const int made = ::pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&call));
    ::pthread_attr_destroy(&attributes);
    ASSERT_EQ(made, 0);
    ASSERT_EQ(::pthread_join(thread, nullptr), 0);
}

} // namespace gfx::test
