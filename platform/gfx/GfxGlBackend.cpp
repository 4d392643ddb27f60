#include "platform/gfx/GfxGlBackend.h"

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <iterator>

namespace gfx {
namespace {

// Direct3D conventions on OpenGL: the framebuffer object stores rows top-down
// (GL window y = D3D screen y), so a read-back needs no flip and Present flips
// once. Pixel centres sit on integer D3D coordinates (GL window x = D3D x + 0.5);
// z runs 0..1; clockwise faces on screen come out as GL's counter-clockwise ones.

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

} // namespace

GlBackend::~GlBackend() {
    if (m_context) {
        // Releasing a device after its window was destroyed is allowed:
        // the context's objects die with the context, so skip the calls.
        if (MakeCurrent()) {
        for (auto& entry : m_programs) glDeleteProgram(entry.second.id);
        for (auto& entry : m_stages) glDeleteShader(entry.second);
        glDeleteVertexArrays(1, &m_vao);
        for (auto& entry : m_vertexArrays) glDeleteVertexArrays(1, &entry.second.name);
        glDeleteSamplers(GLsizei(m_samplers.size()), m_samplers.data());
        glDeleteFramebuffers(1, &m_fbo);
        glDeleteFramebuffers(1, &m_readFbo);
        glDeleteBuffers(1, &m_streamVbo);
        glDeleteBuffers(1, &m_streamIbo);
        if (m_paletteUbo[0]) glDeleteBuffers(2, m_paletteUbo.data());
        if (m_uploadTexture) glDeleteTextures(1, &m_uploadTexture);
        DeleteMultisampleBuffers();
        for (const SpareTexture& spare : m_spareTextures) glDeleteTextures(1, &spare.name);
        }
        SDL_GL_DeleteContext(m_context);
    }
    if (m_ownWindow && WindowAlive()) SDL_DestroyWindow(m_window);
}

HRESULT GlBackend::Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) {
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
    StateKey plain{};
    plain[kPretransformedWord] = 1;
    plain[std::size_t(kStageBase) + kColorOp] = D3DTOP_DISABLE;
    if (const Program* probe = GenerateProgram(plain); !probe->id) {
        ReportFailure("gfx gl: the driver cannot build the device's programs: " + probe->failure);
        return D3DERR_NOTAVAILABLE;
    }
    glGenVertexArrays(1, &m_vao);
    glBindVertexArray(m_vao);
    m_boundVertexArray = m_vao;
    glGenSamplers(GLsizei(m_samplers.size()), m_samplers.data());
    GLint drawBuffers = 0, attachments = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &drawBuffers);
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &attachments);
    m_maxTargets = std::uint32_t(std::clamp<GLint>(std::min(drawBuffers, attachments), 1, GLint(DeviceState::kTargets)));
    m_samplerLimits = QueryGlSamplerLimits();
    NoteGlDriverLimits(DriverLimits{m_samplerLimits.maxAnisotropy});
    for (auto& params : m_samplerParams) params.fill(-1);
    glGenFramebuffers(1, &m_fbo);
    glGenFramebuffers(1, &m_readFbo);
    glGenBuffers(1, &m_streamVbo);
    glGenBuffers(1, &m_streamIbo);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex, as D3D does
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ApplyWindowMode();
    // Sample counts asked before any context existed are checked here,
    // against this device's own context.
    if (m_params.MultiSampleType != D3DMULTISAMPLE_NONE &&
        SamplesFor(m_params.MultiSampleType, m_params.MultiSampleQuality, GlSampleCounts()) == 0) {
        ReportFailure("gfx gl: the driver has no such multisample count or quality");
        return D3DERR_INVALIDCALL; // what the check before creation answers
    }
    MakeMultisampleBuffers();
    ChooseDirect();
    return D3D_OK;
}

void GlBackend::DriverCaps(D3DCAPS9& caps) const {
    caps.NumSimultaneousRTs = std::min(caps.NumSimultaneousRTs, m_maxTargets);
    ApplyDriverLimits(caps, DriverLimits{m_samplerLimits.maxAnisotropy});
}

HRESULT GlBackend::Resize(const D3DPRESENT_PARAMETERS& params) {
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
    m_rasterKnown = false;
    m_viewportSize = {-1, -1};
    ApplyWindowMode();
    MakeMultisampleBuffers();
    ChooseDirect();
    return D3D_OK;
}

