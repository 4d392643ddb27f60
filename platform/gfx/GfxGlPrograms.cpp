#include "platform/gfx/GfxGlBackend.h"

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxGlProgramGate.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace gfx {
namespace {

std::atomic<std::uint32_t> g_compiles{0};

// 0 with the driver's log in `failure` when the source does not compile.
GLuint Compile(GLenum kind, const char* source, std::string& failure) {
    ++g_compiles;
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        failure = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader compile failed: " + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

// The driver's log as one line of standard error: its error lines (the
// warnings before them say nothing of the refusal), the first few, cut to a
// length a reader takes in; the whole log where no line names an error.
std::string OneLine(const std::string& log) {
    constexpr std::size_t kLines = 4, kLength = 600;
    std::vector<std::string> lines, errors;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\0')) line.pop_back();
        if (!line.empty()) {
            if (line.find("error") != std::string::npos || line.find("ERROR") != std::string::npos)
                errors.push_back(line);
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    const std::vector<std::string>& kept = errors.empty() ? lines : errors;
    std::string out;
    for (std::size_t i = 0; i < kept.size() && i < kLines; ++i) out += (i ? "; " : "") + kept[i];
    if (kept.size() > kLines || out.size() > kLength) {
        if (out.size() > kLength) out.resize(kLength);
        out += " ...";
    }
    return out;
}

std::string StageKey(GLenum kind, const std::string& source) {
    return (kind == GL_VERTEX_SHADER ? "v|" : "f|") + source;
}

} // namespace

std::uint32_t GlShaderCompilesForTests() { return g_compiles; }

GLuint GlBackend::StageFor(GLenum kind, const std::string& source, std::string& failure, bool& kept) {
    const auto it = m_stages.find(StageKey(kind, source));
    kept = it != m_stages.end();
    if (kept) return it->second;
    return Compile(kind, source.c_str(), failure);
}

void GlBackend::KeepStage(std::string key, GLuint stage) {
    if (m_stageOrder.size() >= kKeptStages) {
        // A program still linked from it keeps it alive in the driver.
        const auto oldest = m_stages.find(m_stageOrder.front());
        if (oldest != m_stages.end()) {
            glDeleteShader(oldest->second);
            m_stages.erase(oldest);
        }
        m_stageOrder.pop_front();
    }
    m_stageOrder.push_back(key);
    m_stages.emplace(std::move(key), stage);
}

// The stage a program is drawn with in its usual pairing (a vertex program
// beside a pixel program reading its varyings, no alpha test or fog), compiled
// by the driver now: a program whose GLSL the driver refuses is refused at
// creation, not at its first draw, and the draw links the stage kept here.
// Link failures, and the other pairings' sources, still come at the draw.
bool GlBackend::CheckProgram(const TranslatedShader& program, std::string& failure) {
    // Without a drawable there is nothing to compile on; the draws report it.
    if (!MakeCurrent()) return true;
    const GLenum kind = program.vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER;
    const std::string source = ComposeProgramStage(program);
    std::string key = StageKey(kind, source);
    if (m_stages.count(key)) return true;
    // A large program is compiled, linked and drawn by a process of its own
    // first, within a deadline: its time in the driver, or a crash there,
    // is not the game's.
    if (NeedsGlProgramGate(program) && !RunGlProgramGate(program, source, SDL_GetCurrentVideoDriver(), failure))
        return false;
    std::string log;
    const GLuint stage = Compile(kind, source.c_str(), log);
    if (!stage) {
        const std::string said = std::string(program.vertex ? "vertex" : "fragment") + " shader compile failed: ";
        failure = log.rfind(said, 0) == 0 ? said + OneLine(log.substr(said.size())) : OneLine(log);
        return false;
    }
    KeepStage(std::move(key), stage);
    return true;
}

void GlBackend::AddInjectedFault(std::string& fs) const {
    if (m_fault == BackendFault::CompileError) fs += "#error a fault injected by a test\n";
    // The same uniform with another type in each stage compiles, and fails to link.
    if (m_fault == BackendFault::LinkError) fs += "uniform float uViewport;\n";
}

GlBackend::Program* GlBackend::ProgramFor(const std::string& vsSource, const std::string& fsSource) {
    const std::string key = vsSource + "|" + fsSource;
    auto it = m_programs.find(key);
    if (it != m_programs.end()) return &it->second;
    Program prog;
    bool vsKept = false, fsKept = false;
    const GLuint vs = StageFor(GL_VERTEX_SHADER, vsSource, prog.failure, vsKept);
    const GLuint fs = vs ? StageFor(GL_FRAGMENT_SHADER, fsSource, prog.failure, fsKept) : 0;
    if (!vs || !fs) prog.failureKind = "compile";
    if (vs && fs) {
        prog.id = glCreateProgram();
        glAttachShader(prog.id, vs);
        glAttachShader(prog.id, fs);
        glLinkProgram(prog.id);
        GLint ok = 0;
        glGetProgramiv(prog.id, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetProgramInfoLog(prog.id, sizeof log, nullptr, log);
            prog.failureKind = "link";
            prog.failure = std::string("program link failed: ") + log;
            glDeleteProgram(prog.id);
            prog.id = 0;
        }
    }
    if (vs && !vsKept) glDeleteShader(vs);
    if (fs && !fsKept) glDeleteShader(fs);
    auto loc = [&](const char* name) { return prog.id ? glGetUniformLocation(prog.id, name) : -1; };
    prog.wvp = loc("uWVP");
    prog.wv = loc("uWV");
    prog.normalMatrix = loc("uNormalMatrix");
    prog.blendWV = loc("uBlendWV");
    prog.blendNormal = loc("uBlendNormal");
    prog.proj = loc("uProj");
    prog.viewport = loc("uViewport");
    prog.depthRange = loc("uDepthRange");
    prog.target = loc("uTarget");
    prog.flipY = loc("uFlipY");
    prog.matDiffuse = loc("uMatDiffuse");
    prog.matAmbient = loc("uMatAmbient");
    prog.matSpecular = loc("uMatSpecular");
    prog.matEmissive = loc("uMatEmissive");
    prog.matPower = loc("uMatPower");
    prog.globalAmbient = loc("uGlobalAmbient");
    prog.lightDiffuse = loc("uLightDiffuse");
    prog.lightSpecular = loc("uLightSpecular");
    prog.lightAmbient = loc("uLightAmbient");
    prog.lightPos = loc("uLightPos");
    prog.lightDir = loc("uLightDir");
    prog.lightAtten = loc("uLightAtten");
    prog.lightSpot = loc("uLightSpot");
    prog.fog = loc("uFog");
    prog.texMatrix = loc("uTexMatrix");
    prog.tfactor = loc("uTFactor");
    prog.alphaRef = loc("uAlphaRef");
    prog.alphaClamp = loc("uAlphaClamp");
    prog.fogColor = loc("uFogColor");
    for (int i = 0; i < 8; ++i) {
        prog.bump[std::size_t(i)] = loc(("uBump" + std::to_string(i)).c_str());
        prog.bumpL[std::size_t(i)] = loc(("uBumpL" + std::to_string(i)).c_str());
    }
    if (prog.id) {
        // The palettes of indexed blending sit at bindings of their own.
        if (const GLuint block = glGetUniformBlockIndex(prog.id, "BlendPalette"); block != GL_INVALID_INDEX)
            glUniformBlockBinding(prog.id, block, kPaletteBinding);
        if (const GLuint block = glGetUniformBlockIndex(prog.id, "BlendPaletteNormals"); block != GL_INVALID_INDEX)
            glUniformBlockBinding(prog.id, block, kPaletteBinding + 1);
        // Stage i samples texture unit i, for good.
        UseProgram(prog.id);
        for (int i = 0; i < 8; ++i) {
            const std::string name = "uTex" + std::to_string(i);
            const GLint unit = glGetUniformLocation(prog.id, name.c_str());
            if (unit >= 0) glUniform1i(unit, i);
        }
    }
    return &m_programs.emplace(key, prog).first->second;
}

GlBackend::Program* GlBackend::GenerateProgram(const StateKey& key, const DeviceState* state) {
    if (state && (key[kVertexProgramWord] || key[kPixelProgramWord])) return GenerateProgramPair(key, *state);
    std::string vs, fs;
    FixedSources(key, false, vs, fs);
    AddInjectedFault(fs);
    Program* prog = ProgramFor(vs, fs);
    prog->lighting = key[kLightingWord] != 0;
    prog->lightCount = key[kLightCountWord];
    prog->fogUniforms = (key[kFogModeWord] != 0 && key[kFogModeWord] != 4) || key[kTableFogWord] != 0;
    for (int i = 0; i < 8; ++i)
        prog->texMatrices = prog->texMatrices || ((key[kStageBase + std::size_t(i) * kStageWords + kTexCoordForm] >> 8) & 0xFF) != 0;
    return prog;
}

GlBackend::Program* GlBackend::GenerateProgramPair(const StateKey& key, const DeviceState& s) {
    const TranslatedShader* vs = s.vertexShader ? &s.vertexShader->Translation() : nullptr;
    const TranslatedShader* ps = s.pixelShader ? &s.pixelShader->Translation() : nullptr;
    const bool fog = key[kFogWord] != 0;
    const bool flat = key[kFlatWord] != 0;
    std::string vsSource, fsSource, fixedVs, fixedFs;
    if (!vs || !ps) FixedSources(key, ps != nullptr, fixedVs, fixedFs);
    if (vs && ps) {
        // Per-pixel fog needs no fog varying. A pixel half reading only what
        // the vertex half writes takes all of it: the vertex stage is then the
        // one compiled when the program was made.
        std::vector<std::string> varyings = PixelProgramVaryings(*ps, fog && ps->major < 3 && !key[kTableFogWord]);
        std::vector<std::string> written = VertexProgramVaryings(*vs);
        if (std::all_of(varyings.begin(), varyings.end(), [&](const std::string& v) {
                return std::find(written.begin(), written.end(), v) != written.end();
            }))
            varyings = std::move(written);
        vsSource = ComposeVertexProgram(*vs, nullptr, varyings, flat);
    } else if (vs) {
        std::vector<FixedStageInput> stages;
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t* st = &key[kStageBase + std::size_t(i) * kStageWords];
            if (st[kColorOp] == D3DTOP_DISABLE) break;
            if (st[kTextureKind] == 0) continue;
            const bool projected = (st[kTexCoordForm] >> 16) != 0;
            stages.push_back({i, int(st[kTexCoordSource] & 7), projected ? 4 : st[kTextureKind] >= 2 ? 3 : 2});
        }
        vsSource = ComposeVertexProgram(*vs, &stages, {});
    } else {
        vsSource = fixedVs;
    }
    if (ps) {
        std::array<std::uint8_t, 16> kinds{};
        static constexpr std::uint8_t kKind[4] = {0, D3DSTT_2D, D3DSTT_CUBE, D3DSTT_VOLUME};
        for (int n = 0; n < 16; ++n) kinds[n] = kKind[(key[kSamplerKindsWord] >> (2 * n)) & 3];
        fsSource = ComposePixelProgram(*ps, vs == nullptr, kinds, key[kAlphaFuncWord], fog, key[kProjectedWord],
                                       key[kTableFogWord], flat);
    } else {
        fsSource = fixedFs;
    }
    AddInjectedFault(fsSource);
    Program* prog = ProgramFor(vsSource, fsSource);
    prog->lighting = !vs && key[kLightingWord] != 0;
    prog->lightCount = vs ? 0 : key[kLightCountWord];
    prog->fogUniforms = (!vs && key[kFogModeWord] != 0 && key[kFogModeWord] != 4) || key[kTableFogWord] != 0;
    prog->texMatrices = false;
    for (int i = 0; i < 8 && !vs; ++i)
        prog->texMatrices = prog->texMatrices || ((key[kStageBase + std::size_t(i) * kStageWords + kTexCoordForm] >> 8) & 0xFF) != 0;
    if (prog->id && !prog->constants) {
        prog->constants = std::make_shared<GlProgramConstants>();
        prog->constants->Locate(prog->id, vs, ps);
        m_usedProgram = prog->id;
    }
    return prog;
}

const GlBackend::Program* GlBackend::SetProgram(const DeviceState& s, const VertexLayout& layout, const IDirect3DSurface9& rt) {
    Program* prog = nullptr;
    if (m_lastProgram && m_lastState == &s && m_lastSerial == s.serial && SamePrograms(s, m_lastKey) &&
        SameKeyLayout(layout, m_lastLayout) && SameTextureKinds(s, m_lastKey)) {
        prog = m_lastProgram;
    } else {
        const StateKey key = BuildKey(s, layout, m_lights);
        if (m_lastProgram && key == m_lastKey) {
            prog = m_lastProgram;
        } else {
            auto it = m_byState.find(key);
            prog = it != m_byState.end() ? it->second : (m_byState[key] = GenerateProgram(key, &s));
            m_lastKey = key;
            m_lastProgram = prog;
        }
        m_lastState = &s;
        m_lastSerial = s.serial;
        m_lastLayout = layout;
    }
    const StateKey& key = m_lastKey;
    if (!prog->id) return prog;
    UseProgram(prog->id);
    Program& p = *prog;
    const bool slow = p.slowState != &s || p.slowSerial != s.serial || p.slowTarget != &rt ||
                      p.slowWidth != rt.Width() || p.slowHeight != rt.Height() || p.slowFlipY != m_flipY;
    p.slowState = &s;
    p.slowSerial = s.serial;
    p.slowTarget = &rt;
    p.slowWidth = rt.Width();
    p.slowHeight = rt.Height();
    p.slowFlipY = m_flipY;

    // A vertex program reads none of these: its draws skip the products.
    if (p.wvp >= 0 || p.wv >= 0 || p.normalMatrix >= 0) {
        const D3DMATRIX wv = Multiply(s.world[0], s.view);
        const D3DMATRIX wvp = Multiply(wv, s.projection);
        // Row-vector matrices uploaded as they are read as their transpose by GLSL:
        // uWVP * v then equals v x world x view x projection.
        if (Changed(p, kSlotWVP, p.wvp, &wvp.m[0][0], 16)) glUniformMatrix4fv(p.wvp, 1, GL_FALSE, &wvp.m[0][0]);
        if (Changed(p, kSlotWV, p.wv, &wv.m[0][0], 16)) glUniformMatrix4fv(p.wv, 1, GL_FALSE, &wv.m[0][0]);
        if (p.normalMatrix >= 0) {
            float n[9];
            NormalMatrix(wv, n);
            if (Changed(p, kSlotNormalMatrix, p.normalMatrix, n, 9)) glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, n);
        }
    }
    if (key[kIndexedWord] != 0) UploadPalette(s);
    if (key[kBlendWord] != 0 && key[kIndexedWord] == 0) {
        D3DMATRIX blendWV[4];
        float blendNormal[4][9] = {};
        for (std::uint32_t i = 0; i <= key[kBlendWord]; ++i) {
            blendWV[i] = Multiply(s.world[i], s.view);
            NormalMatrix(blendWV[i], blendNormal[i]);
        }
        const GLsizei count = GLsizei(key[kBlendWord] + 1);
        if (Changed(p, kSlotBlendWV, p.blendWV, &blendWV[0].m[0][0], std::size_t(count) * 16))
            glUniformMatrix4fv(p.blendWV, count, GL_FALSE, &blendWV[0].m[0][0]);
        if (Changed(p, kSlotBlendNormal, p.blendNormal, &blendNormal[0][0], std::size_t(count) * 9))
            glUniformMatrix3fv(p.blendNormal, count, GL_FALSE, &blendNormal[0][0]);
    }
    if (slow) SetSlowUniforms(p, s, key, rt);
    if (p.constants) {
        p.constants->Upload(s);
        // A pixel program's samplers: the bound texture, or none.
        for (std::uint32_t bits = p.constants->Samplers() & 0xFFFFu; bits; bits &= bits - 1) {
            const GLuint n = GLuint(std::countr_zero(bits));
            if (TextureKind(s.textures[n]) != 0) BindTexture(n, *s.textures[n], s.samplerStates[n]);
            else UnbindTexture(n);
        }
        // The vertex program's: slots and units after the pixel ones.
        const std::uint32_t vertexSamplers = p.constants->VertexSamplers() & ((1u << DeviceState::kVertexSamplers) - 1);
        for (std::uint32_t bits = vertexSamplers; bits; bits &= bits - 1) {
            const GLuint n = GLuint(std::countr_zero(bits));
            const GLuint slot = DeviceState::kSamplers + n;
            if (TextureKind(s.textures[slot]) != 0) BindTexture(slot, *s.textures[slot], s.samplerStates[slot]);
            else UnbindTexture(slot);
        }
        if (key[kPixelProgramWord]) return prog;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint32_t* st = &key[kStageBase + i * kStageWords];
        if (st[kColorOp] == D3DTOP_DISABLE) break;
        if (st[kTextureKind] != 0) BindTexture(GLuint(i), *s.textures[i], s.samplerStates[i]);
    }
    return prog;
}

void GlBackend::UploadPalette(const DeviceState& s) {
    static constexpr std::size_t kPaletteFloats = 256 * 12;
    if (!m_paletteUbo[0]) {
        glGenBuffers(2, m_paletteUbo.data());
        for (GLuint ubo : m_paletteUbo) {
            glBindBuffer(GL_UNIFORM_BUFFER, ubo);
            glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(kPaletteFloats * sizeof(float)), nullptr, GL_DYNAMIC_DRAW);
        }
        m_palette.assign(2 * kPaletteFloats, 0.0f);
        m_paletteSent.assign(2 * kPaletteFloats, -1.0f);
    }
    const std::size_t n = std::min<std::size_t>(s.worldCount, 256);
    float* rows = m_palette.data();
    float* normals = m_palette.data() + kPaletteFloats;
    for (std::size_t i = 0; i < n; ++i) {
        const D3DMATRIX wv = Multiply(s.world[i], s.view);
        float nm[9];
        NormalMatrix(wv, nm);
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < 4; ++r) rows[i * 12 + std::size_t(c) * 4 + std::size_t(r)] = wv.m[r][c];
            for (int r = 0; r < 3; ++r) normals[i * 12 + std::size_t(c) * 4 + std::size_t(r)] = nm[r * 3 + c];
            normals[i * 12 + std::size_t(c) * 4 + 3] = 0.0f;
        }
    }
    const std::size_t bytes = n * 12 * sizeof(float);
    for (std::size_t k = 0; k < 2; ++k) {
        const float* now = m_palette.data() + k * kPaletteFloats;
        float* sent = m_paletteSent.data() + k * kPaletteFloats;
        if (std::memcmp(now, sent, bytes) != 0) {
            glBindBuffer(GL_UNIFORM_BUFFER, m_paletteUbo[k]);
            glBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(bytes), now);
            std::memcpy(sent, now, bytes);
        }
        glBindBufferBase(GL_UNIFORM_BUFFER, kPaletteBinding + GLuint(k), m_paletteUbo[k]);
    }
}

