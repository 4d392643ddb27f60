#include "tests/platform/gfxutil/HlslSuiteRunner.h"

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfxutil/HlslRegisterUse.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <unistd.h>

using namespace gfx;

namespace hlslsuite {

namespace {

// Compile flags the files' "options:" ask for (published D3DXSHADER_* bits).
constexpr std::uint32_t kPackMatrixRowMajor = 1u << 3;    // D3DXSHADER_PACKMATRIX_ROWMAJOR
constexpr std::uint32_t kPackMatrixColumnMajor = 1u << 4; // D3DXSHADER_PACKMATRIX_COLUMNMAJOR
constexpr std::uint32_t kBackwardsCompatibility = 1u << 12; // D3DXSHADER_ENABLE_BACKWARDS_COMPATIBILITY

// Float constants each stage's register file holds at 3.0.
constexpr std::uint32_t kPixelRegisters = 224, kVertexRegisters = 256;

std::string Text(ID3DXBuffer* b) {
    if (!b) return {};
    std::string s(static_cast<const char*>(b->GetBufferPointer()), b->GetBufferSize());
    while (!s.empty() && (s.back() == '\0' || s.back() == '\n')) s.pop_back();
    return s;
}

template <class T>
void Release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The first line of a long message, for the one-line reports.
std::string Brief(const std::string& s) {
    std::string out = s.substr(0, s.find('\n'));
    if (out.size() > 300) out = out.substr(0, 300) + " ...";
    return out;
}

// What the device writes to standard error while it lives: the gl back end
// gives the driver's reason for a program it refuses there, not through the
// call's result.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        m_file = std::tmpfile();
        m_saved = m_file ? ::dup(STDERR_FILENO) : -1;
        if (m_saved >= 0) ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~StderrCapture() { Restore(); if (m_file) std::fclose(m_file); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Ends the capture; the text written meanwhile.
    std::string Text() {
        Restore();
        std::string out;
        if (!m_file) return out;
        std::rewind(m_file);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0 && out.size() < 65536) out.append(buffer, n);
        return out;
    }

private:
    void Restore() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    std::FILE* m_file = nullptr;
    int m_saved = -1;
};

std::string Profile(Stage stage, Model model) {
    return std::string(stage == Stage::Vertex ? "vs_" : "ps_") + (model >= 30 ? "3_0" : "2_0");
}

// Texture and sampler objects are a later compiler's syntax: a refusal of a
// source that declares them is a departure of that kind, not a fault.
bool UsesTextureObjects(const std::string& source) {
    for (const char* word : {"Texture1D", "Texture2D", "Texture3D", "TextureCube", "SamplerState",
                             "SamplerComparisonState"})
        if (source.find(word) != std::string::npos) return true;
    return false;
}

constexpr const char* kLaterSyntax = "shader-model-4 syntax (texture objects)";

// The first vertex decides a flat-shaded triangle's colours: the suite's
// expected values come from a triangle whose first corner is (-2, -2).
struct Corner {
    float x, y, z, w;
};
constexpr Corner kTriangle[3] = {{-2, -2, 0, 1}, {-2, 6, 0, 1}, {6, -2, 0, 1}};

} // namespace

void Counts::Add(const Check& c) {
    switch (c.outcome) {
    case Outcome::Passed: ++passed; break;
    case Outcome::Failed: ++failed; break;
    case Outcome::TodoFailed: ++todoFailed; break;
    case Outcome::NotRun: ++notRun; break;
    }
}

void Counts::Add(const Counts& c) {
    passed += c.passed;
    failed += c.failed;
    todoFailed += c.todoFailed;
    notRun += c.notRun;
}

std::uint32_t UlpDistance(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : 0xFFFFFFFFu;
    // Floats ordered as integers: negative values mirrored below zero.
    auto ordered = [](float f) {
        const auto bits = std::bit_cast<std::int32_t>(f);
        return bits < 0 ? std::int64_t(std::int32_t(0x80000000u)) - bits : std::int64_t(bits);
    };
    const std::int64_t d = ordered(a) - ordered(b);
    const std::uint64_t m = std::uint64_t(d < 0 ? -d : d);
    return m > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(m);
}

