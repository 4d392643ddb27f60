#pragma once

// The OpenGL back end's object, its members defined by concern:
// GfxGlBackend.cpp (context, targets, draws, vertex input, raster state),
// GfxGlTextures.cpp (texture storage, uploads, binding) and
// GfxGlPrograms.cpp (programs chosen per state, their uniforms).

#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFramePacer.h"
#include "platform/gfx/GfxGlFixedFunction.h"
#include "platform/gfx/GfxGlFormat.h"
#include "platform/gfx/GfxGlProgramConstants.h"
#include "platform/gfx/GfxGlSampler.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gfx {

class GlBackend final : public Backend {
    // The uniforms a program may have, each with the value it was last sent.
    enum UniformSlot : std::size_t {
        kSlotWVP, kSlotWV, kSlotNormalMatrix, kSlotBlendWV, kSlotBlendNormal, kSlotProj, kSlotViewport,
        kSlotDepthRange, kSlotTarget, kSlotFlipY, kSlotMatDiffuse, kSlotMatAmbient, kSlotMatSpecular,
        kSlotMatEmissive, kSlotMatPower, kSlotGlobalAmbient, kSlotLightDiffuse, kSlotLightSpecular,
        kSlotLightAmbient, kSlotLightPos, kSlotLightDir, kSlotLightAtten, kSlotLightSpot, kSlotFog, kSlotTexMatrix,
        kSlotTFactor, kSlotAlphaRef, kSlotAlphaClamp, kSlotFogColor, kUniformSlots
    };

    // A generated program and where its uniforms sit.
    struct Program {
        GLuint id = 0;
        // Why a program could not be built: "compile" or "link", and the driver's log.
        std::string failureKind, failure;
        GLint wvp = -1, wv = -1, normalMatrix = -1, blendWV = -1, blendNormal = -1, proj = -1, viewport = -1, depthRange = -1, target = -1, flipY = -1,
              matDiffuse = -1, matAmbient = -1, matSpecular = -1, matEmissive = -1, matPower = -1,
              globalAmbient = -1, lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, lightPos = -1,
              lightDir = -1, lightAtten = -1, lightSpot = -1, fog = -1, texMatrix = -1, tfactor = -1,
              alphaRef = -1, alphaClamp = -1, fogColor = -1;
        bool lighting = false, texMatrices = false, fogUniforms = false;
        std::array<GLint, 8> bump{}, bumpL{}; // bump stages' matrix and luminance scale and offset
        std::uint32_t lightCount = 0;
        // A program keeps its uniforms between uses: most draws of a frame
        // change only their matrices, and the rest is not sent again.
        std::array<std::vector<float>, kUniformSlots> sent;
        // The state serial, target and flip the uniforms that follow neither
        // the world matrices nor the textures were last sent for.
        const DeviceState* slowState = nullptr;
        std::uint64_t slowSerial = 0;
        const IDirect3DSurface9* slowTarget = nullptr;
        std::uint32_t slowWidth = 0, slowHeight = 0;
        bool slowFlipY = false;
        // A vertex or pixel program's register files; null for the fixed-function programs.
        std::shared_ptr<GlProgramConstants> constants;
    };

public:
    ~GlBackend() override;
    const char* Name() const override { return "gl"; }

    HRESULT Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) override;
    HRESULT Resize(const D3DPRESENT_PARAMETERS& params) override;
    void DriverCaps(D3DCAPS9& caps) const override;
    void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color, float z,
               std::uint32_t stencil) override;

    HRESULT Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) override;
    void InjectFault(BackendFault fault) override;
    HRESULT Present(IDirect3DDevice9& device) override;
    void ReadSurface(IDirect3DSurface9& surface, const RECT* rect) override;
    void WriteSurface(IDirect3DSurface9& surface) override;
    void ResourceDestroyed(IDirect3DResource9& r) override;
    bool CheckProgram(const TranslatedShader& program, std::string& failure) override;

