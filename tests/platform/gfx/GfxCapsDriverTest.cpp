// The top object's caps against the device's: the driver's anisotropy is
// there before the first device as after it, on gl; null keeps the table's.
#include "platform/gfx/GfxBackendLocal.h"
#include "tests/platform/gfx/GfxBackendFixture.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

using namespace gfx;

namespace {

constexpr std::uint32_t kAnisotropic = D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;

// The top object's caps, each asked anew.
D3DCAPS9 TopCaps(IDirect3D9& d3d) {
    D3DCAPS9 caps{};
    EXPECT_EQ(d3d.GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    return caps;
}

void ExpectSameFiltering(const D3DCAPS9& a, const D3DCAPS9& b, const char* what) {
    EXPECT_EQ(a.MaxAnisotropy, b.MaxAnisotropy) << what;
    EXPECT_EQ(a.TextureFilterCaps, b.TextureFilterCaps) << what;
    EXPECT_EQ(a.CubeTextureFilterCaps, b.CubeTextureFilterCaps) << what;
    EXPECT_EQ(a.VolumeTextureFilterCaps, b.VolumeTextureFilterCaps) << what;
}

class GfxCapsDriver : public gfxtest::BackendTest {
protected:
    void SetUp() override {
        // As in a process that has made no device yet.
        ForgetGlDriverLimitsForTests();
        gfxtest::BackendTest::SetUp();
    }
};

} // namespace

// Asked before the first device, after it, and of the device itself: one
// answer. On gl it is the driver's (the software drivers filter 16 to 1); on
// null the table's 1 without the anisotropic filter bits.
TEST_P(GfxCapsDriver, TopObjectCapsAgreeBeforeAndAfterTheFirstDevice) {
    const D3DCAPS9 before = TopCaps(*d3d);
    Create();
    if (HasFatalFailure()) return;
    const D3DCAPS9 after = TopCaps(*d3d);
    D3DCAPS9 own{};
    ASSERT_EQ(device->GetDeviceCaps(&own), D3D_OK);
    ExpectSameFiltering(before, after, "the top object before and after the device");
    ExpectSameFiltering(before, own, "the top object before the device and the device");
    if (GetParam() == BackendKind::Null) {
        EXPECT_EQ(before.MaxAnisotropy, 1u);
        EXPECT_EQ(before.TextureFilterCaps & kAnisotropic, 0u);
    } else {
        for (std::uint32_t filters : {before.TextureFilterCaps, before.CubeTextureFilterCaps,
                                      before.VolumeTextureFilterCaps})
            EXPECT_EQ(filters & kAnisotropic, before.MaxAnisotropy > 1 ? kAnisotropic : 0u);
    }
    // The device the probe preceded draws: its context went current.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// Once the device is gone the top object still answers as the device did:
// the driver's limits outlive the device that read them.
TEST_P(GfxCapsDriver, CapsStayAfterTheDeviceGoes) {
    Create();
    if (HasFatalFailure()) return;
    D3DCAPS9 own{};
    ASSERT_EQ(device->GetDeviceCaps(&own), D3D_OK);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    ExpectSameFiltering(TopCaps(*d3d), own, "the top object after the device went");
}

INSTANTIATE_TEST_SUITE_P(Backends, GfxCapsDriver, ::testing::Values(BackendKind::Null, BackendKind::Gl),
                         gfxtest::BackendParamName);

// The game's order: its window first, then the caps, then a device on that
// window. The caps' probe makes a window and context of its own; the game's
// window must still take the device's context afterwards (on EGL a new
// window picks the configuration later contexts are made with).
TEST(GfxCapsDriverGl, AWindowMadeBeforeTheCapsStillTakesTheDevice) {
    gfxtest::UseDriverFor(BackendKind::Gl);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Gl);
    if (!d3d && gfxtest::CallerDriver() == "dummy") GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    ASSERT_NE(d3d, nullptr);
    SDL_GL_ResetAttributes(); // as in a program that has set none yet
    {
        gfxtest::TestWindow window(64, 48);
        ASSERT_NE(window.handle, nullptr);
        ForgetGlDriverLimitsForTests();
        const D3DCAPS9 before = TopCaps(*d3d);
        D3DPRESENT_PARAMETERS params = gfxtest::Windowed(64, 48);
        IDirect3DDevice9* device = nullptr;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                    &device),
                  D3D_OK);
        D3DCAPS9 own{};
        EXPECT_EQ(device->GetDeviceCaps(&own), D3D_OK);
        ExpectSameFiltering(before, own, "the top object before the device and the device");
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0), D3D_OK);
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(device->Release(), 0u);
    }
    EXPECT_EQ(d3d->Release(), 0u);
}