std::unique_ptr<HlslSuiteRunner> HlslSuiteRunner::Create(IDirect3DDevice9* device) {
    if (!device) return nullptr;
    std::unique_ptr<HlslSuiteRunner> r(new HlslSuiteRunner(device));
    if (FAILED(device->CreateRenderTarget(kWidth, kHeight, D3DFMT_A32B32G32R32F, D3DMULTISAMPLE_NONE, 0, 0,
                                          &r->m_target, nullptr)) ||
        FAILED(device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM,
                                                   &r->m_readBack, nullptr))) {
        std::fprintf(stderr, "hlsl suite: the device makes no 640 x 480 A32B32G32R32F target\n");
        return nullptr;
    }
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    if (FAILED(device->CreateVertexDeclaration(elements, &r->m_declaration))) return nullptr;
    // An HLSL program, as the suite's own Direct3D 9 runner draws: what a
    // pixel program reads that it does not write is what a compiled vertex
    // program leaves there.
    const char* const pass = "float4 main(float4 position : POSITION) : POSITION { return position; }\n";
    const char* profiles[2] = {"vs_2_0", "vs_3_0"};
    for (int i = 0; i < 2; ++i) {
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCompileShader(pass, std::uint32_t(std::strlen(pass)), "main", profiles[i], 0, &code,
                                             &errors, nullptr);
        Release(errors);
        const bool made = SUCCEEDED(hr) && code &&
                          SUCCEEDED(device->CreateVertexShader(static_cast<const std::uint32_t*>(code->GetBufferPointer()),
                                                               code->GetBufferSize(), &r->m_passThrough[i]));
        Release(code);
        if (!made) {
            std::fprintf(stderr, "hlsl suite: the pass-through vertex program was not made\n");
            return nullptr;
        }
    }
    return r;
}

