#include "platform/gfx/GfxBackendLocal.h"

namespace gfx {
namespace {

NullProgramCheck g_programCheck = nullptr;

// Keeps every resource and state in the front end, rasterises nothing: targets
// are memory surfaces that Clear fills, and the device records the draws.
class NullBackend final : public Backend {
public:
    const char* Name() const override { return "null"; }
    HRESULT Open(const D3DPRESENT_PARAMETERS&, WindowHandle) override { return D3D_OK; }
    HRESULT Resize(const D3DPRESENT_PARAMETERS&) override { return D3D_OK; }
    void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color,
               float z, std::uint32_t stencil) override {
        const DeviceState& s = device.State();
        // Every bound target takes the colour.
        if (flags & D3DCLEAR_TARGET)
            for (IDirect3DSurface9* rt : s.renderTargets)
                if (rt) FillColorRects(*rt, rects, color);
        if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && s.depthStencil)
            FillDepthRects(*s.depthStencil, rects, flags, z, stencil);
    }
    HRESULT Draw(IDirect3DDevice9&, const VertexLayout&, const DrawCall&) override { return D3D_OK; }
    HRESULT Present(IDirect3DDevice9&) override { return D3D_OK; }
    void ReadSurface(IDirect3DSurface9&, const RECT*) override {}
    void WriteSurface(IDirect3DSurface9&) override {}
    void ResourceDestroyed(IDirect3DResource9&) override {}
    bool CheckProgram(const TranslatedShader& program, std::string& failure) override {
        return !g_programCheck || g_programCheck(program, failure);
    }
};

} // namespace

const std::vector<std::uint32_t>& NullSampleCounts() {
    static const std::vector<std::uint32_t> counts = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    return counts;
}

void SetNullProgramCheckForTests(NullProgramCheck check) { g_programCheck = check; }

std::unique_ptr<Backend> CreateNullBackend() { return std::make_unique<NullBackend>(); }

} // namespace gfx