void GlBackend::Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color, float z,
           std::uint32_t stencil) {
    if (!MakeCurrent()) return;
    if (!BindTargets(device.State())) return;
    m_rasterKnown = false; // masks and scissor change below
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

HRESULT GlBackend::Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) {
    if (!MakeCurrent()) return D3DERR_DEVICELOST; // the window is gone: nothing to draw into
    const DeviceState& s = device.State();
    if (!BindTargets(s)) return D3DERR_INVALIDCALL;
    const IDirect3DSurface9* rt = s.renderTargets[0];
    assert((call.userVertices || layout.declared || s.vertexShader || s.streams[0].buffer) &&
           "a draw the front end should have refused");
    assert((!call.indexed || call.userIndices || s.indices) && "a draw the front end should have refused");

    // Vertex input: by element for programs and declarations, else stream 0's FVF layout.
    std::uint32_t inputW1 = 0;
    if (layout.declared || s.vertexShader) {
        inputW1 = BindElements(s, layout, call);
    } else {
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
    // UploadBuffer and the user-pointer branch leave vbo bound as the array buffer.
    UseVertexArrayOf(vbo);
    m_arrayBuffer = vbo;
    SetAttribute(0, layout.pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE, stride, base + std::uintptr_t(layout.position));
    SetColorAttribute(1, layout.diffuse, stride, base, 1.0f);
    SetColorAttribute(2, layout.specular, stride, base, 0.0f);
    SetFloatAttribute(3, layout.normal, 3, stride, base);
    SetFloatAttribute(12, layout.weights, layout.weightCount, stride, base);
    if (layout.blendIndices < 0)
        DisableAttribute(13, nullptr);
    else if (layout.blendIndicesColor)
        SetAttribute(13, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, base + std::uintptr_t(layout.blendIndices));
    else
        SetAttribute(13, 4, GL_UNSIGNED_BYTE, GL_FALSE, stride, base + std::uintptr_t(layout.blendIndices));
    for (int i = 0; i < 8; ++i) SetFloatAttribute(GLuint(4 + i), layout.texcoord[i], layout.texcoordSize[i], stride, base);
    for (GLuint i = 14; i < kAttributes; ++i) DisableAttribute(i, nullptr);
    }

    if (const Program* prog = SetProgram(s, layout, *rt); !prog->id) {
        ReportOnce("program " + prog->failureKind, "gfx gl: a generated program failed: " + prog->failure);
        return D3DERR_DRIVERINTERNALERROR;
    } else if (prog->constants) {
        prog->constants->SetInputW1(inputW1);
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

void GlBackend::InjectFault(BackendFault fault) {
    m_fault = fault;
    // Programs are made again from now on, with the fault in them.
    m_byState.clear();
    m_lastProgram = nullptr;
}

HRESULT GlBackend::Present(IDirect3DDevice9& device) {
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
    if (m_samples > 1) Resolve(*back);
    EnsureColor(*back);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back->backend.name, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(m_window, &w, &h);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_rasterKnown = false;
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

void GlBackend::ReadSurface(IDirect3DSurface9& surface, const RECT* rect) {
    const RECT all{0, 0, std::int32_t(surface.Width()), std::int32_t(surface.Height())};
    const RECT& r = rect ? *rect : all;
    if (IsWindowSurface(surface)) {
        ReadWindow(surface, r);
        return;
    }
    GlFormat f;
    if (m_samples > 1 && surface.IsImplicit() && GlColorFormat(surface.Format(), f) && MakeCurrent())
        Resolve(surface);
    if (!surface.backend.name || !GlColorFormat(surface.Format(), f)) return;
    if (!MakeCurrent()) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.backend.name, 0);
    // Target textures keep row 0 at y 0: the rectangle reads straight
    // into its place in the surface's rows.
    const std::uint32_t bpp = FormatBitsPerPixel(surface.Format()) / 8;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(surface.Pitch() / bpp));
    glReadPixels(r.left, r.top, r.right - r.left, r.bottom - r.top, f.format, f.type,
                 surface.Bytes() + std::size_t(r.top) * surface.Pitch() + std::size_t(r.left) * bpp);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_boundFramebuffer = ~0u;
}

void GlBackend::WriteSurface(IDirect3DSurface9& surface) {
    GlFormat f;
    if (!GlColorFormat(surface.Format(), f) || !(surface.Usage() & D3DUSAGE_RENDERTARGET)) return;
    if (!MakeCurrent()) return;
    const bool window = IsWindowSurface(surface);
    GLuint& texture = window ? m_uploadTexture : surface.backend.name;
    if (window && !m_uploadTexture) glGenTextures(1, &m_uploadTexture);
    if (!window) EnsureColor(surface);
    glBindTexture(GL_TEXTURE_2D, texture);
    m_boundTextures[m_activeUnit] = texture;
    if (window) {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(surface.Width()), GLsizei(surface.Height()), 0,
                     f.format, f.type, surface.Bytes());
        // Rows of the bytes run top-down; the window's run bottom-up.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        m_rasterKnown = false;
        const GLint w = GLint(surface.Width()), h = GLint(surface.Height());
        glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        m_boundFramebuffer = ~0u;
        return;
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type,
                    surface.Bytes());
}