HlslSuiteRunner::~HlslSuiteRunner() {
    if (m_device) {
        m_device->SetVertexShader(nullptr);
        m_device->SetPixelShader(nullptr);
        m_device->SetVertexDeclaration(nullptr);
        for (std::uint32_t i = 0; i < 16; ++i) m_device->SetTexture(i, nullptr);
        IDirect3DSurface9* back = nullptr;
        if (SUCCEEDED(m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) {
            m_device->SetRenderTarget(0, back);
            back->Release();
        }
    }
    Release(m_target);
    for (auto*& t : m_moreTargets) Release(t);
    Release(m_readBack);
    Release(m_declaration);
    Release(m_passThrough[0]);
    Release(m_passThrough[1]);
}

// One file's run: the device state it set up and the checks it made.
struct HlslSuiteRunner::FileRun {
    HlslSuiteRunner& runner;
    IDirect3DDevice9* device;
    bool allAtModel3;
    std::vector<Check> checks;

    // The block of sections under the last requirement.
    Model model = 20;
    bool runnable = true, inModelRange = true;
    std::string notRunReason;
    std::uint32_t flags = 0;
    std::string foreignSetup; // a section of later models' resources in force

    // The program each stage draws with: its section, and what was made of
    // it at `madeAt` (null with `failure` when nothing was).
    struct Program {
        const ShaderSection* section = nullptr;
        Model madeAt = 0;
        std::uint32_t madeFlags = 0;
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        std::string failure;
        // The file expects this section to be refused at this model: a draw
        // with it is no check of this model (the suite's own runner makes none).
        bool refusedByFile = false;
    } pixel, vertex;

    std::vector<std::uint32_t> uniforms;
    std::vector<InputElement> layout;
    std::vector<float> vertexBuffers[16];
    bool vertexBufferRead[16] = {};
    IDirect3DTexture9* textures[16] = {};

    // The last draw: made, or why not (and whether the file expects that).
    bool drawn = false, drawFailed = false, drawTodo = false, drawUnsupported = false;
    std::string drawFailure, drawNotRun;
    // Pixels of targets 0-3 as read since the last draw or clear.
    bool readBackValid[4] = {};
    std::vector<float> pixels[4];
    bool targetBound[4] = {true, false, false, false};

    void Invalidate() {
        for (bool& v : readBackValid) v = false;
    }

    void RenderTarget(const RenderTargetSection& r) {
        if (!runnable) return;
        if (!r.supported) {
            foreignSetup = "a render target of a form this runner does not make (line " + std::to_string(r.line) + ")";
            return;
        }
        if (r.index == 0) return; // the runner's own target is of this form
        IDirect3DSurface9*& t = runner.m_moreTargets[r.index - 1];
        if (!t && FAILED(device->CreateRenderTarget(kWidth, kHeight, D3DFMT_A32B32G32R32F, D3DMULTISAMPLE_NONE, 0, 0, &t,
                                                    nullptr))) {
            foreignSetup = "render target " + std::to_string(r.index) + " was not made";
            return;
        }
        if (FAILED(device->SetRenderTarget(std::uint32_t(r.index), t))) {
            foreignSetup = "render target " + std::to_string(r.index) + " cannot be bound";
            return;
        }
        targetBound[r.index] = true;
    }

    IDirect3DSurface9* Target(int index) { return index == 0 ? runner.m_target : runner.m_moreTargets[index - 1]; }

    FileRun(HlslSuiteRunner& r, bool at3) : runner(r), device(r.m_device), allAtModel3(at3) {}
    ~FileRun() {
        Drop(pixel);
        Drop(vertex);
        for (auto*& t : textures) Release(t);
    }

    static void Drop(Program& p) {
        Release(p.vs);
        Release(p.ps);
        p.failure.clear();
        p.refusedByFile = false;
    }

    void Add(std::string id, Outcome outcome, std::string cause = {}, std::string message = {}) {
        if (!inModelRange) return;
        checks.push_back(Check{std::move(id), outcome, std::move(cause), std::move(message)});
    }

    void ResetDevice() {
        device->SetRenderTarget(0, runner.m_target);
        device->SetDepthStencilSurface(nullptr);
        device->SetRenderState(D3DRS_ZENABLE, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
        device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        device->SetRenderState(D3DRS_FOGENABLE, 0);
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
        for (std::uint32_t i = 0; i < 16; ++i) {
            device->SetTexture(i, nullptr);
            device->SetSamplerState(i, D3DSAMP_MINFILTER, D3DTEXF_POINT);
            device->SetSamplerState(i, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
            device->SetSamplerState(i, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
            for (std::uint32_t a : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW})
                device->SetSamplerState(i, a, D3DTADDRESS_WRAP);
        }
        device->SetVertexDeclaration(runner.m_declaration);
    }

    void Require(const Requirement& r) {
        runnable = true;
        notRunReason.clear();
        foreignSetup.clear();
        flags = 0;
        if (allAtModel3) model = r.Admits(30) ? 30 : -1;
        else model = r.Admits(20) ? 20 : (r.Admits(30) ? 30 : -1);
        // Sections of later models are no checks of this device at all.
        inModelRange = model >= 0;
        if (model < 0) {
            runnable = false;
            notRunReason = "for shader models the Direct3D 9 device has not";
        }
        for (const std::string& o : r.options) {
            if (o == "row-major") flags |= kPackMatrixRowMajor;
            else if (o == "column-major") flags |= kPackMatrixColumnMajor;
            else if (o == "backcompat") flags |= kBackwardsCompatibility;
            else if (runnable) {
                runnable = false;
                notRunReason = "needs option " + o;
            }
        }
        // Asked for both, the suite's compiler packs by columns, where the
        // D3D9 compiler packs by rows: the runner asks for what the suite
        // expects.
        if ((flags & kPackMatrixRowMajor) && (flags & kPackMatrixColumnMajor)) flags &= ~kPackMatrixRowMajor;
        if (runnable && !r.needs.empty()) {
            runnable = false;
            notRunReason = "needs " + r.needs.front();
        }
    }

    // Compiles and makes `s` at the block's model: the outcome and the words.
    struct Made {
        bool compiled = false, created = false;
        std::string errors;
        std::string outsideTable; // registers the code reads that the table gives no constant
    };
    Made Make(const ShaderSection& s, Program& into) {
        Drop(into);
        into.section = &s;
        into.madeAt = model;
        into.madeFlags = flags;
        Made m;
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        ID3DXConstantTable* table = nullptr;
        const std::string profile = Profile(s.stage, model);
        const HRESULT hr = D3DXCompileShader(s.source.data(), std::uint32_t(s.source.size()), "main", profile.c_str(),
                                             flags, &code, &errors, &table, nullptr);
        m.errors = Text(errors);
        Release(errors);
        m.compiled = SUCCEEDED(hr) && code && table;
        Release(table);
        if (m.compiled) {
            const auto* words = static_cast<const std::uint32_t*>(code->GetBufferPointer());
            ShaderContainer container;
            if (ReadShaderContainer(words, code->GetBufferSize(), container))
                m.outsideTable = gfx::test::RegistersReadOutsideTheTable(container);
            StderrCapture log;
            const HRESULT made = s.stage == Stage::Vertex
                                     ? device->CreateVertexShader(words, code->GetBufferSize(), &into.vs)
                                     : device->CreatePixelShader(words, code->GetBufferSize(), &into.ps);
            m.created = SUCCEEDED(made);
            const std::string said = log.Text();
            if (!m.created) {
                m.errors = said.empty() ? "Create*Shader failed" : said;
                into.failure = "the device refused the compiled program: " + Brief(m.errors);
            }
        } else {
            into.failure = "the compile failed: " + Brief(m.errors);
        }
        Release(code);
        return m;
    }

    void Shader(const ShaderSection& s) {
        const std::string id = std::to_string(s.line) + (s.stage == Stage::Effect ? ":effect" : ":compile");
        if (!runnable) {
            Add(id, Outcome::NotRun, "not run", notRunReason);
            return;
        }
        if (s.stage == Stage::Other) {
            Add(id, Outcome::NotRun, "not run", "a stage of later shader models");
            return;
        }
        const bool expectFail = s.FailsAt(model);
        const bool todo = s.TodoAt(model);
        const Outcome failed = todo ? Outcome::TodoFailed : Outcome::Failed;
        if (s.stage == Stage::Effect) {
            ID3DXEffect* effect = nullptr;
            ID3DXBuffer* errors = nullptr;
            const HRESULT hr = D3DXCreateEffect(device, s.source.data(), std::uint32_t(s.source.size()), nullptr,
                                                nullptr, flags, nullptr, &effect, &errors);
            const std::string text = Text(errors);
            Release(errors);
            Release(effect);
            if (SUCCEEDED(hr) == !expectFail) Add(id, Outcome::Passed);
            else if (expectFail) Add(id, failed, "effect accepted that must be refused", Brief(text));
            else Add(id, failed, CompileCause(text, "effect refused wrongly"), Brief(text));
            return;
        }
        Program& into = s.stage == Stage::Vertex ? vertex : pixel;
        const Made m = Make(s, into);
        if (expectFail) {
            if (!m.compiled) Add(id, Outcome::Passed);
            else Add(id, failed, "fail section accepted", m.created ? "compiled and made" : "compiled; the device refused it");
            Drop(into);
            into.refusedByFile = true;
            return;
        }
        if (!m.compiled && UsesTextureObjects(s.source)) Add(id, failed, kLaterSyntax, Brief(m.errors));
        else if (!m.compiled) Add(id, failed, CompileCause(m.errors, "compile refused wrongly"), Brief(m.errors));
        else if (!m.created) Add(id, failed, "compile accepted but device refuses", Brief(m.errors));
        else if (!m.outsideTable.empty()) Add(id, failed, "the code reads registers outside the table", m.outsideTable);
        else Add(id, Outcome::Passed);
    }

    static std::string CompileCause(const std::string& errors, const char* otherwise) {
        return errors.find("stopped") != std::string::npos ? "internal stop" : otherwise;
    }

    void Texture(const TextureSection& t) {
        if (!runnable) return;
        if (!t.supported) {
            foreignSetup = "a texture form this runner does not make (line " + std::to_string(t.line) + ")";
            return;
        }
        Release(textures[t.index]);
        if (FAILED(device->CreateTexture(t.width, t.height, t.levels, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED,
                                         &textures[t.index], nullptr))) {
            foreignSetup = "the float texture was not made";
            return;
        }
        const float* from = t.texels.data();
        for (std::uint32_t level = 0; level < t.levels; ++level) {
            const std::uint32_t w = std::max(1u, t.width >> level), h = std::max(1u, t.height >> level);
            D3DLOCKED_RECT lr;
            if (FAILED(textures[t.index]->LockRect(level, &lr, nullptr, 0))) continue;
            for (std::uint32_t y = 0; y < h; ++y)
                std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + std::size_t(y) * lr.Pitch,
                            from + std::size_t(y) * w * 4, std::size_t(w) * 16);
            textures[t.index]->UnlockRect(level);
            from += std::size_t(w) * h * 4;
        }
        device->SetTexture(std::uint32_t(t.index), textures[t.index]);
    }

    void Sampler(const SamplerSection& s) {
        if (!runnable) return;
        if (!s.supported) {
            foreignSetup = "a comparison sampler (line " + std::to_string(s.line) + ")";
            return;
        }
        const std::uint32_t filter = s.linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        const std::uint32_t i = std::uint32_t(s.index);
        device->SetSamplerState(i, D3DSAMP_MINFILTER, filter);
        device->SetSamplerState(i, D3DSAMP_MAGFILTER, filter);
        device->SetSamplerState(i, D3DSAMP_MIPFILTER, filter);
        std::uint32_t address = D3DTADDRESS_WRAP;
        if (s.address == "clamp") address = D3DTADDRESS_CLAMP;
        else if (s.address == "mirror") address = D3DTADDRESS_MIRROR;
        else if (s.address == "border") address = D3DTADDRESS_BORDER;
        for (std::uint32_t a : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW}) device->SetSamplerState(i, a, address);
    }

    // The program of a stage made at this block's model; null with the
    // reason when it cannot be.
    bool Current(Program& p) {
        if (!p.section) return true; // none declared: the pass-through program serves
        if (p.refusedByFile) return false;
        if (p.madeAt != model || p.madeFlags != flags) (void)Make(*p.section, p);
        return p.vs || p.ps;
    }

    void Draw(const TestLine& line) {
        drawn = true;
        drawFailed = false;
        drawUnsupported = false;
        drawTodo = line.todo.At(model);
        drawFailure.clear();
        Invalidate();
        if (line.kind == TestLine::Kind::DrawTriangles && !vertex.section) {
            drawUnsupported = true; // vertex buffers feed a file's own vertex program
            drawNotRun = "after a draw this runner does not make";
            return;
        }
        if (pixel.refusedByFile || vertex.refusedByFile) {
            drawUnsupported = true;
            drawNotRun = "after a draw with a program the file expects to be refused at this model";
            return;
        }
        if (!Current(pixel) || !pixel.section) {
            drawFailed = true;
            drawFailure = pixel.section ? "no pixel program: " + pixel.failure : "no pixel program declared";
            return;
        }
        if (!Current(vertex)) {
            drawFailed = true;
            drawFailure = "no vertex program: " + vertex.failure;
            return;
        }
        IDirect3DVertexShader9* vs = vertex.vs ? vertex.vs : runner.m_passThrough[model >= 30 ? 1 : 0];
        device->SetVertexShader(vs);
        device->SetPixelShader(pixel.ps);
        std::vector<float> constants((uniforms.size() + 3) / 4 * 4, 0.0f);
        if (!uniforms.empty()) std::memcpy(constants.data(), uniforms.data(), uniforms.size() * 4);
        const std::uint32_t registers = std::uint32_t(constants.size() / 4);
        if (registers) {
            device->SetVertexShaderConstantF(0, constants.data(), std::min(registers, kVertexRegisters));
            device->SetPixelShaderConstantF(0, constants.data(), std::min(registers, kPixelRegisters));
        }
        if (line.kind == TestLine::Kind::DrawTriangles) {
            drawUnsupported = !DrawTriangles(line);
            drawNotRun = "after a draw from vertex buffers of a form this runner does not make";
            return;
        }
        const HRESULT hr = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, kTriangle, sizeof(Corner));
        if (FAILED(hr)) {
            drawFailed = true;
            drawFailure = "the draw failed (the driver refused the program pair)";
        }
    }

    // The usage number of a layout's semantic; -1 for one this runner does not map.
    static int Usage(const std::string& semantic) {
        static const std::pair<const char*, int> kUsages[] = {
            {"POSITION", D3DDECLUSAGE_POSITION}, {"SV_POSITION", D3DDECLUSAGE_POSITION},
            {"BLENDWEIGHT", D3DDECLUSAGE_BLENDWEIGHT}, {"BLENDINDICES", D3DDECLUSAGE_BLENDINDICES},
            {"NORMAL", D3DDECLUSAGE_NORMAL}, {"PSIZE", D3DDECLUSAGE_PSIZE}, {"TEXCOORD", D3DDECLUSAGE_TEXCOORD},
            {"TANGENT", D3DDECLUSAGE_TANGENT}, {"BINORMAL", D3DDECLUSAGE_BINORMAL}, {"COLOR", D3DDECLUSAGE_COLOR},
            {"FOG", D3DDECLUSAGE_FOG}, {"DEPTH", D3DDECLUSAGE_DEPTH}};
        for (const auto& [name, usage] : kUsages)
            if (semantic == name) return usage;
        return -1;
    }

    // "draw triangle strip|list N" from the file's input layout and vertex
    // buffers; false when they are of a form this runner does not make.
    bool DrawTriangles(const TestLine& line) {
        if (layout.empty()) return false;
        std::vector<D3DVERTEXELEMENT9> elements;
        std::uint32_t strides[16] = {};
        for (const InputElement& e : layout) {
            const int usage = Usage(e.semantic);
            if (e.floats == 0 || usage < 0 || !vertexBufferRead[e.slot]) return false;
            elements.push_back({std::uint16_t(e.slot), std::uint16_t(strides[e.slot]),
                                std::uint8_t(D3DDECLTYPE_FLOAT1 + e.floats - 1), D3DDECLMETHOD_DEFAULT,
                                std::uint8_t(usage), std::uint8_t(e.index)});
            strides[e.slot] += e.floats * 4;
        }
        elements.push_back(D3DDECL_END());
        IDirect3DVertexDeclaration9* declaration = nullptr;
        IDirect3DVertexBuffer9* buffers[16] = {};
        bool ok = SUCCEEDED(device->CreateVertexDeclaration(elements.data(), &declaration));
        for (std::uint32_t slot = 0; ok && slot < 16; ++slot) {
            if (strides[slot] == 0) continue;
            const std::size_t bytes = std::size_t(strides[slot]) * line.count;
            if (vertexBuffers[slot].size() * 4 < bytes) {
                ok = false;
                break;
            }
            void* data = nullptr;
            ok = SUCCEEDED(device->CreateVertexBuffer(std::uint32_t(bytes), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED,
                                                      &buffers[slot], nullptr)) &&
                 SUCCEEDED(buffers[slot]->Lock(0, 0, &data, 0));
            if (!ok) break;
            std::memcpy(data, vertexBuffers[slot].data(), bytes);
            buffers[slot]->Unlock();
            device->SetStreamSource(slot, buffers[slot], 0, strides[slot]);
        }
        if (ok) {
            device->SetVertexDeclaration(declaration);
            const std::uint32_t primitives = line.strip ? line.count - 2 : line.count / 3;
            if (FAILED(device->DrawPrimitive(line.strip ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLELIST, 0, primitives))) {
                drawFailed = true;
                drawFailure = "the draw failed (the driver refused the program pair)";
            }
        }
        device->SetVertexDeclaration(runner.m_declaration);
        for (std::uint32_t slot = 0; slot < 16; ++slot) {
            if (buffers[slot]) device->SetStreamSource(slot, nullptr, 0, 0);
            Release(buffers[slot]);
        }
        Release(declaration);
        return ok;
    }

    bool ReadBack(int target) {
        if (readBackValid[target]) return true;
        D3DLOCKED_RECT lr;
        if (!targetBound[target] || FAILED(device->GetRenderTargetData(Target(target), runner.m_readBack)) ||
            FAILED(runner.m_readBack->LockRect(&lr, nullptr, D3DLOCK_READONLY)))
            return false;
        pixels[target].resize(std::size_t(kWidth) * kHeight * 4);
        for (std::uint32_t y = 0; y < kHeight; ++y)
            std::memcpy(pixels[target].data() + std::size_t(y) * kWidth * 4,
                        static_cast<const std::uint8_t*>(lr.pBits) + std::size_t(y) * lr.Pitch, kWidth * 16);
        runner.m_readBack->UnlockRect();
        readBackValid[target] = true;
        return true;
    }

    void Probe(const TestLine& line) {
        const std::string id = std::to_string(line.line) + ":probe";
        const bool todo = line.todo.At(model) || drawTodo;
        const Outcome failed = todo ? Outcome::TodoFailed : Outcome::Failed;
        if (!foreignSetup.empty()) return Add(id, Outcome::NotRun, "not run", foreignSetup);
        if (line.kind != TestLine::Kind::Probe) return Add(id, Outcome::NotRun, "not run", "probe form: " + line.text);
        if (drawUnsupported) return Add(id, Outcome::NotRun, "not run", drawNotRun);
        if (!drawn) return Add(id, failed, "no draw", "probe before any draw");
        if (drawFailed)
            return Add(id, failed, pixel.section && UsesTextureObjects(pixel.section->source) ? kLaterSyntax : "no draw",
                       drawFailure);
        if (!targetBound[line.target]) return Add(id, Outcome::NotRun, "not run", "a probe of a target never made");
        if (!ReadBack(line.target)) return Add(id, failed, "no draw", "GetRenderTargetData failed");
        for (int y = line.y; y < line.y + line.h; ++y) {
            for (int x = line.x; x < line.x + line.w; ++x) {
                if (x >= int(kWidth) || y >= int(kHeight)) return Add(id, Outcome::NotRun, "not run", "outside the target");
                const float* p = &pixels[line.target][(std::size_t(y) * kWidth + std::size_t(x)) * 4];
                for (int c = 0; c < line.channels; ++c) {
                    if (UlpDistance(p[c], line.expected[c]) <= line.ulps) continue;
                    std::ostringstream m;
                    m << "at (" << x << ", " << y << ") got (" << p[0];
                    for (int k = 1; k < line.channels; ++k) m << ", " << p[k];
                    m << ") expected (" << line.expected[0];
                    for (int k = 1; k < line.channels; ++k) m << ", " << line.expected[k];
                    m << ")" << (line.ulps ? " within " + std::to_string(line.ulps) + " ulps" : std::string());
                    return Add(id, failed, "wrong value", m.str());
                }
            }
        }
        Add(id, Outcome::Passed);
    }

    // Clear takes a D3DCOLOR: only colours it holds exactly are cleared to.
    bool ClearTarget(const float rgba[4]) {
        std::uint32_t bytes[4];
        for (int i = 0; i < 4; ++i) {
            const float scaled = rgba[i] * 255.0f;
            if (!(scaled >= 0.0f && scaled <= 255.0f) || scaled != std::floor(scaled)) return false;
            bytes[i] = std::uint32_t(scaled);
        }
        Invalidate();
        return SUCCEEDED(device->Clear(0, nullptr, D3DCLEAR_TARGET,
                                       (bytes[3] << 24) | (bytes[0] << 16) | (bytes[1] << 8) | bytes[2], 1.0f, 0));
    }

    void Test(const TestSection& t) {
        if (runnable) device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        drawn = false;
        Invalidate();
        bool unknownCommand = false;
        std::string unknown;
        for (const TestLine& line : t.lines) {
            const bool isProbe = line.text.rfind("probe", 0) == 0;
            if (!runnable) {
                if (isProbe) Add(std::to_string(line.line) + ":probe", Outcome::NotRun, "not run", notRunReason);
                continue;
            }
            if (line.onlyIf.Present() && !line.onlyIf.At(model)) continue;
            if (isProbe) {
                if (unknownCommand) Add(std::to_string(line.line) + ":probe", Outcome::NotRun, "not run",
                                        "after a command this runner does not take: " + unknown);
                else Probe(line);
                continue;
            }
            switch (line.kind) {
            case TestLine::Kind::Uniform:
                if (uniforms.size() < line.offset + line.words.size()) uniforms.resize(line.offset + line.words.size());
                std::copy(line.words.begin(), line.words.end(), uniforms.begin() + line.offset);
                break;
            case TestLine::Kind::DrawQuad:
            case TestLine::Kind::DrawTriangles: Draw(line); break;
            case TestLine::Kind::AlphaTest:
                device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
                device->SetRenderState(D3DRS_ALPHAFUNC, line.compare);
                // The reference goes to the device as a byte, as Direct3D 9 takes it.
                device->SetRenderState(D3DRS_ALPHAREF,
                                       std::uint32_t(std::lround(std::clamp(line.reference, 0.0f, 1.0f) * 255.0f)));
                break;
            case TestLine::Kind::ClearTarget:
                if (!ClearTarget(line.expected)) {
                    unknownCommand = true;
                    unknown = line.text + " (a colour a D3DCOLOR does not hold)";
                }
                break;
            case TestLine::Kind::ShadeMode:
                device->SetRenderState(D3DRS_SHADEMODE, line.flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
                break;
            default:
                if (line.text.rfind("draw", 0) == 0) {
                    drawn = true;
                    drawUnsupported = true;
                    drawNotRun = "after a draw this runner does not make: " + line.text;
                } else {
                    unknownCommand = true;
                    unknown = line.text;
                }
                break;
            }
        }
    }
};

std::vector<Check> HlslSuiteRunner::Run(const HlslSuiteFile& file, bool allAtModel3) {
    FileRun run(*this, allAtModel3);
    run.ResetDevice();
    run.Require(Requirement{});
    for (const Section& s : file.Sections()) {
        if (const auto* r = std::get_if<Requirement>(&s)) run.Require(*r);
        else if (const auto* sh = std::get_if<ShaderSection>(&s)) run.Shader(*sh);
        else if (const auto* t = std::get_if<TestSection>(&s)) run.Test(*t);
        else if (const auto* tex = std::get_if<TextureSection>(&s)) run.Texture(*tex);
        else if (const auto* sa = std::get_if<SamplerSection>(&s)) run.Sampler(*sa);
        else if (const auto* l = std::get_if<InputLayoutSection>(&s)) run.layout = l->elements;
        else if (const auto* rt = std::get_if<RenderTargetSection>(&s)) run.RenderTarget(*rt);
        else if (const auto* vb = std::get_if<VertexBufferSection>(&s)) {
            run.vertexBuffers[vb->slot] = vb->floats;
            run.vertexBufferRead[vb->slot] = vb->supported;
        }
        else if (const auto* o = std::get_if<OtherSection>(&s); o && run.runnable)
            run.foreignSetup = "a [" + o->header + "] section of later models";
    }
    m_device->SetVertexShader(nullptr);
    m_device->SetPixelShader(nullptr);
    for (std::uint32_t i = 0; i < 16; ++i) m_device->SetTexture(i, nullptr);
    for (std::uint32_t i = 1; i < 4; ++i) m_device->SetRenderTarget(i, nullptr);
    return std::move(run.checks);
}

} // namespace hlslsuite