private:
    // GL storage of sampled textures let go is kept (up to
    // kSpareTextureBytesLimit, the newest) for the next texture of the same
    // kind, format, size and levels, which uploads into it in place: the
    // driver then neither allocates nor clears new storage for it. The shape
    // is noted when the storage is made, as a texture being destroyed no
    // longer has its levels.
    struct TextureShape {
        std::uint32_t type = 0;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        std::uint32_t width = 0, height = 0, levels = 0;
        std::size_t bytes = 0;
        std::uint32_t depth = 1;
        bool operator==(const TextureShape&) const = default;
    };
    struct SpareTexture {
        TextureShape shape;
        GLuint name;
    };
    static constexpr std::size_t kSpareTextureBytesLimit = std::size_t(32) << 20;
    static TextureShape ShapeOf(const IDirect3DBaseTexture9& t);
    static TextureShape VolumeShapeOf(const IDirect3DVolumeTexture9& t);

    // One level of a 2-D or cube face, or (`depth` set) of a volume, with its conversion.
    void UploadLevel(GLenum target, GLint level, const GlTextureFormat& f, bool inPlace, D3DFORMAT format,
                     std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t pitch,
                     const std::uint8_t* bytes);

    void KeepOrDeleteTexture(const IDirect3DResource9& r);

    // A kept texture of the same shape, or 0.
    GLuint TakeSpareTexture(const TextureShape& shape);

    // The window belongs to the os layer and may be destroyed before the
    // device; ids are never reused, so a lookup by id tells whether it lives.
    bool WindowAlive() const { return m_window && m_windowId && SDL_GetWindowFromID(m_windowId) == m_window; }

    // False when there is no drawable left to make the context current on:
    // every GL call must then be skipped (the loader aborts without a context).
    bool MakeCurrent();
    void CoverDisplay();
    void ApplyWindowMode();

    // The refresh rate of the display the window is on; 0 when unknown.
    int DisplayRefreshRate() const;

    // A GL error after a draw is the back end's own failure: told once per error code.
    HRESULT CheckGlError();

    // Standard error hears of each kind of failure once; the draws keep returning it.
    void ReportOnce(const std::string& kind, const std::string& text);

    // A fault a test asked for, put into a fragment source.
    void AddInjectedFault(std::string& fs) const;

    // One program per fixed-function state, by its generated sources.
    Program* ProgramFor(const std::string& vsSource, const std::string& fsSource);
    // The compiled stage of a source: one kept from a program's creation
    // (`kept` set: the cache still owns it), else compiled now; 0 with the
    // driver's log in `failure` when it does not compile.
    GLuint StageFor(GLenum kind, const std::string& source, std::string& failure, bool& kept);
    // Keeps a compiled stage for the draws that link it, the oldest let go
    // past kKeptStages.
    void KeepStage(std::string key, GLuint stage);
    void EnsureColor(IDirect3DSurface9& s);
    void EnsureDepth(IDirect3DSurface9& s);

    // The window's framebuffer serves as the back buffer when nothing sets them
    // apart: same size (no full-screen scaling), 8-bit colour, and the depth and
    // stencil the automatic depth surface needs. Otherwise everything draws into
    // a framebuffer object that Present copies out.
    void ChooseDirect();

    // Direct drawing also needs the window to show the back buffer unscaled.
    void UpdateDirect();
    [[nodiscard]] bool IsWindowSurface(const IDirect3DSurface9& s) const {
        return m_direct && s.IsImplicit() && (s.Usage() & D3DUSAGE_RENDERTARGET);
    }

    // Scissor rectangles are given top-down; the window counts rows bottom-up.
    [[nodiscard]] GLint ScissorY(std::int32_t top, std::int32_t bottom) const {
        return m_flipY ? GLint(m_targetHeight - bottom) : GLint(top);
    }

    // The window counts rows bottom-up: the rectangle is read from its
    // mirrored place straight into the surface's rows, then turned over there.
    void ReadWindow(IDirect3DSurface9& surface, const RECT& r);

    // Targets 1-3 draw beside the back buffer only in a framebuffer object:
    // the window's pixels (and automatic depth) move into the back buffer's
    // own storage, where it is drawn from then on.
    void LeaveWindow(IDirect3DSurface9& back, IDirect3DSurface9* ds);
    bool BindTargets(const DeviceState& s);

    // ---- multisampling ----
    // A back buffer of more than one sample lives in renderbuffers of its own
    // (with the automatic depth surface's), and is resolved into its texture
    // for Present and for reads.
    void DeleteMultisampleBuffers();
    void MakeMultisampleBuffers();
    bool BindMultisampleTargets(IDirect3DSurface9& rt, const IDirect3DSurface9* ds);

    // The samples of the back buffer averaged into its texture.
    void Resolve(IDirect3DSurface9& back);
    void SetViewport(const IDirect3DSurface9& rt);
    GLuint UploadBuffer(BufferResource& b, GLenum target);

    // Each vertex buffer draws through a vertex array of its own, which keeps
    // the attributes last set on it: a buffer drawn again with the same
    // layout sends nothing but the binding. The array goes with its buffer.
    struct AttributeState {
        bool known = false, enabled = false;
        GLuint buffer = 0;
        GLint size = 0;
        GLenum type = 0;
        GLboolean normalized = GL_FALSE;
        std::uint32_t stride = 0;
        std::uintptr_t offset = 0;
    };
    static constexpr std::size_t kAttributes = 16; // the fixed-function inputs use 0-13, programs v0-v15
    // What a program's draw last set the attributes up from: a draw from the
    // same program, elements and streams finds them as it would leave them.
    struct ProgramSource {
        bool valid = false;
        std::uint32_t program = 0;
        std::uint8_t elementCount = 0;
        std::array<VertexLayout::Element, 64> elements{};
        std::uint32_t streams = 0; // the streams read; only their entries below count
        std::array<GLuint, 16> buffers{};
        std::array<std::uint32_t, 16> strides{}, offsets{};
        std::uint32_t enabled = 0; // attributes reading an array
        std::uint32_t w1 = 0;
    };
    struct VertexArray {
        GLuint name = 0;
        std::array<AttributeState, kAttributes> attributes{};
        ProgramSource source;
    };

    // The current value a disabled attribute reads: context state, not the array's.
    struct AttributeConstant {
        bool known = false;
        float value = 0.0f;
    };

    VertexArray& UseVertexArrayOf(GLuint buffer);

    // The buffer's vertex array goes with it (a deleted buffer's name comes back).
    void ForgetVertexArrayOf(GLuint buffer);

    // Attribute `index` reads the bound array buffer.
    void SetAttribute(GLuint index, GLint size, GLenum type, GLboolean normalized, std::uint32_t stride,
                      std::uintptr_t offset);

    // Attribute `index` switched off; with `constant`, reading that in every component.
    void DisableAttribute(GLuint index, const float* constant);

    // How an element type reads as a GL attribute (D3DCOLOR bytes are B, G, R, A in memory).
    struct GlAttributeType {
        GLint size;
        GLenum type;
        GLboolean normalized;
    };
    static GlAttributeType AttributeTypeOf(std::uint32_t t);

    // The fixed-function emulation's attribute of an element; -1 for none.
    static int FixedLocationOf(const VertexLayout::Element& e);

    // Every attribute from its element, in whichever stream and type: a vertex
    // program's inputs by usage and index, else the fixed-function ones.
    // Returns the inputs whose fourth component must read 1.
    std::uint32_t BindElements(const DeviceState& s, const VertexLayout& layout, const DrawCall& call);
    static bool SameSource(const ProgramSource& was, const DeviceState& s, const VertexLayout& layout,
                           const std::array<GLuint, 16>& buffers);

    // Attributes the layout lacks are switched off, so no pointer of an earlier draw is read.
    void SetFloatAttribute(GLuint index, int offset, int size, std::uint32_t stride, std::uintptr_t base);

    // What was drawn into a target texture lives in its level surface's own
    // GL texture, rows as drawn (row 0 at the top, as uploads put it): a
    // plain one is sampled from there; a cube's faces are copied into its
    // cube texture on each bind.
    void BindTargetTexture(GLuint unit, IDirect3DBaseTexture9& t, const GlTextureFormat& f);

    // Uploads every level on first use and after a lock, then binds the
    // texture and its stage's sampler to unit `unit`.
    void BindTexture(GLuint unit, IDirect3DBaseTexture9& t, const SamplerStates& ss);

    // Nothing sampled at the unit: reads give (0, 0, 0, 1) as with no texture.
    void UnbindTexture(GLuint unit);
    void SetColorAttribute(GLuint index, int offset, std::uint32_t stride, std::uintptr_t base, float absent);
    Program* GenerateProgram(const StateKey& key, const DeviceState* state = nullptr);

    // A vertex or pixel program with the other half: another program or the
    // fixed-function emulation for the same key.
    Program* GenerateProgramPair(const StateKey& key, const DeviceState& s);

    // Chooses the program for the state and sets its uniforms; one with id 0 when it cannot be built.
    // Between draws that change only world matrices and textures the key is not built again, and
    // only the uniforms that follow those are compared.
    const Program* SetProgram(const DeviceState& s, const VertexLayout& layout, const IDirect3DSurface9& rt);

    // World x view of the world matrices set, and their normal matrices, as
    // rows for the palettes; sent when they differ from what was sent last.
    void UploadPalette(const DeviceState& s);

    // The uniforms that change only with the state serial, the target or the flip.
    void SetSlowUniforms(Program& p, const DeviceState& s, const StateKey& key, const IDirect3DSurface9& rt);
    static float AsFloat(std::uint32_t bits);

    // The inverse transpose of world x view's rotation part, laid out for
    // GLSL as the matrices are: n x (M^-1)^T is the cofactor matrix over det.
    static void NormalMatrix(const D3DMATRIX& wv, float out[9]);

    // True, with the value noted, when the uniform exists and `v` is not what it last received.
    static bool Changed(Program& p, UniformSlot slot, GLint location, const float* v, std::size_t n);
    void UseProgram(GLuint id);

    // The enabled lights, moved into camera space.
    void SetLightUniforms(Program& prog, const D3DMATRIX& view);

    // What SetRasterState's calls depend on: the states of the branches it
    // takes, and the scissor rectangle it ends with.
    struct RasterKey {
        std::array<std::uint32_t, 29> states{};
        std::array<GLint, 4> scissor{};
        bool operator==(const RasterKey&) const = default;
    };

    // Sends the draw's raster state, unless it is the one sent last (and
    // nothing else has touched those states since).
    void SetRasterState(const DeviceState& s, const IDirect3DSurface9& rt);

    D3DPRESENT_PARAMETERS m_params;
    SDL_Window* m_window = nullptr;
    std::uint32_t m_windowId = 0;
    bool m_ownWindow = false;
    SDL_GLContext m_context = nullptr;
    std::unordered_map<std::string, Program> m_programs; // by generated source
    // Stages compiled when their program was made, by kind and source: the
    // pair that draws it links them without compiling them again.
    static constexpr std::size_t kKeptStages = 256;
    std::unordered_map<std::string, GLuint> m_stages;
    std::deque<std::string> m_stageOrder; // oldest first
    std::unordered_map<StateKey, Program*, StateKeyHash> m_byState;
    std::vector<const D3DLIGHT9*> m_lights; // the draw's enabled lights, in index order
    // One sampler object per stage, with the parameters last given to it.
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_samplers{};
    std::array<GlSamplerParams, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_samplerParams{};
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_boundTextures{}; // by unit, whatever target: what a draw's stage last bound there
    GLuint m_activeUnit = 0;                 // the texture unit glActiveTexture last chose
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_boundSamplers{};
    std::vector<SpareTexture> m_spareTextures; // oldest first
    std::size_t m_spareTextureBytes = 0;
    std::unordered_map<GLuint, TextureShape> m_textureShapes; // sampled textures' storage, by name
    GlSamplerLimits m_samplerLimits; // what the driver filters beyond the core
    StateKey m_lastKey{};
    Program* m_lastProgram = nullptr;

    // What the last key was built from: the device state, its serial and the layout.
    const DeviceState* m_lastState = nullptr;
    std::uint64_t m_lastSerial = 0;
    VertexLayout m_lastLayout;
    GLuint m_usedProgram = 0; // the program glUseProgram last made current
    // The raster state last sent; clears, presents and copies change some of
    // those states and make it unknown.
    RasterKey m_raster;
    bool m_rasterKnown = false;
    std::array<GLsizei, 2> m_viewportSize{-1, -1};
    std::unordered_map<GLuint, VertexArray> m_vertexArrays; // by vertex buffer name
    std::array<AttributeState, kAttributes>* m_attributes = nullptr; // the bound array's
    ProgramSource* m_arraySource = nullptr;                          // the bound array's
    std::array<AttributeConstant, kAttributes> m_constants{};
    GLuint m_boundVertexArray = 0;
    GLuint m_arrayBuffer = 0; // the array buffer the draw's attributes read
    GLuint m_vao = 0, m_fbo = 0, m_readFbo = 0, m_streamVbo = 0, m_streamIbo = 0;
    std::array<GLuint, DeviceState::kTargets> m_boundColors{}; // the framebuffer object's colour attachments
    std::uint32_t m_drawBuffers = 1;                           // how many of them it draws into
    std::uint32_t m_maxTargets = DeviceState::kTargets;        // the driver's draw buffers, at most the device's
    GLuint m_boundDepth = 0;
    GLuint m_boundFramebuffer = ~0u;
    GLuint m_uploadTexture = 0;
    static constexpr GLuint kPaletteBinding = 14; // and 15: out of the way of programs' own blocks
    std::array<GLuint, 2> m_paletteUbo{};
    std::vector<float> m_palette, m_paletteSent; // rows, then normal rows
    std::uint32_t m_samples = 1; // of the back buffer
    GLuint m_msFbo = 0, m_msColor = 0, m_msDepth = 0;
    bool m_msStencil = false;
    std::vector<std::uint8_t> m_readRows; // one window row while rows are turned over
    int m_packInvert = -1; // whether the driver writes read rows top-down itself; -1 until asked
    std::vector<std::uint8_t> m_converted; // a level's texels converted for upload
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

} // namespace gfx
