// 10,000 batches of one geometry (base, dark and detail maps, fog on, two
// texture stages a pass, so three passes and the fog pass) through the
// renderer's default shader on the `null` device, in the renderer's order:
// passes rebuilt per batch, states through the render-state cache, one draw
// a pass. Against a plain loop that replays, from an array, the device calls
// one warm batch made (the state calls and draws the device recorded, in
// their order). The ratio default shader / replay is the median of
// interleaved pairs.

#include "bench/BenchSupport.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "platform/gfx/Gfx.h"
#include "tests/engine/shaders/framework/ShaderDriver.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
constexpr int kBatches = 10000;

NiSourceTexturePtr MakeTexture(std::uint32_t uiColor)
{
    NiPixelDataPtr spImage = new NiPixelData(8, 8, NiPixelFormat::RGBA32, 1);
    std::uint8_t* puc = spImage->GetPixels(0);
    for (std::uint32_t ui = 0; ui + 3 < spImage->GetSizeInBytes(0); ui += 4)
    {
        puc[ui + 0] = static_cast<std::uint8_t>(uiColor >> 16);
        puc[ui + 1] = static_cast<std::uint8_t>(uiColor >> 8);
        puc[ui + 2] = static_cast<std::uint8_t>(uiColor);
        puc[ui + 3] = static_cast<std::uint8_t>(uiColor >> 24);
    }
    NiTexture::FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = NiTexture::FormatPrefs::TRUE_COLOR_32;
    kPrefs.m_eMipMapped = NiTexture::FormatPrefs::NO;
    return NiSourceTexture::CreateFromPixelData(spImage, kPrefs);
}

// One device call of the replay.
struct Call
{
    enum class Kind : std::uint8_t
    {
        RenderState,
        StageState,
        SamplerState,
        Texture,
        Fvf,
        Declaration,
        Draw,
    };
    Kind m_eKind = Kind::RenderState;
    std::uint32_t m_uiIndex = 0, m_uiType = 0, m_uiValue = 0;
    const void* m_pvObject = nullptr;
};

struct Scene
{
    NiDX9RendererPtr m_spRenderer;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiD3DDefaultShaderPtr m_spShader;
    NiRefPtr<NiTriShape> m_spShape;
    NiPropertySetPtr m_spState;
    NiEffectSetPtr m_spEffects;
    std::unique_ptr<shader_test::QuadBuffers> m_spQuad;
    std::vector<NiSourceTexturePtr> m_kTextures;
    std::vector<Call> m_kReplay;

