#include "platform/gfx/GfxBackendLocal.h"

#include "platform/gfx/GfxFormat.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>

namespace gfx {
namespace {

// Direct3D conventions on OpenGL: the framebuffer object stores rows top-down
// (GL window y = D3D screen y), so a read-back needs no flip and Present flips
// once. Pixel centres sit on integer D3D coordinates (GL window x = D3D x + 0.5);
// z runs 0..1; clockwise faces on screen come out as GL's counter-clockwise ones.
constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
uniform mat4 uWVP;
uniform bool uPretransformed;
uniform vec4 uViewport;    // X, Y, Width, Height
uniform vec2 uDepthRange;  // MinZ, MaxZ
uniform vec2 uTarget;      // target width, height
uniform bool uLighting;
uniform int uDiffuseSrc, uAmbientSrc, uEmissiveSrc; // 0 material, 1 colour 1, 2 colour 2
uniform vec4 uMatDiffuse, uMatAmbient, uMatEmissive, uGlobalAmbient;
out vec4 vDiffuse;
flat out vec4 vDiffuseFlat;
out vec4 vSpecular;
flat out vec4 vSpecularFlat;
vec4 pick(int src, vec4 material) { return src == 1 ? aDiffuse : (src == 2 ? aSpecular : material); }
void main() {
    if (uPretransformed) {
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
    vec4 diffuse = aDiffuse;
    vec4 specular = aSpecular;
    if (uLighting && !uPretransformed) {
        // No light is performed: emissive plus global ambient times the ambient source.
        vec3 rgb = pick(uEmissiveSrc, uMatEmissive).rgb + uGlobalAmbient.rgb * pick(uAmbientSrc, uMatAmbient).rgb;
        diffuse = vec4(clamp(rgb, 0.0, 1.0), pick(uDiffuseSrc, uMatDiffuse).a);
        specular = vec4(0.0);
    }
    vDiffuse = diffuse;
    vDiffuseFlat = diffuse;
    vSpecular = specular;
    vSpecularFlat = specular;
}
)";

constexpr const char* kFragmentShader = R"(#version 330 core
in vec4 vDiffuse;
flat in vec4 vDiffuseFlat;
in vec4 vSpecular;
flat in vec4 vSpecularFlat;
uniform bool uFlat;
uniform int uColorOp[8], uColorArg1[8], uColorArg2[8], uAlphaOp[8], uAlphaArg1[8], uAlphaArg2[8];
uniform bool uHasTexture[8];
uniform vec4 uTFactor;
uniform bool uSpecularEnable;
uniform bool uAlphaTest;
uniform int uAlphaFunc;
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
    vec4 diffuse = uFlat ? vDiffuseFlat : vDiffuse;
    vec4 specular = uFlat ? vSpecularFlat : vSpecular;
    vec4 current = diffuse;
    for (int i = 0; i < 8; ++i) {
        if (uColorOp[i] == 1) break;
        vec3 rgb = current.rgb;
        // A stage without a texture passes the current value where its operation reads the texture.
        if (uHasTexture[i] || !usesTexture(uColorArg1[i], uColorArg2[i]))
            rgb = op(uColorOp[i], arg(uColorArg1[i], diffuse, current, specular),
                     arg(uColorArg2[i], diffuse, current, specular)).rgb;
        float a = current.a;
        if (uAlphaOp[i] != 1 && (uHasTexture[i] || !usesTexture(uAlphaArg1[i], uAlphaArg2[i])))
            a = op(uAlphaOp[i], arg(uAlphaArg1[i], diffuse, current, specular),
                   arg(uAlphaArg2[i], diffuse, current, specular)).a;
        current = vec4(rgb, a);
    }
    if (uSpecularEnable) current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);
    if (uAlphaTest && !passes(uAlphaFunc, floor(current.a * 255.0 + 0.5), uAlphaRef)) discard;
    oColor = current;
}
)";

struct GlFormat {
    GLenum internal, format, type;
};

bool GlColorFormat(D3DFORMAT f, GlFormat& out) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
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

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

GLuint Compile(GLenum kind, const char* source) {
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "gfx gl: shader compile failed: %s\n", log);
        glDeleteShader(s);
        return 0;
    }
    return s;
}

