#include "platform/gfx/GfxBackendLocal.h"

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxFramePacer.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gfx {
namespace {

// Direct3D conventions on OpenGL: the framebuffer object stores rows top-down
// (GL window y = D3D screen y), so a read-back needs no flip and Present flips
// once. Pixel centres sit on integer D3D coordinates (GL window x = D3D x + 0.5);
// z runs 0..1; clockwise faces on screen come out as GL's counter-clockwise ones.
// Shader bodies: each program is generated for the fixed-function state it
// serves, as constants in front of these bodies, so the driver folds away
// every path that state does not take.
constexpr const char* kVertexShader = R"(
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
uniform mat4 uWVP;
uniform vec4 uViewport;    // X, Y, Width, Height
uniform vec2 uDepthRange;  // MinZ, MaxZ
uniform vec2 uTarget;      // target width, height
uniform vec2 uFlipY;       // (-1, nudge) drawing into the bottom-up window, else (1, 0)
uniform vec4 uMatDiffuse, uMatAmbient, uMatEmissive, uGlobalAmbient;
out vec4 vDiffuse;
flat out vec4 vDiffuseFlat;
out vec4 vSpecular;
flat out vec4 vSpecularFlat;
vec4 pick(int src, vec4 material) { return src == 1 ? aDiffuse : (src == 2 ? aSpecular : material); }
void main() {
    if (kPretransformed) {
        float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;
        vec2 ndc = 2.0 * (aPos.xy + 0.5) / uTarget - 1.0;
        gl_Position = vec4(ndc * w, (2.0 * aPos.z - 1.0) * w, w);
    } else {
        vec4 c = uWVP * vec4(aPos.xyz, 1.0);
        float x = (2.0 * (uViewport.x + 0.5 + 0.5 * uViewport.z) / uTarget.x - 1.0) * c.w + (uViewport.z / uTarget.x) * c.x;
        float y = (2.0 * (uViewport.y + 0.5 + 0.5 * uViewport.w) / uTarget.y - 1.0) * c.w - (uViewport.w / uTarget.y) * c.y;
        float z = (2.0 * uDepthRange.x - 1.0) * c.w + 2.0 * (uDepthRange.y - uDepthRange.x) * c.z;
        gl_Position = vec4(x, y, z, c.w);
    }
    // In the window, D3D's top edge is GL's top edge, which GL's fill rule leaves
    // out: a nudge of one sub-pixel step up keeps top and left edges inside.
    gl_Position.y = gl_Position.y * uFlipY.x + uFlipY.y * gl_Position.w;
    vec4 diffuse = aDiffuse;
    vec4 specular = aSpecular;
    if (kLighting && !kPretransformed) {
        // No light is performed: emissive plus global ambient times the ambient source.
        vec3 rgb = pick(kEmissiveSrc, uMatEmissive).rgb + uGlobalAmbient.rgb * pick(kAmbientSrc, uMatAmbient).rgb;
        diffuse = vec4(clamp(rgb, 0.0, 1.0), pick(kDiffuseSrc, uMatDiffuse).a);
        specular = vec4(0.0);
    }
    vDiffuse = diffuse;
    vDiffuseFlat = diffuse;
    vSpecular = specular;
    vSpecularFlat = specular;
}
)";

constexpr const char* kFragmentShader = R"(
in vec4 vDiffuse;
flat in vec4 vDiffuseFlat;
in vec4 vSpecular;
flat in vec4 vSpecularFlat;
uniform vec4 uTFactor;
uniform float uAlphaRef;
out vec4 oColor;
vec4 arg(int a, vec4 diffuse, vec4 current, vec4 specular) {
    int sel = a & 15;
    vec4 v = current;
    if (sel == 0) v = diffuse;
    else if (sel == 2) v = vec4(1.0);
    else if (sel == 3) v = uTFactor;
    else if (sel == 4) v = specular;
    else if (sel == 5) v = vec4(0.0);
    if ((a & 16) != 0) v = vec4(1.0) - v;
    if ((a & 32) != 0) v = vec4(v.a);
    return v;
}
vec4 op(int o, vec4 a1, vec4 a2) {
    vec4 r = a1 * a2;
    if (o == 2) r = a1;
    else if (o == 3) r = a2;
    else if (o == 5) r = 2.0 * a1 * a2;
    else if (o == 6) r = 4.0 * a1 * a2;
    else if (o == 7) r = a1 + a2;
    else if (o == 8) r = a1 + a2 - 0.5;
    else if (o == 10) r = a1 - a2;
    return clamp(r, 0.0, 1.0);
}
bool usesTexture(int a1, int a2) { return (a1 & 15) == 2 || (a2 & 15) == 2; }
bool passes(int func, float a, float ref) {
    if (func == 1) return false;
    if (func == 2) return a < ref;
    if (func == 3) return a == ref;
    if (func == 4) return a <= ref;
    if (func == 5) return a > ref;
    if (func == 6) return a != ref;
    if (func == 7) return a >= ref;
    return true;
}
void main() {
    vec4 diffuse = kFlat ? vDiffuseFlat : vDiffuse;
    vec4 specular = kFlat ? vSpecularFlat : vSpecular;
    vec4 current = diffuse;
    for (int i = 0; i < 8; ++i) {
        if (kColorOp[i] == 1) break;
        vec3 rgb = current.rgb;
        // A stage without a texture passes the current value where its operation reads the texture.
        if (kHasTexture[i] || !usesTexture(kColorArg1[i], kColorArg2[i]))
            rgb = op(kColorOp[i], arg(kColorArg1[i], diffuse, current, specular),
                     arg(kColorArg2[i], diffuse, current, specular)).rgb;
        float a = current.a;
        if (kAlphaOp[i] != 1 && (kHasTexture[i] || !usesTexture(kAlphaArg1[i], kAlphaArg2[i])))
            a = op(kAlphaOp[i], arg(kAlphaArg1[i], diffuse, current, specular),
                   arg(kAlphaArg2[i], diffuse, current, specular)).a;
        current = vec4(rgb, a);
    }
    if (kSpecularEnable) current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);
    if (kAlphaFunc != 0 && !passes(kAlphaFunc, floor(current.a * 255.0 + 0.5), uAlphaRef)) discard;
    oColor = current;
}
)";

