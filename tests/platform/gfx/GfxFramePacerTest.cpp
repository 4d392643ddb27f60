#include "platform/gfx/GfxFramePacer.h"

#include "tests/platform/gfx/GfxBackendFixture.h"

#include <chrono>

using namespace gfx;
using namespace std::chrono_literals;
using gfxtest::Ref;

namespace {
const FramePacer::Clock::time_point kStart{1s};
}

TEST(GfxFramePacer, PresentsWaitForTheNextRefresh) {
    FramePacer pacer;
    pacer.SetPeriod(16ms);
    // The first present starts the refreshes and waits for the next one.
    EXPECT_EQ(pacer.WaitAfterPresent(kStart), 16ms);
    // Frames that take 3 ms keep one refresh apart.
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 19ms), 13ms);
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 35ms), 13ms);
    // Exactly on a refresh: the next one.
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 48ms), 16ms);
    // A frame 1.5 refreshes late waits for the refresh after it, as a swap would.
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 88ms), 8ms);
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 97ms), 15ms);
    // A new period starts the refreshes afresh.
    pacer.SetPeriod(10ms);
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 200ms), 10ms);
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 201ms), 9ms);
}

TEST(GfxFramePacer, ZeroPeriodNeverWaits) {
    FramePacer pacer;
    EXPECT_EQ(pacer.WaitAfterPresent(kStart), 0ns);
    pacer.SetPeriod(16ms);
    (void)pacer.WaitAfterPresent(kStart);
    pacer.SetPeriod(0ns);
    EXPECT_EQ(pacer.WaitAfterPresent(kStart + 1ms), 0ns);
    EXPECT_EQ(pacer.Period(), 0ns);
    pacer.SetPeriod(-5ms);
    EXPECT_EQ(pacer.Period(), 0ns);
}

TEST(GfxFramePacer, UnknownRefreshRateCountsAsSixtyHertz) {
    EXPECT_EQ(RefreshPeriod(60), 16'666'666ns);
    EXPECT_EQ(RefreshPeriod(0), 16'666'666ns);
    EXPECT_EQ(RefreshPeriod(-1), 16'666'666ns);
    EXPECT_EQ(RefreshPeriod(75), 13'333'333ns);
}

// The gl back end on a driver that cannot wait for the retrace (offscreen has
// no display at all) sleeps out the refresh itself for DEFAULT and ONE.
class GfxPresentInterval : public gfxtest::BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxPresentInterval, ::testing::Values(BackendKind::Gl), gfxtest::BackendParamName);

TEST_P(GfxPresentInterval, DefaultAndOneWaitForTheRefresh) {
    for (const std::uint32_t interval : {D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE}) {
        SCOPED_TRACE(interval);
        D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16);
        p.PresentationInterval = interval;
        Ref<IDirect3DDevice9> dev;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
                  D3D_OK);
        D3DDISPLAYMODE mode;
        ASSERT_EQ(dev->GetDisplayMode(0, &mode), D3D_OK);
        const auto start = FramePacer::Clock::now();
        for (int i = 0; i < 6; ++i) ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        // Six presents span at least six refreshes: each waits for the next one.
        EXPECT_GE(FramePacer::Clock::now() - start, 6 * RefreshPeriod(int(mode.RefreshRate)));
    }
}