void GlBackend::ResourceDestroyed(IDirect3DResource9& r) {
    if (!r.backend.name && !r.backend.name2) return;
    if (!MakeCurrent()) {
        r.backend = BackendData{};
        return;
    }
    if (r.GetType() == D3DRTYPE_SURFACE) {
        for (GLuint& color : m_boundColors)
            if (r.backend.name == color) color = 0;
        if (r.backend.name2 == m_boundDepth) m_boundDepth = 0;
        // A target level's texture may be bound for sampling.
        for (GLuint& bound : m_boundTextures)
            if (r.backend.name && bound == r.backend.name) bound = 0;
        if (r.backend.name) glDeleteTextures(1, &r.backend.name);
        if (r.backend.name2) glDeleteRenderbuffers(1, &r.backend.name2);
    } else if (r.GetType() == D3DRTYPE_VERTEXBUFFER || r.GetType() == D3DRTYPE_INDEXBUFFER) {
        ForgetVertexArrayOf(r.backend.name);
        glDeleteBuffers(1, &r.backend.name);
    } else if (r.GetType() == D3DRTYPE_TEXTURE || r.GetType() == D3DRTYPE_CUBETEXTURE ||
               r.GetType() == D3DRTYPE_VOLUMETEXTURE) {
        for (GLuint& bound : m_boundTextures)
            if (bound == r.backend.name) bound = 0;
        KeepOrDeleteTexture(r);
    }
    r.backend = BackendData{};
}

bool GlBackend::MakeCurrent() {
    if (!m_context || !WindowAlive()) return false;
    if (SDL_GL_GetCurrentContext() != m_context && SDL_GL_MakeCurrent(m_window, m_context) != 0) return false;
    return true;
}

void GlBackend::CoverDisplay() {
    if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN) return;
    SDL_Rect bounds{};
    const int display = SDL_GetWindowDisplayIndex(m_window);
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0) return;
    SDL_SetWindowPosition(m_window, bounds.x, bounds.y);
    SDL_SetWindowSize(m_window, bounds.w, bounds.h);
}

void GlBackend::ApplyWindowMode() {
    if (!m_params.Windowed) {
        // Without a window manager nobody answers the request below: the
        // window covers the display itself first, so that what SDL takes
        // for its size is its size.
        CoverDisplay();
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

int GlBackend::DisplayRefreshRate() const {
    SDL_DisplayMode mode{};
    const int display = SDL_GetWindowDisplayIndex(m_window);
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
    return mode.refresh_rate;
}

HRESULT GlBackend::CheckGlError() {
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

void GlBackend::ReportOnce(const std::string& kind, const std::string& text) {
    if (m_reported.insert(kind).second) std::fprintf(stderr, "%s\n", text.c_str());
}

void GlBackend::EnsureColor(IDirect3DSurface9& s) {
    if (s.backend.name) return;
    GlFormat f;
    // The front end makes colour targets and back buffers of the six formats GL stores only.
    [[maybe_unused]] const bool known = GlColorFormat(s.Format(), f);
    assert(known && "a colour target of a format the device does not make");
    if (!known) return;
    glGenTextures(1, &s.backend.name);
    glBindTexture(GL_TEXTURE_2D, s.backend.name);
    m_boundTextures[m_activeUnit] = s.backend.name;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Starts from the front end's bytes, so a new target reads back what its memory says.
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(s.Width()), GLsizei(s.Height()), 0, f.format, f.type,
                 s.Bytes());
}

void GlBackend::EnsureDepth(IDirect3DSurface9& s) {
    if (s.backend.name2) return;
    glGenRenderbuffers(1, &s.backend.name2);
    glBindRenderbuffer(GL_RENDERBUFFER, s.backend.name2);
    glRenderbufferStorage(GL_RENDERBUFFER, GlDepthFormat(s.Format()), GLsizei(s.Width()), GLsizei(s.Height()));
}

void GlBackend::ChooseDirect() {
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
    // A multisampled back buffer is drawn apart and resolved into the window.
    m_windowSuits = suits && m_samples <= 1;
    m_direct = !m_direct; // forces UpdateDirect to settle the binding
    UpdateDirect();
}

void GlBackend::UpdateDirect() {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(m_window, &w, &h);
    const bool direct = m_windowSuits && std::uint32_t(w) == m_params.BackBufferWidth &&
                        std::uint32_t(h) == m_params.BackBufferHeight;
    if (direct != m_direct) m_boundFramebuffer = ~0u;
    m_direct = direct;
}

void GlBackend::LeaveWindow(IDirect3DSurface9& back, IDirect3DSurface9* ds) {
    EnsureColor(back);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back.backend.name, 0);
    GLbitfield bits = GL_COLOR_BUFFER_BIT;
    // The automatic depth surface goes along where its storage is the window's (24 bits and stencil).
    const bool depth = ds && ds->IsImplicit() && GlDepthFormat(ds->Format()) == GL_DEPTH24_STENCIL8;
    if (depth) {
        EnsureDepth(*ds);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, ds->backend.name2);
        bits |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
    }
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    m_rasterKnown = false;
    // The window's rows run bottom-up, the texture's top-down.
    const GLint w = GLint(back.Width()), h = GLint(back.Height());
    glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, bits, GL_NEAREST);
    if (depth) glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    m_boundFramebuffer = ~0u;
    m_windowSuits = false;
    m_direct = false;
}

namespace {
int g_packInvertOverride = -1; // SetGlReadRowsTurnedForTests
} // namespace