    bool Open()
    {
        NiDX9Renderer::SetDirect3DCreateFunction(
            [](std::uint32_t uiVersion) { return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null); });
        if (NiDX9Renderer::LoadD3D9() != 0)
            return false;
        m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE,
                                             NiDX9Renderer::FBFMT_UNKNOWN, 0,
                                             NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE);
        if (m_spRenderer == nullptr || m_spRenderer->GetDefaultShader() == nullptr)
            return false;
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_spShader = m_spRenderer->GetDefaultShader();
        NiD3DPass::SetMaxTextureBlendStages(2);
        NiD3DPass::SetMaxSimultaneousTextures(2);

        auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        m_spShape = new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, new NiVec2[3], 1, 0, 1,
                                                      new std::uint16_t[3]{0, 1, 2}));
        NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
        spTexturing->SetApplyMode(0);
        const std::uint32_t auiSlots[] = {NiTexturingProperty::BASE_INDEX, NiTexturingProperty::DARK_INDEX,
                                          NiTexturingProperty::DETAIL_INDEX};
        for (std::uint32_t uiSlot : auiSlots)
        {
            m_kTextures.push_back(MakeTexture(0xFF406080u + uiSlot));
            auto* pkMap = new NiTextureMap;
            pkMap->SetTexture(m_kTextures.back());
            spTexturing->SetMap(uiSlot, pkMap);
        }
        NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
        spFog->SetFog(true);
        spFog->SetFogColor(NiColorRGB(0.25f, 0.5f, 0.75f));
        m_spState = new NiPropertySet;
        m_spState->SetProperty(spTexturing);
        m_spState->SetProperty(spFog);
        m_spState->SetProperty(new NiAlphaProperty);
        m_spEffects = new NiEffectSet;
        m_spQuad = std::make_unique<shader_test::QuadBuffers>(
            m_pkDevice, std::vector<shader_test::QuadVertex>{{-1, -1, 0.5f, 0xFFFFFFFF, 0, 1},
                                                             {-1, 1, 0.5f, 0xFFFFFFFF, 0, 0},
                                                             {1, -1, 0.5f, 0xFFFFFFFF, 1, 1},
                                                             {1, 1, 0.5f, 0xFFFFFFFF, 1, 0}});
        // Warm: pools filled, textures on the device, the cache's states settled.
        if (!m_spRenderer->BeginScene())
            return false;
        for (int i = 0; i < 8; ++i)
            shader_test::DrawBatch(*m_spShader, m_pkDevice, m_spShape, m_spQuad->Get(), m_spState, m_spEffects);
        Record();
        m_spRenderer->EndScene();
        return !m_kReplay.empty();
    }

    // The device calls of one warm batch, in their order. The device keeps
    // draws and state calls apart, so the batch is driven here step by step
    // (the driver's order) and the state calls made before each draw noted.
    void Record()
    {
        m_pkDevice->ClearRecordedCalls();
        m_pkDevice->ClearStateCalls();
        m_pkDevice->SetCallRecording(true);
        std::vector<std::size_t> kStatesBeforeDraw;
        const NiXform kWorld;
        const NiBoundSphere kBound;
        NiD3DDefaultShader& kShader = *m_spShader;
        NiDX9GeometryBufferData* pkBuffers = m_spQuad->Get();
        if (kShader.PreProcessPipeline(m_spShape, nullptr, pkBuffers, m_spState, m_spEffects, kWorld, kBound) == 0)
        {
            kShader.UpdatePipeline(m_spShape, nullptr, pkBuffers, m_spState, m_spEffects, kWorld, kBound);
            for (std::uint32_t uiLeft = kShader.FirstPass(); uiLeft != 0; uiLeft = kShader.NextPass())
            {
                kShader.SetupRenderingPass(m_spShape, nullptr, pkBuffers, m_spState, m_spEffects, kWorld, kBound);
                kShader.SetupTransformations(m_spShape, nullptr, nullptr, pkBuffers, m_spState, m_spEffects, kWorld,
                                             kBound);
                NiDX9GeometryBufferData* pkData =
                    kShader.PrepareGeometryForRendering(m_spShape, nullptr, pkBuffers, m_spState);
                kShader.SetupShaderPrograms(m_spShape, nullptr, nullptr, pkData, m_spState, m_spEffects, kWorld,
                                            kBound);
                kStatesBeforeDraw.push_back(m_pkDevice->StateCalls().size());
                m_pkDevice->DrawPrimitive(pkData->m_uiType, pkData->m_uiBaseVertexIndex, pkData->m_uiPrimitiveCount);
                kShader.PostRender(m_spShape, nullptr, nullptr, pkData, m_spState, m_spEffects, kWorld, kBound);
            }
            kShader.PostProcessPipeline(m_spShape, nullptr, pkBuffers, m_spState, m_spEffects, kWorld, kBound);
        }
        m_pkDevice->SetCallRecording(false);
        const std::vector<gfx::RecordedCall> kDraws = m_pkDevice->RecordedCalls();
        const std::vector<gfx::StateCall> kStates = m_pkDevice->StateCalls();
        if (kDraws.size() != kStatesBeforeDraw.size())
            return;
        std::size_t uiDraw = 0;
        for (std::size_t ui = 0; ui <= kStates.size(); ++ui)
        {
            while (uiDraw < kDraws.size() && kStatesBeforeDraw[uiDraw] == ui)
            {
                const gfx::RecordedCall& kDraw = kDraws[uiDraw++];
                Call kCall;
                kCall.m_eKind = Call::Kind::Draw;
                kCall.m_uiIndex = kDraw.primitiveType;
                kCall.m_uiType = kDraw.startVertex;
                kCall.m_uiValue = kDraw.primitiveCount;
                m_kReplay.push_back(kCall);
            }
            if (ui == kStates.size())
                break;
            const gfx::StateCall& kState = kStates[ui];
            Call kCall;
            kCall.m_uiIndex = kState.index;
            kCall.m_uiType = kState.type;
            kCall.m_uiValue = kState.value;
            kCall.m_pvObject = kState.object;
            switch (kState.kind)
            {
            case gfx::StateCall::Kind::SetRenderState: kCall.m_eKind = Call::Kind::RenderState; break;
            case gfx::StateCall::Kind::SetTextureStageState: kCall.m_eKind = Call::Kind::StageState; break;
            case gfx::StateCall::Kind::SetSamplerState: kCall.m_eKind = Call::Kind::SamplerState; break;
            case gfx::StateCall::Kind::SetTexture: kCall.m_eKind = Call::Kind::Texture; break;
            case gfx::StateCall::Kind::SetFVF: kCall.m_eKind = Call::Kind::Fvf; break;
            case gfx::StateCall::Kind::SetVertexDeclaration: kCall.m_eKind = Call::Kind::Declaration; break;
            default: continue; // nothing else is made by this batch
            }
            m_kReplay.push_back(kCall);
        }
        m_pkDevice->ClearRecordedCalls();
        m_pkDevice->ClearStateCalls();
    }

    void ShaderBatches()
    {
        m_spRenderer->BeginScene();
        for (int i = 0; i < kBatches; ++i)
            shader_test::DrawBatch(*m_spShader, m_pkDevice, m_spShape, m_spQuad->Get(), m_spState, m_spEffects);
        m_spRenderer->EndScene();
    }

    void ReplayBatches()
    {
        gfx::IDirect3DDevice9* d = m_pkDevice;
        d->BeginScene();
        for (int i = 0; i < kBatches; ++i)
        {
            for (const Call& kCall : m_kReplay)
            {
                switch (kCall.m_eKind)
                {
                case Call::Kind::RenderState: d->SetRenderState(kCall.m_uiIndex, kCall.m_uiValue); break;
                case Call::Kind::StageState:
                    d->SetTextureStageState(kCall.m_uiIndex, kCall.m_uiType, kCall.m_uiValue);
                    break;
                case Call::Kind::SamplerState: d->SetSamplerState(kCall.m_uiIndex, kCall.m_uiType, kCall.m_uiValue); break;
                case Call::Kind::Texture:
                    d->SetTexture(kCall.m_uiIndex,
                                  static_cast<gfx::IDirect3DBaseTexture9*>(const_cast<void*>(kCall.m_pvObject)));
                    break;
                case Call::Kind::Fvf: d->SetFVF(kCall.m_uiValue); break;
                case Call::Kind::Declaration:
                    d->SetVertexDeclaration(
                        static_cast<gfx::IDirect3DVertexDeclaration9*>(const_cast<void*>(kCall.m_pvObject)));
                    break;
                case Call::Kind::Draw: d->DrawPrimitive(kCall.m_uiIndex, kCall.m_uiType, kCall.m_uiValue); break;
                }
            }
        }
        d->EndScene();
    }

    void Close()
    {
        m_spQuad.reset();
        m_spShader = nullptr;
        m_spShape = nullptr;
        m_spState = nullptr;
        m_spEffects = nullptr;
        m_kTextures.clear();
        m_spRenderer = nullptr;
    }
};