void GlBackend::SetSlowUniforms(Program& p, const DeviceState& s, const StateKey& key, const IDirect3DSurface9& rt) {
    const auto& rs = s.renderStates;
    const float viewport[4] = {float(s.viewport.X), float(s.viewport.Y), float(s.viewport.Width),
                               float(s.viewport.Height)};
    if (Changed(p, kSlotViewport, p.viewport, viewport, 4)) glUniform4fv(p.viewport, 1, viewport);
    const float depthRange[2] = {s.viewport.MinZ, s.viewport.MaxZ};
    if (Changed(p, kSlotDepthRange, p.depthRange, depthRange, 2)) glUniform2fv(p.depthRange, 1, depthRange);
    const float target[2] = {float(rt.Width()), float(rt.Height())};
    if (Changed(p, kSlotTarget, p.target, target, 2)) glUniform2fv(p.target, 1, target);
    const float flipY[2] = {m_flipY ? -1.0f : 1.0f, m_flipY ? 2.0f / (256.0f * float(rt.Height())) : 0.0f};
    if (Changed(p, kSlotFlipY, p.flipY, flipY, 2)) glUniform2fv(p.flipY, 1, flipY);
    if ((key[kBlendWord] != 0 || key[kIndexedWord] != 0) && Changed(p, kSlotProj, p.proj, &s.projection.m[0][0], 16))
        glUniformMatrix4fv(p.proj, 1, GL_FALSE, &s.projection.m[0][0]);
    const D3DMATERIAL9& m = s.material;
    if (p.lighting) {
        const float diffuse[4] = {m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a};
        const float ambient[4] = {m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a};
        const float specular[4] = {m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a};
        const float emissive[4] = {m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a};
        if (Changed(p, kSlotMatDiffuse, p.matDiffuse, diffuse, 4)) glUniform4fv(p.matDiffuse, 1, diffuse);
        if (Changed(p, kSlotMatAmbient, p.matAmbient, ambient, 4)) glUniform4fv(p.matAmbient, 1, ambient);
        if (Changed(p, kSlotMatSpecular, p.matSpecular, specular, 4)) glUniform4fv(p.matSpecular, 1, specular);
        if (Changed(p, kSlotMatEmissive, p.matEmissive, emissive, 4)) glUniform4fv(p.matEmissive, 1, emissive);
        if (Changed(p, kSlotMatPower, p.matPower, &m.Power, 1)) glUniform1f(p.matPower, m.Power);
        float c[4];
        ColorToFloats(rs[D3DRS_AMBIENT], c);
        if (Changed(p, kSlotGlobalAmbient, p.globalAmbient, c, 4)) glUniform4fv(p.globalAmbient, 1, c);
        if (p.lightCount) SetLightUniforms(p, s.view);
    }
    if (p.fogUniforms) {
        const float fog[3] = {AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY])};
        if (Changed(p, kSlotFog, p.fog, fog, 3)) glUniform3fv(p.fog, 1, fog);
    }
    if (p.texMatrices && Changed(p, kSlotTexMatrix, p.texMatrix, &s.texture[0].m[0][0], 8 * 16))
        glUniformMatrix4fv(p.texMatrix, 8, GL_FALSE, &s.texture[0].m[0][0]);
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& ts = s.stageStates[i];
        if (p.bump[i] >= 0) {
            const float m[4] = {AsFloat(ts[D3DTSS_BUMPENVMAT00]), AsFloat(ts[D3DTSS_BUMPENVMAT01]),
                                AsFloat(ts[D3DTSS_BUMPENVMAT10]), AsFloat(ts[D3DTSS_BUMPENVMAT11])};
            glUniform4fv(p.bump[i], 1, m);
        }
        if (p.bumpL[i] >= 0)
            glUniform2f(p.bumpL[i], AsFloat(ts[D3DTSS_BUMPENVLSCALE]), AsFloat(ts[D3DTSS_BUMPENVLOFFSET]));
    }
    float c[4];
    ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
    if (Changed(p, kSlotTFactor, p.tfactor, c, 4)) glUniform4fv(p.tfactor, 1, c);
    const float alphaRef = float(rs[D3DRS_ALPHAREF] & 0xFF);
    if (Changed(p, kSlotAlphaRef, p.alphaRef, &alphaRef, 1)) glUniform1f(p.alphaRef, alphaRef);
    // A program's alpha is tested as the target keeps it: held to 0..1 for
    // the fixed-point formats, whole for the float ones.
    const float alphaClamp[2] = {IsFloatFormat(rt.Format()) ? -3.0e38f : 0.0f,
                                 IsFloatFormat(rt.Format()) ? 3.0e38f : 1.0f};
    if (Changed(p, kSlotAlphaClamp, p.alphaClamp, alphaClamp, 2)) glUniform2fv(p.alphaClamp, 1, alphaClamp);
    if (p.fogColor >= 0) {
        ColorToFloats(rs[D3DRS_FOGCOLOR], c);
        if (Changed(p, kSlotFogColor, p.fogColor, c, 3)) glUniform3fv(p.fogColor, 1, c);
    }
}

