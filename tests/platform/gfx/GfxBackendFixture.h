#pragma once
// A top object and a device on one back end, for tests run on both.

#include "tests/platform/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

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

} // namespace gfxtest

#define GFX_BOTH_BACKENDS(Suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(gfx::BackendKind::Null, gfx::BackendKind::Gl),            \
                             gfxtest::BackendParamName)
