#include "tests/fuzz/FuzzSupport.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiLibraryRegistry.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "platform/gfx/Gfx.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace fuzz
{
namespace
{
gfx::IDirect3DDevice9* OpenDevice(gfx::BackendKind eKind, std::uint32_t uiSize)
{
    gfx::IDirect3D9* pkD3D = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, eKind);
    if (pkD3D == nullptr)
        return nullptr;
    gfx::D3DPRESENT_PARAMETERS kParams;
    kParams.BackBufferWidth = uiSize;
    kParams.BackBufferHeight = uiSize;
    kParams.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
    kParams.BackBufferCount = 1;
    kParams.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    kParams.Windowed = 1;
    gfx::IDirect3DDevice9* pkDevice = nullptr;
    if (gfx::FAILED(pkD3D->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                        &kParams, &pkDevice)))
        return nullptr;
    return pkDevice;
}
} // namespace

gfx::IDirect3DDevice9* NullDevice()
{
    static gfx::IDirect3DDevice9* s_pkDevice = nullptr;
    if (s_pkDevice != nullptr)
        return s_pkDevice;
    s_pkDevice = OpenDevice(gfx::BackendKind::Null, 16);
    if (s_pkDevice == nullptr)
        std::abort();
    return s_pkDevice;
}

gfx::IDirect3DDevice9* GlDevice()
{
    return OpenDevice(gfx::BackendKind::Gl, 8);
}

gfx::HRESULT DrawTriangle(gfx::IDirect3DDevice9* pkDevice, gfx::IDirect3DVertexShader9* pkVertex,
                          gfx::IDirect3DPixelShader9* pkPixel)
{
    struct Vertex
    {
        float x, y, z;
        std::uint32_t color;
        float u, v;
    };
    const Vertex akTriangle[3] = {{-1, -1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                  {-1, 1, 0.5f, 0xFFFFFFFFu, 0, 1}};
    pkDevice->SetFVF(gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1);
    pkDevice->SetVertexShader(pkVertex);
    pkDevice->SetPixelShader(pkPixel);
    const gfx::HRESULT hr = pkDevice->DrawPrimitiveUP(gfx::D3DPT_TRIANGLELIST, 1, akTriangle, sizeof(Vertex));
    pkDevice->SetVertexShader(nullptr);
    pkDevice->SetPixelShader(nullptr);
    return hr;
}

void StartEngine()
{
    static bool s_bStarted = false;
    if (s_bStarted)
        return;
    s_bStarted = true;
    // The same registrations as the game's entry, in its order, so loads
    // see the same create functions and start-up steps.
    NiMainLibrary::RegisterOnce();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiAnimationLibrary::RegisterOnce();
    NiLibraryRegistry::InitLibraries();
}

ScratchFile::ScratchFile(const char* pcSuffix)
{
    // Memory, where the system has it: on a disk every input's create and
    // remove waits for the file system and the runs get ten times slower.
    std::filesystem::path kFolder = "/dev/shm";
    if (access(kFolder.c_str(), W_OK) != 0)
    {
        std::error_code kError;
        kFolder = std::filesystem::temp_directory_path(kError);
        if (kError)
            kFolder = "/tmp";
    }
    m_kPath = (kFolder / ("orvane_fuzz_" + std::to_string(getpid()) + pcSuffix)).string();
}

ScratchFile::~ScratchFile()
{
    std::remove(m_kPath.c_str());
}

bool ScratchFile::Write(const std::uint8_t* pucData, std::size_t uiSize) const
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spFile(std::fopen(m_kPath.c_str(), "wb"), &std::fclose);
    if (!spFile)
        return false;
    return uiSize == 0 || std::fwrite(pucData, 1, uiSize, spFile.get()) == uiSize;
}
} // namespace fuzz