Scene* g_pkScene = nullptr;

void BM_DefaultShader(benchmark::State& kState)
{
    for (auto _ : kState)
        g_pkScene->ShaderBatches();
    kState.SetItemsProcessed(std::int64_t(kState.iterations()) * kBatches);
}

void BM_Replay(benchmark::State& kState)
{
    for (auto _ : kState)
        g_pkScene->ReplayBatches();
    kState.SetItemsProcessed(std::int64_t(kState.iterations()) * kBatches);
}

BENCHMARK(BM_DefaultShader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replay)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    NiSceneLibraryRegister();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    NiMainLibrary::Init();
    NiDX9RendererLibraryStartup();
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    int iResult = 0;
    {
        Scene kScene;
        if (!kScene.Open())
        {
            std::printf("bench_default_shader: no renderer on the null device, or no replay recorded\n");
            iResult = 1;
        }
        else
        {
            std::printf("one batch: %zu device calls replayed\n", kScene.m_kReplay.size());
            g_pkScene = &kScene;
            benchmark::RunSpecifiedBenchmarks();
            std::fflush(stdout);
            const PairRatio kRatio =
                MeasurePairs(21, 0.2, [&] { kScene.ShaderBatches(); }, [&] { kScene.ReplayBatches(); });
            std::printf("\ndefault shader / replay = %.2f\n", kRatio.m_dMedian);
            std::printf("  median of %d interleaved pairs of %d units of %d batches a side; pair ratios %.2f to %.2f\n",
                        kRatio.m_iPairs, kRatio.m_iUnits, kBatches, kRatio.m_dLow, kRatio.m_dHigh);
        }
        kScene.Close();
    }
    NiImageConverter::ReleaseCurrent();
    NiDX9RendererLibraryShutdown();
    NiMainLibrary::Reset();
    benchmark::Shutdown();
    return iResult;
}
