#pragma once

// Test support of the texture tests: a renderer that records what the
// texture code asks of it (and can refuse), and a fixture that starts the
// core, scene and render libraries and resets every process-wide texture
// state around each test.

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRefObject.h"
#include "engine/render/NiRenderer.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace texture_test
{
using namespace stream_test;

class RecordingRenderer : public NiRenderer
{
public:
    // PrecacheTexture and PrecacheCubeMap answer false while set.
    bool m_bRefuse = false;
    std::vector<const void*> m_kPrecached;
    std::vector<const void*> m_kPrecachedCubeMaps;
    std::vector<const void*> m_kBltSources;
    std::vector<const void*> m_kDrawn;
    std::vector<const void*> m_kPurgedScreenTextures;

    bool PrecacheTexture(NiTexture* pk) override
    {
        m_kPrecached.push_back(pk);
        return !m_bRefuse;
    }
    bool PrecacheCubeMap(NiSourceCubeMap* pk) override
    {
        m_kPrecachedCubeMaps.push_back(pk);
        return !m_bRefuse;
    }
    bool CreateBltSourceData(NiBltSource* pk) override
    {
        m_kBltSources.push_back(pk);
        return true;
    }
    void RenderScreenTexture(NiScreenTexture* pk) override { m_kDrawn.push_back(pk); }
    bool PurgeScreenTextureRendererData(NiScreenTexture* pk) override
    {
        m_kPurgedScreenTextures.push_back(pk);
        return true;
    }

    void PurgeMaterial(NiMaterialProperty*) override {}
    void PurgeEffect(NiDynamicEffect*) override {}
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

    // Saves the objects as top-level objects into memory.
    std::vector<std::uint8_t> Save(const std::vector<NiObject*>& kTops);
    // Loads the bytes with m_kStream (or the file when a path is given);
    // the top-level objects are kept in m_kLoaded.
    bool Load(const std::vector<std::uint8_t>& kBytes);
    bool LoadPath(const std::string& kPath);
    // Saves, loads back, checks equality and a byte-identical second save;
    // the loaded object, or null.
    NiObject* RoundTrip(NiObject* pkObject);

    NiObjectStream m_kStream;
    std::vector<NiObjectPtr> m_kLoaded;
    std::uint32_t m_uiLive = 0;
};

// Every byte of the file at every shorter length fails to load, and nothing
// made by the failed loads stays alive.
void ExpectEveryTruncationFails(const std::vector<std::uint8_t>& kFile);
} // namespace texture_test
