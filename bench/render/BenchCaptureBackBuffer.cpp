// The renderer's back-buffer capture of a 1024 x 768 frame (the saved game's
// preview picture) against plain OpenGL reading the same number of pixels
// with glReadPixels from a same-size window. The run ends with the ratio
// capture / glReadPixels (goal: at most 1.5), the median of interleaved
// pairs, so a busy moment of the shared machine falls on both sides alike.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "engine/render/NiDX9Renderer.h"
#include "platform/gfx/Gfx.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr int WIDTH = 1024;
constexpr int HEIGHT = 768;

struct PlainSide
{
    BenchGlWindow m_kWindow;
    std::vector<std::uint8_t> m_kPixels = std::vector<std::uint8_t>(std::size_t(WIDTH) * HEIGHT * 4);

    bool Open()
    {
        if (!m_kWindow.Open(WIDTH, HEIGHT))
            return false;
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        return true;
    }
    void MakeCurrent() { m_kWindow.MakeCurrent(); }
};

NiDX9Renderer* g_pkRenderer = nullptr;
PlainSide* g_pkPlain = nullptr;
std::size_t g_uiBytes = 0; // keeps the work from being optimised away

void Capture()
{
    NiRefPtr<NiPixelData> spData = g_pkRenderer->CaptureBackBuffer(nullptr);
    g_uiBytes += spData != nullptr ? spData->GetSizeInBytes() : 0;
}

void PlainRead()
{
    g_pkPlain->MakeCurrent();
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, g_pkPlain->m_kPixels.data());
    g_uiBytes += g_pkPlain->m_kPixels[0];
}

void BM_CaptureBackBuffer(benchmark::State& kState)
{
    for (auto _ : kState)
        Capture();
}

void BM_PlainReadPixels(benchmark::State& kState)
{
    for (auto _ : kState)
        PlainRead();
}

BENCHMARK(BM_CaptureBackBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadPixels)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("SDL_VIDEODRIVER") == nullptr)
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    PlainSide kPlain;
    NiDX9RendererPtr spRenderer;
    if (kPlain.Open())
        spRenderer = NiDX9Renderer::Create(WIDTH, HEIGHT, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                           NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE,
                                           NiDX9Renderer::SWAPEFFECT_DEFAULT, NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    if (spRenderer == nullptr)
    {
        std::printf("bench_capture_back_buffer: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    spRenderer->BeginScene();
    spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    spRenderer->EndScene();
    g_pkRenderer = spRenderer;
    g_pkPlain = &kPlain;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("\n");
    PrintPairRatio("CaptureBackBuffer 1024x768 / plain glReadPixels", MeasurePairs(31, 0.1, Capture, PlainRead),
                   1.5);
    std::printf("(%zu bytes read)\n", g_uiBytes);
    benchmark::Shutdown();
    spRenderer = nullptr;
    NiDX9Renderer::ShutdownDirect3D();
    return 0;
}