class GlBackend final : public Backend {
public:
    ~GlBackend() override {
        if (m_context) {
            MakeCurrent();
            glDeleteProgram(m_program);
            glDeleteVertexArrays(1, &m_vao);
            glDeleteFramebuffers(1, &m_fbo);
            glDeleteFramebuffers(1, &m_readFbo);
            glDeleteBuffers(1, &m_streamVbo);
            glDeleteBuffers(1, &m_streamIbo);
            SDL_GL_DeleteContext(m_context);
        }
        if (m_ownWindow && m_window) SDL_DestroyWindow(m_window);
    }

    const char* Name() const override { return "gl"; }

    HRESULT Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) override {
        m_params = params;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        WindowHandle window = params.hDeviceWindow ? params.hDeviceWindow : focus;
        if (window) {
            m_window = static_cast<SDL_Window*>(window);
            if (!(SDL_GetWindowFlags(m_window) & SDL_WINDOW_OPENGL)) {
                std::fprintf(stderr, "gfx gl: the device window was not made with SDL_WINDOW_OPENGL\n");
                return D3DERR_NOTAVAILABLE;
            }
        } else {
            m_window = SDL_CreateWindow("orvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        int(params.BackBufferWidth), int(params.BackBufferHeight),
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            m_ownWindow = m_window != nullptr;
            if (!m_window) {
                std::fprintf(stderr, "gfx gl: window failed: %s\n", SDL_GetError());
                return D3DERR_NOTAVAILABLE;
            }
        }
        m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) {
            std::fprintf(stderr, "gfx gl: no OpenGL 3.3 core context: %s\n", SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        MakeCurrent();
        if (epoxy_gl_version() < 33) return D3DERR_NOTAVAILABLE;
        if (!BuildProgram()) return D3DERR_NOTAVAILABLE;
        glGenVertexArrays(1, &m_vao);
        glBindVertexArray(m_vao);
        glGenFramebuffers(1, &m_fbo);
        glGenFramebuffers(1, &m_readFbo);
        glGenBuffers(1, &m_streamVbo);
        glGenBuffers(1, &m_streamIbo);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex, as D3D does
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glFrontFace(GL_CCW);
        ApplyWindowMode();
        return D3D_OK;
    }

    HRESULT Resize(const D3DPRESENT_PARAMETERS& params) override {
        m_params = params;
        ApplyWindowMode();
        return D3D_OK;
    }

    void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color, float z,
               std::uint32_t stencil) override {
        MakeCurrent();
        if (!BindTargets(device.State())) return;
        GLbitfield bits = 0;
        if (flags & D3DCLEAR_TARGET) {
            float c[4];
            ColorToFloats(color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_ZBUFFER) && m_boundDepth) {
            glClearDepth(z);
            glDepthMask(GL_TRUE);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_STENCIL) && m_boundDepth) {
            glClearStencil(GLint(stencil & 0xFF));
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        glEnable(GL_SCISSOR_TEST);
        for (const RECT& r : rects) {
            glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
            glClear(bits);
        }
    }

    void Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) override {
        MakeCurrent();
        const DeviceState& s = device.State();
        if (!BindTargets(s)) return;
        const IDirect3DSurface9* rt = s.renderTargets[0];

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

        SetUniforms(s, layout, *rt);
        SetRasterState(s, *rt);

        const GLenum mode = GlPrimitive(call.primitiveType);
        if (!call.indexed) {
            glDrawArrays(mode, GLint(call.startVertex), GLsizei(call.vertexCount));
            return;
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
    }

    HRESULT Present(IDirect3DDevice9& device) override {
        MakeCurrent();
        IDirect3DSurface9* back = device.BackBufferSurface();
        if (!back) return D3DERR_INVALIDCALL;
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
        SDL_GL_SwapWindow(m_window);
        return D3D_OK;
    }

    void ReadSurface(IDirect3DSurface9& surface) override {
        GlFormat f;
        if (!surface.backend.name || !GlColorFormat(surface.Format(), f)) return;
        MakeCurrent();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.backend.name, 0);
        glReadPixels(0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type, surface.Bytes());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    }

    void WriteSurface(IDirect3DSurface9& surface) override {
        GlFormat f;
        if (!GlColorFormat(surface.Format(), f) || !(surface.Usage() & D3DUSAGE_RENDERTARGET)) return;
        MakeCurrent();
        EnsureColor(surface);
        glBindTexture(GL_TEXTURE_2D, surface.backend.name);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type,
                        surface.Bytes());
    }

    void ResourceDestroyed(IDirect3DResource9& r) override {
        if (!r.backend.name && !r.backend.name2) return;
        MakeCurrent();
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
    void MakeCurrent() {
        if (SDL_GL_GetCurrentContext() != m_context) SDL_GL_MakeCurrent(m_window, m_context);
    }

    void ApplyWindowMode() {
        if (!m_params.Windowed) {
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN_DESKTOP) SDL_SetWindowFullscreen(m_window, 0);
            if (m_ownWindow) SDL_SetWindowSize(m_window, int(m_params.BackBufferWidth), int(m_params.BackBufferHeight));
        }
        SDL_GL_SetSwapInterval(m_params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    }

    bool BuildProgram() {
        const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
        const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
        if (!vs || !fs) return false;
        m_program = glCreateProgram();
        glAttachShader(m_program, vs);
        glAttachShader(m_program, fs);
        glLinkProgram(m_program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint ok = 0;
        glGetProgramiv(m_program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048];
            glGetProgramInfoLog(m_program, sizeof log, nullptr, log);
            std::fprintf(stderr, "gfx gl: program link failed: %s\n", log);
            return false;
        }
        glUseProgram(m_program);
        auto loc = [&](const char* name) { return glGetUniformLocation(m_program, name); };
        u.wvp = loc("uWVP");
        u.pretransformed = loc("uPretransformed");
        u.viewport = loc("uViewport");
        u.depthRange = loc("uDepthRange");
        u.target = loc("uTarget");
        u.lighting = loc("uLighting");
        u.diffuseSrc = loc("uDiffuseSrc");
        u.ambientSrc = loc("uAmbientSrc");
        u.emissiveSrc = loc("uEmissiveSrc");
        u.matDiffuse = loc("uMatDiffuse");
        u.matAmbient = loc("uMatAmbient");
        u.matEmissive = loc("uMatEmissive");
        u.globalAmbient = loc("uGlobalAmbient");
        u.flat = loc("uFlat");
        u.colorOp = loc("uColorOp");
        u.colorArg1 = loc("uColorArg1");
        u.colorArg2 = loc("uColorArg2");
        u.alphaOp = loc("uAlphaOp");
        u.alphaArg1 = loc("uAlphaArg1");
        u.alphaArg2 = loc("uAlphaArg2");
        u.hasTexture = loc("uHasTexture");
        u.tfactor = loc("uTFactor");
        u.specularEnable = loc("uSpecularEnable");
        u.alphaTest = loc("uAlphaTest");
        u.alphaFunc = loc("uAlphaFunc");
        u.alphaRef = loc("uAlphaRef");
        return true;
    }

    void EnsureColor(IDirect3DSurface9& s) {
        if (s.backend.name) return;
        GlFormat f;
        if (!GlColorFormat(s.Format(), f)) return;
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

    bool BindTargets(const DeviceState& s) {
        IDirect3DSurface9* rt = s.renderTargets[0];
        if (!rt) return false;
        EnsureColor(*rt);
        if (s.depthStencil) EnsureDepth(*s.depthStencil);
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        const GLuint depth = s.depthStencil ? s.depthStencil->backend.name2 : 0;
        if (rt->backend.name != m_boundColor) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, rt->backend.name, 0);
            m_boundColor = rt->backend.name;
        }
        if (depth != m_boundDepth) {
            const bool stencil = depth && FormatHasStencil(s.depthStencil->Format());
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, depth);
            m_boundDepth = depth;
        }
        m_boundStencil = m_boundDepth && FormatHasStencil(s.depthStencil->Format());
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

    void SetUniforms(const DeviceState& s, const VertexLayout& layout, const IDirect3DSurface9& rt) {
        const D3DMATRIX wvp = Multiply(Multiply(s.world[0], s.view), s.projection);
        // Row-vector matrices uploaded as they are read as their transpose by GLSL:
        // uWVP * v then equals v x world x view x projection.
        glUniformMatrix4fv(u.wvp, 1, GL_FALSE, &wvp.m[0][0]);
        glUniform1i(u.pretransformed, layout.pretransformed);
        glUniform4f(u.viewport, float(s.viewport.X), float(s.viewport.Y), float(s.viewport.Width),
                    float(s.viewport.Height));
        glUniform2f(u.depthRange, s.viewport.MinZ, s.viewport.MaxZ);
        glUniform2f(u.target, float(rt.Width()), float(rt.Height()));
        const auto& rs = s.renderStates;
        glUniform1i(u.lighting, rs[D3DRS_LIGHTING] != 0);
        auto source = [&](std::uint32_t state) {
            const std::uint32_t v = rs[state];
            if (!rs[D3DRS_COLORVERTEX]) return 0;
            if (v == D3DMCS_COLOR1 && layout.diffuse >= 0) return 1;
            if (v == D3DMCS_COLOR2 && layout.specular >= 0) return 2;
            return 0;
        };
        glUniform1i(u.diffuseSrc, source(D3DRS_DIFFUSEMATERIALSOURCE));
        glUniform1i(u.ambientSrc, source(D3DRS_AMBIENTMATERIALSOURCE));
        glUniform1i(u.emissiveSrc, source(D3DRS_EMISSIVEMATERIALSOURCE));
        const D3DMATERIAL9& m = s.material;
        glUniform4f(u.matDiffuse, m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a);
        glUniform4f(u.matAmbient, m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a);
        glUniform4f(u.matEmissive, m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a);
        float c[4];
        ColorToFloats(rs[D3DRS_AMBIENT], c);
        glUniform4fv(u.globalAmbient, 1, c);
        ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(u.tfactor, 1, c);
        glUniform1i(u.flat, rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT);
        GLint colorOp[8], colorArg1[8], colorArg2[8], alphaOp[8], alphaArg1[8], alphaArg2[8], hasTexture[8];
        for (int i = 0; i < 8; ++i) {
            const auto& t = s.stageStates[i];
            colorOp[i] = GLint(t[D3DTSS_COLOROP]);
            colorArg1[i] = GLint(t[D3DTSS_COLORARG1]);
            colorArg2[i] = GLint(t[D3DTSS_COLORARG2]);
            alphaOp[i] = GLint(t[D3DTSS_ALPHAOP]);
            alphaArg1[i] = GLint(t[D3DTSS_ALPHAARG1]);
            alphaArg2[i] = GLint(t[D3DTSS_ALPHAARG2]);
            hasTexture[i] = 0; // texture sampling is not performed yet
        }
        glUniform1iv(u.colorOp, 8, colorOp);
        glUniform1iv(u.colorArg1, 8, colorArg1);
        glUniform1iv(u.colorArg2, 8, colorArg2);
        glUniform1iv(u.alphaOp, 8, alphaOp);
        glUniform1iv(u.alphaArg1, 8, alphaArg1);
        glUniform1iv(u.alphaArg2, 8, alphaArg2);
        glUniform1iv(u.hasTexture, 8, hasTexture);
        glUniform1i(u.specularEnable, rs[D3DRS_SPECULARENABLE] != 0);
        glUniform1i(u.alphaTest, rs[D3DRS_ALPHATESTENABLE] != 0);
        glUniform1i(u.alphaFunc, GLint(rs[D3DRS_ALPHAFUNC]));
        glUniform1f(u.alphaRef, float(rs[D3DRS_ALPHAREF] & 0xFF));
    }

    void SetRasterState(const DeviceState& s, const IDirect3DSurface9& rt) {
        const auto& rs = s.renderStates;
        // Clockwise on screen is GL's counter-clockwise here (see the top of this file).
        switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        default: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        }
        if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_boundDepth) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GlCompare(rs[D3DRS_ZFUNC]));
            glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        if (rs[D3DRS_STENCILENABLE] && m_boundStencil) {
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
        glScissor(left, top, std::max(0, right - left), std::max(0, bottom - top));
    }

    struct Uniforms {
        GLint wvp, pretransformed, viewport, depthRange, target, lighting, diffuseSrc, ambientSrc, emissiveSrc,
            matDiffuse, matAmbient, matEmissive, globalAmbient, flat, colorOp, colorArg1, colorArg2, alphaOp,
            alphaArg1, alphaArg2, hasTexture, tfactor, specularEnable, alphaTest, alphaFunc, alphaRef;
    } u{};

    D3DPRESENT_PARAMETERS m_params;
    SDL_Window* m_window = nullptr;
    bool m_ownWindow = false;
    SDL_GLContext m_context = nullptr;
    GLuint m_program = 0, m_vao = 0, m_fbo = 0, m_readFbo = 0, m_streamVbo = 0, m_streamIbo = 0;
    GLuint m_boundColor = 0, m_boundDepth = 0;
    bool m_boundStencil = false;
};

} // namespace

bool GlAvailable() {
    if (SDL_GL_LoadLibrary(nullptr) != 0) return false;
    SDL_GL_UnloadLibrary();
    return true;
}

std::unique_ptr<Backend> CreateGlBackend() { return std::make_unique<GlBackend>(); }

} // namespace gfx