// Constants of a plain state's program: every working context builds it (checked at Open).
constexpr const char* kProbeVs =
    "const bool kPretransformed = true;\nconst bool kLighting = false;\n"
    "const int kDiffuseSrc = 0, kAmbientSrc = 0, kEmissiveSrc = 0;\n";
constexpr const char* kProbeFs =
    "const int kColorOp[8] = int[8](1,1,1,1,1,1,1,1);\nconst int kColorArg1[8] = int[8](0,0,0,0,0,0,0,0);\n"
    "const int kColorArg2[8] = int[8](0,0,0,0,0,0,0,0);\nconst int kAlphaOp[8] = int[8](0,0,0,0,0,0,0,0);\n"
    "const int kAlphaArg1[8] = int[8](0,0,0,0,0,0,0,0);\nconst int kAlphaArg2[8] = int[8](0,0,0,0,0,0,0,0);\n"
    "const bool kHasTexture[8] = bool[8](false,false,false,false,false,false,false,false);\n"
    "const bool kFlat = false;\nconst bool kSpecularEnable = false;\nconst int kAlphaFunc = 0;\n";

struct GlFormat {
    GLenum internal, format, type;
};

bool GlColorFormat(D3DFORMAT f, GlFormat& out) {
    switch (f) {
    case D3DFMT_A8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    // No alpha stored: destination alpha reads 1, as the X format's does.
    case D3DFMT_X8R8G8B8: out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    case D3DFMT_R5G6B5: out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; return true;
    case D3DFMT_A4R4G4B4: out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; return true;
    default: return false;
    }
}

GLenum GlDepthFormat(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_D16: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    default: return GL_DEPTH24_STENCIL8;
    }
}