void GlBackend::ReadWindow(IDirect3DSurface9& surface, const RECT& r) {
    GlFormat f;
    if (!GlColorFormat(surface.Format(), f)) return;
    if (!MakeCurrent()) return;
    const std::uint32_t pitch = surface.Pitch(), bpp = FormatBitsPerPixel(surface.Format()) / 8;
    const std::uint32_t w = std::uint32_t(r.right - r.left), h = std::uint32_t(r.bottom - r.top);
    const std::size_t rowBytes = std::size_t(w) * bpp;
    std::uint8_t* first = surface.Bytes() + std::size_t(r.top) * pitch + std::size_t(r.left) * bpp;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(pitch / bpp));
    // The window's rows run bottom-up; a driver that can write them top-down
    // saves turning a whole frame over after the read (a saved game's
    // preview reads one).
    if (m_packInvert < 0) m_packInvert = epoxy_has_gl_extension("GL_MESA_pack_invert") ? 1 : 0;
    const bool driverTurns = m_packInvert == 1 && g_packInvertOverride != 0;
    if (driverTurns) glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    glReadPixels(r.left, GLint(surface.Height()) - r.bottom, GLsizei(w), GLsizei(h), f.format, f.type, first);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_boundFramebuffer = ~0u;
    if (driverTurns) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
        return;
    }
    m_readRows.resize(rowBytes);
    for (std::uint32_t y = 0; y < h / 2; ++y) {
        std::uint8_t* top = first + std::size_t(y) * pitch;
        std::uint8_t* bottom = first + std::size_t(h - 1 - y) * pitch;
        std::memcpy(m_readRows.data(), top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, m_readRows.data(), rowBytes);
    }
}

bool GlBackend::BindTargets(const DeviceState& s) {
    IDirect3DSurface9* rt = s.renderTargets[0];
    if (!rt) return false;
    IDirect3DSurface9* ds = s.depthStencil;
    m_targetHeight = GLsizei(rt->Height());
    if (m_samples > 1 && rt->IsImplicit()) return BindMultisampleTargets(*rt, ds);
    bool moreTargets = false;
    for (std::uint32_t i = 1; i < m_maxTargets; ++i) moreTargets = moreTargets || s.renderTargets[i];
    if (IsWindowSurface(*rt) && moreTargets) LeaveWindow(*rt, ds);
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
        SetViewport(*rt);
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
    // Targets 1-3 draw beside target 0 into the framebuffer object; GL
    // clears, blends and masks every draw buffer as D3D does every target.
    std::uint32_t drawBuffers = 1;
    for (std::uint32_t i = 0; i < m_maxTargets; ++i) {
        IDirect3DSurface9* target = s.renderTargets[i];
        if (target && i > 0) {
            EnsureColor(*target);
            drawBuffers = i + 1;
        }
        const GLuint name = target ? target->backend.name : 0;
        if (name != m_boundColors[i]) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, name, 0);
            m_boundColors[i] = name;
        }
    }
    if (drawBuffers != m_drawBuffers) {
        GLenum buffers[DeviceState::kTargets];
        for (std::uint32_t i = 0; i < drawBuffers; ++i) buffers[i] = m_boundColors[i] ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
        glDrawBuffers(GLsizei(drawBuffers), buffers);
        m_drawBuffers = drawBuffers;
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
    SetViewport(*rt);
    return true;
}

void GlBackend::DeleteMultisampleBuffers() {
    if (m_msFbo) glDeleteFramebuffers(1, &m_msFbo);
    if (m_msColor) glDeleteRenderbuffers(1, &m_msColor);
    if (m_msDepth) glDeleteRenderbuffers(1, &m_msDepth);
    m_msFbo = m_msColor = m_msDepth = 0;
}

void GlBackend::MakeMultisampleBuffers() {
    DeleteMultisampleBuffers();
    if (m_boundFramebuffer != 0) m_boundFramebuffer = ~0u;
    m_samples = SamplesFor(m_params.MultiSampleType, m_params.MultiSampleQuality, GlSampleCounts());
    GlFormat f;
    if (m_samples <= 1 || !GlColorFormat(m_params.BackBufferFormat, f)) {
        m_samples = 1;
        return;
    }
    const GLsizei w = GLsizei(m_params.BackBufferWidth), h = GLsizei(m_params.BackBufferHeight);
    glGenFramebuffers(1, &m_msFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, m_msFbo);
    m_boundFramebuffer = ~0u;
    glGenRenderbuffers(1, &m_msColor);
    glBindRenderbuffer(GL_RENDERBUFFER, m_msColor);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(m_samples), f.internal, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_msColor);
    m_msStencil = false;
    if (m_params.EnableAutoDepthStencil) {
        glGenRenderbuffers(1, &m_msDepth);
        glBindRenderbuffer(GL_RENDERBUFFER, m_msDepth);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(m_samples),
                                         GlDepthFormat(m_params.AutoDepthStencilFormat), w, h);
        m_msStencil = FormatHasStencil(m_params.AutoDepthStencilFormat);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, m_msStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, m_msDepth);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "gfx gl: no multisampled back buffer of %u samples; drawing without\n", m_samples);
        DeleteMultisampleBuffers();
        m_samples = 1;
    }
}

