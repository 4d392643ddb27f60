#pragma once
// A top object and a device on one back end, for tests run on both.

#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gfxtest {

class BackendTest : public ::testing::TestWithParam<gfx::BackendKind> {
protected:
    void SetUp() override {
        UseDriverFor(GetParam());
        d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, GetParam());
        if (!d3d && GetParam() == gfx::BackendKind::Gl && CallerDriver() == "dummy")
            GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        device = nullptr;
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        d3d = nullptr;
    }
    // Creates the device of the test; fails the test when creation fails.
    void Create(gfx::D3DPRESENT_PARAMETERS p = Windowed(64, 48)) {
        params = p;
        ASSERT_EQ(d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    &params, &device),
                  gfx::D3D_OK);
        ASSERT_NE(device, nullptr);
    }

    gfx::IDirect3D9* d3d = nullptr;
    gfx::IDirect3DDevice9* device = nullptr;
    gfx::D3DPRESENT_PARAMETERS params;
};

inline std::string BackendParamName(const ::testing::TestParamInfo<gfx::BackendKind>& info) {
    return KindName(info.param);
}

// The gl back end's read-back tests; they run on offscreen (EGL) unless the
// caller chose a driver. Each runs twice: drawing straight into the device's own
// window, and into a framebuffer object because the window has another size.
class GlReadBackTest : public ::testing::TestWithParam<bool> {
protected:
    // The top object, and the other-size window of the framebuffer-object run.
    void SetUp() override {
        UseDriverFor(gfx::BackendKind::Gl);
        d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!d3d && CallerDriver() == "dummy") GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        ASSERT_NE(d3d, nullptr);
        if (GetParam()) {
            window = std::make_unique<TestWindow>(24, 20);
            ASSERT_NE(window->handle, nullptr);
        }
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        window.reset();
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
    }
    // The test's device, on its window where it has one.
    void CreateDevice(gfx::D3DPRESENT_PARAMETERS p) {
        ASSERT_EQ(d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, window ? window->handle : nullptr,
                                    gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  gfx::D3D_OK);
    }
    // True once SetUp has stopped the test: the derived SetUp must not go on.
    [[nodiscard]] bool Stopped() const { return IsSkipped() || HasFatalFailure(); }

    // The back buffer as 0xAARRGGBB words, rows top-down.
    std::vector<std::uint32_t> ReadBack() {
        std::vector<std::uint32_t> out;
        Ref<gfx::IDirect3DSurface9> back;
        EXPECT_EQ(device->GetBackBuffer(0, 0, gfx::D3DBACKBUFFER_TYPE_MONO, &back), gfx::D3D_OK);
        gfx::D3DLOCKED_RECT lr;
        if (back->LockRect(&lr, nullptr, gfx::D3DLOCK_READONLY) != gfx::D3D_OK) return out;
        for (std::uint32_t y = 0; y < back->Height(); ++y)
            for (std::uint32_t x = 0; x < back->Width(); ++x)
                out.push_back(reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) +
                                                                     y * lr.Pitch)[x] | 0xFF000000u);
        back->UnlockRect();
        return out;
    }

    gfx::IDirect3D9* d3d = nullptr;
    gfx::IDirect3DDevice9* device = nullptr;
    std::unique_ptr<TestWindow> window;
};

inline std::string GlReadBackParamName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "FramebufferObject" : "Window";
}

// The read-backs a suite of compiled HLSL programs draws through: both
// optimised; in a sanitized build the framebuffer object's alone, as each
// case's compile through glslang's child costs seconds there and the two
// read-backs are the gfx tests' own subject.
inline ::testing::internal::ParamGenerator<bool> HlslDrawReadBacks() {
    if (ORVANE_SANITIZED_BUILD) return ::testing::ValuesIn(std::vector<bool>{true});
    return ::testing::Bool();
}

} // namespace gfxtest

#define GFX_BOTH_BACKENDS(Suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(gfx::BackendKind::Null, gfx::BackendKind::Gl),            \
                             gfxtest::BackendParamName)