GLenum GlCompare(std::uint32_t f) {
    static constexpr GLenum k[] = {GL_NEVER, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f >= 1 && f <= 8 ? k[f] : GL_ALWAYS;
}

GLenum GlStencilOp(std::uint32_t op) {
    static constexpr GLenum k[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op >= 1 && op <= 8 ? k[op] : GL_KEEP;
}

GLenum GlBlend(std::uint32_t b) {
    static constexpr GLenum k[] = {GL_ONE, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                   GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                                   GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return b >= 1 && b <= 11 ? k[b] : GL_ONE;
}

GLenum GlBlendOp(std::uint32_t op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum GlPrimitive(std::uint32_t type) {
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

// 0 with the driver's log in `failure` when the source does not compile.
GLuint Compile(GLenum kind, const char* source, std::string& failure) {
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

class GlBackend final : public Backend {
    using StateKey = std::array<std::uint32_t, 8 + 8 * 6>;
    struct StateKeyHash {
        std::size_t operator()(const StateKey& k) const {
            std::size_t h = 1469598103934665603ull;
            for (std::uint32_t v : k) h = (h ^ v) * 1099511628211ull;
            return h;
        }
    };

    // A generated program and where its uniforms sit.
    struct Program {
        GLuint id = 0;
        // Why a program could not be built: "compile" or "link", and the driver's log.
        std::string failureKind, failure;
        GLint wvp = -1, viewport = -1, depthRange = -1, target = -1, flipY = -1, matDiffuse = -1, matAmbient = -1,
              matEmissive = -1, globalAmbient = -1, tfactor = -1, alphaRef = -1;
    };

public:
    ~GlBackend() override {
        if (m_context) {
            // Releasing a device after its window was destroyed is allowed:
            // the context's objects die with the context, so skip the calls.
            if (MakeCurrent()) {
            for (auto& entry : m_programs) glDeleteProgram(entry.second.id);
            glDeleteVertexArrays(1, &m_vao);
            glDeleteFramebuffers(1, &m_fbo);
            glDeleteFramebuffers(1, &m_readFbo);
            glDeleteBuffers(1, &m_streamVbo);
            glDeleteBuffers(1, &m_streamIbo);
            if (m_uploadTexture) glDeleteTextures(1, &m_uploadTexture);
            }
            SDL_GL_DeleteContext(m_context);
        }
        if (m_ownWindow && WindowAlive()) SDL_DestroyWindow(m_window);
    }

    const char* Name() const override { return "gl"; }

    HRESULT Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) override {
        m_params = params;
        SetGlWindowAttributes();
        WindowHandle window = params.hDeviceWindow ? params.hDeviceWindow : focus;
        if (window) {
            m_window = os::GetSdlWindow(window);
            if (!m_window) {
                ReportFailure("gfx gl: the device window does not exist");
                return D3DERR_NOTAVAILABLE;
            }
            if (!(SDL_GetWindowFlags(m_window) & SDL_WINDOW_OPENGL)) {
                ReportFailure("gfx gl: the device window has no OpenGL: " + os::GetWindowNoGlReason(window));
                return D3DERR_NOTAVAILABLE;
            }
        } else {
            m_window = SDL_CreateWindow("orvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        int(params.BackBufferWidth), int(params.BackBufferHeight),
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            m_ownWindow = m_window != nullptr;
            if (!m_window) {
                ReportFailure(std::string("gfx gl: no OpenGL window: ") + SDL_GetError());
                return D3DERR_NOTAVAILABLE;
            }
        }
        m_windowId = SDL_GetWindowID(m_window);
        m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) {
            ReportFailure(std::string("gfx gl: no OpenGL 3.3 core context: ") + SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        if (!MakeCurrent()) {
            ReportFailure(std::string("gfx gl: the OpenGL context cannot be made current: ") + SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        if (epoxy_gl_version() < 33) {
            const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
            ReportFailure(std::string("gfx gl: OpenGL 3.3 needed, the driver gives ") + (version ? version : "none"));
            return D3DERR_NOTAVAILABLE;
        }
        // The program of a plain state must build, or this context cannot draw at all.
        if (const Program* probe = ProgramFor(kProbeVs, kProbeFs); !probe->id) {
            ReportFailure("gfx gl: the driver cannot build the device's programs: " + probe->failure);
            return D3DERR_NOTAVAILABLE;
        }
        glGenVertexArrays(1, &m_vao);
        glBindVertexArray(m_vao);
        glGenFramebuffers(1, &m_fbo);
        glGenFramebuffers(1, &m_readFbo);
        glGenBuffers(1, &m_streamVbo);
        glGenBuffers(1, &m_streamIbo);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex, as D3D does
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        ApplyWindowMode();
        ChooseDirect();
        return D3D_OK;
    }

    HRESULT Resize(const D3DPRESENT_PARAMETERS& params) override {
        m_params = params;
        // A reset may name another device window: the context moves to it.
        SDL_Window* next = params.hDeviceWindow ? os::GetSdlWindow(params.hDeviceWindow) : nullptr;
        if (next && next != m_window) {
            if (!(SDL_GetWindowFlags(next) & SDL_WINDOW_OPENGL) || SDL_GL_MakeCurrent(next, m_context) != 0)
                return D3DERR_INVALIDCALL;
            if (m_ownWindow) SDL_DestroyWindow(m_window);
            m_ownWindow = false;
            m_window = next;
            m_windowId = SDL_GetWindowID(next);
            m_boundFramebuffer = ~0u;
        }
        if (!MakeCurrent()) return D3DERR_INVALIDCALL;
        ApplyWindowMode();
        ChooseDirect();
        return D3D_OK;
    }

    void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color, float z,
               std::uint32_t stencil) override {
        if (!MakeCurrent()) return;
        if (!BindTargets(device.State())) return;
        GLbitfield bits = 0;
        if (flags & D3DCLEAR_TARGET) {
            float c[4];
            ColorToFloats(color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_ZBUFFER) && m_hasDepth) {
            glClearDepth(z);
            glDepthMask(GL_TRUE);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_STENCIL) && m_hasStencil) {
            glClearStencil(GLint(stencil & 0xFF));
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        const IDirect3DSurface9& rt = *device.State().renderTargets[0];
        for (const RECT& r : rects) {
            // A whole-target clear goes without the scissor: drivers clear that fastest.
            if (r.left == 0 && r.top == 0 && r.right == std::int32_t(rt.Width()) && r.bottom == std::int32_t(rt.Height())) {
                glDisable(GL_SCISSOR_TEST);
            } else {
                glEnable(GL_SCISSOR_TEST);
                glScissor(r.left, ScissorY(r.top, r.bottom), r.right - r.left, r.bottom - r.top);
            }
            glClear(bits);
        }
    }

    HRESULT Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) override {
        if (!MakeCurrent()) return D3DERR_DEVICELOST; // the window is gone: nothing to draw into
        const DeviceState& s = device.State();
        if (!BindTargets(s)) return D3DERR_INVALIDCALL;
        const IDirect3DSurface9* rt = s.renderTargets[0];
        assert((call.userVertices || s.streams[0].buffer) && "a draw the front end should have refused");
        assert((!call.indexed || call.userIndices || s.indices) && "a draw the front end should have refused");

        // Vertex input.
        GLuint vbo = m_streamVbo;
        std::uintptr_t base = 0;
        std::uint32_t stride = call.userStride;
        if (call.userVertices) {
            glBindBuffer(GL_ARRAY_BUFFER, m_streamVbo);
            glBufferData(GL_ARRAY_BUFFER, call.userVertexBytes, call.userVertices, GL_STREAM_DRAW);
        } else {
            vbo = UploadBuffer(*s.streams[0].buffer, GL_ARRAY_BUFFER);
            base = s.streams[0].offset;
            stride = s.streams[0].stride;
        }
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, layout.pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE, GLsizei(stride),
                              reinterpret_cast<const void*>(base + std::uintptr_t(layout.position)));
        SetColorAttribute(1, layout.diffuse, stride, base, 1.0f);
        SetColorAttribute(2, layout.specular, stride, base, 0.0f);

        if (const Program* prog = SetProgram(s, layout, *rt); !prog->id) {
            ReportOnce("program " + prog->failureKind, "gfx gl: a generated program failed: " + prog->failure);
            return D3DERR_DRIVERINTERNALERROR;
        }
        SetRasterState(s, *rt);

        const GLenum mode = GlPrimitive(call.primitiveType);
        if (!call.indexed) {
            glDrawArrays(mode, GLint(call.startVertex), GLsizei(call.vertexCount));
            return CheckGlError();
        }
        GLenum indexType = GL_UNSIGNED_SHORT;
        std::uintptr_t indexOffset = 0;
        if (call.userIndices) {
            const std::uint32_t size = call.userIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
            indexType = size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_streamIbo);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(call.vertexCount) * size, call.userIndices, GL_STREAM_DRAW);
        } else {
            IDirect3DIndexBuffer9& ib = *s.indices;
            const std::uint32_t size = ib.Format() == D3DFMT_INDEX32 ? 4 : 2;
            indexType = size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            UploadBuffer(ib, GL_ELEMENT_ARRAY_BUFFER);
            indexOffset = std::uintptr_t(call.startIndex) * size;
        }
        glDrawElementsBaseVertex(mode, GLsizei(call.vertexCount), indexType, reinterpret_cast<const void*>(indexOffset),
                                 call.baseVertex);
        return CheckGlError();
    }

    void InjectFault(BackendFault fault) override {
        m_fault = fault;
        // Programs are made again from now on, with the fault in them.
        m_byState.clear();
        m_lastProgram = nullptr;
    }

    HRESULT Present(IDirect3DDevice9& device) override {
        if (!MakeCurrent()) return D3DERR_DEVICELOST;
        IDirect3DSurface9* back = device.BackBufferSurface();
        if (!back) return D3DERR_INVALIDCALL;
        if (m_direct) {
            // The back buffer is the window's own: presenting is swapping.
            SDL_GL_SwapWindow(m_window);
            m_pacer.PacePresent();
            // A window resized since (without a Reset) goes through the copy from the next frame on.
            UpdateDirect();
            return D3D_OK;
        }
        EnsureColor(*back);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back->backend.name, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_window, &w, &h);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        const GLint bw = GLint(back->Width()), bh = GLint(back->Height());
        // Rows are stored top-down: the flip puts row 0 at the top of the window,
        // scaled to the drawable (full screen is SDL desktop full screen).
        glBlitFramebuffer(0, 0, bw, bh, 0, h, w, 0, GL_COLOR_BUFFER_BIT, (w == bw && h == bh) ? GL_NEAREST : GL_LINEAR);
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        m_boundFramebuffer = m_fbo;
        SDL_GL_SwapWindow(m_window);
        m_pacer.PacePresent();
        UpdateDirect();
        return D3D_OK;
    }

    void ReadSurface(IDirect3DSurface9& surface) override {
        if (IsWindowSurface(surface)) {
            ReadWindow(surface);
            return;
        }
        GlFormat f;
        if (!surface.backend.name || !GlColorFormat(surface.Format(), f)) return;
        if (!MakeCurrent()) return;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.backend.name, 0);
        glReadPixels(0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type, surface.Bytes());
        m_boundFramebuffer = ~0u;
    }

    void WriteSurface(IDirect3DSurface9& surface) override {
        GlFormat f;
        if (!GlColorFormat(surface.Format(), f) || !(surface.Usage() & D3DUSAGE_RENDERTARGET)) return;
        if (!MakeCurrent()) return;
        const bool window = IsWindowSurface(surface);
        GLuint& texture = window ? m_uploadTexture : surface.backend.name;
        if (window && !m_uploadTexture) glGenTextures(1, &m_uploadTexture);
        if (!window) EnsureColor(surface);
        glBindTexture(GL_TEXTURE_2D, texture);
        if (window) {
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(surface.Width()), GLsizei(surface.Height()), 0,
                         f.format, f.type, surface.Bytes());
            // Rows of the bytes run top-down; the window's run bottom-up.
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glDisable(GL_SCISSOR_TEST);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            const GLint w = GLint(surface.Width()), h = GLint(surface.Height());
            glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            m_boundFramebuffer = ~0u;
            return;
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type,
                        surface.Bytes());
    }

    void ResourceDestroyed(IDirect3DResource9& r) override {
        if (!r.backend.name && !r.backend.name2) return;
        if (!MakeCurrent()) {
            r.backend = BackendData{};
            return;
        }
        if (r.GetType() == D3DRTYPE_SURFACE) {
            if (r.backend.name == m_boundColor) m_boundColor = 0;
            if (r.backend.name2 == m_boundDepth) m_boundDepth = 0;
            if (r.backend.name) glDeleteTextures(1, &r.backend.name);
            if (r.backend.name2) glDeleteRenderbuffers(1, &r.backend.name2);
        } else if (r.GetType() == D3DRTYPE_VERTEXBUFFER || r.GetType() == D3DRTYPE_INDEXBUFFER) {
            glDeleteBuffers(1, &r.backend.name);
        }
        r.backend = BackendData{};
    }

private:
    // The window belongs to the os layer and may be destroyed before the
    // device; ids are never reused, so a lookup by id tells whether it lives.
    bool WindowAlive() const { return m_window && m_windowId && SDL_GetWindowFromID(m_windowId) == m_window; }

    // False when there is no drawable left to make the context current on:
    // every GL call must then be skipped (the loader aborts without a context).
    bool MakeCurrent() {
        if (!m_context || !WindowAlive()) return false;
        if (SDL_GL_GetCurrentContext() != m_context && SDL_GL_MakeCurrent(m_window, m_context) != 0) return false;
        return true;
    }

    void ApplyWindowMode() {
        if (!m_params.Windowed) {
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN_DESKTOP) SDL_SetWindowFullscreen(m_window, 0);
            if (m_ownWindow) SDL_SetWindowSize(m_window, int(m_params.BackBufferWidth), int(m_params.BackBufferHeight));
        }
        // DEFAULT and ONE wait for the retrace, IMMEDIATE does not. A driver that
        // cannot wait (no vsync, or no display to wait for) is paced by sleeping.
        const bool wait = m_params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
        const bool retrace = SDL_GL_SetSwapInterval(wait ? 1 : 0) == 0 && !os::IsHeadless();
        m_pacer.SetPeriod(wait && !retrace ? RefreshPeriod(DisplayRefreshRate()) : std::chrono::nanoseconds{0});
    }

    // The refresh rate of the display the window is on; 0 when unknown.
    int DisplayRefreshRate() const {
        SDL_DisplayMode mode{};
        const int display = SDL_GetWindowDisplayIndex(m_window);
        if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
        return mode.refresh_rate;
    }

    // A GL error after a draw is the back end's own failure: told once per error code.
    HRESULT CheckGlError() {
        if (m_fault == BackendFault::GlErrorOnDraw) {
            m_fault = BackendFault::None;
            glEnable(GL_INVALID_ENUM); // a real error of the driver's own making
        }
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) return D3D_OK;
        // GL keeps one flag per kind of error: take every one, so the next draw starts clean.
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
        char text[96];
        std::snprintf(text, sizeof text, "gfx gl: OpenGL error 0x%04X after a draw", unsigned(error));
        ReportOnce("gl error " + std::to_string(error), text);
        return D3DERR_DRIVERINTERNALERROR;
    }

    // Standard error hears of each kind of failure once; the draws keep returning it.
    void ReportOnce(const std::string& kind, const std::string& text) {
        if (m_reported.insert(kind).second) std::fprintf(stderr, "%s\n", text.c_str());
    }

    // One program per fixed-function state: the constants in front of the bodies.
    Program* ProgramFor(const std::string& vsConstants, const std::string& fsConstants) {
        const std::string key = vsConstants + "|" + fsConstants;
        auto it = m_programs.find(key);
        if (it != m_programs.end()) return &it->second;
        const std::string vsSource = "#version 330 core\n" + vsConstants + kVertexShader;
        const std::string fsSource = "#version 330 core\n" + fsConstants + kFragmentShader;
        Program prog;
        const GLuint vs = Compile(GL_VERTEX_SHADER, vsSource.c_str(), prog.failure);
        const GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, fsSource.c_str(), prog.failure) : 0;
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
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        auto loc = [&](const char* name) { return prog.id ? glGetUniformLocation(prog.id, name) : -1; };
        prog.wvp = loc("uWVP");
        prog.viewport = loc("uViewport");
        prog.depthRange = loc("uDepthRange");
        prog.target = loc("uTarget");
        prog.flipY = loc("uFlipY");
        prog.matDiffuse = loc("uMatDiffuse");
        prog.matAmbient = loc("uMatAmbient");
        prog.matEmissive = loc("uMatEmissive");
        prog.globalAmbient = loc("uGlobalAmbient");
        prog.tfactor = loc("uTFactor");
        prog.alphaRef = loc("uAlphaRef");
        return &m_programs.emplace(key, prog).first->second;
    }

    void EnsureColor(IDirect3DSurface9& s) {
        if (s.backend.name) return;
        GlFormat f;
        // The front end makes colour targets and back buffers of the six formats GL stores only.
        [[maybe_unused]] const bool known = GlColorFormat(s.Format(), f);
        assert(known && "a colour target of a format the device does not make");
        if (!known) return;
        glGenTextures(1, &s.backend.name);
        glBindTexture(GL_TEXTURE_2D, s.backend.name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        // Starts from the front end's bytes, so a new target reads back what its memory says.
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(s.Width()), GLsizei(s.Height()), 0, f.format, f.type,
                     s.Bytes());
    }

    void EnsureDepth(IDirect3DSurface9& s) {
        if (s.backend.name2) return;
        glGenRenderbuffers(1, &s.backend.name2);
        glBindRenderbuffer(GL_RENDERBUFFER, s.backend.name2);
        glRenderbufferStorage(GL_RENDERBUFFER, GlDepthFormat(s.Format()), GLsizei(s.Width()), GLsizei(s.Height()));
    }

    // The window's framebuffer serves as the back buffer when nothing sets them
    // apart: same size (no full-screen scaling), 8-bit colour, and the depth and
    // stencil the automatic depth surface needs. Otherwise everything draws into
    // a framebuffer object that Present copies out.
    void ChooseDirect() {
        int r = 0, g = 0, b = 0, a = 0, depth = 0, stencil = 0;
        SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &r);
        SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &g);
        SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &b);
        SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &a);
        SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
        SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
        const D3DFORMAT f = m_params.BackBufferFormat;
        bool suits = r == 8 && g == 8 && b == 8 && (f == D3DFMT_X8R8G8B8 || (f == D3DFMT_A8R8G8B8 && a == 8));
        if (m_params.EnableAutoDepthStencil) {
            const D3DFORMAT d = m_params.AutoDepthStencilFormat;
            suits = suits && depth >= (d == D3DFMT_D16 ? 16 : 24) && (!FormatHasStencil(d) || stencil >= 8);
        }
        m_windowSuits = suits;
        m_direct = !m_direct; // forces UpdateDirect to settle the binding
        UpdateDirect();
    }

    // Direct drawing also needs the window to show the back buffer unscaled.
    void UpdateDirect() {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_window, &w, &h);
        const bool direct = m_windowSuits && std::uint32_t(w) == m_params.BackBufferWidth &&
                            std::uint32_t(h) == m_params.BackBufferHeight;
        if (direct != m_direct) m_boundFramebuffer = ~0u;
        m_direct = direct;
    }

    [[nodiscard]] bool IsWindowSurface(const IDirect3DSurface9& s) const {
        return m_direct && s.IsImplicit() && (s.Usage() & D3DUSAGE_RENDERTARGET);
    }

    // Scissor rectangles are given top-down; the window counts rows bottom-up.
    [[nodiscard]] GLint ScissorY(std::int32_t top, std::int32_t bottom) const {
        return m_flipY ? GLint(m_targetHeight - bottom) : GLint(top);
    }

    void ReadWindow(IDirect3DSurface9& surface) {
        GlFormat f;
        if (!GlColorFormat(surface.Format(), f)) return;
        if (!MakeCurrent()) return;
        const std::uint32_t pitch = surface.Pitch(), h = surface.Height();
        std::vector<std::uint8_t> rows(std::size_t(pitch) * h);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, GLsizei(surface.Width()), GLsizei(h), f.format, f.type, rows.data());
        for (std::uint32_t y = 0; y < h; ++y)
            std::memcpy(surface.Bytes() + std::size_t(y) * pitch, rows.data() + std::size_t(h - 1 - y) * pitch, pitch);
        m_boundFramebuffer = ~0u;
    }

    bool BindTargets(const DeviceState& s) {
        IDirect3DSurface9* rt = s.renderTargets[0];
        if (!rt) return false;
        IDirect3DSurface9* ds = s.depthStencil;
        m_targetHeight = GLsizei(rt->Height());
        if (IsWindowSurface(*rt)) {
            if (m_boundFramebuffer != 0) {
                glBindFramebuffer(GL_FRAMEBUFFER, 0);
                m_boundFramebuffer = 0;
            }
            m_flipY = true;
            // Only the automatic depth surface lives in the window.
            m_hasDepth = ds && ds->IsImplicit();
            m_hasStencil = m_hasDepth && FormatHasStencil(ds->Format());
            if (ds && !ds->IsImplicit() && !m_warnedDepth) {
                std::fprintf(stderr, "gfx gl: a created depth surface cannot serve the window's back buffer; "
                                     "drawing without depth\n");
                m_warnedDepth = true;
            }
            glViewport(0, 0, GLsizei(rt->Width()), GLsizei(rt->Height()));
            return true;
        }
        m_flipY = false;
        EnsureColor(*rt);
        if (ds) EnsureDepth(*ds);
        if (m_boundFramebuffer != m_fbo) {
            glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
            m_boundFramebuffer = m_fbo;
        }
        const GLuint depth = ds ? ds->backend.name2 : 0;
        if (rt->backend.name != m_boundColor) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, rt->backend.name, 0);
            m_boundColor = rt->backend.name;
        }
        if (depth != m_boundDepth) {
            const bool stencil = depth && FormatHasStencil(ds->Format());
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, depth);
            m_boundDepth = depth;
        }
        m_hasDepth = m_boundDepth != 0;
        m_hasStencil = m_hasDepth && FormatHasStencil(ds->Format());
        glViewport(0, 0, GLsizei(rt->Width()), GLsizei(rt->Height()));
        return true;
    }

    GLuint UploadBuffer(BufferResource& b, GLenum target) {
        if (!b.backend.name) {
            glGenBuffers(1, &b.backend.name);
            glBindBuffer(target, b.backend.name);
            glBufferData(target, b.Size(), b.Bytes(),
                         (b.Usage() & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
            b.backend.version = b.ContentVersion();
            b.dirtyBegin = b.dirtyEnd = 0;
            return b.backend.name;
        }
        glBindBuffer(target, b.backend.name);
        if (b.backend.version != b.ContentVersion() && b.dirtyEnd > b.dirtyBegin) {
            glBufferSubData(target, b.dirtyBegin, b.dirtyEnd - b.dirtyBegin, b.Bytes() + b.dirtyBegin);
        }
        b.backend.version = b.ContentVersion();
        b.dirtyBegin = b.dirtyEnd = 0;
        return b.backend.name;
    }

    void SetColorAttribute(GLuint index, int offset, std::uint32_t stride, std::uintptr_t base, float absent) {
        if (offset >= 0) {
            glEnableVertexAttribArray(index);
            // D3DCOLOR bytes are B, G, R, A in memory.
            glVertexAttribPointer(index, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, GLsizei(stride),
                                  reinterpret_cast<const void*>(base + std::uintptr_t(offset)));
        } else {
            glDisableVertexAttribArray(index);
            glVertexAttrib4f(index, absent, absent, absent, absent);
        }
    }

    // The constants in front of the shader bodies for a state key.
    Program* GenerateProgram(const StateKey& key) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "const bool kPretransformed = %s;\nconst bool kLighting = %s;\n"
                      "const int kDiffuseSrc = %u, kAmbientSrc = %u, kEmissiveSrc = %u;\n",
                      key[0] ? "true" : "false", key[1] ? "true" : "false", key[2], key[3], key[4]);
        const std::string vsConstants = text;
        static constexpr const char* kNames[7] = {"kColorOp", "kColorArg1", "kColorArg2", "kAlphaOp",
                                                  "kAlphaArg1", "kAlphaArg2", "kHasTexture"};
        std::string fsConstants;
        for (int k = 0; k < 7; ++k) {
            fsConstants += std::string("const ") + (k == 6 ? "bool " : "int ") + kNames[k] + "[8] = " +
                           (k == 6 ? "bool" : "int") + "[8](";
            for (int i = 0; i < 8; ++i) {
                // Texture sampling is not performed yet: no stage has a texture.
                fsConstants += k == 6 ? std::string("false") : std::to_string(key[8 + i * 6 + k]);
                fsConstants += i < 7 ? "," : ");\n";
            }
        }
        std::snprintf(text, sizeof text, "const bool kFlat = %s;\nconst bool kSpecularEnable = %s;\nconst int kAlphaFunc = %u;\n",
                      key[5] ? "true" : "false", key[6] ? "true" : "false", key[7]);
        fsConstants += text;
        if (m_fault == BackendFault::CompileError) fsConstants += "#error a fault injected by a test\n";
        // The same uniform with another type in each stage compiles, and fails to link.
        if (m_fault == BackendFault::LinkError) fsConstants += "uniform float uViewport;\n";
        return ProgramFor(vsConstants, fsConstants);
    }

    // Chooses the program for the state and sets its uniforms; one with id 0 when it cannot be built.
    const Program* SetProgram(const DeviceState& s, const VertexLayout& layout, const IDirect3DSurface9& rt) {
        const auto& rs = s.renderStates;
        auto source = [&](std::uint32_t state) -> std::uint32_t {
            const std::uint32_t v = rs[state];
            if (!rs[D3DRS_COLORVERTEX]) return 0;
            if (v == D3DMCS_COLOR1 && layout.diffuse >= 0) return 1;
            if (v == D3DMCS_COLOR2 && layout.specular >= 0) return 2;
            return 0;
        };
        // Everything a generated program depends on, in a few words.
        StateKey key{};
        const bool lighting = rs[D3DRS_LIGHTING] != 0 && !layout.pretransformed;
        const std::uint32_t alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? rs[D3DRS_ALPHAFUNC] : 0;
        key[0] = layout.pretransformed;
        key[1] = lighting;
        key[2] = lighting ? source(D3DRS_DIFFUSEMATERIALSOURCE) : 0;
        key[3] = lighting ? source(D3DRS_AMBIENTMATERIALSOURCE) : 0;
        key[4] = lighting ? source(D3DRS_EMISSIVEMATERIALSOURCE) : 0;
        key[5] = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
        key[6] = rs[D3DRS_SPECULARENABLE] != 0;
        key[7] = alphaFunc >= 1 && alphaFunc <= 8 ? alphaFunc : 0;
        // Stages after the first disabled one never run: they stay out of the key.
        static constexpr std::uint32_t kStates[6] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                     D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
        bool disabled = false;
        for (int i = 0; i < 8; ++i) {
            disabled = disabled || s.stageStates[i][D3DTSS_COLOROP] == D3DTOP_DISABLE;
            for (int k = 0; k < 6; ++k) key[8 + i * 6 + k] = disabled ? (k == 0 ? 1u : 0u) : s.stageStates[i][kStates[k]];
        }
        const Program* prog = nullptr;
        if (m_lastProgram && key == m_lastKey) {
            prog = m_lastProgram;
        } else {
            auto it = m_byState.find(key);
            prog = it != m_byState.end() ? it->second : (m_byState[key] = GenerateProgram(key));
            m_lastKey = key;
            m_lastProgram = prog;
        }
        if (!prog->id) return prog;
        glUseProgram(prog->id);

        const D3DMATRIX wvp = Multiply(Multiply(s.world[0], s.view), s.projection);
        // Row-vector matrices uploaded as they are read as their transpose by GLSL:
        // uWVP * v then equals v x world x view x projection.
        glUniformMatrix4fv(prog->wvp, 1, GL_FALSE, &wvp.m[0][0]);
        glUniform4f(prog->viewport, float(s.viewport.X), float(s.viewport.Y), float(s.viewport.Width),
                    float(s.viewport.Height));
        glUniform2f(prog->depthRange, s.viewport.MinZ, s.viewport.MaxZ);
        glUniform2f(prog->target, float(rt.Width()), float(rt.Height()));
        glUniform2f(prog->flipY, m_flipY ? -1.0f : 1.0f, m_flipY ? 2.0f / (256.0f * float(rt.Height())) : 0.0f);
        const D3DMATERIAL9& m = s.material;
        glUniform4f(prog->matDiffuse, m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a);
        glUniform4f(prog->matAmbient, m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a);
        glUniform4f(prog->matEmissive, m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a);
        float c[4];
        ColorToFloats(rs[D3DRS_AMBIENT], c);
        glUniform4fv(prog->globalAmbient, 1, c);
        ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(prog->tfactor, 1, c);
        glUniform1f(prog->alphaRef, float(rs[D3DRS_ALPHAREF] & 0xFF));
        return prog;
    }

    void SetRasterState(const DeviceState& s, const IDirect3DSurface9& rt) {
        const auto& rs = s.renderStates;
        // Clockwise on screen is GL's counter-clockwise in the top-down framebuffer
        // object, and GL's clockwise in the bottom-up window (see the top of this file).
        glFrontFace(m_flipY ? GL_CW : GL_CCW);
        switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        default: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        }
        if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_hasDepth) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GlCompare(rs[D3DRS_ZFUNC]));
            glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        if (rs[D3DRS_STENCILENABLE] && m_hasStencil) {
            glEnable(GL_STENCIL_TEST);
            glStencilFunc(GlCompare(rs[D3DRS_STENCILFUNC]), GLint(rs[D3DRS_STENCILREF] & 0xFF), rs[D3DRS_STENCILMASK]);
            glStencilOp(GlStencilOp(rs[D3DRS_STENCILFAIL]), GlStencilOp(rs[D3DRS_STENCILZFAIL]),
                        GlStencilOp(rs[D3DRS_STENCILPASS]));
            glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
        } else {
            glDisable(GL_STENCIL_TEST);
        }
        if (rs[D3DRS_ALPHABLENDENABLE]) {
            glEnable(GL_BLEND);
            GLenum src = GlBlend(rs[D3DRS_SRCBLEND]), dst = GlBlend(rs[D3DRS_DESTBLEND]);
            if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
                src = GL_SRC_ALPHA;
                dst = GL_ONE_MINUS_SRC_ALPHA;
            } else if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
                src = GL_ONE_MINUS_SRC_ALPHA;
                dst = GL_SRC_ALPHA;
            }
            glBlendFunc(src, dst);
            glBlendEquation(GlBlendOp(rs[D3DRS_BLENDOP]));
        } else {
            glDisable(GL_BLEND);
        }
        const std::uint32_t mask = rs[D3DRS_COLORWRITEENABLE];
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
        switch (rs[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
        case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
        default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
        }
        // Drawing stays inside the viewport, and the scissor rectangle when enabled.
        std::int32_t left = std::int32_t(s.viewport.X), top = std::int32_t(s.viewport.Y);
        std::int32_t right = left + std::int32_t(s.viewport.Width), bottom = top + std::int32_t(s.viewport.Height);
        if (rs[D3DRS_SCISSORTESTENABLE]) {
            left = std::max(left, s.scissor.left);
            top = std::max(top, s.scissor.top);
            right = std::min(right, s.scissor.right);
            bottom = std::min(bottom, s.scissor.bottom);
        }
        right = std::min(right, std::int32_t(rt.Width()));
        bottom = std::min(bottom, std::int32_t(rt.Height()));
        glEnable(GL_SCISSOR_TEST);
        glScissor(left, ScissorY(top, std::max(top, bottom)), std::max(0, right - left), std::max(0, bottom - top));
    }

    D3DPRESENT_PARAMETERS m_params;
    SDL_Window* m_window = nullptr;
    std::uint32_t m_windowId = 0;
    bool m_ownWindow = false;
    SDL_GLContext m_context = nullptr;
    std::unordered_map<std::string, Program> m_programs; // by generated source
    std::unordered_map<StateKey, Program*, StateKeyHash> m_byState;
    StateKey m_lastKey{};
    const Program* m_lastProgram = nullptr;
    GLuint m_vao = 0, m_fbo = 0, m_readFbo = 0, m_streamVbo = 0, m_streamIbo = 0;
    GLuint m_boundColor = 0, m_boundDepth = 0;
    GLuint m_boundFramebuffer = ~0u;
    GLuint m_uploadTexture = 0;
    bool m_direct = false;     // the back buffer is the window's framebuffer
    bool m_windowSuits = false; // the window's pixel format serves the back buffer
    bool m_flipY = false;      // drawing into the bottom-up window framebuffer
    bool m_hasDepth = false;   // the bound targets have depth / stencil
    bool m_hasStencil = false;
    GLsizei m_targetHeight = 0;
    bool m_warnedDepth = false;
    FramePacer m_pacer;
    BackendFault m_fault = BackendFault::None;
    std::set<std::string> m_reported; // kinds of failure told on standard error
};

} // namespace

void SetGlWindowAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

bool GlAvailable() {
    if (SDL_GL_LoadLibrary(nullptr) != 0) return false;
    SDL_GL_UnloadLibrary();
    return true;
}

std::unique_ptr<Backend> CreateGlBackend() { return std::make_unique<GlBackend>(); }

} // namespace gfx