bool GlBackend::BindMultisampleTargets(IDirect3DSurface9& rt, const IDirect3DSurface9* ds) {
    if (m_boundFramebuffer != m_msFbo) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_msFbo);
        m_boundFramebuffer = m_msFbo;
    }
    m_flipY = false;
    // Only the automatic depth surface shares the back buffer's samples.
    m_hasDepth = ds && ds->IsImplicit() && m_msDepth != 0;
    m_hasStencil = m_hasDepth && m_msStencil;
    if (ds && !ds->IsImplicit() && !m_warnedDepth) {
        std::fprintf(stderr, "gfx gl: a created depth surface cannot serve a multisampled back buffer; "
                             "drawing without depth\n");
        m_warnedDepth = true;
    }
    SetViewport(rt);
    return true;
}

void GlBackend::Resolve(IDirect3DSurface9& back) {
    EnsureColor(back);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_msFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back.backend.name, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_rasterKnown = false;
    const GLint w = GLint(back.Width()), h = GLint(back.Height());
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    m_boundFramebuffer = ~0u;
}

void GlBackend::SetViewport(const IDirect3DSurface9& rt) {
    const std::array<GLsizei, 2> size = {GLsizei(rt.Width()), GLsizei(rt.Height())};
    if (size == m_viewportSize) return;
    glViewport(0, 0, size[0], size[1]);
    m_viewportSize = size;
}

