#pragma once
// The shader framework's tests run on a renderer over the `null` device
// (recorded calls) unless they say otherwise, with the renderer library
// started, so the shader factory exists as in the game.

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiGeometry.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "engine/shaders/framework/NiShaderLibraryBase.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace shader_test
{
// A renderer shader that counts what the factory does with it.
class TestShader : public NiD3DShaderInterface
{
    NiDeclareTypeInfo()

public:
    TestShader(const char* pcName, std::uint32_t uiImplementation)
    {
        SetName(pcName);
        SetImplementation(uiImplementation);
    }
    bool Initialize(NiDX9Renderer* pkRenderer) override
    {
        ++m_iInitializes;
        return NiD3DShaderInterface::Initialize(pkRenderer);
    }
    bool SetupGeometry(NiGeometry* pkGeometry) override
    {
        m_kSetUp.push_back(pkGeometry);
        return m_bSetupResult;
    }
    void RecreateRendererData() override { ++m_iRecreates; }
    void PurgeRendererData() override { m_bInitialized = 0; }

    int m_iInitializes = 0;
    int m_iRecreates = 0;
    bool m_bSetupResult = true;
    std::vector<NiGeometry*> m_kSetUp;
};

// A library that makes a TestShader for each name it knows and records
// every question.
class TestLibrary : public NiShaderLibraryBase
{
public:
    TestLibrary(const char* pcName, std::set<std::string> kShaders)
        : NiShaderLibraryBase(pcName), m_kShaders(std::move(kShaders))
    {
    }
    NiShader* GetShader(NiRenderer*, const char* pcName, std::uint32_t uiImplementation) override
    {
        m_kAsked.emplace_back(std::string(pcName) + "/" + std::to_string(static_cast<int>(uiImplementation)));
        if (m_kShaders.count(pcName) == 0)
            return nullptr;
        return new TestShader(pcName, uiImplementation);
    }
    NiShaderLibraryDesc* GetLibraryDesc() override { return nullptr; }
    void SetLibraryDesc(NiShaderLibraryDesc*) override {}
    void SetRenderer(NiDX9Renderer* pkRenderer) override { m_kRenderers.push_back(pkRenderer); }

    std::set<std::string> m_kShaders;
    std::vector<std::string> m_kAsked;
    std::vector<NiDX9Renderer*> m_kRenderers;
};

// Every report the factory makes, through its error callback.
struct Report
{
    std::string m_kText;
    std::uint32_t m_uiCode;
};

// A texture of one colour given as 0xAARRGGBB,
// with all its mip levels when asked.
NiSourceTexturePtr MakeTexture(std::uint32_t uiSide, std::uint32_t uiColor, bool bMipmapped = false);

// A new folder of the test's own under /tmp, named from the prefix; empty
// when none could be made.
std::string MakeTempFolder(const char* pcPrefix);

// The bytes as the whole of the file; a failure is recorded when it cannot
// be opened.
void WriteFile(const std::string& kPath, const void* pvBytes, std::size_t uiSize);

// Vertex colours drawn as they are, with no lights.
void AttachUnlitVertexColors(NiAVObject& kObject);

// One frame of the object seen orthographically down -z (x and y in -1..1
// fill the target) over the background colour; false when the scene
// could not begin.
bool DrawOrthographic(NiRenderer& kRenderer, NiGeometry& kObject, const NiColorRGBA& kBackground);

class ShaderTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A renderer on the null device (made by the start-up's road); read-back
    // needs a lockable back buffer.
    void CreateRenderer(gfx::BackendKind eKind = gfx::BackendKind::Null,
                        std::int32_t iFBMode = NiDX9Renderer::FBMODE_DEFAULT,
                        std::uint32_t uiDeviceDesc = NiDX9Renderer::DEVDESC_PURE);
    // The reports since the last call.
    std::vector<Report> TakeReports();
    // The texts of the reports since the last call, each expected to be a
    // general error.
    std::vector<std::string> TakeErrorTexts();
    // The first report's text, or "" (all reports taken): for a failure's message.
    std::string TakeFirstErrorText();

    NiDX9RendererPtr m_spRenderer;
    std::uint32_t m_uiLive = 0;
    static std::vector<Report> ms_kReports;
    static int ms_iReportResult;
};
} // namespace shader_test
