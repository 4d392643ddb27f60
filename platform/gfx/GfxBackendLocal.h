#pragma once
// Private to platform/gfx: the interface the front end drives its back ends through.

#include "platform/gfx/Gfx.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gfx {

// One draw as the front end validated it.
struct DrawCall {
    std::uint32_t primitiveType = 0, primitiveCount = 0, vertexCount = 0;
    bool indexed = false;
    std::int32_t baseVertex = 0;
    std::uint32_t startVertex = 0, startIndex = 0, minIndex = 0, numVertices = 0;
    // DrawPrimitiveUP / DrawIndexedPrimitiveUP: user memory instead of stream 0 and the indices.
    const void* userVertices = nullptr;
    std::uint32_t userStride = 0;
    const void* userIndices = nullptr;
    D3DFORMAT userIndexFormat = D3DFMT_INDEX16;
    std::uint32_t userVertexBytes = 0;
};

// Where each vertex element sits in stream 0 (-1 when absent).
struct VertexLayout {
    bool valid = false;
    bool pretransformed = false; // XYZRHW / POSITIONT
    std::uint32_t stride = 0;    // bytes one vertex spans: the FVF's size, or the end of a declaration's furthest element
    int position = -1;
    int normal = -1;
    int weights = -1;     // blend weights (floats) after the position
    int weightCount = 0;  // how many the vertex carries
    int blendIndices = -1;          // four matrix indices: UBYTE4, or a D3DCOLOR
    bool blendIndicesColor = false; // read as a colour: index k in byte k all the same
    int diffuse = -1;
    int specular = -1;
    int texcoord[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int texcoordSize[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    // Every element as given (a declaration's, of any stream and type, or the
    // FVF's in stream 0): what programs read their inputs from by usage and index.
    struct Element {
        std::uint8_t stream = 0, type = 0, usage = 0, index = 0;
        std::uint16_t offset = 0;
    };
    std::array<Element, 64> elements{};
    std::uint8_t elementCount = 0;
    bool declared = false;                  // from a declaration: the fields above may name any stream
    std::uint16_t streams = 0;              // the streams the elements read, one bit each
    std::array<std::uint32_t, 16> extent{}; // bytes one vertex spans in each stream
};
// Components a declaration type gives (1-4), 0 for none.
[[nodiscard]] int DeclTypeComponents(std::uint32_t type);
[[nodiscard]] VertexLayout LayoutFromFVF(std::uint32_t fvf);
[[nodiscard]] VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements);
[[nodiscard]] std::uint32_t VertexCountFor(std::uint32_t primitiveType, std::uint32_t primitiveCount);

// What a driver decides in the caps, over the fixed table's minimum.
struct DriverLimits {
    std::uint32_t maxAnisotropy = 1; // 1: no anisotropic filtering
};
// The caps of a device whose driver has these limits.
void ApplyDriverLimits(D3DCAPS9& caps, const DriverLimits& limits);
// The limits of the `gl` driver, for the top object's caps: those the last
// `gl` device read from its driver (noted at each device's creation), or,
// before any, asked once of the current context or a hidden one, so the caps
// say the same before a device as after; the table's minimum without OpenGL.
[[nodiscard]] DriverLimits GlDriverLimits();
void NoteGlDriverLimits(const DriverLimits& limits);
// The asking itself (GfxGlBackend.cpp): false when no context could be had.
[[nodiscard]] bool ProbeGlDriverLimits(DriverLimits& limits);
// Test hook: the limits are asked again, as before the first device.
void ForgetGlDriverLimitsForTests();

class Backend {
public:
    virtual ~Backend() = default;
    [[nodiscard]] virtual const char* Name() const = 0;
    // Window and context for validated, completed parameters.
    virtual HRESULT Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) = 0;
    // New back-buffer size or format after Reset.
    virtual HRESULT Resize(const D3DPRESENT_PARAMETERS& params) = 0;
    // Rectangles are already cut to the viewport (and scissor); flags validated.
    virtual void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags,
                       D3DCOLOR color, float z, std::uint32_t stencil) = 0;
    // D3D_OK, or the error of a failure inside the back end (its text on standard error).
    virtual HRESULT Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) = 0;
    virtual HRESULT Present(IDirect3DDevice9& device) = 0;
    // A target's pixels into its bytes before a lock (only the rectangle's,
    // null: all), and back after an unlock.
    virtual void ReadSurface(IDirect3DSurface9& surface, const RECT* rect) = 0;
    virtual void WriteSurface(IDirect3DSurface9& surface) = 0;
    virtual void ResourceDestroyed(IDirect3DResource9& resource) = 0;
    // The values of the caps table the driver decides, read when it opened:
    // lowered to what it has, or raised (ApplyDriverLimits) to it. The null
    // back end keeps the table's.
    virtual void DriverCaps(D3DCAPS9& caps) const { (void)caps; }
    // Whether the back end can run a program just translated, asked before
    // its creation succeeds: false with the reason (one line) when it cannot.
    // The null back end runs nothing and takes every program.
    [[nodiscard]] virtual bool CheckProgram(const TranslatedShader& program, std::string& failure) {
        (void)program;
        (void)failure;
        return true;
    }
    // Test hook (IDirect3DDevice9::InjectBackendFault); back ends without the fault ignore it.
    virtual void InjectFault(BackendFault) {}
};