GLuint GlBackend::UploadBuffer(BufferResource& b, GLenum target) {
    if (!b.backend.name) {
        glGenBuffers(1, &b.backend.name);
        glBindBuffer(target, b.backend.name);
        glBufferData(target, b.Size(), b.Bytes(),
                     (b.Usage() & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        b.backend.version = b.ContentVersion();
        b.dirtyBegin = b.dirtyEnd = 0;
        b.renamed = false;
        return b.backend.name;
    }
    glBindBuffer(target, b.backend.name);
    if (b.renamed) {
        // Orphan the storage: draws already issued keep theirs, nothing waits.
        glBufferData(target, b.Size(), nullptr,
                     (b.Usage() & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        b.renamed = false;
    }
    if (b.backend.version != b.ContentVersion() && b.dirtyEnd > b.dirtyBegin) {
        glBufferSubData(target, b.dirtyBegin, b.dirtyEnd - b.dirtyBegin, b.Bytes() + b.dirtyBegin);
    }
    b.backend.version = b.ContentVersion();
    b.dirtyBegin = b.dirtyEnd = 0;
    return b.backend.name;
}

GlBackend::VertexArray& GlBackend::UseVertexArrayOf(GLuint buffer) {
    VertexArray& va = m_vertexArrays[buffer];
    if (!va.name) glGenVertexArrays(1, &va.name);
    if (va.name != m_boundVertexArray) {
        glBindVertexArray(va.name);
        m_boundVertexArray = va.name;
    }
    m_attributes = &va.attributes;
    m_arraySource = &va.source;
    return va;
}

void GlBackend::ForgetVertexArrayOf(GLuint buffer) {
    const auto found = m_vertexArrays.find(buffer);
    if (found == m_vertexArrays.end()) return;
    if (found->second.name == m_boundVertexArray) {
        glBindVertexArray(m_vao);
        m_boundVertexArray = m_vao;
    }
    glDeleteVertexArrays(1, &found->second.name);
    if (m_attributes == &found->second.attributes) m_attributes = nullptr;
    if (m_arraySource == &found->second.source) m_arraySource = nullptr;
    m_vertexArrays.erase(found);
}

void GlBackend::SetAttribute(GLuint index, GLint size, GLenum type, GLboolean normalized, std::uint32_t stride,
                  std::uintptr_t offset) {
    AttributeState& a = (*m_attributes)[index];
    if (m_arraySource) m_arraySource->valid = false;
    if (!a.known || !a.enabled) glEnableVertexAttribArray(index);
    if (!a.known || !a.enabled || a.buffer != m_arrayBuffer || a.size != size || a.type != type ||
        a.normalized != normalized || a.stride != stride || a.offset != offset)
        glVertexAttribPointer(index, size, type, normalized, GLsizei(stride), reinterpret_cast<const void*>(offset));
    a = AttributeState{true, true, m_arrayBuffer, size, type, normalized, stride, offset};
    // GL leaves an attribute's current value undefined after drawing from its array.
    m_constants[index].known = false;
}

void GlBackend::DisableAttribute(GLuint index, const float* constant) {
    AttributeState& a = (*m_attributes)[index];
    if (m_arraySource) m_arraySource->valid = false;
    if (!a.known || a.enabled) glDisableVertexAttribArray(index);
    a.known = true;
    a.enabled = false;
    AttributeConstant& c = m_constants[index];
    if (constant && (!c.known || c.value != *constant)) {
        glVertexAttrib4f(index, *constant, *constant, *constant, *constant);
        c.known = true;
        c.value = *constant;
    }
}

GlBackend::GlAttributeType GlBackend::AttributeTypeOf(std::uint32_t t) {
    switch (t) {
    case D3DDECLTYPE_FLOAT1: return {1, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT2: return {2, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT3: return {3, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT4: return {4, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_D3DCOLOR: return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};
    case D3DDECLTYPE_UBYTE4: return {4, GL_UNSIGNED_BYTE, GL_FALSE};
    case D3DDECLTYPE_SHORT2: return {2, GL_SHORT, GL_FALSE};
    case D3DDECLTYPE_SHORT4: return {4, GL_SHORT, GL_FALSE};
    case D3DDECLTYPE_UBYTE4N: return {4, GL_UNSIGNED_BYTE, GL_TRUE};
    case D3DDECLTYPE_SHORT2N: return {2, GL_SHORT, GL_TRUE};
    case D3DDECLTYPE_SHORT4N: return {4, GL_SHORT, GL_TRUE};
    case D3DDECLTYPE_USHORT2N: return {2, GL_UNSIGNED_SHORT, GL_TRUE};
    case D3DDECLTYPE_USHORT4N: return {4, GL_UNSIGNED_SHORT, GL_TRUE};
    // Three packed components; the fourth GL reads is set to 1 in the program.
    case D3DDECLTYPE_UDEC3: return {4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE};
    case D3DDECLTYPE_DEC3N: return {4, GL_INT_2_10_10_10_REV, GL_TRUE};
    case D3DDECLTYPE_FLOAT16_2: return {2, GL_HALF_FLOAT, GL_FALSE};
    default: return {4, GL_HALF_FLOAT, GL_FALSE}; // FLOAT16_4
    }
}

int GlBackend::FixedLocationOf(const VertexLayout::Element& e) {
    switch (e.usage) {
    case D3DDECLUSAGE_POSITION: case D3DDECLUSAGE_POSITIONT: return e.index == 0 ? 0 : -1;
    case D3DDECLUSAGE_COLOR: return e.index <= 1 ? 1 + e.index : -1;
    case D3DDECLUSAGE_NORMAL: return e.index == 0 ? 3 : -1;
    case D3DDECLUSAGE_TEXCOORD: return e.index < 8 ? 4 + e.index : -1;
    case D3DDECLUSAGE_BLENDWEIGHT: return e.index == 0 ? 12 : -1;
    case D3DDECLUSAGE_BLENDINDICES: return e.index == 0 ? 13 : -1;
    default: return -1;
    }
}

std::uint32_t GlBackend::BindElements(const DeviceState& s, const VertexLayout& layout, const DrawCall& call) {
    // Stream buffers in GL; the first one read chooses the vertex array.
    std::array<GLuint, 16> buffers{};
    GLuint first = 0;
    for (std::uint32_t bits = layout.streams & 0xFFFFu; bits; bits &= bits - 1) {
        const auto i = std::uint32_t(std::countr_zero(bits));
        if (call.userVertices) {
            if (i != 0) continue;
            glBindBuffer(GL_ARRAY_BUFFER, m_streamVbo);
            glBufferData(GL_ARRAY_BUFFER, call.userVertexBytes, call.userVertices, GL_STREAM_DRAW);
            buffers[0] = m_streamVbo;
        } else if (s.streams[i].buffer) {
            buffers[i] = UploadBuffer(*s.streams[i].buffer, GL_ARRAY_BUFFER);
        }
        if (!first) first = buffers[i];
    }
    VertexArray& va = UseVertexArrayOf(first ? first : m_streamVbo);
    // A program drawn again from the same buffers finds its attributes set.
    const bool remember = s.vertexShader && !call.userVertices;
    if (remember && SameSource(va.source, s, layout, buffers)) {
        // Drawing from arrays leaves the current values of those attributes undefined.
        for (std::uint32_t bits = va.source.enabled; bits; bits &= bits - 1)
            m_constants[std::size_t(std::countr_zero(bits))].known = false;
        return va.source.w1;
    }
    std::array<int, kAttributes> source;
    source.fill(-1);
    if (s.vertexShader) {
        for (const ShaderSemantic& in : s.vertexShader->Translation().inputs)
            for (int e = 0; e < layout.elementCount; ++e)
                if (layout.elements[e].usage == in.usage && layout.elements[e].index == in.index) {
                    source[in.reg] = e;
                    break;
                }
    } else {
        for (int e = layout.elementCount - 1; e >= 0; --e) {
            const int location = FixedLocationOf(layout.elements[e]);
            if (location >= 0) source[location] = e;
        }
    }
    std::uint32_t enabled = 0;
    std::uint32_t w1 = 0;
    GLuint bound = ~0u;
    for (GLuint a = 0; a < kAttributes; ++a) {
        const int e = source[a];
        const VertexLayout::Element* el = e >= 0 ? &layout.elements[std::size_t(e)] : nullptr;
        const GLuint buffer = el ? buffers[el->stream] : 0;
        if (!el || !buffer) {
            if (!s.vertexShader && (a == 1 || a == 2)) {
                const float absent = a == 1 ? 1.0f : 0.0f; // white diffuse, black specular
                DisableAttribute(a, &absent);
            } else {
                DisableAttribute(a, nullptr);
            }
            continue;
        }
        if (buffer != bound) {
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            bound = buffer;
        }
        m_arrayBuffer = buffer;
        const std::uint32_t stride = call.userVertices ? call.userStride : s.streams[el->stream].stride;
        const std::uintptr_t base = call.userVertices ? 0 : s.streams[el->stream].offset;
        const GlAttributeType t = AttributeTypeOf(el->type);
        SetAttribute(a, t.size, t.type, t.normalized, stride, base + el->offset);
        enabled |= 1u << a;
        if (el->type == D3DDECLTYPE_UDEC3 || el->type == D3DDECLTYPE_DEC3N) w1 |= 1u << a;
    }
    if (remember) {
        ProgramSource& now = va.source;
        now.program = s.vertexShader->ProgramId();
        now.elementCount = layout.elementCount;
        std::copy_n(layout.elements.begin(), layout.elementCount, now.elements.begin());
        now.streams = layout.streams & 0xFFFFu;
        for (std::uint32_t bits = now.streams; bits; bits &= bits - 1) {
            const auto i = std::size_t(std::countr_zero(bits));
            now.buffers[i] = buffers[i];
            now.strides[i] = s.streams[i].stride;
            now.offsets[i] = s.streams[i].offset;
        }
        now.enabled = enabled;
        now.w1 = w1;
        now.valid = true;
    }
    return w1;
}

bool GlBackend::SameSource(const ProgramSource& was, const DeviceState& s, const VertexLayout& layout,
                       const std::array<GLuint, 16>& buffers) {
    if (!was.valid || was.program != s.vertexShader->ProgramId() || was.elementCount != layout.elementCount ||
        std::memcmp(was.elements.data(), layout.elements.data(),
                    sizeof(VertexLayout::Element) * layout.elementCount) != 0)
        return false;
    if (was.streams != (layout.streams & 0xFFFFu)) return false;
    for (std::uint32_t bits = was.streams; bits; bits &= bits - 1) {
        const auto i = std::size_t(std::countr_zero(bits));
        if (was.buffers[i] != buffers[i] || was.strides[i] != s.streams[i].stride ||
            was.offsets[i] != s.streams[i].offset)
            return false;
    }
    return true;
}

void GlBackend::SetFloatAttribute(GLuint index, int offset, int size, std::uint32_t stride, std::uintptr_t base) {
    if (offset >= 0 && size >= 1 && size <= 4) {
        SetAttribute(index, size, GL_FLOAT, GL_FALSE, stride, base + std::uintptr_t(offset));
    } else {
        DisableAttribute(index, nullptr);
    }
}

void GlBackend::SetColorAttribute(GLuint index, int offset, std::uint32_t stride, std::uintptr_t base, float absent) {
    if (offset >= 0) {
        // D3DCOLOR bytes are B, G, R, A in memory.
        SetAttribute(index, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, base + std::uintptr_t(offset));
    } else {
        DisableAttribute(index, &absent);
    }
}

void GlBackend::SetRasterState(const DeviceState& s, const IDirect3DSurface9& rt) {
    const auto& rs = s.renderStates;
    RasterKey key;
    std::size_t n = 0;
    key.states[n++] = m_flipY;
    key.states[n++] = rs[D3DRS_CULLMODE];
    key.states[n++] = rs[D3DRS_FILLMODE];
    // A target whose colour the draw does not write keeps what it has: fixed
    // function and 1.x programs write target 0 only, a 3.0 program may write none.
    const std::uint32_t written = s.pixelShader && s.pixelShader->Translation().major >= 2
                                      ? s.pixelShader->Translation().colorsWritten
                                      : 1u;
    key.states[n++] = (written & 1u) ? rs[D3DRS_COLORWRITEENABLE] : 0;
    if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_hasDepth) {
        key.states[n++] = 1;
        key.states[n++] = rs[D3DRS_ZFUNC];
        key.states[n++] = rs[D3DRS_ZWRITEENABLE] != 0;
    }
    n = 7;
    if (rs[D3DRS_STENCILENABLE] && m_hasStencil) {
        for (std::uint32_t state : {D3DRS_STENCILENABLE, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK,
                                    D3DRS_STENCILFUNC, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS,
                                    D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFUNC, D3DRS_CCW_STENCILFAIL,
                                    D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS})
            key.states[n++] = rs[state];
    }
    n = 20;
    if (rs[D3DRS_ALPHABLENDENABLE]) {
        key.states[n++] = 1;
        key.states[n++] = rs[D3DRS_SRCBLEND];
        key.states[n++] = rs[D3DRS_DESTBLEND];
        key.states[n++] = rs[D3DRS_BLENDOP];
    }
    n = 24;
    key.states[n++] = rs[D3DRS_MULTISAMPLEANTIALIAS] != 0;
    key.states[n++] = rs[D3DRS_MULTISAMPLEMASK];
    // Targets 1-3 have write masks of their own.
    for (std::uint32_t i = 1; i < DeviceState::kTargets; ++i) {
        static constexpr std::uint32_t kMaskState[] = {0, D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2,
                                                       D3DRS_COLORWRITEENABLE3};
        key.states[n++] = m_drawBuffers <= i ? 0xF : (written & (1u << i)) ? rs[kMaskState[i]] : 0;
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
    key.scissor = {left, ScissorY(top, std::max(top, bottom)), std::max(0, right - left), std::max(0, bottom - top)};
    if (m_rasterKnown && key == m_raster) return;
    m_raster = key;
    m_rasterKnown = true;

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
        const GLint ref = GLint(rs[D3DRS_STENCILREF] & 0xFF);
        // GL's front faces are the ones clockwise on screen (see the top of this
        // file): they take the plain states, the others the CCW ones when two-sided.
        const bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
        glStencilFuncSeparate(GL_FRONT, GlCompare(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
        glStencilOpSeparate(GL_FRONT, GlStencilOp(rs[D3DRS_STENCILFAIL]), GlStencilOp(rs[D3DRS_STENCILZFAIL]),
                            GlStencilOp(rs[D3DRS_STENCILPASS]));
        const std::uint32_t func = twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC;
        const std::uint32_t fail = twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL;
        const std::uint32_t zfail = twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL;
        const std::uint32_t pass = twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS;
        glStencilFuncSeparate(GL_BACK, GlCompare(rs[func]), ref, rs[D3DRS_STENCILMASK]);
        glStencilOpSeparate(GL_BACK, GlStencilOp(rs[fail]), GlStencilOp(rs[zfail]), GlStencilOp(rs[pass]));
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
    for (GLuint i = 0; i < DeviceState::kTargets; ++i) {
        const std::uint32_t mask = key.states[i == 0 ? 3 : 26 + i - 1];
        glColorMaski(i, mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                     mask & 8 ? GL_TRUE : GL_FALSE);
    }
    switch (rs[D3DRS_FILLMODE]) {
    case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
    case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
    default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
    }
    // Antialiasing and the sample mask act on multisampled buffers only.
    if (rs[D3DRS_MULTISAMPLEANTIALIAS]) glEnable(GL_MULTISAMPLE);
    else glDisable(GL_MULTISAMPLE);
    if (rs[D3DRS_MULTISAMPLEMASK] != 0xFFFFFFFFu) {
        glEnable(GL_SAMPLE_MASK);
        glSampleMaski(0, rs[D3DRS_MULTISAMPLEMASK]);
    } else {
        glDisable(GL_SAMPLE_MASK);
    }
    glEnable(GL_SCISSOR_TEST);
    glScissor(key.scissor[0], key.scissor[1], key.scissor[2], key.scissor[3]);
}


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

namespace {
int g_s3tcOverride = -1; // test hook: -1 the driver decides
int g_s3tcDriver = -1;   // what the driver said, once asked
} // namespace

void SetGlReadRowsTurnedForTests(int mode) { g_packInvertOverride = mode < 0 ? -1 : 0; }

void SetGlCompressedTexturesForTests(int mode) { g_s3tcOverride = mode < 0 ? -1 : (mode != 0 ? 1 : 0); }

bool GlHasCompressedTextures() {
    if (g_s3tcOverride >= 0) return g_s3tcOverride == 1;
    if (g_s3tcDriver >= 0) return g_s3tcDriver == 1;
    constexpr const char* kExtension = "GL_EXT_texture_compression_s3tc";
    if (SDL_GL_GetCurrentContext() != nullptr) {
        g_s3tcDriver = epoxy_has_gl_extension(kExtension) ? 1 : 0;
        return g_s3tcDriver == 1;
    }
    // No device yet: a hidden window's context answers, then goes.
    SetGlWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("orvane probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context) {
        g_s3tcDriver = epoxy_has_gl_extension(kExtension) ? 1 : 0;
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    return g_s3tcDriver == 1;
}

bool ProbeGlDriverLimits(DriverLimits& limits) {
    if (SDL_GL_GetCurrentContext() != nullptr) {
        limits.maxAnisotropy = QueryGlSamplerLimits().maxAnisotropy;
        return true;
    }
    // No device yet: a hidden window's context answers, then goes. On EGL
    // (the offscreen driver) each new OpenGL window picks the configuration
    // every later context is made with, from the attributes as they stand:
    // the probe's window keeps them, so the game's window, made before it,
    // still matches the device's context. Only the context's own version,
    // which picks no configuration, is set for the probe and put back.
    int major = 0, minor = 0, profile = 0;
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, &major);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, &minor);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = nullptr;
    if (SDL_Window* window = SDL_CreateWindow("orvane probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN)) {
        context = SDL_GL_CreateContext(window);
        if (context) {
            limits.maxAnisotropy = QueryGlSamplerLimits().maxAnisotropy;
            SDL_GL_MakeCurrent(window, nullptr);
            SDL_GL_DeleteContext(context);
        }
        SDL_DestroyWindow(window);
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
    return context != nullptr;
}

bool GlAvailable() {
    if (SDL_GL_LoadLibrary(nullptr) != 0) return false;
    SDL_GL_UnloadLibrary();
    return true;
}

std::unique_ptr<Backend> CreateGlBackend() { return std::make_unique<GlBackend>(); }

} // namespace gfx