float GlBackend::AsFloat(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void GlBackend::NormalMatrix(const D3DMATRIX& wv, float out[9]) {
    const auto& a = wv.m;
    float cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    const float det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    const float scale = det != 0.0f ? 1.0f / det : 0.0f;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r * 3 + c] = cof[r][c] * scale;
}

bool GlBackend::Changed(Program& p, UniformSlot slot, GLint location, const float* v, std::size_t n) {
    if (location < 0) return false;
    std::vector<float>& last = p.sent[slot];
    if (last.size() == n && std::memcmp(last.data(), v, n * sizeof(float)) == 0) return false;
    last.assign(v, v + n);
    return true;
}

void GlBackend::UseProgram(GLuint id) {
    if (id == m_usedProgram) return;
    glUseProgram(id);
    m_usedProgram = id;
}

void GlBackend::SetLightUniforms(Program& prog, const D3DMATRIX& view) {
    const std::size_t n = m_lights.size();
    float diffuse[32], specular[32], ambient[32], pos[24], dir[24], atten[32], spot[24];
    for (std::size_t i = 0; i < n; ++i) {
        const D3DLIGHT9& l = *m_lights[i];
        const float d[4] = {l.Diffuse.r, l.Diffuse.g, l.Diffuse.b, l.Diffuse.a};
        const float sp[4] = {l.Specular.r, l.Specular.g, l.Specular.b, l.Specular.a};
        const float am[4] = {l.Ambient.r, l.Ambient.g, l.Ambient.b, l.Ambient.a};
        std::memcpy(diffuse + 4 * i, d, sizeof d);
        std::memcpy(specular + 4 * i, sp, sizeof sp);
        std::memcpy(ambient + 4 * i, am, sizeof am);
        const float p[3] = {l.Position.x, l.Position.y, l.Position.z};
        const float v[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
        float len = 0.0f;
        for (int c = 0; c < 3; ++c) {
            pos[3 * i + c] = p[0] * view.m[0][c] + p[1] * view.m[1][c] + p[2] * view.m[2][c] + view.m[3][c];
            dir[3 * i + c] = v[0] * view.m[0][c] + v[1] * view.m[1][c] + v[2] * view.m[2][c];
            len += dir[3 * i + c] * dir[3 * i + c];
        }
        len = std::sqrt(len);
        for (int c = 0; c < 3 && len > 0.0f; ++c) dir[3 * i + c] /= len;
        atten[4 * i + 0] = l.Attenuation0;
        atten[4 * i + 1] = l.Attenuation1;
        atten[4 * i + 2] = l.Attenuation2;
        atten[4 * i + 3] = l.Range;
        spot[3 * i + 0] = std::cos(l.Theta * 0.5f);
        spot[3 * i + 1] = std::cos(l.Phi * 0.5f);
        spot[3 * i + 2] = l.Falloff;
    }
    const GLsizei count = GLsizei(n);
    if (Changed(prog, kSlotLightDiffuse, prog.lightDiffuse, diffuse, 4 * n))
        glUniform4fv(prog.lightDiffuse, count, diffuse);
    if (Changed(prog, kSlotLightSpecular, prog.lightSpecular, specular, 4 * n))
        glUniform4fv(prog.lightSpecular, count, specular);
    if (Changed(prog, kSlotLightAmbient, prog.lightAmbient, ambient, 4 * n))
        glUniform4fv(prog.lightAmbient, count, ambient);
    if (Changed(prog, kSlotLightPos, prog.lightPos, pos, 3 * n)) glUniform3fv(prog.lightPos, count, pos);
    if (Changed(prog, kSlotLightDir, prog.lightDir, dir, 3 * n)) glUniform3fv(prog.lightDir, count, dir);
    if (Changed(prog, kSlotLightAtten, prog.lightAtten, atten, 4 * n)) glUniform4fv(prog.lightAtten, count, atten);
    if (Changed(prog, kSlotLightSpot, prog.lightSpot, spot, 3 * n)) glUniform3fv(prog.lightSpot, count, spot);
}

} // namespace gfx