[[nodiscard]] std::unique_ptr<Backend> CreateNullBackend();
// Null when the SDL video driver cannot give an OpenGL 3.3 core context.
[[nodiscard]] std::unique_ptr<Backend> CreateGlBackend();
// Whether SDL's current video driver can load OpenGL (no context made).
[[nodiscard]] bool GlAvailable();
// Whether the driver's OpenGL samples S3TC blocks (DXT1/3/5); asked once,
// through the current context or a hidden one.
[[nodiscard]] bool GlHasCompressedTextures();
// Sample counts (2-16, ascending) the driver's OpenGL makes multisampled
// colour buffers with; asked once, through the current context or a hidden
// one. Empty when there is no OpenGL.
[[nodiscard]] const std::vector<std::uint32_t>& GlSampleCounts();
// Whether the counts can be had without a probe context of their own. A probe
// context made just before the device's own leaves the offscreen driver's
// next context unable to go current, so device creation leaves the count
// check to the device's context.
[[nodiscard]] bool GlSampleCountsKnown();
// The samples a multisample type and quality level draw with, out of
// `counts`: 1 for none, 0 when they cannot be had.
[[nodiscard]] std::uint32_t SamplesFor(std::uint32_t type, std::uint32_t quality,
                                       const std::vector<std::uint32_t>& counts);
// What the null back end offers: every count 2-16.
[[nodiscard]] const std::vector<std::uint32_t>& NullSampleCounts();
// The display format of an SDL pixel format; UNKNOWN for one the device does not list.
[[nodiscard]] D3DFORMAT DisplayFormatFromSdl(std::uint32_t sdlFormat);
// The display format a full-screen back buffer runs on: alpha formats show as their X twins.
[[nodiscard]] D3DFORMAT DisplayFormatForBackBuffer(D3DFORMAT backBuffer);
// Why the device or top object could not start: kept for GetLastFailureText and
// written to standard error.
void ReportFailure(const std::string& text);

// The row-vector product a * b (a applied first).
[[nodiscard]] D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

// Shared by the back ends: fill rectangles of memory surfaces.
void FillColorRects(IDirect3DSurface9& surface, const std::vector<RECT>& rects, D3DCOLOR color);
void FillDepthRects(IDirect3DSurface9& surface, const std::vector<RECT>& rects, std::uint32_t flags, float z,
                    std::uint32_t stencil);

} // namespace gfx
