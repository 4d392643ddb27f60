#pragma once

// Test support of the texture tests: a renderer that records what the
// texture code asks of it (and can refuse), and a fixture that starts the
// core, scene and render libraries and resets every process-wide texture
// state around each test.

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiTexture.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace texture_test
{
using namespace stream_test;

// 64 x 32, counting the live ones.
class SizedRendererData : public NiTexture::RendererData
{
public:
    explicit SizedRendererData(int* piLive = nullptr) : m_piLive(piLive ? piLive : &m_iOwn) { ++*m_piLive; }
    ~SizedRendererData() override { --*m_piLive; }
    [[nodiscard]] std::uint32_t GetWidth() const override { return 64; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return 32; }

private:
    int m_iOwn = 0;
    int* m_piLive;
};

class RecordingRenderer : public NiRenderer
{
public:
    bool m_bRefuse = false;   // the precaches answer false
    bool m_bMakeData = false; // a precached texture gets renderer data
    std::vector<const void*> m_kPrecached, m_kPrecachedCubeMaps, m_kBltSources, m_kDrawn, m_kPurged;

    bool PrecacheTexture(NiTexture* pk) override
    {
        m_kPrecached.push_back(pk);
        if (m_bMakeData)
            pk->SetRendererData(std::make_unique<SizedRendererData>());
        return !m_bRefuse;
    }
    bool PrecacheCubeMap(NiSourceCubeMap* pk) override { return m_kPrecachedCubeMaps.push_back(pk), !m_bRefuse; }
    bool CreateBltSourceData(NiBltSource* pk) override { return m_kBltSources.push_back(pk), true; }
    void RenderScreenTexture(NiScreenTexture* pk) override { m_kDrawn.push_back(pk); }
    bool PurgeScreenTextureRendererData(NiScreenTexture* pk) override { return m_kPurged.push_back(pk), true; }

    void PurgeMaterialRendererData(NiMaterialProperty*) override {}
    void PurgeEffectRendererData(NiDynamicEffect*) override {}
    [[nodiscard]] std::uint32_t GetFlags() const override { return 0; }
    void SetBackgroundColor(const NiColorRGBA&) override {}
    [[nodiscard]] NiColorRGBA GetBackgroundColor() const override { return NiColorRGBA(); }
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void ClearBuffer(const NiRect<float>*, std::uint32_t) override {}
    void DisplayFrame() override {}
    [[nodiscard]] std::uint32_t GetWidth() const override { return 640; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return 480; }
};

class TextureTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<std::uint8_t> Save(const std::vector<NiObject*>& kTops);
    // Loads with Stream(); the top-level objects are kept in m_kLoaded.
    bool Load(const std::vector<std::uint8_t>& kBytes);
    bool LoadPath(const std::string& kPath);
    // Saves, loads back, checks equality and a byte-identical second save;
    // the loaded object, or null.
    NiObject* RoundTrip(NiObject* pkObject);

    // Its shared-texture table holds what it loaded until the stream goes,
    // before the leak check.
    [[nodiscard]] NiObjectStream& Stream() { return *m_spStream; }

    std::unique_ptr<NiObjectStream> m_spStream;
    std::vector<NiObjectPtr> m_kLoaded;
    std::uint32_t m_uiLive = 0;
};

// The file cut at every shorter length fails to load and leaves nothing.
void ExpectEveryTruncationFails(const std::vector<std::uint8_t>& kFile);
std::vector<std::string> ViewerLines(NiObject* pkObject);
} // namespace texture_test
